#include "tools/vcpack/checks.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <unordered_map>

#include "bootstrap/package_settings.h"
#include "tools/vcpack/display_text.h"
#include "tools/vcpack/launch_simulation.h"
#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/tool_error.h"
#include "util/messages.h"
#include "util/text.h"
#include "variables/expand_variables.h"
#include "variables/well_known_names.h"

namespace vcpack {
namespace {

namespace messages = vcboot::messages;
namespace names = vcboot::variable_names;
using vcboot::starts_with;

// What the checks share while they look at one package: the walk, both
// outcomes, the labels, and the findings made.
class Checker {
 public:
  Checker(const PackageWalk& walk, CheckedPackage& checked,
          const RecordLabeler& labeler);

  const PackageWalk& walk;
  CheckedPackage& checked;
  const PackageOutcome& outcome;  // what the bootstrap does
  // What the package means to do: every name written, as if it could be.
  // The outcome itself unless the walk stops at a name, so that a large
  // package is resolved once.
  const PackageOutcome& intended() const {
    return intended_ ? *intended_ : outcome;
  }

  bool windows() const { return outcome.target == TargetSystem::kWindows; }
  std::string label(std::size_t index) const;

  // Adds a finding of kind `id`, about the package as a whole
  // or about one record (with the record's offset).
  void add(FindingId id, const std::string& text,
           std::optional<std::size_t> record = std::nullopt,
           std::optional<std::uint64_t> offset = std::nullopt);
  void add_for_record(FindingId id, std::size_t index, const std::string& text);

  // Damage: what makes the bootstrap show "Invalid Archive!".
  void check_damage();
  // Notes the file that record `index` writes, after those before it in the
  // walk, and tells when it reaches a file one of them wrote.
  void track_file(std::size_t index);

 private:
  // Long names that get a generated 8.3 name, by the part it shares with
  // them: the first record that writes one, and how many do.
  struct LongNames {
    std::size_t first = 0;
    std::size_t count = 0;
  };

  void check_short_name(std::size_t index);

