#include "tools/vcpack/stub_identity.h"

#include <algorithm>
#include <optional>

#include "bootstrap/elf_settings.h"
#include "bootstrap/package_settings.h"
#include "bootstrap/settings_format.h"
#include "bootstrap/settings_writer.h"
#include "tools/vcpack/pe_resources.h"
#include "tools/vcpack/program_format.h"
#include "util/messages.h"

namespace vcpack {
namespace {

namespace format = vcboot::settings_format;

constexpr std::uint16_t kNeutral = 0;
constexpr std::uint16_t kUsEnglish = 0x409;
constexpr char kDefaultTableKey[] = "040904B0";  // U.S. English, UTF-16
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr std::size_t kFixedInfoSize = 52;

std::uint32_t load(std::string_view data, std::size_t at, std::size_t size) {
  std::uint32_t value = 0;
  for (std::size_t i = size; i-- > 0;) {
    value = value << 8 | static_cast<unsigned char>(data[at + i]);
  }
  return value;
}

void append(std::string& out, std::uint32_t value, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    out += static_cast<char>(value >> (8 * i) & 0xFF);
  }
}

void store(std::string& out, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    out[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
  }
}

// `text` in UTF-16; none when it is no UTF-8.
std::optional<std::u16string> utf16_of(std::string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t size = byte < 0x80   ? 1
                             : byte < 0xC2 ? 0
                             : byte < 0xE0 ? 2
                             : byte < 0xF0 ? 3
                             : byte < 0xF5 ? 4
                                           : 0;
    if (size == 0 || i + size > text.size()) return std::nullopt;
    char32_t code = size == 1 ? byte : byte & (0x7Fu >> size);
    for (std::size_t k = 1; k < size; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = code << 6 | (next & 0x3F);
    }
    const char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < lowest[size] || code > 0x10FFFF ||
        (code >= 0xD800 && code < 0xE000)) {
      return std::nullopt;
    }
    if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += size;
  }
  return out;
}

std::string utf16_bytes(const std::u16string& text) {
  std::string out;
  for (const char16_t unit : text) append(out, unit, 2);
  return out;
}

// --- The icon

bool is_icon_image(std::string_view image) {
  if (image.substr(0, 8) == std::string_view("\x89PNG\r\n\x1A\n", 8)) {
    return true;
  }
  // A BITMAPINFOHEADER or one of its later forms.
  if (image.size() < 4) return false;
  const std::uint32_t header = load(image, 0, 4);
  return header == 40 || header == 108 || header == 124;
}

// --- The version resource

// One block: length, value length, type, key, value, children, each part at
// a 4-byte boundary. `value_length` counts bytes, or UTF-16 units of a text.
std::string version_block(const std::u16string& key, const std::string& value,
                          std::size_t value_length, bool text,
                          const std::vector<std::string>& children) {
  std::string out(6, '\0');
  out += utf16_bytes(key + u'\0');
  out.resize((out.size() + 3) & ~std::size_t{3}, '\0');
  out += value;
  for (const std::string& child : children) {
    out.resize((out.size() + 3) & ~std::size_t{3}, '\0');
    out += child;
  }
  out[0] = static_cast<char>(out.size() & 0xFF);
  out[1] = static_cast<char>(out.size() >> 8 & 0xFF);
  out[2] = static_cast<char>(value_length & 0xFF);
  out[3] = static_cast<char>(value_length >> 8 & 0xFF);
  out[4] = text ? 1 : 0;
  return out;
}

// "1.2.3.4" (1 to 4 numbers, the missing ones 0) as the high and low
// halves of a fixed version.
std::optional<std::pair<std::uint32_t, std::uint32_t>> version_numbers(
    const std::string& version) {
  std::uint32_t parts[4] = {};
  std::size_t count = 0;
  for (std::size_t at = 0;; ++count) {
    const std::size_t end = std::min(version.find('.', at), version.size());
    const std::string part = version.substr(at, end - at);
    if (count == 4 || part.empty() || part.size() > 5 ||
        part.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(part) > 0xFFFF) {
      return std::nullopt;
    }
    parts[count] = static_cast<std::uint32_t>(std::stoul(part));
    if (end == version.size()) break;
    at = end + 1;
  }
  return std::make_pair(parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]);
}

