// vcpack holds every path as UTF-8 text. std::filesystem takes narrow text in
// the ANSI code page on Windows, so a path goes to it and comes back only
// through these two functions.
#pragma once

#include <filesystem>
#include <string>

namespace vcpack {

inline std::filesystem::path utf8_path(const std::string& text) {
  return std::filesystem::u8path(text);
}

inline std::string utf8_text(const std::filesystem::path& path) {
  return path.u8string();
}

}  // namespace vcpack
