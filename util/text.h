// Byte-wise, case-sensitive text predicates.
#pragma once

#include <string>

namespace vcboot {

// True if `text` begins with `prefix`; an empty prefix always matches.
bool starts_with(const std::string& text, const std::string& prefix);
// True if `text` ends with `suffix`; an empty suffix always matches.
bool ends_with(const std::string& text, const std::string& suffix);

}  // namespace vcboot
