// Entry point of the POSIX bootstrap.
#include <string>
#include <vector>

#include "bootstrap/run_sequence.h"
#include "platform/command_line.h"
#include "platform/platform.h"

namespace {
// The one run state of the process, alive from static initialisation on.
vcboot::RunState g_run_state;
}  // namespace

int main(int argc, char** argv) {
  // POSIX hands over an argument vector, not a text: "commandline" is rebuilt
  // from it by the Windows quoting rules, so a package sees the same text.
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0),
                                           argv + argc);
  return vcboot::run_installation(vcboot::native_platform(), g_run_state,
                                  vcboot::join_arguments(arguments));
}
