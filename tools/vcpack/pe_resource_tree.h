// The resources of a Windows program as a whole, for writing them: vcpack
// reads a stub's resource tree into a list, changes the list, and writes it
// back as a tree of its own. There is no UpdateResource off Windows, and a
// package is made on any system, so the tree is rebuilt here, on bytes.
//
// The new tree goes into the last section when that is the resource section
// and nothing follows it in the file; otherwise into a new last section
// ".rsrc", whose header takes the free room behind the section table (the
// old tree's bytes stay where they are, unreferenced). Nothing else of the
// image moves. The headers are kept consistent: the number of sections,
// SizeOfImage, SizeOfInitializedData, the resource directory, both
// alignments, and the checksum where the image has one.
//
// Everything read is hostile input: every offset, count and length is
// checked against the bytes at hand, and a tree that does not hold is
// refused with what is wrong, never half-read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vcpack {

// A resource's type, name or language: a number, or a name in UTF-16.
struct ResourceId {
  bool named = false;
  std::uint16_t number = 0;
  std::u16string name;

  static ResourceId of(std::uint16_t number) { return {false, number, {}}; }
  bool operator==(const ResourceId& other) const {
    return named == other.named && number == other.number && name == other.name;
  }
};

struct Resource {
  ResourceId type;
  ResourceId name;
  ResourceId language;
  std::uint32_t code_page = 0;
  std::string data;
};

// Resource types, as Windows numbers them.
inline constexpr std::uint16_t kIconResource = 3;           // RT_ICON
inline constexpr std::uint16_t kGroupIconResource = 14;     // RT_GROUP_ICON
inline constexpr std::uint16_t kRcdataResource = 10;        // RT_RCDATA
inline constexpr std::uint16_t kVersionInfoResource = 16;   // RT_VERSION
inline constexpr std::uint16_t kManifestFileResource = 24;  // RT_MANIFEST

// Bounds on what is read and written: a stub's resources take a few
// kilobytes, an icon of many sizes some hundreds.
inline constexpr std::size_t kMaxResources = 4096;
inline constexpr std::size_t kMaxResourceBytes = 16u << 20;

// A result, or what is wrong (then nothing else).
struct ResourceList {
  std::vector<Resource> resources;  // in the tree's order
  std::string error;
  bool ok() const { return error.empty(); }
};

struct ImageWrite {
  std::string bytes;
  std::string error;
  bool ok() const { return error.empty(); }
};

// Every resource of the PE image `image`; none when it has no resource
// directory. An error for no PE image, or a tree that does not hold.
ResourceList read_resource_tree(std::string_view image);

// `image` with `resources` as its whole resource tree. Refused: no PE image,
// a signed image (its certificate table would no longer match it), no room
// for one more section header, more than kMaxResources resources or a tree
// of more than kMaxResourceBytes.
ImageWrite write_resource_tree(std::string_view image,
                               const std::vector<Resource>& resources);

// The PE checksum of `image` whose CheckSum field is at `field`: the
// 16-bit one's-complement sum of the file without that field, plus the
// file's length.
std::uint32_t pe_checksum(std::string_view image, std::size_t field);

}  // namespace vcpack