  std::optional<PackageOutcome> intended_;
  RecordLabeler labeler_;
  std::unordered_map<std::string, std::size_t> writers_;  // by file key
  std::unordered_map<std::string, LongNames> long_names_;
};

Checker::Checker(const PackageWalk& walk_, CheckedPackage& checked_,
                 const RecordLabeler& labeler)
    : walk(walk_),
      checked(checked_),
      outcome(checked_.outcome = resolve_outcome(walk_)),
      labeler_(labeler) {
  if (outcome.stop == WalkStop::kRefusedName ||
      outcome.stop == WalkStop::kUnwritableName) {
    intended_ = resolve_outcome(walk_, true);
  }
}

std::string Checker::label(std::size_t index) const {
  return labeler_ ? labeler_(index) : "record " + record_label(walk, index);
}

void Checker::add(FindingId id, const std::string& text,
                  std::optional<std::size_t> record,
                  std::optional<std::uint64_t> offset) {
  checked.findings.push_back({id, record, offset, text});
}

void Checker::add_for_record(FindingId id, std::size_t index,
                             const std::string& text) {
  add(id, text, index, walk.records[index].offset);
}

void Checker::check_damage() {
  if (walk.end == WalkEnd::kNoTail) {
    add(FindingId::kNoTailMarker,
        "no tail marker: " + walk.path + " holds no package");
    return;
  }
  if (walk.end == WalkEnd::kInsideStub) {
    add(FindingId::kEndsInsideStub,
        "no tail chunk: " + walk.path +
            " ends inside its stub (cut short, or with no archive at all), or "
            "its tail chunk is damaged");
    return;
  }
  for (std::size_t i = 0; i < walk.records.size(); ++i) {
    for (const WalkedChunk& chunk : walk.records[i].chunks) {
      if (chunk.verified) continue;
      add(FindingId::kDigestMismatch,
          label(i) + ": the chunk at offset " + std::to_string(chunk.offset) +
              " (" + std::to_string(chunk.payload_size) +
              "-byte payload) fails its digest check",
          i, chunk.offset);
    }
  }
  if (walk.end == WalkEnd::kStubNotAtStart) {
    add(FindingId::kStubNotAtStart,
        "the walk ends at a stub record at offset " +
            std::to_string(walk.end_offset) +
            " that does not begin the file: a download cut short behind a "
            "package carried as a file, whose installer the bootstrap does "
            "not start",
        std::nullopt, walk.end_offset);
    return;
  }
  if (walk.end != WalkEnd::kReadFailure) return;
  if (walk.end_offset == 0) {
    add(FindingId::kNoStubRecord,
        "no stub record: the walk runs to the start of the file", std::nullopt,
        0);
  } else {
    add(FindingId::kBadLength,
        "the chunk ending at offset " + std::to_string(walk.end_offset) +
            " cannot be read: its length field reaches before the start of "
            "the file",
        std::nullopt, walk.end_offset);
  }
}

void Checker::track_file(std::size_t index) {
  const std::string& name = walk.records[index].file_name;
  const auto [writer, added] =
      writers_.emplace(file_key(name, outcome.target), index);
  if (!added) {
    const std::size_t other = writer->second;
    const std::string& other_name = walk.records[other].file_name;
    if (other_name == name) {
      add_for_record(FindingId::kSameFile, index,
                     label(index) + " stores " + quoted(name) + ", as " +
                         label(other) +
                         " does; the bootstrap writes both, and this one's "
                         "content remains");
    } else {
      const WrittenFile* file = file_written_by(intended(), index);
      add_for_record(
          FindingId::kSameFile, index,
          label(index) + " stores " + quoted(name) + ", which on Windows is " +
              quoted(other_name) + " of " + label(other) +
              " (case and trailing dots and blanks do not count); the "
              "bootstrap writes both into " +
              quoted(file ? file->name : other_name) +
              ", and this one's content remains");
    }
    writer->second = index;
  }
  if (windows()) check_short_name(index);
}

void Checker::check_short_name(std::size_t index) {
  const std::string& name = walk.records[index].file_name;
  if (const auto family = short_name_family(name)) {
    const auto found = long_names_.find(*family);
    if (found != long_names_.end()) {
      const std::size_t first = found->second.first;
      const std::size_t others = found->second.count - 1;
      add_for_record(
          FindingId::kShortNameAlias, index,
          label(index) +
              ": on a Windows volume that makes 8.3 short names, this may "
              "be the short name of " +
              quoted(walk.records[first].file_name) + " of " + label(first) +
              (others == 0
                   ? ""
                   : " or of " + std::to_string(others) + " more long names") +
              ", written before it; it would then overwrite that file");
    }
  }
  if (const auto family = generated_short_name_family(name)) {
    LongNames& names = long_names_[*family];
    if (names.count++ == 0) names.first = index;
  }
}

// The checks of the records the bootstrap reads.

// Bytes from 0x80 up that form UTF-8 sequences: text written in UTF-8,
// which a Windows bootstrap reads as bytes of the ANSI code page.
bool holds_utf8_beyond_ascii(const std::string& text) {
  bool beyond = false;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = byte < 0x80           ? 1
                               : (byte >> 5) == 0x6  ? 2
                               : (byte >> 4) == 0xE  ? 3
                               : (byte >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
    }
    beyond = beyond || length > 1;
    i += length;
  }
  return beyond;
}

void check_text_encoding(Checker& checker, std::size_t index) {
  const WalkedRecord& record = checker.walk.records[index];
  std::vector<std::string> parts;
  const bool is_file = record.type == RecordType::kFile;
  if (is_file && holds_utf8_beyond_ascii(record.file_name))
    parts.push_back("file name");
  if (holds_utf8_beyond_ascii(record.name))
    parts.push_back(is_file ? "key" : "name");
  if (!is_file && holds_utf8_beyond_ascii(record.value))
    parts.push_back("value");
  if (parts.empty()) return;
  std::string list = parts[0];
  for (std::size_t i = 1; i < parts.size(); ++i)
    list += (i + 1 == parts.size() ? " and " : ", ") + parts[i];
  checker.add_for_record(
      FindingId::kUtf8Text, index,
      checker.label(index) + ": its " + list +
          " holds UTF-8 text beyond ASCII, which the Windows bootstrap reads "
          "as bytes of the user's ANSI code page; build with --encoding and "
          "the users' code page, such as CP1252");
}

// The settings the stub carries: a block the bootstrap takes for none, and
// texts it shows as they are.

// The first "%name%" in `text`, or an empty text.
std::string first_reference(const std::string& text) {
  for (std::size_t open = text.find('%'); open != std::string::npos;) {
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    const std::string name = text.substr(open + 1, close - open - 1);
    if (!name.empty() &&
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.-") ==
            std::string::npos) {
      return "%" + name + "%";
    }
    open = close;
  }
  return std::string();
}

void check_settings(Checker& checker) {
  if (!checker.walk.stub || checker.walk.end != WalkEnd::kStub) return;
  const StubSettings& settings = checker.walk.stub->settings;
  const std::size_t stub = checker.walk.records.size() - 1;
  const std::string label = checker.label(stub);
  if (settings.block == StubSettings::Block::kDamaged) {
    checker.add_for_record(
        FindingId::kDamagedSettings, stub,
        label +
            ": its settings block is damaged; the bootstrap runs on "
            "every default (texts, guard name, exit codes)");
    return;
  }
  for (const vcboot::SettingsEntry& entry : settings.entries) {
    const bool shown = vcboot::find_message_text(entry.name) ||
                       entry.name == vcboot::setting_names::kProductName ||
                       entry.name == vcboot::setting_names::kDownloadAddress;
    if (!shown) continue;
    const std::string what = label + ": the setting " + entry.name;
    if (checker.windows() && holds_utf8_beyond_ascii(entry.value)) {
      checker.add_for_record(
          FindingId::kUtf8Text, stub,
          what +
              " holds UTF-8 text beyond ASCII, which the Windows bootstrap "
              "shows as bytes of the user's ANSI code page; build with "
              "--encoding and the users' code page, such as CP1252");
    }
    const std::string reference = first_reference(entry.value);
    if (!reference.empty()) {
      checker.add_for_record(FindingId::kTextReference, stub,
                             what + " holds " + quoted(reference) +
                                 ", which is shown as it is: texts are not "
                                 "expanded");
    }
  }
  const auto effective = vcboot::parse_package_settings(settings.room);
  if (!effective) return;
  for (std::size_t i = 0; i < vcboot::kMessageTextCount; ++i) {
    const auto id = static_cast<vcboot::MessageText>(i);
    const std::string name = vcboot::message_text_name(id);
    const bool caption =
        name.size() > 8 && name.compare(name.size() - 8, 8, ".caption") == 0;
    const std::size_t bound = caption ? kMaxCaptionBytes : kMaxTextBytes;
    const std::size_t size = effective->texts[id].size();
    if (size <= bound) continue;
    checker.add_for_record(FindingId::kLongText, stub,
                           label + ": the " + (caption ? "caption " : "text ") +
                               name + " is " + std::to_string(size) +
                               " bytes; a message box shows " +
                               std::to_string(bound) + " well");
  }
}

// What a file record's name does on the package's system.
void check_file_name(Checker& checker, std::size_t index) {
  const WalkedRecord& record = checker.walk.records[index];
  const std::string& name = record.file_name;
  const bool stops_here = index == checker.outcome.acted_on;
  const std::string stop =
      stops_here ? std::string("; the bootstrap stops there with \"") +
                       messages::kFailedToExtractFile + "\""
                 : "";
  switch (name_problem(name, checker.outcome.target)) {
    case NameProblem::kRefused:
      checker.add_for_record(
          FindingId::kRefusedName, index,
          checker.label(index) + ": the bootstrap refuses the file name " +
              quoted(name) +
              " (empty, absolute, with a ':' or a zero byte, with an empty, "
              "\".\" or \"..\" part or one ending in a dot or a blank, or a "
              "device name such as NUL)" +
              stop);
      return;
    case NameProblem::kFolderPart:
      checker.add_for_record(
          FindingId::kFolderInName, index,
          checker.label(index) + ": the file name " + quoted(name) +
              " has a folder part, and the bootstrap makes no folders, so it "
              "cannot write the file" +
              stop);
      return;
    case NameProblem::kTooLong:
      checker.add_for_record(FindingId::kNameTooLong, index,
                             checker.label(index) + ": the file name is " +
                                 std::to_string(name.size()) +
                                 " bytes long, and no system takes more than " +
                                 std::to_string(kMaxNameBytes) + " bytes" +
                                 stop);
      return;
    case NameProblem::kNone:
      break;
  }
  if (checker.windows() &&
      name.size() + kTypicalWorkFolderPath > kMaxWindowsPath) {
    checker.add_for_record(
        FindingId::kLongPath, index,
        checker.label(index) + ": the name is " + std::to_string(name.size()) +
            " bytes; behind a work folder path of " +
            std::to_string(kTypicalWorkFolderPath) +
            " bytes (the standard one of a user name of 20 characters) it "
            "passes "
            "the " +
            std::to_string(kMaxWindowsPath) + " bytes of a Windows path");
  }
  checker.track_file(index);
}

// Records the bootstrap skips or whose binding it ignores.
void check_record(Checker& checker, std::size_t index) {
  const WalkedRecord& record = checker.walk.records[index];
  if (record.type == RecordType::kOther) {
    checker.add_for_record(FindingId::kUnknownRecordType, index,
                           checker.label(index) +
                               " has a type the bootstrap does not know; it is "
                               "skipped");
  }
  const bool binds = record.type == RecordType::kValue ||
                     (record.type == RecordType::kFile && !record.name.empty());
  if (binds && is_bootstrap_variable(record.name)) {
    checker.add_for_record(FindingId::kBindsBootstrapVariable, index,
                           checker.label(index) + " binds \"" + record.name +
                               "\", which the bootstrap sets itself: it is "
                               "ignored");
  }
}

void check_records(Checker& checker) {
  for (std::size_t i = 0; i < checker.intended().acted_on; ++i) {
    const WalkedRecord& record = checker.walk.records[i];
    if (checker.windows()) check_text_encoding(checker, i);
    check_record(checker, i);
    if (record.type == RecordType::kFile) check_file_name(checker, i);
  }
}

// The checks of what the bootstrap would start: the variables it reads, in
// its order ("exitcode", "executable", "parameters", "post"), expanded by its
// own expansion on the bindings the package means to make.

constexpr char kTooLong[] = "(expansion grows without bound)";
constexpr char kTooMuchWork[] = "(expansion does not end)";

// A name that holds a blank or a double quote is the text between two
// references (as in `%a% "%b%"`), tried as a name by the rules of the
// expansion, rather than a reference that someone wrote.
bool looks_like_a_name(const std::string& name) {
  return name.find_first_of(" \t\"") == std::string::npos;
}

// Whether `what` occurs in `text` outside double quotes.
bool occurs_unquoted(const std::string& text, const std::string& what) {
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && text.compare(i, what.size(), what) == 0) {
      return true;
    }
  }
  return false;
}

