// Reads a program's version resource as Explorer's Properties do:
// GetFileVersionInfo, the fixed numbers, then each text of the string table
// that the first translation names. Writes one line each to standard output,
// in UTF-8: "file 1.2.3.4", "product 1.2.3.4", "KEY=TEXT"; exits with 1
// when the file has no version resource.
#include <windows.h>

#include <string>
#include <vector>

namespace {

void write_line(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(),
            static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string utf8(const wchar_t* text) {
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

std::string numbers(DWORD high, DWORD low) {
  return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) +
         "." + std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  std::string path = command_line;
  if (path.size() >= 2 && path.front() == '"')
    path = path.substr(1, path.size() - 2);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  std::vector<char> data(size);
  if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, data.data())) {
    write_line("no version resource");
    return 1;
  }
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", &value, &length) &&
      length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    write_line("file " +
               numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
    write_line("product " +
               numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
  }
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value,
                      &length) ||
      length < 4) {
    write_line("no translation");
    return 1;
  }
  const auto* translation = static_cast<const WORD*>(value);
  for (const wchar_t* key :
       {L"ProductName", L"CompanyName", L"FileDescription", L"LegalCopyright",
        L"ProductVersion", L"FileVersion"}) {
    wchar_t query[128];
    wsprintfW(query, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0],
              translation[1], key);
    if (VerQueryValueW(data.data(), query, &value, &length) && length > 0) {
      write_line(utf8(key) + "=" + utf8(static_cast<const wchar_t*>(value)));
    }
  }
  return 0;
}
