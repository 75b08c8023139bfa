// The machine-readable form of `vcpack list --json`. Names and values are
// the package's bytes; bytes that are not UTF-8 appear as U+FFFD.
#pragma once

#include <nlohmann/json.hpp>

#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/package_walk.h"

namespace vcpack {

nlohmann::ordered_json package_json(const PackageWalk& walk,
                                    const PackageOutcome& outcome);

}  // namespace vcpack