std::string default_fixed_info() {
  std::string fixed;
  for (const std::uint32_t field :
       {kFixedInfoSignature, 0x10000u, 0u, 0u, 0u, 0u,
        0x3Fu,     // FileFlagsMask: VS_FFI_FILEFLAGSMASK
        0u,        // FileFlags
        0x40004u,  // FileOS: VOS_NT_WINDOWS32
        1u,        // FileType: VFT_APP
        0u, 0u, 0u}) {
    append(fixed, field, 4);
  }
  return fixed;
}

// The stub's version resource with the package's texts and numbers in it:
// its other texts stay, the package's replace those of the same key and
// follow them. --version sets the numbers, and the texts FileVersion and
// ProductVersion where the package gives none.
std::optional<std::string> version_resource(
    const std::optional<VersionResource>& stub, const StubIdentity& identity,
    std::string& error) {
  VersionResource version = stub.value_or(VersionResource());
  std::string fixed =
      version.fixed_info.size() == kFixedInfoSize &&
              load(version.fixed_info, 0, 4) == kFixedInfoSignature
          ? version.fixed_info
          : default_fixed_info();
  std::vector<VersionText> texts = identity.version_info;
  if (!identity.version.empty()) {
    const auto numbers = version_numbers(identity.version);
    for (const std::size_t at : {std::size_t{8}, std::size_t{16}}) {
      store(fixed, at, numbers->first);
      store(fixed, at + 4, numbers->second);
    }
    for (const char* key : {"FileVersion", "ProductVersion"}) {
      const bool given =
          std::any_of(texts.begin(), texts.end(),
                      [&](const VersionText& text) { return text.key == key; });
      if (!given) texts.push_back({key, identity.version, "--version"});
    }
  }
  for (const VersionText& text : texts) {
    auto found = std::find_if(
        version.strings.begin(), version.strings.end(),
        [&](const auto& string) { return string.first == text.key; });
    if (found == version.strings.end()) {
      version.strings.emplace_back(text.key, text.text);
    } else {
      found->second = text.text;
    }
  }
  std::vector<std::string> strings;
  for (const auto& [key, text] : version.strings) {
    const auto key16 = utf16_of(key);
    const auto text16 = utf16_of(text);
    if (!key16 || !text16) {
      error = "the version text " + key + " is no UTF-8";
      return std::nullopt;
    }
    strings.push_back(version_block(*key16, utf16_bytes(*text16 + u'\0'),
                                    text16->size() + 1, true, {}));
  }
  // The table's key names its language and code page in hexadecimal, which
  // the translation repeats; a stub's own that does not is replaced.
  const bool hex_key = version.table_key.size() == 8 &&
                       version.table_key.find_first_not_of(
                           "0123456789abcdefABCDEF") == std::string::npos;
  const std::string key = hex_key ? version.table_key : kDefaultTableKey;
  std::string translation;
  append(translation,
         static_cast<std::uint32_t>(std::stoul(key.substr(0, 4), nullptr, 16)),
         2);
  append(translation,
         static_cast<std::uint32_t>(std::stoul(key.substr(4), nullptr, 16)), 2);
  const std::string block = version_block(
      u"VS_VERSION_INFO", fixed, kFixedInfoSize, false,
      {version_block(u"StringFileInfo", "", 0, true,
                     {version_block(*utf16_of(key), "", 0, true, strings)}),
       version_block(
           u"VarFileInfo", "", 0, true,
           {version_block(u"Translation", translation, 4, false, {})})});
  if (block.size() > 0xFFFF) {
    error =
        "the version texts take more than the 65,535 bytes of a version "
        "resource";
    return std::nullopt;
  }
  return block;
}

// --- The manifest

// Whether `at` lies inside an XML comment of `text`.
bool in_comment(const std::string& text, std::size_t at) {
  const std::size_t open = text.rfind("<!--", at);
  if (open == std::string::npos) return false;
  const std::size_t close = text.find("-->", open + 4);
  return close == std::string::npos || close > at;
}

