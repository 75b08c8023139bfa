#include "tools/vcpack/pe_resources.h"

#include <cstddef>
#include <string_view>

namespace vcpack {
namespace {

constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr std::size_t kFixedInfoSize = 52;
constexpr std::size_t kBlockHeaderSize = 6;  // length, value length, type

// Little-endian reads that fail, rather than read past the end of `data`.
std::optional<std::uint16_t> u16_at(std::string_view data, std::size_t at) {
  if (at > data.size() || data.size() - at < 2) return std::nullopt;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data() + at);
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::optional<std::uint32_t> u32_at(std::string_view data, std::size_t at) {
  const auto low = u16_at(data, at);
  const auto high = u16_at(data, at + 2);
  if (!low || !high) return std::nullopt;
  return static_cast<std::uint32_t>(*low | std::uint32_t{*high} << 16);
}

struct Section {
  std::uint32_t address = 0;  // relative virtual address
  std::uint32_t raw_size = 0;
  std::uint32_t raw_offset = 0;  // in the file
};

// The headers of a PE image, as far as the resources need them.
struct PeLayout {
  std::vector<Section> sections;
  std::uint32_t resource_address = 0;  // 0: no resource directory
  std::uint32_t resource_size = 0;
};

bool holds_at(std::string_view data, std::size_t at,
              std::string_view expected) {
  return at <= data.size() && data.substr(at, expected.size()) == expected;
}

std::optional<PeLayout> read_layout(std::string_view image) {
  const auto pe_field = u32_at(image, 0x3C);
  if (!holds_at(image, 0, "MZ") || !pe_field) return std::nullopt;
  const std::size_t pe = *pe_field;
  if (!holds_at(image, pe, std::string_view("PE\0\0", 4))) return std::nullopt;
  const auto section_count = u16_at(image, pe + 6);
  const auto optional_size = u16_at(image, pe + 20);
  const std::size_t optional = pe + 24;
  const auto magic = u16_at(image, optional);
  if (!section_count || !optional_size || !magic) return std::nullopt;
  if (*magic != 0x10B && *magic != 0x20B) return std::nullopt;
  PeLayout layout;
  // The directory count and the directories, in PE32 or PE32+ form.
  const std::size_t count_at = optional + (*magic == 0x10B ? 92 : 108);
  const std::size_t resource_at = count_at + 4 + 2 * 8;
  const auto directories = u32_at(image, count_at);
  if (directories && *directories > 2 &&
      resource_at + 8 <= optional + *optional_size) {
    layout.resource_address = u32_at(image, resource_at).value_or(0);
    layout.resource_size = u32_at(image, resource_at + 4).value_or(0);
  }
  const std::size_t table = optional + *optional_size;
  for (std::size_t i = 0; i < *section_count; ++i) {
    const std::size_t at = table + 40 * i;
    const auto address = u32_at(image, at + 12);
    const auto raw_size = u32_at(image, at + 16);
    const auto raw_offset = u32_at(image, at + 20);
    if (!address || !raw_size || !raw_offset) break;  // a cut-off table
    layout.sections.push_back({*address, *raw_size, *raw_offset});
  }
  return layout;
}

// The target of the entry of the directory at `at` in `tree` that `wanted`
// names (any entry when `wanted` is null). Entries name types, names or
// languages by number, or by a string that none of the looked-for resources
// use.
std::optional<std::uint32_t> entry_target(std::string_view tree, std::size_t at,
                                          const std::uint16_t* wanted) {
  const auto named = u16_at(tree, at + 12);
  const auto numbered = u16_at(tree, at + 14);
  if (!named || !numbered) return std::nullopt;
  for (std::size_t i = 0; i < std::size_t{*named} + *numbered; ++i) {
    const auto name = u32_at(tree, at + 16 + 8 * i);
    const auto target = u32_at(tree, at + 16 + 8 * i + 4);
    if (!name || !target) return std::nullopt;
    if (!wanted || *name == *wanted) return target;
  }
  return std::nullopt;
}

void append_utf8(std::string& text, std::uint32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | code >> 6);
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | code >> 12);
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | code >> 18);
    text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Reads a UTF-16 text from `at` up to its terminating zero or `end`, into
