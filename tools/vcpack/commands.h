// The five commands of vcpack and their options, as main.cpp parses them.
// Each command returns the process exit code, prints its report on standard
// output and its warnings on standard error, and throws a ToolError for a
// failure that ends it (see tool_error.h for the codes).
#pragma once

#include <iterator>
#include <string>
#include <vector>

#include "tools/vcpack/manifest.h"

namespace vcpack {

struct BuildOptions {
  std::string manifest;             // empty: none
  std::string stub;                 // empty: the manifest's
  std::vector<RecordSpec> records;  // from the command line, in order
  std::string output;
  // Identifiers of errors accepted on purpose (--allow); see checks.h.
  std::vector<std::string> allowed;
  // The code page that stored names and values are converted to from
  // UTF-8 (--encoding); empty: stored as given.
  std::string encoding;
  // "installer" or "post": a last value record "exitcode" (--exit-code).
  std::string exit_code;
  // --icon, --version-info, --version, --execution-level, --text and the
  // plain settings; they replace what the manifest sets.
  StubIdentity identity;
};

// What the parser collected for `vcpack build`, one list per record option
// (--file, --as, --value).
struct BuildArguments {
  BuildOptions options;                   // everything but the records
  std::vector<std::string> files;         // "[KEY=]PATH"
  std::vector<std::string> stored_names;  // --as NAME, for the --file before it
  std::vector<std::string> values;        // "NAME=TEXT"
  std::vector<std::string> version_info;  // --version-info KEY=TEXT
  std::vector<std::string> texts;         // --text NAME=TEXT
  // One per row of kPlainSettings; empty: not given.
  std::vector<std::string> plain_settings =
      std::vector<std::string>(std::size(kPlainSettings));
};

// The build options of `arguments`, with the records made in the order of
// `sequence`: the option names ("--file", "--as", "--value", others ignored)
// in command-line order, and the identity's options checked. Throws a usage
// error for a --as without a --file before it, a second --as for one file, a
// --value, --text or --version-info without "=", and an identity option that
// names no text, key or level of its kind.
BuildOptions build_options_in_order(const BuildArguments& arguments,
                                    const std::vector<std::string>& sequence);

struct ListOptions {
  std::string package;
  bool json = false;
  std::vector<std::string> allowed;  // as build's --allow
};

struct VerifyOptions {
  std::string package;
  bool strict = false;  // warnings make the exit code 1, as errors do
  bool json = false;
  std::vector<std::string> allowed;  // as build's --allow
};

struct ExtractOptions {
  std::string package;
  std::string directory;  // must exist
};

int run_build(const BuildOptions& options);
int run_list(const ListOptions& options);
int run_verify(const VerifyOptions& options);
int run_extract(const ExtractOptions& options);
// vcpack stubs: the stubs that --stub finds by target name.
int run_stubs();

}  // namespace vcpack
