#include "tools/vcpack/finding.h"

namespace vcpack {

const FindingKind* find_kind(const std::string& id) {
  for (const FindingKind& kind : kFindingKinds) {
    if (id == kind.id) return &kind;
  }
  return nullptr;
}

const char* severity_name(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

std::string finding_line(const Finding& finding, bool allowed) {
  return std::string("vcpack: ") +
         severity_name(allowed ? Severity::kWarning : finding.severity) + ": " +
         finding.text + " [" + finding.id + (allowed ? ", allowed]" : "]");
}

}  // namespace vcpack
