// Program launching of the Win32 backend.
#include <windows.h>

#include "platform/win32/win32_platform.h"

namespace vcboot {

std::unique_ptr<Process> Win32Platform::start_program(const LaunchRequest&) {
  // Launching arrives with the installer launch; until then nothing starts.
  ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return nullptr;
}

}  // namespace vcboot
