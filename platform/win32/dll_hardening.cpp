#include "platform/win32/dll_hardening.h"

#include <windows.h>

namespace vcboot {

void restrict_dll_search_to_system32() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return;
  // Looked up at run time, so that the program still starts where the call
  // is missing. The detour through void* keeps -Wcast-function-type quiet.
  const FARPROC found = ::GetProcAddress(kernel32, "SetDefaultDllDirectories");
  if (found == nullptr) return;
  auto set_default_dll_directories =
      reinterpret_cast<SetDefaultDllDirectoriesFn>(
          reinterpret_cast<void*>(found));
  set_default_dll_directories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace vcboot
