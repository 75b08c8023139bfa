#include "bootstrap/run_sequence.h"

#include <cstdint>
#include <exception>

#include "archive/archive_extractor.h"
#include "bootstrap/launch.h"
#include "util/format_string.h"
#include "util/messages.h"
#include "util/remove_tree.h"
#include "variables/well_known_names.h"

namespace vcboot {
namespace {

// The work folder's name: the low 32 bits of the calendar time, read as a
// signed number, so a clock past 2038 gives a minus sign after "VC".
std::string work_folder_name(std::int64_t now, char separator) {
  const auto low_bits = static_cast<std::uint32_t>(now);
  return format_string("VC%i%c", static_cast<std::int32_t>(low_bits),
                       separator);
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

// Makes the work folder under the temporary directory and enters it. False
// (after telling the user) when it cannot be made the current directory.
bool enter_work_folder(Platform& platform, RunState& state) {
  state.work_folder = platform.temp_directory();
  if (state.work_folder.empty()) {
    platform.show_message(messages::kNoTempDirectoryCaption,
                          messages::kNoTempDirectoryText);
    state.work_folder = platform.fallback_temp_directory();
  }
  // Normally exists already; only its last level can be made here.
  platform.create_directory(state.work_folder);
  state.work_folder +=
      work_folder_name(platform.calendar_time(), platform.path_separator());
  // A folder of the same name is taken over with whatever it holds.
  platform.create_directory(state.work_folder);
  if (!platform.set_current_directory(state.work_folder)) {
    platform.show_message(messages::kNoWorkFolderCaption,
                          messages::kNoWorkFolderText);
    return false;
  }
  return true;
}

// Windows refuses to remove a folder that is a process's current
// directory, so step out of the work folder first; if that fails, the removal
// is tried all the same and what cannot go stays.
void remove_work_folder(Platform& platform, const RunState& state) {
  platform.set_current_directory(parent_folder(state.work_folder));
  remove_tree(platform, state.work_folder);
}

int run_steps(Platform& platform, RunState& state,
              const std::string& command_line) {
  if (platform.create_instance_mutex(kInstanceMutexName) ==
      MutexResult::kAlreadyExists) {
    platform.show_message(messages::kAlreadyRunningCaption,
                          messages::kAlreadyRunningText);
    return 1;
  }
  if (!enter_work_folder(platform, state)) return 1;

  state.variables.get_or_create(variable_names::kSource) =
      state.work_folder.substr(0, state.work_folder.size() - 1);
  state.variables.get_or_create(variable_names::kCommandLine) = command_line;

  ArchiveExtractor(platform, state).extract(platform.module_path());
  if (state.archive_complete) {
    launch_installer(platform, state);
  } else {
    platform.show_message(messages::kInvalidArchiveCaption,
                          messages::kInvalidArchiveText);
  }
  remove_work_folder(platform, state);
  return 0;
}

}  // namespace

int run_installation(Platform& platform, RunState& state,
                     const std::string& command_line) {
  try {
    return run_steps(platform, state, command_line);
  } catch (const std::exception& error) {
    // Not a mistake: the description is the caption, "Unhandled Exception"
    // the text.
    platform.show_message(error.what(), messages::kUnhandledExceptionText);
    return 0;
  } catch (...) {
    platform.show_message(messages::kNoContextCaption,
                          messages::kUnhandledExceptionText);
    return 0;
  }
}

}  // namespace vcboot
