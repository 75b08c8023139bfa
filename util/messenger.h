// The one way the bootstrap tells the user something: every message box of a
// run goes through here, by the name of its caption and text, and is shown
// with the texts in effect for that run (today's English ones unless the
// package's settings replace them). Being the only place that shows a box,
// it is also the place to decide how a message is told.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "util/message_texts.h"

namespace vcboot {

class Messenger {
 public:
  // Both must outlive the messenger.
  Messenger(Platform& platform, const MessageTexts& texts)
      : platform_(platform), texts_(texts) {}
  Messenger(const Messenger&) = delete;
  Messenger& operator=(const Messenger&) = delete;

  // A box with `caption` and `text`.
  void show(MessageText caption, MessageText text);

  // A file that failed, under `caption`: the path label, `path`, the error
  // label and the system's wording of `error` ("File: <path>\rError: ...").
  void show_file_failure(MessageText caption, const std::string& path,
                         std::uint32_t error);

  // An exception that escaped the run: the other way round from every other
  // box, its description is the caption (the unhandled-exception caption
  // when it has none, a null `description`) and the text is fixed.
  void show_exception(const char* description);

 private:
  Platform& platform_;
  const MessageTexts& texts_;
};

}  // namespace vcboot
