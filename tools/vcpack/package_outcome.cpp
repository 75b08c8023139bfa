#include "tools/vcpack/package_outcome.h"

#include "archive/file_name_rules.h"

namespace vcpack {
namespace {

void bind(PackageOutcome& outcome, const std::string& name,
          const std::string& value, std::size_t record) {
  const auto [slot, added] =
      outcome.binding_index.emplace(name, outcome.bindings.size());
  if (!added) {
    outcome.bindings[slot->second].shadowed.push_back(record);
    return;
  }
  outcome.bindings.push_back({name, value, record, {}});
}

void write(PackageOutcome& outcome, const std::string& name,
           std::size_t record) {
  const auto [slot, added] = outcome.file_index.emplace(
      file_key(name, outcome.target), outcome.files.size());
  outcome.file_of_record[record] = slot->second;
  if (!added) {
    WrittenFile& file = outcome.files[slot->second];
    file.replaced.push_back(file.record);
    file.record = record;
    return;
  }
  outcome.files.push_back({name, record, {}});
}

// Applies one record; false when the bootstrap stops at it.
bool apply(PackageOutcome& outcome, const WalkedRecord& record,
           std::size_t index, bool as_if_written) {
  if (record.after_damage || !record.complete || !record.verified()) {
    outcome.stop = WalkStop::kDamage;
    return false;
  }
  switch (record.type) {
    case RecordType::kValue:
      bind(outcome, record.name, record.value, index);
      return true;
    case RecordType::kFile: {
      const NameProblem problem =
          name_problem(record.file_name, outcome.target);
      if (problem == NameProblem::kRefused && !as_if_written) {
        outcome.stop = WalkStop::kRefusedName;
        return false;
      }
      // The key is bound before the file is tried, as in the bootstrap.
      if (!record.name.empty())
        bind(outcome, record.name, record.file_name, index);
      if (problem != NameProblem::kNone && !as_if_written) {
        outcome.stop = WalkStop::kUnwritableName;
        return false;
      }
      write(outcome, record.file_name, index);
      return true;
    }
    case RecordType::kStub:
      outcome.stop = WalkStop::kStubRecord;
      return false;
    default:
      return true;
  }
}

}  // namespace

PackageOutcome resolve_outcome(const PackageWalk& walk, bool as_if_written) {
  PackageOutcome outcome;
  outcome.target =
      walk.windows_image ? TargetSystem::kWindows : TargetSystem::kPosix;
  for (const BootstrapVariable& variable : kBootstrapVariables) {
    bind(outcome, variable.name, variable.placeholder, 0);
    outcome.bindings.back().record = std::nullopt;
  }
  std::size_t index = 0;
  outcome.stop = WalkStop::kDamage;  // the walk ends without a stub record
  for (; index < walk.records.size(); ++index) {
    if (!apply(outcome, walk.records[index], index, as_if_written)) break;
  }
  outcome.acted_on = index;
  // A stub record that does not begin the file is where a cut download
  // ends: damage, whatever came before it.
  if (walk.end == WalkEnd::kStubNotAtStart) outcome.stop = WalkStop::kDamage;
  outcome.launches = outcome.stop == WalkStop::kStubRecord &&
                     walk.end == WalkEnd::kStub &&
                     !walk.first_damaged_record().has_value();
  return outcome;
}

void bind_bootstrap_variables(vcboot::VariableTable& table) {
  for (const BootstrapVariable& variable : kBootstrapVariables) {
    table.get_or_create(variable.name) = variable.placeholder;
  }
}

bool is_bootstrap_variable(const std::string& name) {
  for (const BootstrapVariable& variable : kBootstrapVariables) {
    if (name == variable.name) return true;
  }
  return false;
}

const Binding* find_binding(const PackageOutcome& outcome,
                            const std::string& name) {
  const auto found = outcome.binding_index.find(name);
  return found == outcome.binding_index.end()
             ? nullptr
             : &outcome.bindings[found->second];
}

const WrittenFile* find_file(const PackageOutcome& outcome,
                             const std::string& name) {
  const auto found = outcome.file_index.find(file_key(name, outcome.target));
  return found == outcome.file_index.end() ? nullptr
                                           : &outcome.files[found->second];
}

const WrittenFile* file_written_by(const PackageOutcome& outcome,
                                   std::size_t index) {
  const auto found = outcome.file_of_record.find(index);
  return found == outcome.file_of_record.end() ? nullptr
                                               : &outcome.files[found->second];
}

NameProblem name_problem(const std::string& name, TargetSystem target) {
  if (!vcboot::is_safe_file_name(name)) return NameProblem::kRefused;
  if (has_folder_part(name, target)) return NameProblem::kFolderPart;
  if (name.size() > kMaxNameBytes) return NameProblem::kTooLong;
  return NameProblem::kNone;
}

}  // namespace vcpack
