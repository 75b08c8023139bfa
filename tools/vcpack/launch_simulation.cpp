#include "tools/vcpack/launch_simulation.h"

#include <unordered_set>

#include "variables/expand_variables.h"

namespace vcpack {
namespace {

// Names each once, up to kMaxNamedReferences of them; past that only a
// count, so that memory stays small whatever the package holds.
class OnceList {
 public:
  explicit OnceList(LeftReferences& list) : list_(list) {}
  void add(const std::string& name) {
    if (seen_.count(name) != 0) return;
    if (list_.names.size() == kMaxNamedReferences) {
      ++list_.more;
      return;
    }
    seen_.insert(name);
    list_.names.push_back(name);
  }

 private:
  LeftReferences& list_;
  std::unordered_set<std::string> seen_;
};

// Collects what the bootstrap's own expansion leaves in place.
class Collector : public vcboot::ExpansionObserver {
 public:
  Collector(LeftReferences& unresolved, LeftReferences& cyclic)
      : unresolved_(unresolved), cyclic_(cyclic) {}

  void unresolved(const std::string& name) override { unresolved_.add(name); }
  void cyclic(const std::string& name) override { cyclic_.add(name); }

 private:
  OnceList unresolved_;
  OnceList cyclic_;
};

vcboot::VariableTable simulated_table(const PackageOutcome& outcome) {
  vcboot::VariableTable table;
  for (const Binding& binding : outcome.bindings) {
    table.insert_if_absent(binding.name, binding.value);
  }
  return table;
}

}  // namespace

LaunchSimulation::LaunchSimulation(const PackageOutcome& outcome)
    : table_(simulated_table(outcome)) {}

FetchedValue LaunchSimulation::fetch(const std::string& name, bool create) {
  FetchedValue value;
  value.missing = table_.find(name) == nullptr;
  if (value.missing && !create) return value;
  const std::string raw = table_.get_or_create(name);
  Collector collector(value.unresolved, value.cyclic);
  try {
    value.text = vcboot::expand_variables(raw, table_, collector);
  } catch (const vcboot::ExpansionTooLong& error) {
    value.end = error.bound() == vcboot::ExpansionTooLong::Bound::kSize
                    ? ExpansionEnd::kTooLong
                    : ExpansionEnd::kTooMuchWork;
  }
  return value;
}

ReferenceFindings scan_references(const std::string& text,
                                  const vcboot::VariableTable& table) {
  ReferenceFindings findings;
  Collector collector(findings.unresolved, findings.cyclic);
  try {
    vcboot::expand_variables(text, table, collector);
  } catch (const vcboot::ExpansionTooLong& error) {
    // What was met so far is all there is to tell.
    if (error.bound() != vcboot::ExpansionTooLong::Bound::kWork) throw;
  }
  return findings;
}

}  // namespace vcpack
