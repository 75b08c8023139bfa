// Runs format_string on the Windows C runtime's formatter (msvcrt), which the
// native unit tests never reach: its contract differs from C99's where a text
// does not fit. Writes each mismatch to standard error and exits with their
// count.
#include <windows.h>

#include <cstdint>
#include <string>

#include "util/format_string.h"

namespace {

int g_failures = 0;

void expect_equal(const std::string& actual, const std::string& expected,
                  const char* what) {
  if (actual == expected) return;
  ++g_failures;
  const std::string line = std::string(what) + ": got " +
                           std::to_string(actual.size()) + " bytes, expected " +
                           std::to_string(expected.size()) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(),
            static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using vcboot::format_string;
  expect_equal(format_string("%c%c%c%c", 0x00, 0x41, 0x00, 0x42),
               std::string("\0A\0B", 4), "zero bytes from %c");
  expect_equal(format_string("%i", static_cast<std::int32_t>(UINT32_MAX)), "-1",
               "all bits set");
  expect_equal(format_string("VC%i%c", INT32_MIN, '\\'), "VC-2147483648\\",
               "folder name past 2038");
  // Around each size the buffer takes: fits exactly, one over, far over.
  for (const std::size_t length :
       {1023u, 1024u, 1025u, 2047u, 2048u, 2049u, 5000u, 70000u}) {
    const std::string text(length, 'x');
    expect_equal(format_string("%s!", text.c_str()), text + "!",
                 ("text of " + std::to_string(length + 1) + " bytes").c_str());
  }
  return g_failures;
}
