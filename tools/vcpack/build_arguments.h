// The record options of `vcpack build` (--file, --as, --value), put back into
// the order in which they were given on the command line.
#pragma once

#include <string>
#include <vector>

#include "tools/vcpack/commands.h"

namespace CLI {
class App;
}

namespace vcpack {

// What the parser collected, one list per option.
struct BuildArguments {
  BuildOptions options;                   // everything but the records
  std::vector<std::string> files;         // "[KEY=]PATH"
  std::vector<std::string> stored_names;  // --as NAME, for the --file before it
  std::vector<std::string> values;        // "NAME=TEXT"
};

// The build options of `arguments`, with the records made in the order of
// `sequence`, the option names ("--file", "--as", "--value", others ignored)
// in command-line order. Throws
// a usage error for a --as without a --file before it, a second --as for one
// file, or a --value without "=".
BuildOptions build_options_in_order(const BuildArguments& arguments,
                                    const std::vector<std::string>& sequence);

// The same, with the sequence taken from the parsed `build` command.
BuildOptions build_options_in_order(const BuildArguments& arguments,
                                    const CLI::App& build);

}  // namespace vcpack
