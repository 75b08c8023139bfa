#include "tools/vcpack/lint.h"

#include <algorithm>

#include "archive/file_name_rules.h"
#include "tools/vcpack/display_text.h"
#include "tools/vcpack/package_report.h"
#include "util/messages.h"
#include "variables/expand_variables.h"
#include "variables/well_known_names.h"

namespace vcpack {
namespace {

namespace names = vcboot::variable_names;

void add_once(std::vector<std::string>& names, const std::string& name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) {
    names.push_back(name);
  }
}

// Collects what the bootstrap's own expansion leaves in place.
class Collector : public vcboot::ExpansionObserver {
 public:
  void unresolved(const std::string& name) override {
    add_once(findings.unresolved, name);
  }
  void cyclic(const std::string& name) override {
    add_once(findings.cyclic, name);
  }
  ReferenceFindings findings;
};

// A name that holds a blank or a double quote is the text between two
// references (as in `%a% "%b%"`), tried as a name by the rules of the
// expansion, rather than a reference that someone wrote.
bool looks_like_a_name(const std::string& name) {
  return name.find_first_of(" \t\"") == std::string::npos;
}

// The table as the bootstrap holds it after its walk, with placeholders for
// what it binds itself.
vcboot::VariableTable simulated_table(const PackageOutcome& outcome) {
  vcboot::VariableTable table;
  for (const Binding& binding : outcome.bindings) {
    table.insert_if_absent(binding.name, binding.value);
  }
  return table;
}

class Simulation {
 public:
  explicit Simulation(const PackageOutcome& outcome)
      : table_(simulated_table(outcome)) {}

  // Fetches `name` as the launch does, lints its references, and expands it.
  std::string fetch(const std::string& name) {
    if (table_.find(name) == nullptr) missing_.push_back(name);
    const std::string raw = table_.get_or_create(name);
    const ReferenceFindings references = scan_references(raw, table_);
    for (const std::string& unresolved : references.unresolved) {
      if (!looks_like_a_name(unresolved)) continue;
      findings_.push_back(
          "\"" + name + "\" refers to " + quoted("%" + unresolved + "%") +
          ", which nothing binds; it stays in the text as it is");
    }
    for (const std::string& cyclic : references.cyclic) {
      findings_.push_back(
          "\"" + name + "\" leads to a reference cycle through " +
          quoted("%" + cyclic + "%") + ", which stays in the text");
    }
    return vcboot::expand_variables(raw, table_);
  }

  bool was_missing(const std::string& name) const {
    for (const std::string& missing : missing_) {
      if (missing == name) return true;
    }
    return false;
  }

  std::vector<std::string>& findings() { return findings_; }

 private:
  vcboot::VariableTable table_;
  std::vector<std::string> missing_;
  std::vector<std::string> findings_;
};

bool writes_file(const PackageOutcome& outcome, const std::string& name) {
  for (const WrittenFile& file : outcome.files) {
    if (file.name == name) return true;
  }
  return false;
}

// Findings about single records: names the bootstrap refuses (the first
// one ends its walk), unknown types, bindings of the bootstrap's own names.
void lint_record(const PackageWalk& walk, const PackageOutcome& outcome,
                 std::size_t index, std::vector<std::string>& findings) {
  const WalkedRecord& record = walk.records[index];
  const std::string label = "record " + record_label(walk, index);
  if (record.type == RecordType::kFile &&
      !vcboot::is_safe_file_name(record.file_name)) {
    findings.push_back(label + ": the bootstrap refuses this file name" +
                       (outcome.refused_name_record == index
                            ? std::string(" (\"") +
                                  vcboot::messages::kFailedToExtractFile +
                                  "\") and reads no record after it"
                            : ""));
  }
  if (index >= outcome.acted_on) return;
  if (record.type == RecordType::kOther) {
    findings.push_back(label +
                       " has a type the bootstrap does not know; "
                       "it is skipped");
  }
  const bool binds = record.type == RecordType::kValue ||
                     (record.type == RecordType::kFile && !record.name.empty());
  const Binding* binding = find_binding(outcome, record.name);
  if (binds && binding != nullptr && !binding->record) {
    findings.push_back(label + " binds \"" + record.name +
                       "\", which the bootstrap sets itself: it is ignored");
  }
}

void lint_walk(const PackageWalk& walk, const PackageOutcome& outcome,
               std::vector<std::string>& findings) {
  for (std::size_t i = 0; i < walk.records.size(); ++i) {
    if (!walk.records[i].after_damage) lint_record(walk, outcome, i, findings);
  }
  if (walk.end == WalkEnd::kReadFailure && walk.end_offset == 0) {
    findings.push_back(
        "no stub record: the walk runs to the start of the file");
  }
}

}  // namespace

ReferenceFindings scan_references(const std::string& text,
                                  const vcboot::VariableTable& table) {
  Collector collector;
  vcboot::expand_variables(text, table, collector);
  return collector.findings;
}

LaunchPreview preview_launch(const PackageWalk& walk,
                             const PackageOutcome& outcome, char separator) {
  Simulation simulation(outcome);
  LaunchPreview preview;
  const std::string executable = simulation.fetch(names::kExecutable);
  preview.installer =
      std::string(kWorkFolderPlaceholder) + separator + executable;
  preview.parameters = simulation.fetch(names::kParameters);
  preview.post = simulation.fetch(names::kPost);

  std::vector<std::string>& findings = simulation.findings();
  if (simulation.was_missing(names::kExecutable)) {
    findings.insert(
        findings.begin(),
        "no \"executable\": the bootstrap would ask the shell to open the "
        "work folder itself");
  } else if (!writes_file(outcome, executable)) {
    findings.push_back("the installer " + quoted(executable) +
                       " is not among the files the package writes");
  }
  lint_walk(walk, outcome, findings);
  preview.findings = findings;
  return preview;
}

}  // namespace vcpack
