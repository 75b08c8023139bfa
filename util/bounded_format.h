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
int format_bounded(char* buffer, std::size_t size, const char* format,
                   std::va_list arguments);

}  // namespace vcboot
