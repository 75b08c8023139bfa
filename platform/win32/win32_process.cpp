// Program launching of the Win32 backend: through the shell, so that the
// file's default verb applies, with the process handle handed back.
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <cstring>

#include "platform/win32/scoped_handle.h"
#include "platform/win32/win32_platform.h"

namespace vcboot {
namespace {

static_assert(SEE_MASK_NOCLOSEPROCESS == 0x40, "hand back the process handle");
static_assert(SW_SHOWNORMAL == 1, "show the program's window normally");
// The launch record of the shipped 32-bit program is 60 bytes.
static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOA) == 60,
              "32-bit SHELLEXECUTEINFOA layout");

// A program started through the shell. Its handle is released with
// CloseHandle by the destructor; a start without a handle keeps none, and
// then WaitForSingleObject fails on it.
class Win32Process : public Process {
 public:
  explicit Win32Process(HANDLE process) : process_(process) {}

  bool wait() override {
    return ::WaitForSingleObject(process_.get(), INFINITE) == WAIT_OBJECT_0;
  }

  std::optional<std::uint32_t> exit_code() override {
    DWORD code = 0;
    if (!::GetExitCodeProcess(process_.get(), &code)) return std::nullopt;
    return code;
  }

  std::uint32_t id() override { return ::GetProcessId(process_.get()); }

 private:
  ScopedHandle process_;
};

}  // namespace

std::unique_ptr<Process> Win32Platform::start_program(
    const LaunchRequest& request) {
  // Zero-filled: no owner window, no verb (the file's default one), no class,
  // identifier list, hot key, icon or monitor. No flag keeps the shell from
  // showing its own error dialogs.
  SHELLEXECUTEINFOA info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = request.file.c_str();
  info.lpParameters = request.parameters.c_str();
  if (request.directory) info.lpDirectory = request.directory->c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExA(&info)) return nullptr;
  return std::make_unique<Win32Process>(info.hProcess);
}

}  // namespace vcboot
