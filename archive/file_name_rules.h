// Which file names from a package may be written into the work folder.
#pragma once

#include <string>

namespace vcboot {

// False for a name that could land outside the work folder or open a device:
// an empty name; one that begins with '\' or '/'; one holding ':' (a drive,
// an alternate data stream); one with a ".." component, with either
// separator; one with a component that is a Windows device name (CON, PRN,
// AUX, NUL, COM1-9, LPT1-9, with or without an extension, in any case).
// Packages travel between systems, so the rule is the same everywhere.
// Subfolder parts such as "sub\file.txt" are allowed.
bool is_safe_file_name(const std::string& name);

}  // namespace vcboot
