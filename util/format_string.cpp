#include "util/format_string.h"

#include <cstdarg>
#include <memory>

#include "util/bounded_format.h"

namespace vcboot {
namespace {

constexpr std::size_t kFirstBufferSize = 1024;
// Only a formatter failure that is no lack of room (an encoding error) can
// make the text "not fit" at this size; give up there instead of growing on
// until memory runs out.
constexpr std::size_t kLargestBufferSize = std::size_t{1} << 30;

}  // namespace

std::string format_string(const char* format, ...) {
  for (std::size_t size = kFirstBufferSize; size <= kLargestBufferSize;
       size *= 2) {
    // One byte beyond `size` holds the terminating zero that C99's vsnprintf
    // insists on, so a text of exactly `size` characters fits this attempt.
    std::unique_ptr<char[]> buffer(new char[size + 1]);
    va_list arguments;
    va_start(arguments, format);
    const int count = format_bounded(buffer.get(), size + 1, format, arguments);
    va_end(arguments);
    // A negative count means "did not fit" to some formatters and "failed" to
    // others; either way another, larger attempt is the answer.
    if (count >= 0 && static_cast<std::size_t>(count) <= size) {
      return std::string(buffer.get(), static_cast<std::size_t>(count));
    }
  }
  return std::string();
}

}  // namespace vcboot
