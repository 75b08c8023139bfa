// vcpack extract: the bootstrap's own extraction, into a folder of the
// user's choice, with nothing started afterwards.
#include <filesystem>
#include <iostream>

#include "archive/archive_extractor.h"
#include "archive/extraction_state.h"
#include "platform/platform.h"
#include "tools/vcpack/commands.h"
#include "tools/vcpack/display_text.h"
#include "tools/vcpack/launch_preview.h"
#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/package_report.h"
#include "tools/vcpack/recording_platform.h"
#include "tools/vcpack/tool_error.h"
#include "util/messages.h"

namespace vcpack {
namespace {

namespace messages = vcboot::messages;

namespace fs = std::filesystem;

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
    if (name == "source" || name == "commandline") {
      rows.push_back({name, "= " + value + "  (set by the bootstrap)"});
    } else {
      rows.push_back({shown(name), "= " + quoted(value)});
    }
  }
  std::cout << "Variables after the extraction:\n" << aligned_rows(rows, {});
}

}  // namespace

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
  state.variables.get_or_create("source") = kWorkFolderPlaceholder;
  state.variables.get_or_create("commandline") = kCommandLinePlaceholder;
  vcboot::ArchiveExtractor(platform, state).extract(options.package);

  print_files(resolve_outcome(walk), options.directory);
  print_variables(state.variables);
  // A digest mismatch is told by the walk, with its place; the extraction's
  // own reports (a name it refuses, a file it cannot write) are passed on.
  bool failed = !state.archive_complete;
  for (const std::string& problem : package_problems(walk)) {
    std::cerr << "vcpack: error: " << problem << "\n";
  }
  for (const RecordedMessage& message : platform.messages()) {
    if (message.caption == messages::kInvalidArchiveCaption) continue;
    std::cerr << "vcpack: error: the bootstrap would report \""
              << message.caption << "\": " << one_line(message.text) << "\n";
    failed = true;
  }
  if (!state.archive_complete) {
    std::cerr << "vcpack: error: the archive is not complete: the bootstrap "
                 "would show "
                 "\"Invalid Archive!\" and start nothing\n";
  }
  return failed ? kExitRefused : kExitOk;
}

}  // namespace vcpack
