// The four commands of vcpack: build writes a package; list, verify and
// extract read one as the bootstrap would, extract with the bootstrap's own
// extraction into a folder of the user's choice.
#include "tools/vcpack/commands.h"

#include <filesystem>
#include <iostream>

#include "archive/archive_extractor.h"
#include "platform/platform.h"
#include "tools/vcpack/display_text.h"
#include "tools/vcpack/lint.h"
#include "tools/vcpack/manifest.h"
#include "tools/vcpack/package_builder.h"
#include "tools/vcpack/package_json.h"
#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/package_report.h"
#include "tools/vcpack/recording_platform.h"
#include "tools/vcpack/tool_error.h"
#include "util/messages.h"

namespace vcpack {
namespace {

namespace fs = std::filesystem;
namespace messages = vcboot::messages;

std::size_t chunks_read(const PackageWalk& walk) {
  std::size_t count = 0;
  for (const WalkedRecord& record : walk.records) count += record.chunks.size();
  return count;
}

void print_launch(const LaunchPreview& preview) {
  std::cout << "The bootstrap would start:\n"
            << "  installer:  " << preview.installer << "\n"
            << "  parameters: "
            << (preview.parameters.empty() ? "(none)" : preview.parameters)
            << "\n";
  if (preview.post.empty()) {
    std::cout << "  post:       nothing (\"post\" is empty)\n";
  } else {
    std::cout << "  post:       " << preview.post << " <installer exit code>"
              << "  (in " << kWorkFolderPlaceholder << ")\n";
  }
}

// A message box's text on one line: its lone carriage returns become blanks.
std::string one_line(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

void print_files(const PackageOutcome& outcome, const std::string& directory) {
  std::vector<std::vector<std::string>> rows;
  for (const WrittenFile& file : outcome.files) {
    std::error_code error;
    const auto size = fs::file_size(fs::path(directory) / file.name, error);
    rows.push_back({shown(file.name),
                    error ? "missing" : std::to_string(size) + " bytes"});
  }
  std::cout << "Files written into " << directory << ":\n"
            << (rows.empty() ? "  none\n" : aligned_rows(rows, {1}));
}

void print_variables(const vcboot::VariableTable& table) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& [name, value] : table.entries()) {
    if (is_bootstrap_variable(name)) {
      rows.push_back({name, "= " + value + "  (set by the bootstrap)"});
    } else {
      rows.push_back({shown(name), "= " + quoted(value)});
    }
  }
  std::cout << "Variables after the extraction:\n" << aligned_rows(rows, {});
}

}  // namespace

// vcpack build: the manifest's records, then the command line's.
int run_build(const BuildOptions& options) {
  PackageSpec spec;
  if (!options.manifest.empty()) spec = load_manifest(options.manifest);
  if (!options.stub.empty()) spec.stub_path = options.stub;
  spec.records.insert(spec.records.end(), options.records.begin(),
                      options.records.end());

  const BuildSummary summary = build_package(spec, options.output);
  for (const std::string& warning : summary.warnings) {
    std::cerr << "vcpack: warning: " << warning << "\n";
  }
  std::cout << "Wrote " << options.output << ": " << summary.size << " bytes, "
            << summary.file_records << " file and " << summary.value_records
            << " value records behind the stub.\n";
  return kExitOk;
}

// vcpack list: the records as the bootstrap meets them, and what they do.
int run_list(const ListOptions& options) {
  const PackageWalk walk =
      walk_package(vcboot::native_platform(), options.package);
  const PackageOutcome outcome = resolve_outcome(walk);
  if (options.json) {
    std::cout << package_json(walk, outcome)
                     .dump(2, ' ', false,
                           nlohmann::ordered_json::error_handler_t::replace)
              << "\n";
  } else {
    std::cout << listing_text(walk, outcome);
  }
  const std::vector<std::string> problems = package_problems(walk);
  for (const std::string& problem : problems) {
    std::cerr << "vcpack: error: " << problem << "\n";
  }
  return problems.empty() ? kExitOk : kExitRefused;
}

// vcpack verify: every digest the bootstrap checks, and the lint of what it
// would start.
int run_verify(const VerifyOptions& options) {
  const PackageWalk walk =
      walk_package(vcboot::native_platform(), options.package);
  const std::vector<std::string> problems = package_problems(walk);
  if (!problems.empty()) {
    std::cout << "Package " << walk.path << ": damaged or invalid.\n";
    for (const std::string& problem : problems) {
      std::cerr << "vcpack: error: " << problem << "\n";
    }
    return kExitRefused;
  }
  const PackageOutcome outcome = resolve_outcome(walk);
  std::cout << "Package " << walk.path << ": " << chunks_read(walk)
            << " chunks in " << walk.records.size()
            << " records read and verified; " << walk_end_text(walk) << ".\n";
  const LaunchPreview preview =
      preview_launch(walk, outcome, walk.windows_image ? '\\' : '/');
  print_launch(preview);
  for (const std::string& finding : preview.findings) {
    std::cerr << "vcpack: warning: " << finding << "\n";
  }
  if (!preview.findings.empty() && options.strict) return kExitRefused;
  return kExitOk;
}

// vcpack extract: the bootstrap's own extraction, with nothing started
// afterwards.
int run_extract(const ExtractOptions& options) {
  std::error_code error;
  if (!fs::is_directory(options.directory, error)) {
    throw usage_or_io_error(options.directory + " is not an existing folder");
  }
  const PackageWalk walk =
      walk_package(vcboot::native_platform(), options.package);
  RecordingPlatform platform(vcboot::native_platform());
  vcboot::ExtractionState state;
  state.work_folder = options.directory;
  if (state.work_folder.back() != '/') state.work_folder += '/';
  bind_bootstrap_variables(state.variables);
  const vcboot::ExtractionEnd end =
      vcboot::ArchiveExtractor(platform, state).extract(options.package);

  print_files(resolve_outcome(walk), options.directory);
  print_variables(state.variables);
  // A digest mismatch is told by the walk, with its place; the extraction's
  // own reports (a name it refuses, a file it cannot write) are passed on.
  bool failed = end != vcboot::ExtractionEnd::kComplete;
  for (const std::string& problem : package_problems(walk)) {
    std::cerr << "vcpack: error: " << problem << "\n";
  }
  for (const RecordedMessage& message : platform.messages()) {
    if (message.caption == messages::kInvalidArchiveCaption) continue;
    std::cerr << "vcpack: error: the bootstrap would report \""
              << message.caption << "\": " << one_line(message.text) << "\n";
    failed = true;
  }
  if (end != vcboot::ExtractionEnd::kComplete &&
      end != vcboot::ExtractionEnd::kFileNotWritten) {
    std::cerr << "vcpack: error: the archive is not complete: the bootstrap "
                 "would show \""
              << messages::kInvalidArchiveCaption << "\" and start nothing\n";
  }
  return failed ? kExitRefused : kExitOk;
}

}  // namespace vcpack
