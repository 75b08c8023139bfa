#include "bootstrap/run_sequence.h"

#include <cstdint>
#include <exception>
#include <utility>

#include "archive/archive_extractor.h"
#include "bootstrap/launch.h"
#include "bootstrap/support_log.h"
#include "util/format_string.h"
#include "util/messenger.h"
#include "util/remove_tree.h"
#include "variables/expand_variables.h"
#include "variables/well_known_names.h"

namespace vcboot {
namespace {

// How many names the run tries for its work folder, counting up from the
// calendar time: names that stand already are never taken over, and a few
// runs in one second, or names planted ahead, must not stop an installation.
// Names that anyone can foresee can all be planted, though: then as many
// names that nobody can, as mkdtemp makes them.
constexpr std::uint32_t kWorkFolderNames = 100;

// The work folder's name: a number read as a signed 32-bit value, so a clock
// past 2038 gives a minus sign after "VC".
std::string work_folder_name(std::uint32_t number, char separator) {
  return format_string("VC%i%c", static_cast<std::int32_t>(number), separator);
}

// "VC" and six letters or digits from the system's source of random
// numbers; empty when it has none.
std::string unforeseeable_folder_name(Platform& platform) {
  static constexpr char kSymbols[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[6];
  if (!platform.random_bytes(random, sizeof random)) return std::string();
  std::string name = "VC";
  for (const unsigned char byte : random) {
    name += kSymbols[byte % (sizeof kSymbols - 1)];
  }
  return name + platform.path_separator();
}

// The folder that holds `folder`: its path up to and including the separator
// before its last component.
std::string parent_folder(const std::string& folder) {
  const std::size_t end = folder.find_last_not_of("\\/");
  if (end == std::string::npos) return std::string();
  const std::size_t separator = folder.find_last_of("\\/", end);
  if (separator == std::string::npos) return std::string();
  return folder.substr(0, separator + 1);
}

enum class Attempt { kEntered, kTaken, kFailed };

// Makes `folder` and enters it, unless its name is taken.
Attempt make_work_folder(Platform& platform, RunState& state,
                         const std::string& folder) {
  const NewDirectory made = platform.create_new_directory(folder);
  if (made == NewDirectory::kExists) return Attempt::kTaken;
  if (made == NewDirectory::kFailed) return Attempt::kFailed;
  state.work_folder = folder;
  if (!platform.enter_new_directory(folder)) return Attempt::kFailed;
  state.entered_folder = platform.current_directory_prefix(folder);
  return Attempt::kEntered;
}

// Tries names that nobody can foresee; kFailed when the system has no
// source of random numbers.
Attempt make_unforeseeable_work_folder(Platform& platform, RunState& state,
                                       const std::string& temp) {
  Attempt attempt = Attempt::kTaken;
  for (std::uint32_t i = 0; i < kWorkFolderNames && attempt == Attempt::kTaken;
       ++i) {
    const std::string name = unforeseeable_folder_name(platform);
    if (name.empty()) return Attempt::kFailed;
    attempt = make_work_folder(platform, state, temp + name);
  }
  return attempt;
}

// Makes a new work folder under the temporary directory and enters it: the
// first of the names VC<time>, VC<time + 1>, ... that is free, else one that
// nobody could foresee. False (after telling the user) when none could be
// made and entered.
bool enter_work_folder(Platform& platform, RunState& state,
                       Messenger& messenger) {
  std::string temp = platform.temp_directory();
  if (temp.empty()) {
    messenger.show(MessageText::kNoTempDirectoryCaption,
                   MessageText::kNoTempDirectoryText);
    temp = platform.fallback_temp_directory();
  }
  // Normally exists already; only its last level can be made here.
  platform.create_directory(temp);
  // The low 32 bits of the time; the count wraps as they do.
  const auto first = static_cast<std::uint32_t>(platform.calendar_time());
  Attempt attempt = Attempt::kTaken;
  for (std::uint32_t i = 0; i < kWorkFolderNames && attempt == Attempt::kTaken;
       ++i) {
    attempt = make_work_folder(
        platform, state,
        temp + work_folder_name(first + i, platform.path_separator()));
  }
  if (attempt == Attempt::kTaken) {
    attempt = make_unforeseeable_work_folder(platform, state, temp);
  }
  RunLog& log = messenger.log();
  if (attempt == Attempt::kEntered) {
    log.write({"Work folder: \"", state.work_folder, "\""});
    return true;
  }
  if (log.is_on()) {
    const std::uint32_t error = platform.last_error();
    log.write({"Work folder: none could be made and entered in \"", temp,
               "\", error ", code_text(error), ": ",
               platform.system_error_text(error)});
  }
  messenger.show(MessageText::kNoWorkFolderCaption,
                 MessageText::kNoWorkFolderText);
  return false;
}

// Empties the work folder from inside, by the names its files were made
// under, so that it is the folder that was entered whatever its path leads
// to by now. Windows refuses to remove a folder that is a process's current
// directory, so the run then steps out of it; if that fails, the removal is
// tried all the same and what cannot go stays.
void remove_work_folder(Platform& platform, const RunState& state,
                        RunLog& log) {
  empty_tree(platform, state.files_folder());
  platform.set_current_directory(parent_folder(state.work_folder));
  if (platform.remove_directory(state.work_folder)) {
    log.write({"Clean-up: the work folder is removed"});
    return;
  }
  if (!log.is_on()) return;
  // What stayed, as far as the folder can still be listed.
  std::string stayed;
  const std::unique_ptr<DirectoryListing> listing =
      platform.list_directory(state.work_folder + "*");
  DirectoryEntry entry;
  while (listing && listing->next(&entry)) {
    if (entry.name == "." || entry.name == "..") continue;
    stayed += stayed.empty() ? "\"" : ", \"";
    stayed += entry.name + (entry.is_directory ? "\\\"" : "\"");
  }
  log.write({"Clean-up: the work folder \"", state.work_folder, "\" stays",
             stayed.empty() ? "" : ", holding ", stayed});
}

// Reads "exitcode" as the launch reads its variables, so it may refer to
// others, but without creating it: an unbound "%exitcode%" elsewhere stays
// in the text as written. Unbound, the settings' choice stands, as a cut
// download loses the record with the tail.
ExitCodePolicy read_exit_code_policy(const RunState& state) {
  const std::string* value = state.variables.find(variable_names::kExitCode);
  return value == nullptr
             ? state.exit_code_policy
             : exit_code_policy(expand_variables(*value, state.variables));
}

// The extraction and, when it is complete, the launch.
RunOutcome extract_and_launch(Platform& platform, RunState& state,
                              Messenger& messenger) {
  RunOutcome outcome;
  ArchiveExtractor extractor(platform, state, messenger);
  const ExtractionEnd extracted = extractor.extract(platform.module_path());
  // Whatever the archive bound before an extraction failed counts.
  state.exit_code_policy = read_exit_code_policy(state);
  if (extracted == ExtractionEnd::kStopped || platform.stop_signal() != 0) {
    // Stopped on request: nothing more is started, nothing is shown.
  } else if (extracted == ExtractionEnd::kComplete) {
    outcome = launch_installer(platform, state, messenger);
  } else if (extracted == ExtractionEnd::kFileNotWritten) {
    // Told as such: the download may be sound, and a new one would not help.
    outcome.end = platform.is_disk_full(extractor.file_error())
                      ? RunEnd::kDiskFull
                      : RunEnd::kFileNotExtracted;
  } else {
    // The archive cannot be used as it is: the user is sent for a whole copy.
    messenger.show(MessageText::kInvalidArchiveCaption,
                   MessageText::kInvalidArchiveText);
    outcome.end = RunEnd::kArchiveUnusable;
  }
  return outcome;
}

// The run itself; its outcome decides the exit code.
RunOutcome run_steps(Platform& platform, RunState& state, Messenger& messenger,
                     const std::string& guard_name,
                     const std::string& command_line) {
  RunOutcome outcome;
  const MutexResult guard = platform.create_instance_mutex(guard_name);
  RunLog& log = messenger.log();
  if (guard != MutexResult::kUnavailable) {
    log.write({"Guard \"", guard_name,
               guard == MutexResult::kAcquired
                   ? "\": taken"
                   : "\": held by another installation"});
  } else if (log.is_on()) {
    const std::uint32_t error = platform.last_error();
    log.write({"Guard \"", guard_name,
               "\": not to be had, the run goes on without it: error ",
               code_text(error), ": ", platform.system_error_text(error)});
  }
  if (guard == MutexResult::kAlreadyExists) {
    messenger.show(MessageText::kAlreadyRunningCaption,
                   MessageText::kAlreadyRunningText);
    outcome.end = RunEnd::kAlreadyRunning;
    return outcome;
  }
  if (!enter_work_folder(platform, state, messenger)) {
    outcome.end = RunEnd::kNoWorkFolder;
    return outcome;
  }

  state.variables.get_or_create(variable_names::kSource) =
      state.work_folder.substr(0, state.work_folder.size() - 1);
  state.variables.get_or_create(variable_names::kCommandLine) = command_line;

  try {
    outcome = extract_and_launch(platform, state, messenger);
  } catch (const ExpansionTooLong&) {
    // A bound of the package's own making, not a lack of memory that could
    // stop the clean-up too: the folder goes, then the run ends as for any
    // exception.
    remove_work_folder(platform, state, log);
    throw;
  }
  remove_work_folder(platform, state, log);
  return outcome;
}

// The policy for a run that an exception ended, which may have come before
// the policy was read: whatever the archive bound by then counts. Reading it
// may fail in turn (a lack of memory, an expansion past its bounds): then the
// default.
void read_policy_after_exception(RunState& state) {
  try {
    state.exit_code_policy = read_exit_code_policy(state);
  } catch (...) {
  }
}

}  // namespace

int run_installation(Platform& platform, RunState& state,
                     const std::string& command_line) {
  platform.catch_stop_signals();
  RunOutcome outcome;
  // Today's texts until the settings are read, then theirs, moved in whole.
  // Made without allocating, as nothing out here may throw.
  MessageTexts texts;
  RunLog log;
  Messenger messenger(platform, texts, log);
  try {
    // First of all: the guard's name, the texts, the exit-code choice, and
    // how the run tells what it does.
    PackageSettings settings =
        read_package_settings(platform.package_settings_block());
    texts = std::move(settings.texts);
    state.exit_code_policy = settings.exit_code_policy;
    hold_boxes_if_asked(platform, settings, messenger);
    start_support_log(platform, settings, command_line, messenger);
    outcome = run_steps(platform, state, messenger, settings.guard_name,
                        command_line);
  } catch (const std::exception& error) {
    // Not a mistake: the description is the caption, "Unhandled Exception"
    // the text.
    messenger.show_exception(error.what());
    outcome.end = RunEnd::kUnhandledException;
    read_policy_after_exception(state);
  } catch (...) {
    messenger.show_exception(nullptr);
    outcome.end = RunEnd::kUnhandledException;
    read_policy_after_exception(state);
  }
  // A run stopped on request ends as the shells report a program that the
  // signal ended.
  const int signal = platform.stop_signal();
  const int code =
      signal != 0 ? 128 + signal : exit_code(outcome, state.exit_code_policy);
  log_exit_code(log, code, outcome.end, state.exit_code_policy, signal);
  return code;
}

}  // namespace vcboot
