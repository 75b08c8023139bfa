#include "util/message_texts.h"

#include "util/messages.h"

namespace vcboot {
namespace {

struct Entry {
  const char* name;
  const char* default_text;
};

// In the order of MessageText.
constexpr Entry kEntries[kMessageTextCount] = {
    {"already-running.caption", messages::kAlreadyRunningCaption},
    {"already-running.text", messages::kAlreadyRunningText},
    {"no-temp-directory.caption", messages::kNoTempDirectoryCaption},
    {"no-temp-directory.text", messages::kNoTempDirectoryText},
    {"no-work-folder.caption", messages::kNoWorkFolderCaption},
    {"no-work-folder.text", messages::kNoWorkFolderText},
    {"invalid-archive.caption", messages::kInvalidArchiveCaption},
    {"invalid-archive.text", messages::kInvalidArchiveText},
    {"archive-not-opened.caption", messages::kFailedToOpenArchive},
    {"archive-not-initialized.caption", messages::kFailedToInitializeArchive},
    {"file-not-extracted.caption", messages::kFailedToExtractFile},
    {"file-failure.path-label", messages::kFileLabel},
    {"file-failure.error-label", messages::kErrorLabel},
    {"start-failed.caption", messages::kStartFailedCaption},
    {"start-failed.text", messages::kStartFailedText},
    {"wait-failed.caption", messages::kWaitFailedCaption},
    {"wait-failed.text", messages::kWaitFailedText},
    {"exit-code-failed.caption", messages::kExitCodeFailedCaption},
    {"exit-code-failed.text", messages::kExitCodeFailedText},
    {"unhandled-exception.caption", messages::kNoContextCaption},
    {"unhandled-exception.text", messages::kUnhandledExceptionText},
};

}  // namespace

const char* message_text_name(MessageText id) {
  return kEntries[static_cast<std::size_t>(id)].name;
}

std::optional<MessageText> find_message_text(std::string_view name) {
  for (std::size_t i = 0; i < kMessageTextCount; ++i) {
    if (name == kEntries[i].name) return static_cast<MessageText>(i);
  }
  return std::nullopt;
}

const char* default_message_text(MessageText id) {
  return kEntries[static_cast<std::size_t>(id)].default_text;
}

}  // namespace vcboot
