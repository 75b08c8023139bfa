#include "tools/vcpack/target_names.h"

#include <algorithm>

#include "archive/file_name_rules.h"

namespace vcpack {
namespace {

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool is_ascii_alnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
         (c >= 'a' && c <= 'z');
}

// Characters an 8.3 name may hold: letters, digits, these signs, and every
// byte of the code page beyond ASCII.
bool fits_short_name(char c) {
  static const std::string kSigns = "$%'-_@~`!(){}^#&";
  return is_ascii_alnum(c) || static_cast<unsigned char>(c) >= 0x80 ||
         kSigns.find(c) != std::string::npos;
}

struct BaseAndExtension {
  std::string base;
  std::string extension;
  bool has_dot = false;
};

// Split at the last dot that is not the first character.
BaseAndExtension split(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {name, "", false};
  return {name.substr(0, dot), name.substr(dot + 1), true};
}

bool is_valid_short_name(const std::string& name) {
  if (std::count(name.begin(), name.end(), '.') > 1) return false;
  const BaseAndExtension parts = split(name);
  if (parts.base.empty() || parts.base.size() > 8 ||
      parts.extension.size() > 3 || (parts.has_dot && parts.extension.empty()))
    return false;
  return std::all_of(parts.base.begin(), parts.base.end(), fits_short_name) &&
         std::all_of(parts.extension.begin(), parts.extension.end(),
                     fits_short_name);
}

// Upper case, blanks and dots left out, characters an 8.3 name cannot hold
// as '_', cut to `size`.
std::string cleaned(const std::string& text, std::size_t size) {
  std::string result;
  for (const char c : text) {
    if (result.size() == size) break;
    if (c == ' ' || c == '.') continue;
    result += fits_short_name(c) ? upper(c) : '_';
  }
  return result;
}

std::string family(const std::string& lead, const std::string& extension) {
  return lead + "." + extension;
}

}  // namespace

std::string file_key(const std::string& name, TargetSystem target) {
  if (target == TargetSystem::kWindows) return vcboot::windows_file_key(name);
  std::string key;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string component = name.substr(start, end - start);
    if (!component.empty() && component != ".") {
      key += (key.empty() ? "" : "/") + component;
    }
    start = end + 1;
  }
  return key;
}

bool has_folder_part(const std::string& name, TargetSystem target) {
  const char* separators = target == TargetSystem::kWindows ? "/\\" : "/";
  return name.find_first_of(separators) != std::string::npos;
}

std::optional<std::string> short_name_family(const std::string& name) {
  if (!is_valid_short_name(name)) return std::nullopt;
  const BaseAndExtension parts = split(name);
  const std::size_t tilde = parts.base.find('~');
  if (tilde == std::string::npos || tilde == 0 ||
      tilde + 1 == parts.base.size() ||
      !std::all_of(parts.base.begin() + static_cast<std::ptrdiff_t>(tilde) + 1,
                   parts.base.end(), is_ascii_alnum)) {
    return std::nullopt;
  }
  return family(cleaned(parts.base.substr(0, tilde), 2),
                cleaned(parts.extension, 3));
}

std::optional<std::string> generated_short_name_family(
    const std::string& name) {
  if (name.empty() || is_valid_short_name(name)) return std::nullopt;
  const BaseAndExtension parts = split(name);
  return family(cleaned(parts.base, 2), cleaned(parts.extension, 3));
}

}  // namespace vcpack
