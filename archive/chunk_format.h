// The byte layout of the appended archive, shared by its reader and writer.
//
// A chunk is its payload, then the payload's length (unsigned 32-bit,
// little-endian), then the payload's 16-byte MD5 digest. A record is a run of
// chunks whose last chunk, the type chunk, is read first. The package is one
// chunk stream from offset 0: the stub record (the bootstrap's own image
// first), file and value records, the tail chunk, then trailing bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vcboot::chunk_format {

inline constexpr std::size_t kLengthSize = 4;
inline constexpr std::size_t kDigestSize = 16;
// What follows every payload: its length and its digest.
inline constexpr std::size_t kTrailerSize = kLengthSize + kDigestSize;

// The longest payload the length field can tell: a file of 4 GiB - 1 bytes.
// A package has no limit of its own: positions and moves are 64-bit.
inline constexpr std::uint64_t kMaxPayloadSize = 0xFFFFFFFFu;
// The longest record type, name, value or file name. These texts are held
// whole in memory, so they keep the bound that every payload had before
// files were read in blocks; a longer one is damage.
inline constexpr std::uint64_t kMaxTextSize = (std::uint64_t{1} << 29) - 1;

// Record types: the payload of a record's type chunk, compared byte for byte.
inline constexpr char kTailMarker[] = "chunked-installer-tail";
inline constexpr std::size_t kTailMarkerSize = sizeof kTailMarker - 1;
inline constexpr char kValueType[] = "value";  // value text, name, type
inline constexpr char kFileType[] = "file";    // content, file name, key, type
inline constexpr char kStubType[] = "stub";    // image, file name, key, type

}  // namespace vcboot::chunk_format
