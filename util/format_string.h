// printf-style formatting into a text string of any length.
#pragma once

#include <string>

namespace vcboot {

// Formats like printf and returns the whole text, never cut short. The length
// comes from the formatter's count, so "%c" with 0 puts a zero byte into the
// result. The working buffer starts at 1024 bytes and doubles until the text
// fits. Throws std::bad_alloc when memory runs out.
std::string format_string(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace vcboot
