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
  const std::unique_ptr<Process> installer =
      request.file.empty() ? nullptr : platform.start_program(request);
  if (!installer) {
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
      run_post_program(platform, state, *exit_code,
                       state.exit_code_policy == ExitCodePolicy::kPost);
  return outcome;
  // `installer` goes out of scope only now, after the post program ended.
}

std::optional<std::uint32_t> run_post_program(Platform& platform,
                                              RunState& state,
                                              std::uint32_t exit_code,
                                              bool read_exit_code) {
  LaunchRequest request;
  request.file = expanded_variable(state, variable_names::kPost);
  if (request.file.empty()) return std::nullopt;
  // All 32 bits as a signed number: 0xFFFFFFFF reads "-1".
  request.parameters =
      format_string("%i", static_cast<std::int32_t>(exit_code));
  request.directory = state.files_folder();
  const std::unique_ptr<Process> post = platform.start_program(request);
  if (!post || !post->wait() || !read_exit_code) return std::nullopt;
  return post->exit_code();
}

}  // namespace vcboot
