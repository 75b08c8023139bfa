// What the bootstrap makes of a walked package: which records it acts on,
// which bindings win, which file contents remain, and where it stops.
//
// The bootstrap reads from the end, adds a binding only when the name is
// still free (so the record nearer the end wins, and "source" and
// "commandline", set before the walk, always win), and writes each file
// record's file in turn (so of two records with one file name, the one
// nearer the start, read later, leaves its content). The installer is
// started only when the walk reaches the stub record with nothing damaged
// and every file written.
//
// File names are judged as the system the package is made for sees them,
// not the one that made it. The stub tells the system: a PE image ("MZ") is
// a Windows program, anything else a POSIX one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/vcpack/package_walk.h"
#include "variables/variable_table.h"
#include "variables/well_known_names.h"

namespace vcpack {

// File names on the package's system.

enum class TargetSystem { kWindows, kPosix };

// The longest file name either system writes: 255 bytes (NTFS counts UTF-16
// units, and an ANSI byte never makes more than one).
inline constexpr std::size_t kMaxNameBytes = 255;

// On Windows a file's path is at most 259 bytes for the narrow file calls
// the bootstrap makes. A work folder in the standard temporary folder of a
// user name of up to 20 characters ("C:\Users\<name>\AppData\Local\Temp\"
// and "VC<n>\") takes up to 65 of them.
inline constexpr std::size_t kMaxWindowsPath = 259;
inline constexpr std::size_t kTypicalWorkFolderPath = 65;

// Names with the same key reach the same file on `target`: on Windows case
// and trailing dots and blanks do not count (see vcboot::windows_file_key);
// on POSIX only empty and "." components are no part of a name.
std::string file_key(const std::string& name, TargetSystem target);

// Whether `name` reaches into a folder on `target`: '/' everywhere, '\' on
// Windows only (on POSIX it is a byte of the name like any other). The
// bootstrap makes no folders, so such a name is never written.
bool has_folder_part(const std::string& name, TargetSystem target);

// 8.3 short names. Where a Windows volume makes them, a file whose name is no
// valid 8.3 name gets a second one, made from the first characters of its
// name and extension, a '~' and a number or a hash ("PROGRA~1",
// "SETU~A34.EXE"); opening that name opens the file. Which short name a file
// gets depends on the volume (short names may be off), on the other names
// in the folder and, past a few alike, on a hash that Windows does not
// document and Wine makes differently. What vcpack can tell is whether a
// stored name has the form of a short name, and which long names could own
// it: a short name always begins with the first two characters of its long
// name's base and ends with the first three of its extension (upper case,
// blanks and dots left out, characters 8.3 names cannot hold as '_').
//
// The part both share: "SE.EXE" for "SETU~A34.EXE" and for "Setup
// Program.exe". None when `name` has no short-name form, or when it is a
// valid 8.3 name itself and so gets no generated short name.
std::optional<std::string> short_name_family(const std::string& name);
std::optional<std::string> generated_short_name_family(const std::string& name);

// The package's outcome.

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

// "#4": a record's number in read order.
std::string record_number(std::size_t index);

// "tail", "value", "file", "stub", or the unknown type's text, quoted.
std::string type_name(const WalkedRecord& record);

// "#4 (file setup)": the record's number in read order and what it is.
std::string record_label(const PackageWalk& walk, std::size_t index);

// Why the bootstrap refuses or cannot write a stored file name on `target`.
// Its refusals (vcboot::is_safe_file_name) come first, as in the bootstrap.
enum class NameProblem { kNone, kRefused, kFolderPart, kTooLong };
NameProblem name_problem(const std::string& name, TargetSystem target);

}  // namespace vcpack
