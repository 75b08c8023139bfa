#include "tools/vcpack/display_text.h"

#include <cstdio>

namespace vcpack {

std::string quoted(const std::string& text) {
  std::string result = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': result += "\\\""; break;
      case '\\': result += "\\\\"; break;
      case '\r': result += "\\r"; break;
      case '\n': result += "\\n"; break;
      case '\t': result += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          char escape[5];
          std::snprintf(escape, sizeof escape, "\\x%02x", byte);
          result += escape;
        } else {
          result += c;
        }
    }
  }
  return result + "\"";
}

}  // namespace vcpack
