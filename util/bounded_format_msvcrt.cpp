#include <cstdio>

#include "util/bounded_format.h"

namespace vcboot {

// The system's own msvcrt.dll formatter. The C99 vsnprintf of MinGW would
// link its own printf engine (with a floating-point converter the bootstrap
// never uses), about 20 KiB more in every package.
int format_bounded(char* buffer, std::size_t size, const char* format,
                   std::va_list arguments) {
  return _vsnprintf(buffer, size, format, arguments);
}

}  // namespace vcboot
