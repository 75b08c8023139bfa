// The C runtime's printf engine behind format_string, one file per runtime,
// picked by CMake.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace vcboot {

// Formats `arguments` into `buffer`, which holds `size` bytes. Returns the
// count of characters written when the whole text fit; otherwise either a
// negative number (msvcrt) or the count the whole text needs (C99).
// format_string copes with both.
// Marked printf-like so that clang, like GCC, accepts a format passed on
// from format_string, whose own callers are checked.
int format_bounded(char* buffer, std::size_t size, const char* format,
                   std::va_list arguments)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 0)))
#endif
    ;

}  // namespace vcboot
