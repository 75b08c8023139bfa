// Where a signed Windows executable keeps its Authenticode certificate table.
//
// A PE image names the table in its security data directory by file offset and
// size. The signature covers every byte of the file except that table, so
// bytes inside the table can be changed without breaking the signature; the
// archive reader therefore ignores them (see ChunkStream).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace vcboot {

struct CertificateTable {
  std::uint64_t offset = 0;  // file offset of the table's first byte
  std::uint64_t size = 0;    // never 0
};

namespace pe {
inline constexpr std::size_t kDosHeaderSize = 64;
// The PE signature, the file header and the optional header as far as the
// security directory of the larger (PE32+) form.
inline constexpr std::size_t kPeHeadersSize = 4 + 20 + 112 + 5 * 8;
// The data directory that names the certificate table.
inline constexpr std::size_t kSecurityDirectory = 4;
}  // namespace pe

// The file offset of the PE headers named by a DOS header (the file's first
// kDosHeaderSize bytes), or nothing when the bytes are no DOS header.
std::optional<std::uint32_t> pe_headers_offset(const std::string& dos_header);

// The position, within the bytes that begin at the PE headers' offset (up to
// kPeHeadersSize of them), of the 8-byte security data directory entry: the
// table's offset, then its size, each 32-bit little-endian. Nothing when the
// bytes are no PE32 or PE32+ headers or hold no such directory.
std::optional<std::size_t> security_directory_offset(
    const std::string& pe_headers);

// The certificate table that the PE image in `file` names, as the header gives
// it (not checked against the file's size); nothing when the file is no PE
// image, names no table, or cannot be read. Moves the file's position.
std::optional<CertificateTable> find_certificate_table(File& file);

}  // namespace vcboot