bool equals_ignoring_case(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool is_absolute(const std::string& path, TargetSystem target) {
  if (target == TargetSystem::kPosix) return starts_with(path, "/");
  return starts_with(path, "\\") || starts_with(path, "/") ||
         (path.size() >= 2 && path[1] == ':');
}

class LaunchChecker {
 public:
  LaunchChecker(Checker& checker)
      : checker_(checker),
        simulation_(checker.intended()),
        separator_(checker.windows() ? '\\' : '/') {}

  LaunchPreview run() {
    LaunchPreview preview;
    // Read without creating it, so that a "%exitcode%" in the other values
    // stays in the text when nothing binds it.
    preview.exit_code = fetch(names::kExitCode, false);
    preview.exit_code_policy = vcboot::exit_code_policy(preview.exit_code);
    if (!preview.exit_code.empty() &&
        preview.exit_code_policy == vcboot::ExitCodePolicy::kDefault &&
        !last_unbounded_) {
      check_exit_code(preview.exit_code);
    }
    const std::string executable = fetch(names::kExecutable);
    preview.installer_record = check_installer(executable);
    preview.installer =
        std::string(kWorkFolderPlaceholder) + separator_ + executable;
    preview.parameters = fetch(names::kParameters);
    if (occurs_unquoted(preview.parameters, kWorkFolderPlaceholder)) {
      add(FindingId::kUnquotedSource, names::kParameters,
          "\"parameters\" holds %source% outside double quotes: a work "
          "folder path with a blank in it (TEMP at C:\\Users Temp) reaches "
          "the installer as two or more arguments");
    }
    preview.post = fetch(names::kPost);
    check_post(preview.post);
    preview.unbounded = unbounded_;
    return preview;
  }

 private:
  // The finding is about the record that binds `variable`, if one does.
  void add(FindingId id, const std::string& variable, const std::string& text) {
    const Binding* binding = find_binding(checker_.intended(), variable);
    if (binding != nullptr && binding->record) {
      checker_.add_for_record(id, *binding->record, text);
    } else {
      checker_.add(id, text);
    }
  }

  std::string fetch(const std::string& name, bool create = true) {
    const FetchedValue value = simulation_.fetch(name, create);
    missing_ = value.missing;
    last_unresolved_.clear();
    for (const std::string& unresolved : value.unresolved.names) {
      if (!looks_like_a_name(unresolved)) continue;
      last_unresolved_.push_back(unresolved);
      add(FindingId::kUnresolvedReference, name,
          "\"" + name + "\" refers to " + abridged("%" + unresolved + "%") +
              ", which nothing binds; it stays in the text as it is");
    }
    if (value.unresolved.more > 0) {
      add(FindingId::kUnresolvedReference, name,
          "\"" + name + "\" holds " + std::to_string(value.unresolved.more) +
              " more references that nothing binds (only the first " +
              std::to_string(kMaxNamedReferences) + " names are told)");
    }
    for (const std::string& cyclic : value.cyclic.names) {
      add(FindingId::kReferenceCycle, name,
          "\"" + name + "\" leads to a reference cycle through " +
              abridged("%" + cyclic + "%") + ", which stays in the text");
    }
    if (value.cyclic.more > 0) {
      add(FindingId::kReferenceCycle, name,
          "\"" + name + "\" holds " + std::to_string(value.cyclic.more) +
              " more references that lead to a cycle (only the first " +
              std::to_string(kMaxNamedReferences) + " names are told)");
    }
    last_unbounded_ = value.end != ExpansionEnd::kDone;
    if (value.end == ExpansionEnd::kTooLong) {
      add(FindingId::kUnboundedExpansion, name,
          "\"" + name + "\": expansion grows without bound (past " +
              std::to_string(vcboot::kMaxExpandedSize) +
              " bytes): the bootstrap ends with \"" +
              vcboot::messages::kUnhandledExceptionText +
              "\" and starts nothing");
    } else if (value.end == ExpansionEnd::kTooMuchWork) {
      add(FindingId::kUnboundedExpansion, name,
          "\"" + name + "\": expansion does not end (past " +
              std::to_string(vcboot::kMaxExpansionWork) +
              " bytes of work): the bootstrap ends with \"" +
              vcboot::messages::kUnhandledExceptionText +
              "\" and starts nothing");
    }
    unbounded_ = unbounded_ || last_unbounded_;
    if (value.end == ExpansionEnd::kTooLong) return kTooLong;
    if (value.end == ExpansionEnd::kTooMuchWork) return kTooMuchWork;
    return value.text;
  }

  // An "exitcode" the bootstrap does not know makes the package return 0
  // whatever the installer returns: a deployment would take every failed
  // installation for a success.
  void check_exit_code(const std::string& value) {
    const bool case_only =
        equals_ignoring_case(value, vcboot::exit_code_values::kInstaller) ||
        equals_ignoring_case(value, vcboot::exit_code_values::kPost);
    add(FindingId::kUnknownExitCode, names::kExitCode,
        "\"exitcode\" is " + quoted(value) +
            ", which the bootstrap does not know: the package would return 0 "
            "whatever the installer returns; write \"" +
            vcboot::exit_code_values::kInstaller + "\" or \"" +
            vcboot::exit_code_values::kPost + "\"" +
            (case_only ? ", in lower case" : ""));
  }

  // The record the installer's file comes from, if any.
  std::optional<std::size_t> check_installer(const std::string& executable) {
    if (last_unbounded_) return std::nullopt;
    if (missing_ || executable.empty()) {
      add(FindingId::kNoExecutable, names::kExecutable,
          std::string(missing_ ? "no \"executable\""
                               : "\"executable\" is empty") +
              ": the bootstrap would ask the shell to open the work folder "
              "itself; bind it to the installer's stored name: --file "
              "installer=PATH --value executable=%installer%");
      return std::nullopt;
    }
    const WrittenFile* file = find_file(checker_.intended(), executable);
    if (file == nullptr) {
      add(FindingId::kInstallerNotPackaged, names::kExecutable,
          "the installer " + quoted(executable) +
              " is not among the files the package writes" +
              unbound_key_hint());
      return std::nullopt;
    }
    const std::string& head = checker_.walk.records[file->record].content_head;
    std::string format;
    if (checker_.windows() && starts_with(head,
                                          "\x7f"
                                          "ELF")) {
      format = "an ELF program, which Windows does not run";
    } else if (checker_.windows() && starts_with(head, "#!")) {
      format = "a script (#!), which Windows does not run";
    } else if (!checker_.windows() && starts_with(head, "MZ")) {
      format = "a Windows program, which a POSIX system does not run";
    }
    if (!format.empty()) {
      checker_.add_for_record(
          FindingId::kInstallerFormat, file->record,
          "the installer " + quoted(executable) + ", written by " +
              checker_.label(file->record) + ", is " + format);
    }
    return file->record;
  }

  // For an "executable" such as %installer% that nothing binds: the file
  // record that should bind it has no key.
  std::string unbound_key_hint() const {
    constexpr std::size_t kLongestKey = 64;
    if (last_unresolved_.empty() || last_unresolved_[0].size() > kLongestKey)
      return "";
    const std::string& key = last_unresolved_.front();
    return ": nothing binds " + quoted(key) +
           "; give the installer's file record that key (--file " +
           escaped(key) + "=PATH, or key = " + quoted(key) + " in a manifest)";
  }

  void check_post(const std::string& post) {
    if (post.empty() || last_unbounded_) return;
    const std::string in_work_folder =
        std::string(kWorkFolderPlaceholder) + separator_;
    const bool local = starts_with(post, in_work_folder);
    const std::string name = local ? post.substr(in_work_folder.size()) : post;
    if (!local && is_absolute(post, checker_.outcome.target)) return;
    if (find_file(checker_.intended(), name) != nullptr) return;
    add(FindingId::kPostNotPackaged, names::kPost,
        "\"post\" names " + quoted(post) +
            ", which is no file of the package and no absolute path: unless "
            "the system finds it on its search path, the bootstrap skips it "
            "without a word");
  }

  Checker& checker_;
  LaunchSimulation simulation_;
  const char separator_;
  bool missing_ = false;         // the last variable fetched was not bound
  bool last_unbounded_ = false;  // its expansion was given up
  bool unbounded_ = false;       // some expansion was
  // The names the last variable fetched left unexpanded.
  std::vector<std::string> last_unresolved_;
};

// The launch, simulated: its findings, and what it would start; none when
// the package is damaged.
std::optional<LaunchPreview> check_launch(Checker& checker) {
  if (checker.intended().stop == WalkStop::kDamage) return std::nullopt;
  return LaunchChecker(checker).run();
}

}  // namespace

