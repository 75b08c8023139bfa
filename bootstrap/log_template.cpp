#include "bootstrap/log_template.h"

#include "util/format_string.h"

namespace vcboot {
namespace {

bool same_ignoring_case(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

// The value of the reference that begins at `at` (a percent sign), and its
// length with both signs; null when none begins there.
const std::string* reference_at(std::string_view text, std::size_t at,
                                const LogTemplateValues& values,
                                std::size_t* length) {
  const std::size_t end = text.find('%', at + 1);
  if (end == std::string_view::npos) return nullptr;
  const std::string_view name = text.substr(at + 1, end - at - 1);
  *length = end - at + 1;
  if (same_ignoring_case(name, "temp")) return &values.temp;
  if (same_ignoring_case(name, "time")) return &values.time;
  if (same_ignoring_case(name, "pid")) return &values.pid;
  return nullptr;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool is_valid_log_template(std::string_view text) {
  if (text.empty() || text.size() > kMaxLogTemplateLength) return false;
  const LogTemplateValues none;
  std::size_t length = 0;
  for (std::size_t at = text.find('%'); at != std::string_view::npos;
       at = text.find('%', at + length)) {
    if (reference_at(text, at, none, &length) == nullptr) return false;
  }
  const bool drive = text.size() >= 3 && text[1] == ':' &&
                     is_separator(text[2]) &&
                     ((text[0] >= 'A' && text[0] <= 'Z') ||
                      (text[0] >= 'a' && text[0] <= 'z'));
  return is_separator(text[0]) || drive ||
         (text[0] == '%' && reference_at(text, 0, none, &length) == &none.temp);
}

std::string expand_log_template(std::string_view text,
                                const LogTemplateValues& values) {
  std::string result;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t length = 0;
    const std::string* value =
        text[at] == '%' ? reference_at(text, at, values, &length) : nullptr;
    if (value != nullptr) {
      result += *value;
      at += length;
    } else {
      result += text[at++];
    }
  }
  return result;
}

std::string log_file_time(const LocalTime& time) {
  return format_string("%04u%02u%02u-%02u%02u%02u", time.year, time.month,
                       time.day, time.hour, time.minute, time.second);
}

}  // namespace vcboot
