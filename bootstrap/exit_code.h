// The process exit code of a run: what happened, under the exit-code policy
// that the package chose with its "exitcode" variable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vcboot {

enum class ExitCodePolicy {
  kDefault,    // 0, or 1 for a run that never got to its archive
  kInstaller,  // "installer": the installer's exit code
  kPost,       // "post": the post program's exit code
};

// The policy that the expanded value of "exitcode" names; kDefault for any
// text but "installer" and "post", the empty one included.
ExitCodePolicy exit_code_policy(const std::string& value);

// How a run ended, as far as its exit code goes.
enum class RunEnd {
  kAlreadyRunning,      // another installation holds the guard
  kNoWorkFolder,        // no work folder could be made and entered
  kArchiveUnusable,     // not opened, no tail, damaged or incomplete
  kDiskFull,            // a file could not be written: the disk is full
  kFileNotExtracted,    // a file could not be written, or its name is refused
  kLaunchFailed,        // the installer not started, not waited for, or its
                        // exit code not read
  kInstallerEnded,      // the installer ran to its end
  kUnhandledException,  // an exception ended the run
};

struct RunOutcome {
  RunEnd end = RunEnd::kUnhandledException;
  std::uint32_t installer_code = 0;        // when the installer ended
  std::optional<std::uint32_t> post_code;  // when a post program ran and its
                                           // code was read
};

// Codes of Windows that deployment tools know and act on: a fatal error
// during installation; another installation in progress (Intune and
// Configuration Manager retry later); the disk is full.
inline constexpr std::uint32_t kFatalInstallError = 1603;
inline constexpr std::uint32_t kInstallAlreadyRunning = 1618;
inline constexpr std::uint32_t kDiskFullError = 112;

// The one mapping from a run's outcome to its exit code:
//
//   how the run ended                  default  installer   post
//   another installation is running       1      1618       1618
//   no work folder                        1        1          1
//   archive unusable                      0      1603       1603
//   a file not written: disk full         0       112        112
//   a file not extracted                  0      1603       1603
//   the launch failed                     0      1603       1603
//   the installer ended                   0    its code   the post program's
//                                                         code, else the
//                                                         installer's
//   an unhandled exception                0      1603       1603
//
// The first two are met before the archive is read: only a choice that the
// package's settings make counts there, not the "exitcode" record. A code
// is given as the system gave it, all 32 bits; POSIX keeps the low 8 bits of
// a process's exit status.
int exit_code(const RunOutcome& outcome, ExitCodePolicy policy);

// Why a run that ended so has its exit code, in a few words for the
// support log, such as "the archive is damaged or incomplete".
const char* run_end_text(RunEnd end);

}  // namespace vcboot
