// What the bootstrap would start for a package, found by running its own
// expansion on the package's bindings, with the run's own facts shown as
// placeholders: "source" as <work folder>, "commandline" as <command line>.
// The variables are fetched in the bootstrap's order ("executable",
// "parameters", then "post"), each created empty when missing, so a
// reference to a missing one expands as it would in a real run.
#pragma once

#include <string>
#include <vector>

#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/package_walk.h"

namespace vcpack {

inline constexpr char kWorkFolderPlaceholder[] = "<work folder>";
inline constexpr char kCommandLinePlaceholder[] = "<command line>";

struct LaunchPreview {
  std::string
      installer;  // the work folder, a separator, the expanded "executable"
  std::string parameters;  // the expanded "parameters"
  std::string post;        // the expanded "post"; empty: no post program
  // Lint findings: "executable" missing, references left unresolved or
  // cyclic, names the bootstrap refuses, an installer that is no file of the
  // package, a walk that ends without a stub record, unknown record types.
  std::vector<std::string> findings;
};

// `separator` ends the work folder's path: '\\' for a Windows stub, '/' else.
LaunchPreview preview_launch(const PackageWalk& walk,
                             const PackageOutcome& outcome, char separator);

}  // namespace vcpack
