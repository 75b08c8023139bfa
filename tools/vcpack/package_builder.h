// Makes a package from a PackageSpec: the stub record, the records in the
// order given, and the tail chunk, with nothing that depends on the time or
// on the file system's order, so the same inputs give the same bytes.
//
// What the bootstrap could not read is refused before a byte is written: a
// payload of 2^29 bytes or more, a package of 4 GiB or more, an input that
// cannot be read, and a stub that is no bootstrap (it lacks the tail marker
// text, which every bootstrap holds as a constant) or is a package already.
// What the bootstrap would do with the package is checked on the finished
// package itself, by the caller's check, before it takes the output's name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/vcpack/manifest.h"

namespace vcpack {

struct BuildSummary {
  std::uint64_t size = 0;
  std::size_t file_records = 0;
  std::size_t value_records = 0;
  // For the packager, one line each: what a download cut short could meet.
  std::vector<std::string> warnings;
};

// Called with the path of the finished package, still under its temporary
// name; throws to leave nothing written.
using PackageCheck = std::function<void(const std::string& path)>;

// Writes the package to `output` through a temporary file beside it. Throws
// a refusal (exit 1) for the inputs above, a usage or I/O error (exit 2) for
// a missing stub or an output that cannot be written, and whatever `check`
// throws.
BuildSummary build_package(const PackageSpec& spec, const std::string& output,
                           const PackageCheck& check = nullptr);

}  // namespace vcpack
