// The one way the bootstrap tells the user something: every message box of a
// run goes through here, by the name of its caption and text, and is shown
// with the texts in effect for that run (today's English ones unless the
// package's settings replace them). Being the only place that shows a box,
// it is also the place that decides whether a box is shown at all: never
// one that nobody can answer, and none where the package or the
// administrator asked for none. A message that is not shown is told to the
// support log alone, and the run goes on as if the user had pressed OK.
// Every message goes to the log, shown or not.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "util/message_texts.h"
#include "util/run_log.h"

namespace vcboot {

class Messenger {
 public:
  // All must outlive the messenger.
  Messenger(Platform& platform, const MessageTexts& texts, RunLog& log)
      : platform_(platform), texts_(texts), log_(log) {}
  // Without a support log.
  Messenger(Platform& platform, const MessageTexts& texts)
      : Messenger(platform, texts, no_log_) {}
  Messenger(const Messenger&) = delete;
  Messenger& operator=(const Messenger&) = delete;

  // From now on no message waits for an answer, for `reason` (a static
  // text for the log, such as "VCBOOT_UI=none"): no box is shown. Messages
  // that never wait (POSIX: standard error) are still written.
  void hold_boxes(const char* reason) { held_because_ = reason; }
  // That reason; null when nothing asked.
  const char* boxes_held_because() const { return held_because_; }

  // Why a box would not be shown now; null when it would be. Asks the
  // platform once, before the first message.
  const char* why_no_box();

  // The support log, which the extraction and the launch write to.
  RunLog& log() { return log_; }

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
  void tell(const std::string& caption, const std::string& text);

  Platform& platform_;
  const MessageTexts& texts_;
  RunLog no_log_;
  RunLog& log_;
  const char* held_because_ = nullptr;
  std::optional<MessageDisplay> display_;
};

}  // namespace vcboot
