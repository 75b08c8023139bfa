// vcpack on Windows: the arguments converted from UTF-16 once, and every
// file opened through the wide-character calls. The bootstrap's Win32
// backend serves the extraction with its calls that take or give a path
// replaced by their wide forms (the backend itself keeps its ANSI calls,
// which are the bootstrap's rules). Code pages are converted by the system's
// own conversions.
#include <windows.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/platform_wrapper.h"
#include "platform/win32/win32_file.h"
#include "tools/vcpack/host.h"
#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

// Invalid sequences become U+FFFD.
std::string utf8_from_wide(const std::wstring& text) {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  const int length = static_cast<int>(text.size());
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length,
                                         nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &result[0], size,
                          nullptr, nullptr);
  }
  return result;
}

std::wstring wide_from_utf8(const std::string& text) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int size =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, &result[0], size);
  }
  return result;
}

// The system's wording of a Win32 error code, in UTF-8 and without the line
// break it ends with; empty when the system has none.
std::string windows_error_text(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer != nullptr ? buffer : L"", length);
  ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' ||
                           text.back() == L' ')) {
    text.pop_back();
  }
  return utf8_from_wide(text);
}

ToolError io_failure(const std::string& what, const std::string& path) {
  const DWORD code = ::GetLastError();
  const std::string text = windows_error_text(code);
  return usage_or_io_error(
      what + " " + path + ": " +
      (text.empty() ? "error " + std::to_string(code) : text));
}

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

HANDLE handle_of(std::intptr_t file) { return reinterpret_cast<HANDLE>(file); }

// ".NAME.vcpack-XXXXXX", as on POSIX; the digits differ from one try to the
// next, and CREATE_NEW never opens a file that is there already.
std::string temporary_name(const std::string& name, unsigned attempt) {
  char digits[16];
  std::snprintf(
      digits, sizeof digits, "%06lx",
      static_cast<unsigned long>((::GetCurrentProcessId() * 7919u +
                                  ::GetTickCount() + attempt * 104729u) &
                                 0xFFFFFFu));
  return "." + name + ".vcpack-" + digits;
}

// A file of the extraction, made by FolderWriter, which keeps the code of a
// failed call where the extraction's platform looks for it.
class ReportingFile : public vcboot::File {
 public:
  ReportingFile(std::unique_ptr<vcboot::File> inner, std::uint32_t* error)
      : inner_(std::move(inner)), error_(error) {}

  std::optional<std::uint64_t> seek(std::int64_t distance,
                                    Origin origin) override {
    const auto position = inner_->seek(distance, origin);
    if (!position) *error_ = ::GetLastError();
    return position;
  }
  bool read(void* buffer, std::size_t size, std::size_t* done) override {
    return inner_->read(buffer, size, done) || failed();
  }
  bool write(const void* data, std::size_t size, std::size_t* done) override {
    return inner_->write(data, size, done) || failed();
  }

 private:
  bool failed() {
    *error_ = ::GetLastError();
    return false;
  }

  std::unique_ptr<vcboot::File> inner_;
  std::uint32_t* error_;
};

// Code pages are named as iconv names them ("CP1252", "WINDOWS-1251",
// "ISO-8859-2", "UTF-8") or by their numbers.
bool starts_with_ignoring_case(const std::string& text, const char* prefix) {
  std::size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i == text.size() ||
        std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) {
      return false;
    }
  }
  return true;
}

// The number behind `prefix`, or 0.
UINT number_after(const std::string& name, const char* prefix) {
  if (!starts_with_ignoring_case(name, prefix)) return 0;
  const std::string digits =
      name.substr(std::char_traits<char>::length(prefix));
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  return static_cast<UINT>(std::strtoul(digits.c_str(), nullptr, 10));
}

UINT code_page_named(const std::string& name) {
  if (starts_with_ignoring_case(name, "UTF-8") && name.size() == 5) {
    return CP_UTF8;
  }
  if (const UINT iso = number_after(name, "ISO-8859-")) return 28590 + iso;
  if (const UINT cp = number_after(name, "WINDOWS-")) return cp;
  if (const UINT cp = number_after(name, "CP")) return cp;
  return number_after(name, "");
}

class Win32Encoder : public TextEncoder {
 public:
  explicit Win32Encoder(UINT code_page) : code_page_(code_page) {}

  std::optional<std::string> from_utf8(const std::string& text) override {
    if (text.empty()) return text;
    const int length = static_cast<int>(text.size());
    const int wide_size = ::MultiByteToWideChar(
        CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (wide_size <= 0) return std::nullopt;  // no UTF-8
    if (code_page_ == CP_UTF8) return text;
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length,
                          &wide[0], wide_size);
    // No best-fit letter and no default character: a character without a
    // place in the code page is refused, never replaced.
    BOOL used_default = FALSE;
    const int size =
        ::WideCharToMultiByte(code_page_, WC_NO_BEST_FIT_CHARS, wide.data(),
                              wide_size, nullptr, 0, nullptr, &used_default);
    if (size <= 0 || used_default) return std::nullopt;
    std::string result(static_cast<std::size_t>(size), '\0');
    if (::WideCharToMultiByte(code_page_, WC_NO_BEST_FIT_CHARS, wide.data(),
                              wide_size, &result[0], size, nullptr,
                              &used_default) != size ||
        used_default) {
      return std::nullopt;
    }
    return result;
  }

