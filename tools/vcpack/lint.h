// The checks of a package, one function for build, list and verify: what the
// bootstrap makes of it, what it would start, and every finding (finding.h).
//
// Damage is told first. A package that is not damaged is then checked for
// what the bootstrap would do at run time: names it refuses or cannot write,
// names that reach one file on the package's system, and the launch,
// simulated on the bindings the package means to make (as if every name
// were written, so that one bad name does not hide the other findings).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/vcpack/finding.h"
#include "tools/vcpack/launch_simulation.h"
#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/package_walk.h"

namespace vcpack {

// What the package returns to its caller: the value of "exitcode" selects
// it; anything else than these two keeps the default (0, or 1 when another
// installation runs or the work folder cannot be entered).
enum class ExitCodePolicy { kDefault, kInstaller, kPost };

struct LaunchPreview {
  std::string exit_code;  // the expanded "exitcode"
  ExitCodePolicy exit_code_policy = ExitCodePolicy::kDefault;
  // The work folder, a separator, the expanded "executable".
  std::string installer;
  std::string parameters;  // the expanded "parameters"
  std::string post;        // the expanded "post"; empty: no post program
  // An expansion given up (it grows without bound): the texts above say so.
  bool unbounded = false;
};

struct PackageReview {
  PackageOutcome outcome;
  // The launch as the bootstrap would make it; none for a damaged package.
  std::optional<LaunchPreview> preview;
  std::vector<Finding> findings;  // errors and warnings, in the order found

  std::size_t count(Severity severity) const;
};

// Names record `index` in the findings' texts. The default is "record #4
// (file setup)"; build names the option or manifest line that made it.
using RecordLabeler = std::function<std::string(std::size_t index)>;

PackageReview review_package(const PackageWalk& walk,
                             const RecordLabeler& labeler = nullptr);

// The damage findings alone: what makes the bootstrap show "Invalid
// Archive!" (no tail marker, a chunk that fails its digest check, ...).
std::vector<Finding> damage_findings(const PackageWalk& walk);

ExitCodePolicy exit_code_policy(const std::string& expanded);

}  // namespace vcpack
