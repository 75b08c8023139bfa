// A platform that passes every call to another one but keeps the message
// boxes instead of showing them, and starts no program. The bootstrap's own
// reader runs inside vcpack on it, and its reports become vcpack's findings.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace vcpack {

struct RecordedMessage {
  std::string caption;
  std::string text;
};

class RecordingPlatform : public vcboot::Platform {
 public:
  explicit RecordingPlatform(vcboot::Platform& inner) : inner_(inner) {}

  const std::vector<RecordedMessage>& messages() const { return messages_; }
  void clear_messages() { messages_.clear(); }

  void show_message(const std::string& caption,
                    const std::string& text) override {
    messages_.push_back({caption, text});
  }
  vcboot::MutexResult create_instance_mutex(const std::string& name) override {
    return inner_.create_instance_mutex(name);
  }
  char path_separator() const override { return inner_.path_separator(); }
  std::string temp_directory() override { return inner_.temp_directory(); }
  std::string fallback_temp_directory() const override {
    return inner_.fallback_temp_directory();
  }
  bool create_directory(const std::string& path) override {
    return inner_.create_directory(path);
  }
  bool set_current_directory(const std::string& path) override {
    return inner_.set_current_directory(path);
  }
  std::string module_path() override { return inner_.module_path(); }
  std::int64_t calendar_time() override { return inner_.calendar_time(); }
  std::unique_ptr<vcboot::File> open_for_reading(
      const std::string& path) override {
    return inner_.open_for_reading(path);
  }
  std::unique_ptr<vcboot::File> create_for_writing(
      const std::string& path) override {
    return inner_.create_for_writing(path);
  }
  std::unique_ptr<vcboot::DirectoryListing> list_directory(
      const std::string& pattern) override {
    return inner_.list_directory(pattern);
  }
  bool delete_file(const std::string& path) override {
    return inner_.delete_file(path);
  }
  bool remove_directory(const std::string& path) override {
    return inner_.remove_directory(path);
  }
  std::uint32_t last_error() override { return inner_.last_error(); }
  std::string system_error_text(std::uint32_t code) override {
    return inner_.system_error_text(code);
  }
  std::uint32_t invalid_name_error() const override {
    return inner_.invalid_name_error();
  }
  // vcpack inspects packages and never runs what they carry.
  std::unique_ptr<vcboot::Process> start_program(
      const vcboot::LaunchRequest&) override {
    return nullptr;
  }

 private:
  vcboot::Platform& inner_;
  std::vector<RecordedMessage> messages_;
};

}  // namespace vcpack
