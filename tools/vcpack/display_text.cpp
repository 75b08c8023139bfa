#include "tools/vcpack/display_text.h"

#include <algorithm>
#include <cstdio>

namespace vcpack {

std::string quoted(const std::string& text) {
  std::string result = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        result += "\\\"";
        break;
      case '\r':
        result += "\\r";
        break;
      case '\n':
        result += "\\n";
        break;
      case '\t':
        result += "\\t";
        break;
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

std::string shown(const std::string& text) {
  const bool plain =
      !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte != 0x7f && c != '"';
      });
  return plain ? text : quoted(text);
}

std::string aligned_rows(const std::vector<std::vector<std::string>>& rows,
                         const std::vector<std::size_t>& right_aligned) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line = " ";
    for (std::size_t i = 0; i < row.size(); ++i) {
      const std::string padding(widths[i] - row[i].size(), ' ');
      const bool right = std::find(right_aligned.begin(), right_aligned.end(),
                                   i) != right_aligned.end();
      line += " " + (right ? padding + row[i] : row[i] + padding);
      if (i + 1 < row.size()) line += " ";
    }
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  return text;
}

}  // namespace vcpack
