#include "platform/posix/posix_platform.h"

#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/posix/posix_signals.h"

namespace vcboot {

void PosixPlatform::show_message(const std::string& caption,
                                 const std::string& text) {
  // There is no message box: the caption, a line feed, the text, a line
  // feed and an empty line go to standard error in one write, and the run
  // goes on at once instead of waiting for a user. A lone carriage return,
  // as in "File: <path>\rError: <text>", would let a terminal write the
  // error over the path, so it becomes a line feed; "\r\n" stays as it is.
  std::string lines = text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == '\r' && (i + 1 == lines.size() || lines[i + 1] != '\n')) {
      lines[i] = '\n';
    }
  }
  const std::string block = caption + "\n" + lines + "\n\n";
  std::size_t written = 0;
  while (written < block.size()) {
    const ssize_t n =
        ::write(STDERR_FILENO, block.data() + written, block.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    written += static_cast<std::size_t>(n);
  }
}

namespace {

// A folder that nobody but the user can write to: a real folder (no link),
// owned by the user, with no rights for the group or others.
bool is_private_folder(const std::string& folder) {
  struct stat info {};
  return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

}  // namespace

std::string guard_folder(const std::vector<std::string>& private_folders,
                         const std::string& shared) {
  for (const std::string& candidate : private_folders) {
    if (candidate.empty() || candidate[0] != '/') continue;
    const std::string folder = without_trailing_slashes(candidate);
    if (is_private_folder(folder)) return folder;
  }
  const std::string folder = shared + "vcboot-" + std::to_string(::geteuid());
  ::mkdir(folder.c_str(), 0700);  // an existing one is checked below
  if (is_private_folder(folder)) return folder;
  // Another user's folder, a link or a folder others may write to: whoever
  // can write there could hold or remove the lock.
  errno = EACCES;
  return std::string();
}

MutexResult PosixPlatform::create_instance_mutex(const std::string& name) {
  // A named mutex becomes an flock on a file in a folder that only the user
  // can write to, so no other user can hold it. The kernel releases the lock
  // when the process dies, however it dies. The descriptor is never closed,
  // and not inherited by the programs the run starts. Where no such folder
  // can be had (say, another user planted its name), the run goes on
  // without a guard, as on Windows when the mutex cannot be created. An
  // empty lock file stays behind and serves the next run. The folder is
  // the same for every run of the user, whatever its $TMPDIR: the user's
  // runtime folder, as $XDG_RUNTIME_DIR names it or where systemd makes it,
  // else one of the user's in /tmp.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string folder = guard_folder(
      {runtime ? runtime : "", "/run/user/" + std::to_string(::geteuid())},
      "/tmp/");
  if (folder.empty()) {
    record_errno();
    return MutexResult::kUnavailable;
  }
  const std::string path = folder + "/" + name + ".lock";
  const int fd =
      ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    record_errno();
    return MutexResult::kUnavailable;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return MutexResult::kAcquired;
  record_errno();
  const bool held = errno == EWOULDBLOCK;
  ::close(fd);
  return held ? MutexResult::kAlreadyExists : MutexResult::kUnavailable;
}

std::string PosixPlatform::temp_directory() {
  // $TMPDIR when it is set and not empty, else /tmp/; never empty.
  const char* tmpdir = std::getenv("TMPDIR");
  std::string path = (tmpdir && *tmpdir) ? tmpdir : "/tmp/";
  if (path.back() != '/') path += '/';
  // Every path the run forms begins with this one and is used from inside
  // the work folder, so a relative $TMPDIR is anchored where the program
  // started, as Windows hands out full paths.
  if (path.front() != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return "/tmp/";
    path = std::string(cwd) + (cwd[1] == '\0' ? "" : "/") + path;
  }
  return path;
}

bool PosixPlatform::create_directory(const std::string& path) {
  // Private to the user: on a shared /tmp nobody else may plant or swap files
  // in the work folder before the installer runs.
  return ::mkdir(path.c_str(), 0700) == 0 || record_errno();
}

std::string without_trailing_slashes(const std::string& path) {
  const std::size_t end = path.find_last_not_of('/');
  return end == std::string::npos ? path.substr(0, 1) : path.substr(0, end + 1);
}

namespace {

// Whether someone else could rename a folder made in `parent` and put one
// of their own in its place: another user (root aside) owns it, or others
// may write to it without the sticky bit, which keeps them to their own
// names. No check of the work folder could then make the run safe, as the
// installer itself may use the folder's path ("source").
bool others_may_replace_folders_in(const std::string& parent) {
  struct stat info {};
  if (::stat(parent.c_str(), &info) != 0) return false;  // mkdir will tell
  if (info.st_uid != ::geteuid() && info.st_uid != 0) return true;
  return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 &&
         (info.st_mode & S_ISVTX) == 0;
}

}  // namespace

