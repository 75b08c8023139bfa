#include "bootstrap/settings_block.h"

#include <cstddef>
#include <cstdint>

#include "archive/little_endian.h"
#include "archive/md5_digest.h"
#include "bootstrap/settings_format.h"

namespace vcboot {
namespace {

namespace format = settings_format;

// Reads the block's entries forwards; every read is checked against the
// block's end, so a length field can never lead it outside.
class EntryReader {
 public:
  explicit EntryReader(std::string_view block) : block_(block) {}

  bool read_text(std::size_t max_length, std::string& text) {
    if (block_.size() - position_ < 2) return false;
    const std::size_t length = load_le16(bytes() + position_);
    position_ += 2;
    if (length > max_length || block_.size() - position_ < length) {
      return false;
    }
    text.assign(block_.data() + position_, length);
    position_ += length;
    return true;
  }
  bool at_end() const { return position_ == block_.size(); }
  void skip(std::size_t count) { position_ += count; }

 private:
  const unsigned char* bytes() const {
    return reinterpret_cast<const unsigned char*>(block_.data());
  }

  std::string_view block_;
  std::size_t position_ = 0;
};

bool is_name_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-';
}

bool names_once(const SettingsEntries& entries) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (entries[i].name == entries[j].name) return false;
    }
  }
  return true;
}

}  // namespace

bool is_valid_setting_name(std::string_view name) {
  if (name.empty() || name.size() > format::kMaxNameLength) return false;
  for (const char c : name) {
    if (!is_name_byte(c)) return false;
  }
  return true;
}

bool is_valid_setting_value(std::string_view value) {
  return value.size() <= format::kMaxValueLength &&
         value.find('\0') == std::string_view::npos;
}

std::optional<SettingsEntries> parse_settings_block(std::string_view room) {
  if (room.size() < format::kHeaderSize ||
      room.size() > format::kMaxBlockSize ||
      room.substr(0, format::kMagicSize) != format::kMagic) {
    return std::nullopt;
  }
  const auto* header = reinterpret_cast<const unsigned char*>(room.data());
  const std::size_t length = load_le32(header + format::kLengthOffset);
  if (length < format::kHeaderSize || length > room.size() ||
      !is_empty_settings_room(room.substr(length))) {
    return std::nullopt;
  }
  const std::string_view covered =
      room.substr(format::kLengthOffset, length - format::kLengthOffset);
  if (Md5Digest(covered).digest_bytes() !=
      room.substr(format::kDigestOffset, format::kDigestSize)) {
    return std::nullopt;
  }
  const std::size_t count = load_le16(header + format::kCountOffset);
  if (load_le16(header + format::kVersionOffset) != format::kVersion ||
      count > format::kMaxEntries) {
    return std::nullopt;
  }
  EntryReader reader(room.substr(0, length));
  reader.skip(format::kHeaderSize);
  SettingsEntries entries(count);
  for (SettingsEntry& entry : entries) {
    if (!reader.read_text(format::kMaxNameLength, entry.name) ||
        !is_valid_setting_name(entry.name) ||
        !reader.read_text(format::kMaxValueLength, entry.value) ||
        !is_valid_setting_value(entry.value)) {
      return std::nullopt;
    }
  }
  if (!reader.at_end() || !names_once(entries)) return std::nullopt;
  return entries;
}

}  // namespace vcboot
