// The Windows output file: a temporary file beside the destination, flushed
// with FlushFileBuffers and moved over the destination by MoveFileExW, which
// replaces it and returns only once the move is on disk.
#include <windows.h>

#include <cstdio>
#include <filesystem>

#include "tools/vcpack/atomic_output_file.h"
#include "tools/vcpack/tool_error.h"
#include "tools/vcpack/utf8_path.h"
#include "tools/vcpack/wide_text_win32.h"

namespace vcpack {
namespace {

HANDLE handle_of(std::intptr_t file) { return reinterpret_cast<HANDLE>(file); }

ToolError io_failure(const std::string& what, const std::string& path) {
  const DWORD code = ::GetLastError();
  const std::string text = windows_error_text(code);
  return usage_or_io_error(
      what + " " + path + ": " +
      (text.empty() ? "error " + std::to_string(code) : text));
}

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

}  // namespace

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

}  // namespace vcpack
