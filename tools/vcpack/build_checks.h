// What `vcpack build` does besides writing the records: it refuses an output
// that would replace one of its inputs, adds the exit-code record, converts
// texts to a code page, and reviews the finished package with the very
// checks of list and verify (lint.h) before it takes the output's name.
#pragma once

#include <string>
#include <vector>

#include "tools/vcpack/commands.h"
#include "tools/vcpack/manifest.h"

namespace vcpack {

// Throws a usage error for an empty output, a folder, or a file that is the
// manifest, the stub or an input file.
void check_output(const BuildOptions& options, const PackageSpec& spec);

// Throws a usage error unless every identifier names an error (finding.h).
void check_allowed(const std::vector<std::string>& allowed);

// Adds the value record "exitcode" = `policy` ("installer" or "post") last,
// so that it wins over any other; nothing for an empty policy.
void add_exit_code_record(const std::string& policy, PackageSpec& spec);

// Converts every stored name, key, variable name and value of `spec` from
// UTF-8 to `code_page`. Throws a usage error for a code page the system does
// not know, a refusal for a text it cannot hold.
void encode_texts(const std::string& code_page, PackageSpec& spec);

// Reviews the package at `path`, made from `spec`, and prints its findings
// under the names of the options or manifest lines that made the records.
// Throws a refusal when an error is left that `allowed` does not name.
void review_built_package(const std::string& path, const PackageSpec& spec,
                          const std::vector<std::string>& allowed);

}  // namespace vcpack