// UTF-8; a lone surrogate becomes U+FFFD. `*after` receives the position
// behind the terminating zero.
std::string utf8_from_utf16(std::string_view data, std::size_t at,
                            std::size_t end, std::size_t* after) {
  std::string text;
  std::optional<std::uint16_t> unit;
  while (at + 2 <= end && (unit = u16_at(data, at)) && *unit != 0) {
    at += 2;
    const auto next = at + 2 <= end ? u16_at(data, at) : std::nullopt;
    if (*unit >= 0xD800 && *unit < 0xDC00 && next && *next >= 0xDC00 &&
        *next < 0xE000) {
      append_utf8(text, 0x10000 + ((std::uint32_t{*unit} - 0xD800) << 10) +
                            (*next - 0xDC00));
      at += 2;
    } else if (*unit >= 0xD800 && *unit < 0xE000) {
      append_utf8(text, 0xFFFD);
    } else {
      append_utf8(text, *unit);
    }
  }
  *after = at + 2;
  return text;
}

constexpr std::size_t aligned(std::size_t at) {
  return (at + 3) & ~std::size_t{3};
}

// One block of a version resource: a length, a value length, a type, a key,
// then the value and the child blocks, each at a 4-byte boundary.
struct Block {
  std::size_t end = 0;
  std::uint16_t value_length = 0;  // bytes, or UTF-16 units for a text
  std::string key;
  std::size_t value = 0;  // where the value begins
};

std::optional<Block> read_block(std::string_view data, std::size_t at,
                                std::size_t limit) {
  if (at > limit) return std::nullopt;
  const auto length = u16_at(data, at);
  const auto value_length = u16_at(data, at + 2);
  if (!length || !value_length || *length < kBlockHeaderSize ||
      *length > limit - at) {
    return std::nullopt;
  }
  Block block;
  block.end = at + *length;
  block.value_length = *value_length;
  std::size_t after_key = 0;
  block.key =
      utf8_from_utf16(data, at + kBlockHeaderSize, block.end, &after_key);
  block.value = aligned(after_key);
  return block;
}

std::string version_numbers(std::uint32_t high, std::uint32_t low) {
  return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) +
         "." + std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
}

void read_fixed_info(std::string_view data, const Block& root,
                     VersionResource& version) {
  if (root.value_length < kFixedInfoSize ||
      root.value + kFixedInfoSize > root.end ||
      u32_at(data, root.value) != kFixedInfoSignature) {
    return;
  }
  version.fixed_info = std::string(data.substr(root.value, kFixedInfoSize));
  version.file_version = version_numbers(*u32_at(data, root.value + 8),
                                         *u32_at(data, root.value + 12));
  version.product_version = version_numbers(*u32_at(data, root.value + 16),
                                            *u32_at(data, root.value + 20));
}

// The strings of the string table that begins at `at`.
void read_string_table(std::string_view data, std::size_t at, std::size_t limit,
                       VersionResource& version) {
  const std::optional<Block> table = read_block(data, at, limit);
  if (!table) return;
  version.table_key = table->key;
  for (std::size_t child = table->value; child < table->end;) {
    const std::optional<Block> entry = read_block(data, child, table->end);
    if (!entry) return;
    std::size_t after = 0;
    version.strings.emplace_back(
        entry->key, utf8_from_utf16(data, entry->value, entry->end, &after));
    child = aligned(entry->end);
  }
}

// The children of a block whose value is `value_bytes` long.
std::size_t first_child(const Block& block, std::size_t value_bytes) {
  return aligned(block.value + value_bytes);
}

// The part of a manifest from `at` to the end of its tag.
std::string tag_at(const std::string& text, std::size_t at) {
  const std::size_t end = text.find('>', at);
  return text.substr(at, end == std::string::npos ? end : end - at);
}

// The value of attribute `name` in the tag `tag`; empty when it has none.
std::string attribute(const std::string& tag, const std::string& name) {
  for (std::size_t at = tag.find(name); at != std::string::npos;
       at = tag.find(name, at + 1)) {
    const bool word_start =
        at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' ||
                   tag[at - 1] == '\r' || tag[at - 1] == '\n');
    std::size_t next = tag.find_first_not_of(" \t\r\n", at + name.size());
    if (!word_start || next == std::string::npos || tag[next] != '=') continue;
    next = tag.find_first_not_of(" \t\r\n", next + 1);
    if (next == std::string::npos || (tag[next] != '"' && tag[next] != '\'')) {
      continue;
    }
    const std::size_t close = tag.find(tag[next], next + 1);
    if (close == std::string::npos) return std::string();
    return tag.substr(next + 1, close - next - 1);
  }
  return std::string();
}

