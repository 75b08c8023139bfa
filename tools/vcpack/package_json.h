// The machine-readable forms of `vcpack list --json` and `vcpack verify
// --json`; tools/vcpack/README.md documents them. Names and values are the
// package's bytes; bytes that are not UTF-8 appear as U+FFFD.
#pragma once

#include <ostream>

#include "tools/vcpack/checks.h"
#include "tools/vcpack/package_walk.h"

namespace vcpack {

// Each writes one JSON document to `out`, escaped to ASCII, so that no byte
// of the package reaches a terminal as it is.
void write_package_json(std::ostream& out, const PackageWalk& walk,
                        const PackageReview& review);
void write_verify_json(std::ostream& out, const PackageWalk& walk,
                       const PackageReview& review);

}  // namespace vcpack
