// Which file names from a package may be written into the work folder.
#pragma once

#include <string>

namespace vcboot {

// False for a name that could land outside the work folder, open a device or
// reach the file of another name: an empty name; one holding a zero byte
// (the system's file calls stop at it); one that begins with '\' or '/'; one
// holding ':' (a drive, an alternate data stream); one with an empty, "." or
// ".." component, or a component that ends in a dot or a blank (Windows trims
// those, so "Setup.exe." is "Setup.exe" and ".. " is ".."); one with a
// component that is a Windows device name (CON, PRN, AUX, NUL, COM0-9,
// LPT0-9, CONIN$, CONOUT$, with or without an extension, in any case).
// Packages travel between systems, so the rule is the same everywhere.
// Subfolder parts such as "sub\file.txt" pass; the bootstrap makes no
// folders, so they are written only where the folder exists.
bool is_safe_file_name(const std::string& name);

// A name as Windows tells files apart: two names with the same key reach the
// same file there. ASCII letters are upper-cased, either separator becomes
// '\\', empty and "." components are dropped, and every other component
// loses its trailing dots and blanks. Letters beyond ASCII are kept as they
// are: how Windows folds them depends on the code page.
std::string windows_file_key(const std::string& name);

}  // namespace vcboot