// `manifest` with its requestedExecutionLevel's level set to `level`.
std::optional<std::string> with_execution_level(std::string manifest,
                                                const std::string& level,
                                                std::string& error) {
  for (std::size_t at = manifest.find("<requestedExecutionLevel");
       at != std::string::npos;
       at = manifest.find("<requestedExecutionLevel", at + 1)) {
    if (in_comment(manifest, at)) continue;
    const std::size_t end = manifest.find('>', at);
    for (std::size_t name = manifest.find("level", at);
         name != std::string::npos && name < end;
         name = manifest.find("level", name + 1)) {
      const char before = manifest[name - 1];
      if (before != ' ' && before != '\t' && before != '\r' && before != '\n')
        continue;
      std::size_t next = manifest.find_first_not_of(" \t\r\n", name + 5);
      if (next >= end || manifest[next] != '=') continue;
      next = manifest.find_first_not_of(" \t\r\n", next + 1);
      if (next >= end || (manifest[next] != '"' && manifest[next] != '\'')) {
        continue;
      }
      const std::size_t close = manifest.find(manifest[next], next + 1);
      if (close >= end) break;
      return manifest.replace(next + 1, close - next - 1, level);
    }
  }
  error = "its manifest has no requestedExecutionLevel element with a level";
  return std::nullopt;
}

// --- Windows stubs

bool same_type(const Resource& resource, std::uint16_t type) {
  return !resource.type.named && resource.type.number == type;
}

void remove_type(std::vector<Resource>& resources, std::uint16_t type,
                 const ResourceId* name = nullptr) {
  resources.erase(
      std::remove_if(resources.begin(), resources.end(),
                     [&](const Resource& resource) {
                       return same_type(resource, type) &&
                              (name == nullptr || resource.name == *name);
                     }),
      resources.end());
}

const Resource* first_of(const std::vector<Resource>& resources,
                         std::uint16_t type) {
  for (const Resource& resource : resources) {
    if (same_type(resource, type)) return &resource;
  }
  return nullptr;
}

StubWrite pe_identity(std::string_view image, const StubIdentity& identity,
                      std::string_view icon, const std::string& settings) {
  StubWrite result;
  ResourceList tree = read_resource_tree(image);
  if (!tree.ok()) {
    result.error = tree.error;
    return result;
  }
  std::vector<Resource>& resources = tree.resources;
  if (!identity.icon.empty()) {
    ResourceList icons = icon_resources(icon);
    if (!icons.ok()) {
      result.error = "the icon " + identity.icon + " " + icons.error;
      return result;
    }
    remove_type(resources, kIconResource);
    remove_type(resources, kGroupIconResource);
    resources.insert(resources.end(), icons.resources.begin(),
                     icons.resources.end());
  }
  if (!identity.version_info.empty() || !identity.version.empty()) {
    const Resource* stub = first_of(resources, kVersionInfoResource);
    Resource version = stub ? *stub : Resource();
    if (!stub) {
      version.type = ResourceId::of(kVersionInfoResource);
      version.name = ResourceId::of(1);
      version.language = ResourceId::of(kUsEnglish);
    }
    const auto data = version_resource(
        stub ? parse_version_resource(stub->data) : std::nullopt, identity,
        result.error);
    if (!data) return result;
    version.data = *data;
    remove_type(resources, kVersionInfoResource);
    resources.push_back(version);
  }
  if (!identity.execution_level.empty()) {
    const Resource* stub = first_of(resources, kManifestFileResource);
    if (!stub) {
      result.error = "it has no manifest, whose execution level to set";
      return result;
    }
    Resource manifest = *stub;
    const auto text = with_execution_level(
        manifest.data, identity.execution_level, result.error);
    if (!text) return result;
    manifest.data = *text;
    for (Resource& resource : resources) {
      if (same_type(resource, kManifestFileResource) &&
          resource.name == manifest.name &&
          resource.language == manifest.language) {
        resource = manifest;
      }
    }
  }
  if (!settings.empty()) {
    const ResourceId number = ResourceId::of(format::kResourceId);
    remove_type(resources, format::kResourceType, &number);
    resources.push_back({ResourceId::of(format::kResourceType), number,
                         ResourceId::of(format::kResourceLanguage), 0,
                         settings});
  }
  const ImageWrite written = write_resource_tree(image, resources);
  result.bytes = written.bytes;
  result.error = written.error;
  return result;
}

std::string settings_block(const StubIdentity& identity, std::string& error) {
  vcboot::SettingsEntries entries;
  for (const SettingValue& setting : identity.settings) {
    // Each on its own first, so that a refusal names where it was given.
    const vcboot::SettingsWrite one =
        vcboot::write_settings_block({{setting.name, setting.value}});
    if (!one.ok()) {
      error = setting.origin + ": " + one.error;
      return std::string();
    }
    entries.push_back({setting.name, setting.value});
  }
  if (entries.empty()) return std::string();
  const vcboot::SettingsWrite block = vcboot::write_settings_block(entries);
  error = block.error;
  return block.bytes;
}

