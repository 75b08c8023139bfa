#include "bootstrap/exit_code.h"

#include "variables/well_known_names.h"

namespace vcboot {

ExitCodePolicy exit_code_policy(const std::string& value) {
  if (value == exit_code_values::kInstaller) return ExitCodePolicy::kInstaller;
  if (value == exit_code_values::kPost) return ExitCodePolicy::kPost;
  return ExitCodePolicy::kDefault;
}

int exit_code(const RunOutcome& outcome, ExitCodePolicy policy) {
  const bool chosen = policy != ExitCodePolicy::kDefault;
  switch (outcome.end) {
    case RunEnd::kAlreadyRunning:
      return chosen ? static_cast<int>(kInstallAlreadyRunning) : 1;
    case RunEnd::kNoWorkFolder:
      return 1;
    case RunEnd::kDiskFull:
      return chosen ? static_cast<int>(kDiskFullError) : 0;
    case RunEnd::kInstallerEnded:
      if (policy == ExitCodePolicy::kDefault) return 0;
      // All 32 bits, as the system gave them: 0xFFFFFFFF is -1.
      return static_cast<int>(
          policy == ExitCodePolicy::kPost
              ? outcome.post_code.value_or(outcome.installer_code)
              : outcome.installer_code);
    case RunEnd::kArchiveUnusable:
    case RunEnd::kFileNotExtracted:
    case RunEnd::kLaunchFailed:
    case RunEnd::kUnhandledException:
      break;
  }
  return chosen ? static_cast<int>(kFatalInstallError) : 0;
}

const char* run_end_text(RunEnd end) {
  switch (end) {
    case RunEnd::kAlreadyRunning:
      return "another installation is running";
    case RunEnd::kNoWorkFolder:
      return "no work folder could be made and entered";
    case RunEnd::kArchiveUnusable:
      return "the archive cannot be opened, or is damaged or incomplete";
    case RunEnd::kDiskFull:
      return "a file could not be written: the disk is full";
    case RunEnd::kFileNotExtracted:
      return "a file could not be written";
    case RunEnd::kLaunchFailed:
      return "the installer could not be started or waited for, or its exit "
             "code could not be read";
    case RunEnd::kInstallerEnded:
      return "the installer ended";
    case RunEnd::kUnhandledException:
      break;
  }
  return "an unhandled exception ended the run";
}

}  // namespace vcboot
