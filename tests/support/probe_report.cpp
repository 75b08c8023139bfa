#include "tests/support/probe_report.h"

#include <cstdlib>
#include <sstream>

#include "tests/support/scoped_temp_dir.h"

namespace vcboot::test_support {

ProbeReport read_probe_report(const std::filesystem::path& folder,
                              const std::string& name) {
  ProbeReport report;
  const std::filesystem::path path = folder / (name + ".report");
  if (!std::filesystem::exists(path)) return report;
  report.found = true;
  std::istringstream lines(read_file(path));
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank);
    const std::string value =
        blank == std::string::npos ? std::string() : line.substr(blank + 1);
    if (key == "arg") report.arguments.push_back(value);
    if (key == "cwd") report.working_directory = value;
    if (key == "entry") report.entries.push_back(value);
    if (key == "fd") report.descriptors.push_back(std::atoi(value.c_str()));
  }
  return report;
}

}  // namespace vcboot::test_support
