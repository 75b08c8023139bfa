// The Win32 backend: each service the bootstrap needs, made with the ANSI
// Win32 calls themselves (their flags and buffer sizes stand at each call),
// with nothing in between, but for the two paths that come from the system:
// the temporary directory and the program's own file are asked for in UTF-16
// and turned into a form the ANSI calls can open (ansi_path.h). It builds for
// i686 (the shipped target) and x86-64.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace vcboot {

class Win32Platform : public Platform {
 public:
  Win32Platform() = default;

  std::string_view package_settings_block() override;
  void show_message(const std::string& caption,
                    const std::string& text) override;
  MessageDisplay message_display() override;
  MutexResult create_instance_mutex(const std::string& name) override;
  char path_separator() const override { return '\\'; }
  std::string temp_directory() override;
  std::string fallback_temp_directory() const override { return "C:\\Temp\\"; }
  bool create_directory(const std::string& path) override;
  bool set_current_directory(const std::string& path) override;
  NewDirectory create_new_directory(const std::string& path) override;
  bool enter_new_directory(const std::string& path) override;
  std::string current_directory_prefix(const std::string& path) const override {
    return path;
  }
  std::string module_path() override;
  std::int64_t calendar_time() override;
  bool random_bytes(void* buffer, std::size_t size) override;
  LocalTime local_time() override;
  std::optional<std::string> environment_variable(
      const std::string& name) override;
  std::string user_name() override;
  std::optional<bool> is_elevated() override;
  std::optional<std::uint32_t> session_id() override;
  std::uint32_t process_id() override;
  std::unique_ptr<File> open_log(const std::string& path) override;
  std::string to_utf8(const std::string& text) override;
  std::unique_ptr<File> open_for_reading(const std::string& path) override;
  std::unique_ptr<File> create_for_writing(const std::string& path) override;
  std::unique_ptr<DirectoryListing> list_directory(
      const std::string& pattern) override;
  bool delete_file(const std::string& path) override;
  bool remove_directory(const std::string& path) override;
  std::uint32_t last_error() override;
  std::string system_error_text(std::uint32_t code) override;
  std::uint32_t invalid_name_error() const override;
  // ERROR_DISK_FULL, and ERROR_HANDLE_DISK_FULL (a full disk met through a
  // handle).
  bool is_disk_full(std::uint32_t code) const override {
    return code == 112 || code == 39;
  }
  std::unique_ptr<Worker> start_worker() override;
  std::unique_ptr<Process> start_program(const LaunchRequest& request) override;
  void catch_stop_signals() override {}
  int stop_signal() override { return 0; }
};

}  // namespace vcboot
