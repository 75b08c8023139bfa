#include "bootstrap/elf_settings.h"

#include <cstdint>

#include "bootstrap/settings_format.h"

namespace vcboot {
namespace {

// Where the search reads ELF64's fields: the file header's, then a section
// header's.
constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kSectionTableOffset = 0x28;  // e_shoff
constexpr std::size_t kSectionCounts =
    0x3A;  // e_shentsize, e_shnum, e_shstrndx
constexpr std::size_t kSectionEntrySize = 64;  // the least e_shentsize
constexpr std::size_t kShType = 4;
constexpr std::size_t kShFlags = 8;
constexpr std::size_t kShOffset = 24;
constexpr std::size_t kShSize = 32;

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
  // The POSIX stubs are x86-64 Linux programs.
  if (image[4] != 2 || image[5] != 1) {
    error = "the stub is no little-endian ELF64 image";
    return std::nullopt;
  }
  const ElfReader elf(image);
  if (!elf.within(0, kHeaderSize)) {
    error = "the stub's ELF header is cut short";
    return std::nullopt;
  }
  const std::uint64_t table = elf.load(kSectionTableOffset, 8);
  const std::uint64_t entry_size = elf.load(kSectionCounts, 2);
  const std::uint64_t count = elf.load(kSectionCounts + 2, 2);
  const std::uint64_t names_index = elf.load(kSectionCounts + 4, 2);
  if (count == 0 || entry_size < kSectionEntrySize || names_index >= count ||
      !elf.within(table, count * entry_size)) {
    error = "the stub's ELF section headers are missing or damaged";
    return std::nullopt;
  }
  const auto header = [&](std::uint64_t index) {
    return static_cast<std::size_t>(table + index * entry_size);
  };
  const std::uint64_t names = elf.load(header(names_index) + kShOffset, 8);
  const std::uint64_t names_size = elf.load(header(names_index) + kShSize, 8);
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
  const std::size_t at = header(*found);
  const std::uint64_t offset = elf.load(at + kShOffset, 8);
  const std::uint64_t size = elf.load(at + kShSize, 8);
  if (elf.load(at + kShType, 4) != kProgbits ||
      (elf.load(at + kShFlags, 8) & kAllocated) == 0 ||
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
