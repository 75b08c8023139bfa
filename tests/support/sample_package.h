// Installation packages for tests, made with ChunkWriter.
//
// make_sample_package builds a package shaped like a shipped one: 26 records
// in 98 chunks (a stub, 21 file records, 3 value records, the tail), then 5
// zero bytes and a 4,752-byte certificate table, 1,904,432 bytes in all with
// the made-up stub image. The stub image's stored digest does not match it,
// as in shipped packages, where the digest was taken before the image's
// header named the certificate table; the reader never checks it. Read
// completely, the package gives 21 files, 5 bindings and a complete archive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vcboot::test_support {

// Deterministic bytes of every value, zero included; different seeds give
// different bytes.
std::string filler_bytes(std::size_t size, std::uint32_t seed);

// A made-up PE32 image of `size` bytes (at least 1024): a DOS header, PE
// headers with 16 data directories, all empty, then filler. The tail marker
// text is embedded in it, as the bootstrap holds the text as a constant.
std::string make_pe_image(std::size_t size);

// The position of the security data directory entry in the PE image at the
// start of `bytes`; nothing when they begin with no PE image.
std::optional<std::size_t> security_directory_position(
    const std::string& bytes);

// Makes the PE image at the start of `bytes` name a certificate table, as
// signing does. False (nothing changed) when they begin with no PE image.
bool name_certificate_table(std::string& bytes, std::uint32_t offset,
                            std::uint32_t size);

// A certificate table as signing appends it (WIN_CERTIFICATE: length,
// revision 2.0, PKCS#7 signed data, then filler); `inside` is placed right
// after its 8-byte header, for instance a forged tail.
std::string make_certificate_table(std::size_t size,
                                   const std::string& inside = "");

struct SamplePackageOptions {
  // The bootstrap's image at offset 0; empty for a made-up 318,464-byte PE
  // image. A PE image gets its security directory pointed at the table.
  std::string stub_image;
  // 5 zero bytes and the certificate table behind the tail; false for none.
  bool certificate_table = true;
  // Bytes placed in the certificate table (see make_certificate_table).
  std::string inside_certificate;
};

struct SamplePackage {
  std::string bytes;
  std::uint64_t tail_end = 0;  // offset just past the tail chunk
  std::size_t chunks = 0;
  // What a complete extraction gives: each file by name, each binding.
  std::map<std::string, std::string> files;
  std::map<std::string, std::string> bindings;
  // The file names in the order in which they are read.
  std::vector<std::string> read_order;
};

SamplePackage make_sample_package(const SamplePackageOptions& options = {});

}  // namespace vcboot::test_support
