#include "bootstrap/launch.h"

#include <string>

#include "util/format_string.h"
#include "variables/expand_variables.h"
#include "variables/well_known_names.h"

namespace vcboot {
namespace {

// Fetches `name`, creating it empty when the archive did not define it, and
// expands it. The stored value stays as it is.
std::string expanded_variable(RunState& state, const std::string& name) {
  return expand_variables(state.variables.get_or_create(name), state.variables);
}

// "Installer: starting "<file>" <parameters> (in ...)": what the program
// is handed, as the shell puts it on its command line.
void log_start(RunLog& log, const char* who, const LaunchRequest& request) {
  log.write({who, ": starting \"", request.file, "\"",
             request.parameters.empty() ? "" : " ", request.parameters,
             request.directory ? " (in \"" : " (in the work folder",
             request.directory ? std::string_view(*request.directory)
                               : std::string_view(),
             request.directory ? "\")" : ")"});
}

// Whether `program` started; tells the log its number or why it did not.
bool log_started(Platform& platform, RunLog& log, const char* who,
                 Process* program) {
  if (!log.is_on()) return program != nullptr;
  if (program != nullptr) {
    log.write({who, ": started, process ", decimal(program->id())});
    return true;
  }
  const std::uint32_t error = platform.last_error();
  log.write({who, ": not started, error ", code_text(error), ": ",
             platform.system_error_text(error)});
  return false;
}

void log_end(RunLog& log, const char* who, const char* how,
             const std::optional<std::uint32_t>& code) {
  if (code) {
    log.write({who, how, " with exit code ", code_text(*code)});
  } else {
    log.write({who, how});
  }
}

}  // namespace

RunOutcome launch_installer(Platform& platform, RunState& state,
                            Messenger& messenger) {
  LaunchRequest request;
  // No separator is added: the work folder's prefix ends with one, and
  // whatever "executable" expands to, even an absolute path, is put behind
  // it. The prefix reaches the folder that was entered (run_state.h).
  request.file = state.files_folder() +
                 expanded_variable(state, variable_names::kExecutable);
  request.parameters = expanded_variable(state, variable_names::kParameters);
  // No directory: the installer inherits the current one, the work folder.

  RunOutcome outcome;
  outcome.end = RunEnd::kLaunchFailed;
  RunLog& log = messenger.log();
  log_start(log, "Installer", request);
  const std::unique_ptr<Process> installer =
      request.file.empty() ? nullptr : platform.start_program(request);
  if (!log_started(platform, log, "Installer", installer.get())) {
    // A start refused for a stop request that came just before is no
    // failure to tell.
    if (platform.stop_signal() == 0) {
      messenger.show(MessageText::kStartFailedCaption,
                     MessageText::kStartFailedText);
    }
    return outcome;
  }
  if (!installer->wait()) {
    messenger.show(MessageText::kWaitFailedCaption,
                   MessageText::kWaitFailedText);
    return outcome;
  }
  const std::optional<std::uint32_t> exit_code = installer->exit_code();
  log_end(log, "Installer", ": ended", exit_code);
  if (!exit_code) {
    messenger.show(MessageText::kExitCodeFailedCaption,
                   MessageText::kExitCodeFailedText);
    return outcome;
  }
  outcome.end = RunEnd::kInstallerEnded;
  outcome.installer_code = *exit_code;
  // A stop request passed on to the installer ends the run here.
  if (platform.stop_signal() != 0) return outcome;
  outcome.post_code =
      run_post_program(platform, state, log, *exit_code,
                       state.exit_code_policy == ExitCodePolicy::kPost);
  return outcome;
  // `installer` goes out of scope only now, after the post program ended.
}

std::optional<std::uint32_t> run_post_program(Platform& platform,
                                              RunState& state, RunLog& log,
                                              std::uint32_t exit_code,
                                              bool read_exit_code) {
  LaunchRequest request;
  request.file = expanded_variable(state, variable_names::kPost);
  if (request.file.empty()) return std::nullopt;
  // All 32 bits as a signed number: 0xFFFFFFFF reads "-1".
  request.parameters =
      format_string("%i", static_cast<std::int32_t>(exit_code));
  request.directory = state.files_folder();
  log_start(log, "Post program", request);
  const std::unique_ptr<Process> post = platform.start_program(request);
  if (!log_started(platform, log, "Post program", post.get())) {
    return std::nullopt;
  }
  if (!post->wait()) {
    log_end(log, "Post program", ": could not be waited for", std::nullopt);
    return std::nullopt;
  }
  // Read only when the package asks for it, or for the log.
  const std::optional<std::uint32_t> code =
      read_exit_code || log.is_on() ? post->exit_code() : std::nullopt;
  log_end(log, "Post program", ": ended", code);
  return read_exit_code ? code : std::nullopt;
}

}  // namespace vcboot
