// Replaces %name% references in a text by the expanded values of the
// variable table.
#pragma once

#include <cstddef>
#include <string>

#include "variables/variable_table.h"

namespace vcboot {

// The longest text an expansion may give. A Windows command line holds at
// most 32,767 characters, so no useful expansion comes near it, while values
// that double at every level of nesting would otherwise take all memory.
inline constexpr std::size_t kMaxExpandedSize = std::size_t{1} << 20;

// The most references one expansion replaces. Values that expand to nothing
// can double the work at every level of nesting without growing the text,
// which no size bound catches; a 200,000-deep chain takes 200,000.
inline constexpr std::size_t kMaxExpansionSteps = std::size_t{1} << 22;

// Returns `text` with every reference (a non-empty name without percent
// signs between two percent signs) to a name that `table` holds replaced by
// that name's value, itself expanded first. Where several signs stand in a
// row, the last one opens the reference; the closing sign of an undefined
// name may open the next one; inserted text is never scanned again. Anything
// that cannot be expanded stays as it is. A reference to a name whose value
// is already being expanded further up (a cycle) stays in the text like an
// undefined name. Reads the table through `find` only, so it never adds an
// entry. Nesting of any depth is expanded without recursion. Throws
// std::length_error ("variable expansion too long") as soon as the result
// would grow past kMaxExpandedSize or the expansion would replace more than
// kMaxExpansionSteps references.
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
  // A name whose value is about to be expanded in place of the reference.
  // An observer may throw to end an expansion that takes too many steps.
  virtual void expanding(const std::string& /*name*/) {}
};

// The same expansion, telling `observer` what stays unexpanded.
std::string expand_variables(const std::string& text,
                             const VariableTable& table,
                             ExpansionObserver& observer);

}  // namespace vcboot
