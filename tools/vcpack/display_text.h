// Texts from a package, made safe to print: names and values are bytes that
// may hold line breaks, control characters or zero bytes.
#pragma once

#include <string>

namespace vcpack {

// `text` in double quotes, with \" \\ \r \n \t and \xNN for other control
// bytes; bytes from 0x80 up pass unchanged.
std::string quoted(const std::string& text);

}  // namespace vcpack
