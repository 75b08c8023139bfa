// The machine-readable forms of `vcpack list --json` and `vcpack verify
// --json`; tools/vcpack/README.md documents them. Names and values are the
// package's bytes; bytes that are not UTF-8 appear as U+FFFD.
#pragma once

#include <nlohmann/json.hpp>

#include "tools/vcpack/lint.h"
#include "tools/vcpack/package_walk.h"

namespace vcpack {

nlohmann::ordered_json package_json(const PackageWalk& walk,
                                    const PackageReview& review);
nlohmann::ordered_json verify_json(const PackageWalk& walk,
                                   const PackageReview& review);

// One JSON document on one stream: escaped to ASCII, so that no byte of the
// package reaches a terminal as it is.
std::string json_text(const nlohmann::ordered_json& document);

}  // namespace vcpack
