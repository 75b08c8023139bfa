#include "bootstrap/run_sequence.h"

#include <cstdint>
#include <exception>
#include <utility>

#include "archive/archive_extractor.h"
#include "bootstrap/launch.h"
#include "util/format_string.h"
#include "util/messenger.h"
#include "util/remove_tree.h"
#include "variables/expand_variables.h"
#include "variables/well_known_names.h"

namespace vcboot {
namespace {

// How many names the run tries for its work folder, counting up from the
// calendar time, before it gives up: names that stand already are never
// taken over, and a few runs in one second, or names planted ahead, must not
// stop an installation.
constexpr std::uint32_t kWorkFolderNames = 100;

// The work folder's name: a number read as a signed 32-bit value, so a clock
// past 2038 gives a minus sign after "VC".
std::string work_folder_name(std::uint32_t number, char separator) {
  return format_string("VC%i%c", static_cast<std::int32_t>(number), separator);
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

// Makes a new work folder under the temporary directory and enters it: the
// first of the names VC<time>, VC<time + 1>, ... that is free. False (after
// telling the user) when none could be made and entered.
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
  for (std::uint32_t i = 0; i < kWorkFolderNames; ++i) {
    const std::string folder =
        temp + work_folder_name(first + i, platform.path_separator());
    const NewDirectory made = platform.create_new_directory(folder);
    if (made == NewDirectory::kExists) continue;
    if (made == NewDirectory::kCreated) {
      state.work_folder = folder;
      if (platform.enter_new_directory(folder)) return true;
    }
    break;
  }
  messenger.show(MessageText::kNoWorkFolderCaption,
                 MessageText::kNoWorkFolderText);
  return false;
}

// Windows refuses to remove a folder that is a process's current
// directory, so step out of the work folder first; if that fails, the removal
// is tried all the same and what cannot go stays.
void remove_work_folder(Platform& platform, const RunState& state) {
  platform.set_current_directory(parent_folder(state.work_folder));
  remove_tree(platform, state.work_folder);
}

// The run itself; its outcome decides the exit code.
RunOutcome run_steps(Platform& platform, RunState& state, Messenger& messenger,
                     const std::string& guard_name,
                     const std::string& command_line) {
  RunOutcome outcome;
  if (platform.create_instance_mutex(guard_name) ==
      MutexResult::kAlreadyExists) {
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

  const ExtractionEnd extracted = ArchiveExtractor(platform, state, messenger)
                                      .extract(platform.module_path());
  // Read like the launch's variables, so it may refer to others; whatever
  // the archive bound before an extraction failed counts. Unbound, the
  // settings' choice stands (a cut download loses the record with the tail).
  const bool bound = state.variables.find(variable_names::kExitCode) != nullptr;
  const ExitCodePolicy archive_policy = exit_code_policy(
      expand_variables(state.variables.get_or_create(variable_names::kExitCode),
                       state.variables));
  if (bound) state.exit_code_policy = archive_policy;
  if (extracted == ExtractionEnd::kComplete) {
    outcome = launch_installer(platform, state, messenger);
  } else if (extracted == ExtractionEnd::kFileNotWritten) {
    // Told as such: the download may be sound, and a new one would not help.
    outcome.end = RunEnd::kFileNotExtracted;
  } else {
    // The archive cannot be used as it is: the user is sent for a whole copy.
    messenger.show(MessageText::kInvalidArchiveCaption,
                   MessageText::kInvalidArchiveText);
    outcome.end = RunEnd::kArchiveUnusable;
  }
  remove_work_folder(platform, state);
  return outcome;
}

}  // namespace

int run_installation(Platform& platform, RunState& state,
                     const std::string& command_line) {
  RunOutcome outcome;
  // Today's texts until the settings are read, then theirs, moved in whole.
  // Made without allocating, as nothing out here may throw.
  MessageTexts texts;
  Messenger messenger(platform, texts);
  try {
    // First of all: the guard's name, the texts and the exit-code choice.
    PackageSettings settings =
        read_package_settings(platform.package_settings_block());
    texts = std::move(settings.texts);
    state.exit_code_policy = settings.exit_code_policy;
    outcome = run_steps(platform, state, messenger, settings.guard_name,
                        command_line);
  } catch (const std::exception& error) {
    // Not a mistake: the description is the caption, "Unhandled Exception"
    // the text.
    messenger.show_exception(error.what());
    outcome.end = RunEnd::kUnhandledException;
  } catch (...) {
    messenger.show_exception(nullptr);
    outcome.end = RunEnd::kUnhandledException;
  }
  // A policy read before an exception still holds for it.
  return exit_code(outcome, state.exit_code_policy);
}

}  // namespace vcboot
