// Entry point of the POSIX bootstrap.
#include <string>
#include <vector>

#include "bootstrap/run_sequence.h"
#include "bootstrap/stub_version.h"
#include "platform/command_line.h"
#include "platform/platform.h"
#include "vcboot_version.h"

namespace {
// The one run state of the process, alive from static initialisation on.
vcboot::RunState g_run_state;

// Read from the file by `vcpack stubs`; kept although nothing here uses it.
[[gnu::used]] const char kStubVersion[] =
    VCBOOT_STUB_VERSION_MARKER VCBOOT_VERSION_TEXT;
}  // namespace

int main(int argc, char** argv) {
  // POSIX hands over an argument vector, not a text: "commandline" is rebuilt
  // from it by the Windows quoting rules, so a package sees the same text.
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0),
                                           argv + argc);
  return vcboot::run_installation(vcboot::native_platform(), g_run_state,
                                  vcboot::join_arguments(arguments));
}
