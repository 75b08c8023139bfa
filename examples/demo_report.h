// Output of the demo programs: standard output, and also the file named by
// VCBOOT_DEMO_REPORT when it is set, because a Windows GUI program that the
// bootstrap starts under Wine may have no standard output to write to.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace demo {

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

}  // namespace demo
