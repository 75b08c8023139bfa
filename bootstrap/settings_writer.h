// Writes a package's settings block (settings_format.h) for vcpack and the
// tests, with the same bounds and rules as the bootstrap's reader, so that
// whatever it writes a bootstrap reads whole. Linked into tools and tests,
// never into the bootstrap.
//
//   const SettingsWrite block = write_settings_block(
//       {{"guard-name", "Acme.Setup"}, {"invalid-archive.text", german}});
//   if (!block.ok()) fail(block.error);
//   // Windows: block.bytes as resource RT_RCDATA 1, neutral language.
//   // ELF: fill_elf_settings(stub, block.bytes) (elf_settings.h).
#pragma once

#include <string>
#include <string_view>

#include "bootstrap/settings_block.h"

namespace vcboot {

// Bytes, or what is wrong with the input (then no bytes): one sentence
// naming the setting and the rule, with any byte outside printable ASCII
// written as \xNN.
struct SettingsWrite {
  std::string bytes;
  std::string error;
  bool ok() const { return error.empty(); }
};

// A block holding `entries` in their order. Refuses more than kMaxEntries
// entries, a name that is not valid or comes twice, a value that is too
// long or holds a zero byte, a value that its setting cannot take
// (package_settings.h), and a block over kMaxBlockSize bytes. Names that
// this bootstrap does not know are written, for later bootstraps; a tool
// asks is_known_setting_name to refuse a misspelt one.
SettingsWrite write_settings_block(const SettingsEntries& entries);

// Whether this bootstrap reads `name`: a setting of package_settings.h or
// the name of a caption or text (util/message_texts.h).
bool is_known_setting_name(std::string_view name);

// `text` in double quotes, each byte outside printable ASCII (and '"' and
// '\') written as \xNN, for the error messages.
std::string quoted_setting_text(std::string_view text);

}  // namespace vcboot
