// The five commands of vcpack: build writes a package; list, verify and
// extract read one as the bootstrap would, extract with the bootstrap's own
// extraction into a folder of the user's choice; stubs lists the stubs that
// --stub finds by name.
#include "tools/vcpack/commands.h"

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "archive/archive_extractor.h"
#include "bootstrap/package_settings.h"
#include "platform/platform.h"
#include "platform/platform_wrapper.h"
#include "tools/vcpack/build.h"
#include "tools/vcpack/checks.h"
#include "tools/vcpack/display_text.h"
#include "tools/vcpack/host.h"
#include "tools/vcpack/manifest.h"
#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/report.h"
#include "tools/vcpack/stub_locator.h"
#include "tools/vcpack/tool_error.h"
#include "util/messages.h"
#include "util/text.h"

namespace vcpack {
namespace {

namespace fs = std::filesystem;
namespace messages = vcboot::messages;

// "KEY=PATH" or "PATH"; a path holding "=" is given as "=PATH".
RecordSpec file_from_argument(const std::string& argument, std::size_t index) {
  const std::string origin = "--file #" + std::to_string(index + 1);
  const std::size_t equals = argument.find('=');
  if (equals == std::string::npos) return file_record(argument, "", origin);
  return file_record(argument.substr(equals + 1), argument.substr(0, equals),
                     origin);
}

RecordSpec value_from_argument(const std::string& argument, std::size_t index) {
  const std::size_t equals = argument.find('=');
  if (equals == std::string::npos) {
    throw usage_or_io_error("--value needs NAME=TEXT, got \"" + argument +
                            "\"");
  }
  return value_record(argument.substr(0, equals), argument.substr(equals + 1),
                      "--value #" + std::to_string(index + 1));
}

// "NAME=TEXT" of `option`, split at the first "=".
std::pair<std::string, std::string> name_and_text(const std::string& argument,
                                                  const std::string& option) {
  const std::size_t equals = argument.find('=');
  if (equals == std::string::npos) {
    throw usage_or_io_error(option + " needs NAME=TEXT, got \"" + argument +
                            "\"");
  }
  return {argument.substr(0, equals), argument.substr(equals + 1)};
}

void check_option(const std::string& option, const std::string& error) {
  if (!error.empty()) throw usage_or_io_error(option + ": " + error);
}

// The identity options of `arguments`, checked, into `identity`.
void read_identity_options(const BuildArguments& arguments,
                           StubIdentity& identity) {
  check_option("--version", identity.version.empty()
                                ? std::string()
                                : version_error(identity.version));
  check_option("--execution-level",
               identity.execution_level.empty()
                   ? std::string()
                   : execution_level_error(identity.execution_level));
  for (std::size_t i = 0; i < arguments.version_info.size(); ++i) {
    const std::string origin = "--version-info #" + std::to_string(i + 1);
    auto [key, text] =
        name_and_text(arguments.version_info[i], "--version-info");
    const VersionText version{key, text, origin};
    check_option(origin, version_key_error(key));
    check_option(origin, version_text_error(version));
    set_version_text(identity, version);
  }
  for (std::size_t i = 0; i < arguments.texts.size(); ++i) {
    const std::string origin = "--text #" + std::to_string(i + 1);
    auto [name, text] = name_and_text(arguments.texts[i], "--text");
    check_option(origin, text_name_error(name));
    set_setting(identity, {name, text, origin});
  }
  for (std::size_t i = 0; i < std::size(kPlainSettings); ++i) {
    if (arguments.plain_settings[i].empty()) continue;
    // The one choice of --ui is a usage mistake to get wrong, not a value.
    if (kPlainSettings[i].setting ==
            std::string_view(vcboot::setting_names::kUi) &&
        arguments.plain_settings[i] != vcboot::kUiNone) {
      throw usage_or_io_error("--ui takes \"none\", not \"" +
                              arguments.plain_settings[i] + "\"");
    }
    set_setting(identity,
                {kPlainSettings[i].setting, arguments.plain_settings[i],
                 kPlainSettings[i].option});
  }
}

// What the command line sets of the identity replaces the manifest's.
void merge_identity(const StubIdentity& given, StubIdentity& identity) {
  if (!given.icon.empty()) identity.icon = given.icon;
  if (!given.version.empty()) identity.version = given.version;
  if (!given.execution_level.empty())
    identity.execution_level = given.execution_level;
  for (const VersionText& text : given.version_info)
    set_version_text(identity, text);
  for (const SettingValue& setting : given.settings)
    set_setting(identity, setting);
}

struct RecordedMessage {
  std::string caption;
  std::string text;
};

// The platform that `vcpack extract` runs the bootstrap's own extraction
// on. It passes every call to the host's, but keeps the message boxes
// instead of showing them, starts no program, and writes only into the
// folder given, through FolderWriter. A name with a folder part on the
// package's system is not written, as the bootstrap could not write it
// either; for a Windows package, a name that differs from one written
// before only in case or trailing dots and blanks reaches that file, as it
// would on Windows.
class ExtractPlatform : public vcboot::PlatformWrapper {
 public:
  // `folder` ends with '/', as the extraction's work folder does.
  ExtractPlatform(vcboot::Platform& target, const std::string& folder,
                  TargetSystem system)
      : PlatformWrapper(target),
        folder_(folder),
        writer_(folder),
        system_(system) {}

