#include "fuzz/reference_expansion.h"

#include <set>

namespace vcboot::fuzzing {
namespace {

constexpr char kSign = '%';

class Expansion {
 public:
  Expansion(const VariableTable& table, std::size_t work_limit)
      : table_(table), work_left_(work_limit) {}

  std::optional<std::string> expand(const std::string& text) {
    // Every expansion costs one more than its bytes, so that values that
    // expand to nothing cannot make the work unbounded either.
    if (!charge(text.size() + 1)) return std::nullopt;
    std::string result = text;
    std::size_t p = result.find(kSign);
    while (p != std::string::npos) {
      const std::size_t b = result.find_first_not_of(kSign, p);
      if (b == std::string::npos) break;
      const std::size_t c = result.find(kSign, b);
      if (c == std::string::npos) break;
      const std::string name = result.substr(b, c - b);
      const std::string* value = table_.find(name);
      if (value == nullptr || active_.count(name) != 0) {
        p = c;  // undefined: its closing sign may open the next reference
        continue;
      }
      active_.insert(name);
      const auto inserted = expand(*value);
      active_.erase(name);
      if (!inserted) return std::nullopt;
      result.replace(b - 1, c - b + 2, *inserted);
      if (!charge(result.size())) return std::nullopt;
      p = result.find(kSign, b - 1 + inserted->size());
    }
    return result;
  }

 private:
  bool charge(std::size_t bytes) {
    if (bytes > work_left_) return false;
    work_left_ -= bytes;
    return true;
  }

  const VariableTable& table_;
  std::size_t work_left_;
  std::set<std::string> active_;  // names whose values are being expanded
};

}  // namespace

std::optional<std::string> reference_expansion(const std::string& text,
                                               const VariableTable& table,
                                               std::size_t work_limit) {
  return Expansion(table, work_limit).expand(text);
}

}  // namespace vcboot::fuzzing
