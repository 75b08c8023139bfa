// The choices that the package's settings and the administrator's
// environment make about how a run tells what it does: whether it shows
// message boxes, and whether it writes a support log (util/run_log.h).
// Made at the start of the run, before the single-instance guard, so that
// they hold for "Already Running" too.
#pragma once

#include <string>

#include "bootstrap/exit_code.h"
#include "bootstrap/package_settings.h"
#include "platform/platform.h"
#include "util/messenger.h"

namespace vcboot {

// The environment variables by which an administrator asks for the same as
// the package's settings "ui" and "log", without repackaging; they win over
// the package's. VCBOOT_UI takes "none" (in any case), VCBOOT_LOG a path
// with the references of log_template.h.
inline constexpr char kUiVariable[] = "VCBOOT_UI";
inline constexpr char kLogVariable[] = "VCBOOT_LOG";

// Holds every message box when VCBOOT_UI or the package asks for none.
void hold_boxes_if_asked(Platform& platform, const PackageSettings& settings,
                         Messenger& messenger);

// Opens the support log that VCBOOT_LOG or else the package's "log" names,
// and writes its header: the bootstrap's version, the package's path and
// size, `command_line`, the user, whether the process is elevated, the
// session, and how messages are told. Nothing when neither asks for one. A
// log that cannot be opened stops nothing: the log goes to
// vcboot-<time>-<pid>.log in the temporary directory instead, which says
// why, or, when that fails too, nowhere.
void start_support_log(Platform& platform, const PackageSettings& settings,
                       const std::string& command_line, Messenger& messenger);

// The log's last line: the exit code `code` and why it is that one.
void log_exit_code(RunLog& log, int code, RunEnd end, ExitCodePolicy policy,
                   int stop_signal);

}  // namespace vcboot
