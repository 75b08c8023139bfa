// Every caption and text that the bootstrap shows, each under a stable name
// by which a package's settings replace it (bootstrap/package_settings.h),
// and the table of the texts in effect for one run.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vcboot {

// One per caption and text of util/messages.h. The names, in the same order,
// are in message_texts.cpp and docs/package-format.md.
enum class MessageText : unsigned char {
  kAlreadyRunningCaption,         // already-running.caption
  kAlreadyRunningText,            // already-running.text
  kNoTempDirectoryCaption,        // no-temp-directory.caption
  kNoTempDirectoryText,           // no-temp-directory.text
  kNoWorkFolderCaption,           // no-work-folder.caption
  kNoWorkFolderText,              // no-work-folder.text
  kInvalidArchiveCaption,         // invalid-archive.caption
  kInvalidArchiveText,            // invalid-archive.text
  kArchiveNotOpenedCaption,       // archive-not-opened.caption
  kArchiveNotInitializedCaption,  // archive-not-initialized.caption
  kFileNotExtractedCaption,       // file-not-extracted.caption
  // The text of the three above: path label, path, error label, the
  // system's reason ("File: " and "\rError: " by default).
  kFileFailurePathLabel,   // file-failure.path-label
  kFileFailureErrorLabel,  // file-failure.error-label
  kStartFailedCaption,     // start-failed.caption
  kStartFailedText,        // start-failed.text
  kWaitFailedCaption,      // wait-failed.caption
  kWaitFailedText,         // wait-failed.text
  kExitCodeFailedCaption,  // exit-code-failed.caption
  kExitCodeFailedText,     // exit-code-failed.text
  // An exception's box: its description is the caption, or this caption
  // when it has none.
  kUnhandledExceptionCaption,  // unhandled-exception.caption
  kUnhandledExceptionText,     // unhandled-exception.text
};

inline constexpr std::size_t kMessageTextCount =
    static_cast<std::size_t>(MessageText::kUnhandledExceptionText) + 1;

// The stable name of a caption or text, such as "invalid-archive.text".
const char* message_text_name(MessageText id);

// The caption or text of that name; nothing for any other name.
std::optional<MessageText> find_message_text(std::string_view name);

// Today's English text (util/messages.h).
const char* default_message_text(MessageText id);

// The texts in effect: today's English texts, each of which a package's
// settings may replace. Made with every default.
class MessageTexts {
 public:
  std::string operator[](MessageText id) const {
    const std::optional<std::string>& own = own_[static_cast<std::size_t>(id)];
    return own ? *own : std::string(default_message_text(id));
  }
  void set(MessageText id, std::string text) {
    own_[static_cast<std::size_t>(id)] = std::move(text);
  }

 private:
  // Only the texts that replace a default.
  std::array<std::optional<std::string>, kMessageTextCount> own_;
};

}  // namespace vcboot
