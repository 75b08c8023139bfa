// What the support log needs to know of the process, its time and its
// window station, Win32 side, and the log file itself.
#include <windows.h>
// windows.h first: aclapi.h needs its types.
#include <aclapi.h>

#include <string>
#include <vector>

#include "platform/win32/ansi_path.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/win32_file.h"
#include "platform/win32/win32_platform.h"

namespace vcboot {
namespace {

constexpr DWORD kUserNameSize = 257;  // UNLEN + 1
static_assert(ERROR_DISK_FULL == 112 && ERROR_HANDLE_DISK_FULL == 39,
              "the codes that Win32Platform::is_disk_full names");

// Appending only (FILE_APPEND_DATA without FILE_WRITE_DATA): every write
// goes to the end, also beside another run that writes the same log.
// Others may read it while the run goes on, and append to it as well.
// READ_CONTROL reads the owner of a log that was there before.
constexpr DWORD kLogAccess = FILE_APPEND_DATA | READ_CONTROL;
constexpr DWORD kLogSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
// A symbolic link or junction planted under the name is opened as itself,
// never followed; it is then refused below.
constexpr DWORD kLogFlags =
    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

// Whether `owner` is the SID that the process's token gives for `kind`
// (TokenUser: the user; TokenOwner: the owner of what the process makes).
bool token_names(HANDLE token, TOKEN_INFORMATION_CLASS kind, PSID owner) {
  DWORD size = 0;
  ::GetTokenInformation(token, kind, nullptr, 0, &size);
  std::vector<unsigned char> information(size);
  if (size == 0 ||
      !::GetTokenInformation(token, kind, information.data(), size, &size)) {
    return false;
  }
  const PSID sid =
      kind == TokenUser
          ? reinterpret_cast<TOKEN_USER*>(information.data())->User.Sid
          : reinterpret_cast<TOKEN_OWNER*>(information.data())->Owner;
  return ::EqualSid(owner, sid) != FALSE;
}

// Whether `owner`, a valid SID, may own a log file that was there before
// the run: the run's user, the owner its own files get, SYSTEM or the
// Administrators. Anyone may make files in C:\Windows\Temp, SYSTEM's
// %TEMP%: a file planted there under the log's name, readable by the user
// who made it, would hand them what the run writes, its command line among
// it.
bool is_trusted_owner(PSID owner) {
  if (::IsWellKnownSid(owner, WinLocalSystemSid) ||
      ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) {
    return true;
  }
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return false;
  }
  const ScopedHandle owned(token);
  return token_names(token, TokenUser, owner) ||
         token_names(token, TokenOwner, owner);
}

// Whether `file`'s owner can be read and is trusted.
bool has_trusted_owner(HANDLE file) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                        &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const bool trusted =
      owner != nullptr && ::IsValidSid(owner) && is_trusted_owner(owner);
  ::LocalFree(descriptor);
  return trusted;
}

}  // namespace

MessageDisplay Win32Platform::message_display() {
  // A service, or a program run as SYSTEM in session 0, has a window station
  // that no user sees: a box there waits for ever. The handle belongs to
  // the process and is not closed. When the flags cannot be read, boxes are
  // shown as they always were.
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  const HWINSTA station = ::GetProcessWindowStation();
  if (station == nullptr ||
      !::GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags,
                                   &needed)) {
    return MessageDisplay::kAnswered;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0 ? MessageDisplay::kAnswered
                                            : MessageDisplay::kUnseen;
}

LocalTime Win32Platform::local_time() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  LocalTime time;
  time.year = now.wYear;
  time.month = now.wMonth;
  time.day = now.wDay;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  time.millisecond = now.wMilliseconds;
  return time;
}

std::optional<std::string> Win32Platform::environment_variable(
    const std::string& name) {
  // The first call gives the room needed, its terminating zero included;
  // 0 for a variable that is not set (or set empty, which is the same here).
  DWORD size = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::string value(size, '\0');
  size = ::GetEnvironmentVariableA(name.c_str(), &value[0], size);
  if (size == 0 || size >= value.size()) return std::nullopt;
  value.resize(size);
  return value;
}

std::string Win32Platform::user_name() {
  char name[kUserNameSize] = {};
  DWORD size = kUserNameSize;
  if (!::GetUserNameA(name, &size)) return std::string();
  return name;
}

std::optional<bool> Win32Platform::is_elevated() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return std::nullopt;
  }
  const ScopedHandle owned(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!::GetTokenInformation(token, TokenElevation, &elevation,
                             sizeof elevation, &size)) {
    return std::nullopt;
  }
  return elevation.TokenIsElevated != 0;
}

std::optional<std::uint32_t> Win32Platform::session_id() {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) {
    return std::nullopt;
  }
  return session;
}

std::uint32_t Win32Platform::process_id() { return ::GetCurrentProcessId(); }

std::unique_ptr<File> Win32Platform::open_log(const std::string& path) {
  ScopedHandle file(::CreateFileA(path.c_str(), kLogAccess, kLogSharing,
                                  nullptr, OPEN_ALWAYS, kLogFlags, nullptr));
  if (!file.valid()) return nullptr;
  const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
  // A plain file on a disk with one name: no device such as CON or a pipe,
  // no link, and no second name (a hard link) that could lead anywhere; and
  // one that was there before belongs to the run's user or to the system.
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      info.nNumberOfLinks != 1 || (existed && !has_trusted_owner(file.get()))) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return adopt_file_handle(file.release());
}

std::string Win32Platform::to_utf8(const std::string& text) {
  // ANSI code page to UTF-16 to UTF-8; on failure the bytes as they are.
  if (text.empty()) return text;
  const int size = static_cast<int>(text.size());
  const int wide_size =
      ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (wide_size <= 0) return text;
  WidePath wide(static_cast<std::size_t>(wide_size), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], wide_size);
  const int utf8_size = ::WideCharToMultiByte(
      CP_UTF8, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
  if (utf8_size <= 0) return text;
  std::string utf8(static_cast<std::size_t>(utf8_size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, &utf8[0], utf8_size,
                        nullptr, nullptr);
  return utf8;
}

}  // namespace vcboot
