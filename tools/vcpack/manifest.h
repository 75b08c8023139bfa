// The manifest: a TOML file naming a package's stub and records, in order.
//
//   stub = "vcboot"                 # optional when --stub is given
//
//   [[record]]                      # a file record
//   file = "dist/setup"             # read from here (relative to the manifest)
//   key = "installer"               # optional: bound to the stored name
//   as = "setup"                    # optional: stored name (default: base
//   name)
//
//   [[record]]                      # a value record
//   variable = "executable"
//   value = "%installer%"
//
// Records keep the manifest's order. Unknown keys are refused, so that a typo
// never silently drops a record's setting.
#pragma once

#include <string>

#include "tools/vcpack/package_spec.h"

namespace vcpack {

// Reads and checks the manifest at `path`. Relative paths inside it are taken
// from the manifest's folder. Throws a refusal naming the line and column of
// the first problem, or of a syntax error.
PackageSpec load_manifest(const std::string& path);

// The same, from text already read; `folder` anchors relative paths and
// `source_name` names the manifest in messages.
PackageSpec parse_manifest(const std::string& text, const std::string& folder,
                           const std::string& source_name);

}  // namespace vcpack
