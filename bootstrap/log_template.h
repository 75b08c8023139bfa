// Where the support log goes: a path with references to what only the run
// knows, written by the package (its setting "log") or by the administrator
// (VCBOOT_LOG).
//
// References, each between two percent signs, in any case:
//   %TEMP%  the temporary directory, without its closing separator
//           (SYSTEM's is C:\Windows\Temp)
//   %time%  the local date and time at the start of the run, 20240501-093015
//   %pid%   the bootstrap's process number, in decimal
// so "%TEMP%\MyProduct-%time%.log" gives each run a log of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vcboot {

// A package's template: the ANSI calls of Windows take paths of at most
// 259 characters, and a template is shorter than what it becomes.
inline constexpr std::size_t kMaxLogTemplateLength = 259;

// Whether a package may set `text` as its log: 1 to kMaxLogTemplateLength
// bytes; every percent sign begins one of the references above; and it
// names a full path, beginning with %TEMP%, a separator ('\' or '/') or a
// drive ("C:\"), so that the log never lands in whatever folder the
// package was started from, or in the work folder.
bool is_valid_log_template(std::string_view text);

// What the references stand for in one run.
struct LogTemplateValues {
  std::string temp;  // without its closing separator
  std::string time;  // as 20240501-093015
  std::string pid;
};

// `text` with each reference replaced; a percent sign that begins none
// stays as written (an administrator's path may hold one).
std::string expand_log_template(std::string_view text,
                                const LogTemplateValues& values);

// `time` as %time% writes it.
std::string log_file_time(const LocalTime& time);

}  // namespace vcboot
