// Files and directory listings of the POSIX backend.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

#include "platform/posix/posix_platform.h"

namespace vcboot {
namespace {

// The most one write call asks for; `cp` moves the same. Linux fills the page
// cache in blocks as large as each call allows, and a virtual machine that
// hands free memory back to its host (free page reporting) must fault large
// blocks in again: there, 16 files of 16 MiB written one call each took
// 0.14-0.88 s of system time, in pieces of this size 0.12-0.15 s.
constexpr std::size_t kWritePiece = 64 * 1024;

// Packages of 2 GiB and more are read from their end: a 32-bit off_t would
// cut the offsets (the build defines _FILE_OFFSET_BITS=64).
static_assert(sizeof(off_t) == sizeof(std::int64_t), "off_t of 64 bits");

class PosixFile : public File {
 public:
  PosixFile(PosixPlatform& platform, int fd) : platform_(platform), fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }

  std::optional<std::uint64_t> seek(std::int64_t distance,
                                    Origin origin) override {
    const int whence = origin == Origin::kBegin     ? SEEK_SET
                       : origin == Origin::kCurrent ? SEEK_CUR
                                                    : SEEK_END;
    // lseek refuses a move before the start of the file (EINVAL) and leaves
    // the position alone, as SetFilePointer does.
    const off_t position = ::lseek(fd_, static_cast<off_t>(distance), whence);
    if (position < 0) {
      platform_.record_errno();
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(position);
  }

  bool read(void* buffer, std::size_t size, std::size_t* done) override {
    return transfer(buffer, size, done, [this](void* at, std::size_t n) {
      return ::read(fd_, at, n);
    });
  }

  bool write(const void* data, std::size_t size, std::size_t* done) override {
    return transfer(const_cast<void*>(data), size, done,
                    [this](void* at, std::size_t n) {
                      return ::write(fd_, at, std::min(n, kWritePiece));
                    });
  }

 private:
  // One Win32 call moves the whole count; POSIX may move less per call, so
  // this loops until all is moved, the end of the file or an error.
  template <typename Call>
  bool transfer(void* buffer, std::size_t size, std::size_t* done, Call call) {
    *done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (*done < size) {
      const std::size_t step = std::min<std::size_t>(
          size - *done, std::numeric_limits<ssize_t>::max() / 2);
      const ssize_t n = call(bytes + *done, step);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return platform_.record_errno();
      if (n == 0) break;
      *done += static_cast<std::size_t>(n);
    }
    return true;
  }

  PosixPlatform& platform_;
  int fd_;
};

class PosixListing : public DirectoryListing {
 public:
  PosixListing(DIR* dir, std::string folder)
      : dir_(dir), folder_(std::move(folder)) {}
  ~PosixListing() override { ::closedir(dir_); }

  bool next(DirectoryEntry* entry) override {
    const dirent* found = ::readdir(dir_);
    if (found == nullptr) return false;
    entry->name = found->d_name;
    entry->is_directory = false;
    entry->is_link = false;
    // lstat tells a link from what it points to; stat then says whether a
    // link leads to a folder, which the walk must not enter.
    const std::string path = folder_ + entry->name;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return true;
    if (S_ISLNK(info.st_mode)) {
      struct stat target {};
      entry->is_link = true;
      entry->is_directory =
          ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    } else {
      entry->is_directory = S_ISDIR(info.st_mode);
    }
    return true;
  }

 private:
  DIR* dir_;
  std::string folder_;
};

}  // namespace

std::unique_ptr<File> PosixPlatform::open_for_reading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    record_errno();
    return nullptr;
  }
  // The counterpart of FILE_FLAG_SEQUENTIAL_SCAN.
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::make_unique<PosixFile>(*this, fd);
}

std::unique_ptr<File> PosixPlatform::create_for_writing(
    const std::string& path) {
  // Packages carry no file modes, and any extracted file may be the program
  // to start, so every file is made executable (0755 before the umask).
  // O_NOFOLLOW: a planted symbolic link is never written through.
  const int fd =
      ::open(path.c_str(),
             O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0755);
  if (fd < 0) {
    record_errno();
    return nullptr;
  }
  return std::make_unique<PosixFile>(*this, fd);
}

std::unique_ptr<File> PosixPlatform::open_log(const std::string& path) {
  // O_NOFOLLOW: a symbolic link planted under the name is never written
  // through (ELOOP); O_NONBLOCK: a FIFO without a reader fails at once
  // instead of hanging the run. What is opened must be a plain file of the
  // user's own with one name: another user's file is none of the run's
  // business, and a hard link could lead anywhere the user may write.
  // Created with mode 0600, as a log may name the user's paths.
  const int fd = ::open(
      path.c_str(),
      O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
      0600);
  if (fd < 0) {
    record_errno();
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    record_errno();
  } else if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
             info.st_nlink != 1) {
    errno = EPERM;
    record_errno();
  } else {
    return std::make_unique<PosixFile>(*this, fd);
  }
  ::close(fd);
  return nullptr;
}

std::unique_ptr<DirectoryListing> PosixPlatform::list_directory(
    const std::string& pattern) {
  // Windows takes a wildcard; here only "<folder>/*", meaning every entry, is
  // understood, and the folder part is opened.
  if (pattern.size() < 2 || pattern.back() != '*') {
    errno = EINVAL;
    record_errno();
    return nullptr;
  }
  std::string folder = pattern.substr(0, pattern.size() - 1);
  // O_NOFOLLOW: a folder that is a symbolic link is not listed (ELOOP), so
  // a walk never leaves the tree it was given, not even at its top.
  const int fd = ::open(without_trailing_slashes(folder).c_str(),
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (dir == nullptr) {
    record_errno();
    if (fd >= 0) ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixListing>(dir, std::move(folder));
}

}  // namespace vcboot
