// The whole life of one bootstrap run, from the single-instance guard to the
// removal of the work folder.
#pragma once

#include <string>

#include "bootstrap/package_settings.h"
#include "bootstrap/run_state.h"
#include "platform/platform.h"

namespace vcboot {

// Runs the installation and returns the process exit code, as exit_code()
// maps the run's outcome (bootstrap/exit_code.h): by default 1 when another
// installation is running or the work folder cannot be made current, and 0
// otherwise (failures are told in message boxes); a package that binds
// "exitcode" gets the installer's or the post program's exit code, and 1603
// for the bootstrap's own failures; a run stopped on request (POSIX: SIGTERM,
// SIGHUP) ends with 128 + the signal's number. The installer starts only
// after a complete extraction.
// The package's settings (package_settings.h) are read first of all: the
// guard's name, the texts of every message box, and the exit-code choice
// until the archive binds "exitcode".
// `command_line` is the command line after the program's own name; it becomes
// the variable "commandline". Catches every exception that escapes.
int run_installation(Platform& platform, RunState& state,
                     const std::string& command_line);

}  // namespace vcboot
