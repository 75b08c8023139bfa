// What a Windows program's resources say about it: its version resource and
// the execution level its manifest asks for, as Explorer and Windows read
// them. vcpack shows them for a package's stub.
//
// The image comes from a package, so it is hostile input: every offset, count
// and length in it is checked against the bytes at hand, and the walk through
// the resource tree goes exactly three levels deep (type, name, language).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vcpack {

// Resource types, as Windows numbers them.
inline constexpr std::uint16_t kVersionResource = 16;   // RT_VERSION
inline constexpr std::uint16_t kManifestResource = 24;  // RT_MANIFEST
inline constexpr std::uint16_t kGroupIcon = 14;         // RT_GROUP_ICON

struct VersionResource {
  // The binary numbers, as "major.minor.build.revision"; empty when the
  // resource has no valid fixed part.
  std::string file_version;
  std::string product_version;
  // The first string table's entries ("CompanyName", "FileVersion", ...) in
  // their order, converted from UTF-16 to UTF-8.
  std::vector<std::pair<std::string, std::string>> strings;
  // The first string table's key, such as "040904B0" (language and code
  // page), and the fixed part's 52 bytes as they are; empty when absent.
  std::string table_key;
  std::string fixed_info;
};

// One image of the program's icon, as its RT_GROUP_ICON entry tells.
struct IconImage {
  unsigned width = 0;  // pixels; an entry's 0 means 256
  unsigned height = 0;
  unsigned bit_count = 0;
  std::uint32_t size = 0;  // bytes
};

struct PeResources {
  std::optional<VersionResource> version;  // none: no readable resource
  std::vector<IconImage> icons;  // the first RT_GROUP_ICON's; none: no icon
  bool has_manifest = false;
  // The manifest's requestedExecutionLevel attributes; empty when absent.
  std::string execution_level;
  std::string ui_access;
};

// The file bytes from relative address `address` to the end of the raw data
// of the section in `sections` that holds it (as far as `image` holds it);
// empty when none does. Views, not copies: a section may span most of a
// large image. A section is anything with `address`, `raw_size` and
// `raw_offset`.
template <typename Sections>
std::string_view bytes_at_address(std::string_view image,
                                  const Sections& sections,
                                  std::uint32_t address) {
  for (const auto& section : sections) {
    if (address < section.address ||
        address - section.address >= section.raw_size) {
      continue;
    }
    const std::uint64_t start =
        std::uint64_t{section.raw_offset} + (address - section.address);
    const std::uint64_t end =
        std::uint64_t{section.raw_offset} + section.raw_size;
    if (start >= image.size()) return std::string_view();
    return image.substr(static_cast<std::size_t>(start),
                        static_cast<std::size_t>(end - start));
  }
  return std::string_view();
}

// The bytes of the first resource of type `type` (its first name, in its
// first language) in the PE image `image`; nothing when `image` is no PE
// image or holds no such resource within its bounds.
std::optional<std::string> find_resource(const std::string& image,
                                         std::uint16_t type);

// A VS_VERSIONINFO block; nothing when it is no such block.
std::optional<VersionResource> parse_version_resource(std::string_view data);

// What `image` says of itself; nothing when it is no PE image.
std::optional<PeResources> read_pe_resources(const std::string& image);

}  // namespace vcpack
