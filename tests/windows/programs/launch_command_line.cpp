// Starts the command line held in VCBOOT_TEST_COMMAND_LINE exactly as it is
// written, waits for the program and exits with its exit code, which it also
// writes to standard error as "launch_command_line: exit code <n>": wine64
// hands only its low 8 bits on to the Unix side.
//
// The Wine tests need this because wine64 rebuilds a program's command line
// from its arguments, quoting them its own way; CreateProcessA passes the
// text on untouched. Exit codes 249 to 252 say that the helper itself failed.
//
// With VCBOOT_TEST_HIDDEN_STATION set, the program starts on a desktop of a
// window station of its own, which no user sees (WSF_VISIBLE clear), as a
// service or a program run as SYSTEM in session 0 does.
#include <windows.h>

#include <vector>

namespace {

constexpr char kCommandLineVariable[] = "VCBOOT_TEST_COMMAND_LINE";
constexpr char kHiddenStationVariable[] = "VCBOOT_TEST_HIDDEN_STATION";

// Tells the test a line on the standard error that Wine passes on to the
// Unix side; a GUI program has nowhere else to say it.
void say(const char* line) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error != nullptr && error != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(error, line, static_cast<DWORD>(lstrlenA(line)), &written,
              nullptr);
    WriteFile(error, "\n", 1, &written, nullptr);
  }
}

int fail(const char* what, int exit_code) {
  say(what);
  return exit_code;
}

// Makes the window station "HiddenSta" with a desktop "Default"; a desktop
// is made on the process's own station, so the process visits it. False
// when the system will not.
bool make_hidden_station() {
  const HWINSTA own = GetProcessWindowStation();
  const HWINSTA hidden =
      CreateWindowStationA("HiddenSta", 0, WINSTA_ALL_ACCESS, nullptr);
  if (hidden == nullptr || !SetProcessWindowStation(hidden)) return false;
  const HDESK desktop =
      CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  SetProcessWindowStation(own);
  return desktop != nullptr;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // CreateProcessA may write into the command line, so it gets its own copy.
  const DWORD size = GetEnvironmentVariableA(kCommandLineVariable, nullptr, 0);
  if (size == 0)
    return fail("launch_command_line: VCBOOT_TEST_COMMAND_LINE is not set",
                250);
  std::vector<char> command_line(size);
  GetEnvironmentVariableA(kCommandLineVariable, command_line.data(), size);

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  char hidden_desktop[] = "HiddenSta\\Default";
  if (GetEnvironmentVariableA(kHiddenStationVariable, nullptr, 0) != 0) {
    if (!make_hidden_station()) {
      return fail("launch_command_line: no hidden window station", 249);
    }
    startup.lpDesktop = hidden_desktop;
  }
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process)) {
    return fail("launch_command_line: CreateProcessA failed", 251);
  }
  CloseHandle(process.hThread);
  DWORD exit_code = 0;
  const bool ended =
      WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
      GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hProcess);
  if (!ended)
    return fail("launch_command_line: waiting for the program failed", 252);
  char line[64];
  wsprintfA(line, "launch_command_line: exit code %lu", exit_code);
  say(line);
  return static_cast<int>(exit_code);
}
