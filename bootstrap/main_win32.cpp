// Entry point of the Windows bootstrap: a GUI program without a window.
#include <windows.h>

#include <cstdlib>

#include "bootstrap/run_sequence.h"
#include "platform/platform.h"
#include "platform/win32/dll_hardening.h"

namespace {
// The one run state of the process, alive from static initialisation on.
vcboot::RunState g_run_state;
}  // namespace

// The default terminate handler prints a demangled type name, which drags the
// whole demangler into the program. A GUI program has no console to print to.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  vcboot::restrict_dll_search_to_system32();
  return vcboot::run_installation(vcboot::native_platform(), g_run_state,
                                  command_line);
}
