// TextEncoder through the system's own conversions, for vcpack.exe. The code
// page is named as iconv names it ("CP1252", "WINDOWS-1251", "ISO-8859-2",
// "UTF-8") or by its number.
#include <windows.h>

#include <cctype>
#include <cstdlib>

#include "tools/vcpack/text_encoder.h"
#include "tools/vcpack/wide_text_win32.h"

namespace vcpack {
namespace {

bool starts_with_ignoring_case(const std::string& text, const char* prefix) {
  std::size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i == text.size() ||
        std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) {
      return false;
    }
  }
  return true;
}

// The number behind `prefix`, or 0.
UINT number_after(const std::string& name, const char* prefix) {
  if (!starts_with_ignoring_case(name, prefix)) return 0;
  const std::string digits =
      name.substr(std::char_traits<char>::length(prefix));
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  return static_cast<UINT>(std::strtoul(digits.c_str(), nullptr, 10));
}

UINT code_page_named(const std::string& name) {
  if (starts_with_ignoring_case(name, "UTF-8") && name.size() == 5) {
    return CP_UTF8;
  }
  if (const UINT iso = number_after(name, "ISO-8859-")) return 28590 + iso;
  if (const UINT cp = number_after(name, "WINDOWS-")) return cp;
  if (const UINT cp = number_after(name, "CP")) return cp;
  return number_after(name, "");
}

class Win32Encoder : public TextEncoder {
 public:
  explicit Win32Encoder(UINT code_page) : code_page_(code_page) {}

  std::optional<std::string> from_utf8(const std::string& text) override {
    if (text.empty()) return text;
    const int length = static_cast<int>(text.size());
    const int wide_size = ::MultiByteToWideChar(
        CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (wide_size <= 0) return std::nullopt;  // no UTF-8
    if (code_page_ == CP_UTF8) return text;
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length,
                          &wide[0], wide_size);
    // No best-fit letter and no default character: a character without a
    // place in the code page is refused, never replaced.
    BOOL used_default = FALSE;
    const int size =
        ::WideCharToMultiByte(code_page_, WC_NO_BEST_FIT_CHARS, wide.data(),
                              wide_size, nullptr, 0, nullptr, &used_default);
    if (size <= 0 || used_default) return std::nullopt;
    std::string result(static_cast<std::size_t>(size), '\0');
    if (::WideCharToMultiByte(code_page_, WC_NO_BEST_FIT_CHARS, wide.data(),
                              wide_size, &result[0], size, nullptr,
                              &used_default) != size ||
        used_default) {
      return std::nullopt;
    }
    return result;
  }

 private:
  UINT code_page_;
};

}  // namespace

std::unique_ptr<TextEncoder> make_text_encoder(const std::string& code_page) {
  const UINT number = code_page_named(code_page);
  if (number == 0 || !::IsValidCodePage(number)) return nullptr;
  return std::make_unique<Win32Encoder>(number);
}

}  // namespace vcpack
