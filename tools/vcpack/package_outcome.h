// What the bootstrap makes of a walked package: which records it acts on,
// which bindings win, which file contents remain, and where it stops.
//
// The bootstrap reads from the end, adds a binding only when the name is
// still free (so the record nearer the end wins, and "source" and
// "commandline", set before the walk, always win), and writes each file
// record's file in turn (so of two records with one file name, the one
// nearer the start, read later, leaves its content).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tools/vcpack/package_walk.h"
#include "variables/variable_table.h"
#include "variables/well_known_names.h"

namespace vcpack {

// What vcpack shows for the values that only a run of the bootstrap knows.
inline constexpr char kWorkFolderPlaceholder[] = "<work folder>";
inline constexpr char kCommandLinePlaceholder[] = "<command line>";

// The names the bootstrap binds before it reads the archive, with the
// placeholders of their values.
struct BootstrapVariable {
  const char* name;
  const char* placeholder;
};
inline constexpr BootstrapVariable kBootstrapVariables[] = {
    {vcboot::variable_names::kSource, kWorkFolderPlaceholder},
    {vcboot::variable_names::kCommandLine, kCommandLinePlaceholder}};

// Binds the names above to their placeholders, as the bootstrap binds them
// before its walk.
void bind_bootstrap_variables(vcboot::VariableTable& table);
bool is_bootstrap_variable(const std::string& name);

struct Binding {
  std::string name;
  std::string value;  // for a name the bootstrap binds: its placeholder
  std::optional<std::size_t> record;  // the winner; none: set by the bootstrap
  std::vector<std::size_t> shadowed;  // records whose binding is ignored
};

struct WrittenFile {
  std::string name;
  std::size_t record = 0;             // whose content remains
  std::vector<std::size_t> replaced;  // records written earlier and replaced
};

struct PackageOutcome {
  std::vector<Binding> bindings;  // in the order first bound
  std::vector<WrittenFile> files;
  // Records the bootstrap acts on: the first `acted_on` in the walk's order.
  std::size_t acted_on = 0;
  // A file record whose name the bootstrap refuses: it reports "Failed to
  // extract file!" and stops there.
  std::optional<std::size_t> refused_name_record;
  // The walk reached the stub record after a tail chunk with every chunk
  // verified and every file written: the installer is started.
  bool launches = false;
};

PackageOutcome resolve_outcome(const PackageWalk& walk);

// The binding of `name`, or null.
const Binding* find_binding(const PackageOutcome& outcome,
                            const std::string& name);

}  // namespace vcpack
