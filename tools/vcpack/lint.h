// The lint of `vcpack verify`: what the bootstrap would start for a package,
// and what in the package looks unintended.
//
// The launch is found by running the bootstrap's own expansion on the
// package's bindings, with the run's own facts shown as placeholders:
// "source" as <work folder>, "commandline" as <command line>. The variables
// are fetched in the bootstrap's order ("executable", "parameters", then
// "post"), each created empty when missing, so a reference to a missing one
// expands as it would in a real run.
#pragma once

#include <string>
#include <vector>

#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/package_walk.h"
#include "variables/variable_table.h"

namespace vcpack {

struct LaunchPreview {
  // The work folder, a separator, the expanded "executable".
  std::string installer;
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

// The references that the bootstrap's expansion of `text` leaves in place.
struct ReferenceFindings {
  // Names looked up and not found, in the order met; each listed once.
  std::vector<std::string> unresolved;
  // Names whose value refers back to itself, directly or through others.
  std::vector<std::string> cyclic;
};

ReferenceFindings scan_references(const std::string& text,
                                  const vcboot::VariableTable& table);

}  // namespace vcpack
