// File names as the system a package is made for sees them. The stub tells
// the system: a PE image ("MZ") is a Windows program, anything else a POSIX
// one. vcpack's outcome model and checks compare and judge stored names with
// these rules, so that what they say holds on the system that runs the
// package, not on the one that made it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace vcpack {

enum class TargetSystem { kWindows, kPosix };

// The longest file name either system writes: 255 bytes (NTFS counts UTF-16
// units, and an ANSI byte never makes more than one).
inline constexpr std::size_t kMaxNameBytes = 255;

// On Windows a file's path is at most 259 bytes for the narrow file calls
// the bootstrap makes. A work folder in the standard temporary folder of a
// user name of up to 20 characters ("C:\Users\<name>\AppData\Local\Temp\"
// and "VC<n>\") takes up to 65 of them.
inline constexpr std::size_t kMaxWindowsPath = 259;
inline constexpr std::size_t kTypicalWorkFolderPath = 65;

// Names with the same key reach the same file on `target`: on Windows case
// and trailing dots and blanks do not count (see vcboot::windows_file_key);
// on POSIX only empty and "." components are no part of a name.
std::string file_key(const std::string& name, TargetSystem target);

// Whether `name` reaches into a folder on `target`: '/' everywhere, '\' on
// Windows only (on POSIX it is a byte of the name like any other). The
// bootstrap makes no folders, so such a name is never written.
bool has_folder_part(const std::string& name, TargetSystem target);

// 8.3 short names. Where a Windows volume makes them, a file whose name is no
// valid 8.3 name gets a second one, made from the first characters of its
// name and extension, a '~' and a number or a hash ("PROGRA~1",
// "SETU~A34.EXE"); opening that name opens the file. Which short name a file
// gets depends on the volume (short names may be off), on the other names
// in the folder and, past a few alike, on a hash that Windows does not
// document and Wine makes differently. What vcpack can tell is whether a
// stored name has the form of a short name, and which long names could own
// it: a short name always begins with the first two characters of its long
// name's base and ends with the first three of its extension (upper case,
// blanks and dots left out, characters 8.3 names cannot hold as '_').
//
// The part both share: "SE.EXE" for "SETU~A34.EXE" and for "Setup
// Program.exe". None when `name` has no short-name form, or when it is a
// valid 8.3 name itself and so gets no generated short name.
std::optional<std::string> short_name_family(const std::string& name);
std::optional<std::string> generated_short_name_family(const std::string& name);

}  // namespace vcpack
