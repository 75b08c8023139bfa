// The words vcpack uses about a walked package, shared by list, verify and
// extract: record labels, the listing, and what the bootstrap starts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/vcpack/checks.h"
#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/package_walk.h"

namespace vcpack {

// What the bootstrap does with record `index`: "binds executable", "writes
// setup", "shadowed by #2", "the walk ends here", "not reached", ...
std::string record_outcome(const PackageWalk& walk,
                           const PackageOutcome& outcome, std::size_t index);

// The whole human-readable listing of `vcpack list`.
std::string listing_text(const PackageWalk& walk, const PackageReview& review);

// "the walk ends at the stub record at offset 0", or why it ended elsewhere.
std::string walk_end_text(const PackageWalk& walk);

// Whether the bootstrap starts the installer, and if not, what it shows;
// then the exit code the package returns. Whole lines.
std::string launch_text(const PackageReview& review);
std::string exit_code_text(const PackageReview& review);

}  // namespace vcpack
