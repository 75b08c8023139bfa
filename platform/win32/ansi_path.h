// The one place where the Win32 backend turns a UTF-16 path into the ANSI
// code page.
//
// The system names the temporary directory and the program's own file in
// UTF-16; everything else in the bootstrap hands paths to the ANSI calls as
// they are. A path that the code page cannot hold, or that is too long for
// those calls, is replaced by its short (8.3) form, which names the same file
// and is plain ASCII wherever the volume keeps short names.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vcboot {

// A path in UTF-16, without a terminating zero. A vector rather than a
// std::wstring, which would link the library's whole wide-string code into
// the stub.
using WidePath = std::vector<wchar_t>;

// The ANSI calls take a path of at most this many bytes, its terminating zero
// included (MAX_PATH).
inline constexpr std::size_t kAnsiPathLimit = 260;

// `path` in the ANSI code page when every character converts exactly (no
// best-fit substitute, no default character) and the result fits
// kAnsiPathLimit; otherwise its short form, on the same conditions; otherwise
// empty, with the thread's last error saying why (ERROR_NO_UNICODE_TRANSLATION
// or ERROR_FILENAME_EXCED_RANGE). Only an existing file or folder has a
// short form.
std::string ansi_path(const WidePath& path);

}  // namespace vcboot
