// The byte layout of a package's settings block, and where a stub carries
// it, shared by the reader (settings_block.h), the writer
// (settings_writer.h) and the platform backends that find it. The layout is
// described in docs/package-format.md, "Settings".
//
//   offset  size  field
//   0       8     magic "VCBOOTSB"
//   8       16    MD5 digest of bytes 24 .. length-1
//   24      4     length: the whole block, header included (LE)
//   28      2     format version, 1 (LE)
//   30      2     entry count (LE)
//   32      ...   entries: name length (2, LE), name, value length (2, LE),
//                 value; they end exactly at `length`
//
// Any bytes behind the block, up to the end of the room that holds it, are
// zero.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vcboot::settings_format {

inline constexpr char kMagic[] = "VCBOOTSB";
inline constexpr std::size_t kMagicSize = sizeof kMagic - 1;
inline constexpr std::size_t kDigestOffset = 8;
inline constexpr std::size_t kDigestSize = 16;
inline constexpr std::size_t kLengthOffset = 24;
inline constexpr std::size_t kVersionOffset = 28;
inline constexpr std::size_t kCountOffset = 30;
inline constexpr std::size_t kHeaderSize = 32;

// Stays 1 while settings are only added: a bootstrap ignores names it does
// not know. Only a change of the layout above makes a new version, which
// older bootstraps then read as no settings at all.
inline constexpr std::uint16_t kVersion = 1;

// The bounds of a block. kMaxBlockSize is also the room that the POSIX stub
// keeps for it, so a block that one stub takes fits every stub.
inline constexpr std::size_t kMaxBlockSize = 8192;
inline constexpr std::size_t kMaxEntries = 64;
inline constexpr std::size_t kMaxNameLength = 64;
inline constexpr std::size_t kMaxValueLength = 2048;

// Where a stub carries its block. Windows: a resource of type RT_RCDATA
// with this number and the neutral language, read from the mapped image.
inline constexpr std::uint16_t kResourceType = 10;  // RT_RCDATA
inline constexpr std::uint16_t kResourceId = 1;
inline constexpr std::uint16_t kResourceLanguage = 0;  // LANG_NEUTRAL
// ELF: an allocated section of exactly kMaxBlockSize bytes under this name,
// all zero in the stub as built, overwritten in a package's copy.
inline constexpr char kElfSectionName[] = ".vcboot.settings";

}  // namespace vcboot::settings_format
