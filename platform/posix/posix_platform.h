// The POSIX backend: the nearest honest behaviour of each Win32 call the
// bootstrap makes. Where it differs from Windows, a comment says so at the
// place where it happens.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vcboot {

// `path` without the '/' at its end ("/" stays): with one, lstat and
// O_NOFOLLOW would follow a symbolic link in the last place.
std::string without_trailing_slashes(const std::string& path);

// Where the single-instance lock lives: the first of `private_folders` that
// is a real folder of the user's with no rights for others, else
// `<shared>vcboot-<uid>`, made with mode 0700 if missing and checked the same
// way. Empty (errno set) when that one will not do either.
std::string guard_folder(const std::vector<std::string>& private_folders,
                         const std::string& shared);

class PosixPlatform : public Platform {
 public:
  PosixPlatform();

  std::string_view package_settings_block() override;
  void show_message(const std::string& caption,
                    const std::string& text) override;
  // Messages go to standard error, which never waits for an answer.
  MessageDisplay message_display() override {
    return MessageDisplay::kNeverWaits;
  }
  MutexResult create_instance_mutex(const std::string& name) override;
  char path_separator() const override { return '/'; }
  std::string temp_directory() override;
  std::string fallback_temp_directory() const override { return "/tmp/"; }
  bool create_directory(const std::string& path) override;
  bool set_current_directory(const std::string& path) override;
  NewDirectory create_new_directory(const std::string& path) override;
  bool enter_new_directory(const std::string& path) override;
  std::string current_directory_prefix(const std::string&) const override {
    return "./";
  }
  std::string module_path() override;
  std::int64_t calendar_time() override;
  bool random_bytes(void* buffer, std::size_t size) override;
  LocalTime local_time() override;
  std::optional<std::string> environment_variable(
      const std::string& name) override;
  std::string user_name() override;
  // Root stands for the administrator.
  std::optional<bool> is_elevated() override;
  // The process's session (getsid).
  std::optional<std::uint32_t> session_id() override;
  std::uint32_t process_id() override;
  std::unique_ptr<File> open_log(const std::string& path) override;
  // Texts are bytes as the system took them, mostly UTF-8 already; a byte
  // that is no part of valid UTF-8 is written as \xNN.
  std::string to_utf8(const std::string& text) override;
  std::unique_ptr<File> open_for_reading(const std::string& path) override;
  std::unique_ptr<File> create_for_writing(const std::string& path) override;
  std::unique_ptr<DirectoryListing> list_directory(
      const std::string& pattern) override;
  bool delete_file(const std::string& path) override;
  bool remove_directory(const std::string& path) override;
  std::uint32_t last_error() override { return last_error_; }
  std::string system_error_text(std::uint32_t code) override;
  // POSIX has no code for a name the system itself refuses; EINVAL is the
  // nearest ("Invalid argument").
  std::uint32_t invalid_name_error() const override { return EINVAL; }
  // A full file system, or the user's quota on it.
  bool is_disk_full(std::uint32_t code) const override {
    return code == ENOSPC || code == EDQUOT;
  }
  std::unique_ptr<Worker> start_worker() override;
  std::unique_ptr<Process> start_program(const LaunchRequest& request) override;
  void catch_stop_signals() override;
  int stop_signal() override;

  // Keeps errno as the last error, which later library calls could change;
  // returns false for use in `return`.
  bool record_errno() {
    last_error_ = static_cast<std::uint32_t>(errno);
    return false;
  }

 private:
  // The folder that create_new_directory made last, as lstat saw it then.
  struct MadeFolder {
    std::string path;  // without a '/' at its end
    dev_t device = 0;
    ino_t inode = 0;
  };

  std::uint32_t last_error_ = 0;
  std::optional<MadeFolder> made_folder_;
  // The current directory when the platform was made, before the run enters
  // its work folder; empty if it could not be told.
  std::string start_folder_;
};

}  // namespace vcboot
