#include "tools/vcpack/display_text.h"

#include <algorithm>
#include <cstdio>

namespace vcpack {

namespace {

// The character starting at `text[i]` if it is well-formed UTF-8 beyond
// ASCII: its code point, and its length in `*length`. 0 when it is not.
char32_t utf8_character(const std::string& text, std::size_t i,
                        std::size_t* length) {
  const auto byte = static_cast<unsigned char>(text[i]);
  std::size_t size = 0;
  char32_t code = 0;
  if (byte >= 0xC2 && byte <= 0xDF) {
    size = 2, code = byte & 0x1Fu;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    size = 3, code = byte & 0x0Fu;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    size = 4, code = byte & 0x07u;
  } else {
    return 0;
  }
  if (i + size > text.size()) return 0;
  for (std::size_t k = 1; k < size; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  const char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < lowest[size] || code > 0x10FFFF ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  *length = size;
  return code;
}

// Characters that a terminal acts on, or that change how the text around
// them is shown: C1 controls, bidirectional controls, line and paragraph
// separators.
bool steers_display(char32_t code) {
  return (code >= 0x80 && code <= 0x9F) || code == 0x61C || code == 0x200E ||
         code == 0x200F || (code >= 0x2028 && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

std::string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*x", digits, value);
  return text;
}

std::string escape(const std::string& text, bool escape_quotes) {
  std::string result;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      std::size_t length = 0;
      const char32_t code = utf8_character(text, i, &length);
      if (code == 0) {
        result += "\\x" + hex(byte, 2);
        ++i;
      } else {
        result += steers_display(code) ? "\\u{" + hex(code, 4) + "}"
                                       : text.substr(i, length);
        i += length;
      }
      continue;
    }
    ++i;
    if (c == '"' && escape_quotes) {
      result += "\\\"";
    } else if (c == '\r') {
      result += "\\r";
    } else if (c == '\n') {
      result += "\\n";
    } else if (c == '\t') {
      result += "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      result += "\\x" + hex(byte, 2);
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace

std::string escaped(const std::string& text) { return escape(text, false); }

std::string quoted(const std::string& text) {
  return "\"" + escape(text, true) + "\"";
}

std::string shown(const std::string& text) {
  const bool plain = !text.empty() &&
                     text.find_first_of(" \"") == std::string::npos &&
                     escape(text, false) == text;
  return plain ? text : quoted(text);
}

std::string abridged(const std::string& text) {
  constexpr std::size_t kLongest = 80;
  constexpr std::size_t kShownPart = 64;
  if (text.size() <= kLongest) return quoted(text);
  return quoted(text.substr(0, kShownPart)) + "... (" +
         std::to_string(text.size()) + " bytes)";
}

std::string aligned_rows(const std::vector<std::vector<std::string>>& rows,
                         const std::vector<std::size_t>& right_aligned) {
  return aligned_rows(
      rows.size(), [&rows](std::size_t i) { return rows[i]; }, right_aligned);
}

std::string aligned_rows(
    std::size_t count,
    const std::function<std::vector<std::string>(std::size_t)>& row,
    const std::vector<std::size_t>& right_aligned) {
  std::vector<std::size_t> widths;
  for (std::size_t r = 0; r < count; ++r) {
    const std::vector<std::string> cells = row(r);
    widths.resize(std::max(widths.size(), cells.size()), 0);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      widths[i] = std::max(widths[i], cells[i].size());
    }
  }
  std::string text;
  for (std::size_t r = 0; r < count; ++r) {
    const std::vector<std::string> cells = row(r);
    std::string line = " ";
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const std::string padding(widths[i] - cells[i].size(), ' ');
      const bool right = std::find(right_aligned.begin(), right_aligned.end(),
                                   i) != right_aligned.end();
      line += " " + (right ? padding + cells[i] : cells[i] + padding);
      if (i + 1 < cells.size()) line += " ";
    }
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  return text;
}

}  // namespace vcpack
