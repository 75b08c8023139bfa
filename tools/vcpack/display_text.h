// Texts from a package, made safe to print: names and values are bytes that
// may hold blanks, line breaks, control characters or zero bytes.
#pragma once

#include <string>
#include <vector>

namespace vcpack {

// `text` in double quotes, with \" \r \n \t and \xNN for other control
// bytes. Backslashes stay single, so Windows paths read as they are; bytes
// from 0x80 up pass unchanged.
std::string quoted(const std::string& text);

// `text` as it is when it is a plain word (not empty; no blank, quote or
// control byte), else quoted.
std::string shown(const std::string& text);

// Rows of cells as aligned columns, two blanks apart, each line indented by
// two blanks; columns whose index is in `right_aligned` are right-aligned.
// Trailing blanks are left out.
std::string aligned_rows(const std::vector<std::vector<std::string>>& rows,
                         const std::vector<std::size_t>& right_aligned);

}  // namespace vcpack
