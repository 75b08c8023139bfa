#include "util/messenger.h"

namespace vcboot {

void Messenger::show(MessageText caption, MessageText text) {
  platform_.show_message(texts_[caption], texts_[text]);
}

void Messenger::show_file_failure(MessageText caption, const std::string& path,
                                  std::uint32_t error) {
  platform_.show_message(texts_[caption],
                         texts_[MessageText::kFileFailurePathLabel] + path +
                             texts_[MessageText::kFileFailureErrorLabel] +
                             platform_.system_error_text(error));
}

void Messenger::show_exception(const char* description) {
  platform_.show_message(description != nullptr
                             ? std::string(description)
                             : texts_[MessageText::kUnhandledExceptionCaption],
                         texts_[MessageText::kUnhandledExceptionText]);
}

}  // namespace vcboot
