#include "tools/vcpack/launch_simulation.h"

#include <stdexcept>
#include <unordered_set>

#include "variables/expand_variables.h"

namespace vcpack {
namespace {

// Thrown by the collector to give up an expansion that takes too long.
struct TooManySteps {};

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

// Collects what the bootstrap's own expansion leaves in place, and counts
// the references it expands.
class Collector : public vcboot::ExpansionObserver {
 public:
  Collector(LeftReferences& unresolved, LeftReferences& cyclic)
      : unresolved_(unresolved), cyclic_(cyclic) {}

  void unresolved(const std::string& name) override { unresolved_.add(name); }
  void cyclic(const std::string& name) override { cyclic_.add(name); }
  void expanding(const std::string&) override {
    if (++steps_ > kMaxExpansionSteps) throw TooManySteps();
  }

 private:
  OnceList unresolved_;
  OnceList cyclic_;
  std::size_t steps_ = 0;
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

FetchedValue LaunchSimulation::fetch(const std::string& name) {
  FetchedValue value;
  value.missing = table_.find(name) == nullptr;
  const std::string raw = table_.get_or_create(name);
  Collector collector(value.unresolved, value.cyclic);
  try {
    value.text = vcboot::expand_variables(raw, table_, collector);
  } catch (const std::length_error&) {
    value.end = ExpansionEnd::kTooLong;
  } catch (const TooManySteps&) {
    value.end = ExpansionEnd::kTooManySteps;
  }
  return value;
}

ReferenceFindings scan_references(const std::string& text,
                                  const vcboot::VariableTable& table) {
  ReferenceFindings findings;
  Collector collector(findings.unresolved, findings.cyclic);
  try {
    vcboot::expand_variables(text, table, collector);
  } catch (const TooManySteps&) {
    // What was met so far is all there is to tell.
  }
  return findings;
}

}  // namespace vcpack
