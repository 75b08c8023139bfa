// Program launching of the POSIX backend.
#include "platform/posix/posix_platform.h"

namespace vcboot {

std::unique_ptr<Process> PosixPlatform::start_program(const LaunchRequest&) {
  // Launching arrives with the installer launch; until then nothing starts.
  errno = ENOSYS;
  record_errno();
  return nullptr;
}

}  // namespace vcboot
