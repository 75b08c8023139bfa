#include "archive/file_name_rules.h"

#include <cstddef>

namespace vcboot {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

char to_upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equals_ignoring_case(const std::string& text, const char* upper) {
  std::size_t i = 0;
  for (; i < text.size() && upper[i] != '\0'; ++i) {
    if (to_upper(text[i]) != upper[i]) return false;
  }
  return i == text.size() && upper[i] == '\0';
}

// Windows drops trailing dots and blanks from a path component, so
// "Setup.exe." and "Setup.exe " name "Setup.exe", and ".. " and "..." the
// parent folder; an empty or "." component names the folder it stands in.
// Each is another spelling of some other name, so none is taken.
bool is_plain_component(const std::string& component) {
  if (component.empty()) return false;
  const char last = component.back();
  return last != '.' && last != ' ';
}

// Windows opens a device for these names whatever extension follows the
// first dot and whatever blanks precede it ("nul.txt", "CON .log").
// The superscript digits of code page 1252 count as digits there, too.
bool is_device_name(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  base.erase(base.find_last_not_of(' ') + 1);
  for (const char* name : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (equals_ignoring_case(base, name)) return true;
  }
  if (base.size() != 4) return false;
  const std::string prefix = base.substr(0, 3);
  const auto digit = static_cast<unsigned char>(base[3]);
  const bool is_digit = (digit >= '0' && digit <= '9') || digit == 0xB9 ||
                        digit == 0xB2 || digit == 0xB3;
  return is_digit && (equals_ignoring_case(prefix, "COM") ||
                      equals_ignoring_case(prefix, "LPT"));
}

}  // namespace

bool is_safe_file_name(const std::string& name) {
  // The system's file calls end a name at its first zero byte, so the name
  // checked here would not be the one opened.
  if (name.empty() || is_separator(name[0]) ||
      name.find(':') != std::string::npos ||
      name.find('\0') != std::string::npos) {
    return false;
  }
  std::size_t start = 0;
  for (;;) {
    std::size_t end = start;
    while (end < name.size() && !is_separator(name[end])) ++end;
    const std::string component = name.substr(start, end - start);
    if (!is_plain_component(component) || is_device_name(component)) {
      return false;
    }
    if (end == name.size()) return true;
    start = end + 1;
  }
}

std::string windows_file_key(const std::string& name) {
  std::string key;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !is_separator(name[end])) ++end;
    std::string component = name.substr(start, end - start);
    if (component != "..") {
      component.erase(component.find_last_not_of(". ") + 1);
    }
    if (!component.empty()) {
      if (!key.empty()) key += '\\';
      for (const char c : component) key += to_upper(c);
    }
    start = end + 1;
  }
  return key;
}

}  // namespace vcboot
