// The words vcpack uses about a walked package, shared by list, verify and
// extract: record labels, the listing, and the problems that make a package
// damaged or invalid.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/package_walk.h"

namespace vcpack {

// "tail", "value", "file", "stub", or the unknown type's text, quoted.
std::string type_name(const WalkedRecord& record);

// "#4 (file setup)": the record's number in read order and what it is.
std::string record_label(const PackageWalk& walk, std::size_t index);

// What the bootstrap does with record `index`: "binds executable", "writes
// setup", "shadowed by #2", "the walk ends here", "not reached", ...
std::string record_outcome(const PackageWalk& walk,
                           const PackageOutcome& outcome, std::size_t index);

// The whole human-readable listing of `vcpack list`.
std::string listing_text(const PackageWalk& walk,
                         const PackageOutcome& outcome);

// "the walk ends at the stub record at offset 0", or why it ended elsewhere.
std::string walk_end_text(const PackageWalk& walk);

// What makes the package damaged or invalid for the bootstrap: no tail
// marker, a chunk that fails its digest check (naming the record and the
// offset), a length field that reaches before the start of the file. Empty
// for a sound package.
std::vector<std::string> package_problems(const PackageWalk& walk);

}  // namespace vcpack
