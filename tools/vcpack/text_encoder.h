// Converts the texts of a package from UTF-8 to a code page. The Windows
// bootstrap takes stored names and values as bytes of the user's ANSI code
// page, so a package for users of code page 1252 stores "Grüße.txt" as the
// bytes of CP1252, not of UTF-8. Behind this interface: glibc's iconv on
// POSIX (text_encoder_iconv.cpp), the system's own conversions on Windows
// (text_encoder_win32.cpp).
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace vcpack {

class TextEncoder {
 public:
  virtual ~TextEncoder() = default;
  // `text` in the code page; none when it is no UTF-8 or holds a character
  // the code page has no place for (nothing is replaced or dropped).
  virtual std::optional<std::string> from_utf8(const std::string& text) = 0;
};

// An encoder for `code_page` ("CP1252", "CP1251", "ISO-8859-2", ...); null
// when the system knows no such code page.
std::unique_ptr<TextEncoder> make_text_encoder(const std::string& code_page);

}  // namespace vcpack
