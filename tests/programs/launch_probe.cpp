// A stand-in for an installer or post program. It writes what it was started
// with to $LAUNCH_PROBE_REPORT_DIR/<its own name>.report, one item a line:
//   arg <argument>      every argument, its own name (argv[0]) first
//   cwd <path>          its working directory
//   entry <name>        each entry of that directory, sorted; folders end in /
//   fd <number>         each open descriptor, only when
//                       $LAUNCH_PROBE_DESCRIPTORS is set (POSIX: it reads
//                       /proc/self/fd, which a program under Wine would
//                       read of Wine itself)
// Then it ends with the exit code in $LAUNCH_PROBE_EXIT (default 0), or, when
// $LAUNCH_PROBE_SIGNAL is set, by raising that signal.
//
// Portable C++ only, so that the Windows suites can build it as well.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> directory_entries(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    std::string name = entry.path().filename().string();
    if (entry.is_directory(error)) name += "/";
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The descriptors open in this process, without the one that the listing
// itself holds (it points back into /proc).
std::vector<std::string> open_descriptors() {
  std::vector<std::string> numbers;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd", error)) {
    const std::string target = fs::read_symlink(entry.path(), error).string();
    if (target.rfind("/proc/", 0) == 0) continue;
    numbers.push_back(entry.path().filename().string());
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

void write_report(const char* folder, int argc, char** argv) {
  const std::string name =
      fs::path(argc > 0 ? argv[0] : "probe").stem().string();
  // Gathered before the report file is opened, so it is not among them.
  const std::vector<std::string> descriptors =
      std::getenv("LAUNCH_PROBE_DESCRIPTORS") ? open_descriptors()
                                              : std::vector<std::string>();
  std::error_code error;
  const fs::path cwd = fs::current_path(error);
  std::ofstream report(fs::path(folder) / (name + ".report"), std::ios::binary);
  for (int i = 0; i < argc; ++i) report << "arg " << argv[i] << "\n";
  report << "cwd " << cwd.string() << "\n";
  for (const std::string& entry : directory_entries(cwd)) {
    report << "entry " << entry << "\n";
  }
  for (const std::string& fd : descriptors) report << "fd " << fd << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* folder = std::getenv("LAUNCH_PROBE_REPORT_DIR")) {
    write_report(folder, argc, argv);
  }
  if (const char* signal = std::getenv("LAUNCH_PROBE_SIGNAL")) {
    std::raise(std::atoi(signal));
  }
  const char* code = std::getenv("LAUNCH_PROBE_EXIT");
  return code ? std::atoi(code) : 0;
}
