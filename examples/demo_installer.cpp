// The demo package's installer: tells what it was given and what it finds,
// and ends with the exit code asked for by "--exit-code N" (default 0).
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "examples/demo_report.h"

namespace {

// The entries of the working folder, one line each, sorted.
std::string files_here() {
  std::vector<std::string> lines;
  if (DIR* folder = opendir(".")) {
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      struct stat status {};
      const bool known = stat(name.c_str(), &status) == 0;
      lines.push_back("    " + name +
                      (known && S_ISDIR(status.st_mode)
                           ? "/"
                           : " (" + std::to_string(known ? status.st_size : 0) +
                                 " bytes)"));
    }
    closedir(folder);
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  int exit_code = 0;
  std::string text = "[installer] arguments:";
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    text += " [" + argument + "]";
    if (argument == "--exit-code" && i + 1 < argc)
      exit_code = std::atoi(argv[i + 1]);
  }
  text += "\n[installer] working folder: " + demo::working_folder() + "\n";
  text += "[installer] files there:\n" + files_here();
  text +=
      "[installer] ending with exit code " + std::to_string(exit_code) + "\n";
  demo::report(text);
  return exit_code;
}
