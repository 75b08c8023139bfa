// The operating-system services the bootstrap needs, and nothing more.
//
// The core (bootstrap/, archive/, variables/, util/) reaches the system only
// through `Platform`, so it never includes a system header. There is one real
// backend per operating system (platform/win32, platform/posix), picked by
// CMake, and an in-memory fake for tests (platform/fake). Abstract so that it
// can be faked: every failure path of the core is tested through the fake.
//
// Ownership: every object returned through a std::unique_ptr owns one system
// handle and releases it in its destructor, exactly once, on every way out.
//
// Partial doubles derive from PlatformWrapper (platform_wrapper.h), which
// lives apart so that the bootstrap's own code never sees it: an optimiser
// that sees it treats it as a likely Platform and inlines its forwarding
// into every call, which made the native stub 12 KB larger.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vcboot {

// An open file with a position. Closed by the destructor.
class File {
 public:
  enum class Origin { kBegin, kCurrent, kEnd };

  virtual ~File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Moves the position by `distance` bytes from `origin`. Returns the new
  // position, or nothing when the move fails; a move before the start of the
  // file fails and leaves the position where it was.
  virtual std::optional<std::uint64_t> seek(std::int64_t distance,
                                            Origin origin) = 0;

  // Reads up to `size` bytes at the position and advances it by the count
  // read, which `*done` receives (fewer than asked at the end of the file).
  // False on an I/O error.
  virtual bool read(void* buffer, std::size_t size, std::size_t* done) = 0;

  // Writes `size` bytes at the position; `*done` receives the count written,
  // which is less than `size` on a short write. False on an I/O error.
  virtual bool write(const void* data, std::size_t size, std::size_t* done) = 0;

 protected:
  File() = default;
};

// One entry of a directory listing.
struct DirectoryEntry {
  std::string name;
  bool is_directory = false;
  // A folder link (Windows reparse point, POSIX symbolic link to a folder):
  // reported so that a recursive walk can remove the link without entering it.
  bool is_link = false;
};

// An open directory listing, closed by the destructor.
class DirectoryListing {
 public:
  virtual ~DirectoryListing() = default;
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;

  // The first call yields the first entry; false when there are no more.
  // Every entry is listed, "." and ".." included.
  virtual bool next(DirectoryEntry* entry) = 0;

 protected:
  DirectoryListing() = default;
};

// A started program. The destructor releases its handle (if it has one).
class Process {
 public:
  virtual ~Process() = default;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Blocks without a time limit until the program has ended. False when the
  // wait fails, which includes a start that handed back no process handle.
  virtual bool wait() = 0;

  // The ended program's exit code, or nothing when it cannot be read.
  virtual std::optional<std::uint32_t> exit_code() = 0;

  // The system's number for the program, for the support log; 0 when it
  // cannot be told.
  virtual std::uint32_t id() = 0;

 protected:
  Process() = default;
};

// A second thread that runs one job at a time, so that work on memory
// (hashing a block) overlaps the file calls of the thread that starts it
// (writing that block, reading the next). A job calls nothing of the
// platform: every system call and its last error stay on the one thread.
// The destructor waits for the job in hand and ends the thread.
class Worker {
 public:
  virtual ~Worker() = default;
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Runs `job(context)` on the worker thread. The job started before must
  // have been waited for.
  virtual void start(void (*job)(void*), void* context) = 0;
  // Returns once the job started last has ended; at once when there is none.
  virtual void wait() = 0;

 protected:
  Worker() = default;
};

// What to start: a file, its parameter text (one string, split by the
// receiving side's rules) and an optional working directory.
struct LaunchRequest {
  std::string file;
  std::string parameters;
  std::optional<std::string> directory;  // none: inherit the current one
};

enum class NewDirectory {
  kCreated,  // made by this call: a new, empty folder
  kExists,   // the name is taken (a folder, a file or a link); left alone
  kFailed,   // not made for any other reason; the last error says why
};

enum class MutexResult {
  kAcquired,       // the name was free; it is now held until the process ends
  kAlreadyExists,  // another process holds the name
  kUnavailable,    // the guard could not be created at all
};

// What a message does once it is shown.
enum class MessageDisplay {
  kAnswered,    // a box waits until someone who can see it closes it
  kUnseen,      // a box would wait, but nobody can see it (Windows: a window
                // station that is not visible, as for a service or SYSTEM)
  kNeverWaits,  // the message is written and the run goes on (POSIX)
};

// The local date and time of day, as the support log stamps its lines.
struct LocalTime {
  unsigned year = 0, month = 0, day = 0;
  unsigned hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;

  // The package's settings block as the stub carries it in its own image
  // (bootstrap/settings_format.h: a resource on Windows, a section of its
  // own in an ELF file), read from memory without touching a file; empty
  // when there is none. The bytes stay valid as long as the platform.
  virtual std::string_view package_settings_block() = 0;

  // A modal message with an OK button and no icon; returns once the user has
  // closed it.
  virtual void show_message(const std::string& caption,
                            const std::string& text) = 0;
  // What show_message would do now. The run asks before its first message,
  // so that a box that nobody can answer is never shown.
  virtual MessageDisplay message_display() = 0;

