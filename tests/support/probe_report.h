// What a launch probe (tests/programs/launch_probe.cpp) recorded.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vcboot::test_support {

struct ProbeReport {
  bool found = false;  // false: the probe did not run, or wrote no report
  std::vector<std::string> arguments;  // argv[0] first
  std::string working_directory;
  std::vector<std::string> entries;  // sorted; folders end in '/'
  std::vector<int> descriptors;      // when the probe was asked to list them
};

// Reads the report of the probe started under the name `name` (the file
// name without extension) from `folder`.
ProbeReport read_probe_report(const std::filesystem::path& folder,
                              const std::string& name);

}  // namespace vcboot::test_support
