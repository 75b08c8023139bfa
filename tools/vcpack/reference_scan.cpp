#include "tools/vcpack/reference_scan.h"

#include <algorithm>

#include "variables/expand_variables.h"

namespace vcpack {
namespace {

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

}  // namespace

ReferenceFindings scan_references(const std::string& text,
                                  const vcboot::VariableTable& table) {
  Collector collector;
  vcboot::expand_variables(text, table, collector);
  return collector.findings;
}

}  // namespace vcpack