NewDirectory PosixPlatform::create_new_directory(const std::string& path) {
  // mkdir takes over nothing: a folder, a file or a symbolic link (even one
  // that leads nowhere) under the name gives EEXIST. Mode 0700: on a shared
  // /tmp nobody else may plant or swap files in it.
  made_folder_.reset();
  const std::string folder = without_trailing_slashes(path);
  const std::size_t name_at = folder.find_last_of('/');
  if (name_at != std::string::npos &&
      others_may_replace_folders_in(folder.substr(0, name_at + 1))) {
    errno = EACCES;
    record_errno();
    return NewDirectory::kFailed;
  }
  if (::mkdir(folder.c_str(), 0700) != 0) {
    record_errno();
    return errno == EEXIST ? NewDirectory::kExists : NewDirectory::kFailed;
  }
  // What was made, so that enter_new_directory knows it again. In a shared
  // folder without the sticky bit another user could already have renamed
  // it and put something of theirs in its place.
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) {
    record_errno();
    return NewDirectory::kFailed;
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    errno = EEXIST;
    record_errno();
    return NewDirectory::kExists;
  }
  made_folder_ = MadeFolder{folder, info.st_dev, info.st_ino};
  return NewDirectory::kCreated;
}

bool PosixPlatform::enter_new_directory(const std::string& path) {
  // Opened without following a link, checked to be the very folder that
  // create_new_directory made (the same device and inode), entered through
  // that descriptor, and "." checked once more. Windows checks the folder
  // for a reparse point instead.
  const std::string folder = without_trailing_slashes(path);
  if (!made_folder_ || made_folder_->path != folder) {
    errno = ENOENT;
    return record_errno();
  }
  const auto is_made_folder = [this](const struct stat& info) {
    return info.st_dev == made_folder_->device &&
           info.st_ino == made_folder_->inode;
  };
  const int fd =
      ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return record_errno();
  struct stat info {};
  bool entered = ::fstat(fd, &info) == 0 || record_errno();
  if (entered && !is_made_folder(info)) {
    errno = ESTALE;
    entered = record_errno();
  }
  entered = entered && (::fchdir(fd) == 0 || record_errno());
  ::close(fd);
  if (!entered) return false;
  if (::stat(".", &info) != 0) return record_errno();
  if (!is_made_folder(info)) {
    errno = ESTALE;
    return record_errno();
  }
  return true;
}

bool PosixPlatform::set_current_directory(const std::string& path) {
  // Windows' temporary directory is the user's own; /tmp is shared, and the
  // work folder's name can be guessed. A folder that belongs to another user
  // (root aside) may hold planted files, so it is refused (EACCES), which the
  // run reports as a failure to set the working directory.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return record_errno();
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0;
  if (ok && info.st_uid != ::geteuid() && info.st_uid != 0) {
    errno = EACCES;
    ok = false;
  }
  ok = ok && ::fchdir(fd) == 0;
  if (!ok) record_errno();
  ::close(fd);
  return ok;
}

std::string PosixPlatform::module_path() {
  // Linux tells the running executable through /proc, read here whole.
  std::string path(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", &path[0], path.size());
    if (n < 0) break;
    if (static_cast<std::size_t>(n) < path.size()) {
      path.resize(static_cast<std::size_t>(n));
      return path;
    }
    path.resize(2 * path.size());
  }
  // The kernel gives no link text longer than a page (ENAMETOOLONG). The
  // path the program was started by stands in, made absolute from the
  // folder it started in, so that the failed open of the archive names the
  // real file with its own error.
  record_errno();
  const auto* started = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
  if (started == nullptr || *started == '\0') return std::string();
  if (*started == '/' || start_folder_.empty()) return started;
  return start_folder_ + "/" + started;
}

std::int64_t PosixPlatform::calendar_time() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

bool PosixPlatform::random_bytes(void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ssize_t got = ::getrandom(bytes, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return record_errno();
    }
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool PosixPlatform::delete_file(const std::string& path) {
  // Unlike Windows, a file's own read-only mode does not stop its deletion:
  // only the folder's permissions count.
  return ::unlink(path.c_str()) == 0 || record_errno();
}

bool PosixPlatform::remove_directory(const std::string& path) {
  // Unlike Windows, a folder that is a process's current directory can be
  // removed once it is empty. A link to a folder is removed as a link, as
  // RemoveDirectoryA removes a junction without touching its target.
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    return ::unlink(path.c_str()) == 0 || record_errno();
  }
  return ::rmdir(path.c_str()) == 0 || record_errno();
}

std::string PosixPlatform::system_error_text(std::uint32_t code) {
  // strerror's text has no closing line break, so nothing is cut from it.
  // glibc names every code it knows; for any other it would make up
  // "Unknown error N", which Windows' empty answer corresponds to.
  const int error = static_cast<int>(code);
#if VCBOOT_HAVE_STRERRORNAME_NP
  if (::strerrorname_np(error) == nullptr) return std::string();
#endif
  return std::strerror(error);
}

namespace {

// A program started with standard input, output or error closed hands that
// number to the first file it opens, so a message meant for standard error
// would be written into the guard's lock file or a file being extracted, and
// the installer would inherit the gap. Each closed one is held on /dev/null
// instead; open takes the lowest free number, which is the one closed.
void hold_closed_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (::open("/dev/null", O_RDWR) != fd) return;
  }
}

}  // namespace

PosixPlatform::PosixPlatform() {
  hold_closed_standard_descriptors();
  // getcwd with no buffer takes a folder of any depth (glibc).
  if (char* const folder = ::getcwd(nullptr, 0)) {
    start_folder_ = folder;
    std::free(folder);
  }
}

void PosixPlatform::catch_stop_signals() {
  posix_signals::catch_stop_signals();
}

int PosixPlatform::stop_signal() { return posix_signals::stop_signal(); }

Platform& native_platform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace vcboot
