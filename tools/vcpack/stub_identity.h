// A package's own identity, written into its copy of the stub: the icon,
// the version resource and the execution level that Windows shows and reads
// from the program file, and the settings block that the bootstrap reads
// before anything else (docs/package-format.md, "Settings"). The installed
// stubs are never changed; a package that sets nothing carries its stub
// byte for byte.
//
//   Windows stub: resources, rebuilt by pe_resource_tree.h; the settings
//                 block as resource RT_RCDATA 1, language neutral.
//   ELF stub:     the settings block in its room (bootstrap/elf_settings.h);
//                 it has no resources.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bootstrap/settings_block.h"
#include "tools/vcpack/pe_resource_tree.h"

namespace vcpack {

// The version resource's texts that a package may set.
inline constexpr const char* kVersionInfoKeys[] = {
    "ProductName",     "CompanyName",     "FileDescription", "LegalCopyright",
    "ProductVersion",  "FileVersion",     "Comments",        "InternalName",
    "LegalTrademarks", "OriginalFilename"};
// A version text's bound, in UTF-16 units.
inline constexpr std::size_t kMaxVersionTextLength = 1024;

inline constexpr const char* kExecutionLevels[] = {
    "asInvoker", "highestAvailable", "requireAdministrator"};

// The settings that take one text each, by option and by the manifest's
// [identity] key, which is the setting's name. A setting that the bootstrap
// learns is one more row.
struct PlainSetting {
  const char* option;      // "--download-address"
  const char* setting;     // "download-address", also the manifest key
  const char* value_name;  // "URL"
  const char* help;
  // Where the manifest takes it: in [identity], or at its top for what is
  // about how the package runs rather than what it is.
  bool top_level = false;
};
inline constexpr PlainSetting kPlainSettings[] = {
    {"--product-name", "product-name", "NAME",
     "The product that the default \"Invalid Archive!\" text names"},
    {"--download-address", "download-address", "URL",
     "Where the default \"Invalid Archive!\" text sends the user for a whole "
     "download"},
    {"--guard-name", "guard-name", "NAME",
     "The single-instance guard's name (default Vellumcrest.Installation): "
     "packages under one name never run at once"},
    {"--ui", "ui", "none",
     "\"none\": the package shows no message box, for unattended deployment",
     true},
    {"--log", "log", "TEMPLATE",
     "Write a support log to TEMPLATE, a full path that may hold %TEMP%, "
     "%time% and %pid%",
     true},
};

struct VersionText {
  std::string key;   // one of kVersionInfoKeys
  std::string text;  // UTF-8
  std::string origin;
};

struct SettingValue {
  std::string name;
  std::string value;  // UTF-8 until the texts are encoded
  std::string origin;
  // Made by vcpack rather than asked for (exit-code, from the archive's
  // "exitcode"): a stub without room for it draws a warning, not a refusal.
  bool derived = false;
};

struct StubIdentity {
  std::string icon;  // the .ico file's path; empty: the stub's own
  std::vector<VersionText> version_info;
  std::string version;          // "1.2.3.4"; empty: the stub's own
  std::string execution_level;  // empty: the stub's own
  std::vector<SettingValue> settings;

  bool has_resources() const {
    return !icon.empty() || !version_info.empty() || !version.empty() ||
           !execution_level.empty();
  }
};

// Checks of one option's text; each returns what is wrong, or nothing.
std::string version_key_error(const std::string& key);
std::string version_text_error(const VersionText& text);
std::string version_error(const std::string& version);
std::string execution_level_error(const std::string& level);
// A caption's or text's name, such as "invalid-archive.text".
std::string text_name_error(const std::string& name);

// Adds `value`, or replaces a setting of its name: of a setting given twice,
// the later one (the command line's over the manifest's) holds.
void set_setting(StubIdentity& identity, SettingValue value);
// The same for a version text.
void set_version_text(StubIdentity& identity, VersionText text);

// The RT_ICON resources (numbered 1, 2, ...) and the RT_GROUP_ICON 1 of a
// standard .ico file, or what is wrong with it.
ResourceList icon_resources(std::string_view ico);
// An .ico file's bound: some hundred kilobytes make every size up to 256.
inline constexpr std::size_t kMaxIconFileSize = 4u << 20;
inline constexpr std::size_t kMaxIconImages = 64;

// The stub `image` with `identity` written into it (its settings already in
// the code page they are stored in), and `icon` the bytes of its icon file.
// `bytes` is `image` itself when the identity sets nothing.
struct StubWrite {
  std::string bytes;
  std::string error;  // "it is signed: ...", to follow the stub's name
  std::vector<std::string> warnings;
  bool ok() const { return error.empty(); }
};
StubWrite write_stub_identity(std::string_view image,
                              const StubIdentity& identity,
                              std::string_view icon);

// The settings a stub carries, as `vcpack list` shows them.
struct StubSettings {
  enum class Block {
    kNoRoom,   // neither a PE image nor an ELF image with the room
    kNone,     // no block: every default
    kSound,    // a block the bootstrap reads
    kDamaged,  // a block it takes for none: every default
  };
  Block block = Block::kNoRoom;
  std::string room;  // the bytes the bootstrap reads the block from
  vcboot::SettingsEntries entries;  // kSound: every entry, in the block's order
};
StubSettings read_stub_settings(std::string_view image);

// Whether the bootstrap does the same with `entry` as without it.
bool is_default_setting(const vcboot::SettingsEntry& entry);

}  // namespace vcpack
