// What the demo programs share: their output, and the folder they run in.
// Plain C library calls (MinGW-w64 has <dirent.h> and getcwd too), so that
// the Windows builds stay small.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace demo {

// Writes `text` to standard output, and also appends it to the file named by
// VCBOOT_DEMO_REPORT when that is set: a Windows GUI program that the
// bootstrap starts under Wine may have no standard output to write to.
inline void report(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
  const char* path = std::getenv("VCBOOT_DEMO_REPORT");
  if (path == nullptr || *path == '\0') return;
  if (std::FILE* file = std::fopen(path, "a")) {
    std::fputs(text.c_str(), file);
    std::fclose(file);
  }
}

inline std::string working_folder() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "(unknown)";
}

}  // namespace demo
