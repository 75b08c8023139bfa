#include "util/run_log.h"

#include <string>
#include <utility>

namespace vcboot {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Writes `value` as `count` decimal digits, the last of them at `end`.
void put_digits(char* end, unsigned value, int count) {
  for (; count > 0; --count, value /= 10)
    *--end = static_cast<char>('0' + value % 10);
}

// `part`, cut at kLongestPart, with each control character as an escape.
void append_escaped(std::string& line, std::string_view part) {
  const bool cut = part.size() > RunLog::kLongestPart;
  for (const char c : part.substr(0, RunLog::kLongestPart)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      line += c;
      continue;
    }
    line += '\\';
    if (c == '\r') {
      line += 'r';
    } else if (c == '\n') {
      line += 'n';
    } else if (c == '\t') {
      line += 't';
    } else {
      line += 'x';
      line += kHexDigits[byte >> 4];
      line += kHexDigits[byte & 0xF];
    }
  }
  if (cut) line += "...";
}

}  // namespace

void RunLog::start(Platform& platform, std::unique_ptr<File> file) {
  platform_ = &platform;
  file_ = std::move(file);
}

void RunLog::write(std::initializer_list<std::string_view> parts) {
  if (!file_) return;
  try {
    std::string text;
    for (const std::string_view part : parts) append_escaped(text, part);
    // "2024-05-01 09:30:15.042  "
    char stamp[] = "0000-00-00 00:00:00.000  ";
    const LocalTime t = platform_->local_time();
    put_digits(stamp + 4, t.year, 4);
    put_digits(stamp + 7, t.month, 2);
    put_digits(stamp + 10, t.day, 2);
    put_digits(stamp + 13, t.hour, 2);
    put_digits(stamp + 16, t.minute, 2);
    put_digits(stamp + 19, t.second, 2);
    put_digits(stamp + 23, t.millisecond, 3);
    std::string line = stamp;
    line += platform_->to_utf8(text);
    // Windows' own tools end a line of text with a carriage return too.
    line += platform_->path_separator() == '\\' ? "\r\n" : "\n";
    std::size_t written = 0;
    file_->write(line.data(), line.size(), &written);
  } catch (...) {
    // Out of memory: the line is lost, the run goes on.
  }
}

NumberText decimal(std::uint64_t value) {
  // Divided by ten in 16-bit steps of 32-bit arithmetic: a 32-bit program
  // would otherwise carry the library's 64-bit division.
  std::uint32_t parts[4] = {static_cast<std::uint32_t>(value >> 48) & 0xFFFF,
                            static_cast<std::uint32_t>(value >> 32) & 0xFFFF,
                            static_cast<std::uint32_t>(value >> 16) & 0xFFFF,
                            static_cast<std::uint32_t>(value) & 0xFFFF};
  char digits[20];
  std::size_t count = 0;
  bool more = true;
  while (more) {
    std::uint32_t remainder = 0;
    more = false;
    for (std::uint32_t& part : parts) {
      const std::uint32_t current = remainder << 16 | part;
      part = current / 10;
      remainder = current % 10;
      more |= part != 0;
    }
    digits[count++] = static_cast<char>('0' + remainder);
  }
  NumberText number;
  while (count > 0) number.text[number.size++] = digits[--count];
  return number;
}

NumberText code_text(std::uint32_t code) {
  NumberText number = decimal(code);
  for (const char c : {' ', '(', '0', 'x'}) number.text[number.size++] = c;
  for (int shift = 28; shift >= 0; shift -= 4) {
    number.text[number.size++] = kHexDigits[(code >> shift) & 0xF];
  }
  number.text[number.size++] = ')';
  return number;
}

}  // namespace vcboot
