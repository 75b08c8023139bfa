// Replaces %name% references in a text by the expanded values of the
// variable table.
#pragma once

#include <cstddef>
#include <exception>
#include <string>

#include "variables/variable_table.h"

namespace vcboot {

// The longest text an expansion may give. A Windows command line holds at
// most 32,767 characters, so no useful expansion comes near it, while values
// that double at every level of nesting would otherwise take all memory.
inline constexpr std::size_t kMaxExpandedSize = std::size_t{1} << 20;

// The most work one expansion may do. Every byte it scans, compares with a
// name of the table or copies lies in the texts it expands, so each text
// expanded costs its length, and each name looked up kLookupWork more, for
// the lookup and what a found name sets going. Values that expand to nothing
// can double the work at every level of nesting without growing the text,
// long names make each reference cost what it compares and copies, and a
// long text of short undefined names costs a lookup every few bytes: each
// ends at the bound within a fraction of a second, however large the
// package.
inline constexpr std::size_t kMaxExpansionWork = std::size_t{1} << 24;
inline constexpr std::size_t kLookupWork = 256;

// Thrown when an expansion would go past one of its bounds. The bootstrap
// shows what() under "Unhandled Exception". A plain std::exception: the
// standard's own error types carry a reference-counted string that would
// bring a second string implementation into the Windows stub.
class ExpansionTooLong : public std::exception {
 public:
  enum class Bound {
    kSize,  // the result would grow past kMaxExpandedSize
    kWork,  // the expansion would do more than kMaxExpansionWork
  };
  explicit ExpansionTooLong(Bound bound) : bound_(bound) {}
  const char* what() const noexcept override {
    return "variable expansion too long";
  }
  Bound bound() const { return bound_; }

 private:
  Bound bound_;
};

// Returns `text` with every reference (a non-empty name without percent
// signs between two percent signs) to a name that `table` holds replaced by
// that name's value, itself expanded first. Where several signs stand in a
// row, the last one opens the reference; the closing sign of an undefined
// name may open the next one; inserted text is never scanned again. Anything
// that cannot be expanded stays as it is. A reference to a name whose value
// is already being expanded further up (a cycle) stays in the text like an
// undefined name. Reads the table through `find` only, so it never adds an
// entry. Nesting of any depth is expanded without recursion. Throws
// ExpansionTooLong as soon as the result would grow past kMaxExpandedSize or
// the work past kMaxExpansionWork.
std::string expand_variables(const std::string& text,
                             const VariableTable& table);

// Told of every reference an expansion leaves in the text, as it meets them,
// so that a tool can check what the bootstrap would start with the very same
// scanning rules.
class ExpansionObserver {
 public:
  virtual ~ExpansionObserver() = default;
  // A name the table does not hold.
  virtual void unresolved(const std::string& name) = 0;
  // A name whose value is already being expanded further up.
  virtual void cyclic(const std::string& name) = 0;
};

// The same expansion, telling `observer` what stays unexpanded.
std::string expand_variables(const std::string& text,
                             const VariableTable& table,
                             ExpansionObserver& observer);

}  // namespace vcboot
