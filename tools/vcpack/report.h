// What list and verify print about a package: the listing, what the
// bootstrap starts, and the same as JSON. Names and values come from the
// package and are shown escaped (display_text.h), so that none of its bytes
// reaches a terminal as it is.
#pragma once

#include <cstddef>
#include <ostream>
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
std::string listing_text(const PackageWalk& walk,
                         const CheckedPackage& checked);

// "the walk ends at the stub record at offset 0", or why it ended elsewhere.
std::string walk_end_text(const PackageWalk& walk);

// Whether the bootstrap starts the installer, and if not, what it shows;
// then the exit code the package returns. Whole lines.
std::string launch_text(const CheckedPackage& checked);
std::string exit_code_text(const CheckedPackage& checked);

// The machine-readable forms of `vcpack list --json` and `vcpack verify
// --json`; tools/vcpack/README.md documents them. Each writes one JSON
// document to `out`, escaped to ASCII: names and values are the package's
// bytes, and bytes that are not UTF-8 appear as U+FFFD.
void write_package_json(std::ostream& out, const PackageWalk& walk,
                        const CheckedPackage& checked);
void write_verify_json(std::ostream& out, const PackageWalk& walk,
                       const CheckedPackage& checked);

}  // namespace vcpack
