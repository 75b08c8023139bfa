#include "bootstrap/settings_writer.h"

#include <cstdint>
#include <cstdio>

#include "archive/md5_digest.h"
#include "bootstrap/log_template.h"
#include "bootstrap/package_settings.h"
#include "bootstrap/settings_format.h"

namespace vcboot {
namespace {

namespace format = settings_format;

void append_le16(std::string& out, std::size_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void store_le(std::string& out, std::size_t offset, std::size_t value,
              std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    out[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

SettingsWrite refused(std::string error) { return {std::string(), error}; }

// What is wrong with one entry, or nothing.
std::string entry_error(const SettingsEntry& entry) {
  const std::string name = quoted_setting_text(entry.name);
  if (!is_valid_setting_name(entry.name)) {
    return "setting name " + name + " is not valid: 1 to " +
           std::to_string(format::kMaxNameLength) +
           " characters of a-z, 0-9, '.' and '-'";
  }
  if (entry.value.size() > format::kMaxValueLength) {
    return "the value of " + name + " is " +
           std::to_string(entry.value.size()) + " bytes long (at most " +
           std::to_string(format::kMaxValueLength) + ")";
  }
  if (!is_valid_setting_value(entry.value)) {
    return "the value of " + name + " holds a zero byte";
  }
  if (is_valid_setting(entry.name, entry.value)) return std::string();
  if (entry.name == setting_names::kGuardName) {
    return "guard-name must be 1 to " + std::to_string(kMaxGuardNameLength) +
           " printable ASCII characters without '\\' or '/', not " +
           quoted_setting_text(entry.value);
  }
  if (entry.name == setting_names::kLog) {
    return "log must be a full path of 1 to " +
           std::to_string(kMaxLogTemplateLength) +
           " bytes, beginning with %TEMP%, a separator or a drive (C:\\), "
           "whose only references are %TEMP%, %time% and %pid%, not " +
           quoted_setting_text(entry.value);
  }
  return name + " cannot be " + quoted_setting_text(entry.value);
}

}  // namespace

SettingsWrite write_settings_block(const SettingsEntries& entries) {
  if (entries.size() > format::kMaxEntries) {
    return refused(std::to_string(entries.size()) +
                   " settings are too many (at most " +
                   std::to_string(format::kMaxEntries) + ")");
  }
  std::string block(format::kHeaderSize, '\0');
  block.replace(0, format::kMagicSize, format::kMagic);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string error = entry_error(entries[i]);
    if (!error.empty()) return refused(error);
    for (std::size_t j = 0; j < i; ++j) {
      if (entries[j].name == entries[i].name) {
        return refused("setting " + quoted_setting_text(entries[i].name) +
                       " is given twice");
      }
    }
    append_le16(block, entries[i].name.size());
    block += entries[i].name;
    append_le16(block, entries[i].value.size());
    block += entries[i].value;
  }
  if (block.size() > format::kMaxBlockSize) {
    return refused("the settings take " + std::to_string(block.size()) +
                   " bytes (at most " + std::to_string(format::kMaxBlockSize) +
                   ")");
  }
  store_le(block, format::kLengthOffset, block.size(), 4);
  store_le(block, format::kVersionOffset, format::kVersion, 2);
  store_le(block, format::kCountOffset, entries.size(), 2);
  const std::string digest =
      Md5Digest(std::string_view(block).substr(format::kLengthOffset))
          .digest_bytes();
  block.replace(format::kDigestOffset, format::kDigestSize, digest);
  return {block, std::string()};
}

bool is_known_setting_name(std::string_view name) {
  for (const char* setting :
       {setting_names::kGuardName, setting_names::kExitCode,
        setting_names::kProductName, setting_names::kDownloadAddress,
        setting_names::kUi, setting_names::kLog}) {
    if (name == setting) return true;
  }
  return find_message_text(name).has_value();
}

std::string quoted_setting_text(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E || c == '"' || c == '\\') {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace vcboot