bool only_derived(const StubIdentity& identity) {
  return !identity.has_resources() &&
         std::all_of(
             identity.settings.begin(), identity.settings.end(),
             [](const SettingValue& setting) { return setting.derived; });
}

}  // namespace

std::string version_key_error(const std::string& key) {
  for (const char* known : kVersionInfoKeys) {
    if (key == known) return std::string();
  }
  std::string keys;
  for (const char* known : kVersionInfoKeys) {
    keys += (keys.empty() ? "" : ", ") + std::string(known);
  }
  return "no version text " + vcboot::quoted_setting_text(key) +
         "; the keys are " + keys;
}

std::string version_text_error(const VersionText& text) {
  const auto units = utf16_of(text.text);
  if (!units) return text.key + " is no UTF-8";
  if (units->size() > kMaxVersionTextLength) {
    return text.key + " is " + std::to_string(units->size()) +
           " characters long (at most " +
           std::to_string(kMaxVersionTextLength) + ")";
  }
  if (units->find(u'\0') != std::u16string::npos) {
    return text.key + " holds a zero character";
  }
  return std::string();
}

std::string version_error(const std::string& version) {
  if (version_numbers(version)) return std::string();
  return "the version " + vcboot::quoted_setting_text(version) +
         " is not 1 to 4 numbers of 0 to 65535 parted by dots, such as "
         "1.2.3.4";
}

std::string execution_level_error(const std::string& level) {
  for (const char* known : kExecutionLevels) {
    if (level == known) return std::string();
  }
  return "the execution level is asInvoker, highestAvailable or "
         "requireAdministrator, not " +
         vcboot::quoted_setting_text(level);
}

std::string text_name_error(const std::string& name) {
  if (vcboot::find_message_text(name)) return std::string();
  std::string names;
  for (std::size_t i = 0; i < vcboot::kMessageTextCount; ++i) {
    names +=
        (names.empty() ? "" : ", ") + std::string(vcboot::message_text_name(
                                          static_cast<vcboot::MessageText>(i)));
  }
  return "no text named " + vcboot::quoted_setting_text(name) +
         "; the texts are " + names;
}

void set_setting(StubIdentity& identity, SettingValue value) {
  for (SettingValue& setting : identity.settings) {
    if (setting.name == value.name) {
      setting = std::move(value);
      return;
    }
  }
  identity.settings.push_back(std::move(value));
}

void set_version_text(StubIdentity& identity, VersionText text) {
  for (VersionText& given : identity.version_info) {
    if (given.key == text.key) {
      given = std::move(text);
      return;
    }
  }
  identity.version_info.push_back(std::move(text));
}

ResourceList icon_resources(std::string_view ico) {
  ResourceList result;
  if (ico.size() < 6 || load(ico, 0, 2) != 0 ||
      (load(ico, 2, 2) != 1 && load(ico, 2, 2) != 2)) {
    result.error = "is no icon file (.ico): it does not begin as one";
    return result;
  }
  if (load(ico, 2, 2) == 2) {
    result.error = "is a cursor file (.cur), not an icon";
    return result;
  }
  const std::size_t count = load(ico, 4, 2);
  if (count == 0 || count > kMaxIconImages || 6 + 16 * count > ico.size()) {
    result.error = "holds " + std::to_string(count) +
                   " images, or its directory is cut short (1 to " +
                   std::to_string(kMaxIconImages) + " images)";
    return result;
  }
  std::string group;
  append(group, 0, 2);
  append(group, 1, 2);
  append(group, static_cast<std::uint32_t>(count), 2);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = 6 + 16 * i;
    const std::uint32_t size = load(ico, entry + 8, 4);
    const std::uint32_t offset = load(ico, entry + 12, 4);
    const std::string_view image = offset >= 6 + 16 * count &&
                                           offset <= ico.size() &&
                                           size <= ico.size() - offset
                                       ? ico.substr(offset, size)
                                       : std::string_view();
    if (size == 0 || image.size() != size) {
      result.error = "is damaged: image " + std::to_string(i + 1) +
                     " lies outside the file";
      return result;
    }
    if (!is_icon_image(image)) {
      result.error = "is damaged: image " + std::to_string(i + 1) +
                     " is neither a PNG nor a bitmap";
      return result;
    }
    const auto number = static_cast<std::uint16_t>(i + 1);
    result.resources.push_back(
        {ResourceId::of(kIconResource), ResourceId::of(number),
         ResourceId::of(kNeutral), 0, std::string(image)});
    group += ico.substr(entry, 12);  // size, colours, planes, bits, bytes
    append(group, number, 2);
  }
  result.resources.push_back({ResourceId::of(kGroupIconResource),
                              ResourceId::of(1), ResourceId::of(kNeutral), 0,
                              group});
  return result;
}