std::string without_comments(std::string_view text) {
  std::string result;
  std::size_t at = 0;
  for (std::size_t open = text.find("<!--"); open != std::string::npos;
       open = text.find("<!--", at)) {
    result.append(text, at, open - at);
    const std::size_t close = text.find("-->", open + 4);
    if (close == std::string::npos) return result;
    at = close + 3;
  }
  result.append(text.substr(at));
  return result;
}

void read_manifest(std::string_view manifest, PeResources& resources) {
  resources.has_manifest = true;
  const std::string text = without_comments(manifest);
  const std::size_t element = text.find("requestedExecutionLevel");
  if (element == std::string::npos) return;
  const std::string tag = tag_at(text, element);
  resources.execution_level = attribute(tag, "level");
  resources.ui_access = attribute(tag, "uiAccess");
}

// The images of an RT_GROUP_ICON: a 6-byte header (0, 1, count) and
// 14 bytes per image.
std::vector<IconImage> read_icon_group(std::string_view group) {
  std::vector<IconImage> icons;
  const auto count = u16_at(group, 4);
  if (u16_at(group, 0) != 0 || u16_at(group, 2) != 1 || !count) return icons;
  for (std::size_t i = 0; i < *count; ++i) {
    const std::size_t at = 6 + 14 * i;
    const auto bit_count = u16_at(group, at + 6);
    const auto size = u32_at(group, at + 8);
    if (!bit_count || !size || !u16_at(group, at + 12)) break;
    const auto pixels = [&](std::size_t field) {
      const unsigned value = static_cast<unsigned char>(group[at + field]);
      return value == 0 ? 256u : value;
    };
    icons.push_back({pixels(0), pixels(1), *bit_count, *size});
  }
  return icons;
}

// The bytes of the resource as find_resource() tells, as a view into `image`.
std::optional<std::string_view> resource_in(std::string_view image,
                                            std::uint16_t type) {
  const std::optional<PeLayout> layout = read_layout(image);
  if (!layout || layout->resource_address == 0) return std::nullopt;
  const std::string_view tree =
      bytes_at_address(image, layout->sections, layout->resource_address)
          .substr(0, layout->resource_size);
  // Type, then name, then language: two directories, then the data entry.
  std::size_t at = 0;
  // A pointer, not an optional: GCC 12 at -O3 and -Os takes the optional's
  // value, read only when set, for an uninitialised one.
  const std::uint16_t* wanted = &type;
  for (int level = 0; level < 3; ++level) {
    const std::optional<std::uint32_t> target = entry_target(tree, at, wanted);
    const bool subdirectory = target && (*target & kSubdirectoryBit) != 0;
    if (!target || subdirectory != (level < 2)) return std::nullopt;
    at = *target & ~kSubdirectoryBit;
    wanted = nullptr;
  }
  const auto address = u32_at(tree, at);
  const auto size = u32_at(tree, at + 4);
  if (!address || !size) return std::nullopt;
  const std::string_view data =
      bytes_at_address(image, layout->sections, *address);
  if (data.size() < *size) return std::nullopt;
  return data.substr(0, *size);
}

}  // namespace

std::optional<std::string> find_resource(const std::string& image,
                                         std::uint16_t type) {
  const std::optional<std::string_view> bytes = resource_in(image, type);
  if (!bytes) return std::nullopt;
  return std::string(*bytes);
}

std::optional<VersionResource> parse_version_resource(std::string_view data) {
  const std::optional<Block> root = read_block(data, 0, data.size());
  if (!root || root->key != "VS_VERSION_INFO") return std::nullopt;
  VersionResource version;
  read_fixed_info(data, *root, version);
  // StringFileInfo and VarFileInfo; only the first string table counts.
  for (std::size_t at = first_child(*root, root->value_length);
       at < root->end;) {
    const std::optional<Block> child = read_block(data, at, root->end);
    if (!child) break;
    if (child->key == "StringFileInfo") {
      read_string_table(data, first_child(*child, 0), child->end, version);
      break;
    }
    at = aligned(child->end);
  }
  return version;
}

std::optional<PeResources> read_pe_resources(const std::string& image) {
  if (!read_layout(image)) return std::nullopt;
  PeResources resources;
  if (const auto version = resource_in(image, kVersionResource)) {
    resources.version = parse_version_resource(*version);
  }
  if (const auto manifest = resource_in(image, kManifestResource)) {
    read_manifest(*manifest, resources);
  }
  if (const auto group = resource_in(image, kGroupIcon)) {
    resources.icons = read_icon_group(*group);
  }
  return resources;
}

}  // namespace vcpack
