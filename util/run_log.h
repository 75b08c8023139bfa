// The support log of one run: what an administrator reads when an
// installation that nobody watched went wrong. Off unless the package or
// the administrator asks for it (bootstrap/support_log.h opens it); while it
// is off, every call does nothing.
//
// Each line is stamped with the local time, written in UTF-8 and handed to
// the system with one call as soon as it is made, so that a run killed
// halfway leaves every line before its end. Control characters of a text
// (a message's line breaks, or whatever a package's names hold) are written
// as escapes (\r, \n, \t, \xNN), so that one line is one event and no text
// can forge another line. Writing never fails the run: a line that cannot
// be written is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>

#include "platform/platform.h"

namespace vcboot {

class RunLog {
 public:
  // A part of a line longer than this (a package's value, a long command
  // line) is cut there, with "..." behind it.
  static constexpr std::size_t kLongestPart = 1024;

  RunLog() = default;
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Writes every later line to `file` (Platform::open_log), with the time
  // and the text conversion of `platform`, which must outlive the log.
  void start(Platform& platform, std::unique_ptr<File> file);
  bool is_on() const { return file_ != nullptr; }

  // One line: the time, two blanks, then `parts` one after another (narrow
  // texts, as the system's).
  void write(std::initializer_list<std::string_view> parts);

 private:
  Platform* platform_ = nullptr;
  std::unique_ptr<File> file_;
};

// A number written out for a part of a line, in a buffer of its own.
struct NumberText {
  char text[32];
  std::size_t size = 0;
  operator std::string_view() const { return {text, size}; }
};

// In decimal: "3010".
NumberText decimal(std::uint64_t value);
// An exit code or error as the log tells it, all 32 bits in decimal and in
// hexadecimal: "3010 (0x00000BC2)".
NumberText code_text(std::uint32_t code);

}  // namespace vcboot