StubWrite write_stub_identity(std::string_view image,
                              const StubIdentity& identity,
                              std::string_view icon) {
  StubWrite result;
  const std::string settings = settings_block(identity, result.error);
  if (!result.ok()) return result;
  if (!identity.has_resources() && settings.empty()) {
    result.bytes = std::string(image);
    return result;
  }
  const ProgramKind kind = program_format(image, "").kind;
  if (kind == ProgramKind::kPe32 || kind == ProgramKind::kPe32Plus) {
    result = pe_identity(image, identity, icon, settings);
  } else if (identity.has_resources()) {
    result.error =
        "the icon, the version and the execution level are "
        "Windows resources, and it is no Windows (PE) program";
  } else if (kind == ProgramKind::kElf) {
    const vcboot::SettingsWrite filled =
        vcboot::fill_elf_settings(image, settings);
    result.bytes = filled.bytes;
    result.error = filled.error;
  } else {
    result.error =
        "it is neither a Windows (PE) nor an ELF program, so it "
        "has no room for settings";
  }
  // What vcpack adds of itself never costs a package that worked without
  // it, such as one on a signed stub.
  if (!result.ok() && only_derived(identity)) {
    result.warnings.push_back(
        result.error +
        ": a download cut short before its tail returns 0, "
        "whatever \"exitcode\" asks for");
    result.error.clear();
    result.bytes = std::string(image);
  }
  return result;
}

StubSettings read_stub_settings(std::string_view image) {
  StubSettings settings;
  const ProgramKind kind = program_format(image, "").kind;
  if (kind == ProgramKind::kPe32 || kind == ProgramKind::kPe32Plus) {
    const ResourceList tree = read_resource_tree(image);
    settings.block =
        tree.ok() ? StubSettings::Block::kNone : StubSettings::Block::kDamaged;
    // As FindResource looks: the neutral language first.
    const Resource* found = nullptr;
    for (const Resource& resource : tree.resources) {
      if (same_type(resource, format::kResourceType) &&
          resource.name == ResourceId::of(format::kResourceId) &&
          (found == nullptr ||
           resource.language == ResourceId::of(format::kResourceLanguage))) {
        found = &resource;
      }
    }
    if (found == nullptr) return settings;
    settings.room = found->data;
  } else if (kind == ProgramKind::kElf) {
    std::string error;
    const auto room = vcboot::find_elf_settings_room(image, error);
    if (!room) return settings;
    settings.block = StubSettings::Block::kNone;
    settings.room = std::string(image.substr(room->offset, room->size));
  } else {
    return settings;
  }
  if (vcboot::is_empty_settings_room(settings.room)) return settings;
  const auto entries = vcboot::parse_settings_block(settings.room);
  const bool sound = entries && vcboot::parse_package_settings(settings.room);
  settings.block =
      sound ? StubSettings::Block::kSound : StubSettings::Block::kDamaged;
  if (sound) settings.entries = *entries;
  return settings;
}

bool is_default_setting(const vcboot::SettingsEntry& entry) {
  namespace names = vcboot::setting_names;
  namespace messages = vcboot::messages;
  if (entry.name == names::kGuardName) {
    return entry.value == vcboot::kInstanceMutexName;
  }
  if (entry.name == names::kProductName) {
    return entry.value == messages::kProductName;
  }
  if (entry.name == names::kDownloadAddress) {
    return entry.value == messages::kDownloadAddress;
  }
  if (const auto text = vcboot::find_message_text(entry.name)) {
    return entry.value == vcboot::default_message_text(*text);
  }
  return false;
}

}  // namespace vcpack
