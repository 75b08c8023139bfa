#include "tools/vcpack/program_format.h"

#include <cctype>
#include <cstdint>

namespace vcpack {
namespace {

constexpr std::string_view kCompoundFileSignature{
    "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8};

// A little- or big-endian number of `size` bytes at `at`; none past the end.
bool read_number(std::string_view bytes, std::size_t at, std::size_t size,
                 bool big_endian, std::uint32_t* value) {
  if (at > bytes.size() || bytes.size() - at < size) return false;
  *value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const std::size_t index = big_endian ? at + i : at + size - 1 - i;
    *value = (*value << 8) | static_cast<unsigned char>(bytes[index]);
  }
  return true;
}

struct Machine {
  std::uint32_t number;
  const char* name;
};

constexpr Machine kPeMachines[] = {
    {0x14c, "x86"}, {0x8664, "x86-64"}, {0xaa64, "arm64"}, {0x1c4, "arm"}};
constexpr Machine kElfMachines[] = {
    {3, "x86"}, {62, "x86-64"}, {183, "arm64"}, {40, "arm"}, {243, "riscv"}};

template <std::size_t count>
const char* machine_name(const Machine (&machines)[count],
                         std::uint32_t number) {
  for (const Machine& machine : machines) {
    if (machine.number == number) return machine.name;
  }
  return nullptr;
}

// "MZ", then at the offset in 0x3C the "PE\0\0" signature, the machine and,
// 24 bytes on, the optional header's magic: 0x10B for PE32, 0x20B for PE32+.
// A DOS program has no such header.
bool read_pe(std::string_view content, ProgramFormat& format) {
  std::uint32_t header = 0, machine = 0, magic = 0;
  if (!read_number(content, 0x3C, 4, false, &header) ||
      header > content.size() ||
      content.substr(header, 4) != std::string_view("PE\0\0", 4) ||
      !read_number(content, std::size_t{header} + 4, 2, false, &machine) ||
      !read_number(content, std::size_t{header} + 24, 2, false, &magic) ||
      (magic != 0x10B && magic != 0x20B)) {
    return false;
  }
  format.kind = magic == 0x10B ? ProgramKind::kPe32 : ProgramKind::kPe32Plus;
  format.architecture = machine_name(kPeMachines, machine);
  return true;
}

// The machine is a number of the byte order that byte 5 names (1: little).
void read_elf(std::string_view content, ProgramFormat& format) {
  format.kind = ProgramKind::kElf;
  std::uint32_t machine = 0;
  if (content.size() > 5 &&
      read_number(content, 18, 2, content[5] == 2, &machine)) {
    format.architecture = machine_name(kElfMachines, machine);
  }
}

bool ends_with_ignoring_case(std::string_view text, std::string_view end) {
  if (text.size() < end.size()) return false;
  for (std::size_t i = 0; i < end.size(); ++i) {
    const auto c =
        static_cast<unsigned char>(text[text.size() - end.size() + i]);
    if (std::tolower(c) != end[i]) return false;
  }
  return true;
}

}  // namespace

ProgramFormat program_format(std::string_view content, std::string_view name) {
  ProgramFormat format;
  if (content.substr(0, 2) == "MZ" && read_pe(content, format)) return format;
  if (content.substr(0, 4) ==
      "\x7f"
      "ELF") {
    read_elf(content, format);
  } else if (content.substr(0, 2) == "#!" ||
             ends_with_ignoring_case(name, ".cmd") ||
             ends_with_ignoring_case(name, ".bat")) {
    format.kind = ProgramKind::kScript;
  } else if (content.substr(0, kCompoundFileSignature.size()) ==
             kCompoundFileSignature) {
    format.kind = ProgramKind::kMsi;
  }
  return format;
}

const char* kind_name(ProgramKind kind) {
  switch (kind) {
    case ProgramKind::kPe32:
      return "PE32";
    case ProgramKind::kPe32Plus:
      return "PE32+";
    case ProgramKind::kElf:
      return "ELF";
    case ProgramKind::kScript:
      return "script";
    case ProgramKind::kMsi:
      return "MSI";
    default:
      return "other";
  }
}

std::string describe(const ProgramFormat& format) {
  std::string text = kind_name(format.kind);
  const bool has_processor = format.kind == ProgramKind::kPe32 ||
                             format.kind == ProgramKind::kPe32Plus ||
                             format.kind == ProgramKind::kElf;
  if (!has_processor) return text;
  return text + " for " +
         (format.architecture ? format.architecture : "an unknown processor");
}

}  // namespace vcpack
