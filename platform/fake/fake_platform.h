// An in-memory Platform for tests: the in-memory file system
// (memory_file_system.h) plus scripted faults, a recorded message box, a
// scripted mutex and scripted program launches. It records what it was asked
// and lets any kind of call fail on demand, so that every failure path of the
// core can be driven without touching the disk. Error codes are the Win32
// ones, so messages read as they would on Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/memory_file_system.h"
#include "platform/platform.h"

namespace vcboot {

// The kinds of call that a test can make fail.
enum class FakeCall {
  kCreateMutex,
  kTempDirectory,
  kCreateDirectory,
  kSetCurrentDirectory,
  kModulePath,
  kOpenForReading,
  kCreateForWriting,
  kSeek,
  kRead,
  kWrite,
  kListDirectory,
  kDeleteFile,
  kRemoveDirectory,
  kStartProgram,
  kWait,
  kExitCode,
  kRandomBytes,
  kOpenLog,
};

class FakePlatform : public Platform {
 public:
  struct Message {
    std::string caption;
    std::string text;
    bool operator==(const Message& other) const {
      return caption == other.caption && text == other.text;
    }
  };

  // What a scripted launch does. The default starts, ends and exits with 0.
  struct ProcessScript {
    bool started = true;
    bool has_handle = true;  // a start may succeed without a process handle
    bool wait_succeeds = true;
    std::optional<std::uint32_t> exit_code = 0;
  };

  struct Launch {
    LaunchRequest request;
    std::string current_directory;  // the fake's current directory then
  };

  FakePlatform();
  ~FakePlatform() override;

  // --- Set-up -------------------------------------------------------------
  void set_temp_directory(const std::string& path) { temp_directory_ = path; }
  void set_module_path(const std::string& path) { module_path_ = path; }
  void set_time(std::int64_t seconds) { time_ = seconds; }
  // What a message box would do; one that someone answers by default.
  void set_message_display(MessageDisplay display) { display_ = display; }
  // A variable of the process environment; none is set by default.
  void set_environment(const std::string& name, const std::string& value) {
    environment_[name] = value;
  }
  void set_local_time(const LocalTime& time) { local_time_ = time; }
  // The settings block that the stub carries; none by default.
  void set_package_settings_block(const std::string& bytes) {
    settings_block_ = bytes;
  }
  // Creates the folder and any missing folders above it.
  void add_directory(const std::string& path) { files_.add_directory(path); }
  // Creates or replaces a file (its folder must exist).
  void add_file(const std::string& path, const std::string& content) {
    files_.add_file(path, content);
  }
  void set_read_only(const std::string& path, bool read_only) {
    files_.set_read_only(path, read_only);
  }
  // Another process holds the single-instance mutex.
  void hold_mutex_elsewhere() { mutex_held_elsewhere_ = true; }
  // Lets the next `successes` calls of `call` succeed, then fails every
  // later one with `error` (as the last error).
  void fail(FakeCall call, std::uint32_t error, int successes = 0);
  // Lets the next `successes` reads go whole; the read after them delivers
  // half of what it is asked for, without an error, as a file cut short
  // while it is read would.
  void short_read(int successes) { short_read_after_ = successes; }
  // Writes succeed until this many bytes in all have been written; the write
  // that crosses the limit is short and fails with a disk-full error.
  void set_write_capacity(std::uint64_t bytes) { write_capacity_ = bytes; }
  // Decides what each launch does; called when the program starts, so it can
  // look at the file system as the started program would.
  void on_start(std::function<ProcessScript(const LaunchRequest&)> script) {
    launch_script_ = std::move(script);
  }
  // Calls are recorded in log() unless this is turned off, as runs that
  // watch the program's own allocations do.
  void keep_log(bool keep) { keep_log_ = keep; }
  // Names files in the current directory by ".\" rather than by its path,
  // as the POSIX backend does.
  void use_relative_prefix() { relative_prefix_ = true; }
  // A stop request `signal` arrives with the first call of this kind, which
  // itself goes ahead.
  void stop_on(FakeCall call, int signal) {
    stop_on_ = StopScript{call, signal};
  }

  // --- Observation --------------------------------------------------------
  const std::vector<Message>& messages() const { return messages_; }
  // Every call that touched the system, in order, as "name argument"; a
  // process handle's release is logged as "close_process <file>".
  const std::vector<std::string>& log() const { return log_; }
  const std::vector<Launch>& launches() const { return launches_; }
  // The file system, as memory_file_system.h describes its observations.
  bool file_exists(const std::string& path) const {
    return files_.file_exists(path);
  }
  bool directory_exists(const std::string& path) const {
    return files_.directory_exists(path);
  }
  std::string file_content(const std::string& path) const {
    return files_.file_content(path);
  }
  std::vector<std::string> files_in(const std::string& folder) const {
    return files_.files_in(folder);
  }
  std::vector<std::string> all_files() const { return files_.all_files(); }
  const std::string& current_directory() const {
    return files_.current_directory();
  }
  // Files, listings and processes that are still open.
  int open_handles() const { return files_.open_handles() + *open_processes_; }

