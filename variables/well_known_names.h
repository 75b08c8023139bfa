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

// Read after the archive: what the package returns to its caller. These two
// values select the installer's or the post program's exit code; an absent,
// empty or other value keeps the default (0, or 1 for a run that could not
// begin).
inline constexpr char kExitCode[] = "exitcode";
inline constexpr char kExitCodeFromInstaller[] = "installer";
inline constexpr char kExitCodeFromPost[] = "post";

}  // namespace vcboot::variable_names
