#include "platform/win32/win32_platform.h"

#include <windows.h>

// After windows.h, which it needs: RtlGenRandom (SystemFunction036).
#include <ntsecapi.h>

#include <algorithm>
#include <ctime>

#include "bootstrap/settings_format.h"
#include "platform/win32/ansi_path.h"
#include "platform/win32/private_folder.h"

namespace vcboot {
namespace {

constexpr DWORD kErrorAlreadyExists = 183;  // ERROR_ALREADY_EXISTS
constexpr DWORD kPathBufferSize = 260;      // MAX_PATH
constexpr DWORD kLongestWidePath = 32768;   // with its terminating zero
constexpr DWORD kFormatFlags =
    0x1300;  // FROM_SYSTEM | IGNORE_INSERTS | ALLOCATE_BUFFER
constexpr DWORD kUserDefaultLanguage = 0x0400;  // neutral, default sublanguage

static_assert(kFormatFlags ==
                  (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                   FORMAT_MESSAGE_ALLOCATE_BUFFER),
              "the error-text flags are these three");
static_assert(kUserDefaultLanguage == MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
              "the user's default language");

// Frees a buffer that the system allocated, on every way out.
class LocalBuffer {
 public:
  LocalBuffer() = default;
  LocalBuffer(const LocalBuffer&) = delete;
  LocalBuffer& operator=(const LocalBuffer&) = delete;
  ~LocalBuffer() {
    if (buffer_ != nullptr) ::LocalFree(buffer_);
  }
  char** address() { return &buffer_; }
  const char* get() const { return buffer_; }

 private:
  char* buffer_ = nullptr;
};

}  // namespace

std::string_view Win32Platform::package_settings_block() {
  // The RCDATA resource that vcpack writes into a package's copy of the
  // stub, found in the image the loader mapped: no file is opened. The
  // shipped stub has none. A resource lives as long as its module; the
  // process's own is never unloaded, so nothing is freed.
  const HRSRC found =
      ::FindResourceA(nullptr, MAKEINTRESOURCEA(settings_format::kResourceId),
                      MAKEINTRESOURCEA(settings_format::kResourceType));
  if (found == nullptr) return {};
  const HGLOBAL loaded = ::LoadResource(nullptr, found);
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) return {};
  return {static_cast<const char*>(bytes), ::SizeofResource(nullptr, found)};
}

void Win32Platform::show_message(const std::string& caption,
                                 const std::string& text) {
  ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

MutexResult Win32Platform::create_instance_mutex(const std::string& name) {
  // Initial ownership, no security attributes, no namespace prefix. The
  // handle is deliberately never closed: the system releases the mutex with
  // the process, so the guard covers the whole run.
  const HANDLE mutex = ::CreateMutexA(nullptr, TRUE, name.c_str());
  if (mutex == nullptr) return MutexResult::kUnavailable;
  if (::GetLastError() == kErrorAlreadyExists)
    return MutexResult::kAlreadyExists;
  return MutexResult::kAcquired;
}

std::string Win32Platform::temp_directory() {
  // Asked in UTF-16, so that a folder whose name the ANSI code page cannot
  // hold comes back in a form that the ANSI calls can open (ansi_path).
  WidePath buffer(kPathBufferSize, L'\0');
  DWORD length = ::GetTempPathW(kPathBufferSize, buffer.data());
  if (length >= kPathBufferSize) {
    // Too long for the buffer: the count is the room the path needs.
    buffer.assign(length, L'\0');
    length = ::GetTempPathW(length, buffer.data());
    if (length >= buffer.size()) return std::string();
  }
  buffer.resize(length);
  // Empty when the call fails or no form of the path suits the ANSI calls.
  return ansi_path(buffer);
}

bool Win32Platform::create_directory(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool Win32Platform::set_current_directory(const std::string& path) {
  return ::SetCurrentDirectoryA(path.c_str()) != 0;
}

namespace {

// Whether `path` lies under the fallback temporary directory (any case).
bool is_under_fallback(const Win32Platform& platform, const std::string& path) {
  const std::string fallback = platform.fallback_temp_directory();
  return path.size() > fallback.size() &&
         ::lstrcmpiA(path.substr(0, fallback.size()).c_str(),
                     fallback.c_str()) == 0;
}

}  // namespace

NewDirectory Win32Platform::create_new_directory(const std::string& path) {
  // No security attributes: the folder takes the rights of the one above it,
  // the user's own temporary directory; under the fallback, which every user
  // may write to, it gets rights of its own (private_folder.h). A name that
  // exists already, a folder, a file or a junction, is never taken over.
  const bool made = is_under_fallback(*this, path)
                        ? create_private_directory(path)
                        : ::CreateDirectoryA(path.c_str(), nullptr) != 0;
  if (made) return NewDirectory::kCreated;
  return ::GetLastError() == kErrorAlreadyExists ? NewDirectory::kExists
                                                 : NewDirectory::kFailed;
}

bool Win32Platform::enter_new_directory(const std::string& path) {
  if (!::SetCurrentDirectoryA(path.c_str())) return false;
  // A junction or symbolic link put in the folder's place after it was made
  // would lead elsewhere; what was entered must be a real folder.
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    ::SetLastError(ERROR_DIRECTORY);
    return false;
  }
  // Under the fallback another user could have renamed the folder that was
  // made, or C:\Temp itself, and put a folder of their own in its place
  // before it was entered; once entered, no process can rename it.
  if (is_under_fallback(*this, path) && !current_directory_is_own()) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}

std::string Win32Platform::module_path() {
  // The buffer grows until nothing is cut off: a path cut short would name
  // another file. No path is longer than the wide calls take.
  WidePath buffer;
  DWORD size = kPathBufferSize;
  while (true) {
    buffer.assign(size, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) return std::string();
    if (length < size) {
      buffer.resize(length);
      // Empty when no form of the path suits the ANSI calls; the extraction
      // then reports that its archive cannot be opened, with the reason that
      // ansi_path left as the last error.
      return ansi_path(buffer);
    }
    if (size == kLongestWidePath) {
      ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return std::string();
    }
    size = std::min(size * 2, kLongestWidePath);
  }
}

std::int64_t Win32Platform::calendar_time() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

bool Win32Platform::random_bytes(void* buffer, std::size_t size) {
  // RtlGenRandom, the system's own generator, which rand_s uses too.
  return ::SystemFunction036(buffer, static_cast<ULONG>(size)) != FALSE;
}

bool Win32Platform::delete_file(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != 0;
}

bool Win32Platform::remove_directory(const std::string& path) {
  return ::RemoveDirectoryA(path.c_str()) != 0;
}

std::uint32_t Win32Platform::last_error() { return ::GetLastError(); }

std::string Win32Platform::system_error_text(std::uint32_t code) {
  LocalBuffer buffer;
  // With ALLOCATE_BUFFER the buffer argument is the address of the pointer.
  const DWORD result =
      ::FormatMessageA(kFormatFlags, nullptr, code, kUserDefaultLanguage,
                       reinterpret_cast<LPSTR>(buffer.address()), 0, nullptr);
  if (result == 0 || buffer.get() == nullptr) return std::string();
  std::string text(buffer.get());
  // The system's texts close with "\r\n"; the last two characters go,
  // whatever they are. A shorter text (never seen) gives nothing.
  text.resize(text.size() >= 2 ? text.size() - 2 : 0);
  return text;
}

std::uint32_t Win32Platform::invalid_name_error() const {
  return ERROR_INVALID_NAME;
}

Platform& native_platform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace vcboot