  // Creates the named single-instance guard with initial ownership. It is
  // never released: the system drops it when the process ends.
  virtual MutexResult create_instance_mutex(const std::string& name) = 0;

  // The separator that ends folder paths made by the bootstrap.
  virtual char path_separator() const = 0;
  // The user's temporary directory, ending with a separator; empty when the
  // system has none to give.
  virtual std::string temp_directory() = 0;
  // Where the work folder goes when there is no temporary directory.
  virtual std::string fallback_temp_directory() const = 0;
  virtual bool create_directory(const std::string& path) = 0;
  virtual bool set_current_directory(const std::string& path) = 0;
  // Makes a folder that nobody else has had a hand in: exclusively, so that
  // whatever stands under the name already is never taken over, and private
  // to the user where the system has such a notion.
  virtual NewDirectory create_new_directory(const std::string& path) = 0;
  // Makes `path` the current directory, but only while it is still the
  // folder that create_new_directory made there: a real folder, no link or
  // junction. False (the last error set) when it is not or cannot be
  // entered; the current directory may then have changed.
  virtual bool enter_new_directory(const std::string& path) = 0;
  // What to put in front of a name to reach a file in the current
  // directory, which `path` (ending with a separator) names too. POSIX:
  // "./", as another user may rename a folder's path away and put another
  // folder under it, while the current directory stays the folder that was
  // entered. Windows: `path` itself, since no process can rename a folder
  // that is a process's current directory.
  virtual std::string current_directory_prefix(
      const std::string& path) const = 0;
  // Full path of the running executable; empty if it cannot be told, with
  // the last error saying why.
  virtual std::string module_path() = 0;
  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual std::int64_t calendar_time() = 0;
  // Fills `size` bytes from the system's source of numbers that nobody can
  // foresee. False when it has none to give.
  virtual bool random_bytes(void* buffer, std::size_t size) = 0;
  virtual LocalTime local_time() = 0;

  // The process environment's variable `name`; nothing when it is not set.
  virtual std::optional<std::string> environment_variable(
      const std::string& name) = 0;
  // Who runs the program, for the support log: the user's name (empty when
  // it cannot be told), whether the process holds the administrator's
  // rights (nothing when that cannot be told), its session and its number.
  virtual std::string user_name() = 0;
  virtual std::optional<bool> is_elevated() = 0;
  virtual std::optional<std::uint32_t> session_id() = 0;
  virtual std::uint32_t process_id() = 0;

  // Opens an existing file for sequential reading, shared for reading.
  virtual std::unique_ptr<File> open_for_reading(const std::string& path) = 0;
  // Creates a file, or empties an existing one, for sequential writing.
  virtual std::unique_ptr<File> create_for_writing(const std::string& path) = 0;
  // Opens the support log at `path` for appending, creating it when it is
  // missing, for the user alone where the system has such a notion. A path
  // that anyone else may have prepared is never written through: null (the
  // last error set) for a link, a file with more than one name, anything
  // but a plain file, and (POSIX) another user's file. Writes go to its end.
  virtual std::unique_ptr<File> open_log(const std::string& path) = 0;
  // `text`, in the system's narrow encoding (Windows: the ANSI code page),
  // as UTF-8.
  virtual std::string to_utf8(const std::string& text) = 0;
  // Lists the folder named by `pattern`, a folder path with its separator
  // followed by "*". Null when the folder cannot be listed, and when it is a
  // folder link: a link is never followed into another folder.
  virtual std::unique_ptr<DirectoryListing> list_directory(
      const std::string& pattern) = 0;
  virtual bool delete_file(const std::string& path) = 0;
  virtual bool remove_directory(const std::string& path) = 0;

  // The calling thread's last error code, as the failed call left it.
  virtual std::uint32_t last_error() = 0;
  // The system's own wording of an error code; empty if it has none.
  virtual std::string system_error_text(std::uint32_t code) = 0;
  // The code for a file name that the program refuses before asking the
  // system, reported as the system reports a name it rejects.
  virtual std::uint32_t invalid_name_error() const = 0;
  // Whether `code` says that the disk (or the user's quota on it) is full.
  virtual bool is_disk_full(std::uint32_t code) const = 0;

  // A worker thread; null when none can be started, and the caller then
  // does the work itself.
  virtual std::unique_ptr<Worker> start_worker() = 0;

  // Starts a program. Null when it could not be started; otherwise a process
  // to wait for, which may hold no handle (its wait then fails).
  virtual std::unique_ptr<Process> start_program(
      const LaunchRequest& request) = 0;

  // From now on a request to stop (POSIX: SIGTERM or SIGHUP) no longer ends
  // the program at once: it is passed on to a started program that is still
  // running, and noted for stop_signal(), so that the run can stop at a safe
  // point and clean up. A closed pipe no longer ends it either (SIGPIPE).
  // Windows sends no such request to a program without a window.
  virtual void catch_stop_signals() = 0;
  // The number of the first stop request that arrived, or 0. Once there is
  // one, start_program starts nothing.
  virtual int stop_signal() = 0;

 protected:
  Platform() = default;
};

// The backend of the operating system this program was built for.
Platform& native_platform();

}  // namespace vcboot
