// Makes a package from a PackageSpec: the stub record, the records in the
// order given, and the tail chunk, with nothing that depends on the time or
// on the file system's order, so the same inputs give the same bytes.
//
// Everything the bootstrap could not use is refused before a byte is
// written: a payload of 2^29 bytes or more, a package of 4 GiB or more, a
// stored name the bootstrap refuses, an input that cannot be read, and a stub
// that is no bootstrap (it lacks the tail marker text, which every bootstrap
// holds as a constant) or is a package already.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/vcpack/manifest.h"

namespace vcpack {

struct BuildSummary {
  std::uint64_t size = 0;
  std::size_t file_records = 0;
  std::size_t value_records = 0;
  // Legal but probably unintended: a file name stored twice, a binding of a
  // name that the bootstrap sets itself.
  std::vector<std::string> warnings;
};

// Writes the package to `output` through a temporary file beside it. Throws
// a refusal (exit 1) for the inputs above, a usage or I/O error (exit 2) for
// a missing stub or an output that cannot be written.
BuildSummary build_package(const PackageSpec& spec, const std::string& output);

}  // namespace vcpack
