#include "bootstrap/exit_code.h"

#include "variables/well_known_names.h"

namespace vcboot {

ExitCodePolicy exit_code_policy(const std::string& value) {
  if (value == exit_code_values::kInstaller) return ExitCodePolicy::kInstaller;
  if (value == exit_code_values::kPost) return ExitCodePolicy::kPost;
  return ExitCodePolicy::kDefault;
}

int exit_code(const RunOutcome& outcome, ExitCodePolicy policy) {
  switch (outcome.end) {
    case RunEnd::kAlreadyRunning:
    case RunEnd::kNoWorkFolder:
      return 1;
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
  return policy == ExitCodePolicy::kDefault
             ? 0
             : static_cast<int>(kFatalInstallError);
}

}  // namespace vcboot
