#include "bootstrap/elf_settings.h"

#include <cstdint>

#include "bootstrap/settings_format.h"

namespace vcboot {
namespace {

// Where the search reads the fields of the file header and of a section
// header, in ELF32 and in ELF64: the same fields, of 4 or 8 bytes.
struct ElfLayout {
  std::size_t header_size;
  std::size_t section_table;   // e_shoff
  std::size_t word;            // the size of e_shoff, sh_flags, sh_offset, ...
  std::size_t section_counts;  // e_shentsize, then e_shnum and e_shstrndx
  std::size_t entry_size;      // the least e_shentsize
  std::size_t sh_flags;
  std::size_t sh_offset;
  std::size_t sh_size;
};
constexpr ElfLayout kElf32 = {52, 0x20, 4, 0x2E, 40, 8, 16, 20};
constexpr ElfLayout kElf64 = {64, 0x28, 8, 0x3A, 64, 8, 24, 32};
constexpr std::size_t kShType = 4;

constexpr std::uint32_t kProgbits = 1;   // SHT_PROGBITS
constexpr std::uint64_t kAllocated = 2;  // SHF_ALLOC

class ElfReader {
 public:
  explicit ElfReader(std::string_view image) : image_(image) {}

  // Little-endian, `size` bytes at `offset`, which the caller has checked.
  std::uint64_t load(std::size_t offset, std::size_t size) const {
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;) {
      value = value << 8 | static_cast<unsigned char>(image_[offset + i]);
    }
    return value;
  }
  // Whether [offset, offset + size) lies within the image.
  bool within(std::uint64_t offset, std::uint64_t size) const {
    return offset <= image_.size() && size <= image_.size() - offset;
  }
  // The zero-terminated name at `offset` of the string table, or nothing.
  std::optional<std::string_view> name_at(std::uint64_t table,
                                          std::uint64_t table_size,
                                          std::uint64_t offset) const {
    if (offset >= table_size) return std::nullopt;
    const std::string_view names = image_.substr(
        static_cast<std::size_t>(table), static_cast<std::size_t>(table_size));
    const std::size_t end = names.find('\0', static_cast<std::size_t>(offset));
    if (end == std::string_view::npos) return std::nullopt;
    return names.substr(static_cast<std::size_t>(offset),
                        end - static_cast<std::size_t>(offset));
  }

 private:
  std::string_view image_;
};

}  // namespace

std::optional<ElfSettingsRoom> find_elf_settings_room(std::string_view image,
                                                      std::string& error) {
  if (image.size() < 16 || image.substr(0, 4) != "\177ELF") {
    error = "the stub is no ELF image";
    return std::nullopt;
  }
  // The POSIX stubs are Linux programs for x86-64 (ELF64) and i686 (ELF32).
  if ((image[4] != 1 && image[4] != 2) || image[5] != 1) {
    error = "the stub is no little-endian ELF32 or ELF64 image";
    return std::nullopt;
  }
  const ElfLayout& layout = image[4] == 1 ? kElf32 : kElf64;
  const ElfReader elf(image);
  if (!elf.within(0, layout.header_size)) {
    error = "the stub's ELF header is cut short";
    return std::nullopt;
  }
  const std::uint64_t table = elf.load(layout.section_table, layout.word);
  const std::uint64_t entry_size = elf.load(layout.section_counts, 2);
  const std::uint64_t count = elf.load(layout.section_counts + 2, 2);
  const std::uint64_t names_index = elf.load(layout.section_counts + 4, 2);
  if (count == 0 || entry_size < layout.entry_size || names_index >= count ||
      !elf.within(table, count * entry_size)) {
    error = "the stub's ELF section headers are missing or damaged";
    return std::nullopt;
  }
  const auto header = [&](std::uint64_t index) {
    return static_cast<std::size_t>(table + index * entry_size);
  };
  const auto field = [&](std::uint64_t index, std::size_t at) {
    return elf.load(header(index) + at, layout.word);
  };
  const std::uint64_t names = field(names_index, layout.sh_offset);
  const std::uint64_t names_size = field(names_index, layout.sh_size);
  if (!elf.within(names, names_size)) {
    error = "the stub's ELF section names lie outside the file";
    return std::nullopt;
  }
  std::optional<std::uint64_t> found;
  for (std::uint64_t i = 0; i < count; ++i) {
    const auto name = elf.name_at(names, names_size, elf.load(header(i), 4));
    if (!name || *name != settings_format::kElfSectionName) continue;
    if (found) {
      error = std::string("the stub has two sections named ") +
              settings_format::kElfSectionName;
      return std::nullopt;
    }
    found = i;
  }
  if (!found) {
    error = std::string("the stub has no section ") +
            settings_format::kElfSectionName +
            " for settings: it was built without room for them";
    return std::nullopt;
  }
  const std::uint64_t offset = field(*found, layout.sh_offset);
  const std::uint64_t size = field(*found, layout.sh_size);
  if (elf.load(header(*found) + kShType, 4) != kProgbits ||
      (field(*found, layout.sh_flags) & kAllocated) == 0 ||
      size != settings_format::kMaxBlockSize || !elf.within(offset, size)) {
    error = std::string("the stub's section ") +
            settings_format::kElfSectionName + " is not " +
            std::to_string(settings_format::kMaxBlockSize) +
            " loaded bytes within the file";
    return std::nullopt;
  }
  return ElfSettingsRoom{static_cast<std::size_t>(offset),
                         static_cast<std::size_t>(size)};
}

SettingsWrite fill_elf_settings(std::string_view image,
                                std::string_view block) {
  SettingsWrite result;
  const std::optional<ElfSettingsRoom> room =
      find_elf_settings_room(image, result.error);
  if (!room) return result;
  const std::string_view held = image.substr(room->offset, room->size);
  if (!is_empty_settings_room(held) && !parse_settings_block(held)) {
    result.error = std::string("the stub's section ") +
                   settings_format::kElfSectionName +
                   " holds neither zeros nor a settings block";
    return result;
  }
  if (block.size() > room->size || !parse_settings_block(block)) {
    result.error = "the settings block to write is damaged or too large";
    return result;
  }
  result.bytes = std::string(image);
  result.bytes.replace(room->offset, room->size, room->size, '\0');
  result.bytes.replace(room->offset, block.size(), block);
  return result;
}

}  // namespace vcboot
