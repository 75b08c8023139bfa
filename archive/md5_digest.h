// The MD5 message digest (RFC 1321) of a text held whole in memory. Every
// chunk of the appended archive is verified with it, so it sets the speed at
// which the bootstrap reads its archive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vcboot {

// Digests the text given at construction. The bit count is 32 bits wide, so
// the digest equals RFC 1321's for texts shorter than 2^29 bytes (512 MiB);
// beyond that the count wraps. Whole 64-byte blocks are taken straight from
// the text; only a tail of fewer than 64 bytes is copied.
class Md5Digest {
 public:
  explicit Md5Digest(std::string_view text);

  // The 16 digest bytes: A, B, C and D, each least significant byte first.
  // Completes the digest on the first call; later calls return the same bytes.
  std::string digest_bytes();

 private:
  void complete();

  std::uint32_t state_[4];
  std::uint32_t bit_count_ = 0;  // modulo 2^32
  unsigned char queue_[64];      // message bytes not yet transformed
  std::size_t queued_ = 0;       // always fewer than 64 between calls
  bool finished_ = false;
};

}  // namespace vcboot