const FindingKind* find_kind(const std::string& name) {
  for (const FindingKind& kind : kFindingKinds) {
    if (name == kind.name) return &kind;
  }
  return nullptr;
}

const char* severity_name(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

void check_allowed(const AllowedIds& allowed) {
  for (const std::string& id : allowed) {
    const FindingKind* kind = find_kind(id);
    if (kind != nullptr && kind->severity == Severity::kError && !kind->damage)
      continue;
    std::string names;
    for (const FindingKind& error : kFindingKinds) {
      if (error.severity != Severity::kError || error.damage) continue;
      names += (names.empty() ? "" : ", ") + std::string(error.name);
    }
    throw usage_or_io_error("--allow " + id +
                            ": no error of that name can be allowed; --allow "
                            "takes one of " +
                            names);
  }
}

std::string finding_line(const Finding& finding) {
  return std::string("vcpack: ") +
         severity_name(finding.allowed ? Severity::kWarning
                                       : finding.severity()) +
         ": " + finding.text + " [" + finding.name() +
         (finding.allowed ? ", allowed]" : "]");
}

std::size_t CheckedPackage::count(Severity severity) const {
  return static_cast<std::size_t>(std::count_if(
      findings.begin(), findings.end(), [severity](const Finding& finding) {
        return !finding.allowed && finding.severity() == severity;
      }));
}

std::size_t CheckedPackage::allowed() const {
  return static_cast<std::size_t>(
      std::count_if(findings.begin(), findings.end(),
                    [](const Finding& finding) { return finding.allowed; }));
}

std::vector<Finding> damage_findings(const PackageWalk& walk) {
  CheckedPackage checked;
  Checker checker(walk, checked, nullptr);
  checker.check_damage();
  return checked.findings;
}

CheckedPackage check_package(const PackageWalk& walk,
                             const RecordLabeler& labeler,
                             const AllowedIds& allowed) {
  CheckedPackage checked;
  Checker checker(walk, checked, labeler);
  checker.check_damage();
  const bool damaged = !checked.findings.empty();
  check_settings(checker);
  if (damaged) return checked;
  check_records(checker);
  checked.preview = check_launch(checker);
  for (Finding& finding : checked.findings) {
    finding.allowed = finding.severity() == Severity::kError &&
                      std::find(allowed.begin(), allowed.end(),
                                finding.name()) != allowed.end();
  }
  return checked;
}

}  // namespace vcpack
