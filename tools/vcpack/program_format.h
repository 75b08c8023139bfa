// What kind of program a file is, told by its first bytes: the formats an
// installer or a stub comes in, and the processor a program is made for.
// `vcpack list` shows both, since a Windows shell opens an .msi or a .cmd
// file through its file association rather than running it, and a 64-bit
// stub does not run on a 32-bit system.
#pragma once

#include <string>
#include <string_view>

namespace vcpack {

enum class ProgramKind {
  kPe32,      // a Windows program for a 32-bit processor
  kPe32Plus,  // a Windows program for a 64-bit processor
  kElf,       // a Linux (or other POSIX) program
  kScript,    // "#!" first, or a .cmd or .bat file, which cmd.exe runs
  kMsi,       // a compound file, as .msi, .msp and .mst files are
  kOther,
};

struct ProgramFormat {
  ProgramKind kind = ProgramKind::kOther;
  // "x86", "x86-64", "arm64", ...; null when the kind has no processor or
  // the image names one not listed here.
  const char* architecture = nullptr;
};

// The format of a file with content `content` (its first few hundred bytes
// are enough), stored as `name`.
ProgramFormat program_format(std::string_view content, std::string_view name);

// "PE32", "PE32+", "ELF", "script", "MSI" or "other".
const char* kind_name(ProgramKind kind);

// "PE32 for x86", "ELF for an unknown processor", "MSI", "other".
std::string describe(const ProgramFormat& format);

}  // namespace vcpack
