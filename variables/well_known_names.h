// The variables that the bootstrap itself sets or reads; a package binds the
// others. vcpack uses the same names to tell what the bootstrap will do.
#pragma once

namespace vcboot::variable_names {

// Set by the bootstrap before the archive is read, so a package cannot
// change them: the work folder without its closing separator, and the
// command line after the program's own name.
inline constexpr char kSource[] = "source";
inline constexpr char kCommandLine[] = "commandline";

// Read by the launch, in this order: the installer (a path within the work
// folder), its parameter text, and the program started after it.
inline constexpr char kExecutable[] = "executable";
inline constexpr char kParameters[] = "parameters";
inline constexpr char kPost[] = "post";

// Read after the extraction, before the launch: which exit code the package
// ends with (bootstrap/exit_code.h). Empty, absent or any other text keeps
// the default, 0 or 1.
inline constexpr char kExitCode[] = "exitcode";

}  // namespace vcboot::variable_names

namespace vcboot::exit_code_values {

// The values of "exitcode" that the bootstrap knows: the installer's exit
// code, or the post program's.
inline constexpr char kInstaller[] = "installer";
inline constexpr char kPost[] = "post";

}  // namespace vcboot::exit_code_values
