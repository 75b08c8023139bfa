#include "util/messenger.h"

namespace vcboot {

const char* Messenger::why_no_box() {
  if (!display_) display_ = platform_.message_display();
  if (*display_ == MessageDisplay::kNeverWaits) return nullptr;
  if (held_because_ != nullptr) return held_because_;
  if (*display_ == MessageDisplay::kUnseen) {
    return "nobody can see it: the window station is not visible";
  }
  return nullptr;
}

void Messenger::tell(const std::string& caption, const std::string& text) {
  const char* const reason = why_no_box();
  // Written before the box, which may wait for a long time.
  if (reason != nullptr) {
    log_.write({"Message not shown (", reason, "): ", caption, ": ", text});
  } else {
    log_.write({"Message shown: ", caption, ": ", text});
  }
  if (reason == nullptr) platform_.show_message(caption, text);
}

void Messenger::show(MessageText caption, MessageText text) {
  tell(texts_[caption], texts_[text]);
}

void Messenger::show_file_failure(MessageText caption, const std::string& path,
                                  std::uint32_t error) {
  tell(texts_[caption], texts_[MessageText::kFileFailurePathLabel] + path +
                            texts_[MessageText::kFileFailureErrorLabel] +
                            platform_.system_error_text(error));
}

void Messenger::show_exception(const char* description) {
  tell(description != nullptr ? std::string(description)
                              : texts_[MessageText::kUnhandledExceptionCaption],
       texts_[MessageText::kUnhandledExceptionText]);
}

}  // namespace vcboot
