// The demo package's installer: tells what it was given and what it finds,
// and ends with the exit code asked for by "--exit-code N" (default 0).
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "examples/demo_report.h"

namespace {

namespace fs = std::filesystem;

std::string files_here() {
  std::vector<std::string> lines;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(".", error)) {
    const std::string name = entry.path().filename().string();
    lines.push_back(entry.is_directory(error)
                        ? "    " + name + "/\n"
                        : "    " + name + " (" + std::to_string(entry.file_size(error)) +
                              " bytes)\n");
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  int exit_code = 0;
  std::string text = "[installer] arguments:";
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    text += " [" + argument + "]";
    if (argument == "--exit-code" && i + 1 < argc) exit_code = std::atoi(argv[i + 1]);
  }
  std::error_code error;
  text += "\n[installer] working folder: " + fs::current_path(error).string() + "\n";
  text += "[installer] files there:\n" + files_here();
  text += "[installer] ending with exit code " + std::to_string(exit_code) + "\n";
  demo::report(text);
  return exit_code;
}