  // --- Platform -----------------------------------------------------------
  // Not logged: reading the stub's own image touches nothing.
  std::string_view package_settings_block() override { return settings_block_; }
  void show_message(const std::string& caption,
                    const std::string& text) override;
  // The calls below that only tell about the process are not logged.
  MessageDisplay message_display() override { return display_; }
  MutexResult create_instance_mutex(const std::string& name) override;
  char path_separator() const override { return '\\'; }
  std::string temp_directory() override;
  std::string fallback_temp_directory() const override { return "C:\\Temp\\"; }
  bool create_directory(const std::string& path) override;
  bool set_current_directory(const std::string& path) override;
  // Fails with kCreateDirectory's fault, as kExists when its error is
  // fake_error::kAlreadyExists; entering fails with kSetCurrentDirectory's.
  NewDirectory create_new_directory(const std::string& path) override;
  bool enter_new_directory(const std::string& path) override;
  std::string current_directory_prefix(const std::string& path) const override {
    return relative_prefix_ ? ".\\" : path;
  }
  std::string module_path() override;
  std::int64_t calendar_time() override { return time_; }
  // A fixed sequence: names made from it differ, and repeat from run to run.
  bool random_bytes(void* buffer, std::size_t size) override;
  LocalTime local_time() override { return local_time_; }
  std::optional<std::string> environment_variable(
      const std::string& name) override;
  // "tester", not elevated, session 1, process 4242.
  std::string user_name() override { return "tester"; }
  std::optional<bool> is_elevated() override { return false; }
  std::optional<std::uint32_t> session_id() override { return 1; }
  std::uint32_t process_id() override { return 4242; }
  // In the file system, behind kOpenLog's fault alone. Its writes are
  // neither logged nor held to the write capacity: they would crowd the
  // record of the run's own calls.
  std::unique_ptr<File> open_log(const std::string& path) override;
  // Reads the narrow text as Latin-1, as Windows reads code page 1252.
  std::string to_utf8(const std::string& text) override;
  std::unique_ptr<File> open_for_reading(const std::string& path) override;
  std::unique_ptr<File> create_for_writing(const std::string& path) override;
  std::unique_ptr<DirectoryListing> list_directory(
      const std::string& pattern) override;
  bool delete_file(const std::string& path) override;
  bool remove_directory(const std::string& path) override;
  std::uint32_t last_error() override { return files_.last_error(); }
  std::string system_error_text(std::uint32_t code) override {
    return MemoryFileSystem::error_text(code);
  }
  std::uint32_t invalid_name_error() const override {
    return fake_error::kInvalidName;
  }
  bool is_disk_full(std::uint32_t code) const override {
    return code == fake_error::kDiskFull;
  }
  // A worker that runs each job at once, on the calling thread: the code
  // that overlaps work runs, in an order that never varies.
  std::unique_ptr<Worker> start_worker() override;
  // Starts nothing once a stop request has arrived.
  std::unique_ptr<Process> start_program(const LaunchRequest& request) override;
  void catch_stop_signals() override;
  int stop_signal() override { return stop_signal_; }

 private:
  class ScriptedFile;
  class FakeProcess;

  struct Failure {
    std::uint32_t error = 0;
    int successes_left = 0;
  };
  struct StopScript {
    FakeCall call;
    int signal = 0;
  };

  // Records the call; true (with the last error set) if it is to fail.
  bool should_fail(FakeCall call, const std::string& log_entry);
  // A file of the file system, or null, behind the scripted faults.
  std::unique_ptr<File> scripted(std::unique_ptr<File> file);

  MemoryFileSystem files_;
  std::string temp_directory_ = "C:\\Users\\tester\\Temp\\";
  std::string module_path_ = "C:\\Users\\tester\\Downloads\\setup.exe";
  std::int64_t time_ = 1700000000;
  std::uint32_t random_state_ = 1;
  bool mutex_held_elsewhere_ = false;
  std::string settings_block_;
  MessageDisplay display_ = MessageDisplay::kAnswered;
  std::map<std::string, std::string> environment_;
  LocalTime local_time_{2023, 11, 14, 22, 13, 20, 5};
  bool keep_log_ = true;
  std::uint64_t write_capacity_ = UINT64_MAX;
  int short_read_after_ = -1;  // reads to go whole; -1: every one
  std::function<ProcessScript(const LaunchRequest&)> launch_script_;
  bool relative_prefix_ = false;
  std::optional<StopScript> stop_on_;
  int stop_signal_ = 0;

  std::map<FakeCall, Failure> failures_;
  std::vector<Message> messages_;
  std::vector<std::string> log_;
  std::vector<Launch> launches_;
  // Shared with the processes, which may outlive a test's expectations.
  std::shared_ptr<int> open_processes_ = std::make_shared<int>(0);
};

}  // namespace vcboot
