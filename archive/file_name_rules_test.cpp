#include "archive/file_name_rules.h"

#include <gtest/gtest.h>

namespace vcboot {
namespace {

TEST(FileNameRules, PlainNamesAndSubfoldersAreAllowed) {
  for (const char* name :
       {"Setup.exe", "LogoSmall.bmp", "sub\\file.txt", "sub/file.txt",
        ".hidden", "a..b", "..a", "file..", "CONSOLE.txt", "COM10", "LPT0",
        "COMA", "nul_device", "x.con", "sub\\.\\file", "AUXILIARY"}) {
    EXPECT_TRUE(is_safe_file_name(name)) << name;
  }
}

TEST(FileNameRules, EmptyAndAbsoluteNamesAreRefused) {
  for (const char* name : {"", "\\Windows\\evil.dll", "/etc/passwd",
                           "\\\\server\\share\\x", "//server/share/x"}) {
    EXPECT_FALSE(is_safe_file_name(name)) << name;
  }
}

TEST(FileNameRules, ColonsAreRefused) {
  for (const char* name : {"C:\\evil.exe", "C:evil.exe", "file.txt:stream",
                           "file.txt::$DATA", "sub\\a:b"}) {
    EXPECT_FALSE(is_safe_file_name(name)) << name;
  }
}

TEST(FileNameRules, ParentReferencesAreRefusedWithEitherSeparator) {
  for (const char* name :
       {"..", "..\\evil.exe", "../evil.exe", "sub\\..\\..\\evil.exe",
        "sub/../../evil.exe", "sub\\..", "sub/..", "a\\b/../c",
        // Windows drops trailing dots and blanks from components.
        "...\\evil.exe", ".. \\evil.exe", "sub/.. /x", "sub\\...."}) {
    EXPECT_FALSE(is_safe_file_name(name)) << name;
  }
}

TEST(FileNameRules, DeviceNamesAreRefusedInAnyCaseAndComponent) {
  for (const char* name :
       {"CON", "con", "Prn", "AUX", "nul", "NUL.txt", "nul.tar.gz", "COM1",
        "com9.log", "LPT1", "lpt9", "CON .txt", "sub\\NUL", "sub/aux.h",
        "CONIN$", "conout$", "COM\xB9", "LPT\xB2.txt"}) {
    EXPECT_FALSE(is_safe_file_name(name)) << name;
  }
}

}  // namespace
}  // namespace vcboot
