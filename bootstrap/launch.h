// Starting the installer that the archive names, and after it the optional
// post program, each waited for without a time limit.
#pragma once

#include <cstdint>
#include <optional>

#include "bootstrap/run_state.h"
#include "platform/platform.h"
#include "util/messenger.h"

namespace vcboot {

// Starts the work folder's prefix followed by the expanded "executable",
// with the expanded "parameters", waits for it, and hands its exit code to
// `run_post_program`, unless a stop request arrived meanwhile. The variables
// are fetched with `get_or_create`, in that order, each expanded at once.
// Every failure is told in a message box and ends the launch
// (RunEnd::kLaunchFailed); each program's command line, process number,
// start, end and exit code go to the messenger's support log; the installer's
// handle is released only after the post program has ended. The post program's
// exit code is read only under the "post" exit-code policy.
RunOutcome launch_installer(Platform& platform, RunState& state,
                            Messenger& messenger);
// The same, told with the default texts.
RunOutcome launch_installer(Platform& platform, RunState& state);

// Starts the expanded "post", if it is not empty, in the work folder with
// `exit_code` as signed decimal for its whole parameter text, and waits for
// it. Reports nothing to the user: a failed start or wait ends silently,
// told only to the support log `log`. Its own exit code, when
// `read_exit_code` asks for it and it can be had.
std::optional<std::uint32_t> run_post_program(Platform& platform,
                                              RunState& state, RunLog& log,
                                              std::uint32_t exit_code,
                                              bool read_exit_code = false);

}  // namespace vcboot
