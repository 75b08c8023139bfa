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

// Every kind of finding, errors first: the code names a kind by its
// FindingId, so that a kind without an entry below cannot be named at all.
enum class FindingId {
  kNoTailMarker,
  kEndsInsideStub,
  kDigestMismatch,
  kBadLength,
  kNoStubRecord,
  kStubNotAtStart,
  kRefusedName,
  kFolderInName,
  kNameTooLong,
  kNoExecutable,
  kInstallerNotPackaged,
  kUnboundedExpansion,
  kUnknownExitCode,
  kLongPath,
  kSameFile,
  kShortNameAlias,
  kUtf8Text,
  kUnknownRecordType,
  kBindsBootstrapVariable,
  kUnresolvedReference,
  kReferenceCycle,
  kInstallerFormat,
  kPostNotPackaged,
  kUnquotedSource,
  kDamagedSettings,
  kLongText,
  kTextReference,
  kCount  // not a kind but their number: a new kind goes before it
};

struct FindingKind {
  FindingId id;
  // The stable identifier that vcpack prints and --allow takes, such as
  // "folder-in-name". The manual's table of findings lists the same, in
  // this order (checks_test.cpp holds them to it).
  const char* name;
  Severity severity;
  // Damage: the package as written is not what the bootstrap can read. A
  // package that build has just written holds none, so --allow takes none.
  bool damage = false;
};

inline constexpr FindingKind kFindingKinds[] = {
    {FindingId::kNoTailMarker, "no-tail-marker", Severity::kError, true},
    {FindingId::kEndsInsideStub, "ends-inside-stub", Severity::kError, true},
    {FindingId::kDigestMismatch, "digest-mismatch", Severity::kError, true},
    {FindingId::kBadLength, "bad-length", Severity::kError, true},
    {FindingId::kNoStubRecord, "no-stub-record", Severity::kError, true},
    {FindingId::kStubNotAtStart, "stub-not-at-start", Severity::kError, true},
    {FindingId::kRefusedName, "refused-name", Severity::kError},
    {FindingId::kFolderInName, "folder-in-name", Severity::kError},
    {FindingId::kNameTooLong, "name-too-long", Severity::kError},
    {FindingId::kNoExecutable, "no-executable", Severity::kError},
    {FindingId::kInstallerNotPackaged, "installer-not-packaged",
     Severity::kError},
    {FindingId::kUnboundedExpansion, "unbounded-expansion", Severity::kError},
    {FindingId::kUnknownExitCode, "unknown-exit-code", Severity::kError},
    {FindingId::kLongPath, "long-path", Severity::kWarning},
    {FindingId::kSameFile, "same-file", Severity::kWarning},
    {FindingId::kShortNameAlias, "short-name-alias", Severity::kWarning},
    {FindingId::kUtf8Text, "utf8-text", Severity::kWarning},
    {FindingId::kUnknownRecordType, "unknown-record-type", Severity::kWarning},
    {FindingId::kBindsBootstrapVariable, "binds-bootstrap-variable",
     Severity::kWarning},
    {FindingId::kUnresolvedReference, "unresolved-reference",
     Severity::kWarning},
    {FindingId::kReferenceCycle, "reference-cycle", Severity::kWarning},
    {FindingId::kInstallerFormat, "installer-format", Severity::kWarning},
    {FindingId::kPostNotPackaged, "post-not-packaged", Severity::kWarning},
    {FindingId::kUnquotedSource, "unquoted-source", Severity::kWarning},
    {FindingId::kDamagedSettings, "damaged-settings", Severity::kWarning},
    {FindingId::kLongText, "long-text", Severity::kWarning},
    {FindingId::kTextReference, "text-reference", Severity::kWarning},
};

// What a message box shows well: a caption fits its title bar, a text its
// box on a small screen (about 15 lines of 70 characters).
inline constexpr std::size_t kMaxCaptionBytes = 80;
inline constexpr std::size_t kMaxTextBytes = 1024;

// Each FindingId has its entry, at the place of its value.
constexpr bool every_kind_in_place() {
  std::size_t place = 0;
  for (const FindingKind& kind : kFindingKinds) {
    if (static_cast<std::size_t>(kind.id) != place++) return false;
  }
  return place == static_cast<std::size_t>(FindingId::kCount);
}
static_assert(every_kind_in_place(),
              "kFindingKinds must hold every FindingId, in its order");

inline const FindingKind& kind_of(FindingId id) {
  return kFindingKinds[static_cast<std::size_t>(id)];
}

// The kind whose identifier is `name` (as --allow gives it), or null.
const FindingKind* find_kind(const std::string& name);

// Identifiers of errors accepted on purpose (--allow of build, list and
// verify), for a package that is meant to be so. Throws a usage error unless
// each names an error that is no damage.
using AllowedIds = std::vector<std::string>;
void check_allowed(const AllowedIds& allowed);

struct Finding {
  FindingId id = FindingId::kNoTailMarker;
  // The record it is about, in the walk's order, and the offset of that
  // record or of the chunk concerned; none for the package as a whole.
  std::optional<std::size_t> record;
  std::optional<std::uint64_t> offset;
  std::string text;  // one line, with the record's label in front
  // An error accepted with --allow: shown as a warning, and failing nothing.
  bool allowed = false;

  const char* name() const { return kind_of(id).name; }
  Severity severity() const { return kind_of(id).severity; }
};

const char* severity_name(Severity severity);  // "error", "warning"

// The line vcpack prints for a finding on standard error:
// "vcpack: error: <text> [name]"; an error accepted with --allow is printed
// as "vcpack: warning: <text> [name, allowed]".
std::string finding_line(const Finding& finding);

struct LaunchPreview {
  std::string exit_code;  // the expanded "exitcode"
  vcboot::ExitCodePolicy exit_code_policy = vcboot::ExitCodePolicy::kDefault;
  // The work folder, a separator, the expanded "executable".
  std::string installer;
  std::string parameters;  // the expanded "parameters"
  // The record whose file the installer is; none when it is no file of the
  // package.
  std::optional<std::size_t> installer_record;
  std::string post;  // the expanded "post"; empty: no post program
  // An expansion given up (it grows without bound): the texts above say so.
  bool unbounded = false;
};

struct CheckedPackage {
  PackageOutcome outcome;
  // The launch as the bootstrap would make it; none for a damaged package.
  std::optional<LaunchPreview> preview;
  std::vector<Finding> findings;  // errors and warnings, in the order found

  // Errors that are not allowed, or warnings; an allowed error is neither.
  std::size_t count(Severity severity) const;
  std::size_t allowed() const;
};

// Names record `index` in the findings' texts. The default is "record #4
// (file setup)"; build names the option or manifest line that made it.
using RecordLabeler = std::function<std::string(std::size_t index)>;

// `allowed`: the errors accepted on purpose, marked as such.
CheckedPackage check_package(const PackageWalk& walk,
                             const RecordLabeler& labeler = nullptr,
                             const AllowedIds& allowed = {});

// The damage findings alone: what makes the bootstrap show "Invalid
// Archive!" (no tail marker, a chunk that fails its digest check, ...).
std::vector<Finding> damage_findings(const PackageWalk& walk);

}  // namespace vcpack
