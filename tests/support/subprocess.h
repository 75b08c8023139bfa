// Runs a program as a child process and collects what it did, for tests that
// exercise whole programs (the bootstrap, vcpack, helper installers).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace vcboot::test_support {

struct ProgramResult {
  int exit_code = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;
};

struct ProgramOptions {
  std::string working_directory;                   // empty: inherit
  std::map<std::string, std::string> environment;  // added to or replacing ours
  double timeout_seconds = 60;                     // then the child is killed
};

// Runs `argv[0]` with `argv` and waits for it. Standard input is /dev/null.
ProgramResult run_program(const std::vector<std::string>& argv,
                          const ProgramOptions& options = {});

// Runs a bootstrap or a package with `temp` as its temporary directory and a
// private (0700) $XDG_RUNTIME_DIR for its single-instance lock, so that the
// run meets no other run's guard and leaves `temp` as it found it. Values in
// `options` come first.
ProgramResult run_installer(const std::vector<std::string>& argv,
                            const std::string& temp,
                            ProgramOptions options = {});

}  // namespace vcboot::test_support
