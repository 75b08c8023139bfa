#include <cstdio>

#include "util/bounded_format.h"

namespace vcboot {

int format_bounded(char* buffer, std::size_t size, const char* format,
                   std::va_list arguments) {
  return std::vsnprintf(buffer, size, format, arguments);
}

}  // namespace vcboot
