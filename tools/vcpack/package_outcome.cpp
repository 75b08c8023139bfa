#include "tools/vcpack/package_outcome.h"

#include "archive/file_name_rules.h"

namespace vcpack {
namespace {

Binding* binding_named(PackageOutcome& outcome, const std::string& name) {
  for (Binding& binding : outcome.bindings) {
    if (binding.name == name) return &binding;
  }
  return nullptr;
}

void bind(PackageOutcome& outcome, const std::string& name,
          const std::string& value, std::size_t record) {
  if (Binding* existing = binding_named(outcome, name)) {
    existing->shadowed.push_back(record);
    return;
  }
  outcome.bindings.push_back({name, value, record, {}});
}

void write(PackageOutcome& outcome, const std::string& name,
           std::size_t record) {
  for (WrittenFile& file : outcome.files) {
    if (file.name == name) {
      file.replaced.push_back(file.record);
      file.record = record;
      return;
    }
  }
  outcome.files.push_back({name, record, {}});
}

// Applies one record; false when the bootstrap stops at it.
bool apply(PackageOutcome& outcome, const WalkedRecord& record,
           std::size_t index) {
  if (record.after_damage || !record.complete || !record.verified())
    return false;
  switch (record.type) {
    case RecordType::kValue:
      bind(outcome, record.name, record.value, index);
      return true;
    case RecordType::kFile:
      if (!vcboot::is_safe_file_name(record.file_name)) {
        outcome.refused_name_record = index;
        return false;
      }
      if (!record.name.empty())
        bind(outcome, record.name, record.file_name, index);
      write(outcome, record.file_name, index);
      return true;
    case RecordType::kStub:
      return false;
    default:
      return true;
  }
}

}  // namespace

PackageOutcome resolve_outcome(const PackageWalk& walk) {
  PackageOutcome outcome;
  for (const BootstrapVariable& variable : kBootstrapVariables) {
    outcome.bindings.push_back(
        {variable.name, variable.placeholder, std::nullopt, {}});
  }
  std::size_t index = 0;
  for (; index < walk.records.size(); ++index) {
    if (!apply(outcome, walk.records[index], index)) break;
  }
  outcome.acted_on = index;
  // The installer starts only when the walk got as far as the stub record
  // after a tail chunk, with every chunk verified and every file written.
  outcome.launches = walk.archive_complete() && index < walk.records.size() &&
                     walk.records[index].type == RecordType::kStub &&
                     walk.records[index].verified();
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
  for (const Binding& binding : outcome.bindings) {
    if (binding.name == name) return &binding;
  }
  return nullptr;
}

}  // namespace vcpack
