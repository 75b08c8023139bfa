// A Platform that forwards every call to another one, as a base for partial
// doubles in tests and tools: a double derives from it and overrides only the
// calls it changes. Only tests and tools include this header (see
// platform.h).
#pragma once

#include "platform/platform.h"

namespace vcboot {

// The target must outlive the wrapper.
class PlatformWrapper : public Platform {
 public:
  explicit PlatformWrapper(Platform& target) : target_(target) {}

  Platform& target() const { return target_; }

  std::string_view package_settings_block() override {
    return target_.package_settings_block();
  }
  void show_message(const std::string& caption,
                    const std::string& text) override {
    target_.show_message(caption, text);
  }
  MessageDisplay message_display() override {
    return target_.message_display();
  }
  MutexResult create_instance_mutex(const std::string& name) override {
    return target_.create_instance_mutex(name);
  }
  char path_separator() const override { return target_.path_separator(); }
  std::string temp_directory() override { return target_.temp_directory(); }
  std::string fallback_temp_directory() const override {
    return target_.fallback_temp_directory();
  }
  bool create_directory(const std::string& path) override {
    return target_.create_directory(path);
  }
  bool set_current_directory(const std::string& path) override {
    return target_.set_current_directory(path);
  }
  NewDirectory create_new_directory(const std::string& path) override {
    return target_.create_new_directory(path);
  }
  bool enter_new_directory(const std::string& path) override {
    return target_.enter_new_directory(path);
  }
  std::string current_directory_prefix(const std::string& path) const override {
    return target_.current_directory_prefix(path);
  }
  std::string module_path() override { return target_.module_path(); }
  std::int64_t calendar_time() override { return target_.calendar_time(); }
  bool random_bytes(void* buffer, std::size_t size) override {
    return target_.random_bytes(buffer, size);
  }
  LocalTime local_time() override { return target_.local_time(); }
  std::optional<std::string> environment_variable(
      const std::string& name) override {
    return target_.environment_variable(name);
  }
  std::string user_name() override { return target_.user_name(); }
  std::optional<bool> is_elevated() override { return target_.is_elevated(); }
  std::optional<std::uint32_t> session_id() override {
    return target_.session_id();
  }
  std::uint32_t process_id() override { return target_.process_id(); }
  std::unique_ptr<File> open_for_reading(const std::string& path) override {
    return target_.open_for_reading(path);
  }
  std::unique_ptr<File> create_for_writing(const std::string& path) override {
    return target_.create_for_writing(path);
  }
  std::unique_ptr<File> open_log(const std::string& path) override {
    return target_.open_log(path);
  }
  std::string to_utf8(const std::string& text) override {
    return target_.to_utf8(text);
  }
  std::unique_ptr<DirectoryListing> list_directory(
      const std::string& pattern) override {
    return target_.list_directory(pattern);
  }
  bool delete_file(const std::string& path) override {
    return target_.delete_file(path);
  }
  bool remove_directory(const std::string& path) override {
    return target_.remove_directory(path);
  }
  std::uint32_t last_error() override { return target_.last_error(); }
  std::string system_error_text(std::uint32_t code) override {
    return target_.system_error_text(code);
  }
  std::uint32_t invalid_name_error() const override {
    return target_.invalid_name_error();
  }
  bool is_disk_full(std::uint32_t code) const override {
    return target_.is_disk_full(code);
  }
  std::unique_ptr<Process> start_program(
      const LaunchRequest& request) override {
    return target_.start_program(request);
  }
  std::unique_ptr<Worker> start_worker() override {
    return target_.start_worker();
  }
  void catch_stop_signals() override { target_.catch_stop_signals(); }
  int stop_signal() override { return target_.stop_signal(); }

 private:
  Platform& target_;
};

}  // namespace vcboot
