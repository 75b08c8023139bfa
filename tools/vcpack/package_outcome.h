// What the bootstrap makes of a walked package: which records it acts on,
// which bindings win, which file contents remain, and where it stops.
//
// The bootstrap reads from the end, adds a binding only when the name is
// still free (so the record nearer the end wins, and "source" and
// "commandline", set before the walk, always win), and writes each file
// record's file in turn (so of two records with one file name, the one
// nearer the start, read later, leaves its content). File names are compared
// as the package's system compares them (target_names.h). The installer is
// started only when the walk reaches the stub record with nothing damaged
// and every file written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/vcpack/package_walk.h"
#include "tools/vcpack/target_names.h"
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
  // The name it is written under: the first spelling written, which a later
  // one that reaches the same file (on Windows, "app.txt" after "App.TXT")
  // keeps.
  std::string name;
  std::size_t record = 0;             // whose content remains
  std::vector<std::size_t> replaced;  // records written earlier and replaced
};

// Where the bootstrap's walk ends.
enum class WalkStop {
  kStubRecord,  // every record read to the stub record: the installer starts
  // A chunk that fails its digest check, a record cut short, a length field
  // that cannot be right, the start of the file without a stub record, or no
  // tail chunk at all: "Invalid Archive!".
  kDamage,
  // A file name the bootstrap refuses: "Failed to extract file!".
  kRefusedName,
  // A name it tries and cannot write: one with a folder part (it makes no
  // folders) or one too long for the system. "Failed to extract file!".
  kUnwritableName,
};

struct PackageOutcome {
  TargetSystem target = TargetSystem::kPosix;
  std::vector<Binding> bindings;  // in the order first bound
  std::vector<WrittenFile> files;
  // Records the bootstrap acts on: the first `acted_on` in the walk's order.
  // When the walk stops at a record, it is the one at `acted_on`.
  std::size_t acted_on = 0;
  WalkStop stop = WalkStop::kDamage;
  // The walk read every record from the tail chunk to the stub record, every
  // chunk verified and every file written: the installer is started.
  bool launches = false;

  // Indexes into `bindings` and `files` by name and by file key, and the file
  // each record acted on writes; they keep every lookup constant-time, so
  // that packages of many records take time in proportion to their size.
  std::unordered_map<std::string, std::size_t> binding_index;
  std::unordered_map<std::string, std::size_t> file_index;
  std::unordered_map<std::size_t, std::size_t> file_of_record;
};

// What the bootstrap makes of `walk`. `as_if_written`: names the bootstrap
// refuses or cannot write count as written and the walk goes on, which shows
// what the package means to do once its names are fixed.
PackageOutcome resolve_outcome(const PackageWalk& walk,
                               bool as_if_written = false);

// The binding of `name`, or null.
const Binding* find_binding(const PackageOutcome& outcome,
                            const std::string& name);
// The file that `name` reaches on the package's system, or null.
const WrittenFile* find_file(const PackageOutcome& outcome,
                             const std::string& name);
// The file that record `index` writes, or null.
const WrittenFile* file_written_by(const PackageOutcome& outcome,
                                   std::size_t index);

// Why the bootstrap refuses or cannot write a stored file name on `target`.
// Its refusals (vcboot::is_safe_file_name) come first, as in the bootstrap.
enum class NameProblem { kNone, kRefused, kFolderPart, kTooLong };
NameProblem name_problem(const std::string& name, TargetSystem target);

}  // namespace vcpack