  const std::vector<RecordedMessage>& messages() const { return messages_; }
  // The size of the file the extraction wrote as `name` (FolderWriter).
  std::optional<std::uint64_t> written_size(const std::string& name) const {
    return writer_.file_size(name);
  }

  void show_message(const std::string& caption,
                    const std::string& text) override {
    messages_.push_back({caption, text});
  }
  // vcpack inspects packages and never runs what they carry.
  std::unique_ptr<vcboot::Process> start_program(
      const vcboot::LaunchRequest&) override {
    return nullptr;
  }

  std::unique_ptr<vcboot::File> create_for_writing(
      const std::string& path) override {
    wrote_ = true;
    const std::string name =
        vcboot::starts_with(path, folder_) ? path.substr(folder_.size()) : path;
    if (has_folder_part(name, system_)) {
      error_ = ENOENT;  // what the bootstrap meets: no such folder
      return nullptr;
    }
    const auto spelling = spellings_.emplace(file_key(name, system_), name);
    return writer_.create(spelling.first->second, &error_);
  }

  // After the first file, the codes of the files' own failures.
  std::uint32_t last_error() override {
    return wrote_ ? error_ : PlatformWrapper::last_error();
  }

 private:
  std::vector<RecordedMessage> messages_;
  std::string folder_;
  FolderWriter writer_;
  TargetSystem system_;
  std::unordered_map<std::string, std::string> spellings_;  // by file key
  std::uint32_t error_ = 0;
  bool wrote_ = false;
};

std::size_t chunks_read(const PackageWalk& walk) {
  std::size_t count = 0;
  for (const WalkedRecord& record : walk.records) count += record.chunks.size();
  return count;
}

void print_launch(const CheckedPackage& checked) {
  if (!checked.outcome.launches) {
    std::cout << launch_text(checked);
    return;
  }
  const LaunchPreview& preview = *checked.preview;
  std::cout << "The bootstrap would start:\n"
            << "  installer:  " << escaped(preview.installer) << "\n"
            << "  parameters: "
            << (preview.parameters.empty() ? "(none)"
                                           : escaped(preview.parameters))
            << "\n";
  if (preview.post.empty()) {
    std::cout << "  post:       nothing (\"post\" is empty)\n";
  } else {
    std::cout << "  post:       " << escaped(preview.post)
              << " <installer exit code>"
              << "  (in " << kWorkFolderPlaceholder << ")\n";
  }
  std::cout << exit_code_text(checked);
}

void print_findings(const std::vector<Finding>& findings) {
  for (const Finding& finding : findings) {
    std::cerr << finding_line(finding) << "\n";
  }
}

// A message box's text on one line, escaped: its lone carriage returns
// become blanks.
std::string one_line(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return escaped(text);
}

void print_files(const PackageOutcome& outcome, const std::string& directory,
                 const ExtractPlatform& platform) {
  std::vector<std::vector<std::string>> rows;
  for (const WrittenFile& file : outcome.files) {
    const std::optional<std::uint64_t> size = platform.written_size(file.name);
    rows.push_back({shown(file.name), size ? std::to_string(*size) + " bytes"
                                           : "missing, or no regular file"});
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

// A stub given by a target name becomes the path of that target's stub.
void locate_stub_of(PackageSpec& spec) {
  if (spec.stub_path.empty()) return;
  spec.stub_path =
      locate_stub(spec.stub_path, spec.stub_as_written, host_stub_places());
}

}  // namespace

BuildOptions build_options_in_order(const BuildArguments& arguments,
                                    const std::vector<std::string>& sequence) {
  BuildOptions options = arguments.options;
  std::size_t files = 0, names = 0, values = 0;
  // The --file that a --as names: the record just before it, if a file.
  std::size_t last_file = 0;
  bool can_name = false;
  for (const std::string& option : sequence) {
    if (option == "--file") {
      options.records.push_back(
          file_from_argument(arguments.files.at(files), files));
      ++files;
      last_file = options.records.size() - 1;
      can_name = true;
    } else if (option == "--value") {
      options.records.push_back(
          value_from_argument(arguments.values.at(values), values));
      ++values;
      can_name = false;
    } else if (option == "--as") {
      const std::string& name = arguments.stored_names.at(names++);
      if (!can_name) {
        throw usage_or_io_error("--as " + name +
                                " must follow the --file it names");
      }
      options.records[last_file].stored_name = name;
      can_name = false;
    }
  }
  read_identity_options(arguments, options.identity);
  return options;
}

// vcpack build: the manifest's records, then the command line's.
int run_build(const BuildOptions& options) {
  check_allowed(options.allowed);
  PackageSpec spec;
  if (!options.manifest.empty()) spec = load_manifest(options.manifest);
  if (!options.stub.empty())
    spec.stub_path = spec.stub_as_written = options.stub;
  locate_stub_of(spec);
  spec.records.insert(spec.records.end(), options.records.begin(),
                      options.records.end());
  merge_identity(options.identity, spec.identity);
  add_exit_code_record(options.exit_code, spec);
  add_exit_code_setting(spec);
  check_output(options.output, options.manifest, spec);
  encode_texts(options.encoding, spec);

  const BuildSummary summary =
      build_package(spec, options.output, [&](const std::string& path) {
        check_built_package(path, spec, options.allowed);
      });
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
  check_allowed(options.allowed);
  const PackageWalk walk = walk_package(host_platform(), options.package);
  const CheckedPackage checked = check_package(walk, nullptr, options.allowed);
  if (options.json) {
    write_package_json(std::cout, walk, checked);
  } else {
    std::cout << listing_text(walk, checked);
  }
  print_findings(checked.findings);
  return checked.count(Severity::kError) > 0 ? kExitRefused : kExitOk;
}

// vcpack verify: every digest the bootstrap checks, and the checks of what
// it would do.
int run_verify(const VerifyOptions& options) {
  check_allowed(options.allowed);
  const PackageWalk walk = walk_package(host_platform(), options.package);
  const CheckedPackage checked = check_package(walk, nullptr, options.allowed);
  if (options.json) {
    write_verify_json(std::cout, walk, checked);
  } else if (!checked.preview) {
    std::cout << "Package " << walk.path << ": damaged or invalid.\n";
  } else {
    std::cout << "Package " << walk.path << ": " << chunks_read(walk)
              << " chunks in " << walk.records.size()
              << " records read and verified; " << walk_end_text(walk) << ".\n";
    print_launch(checked);
  }
  print_findings(checked.findings);
  const bool failed = checked.count(Severity::kError) > 0 ||
                      (options.strict && checked.count(Severity::kWarning) > 0);
  return failed ? kExitRefused : kExitOk;
}

// vcpack extract: the bootstrap's own extraction, with nothing started
// afterwards.
int run_extract(const ExtractOptions& options) {
  std::error_code error;
  if (!fs::is_directory(utf8_path(options.directory), error)) {
    throw usage_or_io_error(options.directory + " is not an existing folder");
  }
  const PackageWalk walk = walk_package(host_platform(), options.package);
  const PackageOutcome outcome = resolve_outcome(walk);
  vcboot::ExtractionState state;
  state.work_folder = options.directory;
  if (state.work_folder.back() != '/') state.work_folder += '/';
  ExtractPlatform platform(host_platform(), state.work_folder, outcome.target);
  bind_bootstrap_variables(state.variables);
  vcboot::ArchiveExtractor(platform, state).extract(options.package);

  print_files(outcome, options.directory, platform);
  print_variables(state.variables);
  // Damage is told by the walk, with its place; the extraction's own reports
  // (a name it refuses, a file it cannot write) are passed on.
  bool failed = outcome.stop != WalkStop::kStubRecord;
  print_findings(damage_findings(walk));
  for (const RecordedMessage& message : platform.messages()) {
    if (message.caption == messages::kInvalidArchiveCaption) continue;
    std::cerr << "vcpack: error: the bootstrap would report \""
              << message.caption << "\": " << one_line(message.text) << "\n";
    failed = true;
  }
  if (outcome.stop == WalkStop::kDamage) {
    std::cerr << "vcpack: error: the archive is not complete: the bootstrap "
                 "would show \""
              << messages::kInvalidArchiveCaption << "\" and start nothing\n";
  }
  return failed ? kExitRefused : kExitOk;
}

// vcpack stubs: every target that --stub finds, and where it looked.
int run_stubs() {
  const std::vector<StubPlace> places = host_stub_places();
  const std::vector<InstalledStub> stubs = find_stubs(places);
  std::vector<std::vector<std::string>> rows;
  for (const InstalledStub& stub : stubs) {
    rows.push_back({stub.target,
                    stub.version.empty() ? "(version unknown)" : stub.version,
                    stub.path});
  }
  if (!rows.empty()) {
    std::cout << "Stubs by target name, for --stub and \"stub =\" in a "
                 "manifest:\n"
              << aligned_rows(rows, {});
  }
  std::cout << "Looked in, in this order:\n";
  for (const StubPlace& place : places) {
    std::cout << "  " << describe_place(place) << "\n";
  }
  if (stubs.empty()) {
    std::cerr << "vcpack: error: no stubs found\n";
    return kExitRefused;
  }
  return kExitOk;
}

}  // namespace vcpack
