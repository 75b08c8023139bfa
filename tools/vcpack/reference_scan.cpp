#include "tools/vcpack/reference_scan.h"

#include <algorithm>

namespace vcpack {
namespace {

void add_once(std::vector<std::string>& names, const std::string& name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) {
    names.push_back(name);
  }
}

class Scanner {
 public:
  explicit Scanner(const vcboot::VariableTable& table) : table_(table) {}

  void scan(const std::string& text) {
    std::size_t p = text.find('%');
    while (p != std::string::npos) {
      const std::size_t b = text.find_first_not_of('%', p);
      if (b == std::string::npos) return;
      const std::size_t c = text.find('%', b + 1);
      if (c == std::string::npos) return;
      const std::string name = text.substr(b, c - b);
      const std::string* value = table_.find(name);
      if (value == nullptr) {
        add_once(findings_.unresolved, name);
        p = c;  // the closing sign may open the next reference
        continue;
      }
      follow(name, *value);
      p = text.find('%', c + 1);  // the replaced reference is consumed whole
    }
  }

  ReferenceFindings findings() const { return findings_; }

 private:
  void follow(const std::string& name, const std::string& value) {
    if (std::find(active_.begin(), active_.end(), name) != active_.end()) {
      add_once(findings_.cyclic, name);
      return;
    }
    active_.push_back(name);
    scan(value);
    active_.pop_back();
  }

  const vcboot::VariableTable& table_;
  std::vector<std::string> active_;  // names being expanded further up
  ReferenceFindings findings_;
};

}  // namespace

ReferenceFindings scan_references(const std::string& text,
                                  const vcboot::VariableTable& table) {
  Scanner scanner(table);
  scanner.scan(text);
  return scanner.findings();
}

}  // namespace vcpack
