// Texts from a package, made safe to print: names and values are bytes that
// may hold blanks, line breaks, terminal escape sequences, zero bytes or
// characters that reorder the text around them. None of them reaches the
// terminal as it is, so what vcpack shows is what the package holds.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vcpack {

// `text` with what could steer a terminal escaped: \r \n \t and \xNN for
// the other control bytes and DEL, \xNN for bytes from 0x80 up that form no
// UTF-8 character, and \u{XXXX} for UTF-8 control characters (U+0080 to
// U+009F) and for the marks that reorder or separate text (bidirectional
// controls, line and paragraph separators). Backslashes stay single, so
// Windows paths read as they are; other characters pass unchanged.
std::string escaped(const std::string& text);

// `text` escaped and in double quotes, with \" for a double quote.
std::string quoted(const std::string& text);

// `text` as it is when it is a plain word (not empty; no blank, quote or
// anything escaped), else quoted.
std::string shown(const std::string& text);

// `text` as quoted(), cut after its first bytes when it is long, with its
// length: a name from a package may be megabytes long, and a message tells
// what it is, not all of it.
std::string abridged(const std::string& text);

// Rows of cells as aligned columns, two blanks apart, each line indented by
// two blanks; columns whose index is in `right_aligned` are right-aligned.
// Trailing blanks are left out.
std::string aligned_rows(const std::vector<std::vector<std::string>>& rows,
                         const std::vector<std::size_t>& right_aligned);
// The same for `count` rows that `row(i)` makes when asked, twice each: once
// for the column widths and once for the text. A package's table of records
// or files, one row each, is then never held as cells.
std::string aligned_rows(
    std::size_t count,
    const std::function<std::vector<std::string>(std::size_t)>& row,
    const std::vector<std::size_t>& right_aligned);

}  // namespace vcpack
