// The checks of a package, one function for build, list and verify, so they
// never disagree: what the bootstrap makes of it, what it would start, and
// every finding. `build` refuses errors (unless the packager allows one by
// name), `list` and `verify` report both kinds.
//
// Damage is told first. A package that is not damaged is then checked for
// what the bootstrap would do at run time: names it refuses or cannot write,
// names that reach one file on the package's system, and the launch,
// simulated on the bindings the package means to make (as if every name
// were written, so that one bad name does not hide the other findings).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bootstrap/exit_code.h"
#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/package_walk.h"

namespace vcpack {

enum class Severity {
  // The package cannot do at run time what it says: it is damaged, or the
  // bootstrap refuses or cannot write a name, or it has no installer to
  // start, or an expansion grows without bound.
  kError,
  // Likely trouble: the package runs, but probably not as meant.
  kWarning,
};

struct Finding {
  // A stable identifier, such as "folder-in-name"; see kFindingKinds.
  std::string id;
  Severity severity = Severity::kWarning;
  // The record it is about, in the walk's order, and the offset of that
  // record or of the chunk concerned; none for the package as a whole.
  std::optional<std::size_t> record;
  std::optional<std::uint64_t> offset;
  std::string text;  // one line, with the record's label in front
};

struct FindingKind {
  const char* id;
  Severity severity;
  const char* summary;  // for the manual
  // Damage: the package as written is not what the bootstrap can read. A
  // package that build has just written holds none, so --allow takes none.
  bool damage = false;
};

// Every identifier a finding may carry, errors first.
inline constexpr FindingKind kFindingKinds[] = {
    {"no-tail-marker", Severity::kError, "no tail marker: no package", true},
    {"ends-inside-stub", Severity::kError,
     "the package ends inside the stub: cut short, or no archive at all", true},
    {"digest-mismatch", Severity::kError, "a chunk fails its digest check",
     true},
    {"bad-length", Severity::kError,
     "a length field reaches before the start of the file", true},
    {"no-stub-record", Severity::kError,
     "the walk runs to the start of the file without a stub record", true},
    {"refused-name", Severity::kError, "a file name the bootstrap refuses"},
    {"folder-in-name", Severity::kError,
     "a file name with a folder part, which the bootstrap cannot write"},
    {"name-too-long", Severity::kError,
     "a file name longer than the system takes"},
    {"no-executable", Severity::kError, "\"executable\" is missing or empty"},
    {"installer-not-packaged", Severity::kError,
     "\"executable\" names no file of the package"},
    {"unbounded-expansion", Severity::kError,
     "an expansion grows without bound, or does not end"},
    {"long-path", Severity::kWarning,
     "Windows: a file name that fits only in a short work folder path"},
    {"same-file", Severity::kWarning,
     "two stored names reach one file on the package's system"},
    {"short-name-alias", Severity::kWarning,
     "Windows: a name in the form of an 8.3 short name of another file"},
    {"utf8-text", Severity::kWarning,
     "Windows: names or values in UTF-8, read in the ANSI code page"},
    {"unknown-record-type", Severity::kWarning,
     "a record type the bootstrap skips"},
    {"binds-bootstrap-variable", Severity::kWarning,
     "a binding of \"source\" or \"commandline\", which is ignored"},
    {"unresolved-reference", Severity::kWarning,
     "a %name% reference that nothing binds"},
    {"reference-cycle", Severity::kWarning,
     "a %name% reference that leads back to itself"},
    {"installer-format", Severity::kWarning,
     "an installer in another format than the stub's system runs"},
    {"post-not-packaged", Severity::kWarning,
     "\"post\" names no file of the package and no absolute path"},
    {"unquoted-source", Severity::kWarning,
     "%source% outside double quotes in \"parameters\""},
    {"unknown-exit-code", Severity::kWarning,
     "an \"exitcode\" value the bootstrap does not know"},
};

// The kind of `id`, or null.
const FindingKind* find_kind(const std::string& id);

const char* severity_name(Severity severity);  // "error", "warning"

// The line vcpack prints for a finding on standard error:
// "vcpack: error: <text> [id]"; an error accepted with --allow is printed as
// "vcpack: warning: <text> [id, allowed]".
std::string finding_line(const Finding& finding, bool allowed = false);

struct LaunchPreview {
  std::string exit_code;  // the expanded "exitcode"
  vcboot::ExitCodePolicy exit_code_policy = vcboot::ExitCodePolicy::kDefault;
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

}  // namespace vcpack
