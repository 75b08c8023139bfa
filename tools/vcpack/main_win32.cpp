// vcpack.exe's entry point: the arguments come in UTF-16 and are converted
// to UTF-8 here, once; every file is then opened by its UTF-8 path through
// the wide-character calls (host_win32.cpp, utf8_path.h).
#include <windows.h>

#include <string>
#include <vector>

#include "tools/vcpack/main.h"
#include "tools/vcpack/wide_text_win32.h"

namespace {

// vcpack writes UTF-8; a console shows it as such for the run's length.
// Without a console (output to a file or a pipe) nothing changes.
class Utf8Console {
 public:
  Utf8Console() : previous_(::GetConsoleOutputCP()) {
    if (previous_ != 0) ::SetConsoleOutputCP(CP_UTF8);
  }
  ~Utf8Console() {
    if (previous_ != 0) ::SetConsoleOutputCP(previous_);
  }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  UINT previous_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    arguments.push_back(vcpack::utf8_from_wide(argv[i]));
  }
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(&argument[0]);
  pointers.push_back(nullptr);
  const Utf8Console console;
  return vcpack::main_utf8(argc, pointers.data());
}
