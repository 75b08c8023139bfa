// Files and directory listings of the Win32 backend.
#include "platform/win32/win32_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/scoped_handle.h"
#include "platform/win32/win32_platform.h"

namespace vcboot {
namespace {

constexpr DWORD kFileFlags = FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL;
// Counts up to this go through a single ReadFile or WriteFile call. Their
// count is a DWORD, so a larger one goes in pieces; pieces below 2 GiB, as
// some file system drivers take a count as a signed number. The extraction
// itself moves far less per call.
constexpr std::size_t kLargestCall = std::size_t{1} << 30;

class Win32File : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}

  std::optional<std::uint64_t> seek(std::int64_t distance,
                                    Origin origin) override {
    const DWORD method = origin == Origin::kBegin     ? FILE_BEGIN
                         : origin == Origin::kCurrent ? FILE_CURRENT
                                                      : FILE_END;
    // Always with the high part: without it, a move to a position of 4 GiB
    // or more fails, so the reader's short moves could not pass through a
    // package larger than that. A low part of INVALID_SET_FILE_POINTER is
    // then a position like any other, unless the last error says otherwise.
    LONG high = static_cast<LONG>(distance >> 32);
    ::SetLastError(NO_ERROR);
    const DWORD low = ::SetFilePointer(
        handle_.get(), static_cast<LONG>(distance & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) {
      return std::nullopt;
    }
    return (static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32) | low;
  }

  bool read(void* buffer, std::size_t size, std::size_t* done) override {
    *done = 0;
    auto* bytes = static_cast<char*>(buffer);
    do {
      const auto step =
          static_cast<DWORD>(std::min(size - *done, kLargestCall));
      DWORD count = 0;
      if (!::ReadFile(handle_.get(), bytes + *done, step, &count, nullptr)) {
        return false;
      }
      *done += count;
      if (count < step) break;  // the end of the file
    } while (*done < size);
    return true;
  }

  bool write(const void* data, std::size_t size, std::size_t* done) override {
    *done = 0;
    const auto* bytes = static_cast<const char*>(data);
    do {
      const auto step =
          static_cast<DWORD>(std::min(size - *done, kLargestCall));
      DWORD count = 0;
      if (!::WriteFile(handle_.get(), bytes + *done, step, &count, nullptr)) {
        return false;
      }
      *done += count;
      if (count < step) break;  // a short write: the caller decides
    } while (*done < size);
    return true;
  }

 private:
  ScopedHandle handle_;
};

class Win32Listing : public DirectoryListing {
 public:
  Win32Listing(HANDLE find, const WIN32_FIND_DATAA& first)
      : find_(find), data_(first) {}
  ~Win32Listing() override { ::FindClose(find_); }

  bool next(DirectoryEntry* entry) override {
    if (!first_pending_ && !::FindNextFileA(find_, &data_)) return false;
    first_pending_ = false;
    entry->name = data_.cFileName;
    entry->is_directory =
        (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry->is_link =
        (data_.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return true;
  }

 private:
  HANDLE find_;
  WIN32_FIND_DATAA data_;
  bool first_pending_ = true;  // FindFirstFileA delivered the first entry
};

}  // namespace

std::unique_ptr<File> adopt_file_handle(HANDLE handle) {
  return std::make_unique<Win32File>(handle);
}

std::unique_ptr<File> Win32Platform::open_for_reading(const std::string& path) {
  const HANDLE handle =
      ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, kFileFlags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return adopt_file_handle(handle);
}

std::unique_ptr<File> Win32Platform::create_for_writing(
    const std::string& path) {
  const HANDLE handle =
      ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    CREATE_ALWAYS, kFileFlags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return adopt_file_handle(handle);
}

std::unique_ptr<DirectoryListing> Win32Platform::list_directory(
    const std::string& pattern) {
  // FindFirstFileA would list the folder a junction or symbolic link leads
  // to: a folder link is not listed, so a walk never leaves its tree, not
  // even at its top.
  const std::size_t folder_end = pattern.find_last_of("\\/");
  if (folder_end != std::string::npos && folder_end > 0) {
    const DWORD attributes =
        ::GetFileAttributesA(pattern.substr(0, folder_end).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      ::SetLastError(ERROR_DIRECTORY);
      return nullptr;
    }
  }
  WIN32_FIND_DATAA first;
  const HANDLE find = ::FindFirstFileA(pattern.c_str(), &first);
  if (find == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32Listing>(find, first);
}

}  // namespace vcboot
