// A platform that passes every call to another one but keeps the message
// boxes instead of showing them, and starts no program. The bootstrap's own
// extraction runs inside vcpack on it, and its reports become vcpack's
// findings.
#pragma once

#include <string>
#include <vector>

#include "platform/platform_wrapper.h"

namespace vcpack {

struct RecordedMessage {
  std::string caption;
  std::string text;
};

class RecordingPlatform : public vcboot::PlatformWrapper {
 public:
  using PlatformWrapper::PlatformWrapper;

  const std::vector<RecordedMessage>& messages() const { return messages_; }

  void show_message(const std::string& caption,
                    const std::string& text) override {
    messages_.push_back({caption, text});
  }
  // vcpack inspects packages and never runs what they carry.
  std::unique_ptr<vcboot::Process> start_program(
      const vcboot::LaunchRequest&) override {
    return nullptr;
  }

 private:
  std::vector<RecordedMessage> messages_;
};

}  // namespace vcpack
