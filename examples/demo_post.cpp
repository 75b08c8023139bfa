// The demo package's post program: tells which exit code the bootstrap
// handed it (the installer's, as its whole parameter text).
#include <string>

#include "examples/demo_report.h"

int main(int argc, char** argv) {
  std::string text = "[post] the installer's exit code, as handed over: ";
  text += argc > 1 ? argv[1] : "(nothing)";
  text += "\n[post] working folder: " + demo::working_folder() + "\n";
  demo::report(text);
  return 0;
}
