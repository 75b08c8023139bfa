// Conversions between UTF-8, which vcpack uses throughout, and the UTF-16 of
// the Windows wide-character calls.
#pragma once

#include <windows.h>

#include <string>

namespace vcpack {

// Invalid sequences become U+FFFD.
std::string utf8_from_wide(const std::wstring& text);
std::wstring wide_from_utf8(const std::string& text);

// The system's wording of a Win32 error code, in UTF-8 and without the line
// break it ends with; empty when the system has none.
std::string windows_error_text(DWORD code);

}  // namespace vcpack
