// A stand-in for an installer or a post program in the Wine tests.
//
// It writes what it was given to %VCBOOT_TEST_REPORT_DIR%\<own name>.report:
// a line "command_line=" with GetCommandLineA exactly, "working_directory="
// with its current directory, "folder_rights=" with that folder's DACL in
// SDDL, and one "file=" line for every entry it sees there (folders end with
// a backslash). The report is complete once it has
// its name: it is written beside it first and then renamed.
//
// Then, while <own name>.hold exists in the report folder, it waits (at most
// two minutes), so that a test can keep it running. It exits with the code
// given by an "exit=<n>" word on its command line, 0 without one; with "crash"
// as its last word it writes through a null pointer instead, and crashes.
#include <windows.h>
// After windows.h, whose types it uses.
#include <sddl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kReportFolderVariable[] = "VCBOOT_TEST_REPORT_DIR";
constexpr DWORD kLongestHoldMilliseconds = 120000;

std::string environment_variable(const char* name) {
  char value[MAX_PATH] = {};
  const DWORD size = GetEnvironmentVariableA(name, value, sizeof(value));
  return size < sizeof(value) ? std::string(value, size) : std::string();
}

// The program's own file name without its folder, as the shell started it.
std::string own_name() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path));
  const char* name = std::strrchr(path, '\\');
  return name != nullptr ? name + 1 : path;
}

std::string current_directory() {
  char folder[MAX_PATH] = {};
  const DWORD size = GetCurrentDirectoryA(sizeof(folder), folder);
  return std::string(folder, size < sizeof(folder) ? size : 0);
}

std::string rights_of_current_directory() {
  DWORD size = 0;
  GetFileSecurityA(".", DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::vector<char> descriptor(size);
  char* text = nullptr;
  if (size == 0 ||
      !GetFileSecurityA(".", DACL_SECURITY_INFORMATION, descriptor.data(), size,
                        &size) ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorA(
          descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
          nullptr)) {
    return std::string();
  }
  const std::string rights = text;
  LocalFree(text);
  return rights;
}

std::string listing_of_current_directory() {
  std::string lines;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA("*", &entry);
  if (search == INVALID_HANDLE_VALUE) return lines;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    const bool folder =
        (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    lines += "file=" + name + (folder ? "\\" : "") + "\n";
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return lines;
}

bool write_file(const std::string& path, const std::string& contents) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()),
                &written, nullptr);
  CloseHandle(file);
  return ok && written == contents.size();
}

// The number after the first "exit=" that begins a word, as a 32-bit code.
UINT requested_exit_code(const char* command_line) {
  for (const char* at = std::strstr(command_line, "exit="); at != nullptr;
       at = std::strstr(at + 1, "exit=")) {
    if (at == command_line || at[-1] == ' ' || at[-1] == '"') {
      return static_cast<UINT>(std::strtoll(at + 5, nullptr, 10));
    }
  }
  return 0;
}

bool has_crash_word(const char* command_line) {
  const std::size_t length = std::strlen(command_line);
  return length >= 6 && std::strcmp(command_line + length - 6, " crash") == 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* command_line = GetCommandLineA();
  const std::string folder = environment_variable(kReportFolderVariable);
  if (folder.empty()) return 253;
  const std::string report = folder + "\\" + own_name() + ".report";

  const std::string contents =
      std::string("command_line=") + command_line + "\n" +
      "working_directory=" + current_directory() + "\n" +
      "folder_rights=" + rights_of_current_directory() + "\n" +
      listing_of_current_directory();
  const std::string draft = report + ".draft";
  if (!write_file(draft, contents) ||
      !MoveFileExA(draft.c_str(), report.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return 254;
  }

  const std::string hold = folder + "\\" + own_name() + ".hold";
  for (DWORD waited = 0;
       waited < kLongestHoldMilliseconds &&
       GetFileAttributesA(hold.c_str()) != INVALID_FILE_ATTRIBUTES;
       waited += 50) {
    Sleep(50);
  }
  if (has_crash_word(command_line)) {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 0;
  }
  return static_cast<int>(requested_exit_code(command_line));
}
