// The settings room of an ELF stub: the section that the POSIX bootstrap
// keeps for its settings block (settings_format::kElfSectionName), found by
// name in the section headers and filled in place in a package's copy of
// the stub. For vcpack and the tests; never linked into the bootstrap.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "bootstrap/settings_writer.h"

namespace vcboot {

// Where the room lies in the image file.
struct ElfSettingsRoom {
  std::size_t offset = 0;
  std::size_t size = 0;
};

// The room of a little-endian ELF32 or ELF64 image (the POSIX stubs are
// Linux programs for i686 and x86-64): the one section of that name, allocated,
// with bytes in the file, exactly kMaxBlockSize long and within the image.
// Nothing, with `error` saying why, for anything else, such as a stub built
// without the room.
std::optional<ElfSettingsRoom> find_elf_settings_room(std::string_view image,
                                                      std::string& error);

// `image` with `block` (from write_settings_block) at the start of its room
// and zeros behind it. Refused, with a message, when the image has no room,
// when the room holds neither zeros nor a sound block (it is no room of
// ours), and when `block` is no sound block: a bootstrap must read exactly
// what was meant.
SettingsWrite fill_elf_settings(std::string_view image, std::string_view block);

}  // namespace vcboot
