// Reads a package's settings block (settings_format.h) into its entries, as
// a whole or not at all: the bootstrap runs on defaults rather than on some
// of a damaged block.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vcboot {

struct SettingsEntry {
  std::string name;
  std::string value;
  bool operator==(const SettingsEntry& other) const {
    return name == other.name && value == other.value;
  }
};
using SettingsEntries = std::vector<SettingsEntry>;

// A name that a block may hold: 1 to kMaxNameLength bytes of a-z, 0-9, '.'
// and '-'.
bool is_valid_setting_name(std::string_view name);

// A value that a block may hold: at most kMaxValueLength bytes, none zero
// (values reach the system as zero-terminated texts).
bool is_valid_setting_value(std::string_view value);

// The entries of the block at the start of `room`, in the block's order;
// nothing unless the whole block is sound: the room at most kMaxBlockSize
// bytes, the magic, the length within the room, the digest, version 1, the
// entry count within its bound, every name and value valid, no name twice,
// the entries ending exactly at the length, and only zero bytes behind it.
std::optional<SettingsEntries> parse_settings_block(std::string_view room);

// Whether `room` holds no block at all: it is empty or all zero, as in a
// stub that no settings were written into.
inline bool is_empty_settings_room(std::string_view room) {
  return room.find_first_not_of('\0') == std::string_view::npos;
}

}  // namespace vcboot
