#include "archive/file_name_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace vcboot {
namespace {

TEST(FileNameRules, PlainNamesAndSubfoldersAreAllowed) {
  for (const char* name :
       {"Setup.exe", "LogoSmall.bmp", "sub\\file.txt", "sub/file.txt",
        ".hidden", "a..b", "..a", "CONSOLE.txt", "COM10", "COMA", "nul_device",
        "x.con", "AUXILIARY", " lead.txt"}) {
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
       {"CON",     "con",        "Prn",         "AUX",       "nul",
        "NUL.txt", "nul.tar.gz", "COM1",        "com9.log",  "LPT1",
        "lpt9",    "CON .txt",   "sub\\NUL",    "sub/aux.h", "CONIN$",
        "conout$", "COM\xB9",    "LPT\xB2.txt", "COM0",      "lpt0.txt"}) {
    EXPECT_FALSE(is_safe_file_name(name)) << name;
  }
}

// Each of these reaches the file of a plainer name: "setup.exe" (trailing
// dots and blanks are trimmed by Windows, "." names the folder it is in), or
// whatever precedes a zero byte, where the system's file calls stop.
TEST(FileNameRules, OtherSpellingsOfANameAreRefused) {
  using namespace std::string_literals;
  for (const std::string& name :
       {"setup.exe."s, "setup.exe "s, "setup.exe. ."s, ".\\setup.exe"s,
        "./setup.exe"s, ".//setup.exe"s, "sub\\.\\setup.exe"s,
        "sub\\\\setup.exe"s, "sub/"s, "."s, "file.."s, "sub.\\x"s, "NUL\0"s,
        "nul\0.txt"s, "AUX\0"s, "COM1\0"s, "setup.exe\0.txt"s}) {
    EXPECT_FALSE(is_safe_file_name(name)) << name;
  }
}

// Each row: two names that reach one file on Windows, or (false) two files.
TEST(FileNameRules, WindowsTellsFilesApartByTheirKey) {
  struct Row {
    const char* a;
    const char* b;
    bool same;
  };
  for (const Row& row : {
           Row{"App.TXT", "app.txt", true},
           Row{"Setup.exe.", "SETUP.EXE", true},
           Row{"Setup.exe ", "setup.exe", true},
           Row{"Setup.exe. .", "Setup.exe", true},
           Row{".\\Setup.exe", "setup.exe", true},
           Row{"./setup", "setup", true},
           Row{"sub//a.txt", "SUB\\A.TXT", true},
           Row{"sub.\\a", "sub\\a", true},
           Row{"..\\a", "a", false},
           Row{"setup.exe", "setup.ex", false},
           Row{"setup_exe", "setup.exe", false},
           // Beyond ASCII, folding depends on the code page.
           Row{"Gr\xfc\xdf"
               "e.txt",
               "GR\xdc\xdf"
               "E.TXT",
               false},
       }) {
    EXPECT_EQ(windows_file_key(row.a) == windows_file_key(row.b), row.same)
        << row.a << " / " << row.b;
  }
}

}  // namespace
}  // namespace vcboot
