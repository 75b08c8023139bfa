// A second, independent expansion of %name% references, for the fuzz
// targets: the procedure step by step as written, with positions in a text
// that is changed in place and recursion for nested values. A reference to a
// name whose value is being expanded further up stays in the text as an
// undefined one would.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "variables/variable_table.h"

namespace vcboot::fuzzing {

// The expansion of `text`, or nothing when making it would copy more than
// `work_limit` bytes in all, each value expanded counting one byte more
// (nested values can make a result, or the work, grow exponentially with
// the size of the table).
std::optional<std::string> reference_expansion(const std::string& text,
                                               const VariableTable& table,
                                               std::size_t work_limit);

}  // namespace vcboot::fuzzing
