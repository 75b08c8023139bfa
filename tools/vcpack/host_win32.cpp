// vcpack on Windows: the bootstrap's Win32 backend, with the calls that take
// or give a path replaced by their wide-character forms. The backend itself
// keeps its ANSI calls, which are the bootstrap's rules.
#include <windows.h>

#include <cstdlib>

#include "platform/platform_wrapper.h"
#include "platform/win32/win32_file.h"
#include "tools/vcpack/host.h"
#include "tools/vcpack/wide_text_win32.h"

namespace vcpack {
namespace {

constexpr DWORD kFileFlags = FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL;

std::unique_ptr<vcboot::File> opened(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return vcboot::adopt_file_handle(handle);
}

class Utf8Win32Platform : public vcboot::PlatformWrapper {
 public:
  using PlatformWrapper::PlatformWrapper;

  std::unique_ptr<vcboot::File> open_for_reading(
      const std::string& path) override {
    return opened(::CreateFileW(wide_from_utf8(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                kFileFlags, nullptr));
  }
  std::unique_ptr<vcboot::File> create_for_writing(
      const std::string& path) override {
    return opened(::CreateFileW(wide_from_utf8(path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                kFileFlags, nullptr));
  }
  bool delete_file(const std::string& path) override {
    return ::DeleteFileW(wide_from_utf8(path).c_str()) != 0;
  }
  std::string module_path() override {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      const DWORD size = static_cast<DWORD>(buffer.size());
      const DWORD length = ::GetModuleFileNameW(nullptr, &buffer[0], size);
      if (length == 0) return std::string();
      if (length < size) return utf8_from_wide(buffer.substr(0, length));
      buffer.resize(buffer.size() * 2);
    }
  }
  std::string system_error_text(std::uint32_t code) override {
    return windows_error_text(code);
  }
};

}  // namespace

vcboot::Platform& host_platform() {
  static Utf8Win32Platform platform(vcboot::native_platform());
  return platform;
}

std::optional<std::string> environment_variable(const std::string& name) {
  const wchar_t* value = ::_wgetenv(wide_from_utf8(name).c_str());
  if (value == nullptr) return std::nullopt;
  return utf8_from_wide(value);
}

}  // namespace vcpack
