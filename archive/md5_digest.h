// The MD5 message digest (RFC 1321) of a text, given whole or in pieces.
// Every chunk of the appended archive is verified with it, so it sets the
// speed at which the bootstrap reads its archive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vcboot {

// Digests the text given at construction and every piece absorbed after it,
// in order. The bit count is 64 bits wide, so the digest is RFC 1321's for
// any text this system meets (a payload is below 4 GiB). Whole 64-byte
// blocks are taken straight from a piece; only what is left of a block is
// copied, so pieces whose sizes are multiples of 64 are never copied.
class Md5Digest {
 public:
  Md5Digest() = default;
  explicit Md5Digest(std::string_view text) { absorb(text); }

  // Adds `piece` to the text. Nothing may be absorbed after digest_bytes.
  void absorb(std::string_view piece);

  // The 16 digest bytes: A, B, C and D, each least significant byte first.
  // Completes the digest on the first call; later calls return the same bytes.
  std::string digest_bytes();

 private:
  void complete();

  std::uint32_t state_[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  std::uint64_t bit_count_ = 0;
  unsigned char queue_[64];  // message bytes not yet transformed
  std::size_t queued_ = 0;   // always fewer than 64 between calls
  bool finished_ = false;
};

}  // namespace vcboot