 private:
  UINT code_page_;
};

}  // namespace

Utf8Arguments::Utf8Arguments(int argc, wchar_t** argv) {
  for (int i = 0; i < argc; ++i) texts_.push_back(utf8_from_wide(argv[i]));
  for (std::string& text : texts_) pointers_.push_back(&text[0]);
  pointers_.push_back(nullptr);
  // Without a console (output to a file or a pipe) this is 0, and nothing
  // changes.
  previous_console_code_page_ = ::GetConsoleOutputCP();
  if (previous_console_code_page_ != 0) ::SetConsoleOutputCP(CP_UTF8);
}

Utf8Arguments::~Utf8Arguments() {
  if (previous_console_code_page_ != 0)
    ::SetConsoleOutputCP(previous_console_code_page_);
}

vcboot::Platform& host_platform() {
  static Utf8Win32Platform platform(vcboot::native_platform());
  return platform;
}

std::optional<std::string> environment_variable(const std::string& name) {
  const wchar_t* value = ::_wgetenv(wide_from_utf8(name).c_str());
  if (value == nullptr) return std::nullopt;
  return utf8_from_wide(value);
}

// A temporary file beside the destination, flushed with FlushFileBuffers and
// moved over the destination by MoveFileExW, which replaces it and returns
// only once the move is on disk.
AtomicOutputFile::AtomicOutputFile(const std::string& destination)
    : destination_(destination) {
  const std::filesystem::path target = utf8_path(destination);
  const std::string name = utf8_text(target.filename());
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string path = utf8_text(
        target.parent_path() / utf8_path(temporary_name(name, attempt)));
    const HANDLE handle = ::CreateFileW(
        wide_from_utf8(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      file_ = reinterpret_cast<std::intptr_t>(handle);
      temporary_path_ = path;
      return;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  throw io_failure("cannot create a temporary file beside", destination);
}

AtomicOutputFile::~AtomicOutputFile() {
  if (file_ != -1) ::CloseHandle(handle_of(file_));
  if (!committed_) ::DeleteFileW(wide_from_utf8(temporary_path_).c_str());
}

void AtomicOutputFile::write(const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD step =
        static_cast<DWORD>(size < 0x40000000u ? size : 0x40000000u);
    DWORD written = 0;
    if (!::WriteFile(handle_of(file_), data, step, &written, nullptr) ||
        written == 0) {
      throw io_failure("cannot write", temporary_path_);
    }
    data += written;
    size -= written;
  }
}

void AtomicOutputFile::finish() {
  if (file_ == -1) return;
  const HANDLE handle = handle_of(file_);
  if (!::FlushFileBuffers(handle)) {
    throw io_failure("cannot finish", temporary_path_);
  }
  file_ = -1;
  if (!::CloseHandle(handle))
    throw io_failure("cannot finish", temporary_path_);
}

void AtomicOutputFile::commit() {
  finish();
  if (!::MoveFileExW(wide_from_utf8(temporary_path_).c_str(),
                     wide_from_utf8(destination_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw io_failure("cannot rename the finished package to", destination_);
  }
  committed_ = true;
}

// Each file is made with CreateFileW and CREATE_NEW after any entry of its
// name is deleted. Deleting a symbolic link or a junction removes the link
// itself, and a name holding no separator reaches no subfolder, so nothing
// outside the folder is written.
FolderWriter::FolderWriter(const std::string& folder) : folder_(folder) {
  const DWORD attributes = ::GetFileAttributesW(wide_from_utf8(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    throw usage_or_io_error("cannot open the folder " + folder + ": " +
                            windows_error_text(::GetLastError()));
  }
  if (!folder_.empty() && folder_.back() != '/' && folder_.back() != '\\') {
    folder_ += '\\';
  }
}

FolderWriter::~FolderWriter() = default;

std::unique_ptr<vcboot::File> FolderWriter::create(const std::string& name,
                                                   std::uint32_t* error) {
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of("/\\:") != std::string::npos) {
    *error = ERROR_PATH_NOT_FOUND;  // what the bootstrap meets: no such folder
    return nullptr;
  }
  const std::wstring path = wide_from_utf8(folder_ + name);
  if (!::DeleteFileW(path.c_str()) &&
      ::GetLastError() != ERROR_FILE_NOT_FOUND) {
    // A folder link is removed as a link; a real folder stays and the
    // creation below fails on it.
    ::RemoveDirectoryW(path.c_str());
  }
  const HANDLE handle = ::CreateFileW(
      path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
      FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = ::GetLastError();
    return nullptr;
  }
  return std::make_unique<ReportingFile>(vcboot::adopt_file_handle(handle),
                                         error);
}

std::optional<std::uint64_t> FolderWriter::file_size(
    const std::string& name) const {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (name.find_first_of("/\\:") != std::string::npos ||
      !::GetFileAttributesExW(wide_from_utf8(folder_ + name).c_str(),
                              GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return std::nullopt;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
         data.nFileSizeLow;
}

std::unique_ptr<TextEncoder> make_text_encoder(const std::string& code_page) {
  const UINT number = code_page_named(code_page);
  if (number == 0 || !::IsValidCodePage(number)) return nullptr;
  return std::make_unique<Win32Encoder>(number);
}

}  // namespace vcpack
