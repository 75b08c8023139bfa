#include "archive/md5_digest.h"

#include <algorithm>
#include <cstring>

#include "util/format_string.h"

namespace vcboot {
namespace {

using Word = std::uint32_t;

// A little-endian word of the message. memcpy compiles to one load; only a
// big-endian machine pays for the swap.
inline Word load_word(const unsigned char* block, int index) {
  Word word;
  std::memcpy(&word, block + 4 * index, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  word = __builtin_bswap32(word);
#endif
  return word;
}

template <int kShift>
inline Word rotate_left(Word x) {
  return (x << kShift) | (x >> (32 - kShift));
}

// The four round functions, written for a short dependency chain: the message
// word and constant are added first, since they do not depend on b, c or d.
template <int kShift>
inline void step_f(Word& a, Word b, Word c, Word d, Word x, Word k) {
  a += x + k;
  a += d ^ (b & (c ^ d));  // (b & c) | (~b & d)
  a = rotate_left<kShift>(a) + b;
}

template <int kShift>
inline void step_g(Word& a, Word b, Word c, Word d, Word x, Word k) {
  // (b & d) | (c & ~d): the two terms share no bit, so they can be added
  // separately, and the second does not wait for b.
  a += x + k;
  a += c & ~d;
  a += b & d;
  a = rotate_left<kShift>(a) + b;
}

// b ^ c ^ d, bracketed so that each pair of steps shares one XOR.
template <int kShift>
inline void step_h_first(Word& a, Word b, Word c, Word d, Word x, Word k) {
  a += x + k;
  a += (b ^ c) ^ d;
  a = rotate_left<kShift>(a) + b;
}

template <int kShift>
inline void step_h_second(Word& a, Word b, Word c, Word d, Word x, Word k) {
  a += x + k;
  a += b ^ (c ^ d);
  a = rotate_left<kShift>(a) + b;
}

template <int kShift>
inline void step_i(Word& a, Word b, Word c, Word d, Word x, Word k) {
  a += x + k;
  a += c ^ (b | ~d);
  a = rotate_left<kShift>(a) + b;
}

// Applies the RFC 1321 block transformation to `count` consecutive 64-byte
// blocks, keeping the state in registers from one block to the next.
void transform_blocks(Word state[4], const unsigned char* blocks,
                      std::size_t count) {
  Word a = state[0], b = state[1], c = state[2], d = state[3];
  for (; count > 0; --count, blocks += 64) {
    const unsigned char* m = blocks;
    const Word a0 = a, b0 = b, c0 = c, d0 = d;

    step_f<7>(a, b, c, d, load_word(m, 0), 0xd76aa478);
    step_f<12>(d, a, b, c, load_word(m, 1), 0xe8c7b756);
    step_f<17>(c, d, a, b, load_word(m, 2), 0x242070db);
    step_f<22>(b, c, d, a, load_word(m, 3), 0xc1bdceee);
    step_f<7>(a, b, c, d, load_word(m, 4), 0xf57c0faf);
    step_f<12>(d, a, b, c, load_word(m, 5), 0x4787c62a);
    step_f<17>(c, d, a, b, load_word(m, 6), 0xa8304613);
    step_f<22>(b, c, d, a, load_word(m, 7), 0xfd469501);
    step_f<7>(a, b, c, d, load_word(m, 8), 0x698098d8);
    step_f<12>(d, a, b, c, load_word(m, 9), 0x8b44f7af);
    step_f<17>(c, d, a, b, load_word(m, 10), 0xffff5bb1);
    step_f<22>(b, c, d, a, load_word(m, 11), 0x895cd7be);
    step_f<7>(a, b, c, d, load_word(m, 12), 0x6b901122);
    step_f<12>(d, a, b, c, load_word(m, 13), 0xfd987193);
    step_f<17>(c, d, a, b, load_word(m, 14), 0xa679438e);
    step_f<22>(b, c, d, a, load_word(m, 15), 0x49b40821);

    step_g<5>(a, b, c, d, load_word(m, 1), 0xf61e2562);
    step_g<9>(d, a, b, c, load_word(m, 6), 0xc040b340);
    step_g<14>(c, d, a, b, load_word(m, 11), 0x265e5a51);
    step_g<20>(b, c, d, a, load_word(m, 0), 0xe9b6c7aa);
    step_g<5>(a, b, c, d, load_word(m, 5), 0xd62f105d);
    step_g<9>(d, a, b, c, load_word(m, 10), 0x02441453);
    step_g<14>(c, d, a, b, load_word(m, 15), 0xd8a1e681);
    step_g<20>(b, c, d, a, load_word(m, 4), 0xe7d3fbc8);
    step_g<5>(a, b, c, d, load_word(m, 9), 0x21e1cde6);
    step_g<9>(d, a, b, c, load_word(m, 14), 0xc33707d6);
    step_g<14>(c, d, a, b, load_word(m, 3), 0xf4d50d87);
    step_g<20>(b, c, d, a, load_word(m, 8), 0x455a14ed);
    step_g<5>(a, b, c, d, load_word(m, 13), 0xa9e3e905);
    step_g<9>(d, a, b, c, load_word(m, 2), 0xfcefa3f8);
    step_g<14>(c, d, a, b, load_word(m, 7), 0x676f02d9);
    step_g<20>(b, c, d, a, load_word(m, 12), 0x8d2a4c8a);

    step_h_first<4>(a, b, c, d, load_word(m, 5), 0xfffa3942);
    step_h_second<11>(d, a, b, c, load_word(m, 8), 0x8771f681);
    step_h_first<16>(c, d, a, b, load_word(m, 11), 0x6d9d6122);
    step_h_second<23>(b, c, d, a, load_word(m, 14), 0xfde5380c);
    step_h_first<4>(a, b, c, d, load_word(m, 1), 0xa4beea44);
    step_h_second<11>(d, a, b, c, load_word(m, 4), 0x4bdecfa9);
    step_h_first<16>(c, d, a, b, load_word(m, 7), 0xf6bb4b60);
    step_h_second<23>(b, c, d, a, load_word(m, 10), 0xbebfbc70);
    step_h_first<4>(a, b, c, d, load_word(m, 13), 0x289b7ec6);
    step_h_second<11>(d, a, b, c, load_word(m, 0), 0xeaa127fa);
    step_h_first<16>(c, d, a, b, load_word(m, 3), 0xd4ef3085);
    step_h_second<23>(b, c, d, a, load_word(m, 6), 0x04881d05);
    step_h_first<4>(a, b, c, d, load_word(m, 9), 0xd9d4d039);
    step_h_second<11>(d, a, b, c, load_word(m, 12), 0xe6db99e5);
    step_h_first<16>(c, d, a, b, load_word(m, 15), 0x1fa27cf8);
    step_h_second<23>(b, c, d, a, load_word(m, 2), 0xc4ac5665);

    step_i<6>(a, b, c, d, load_word(m, 0), 0xf4292244);
    step_i<10>(d, a, b, c, load_word(m, 7), 0x432aff97);
    step_i<15>(c, d, a, b, load_word(m, 14), 0xab9423a7);
    step_i<21>(b, c, d, a, load_word(m, 5), 0xfc93a039);
    step_i<6>(a, b, c, d, load_word(m, 12), 0x655b59c3);
    step_i<10>(d, a, b, c, load_word(m, 3), 0x8f0ccc92);
    step_i<15>(c, d, a, b, load_word(m, 10), 0xffeff47d);
    step_i<21>(b, c, d, a, load_word(m, 1), 0x85845dd1);
    step_i<6>(a, b, c, d, load_word(m, 8), 0x6fa87e4f);
    step_i<10>(d, a, b, c, load_word(m, 15), 0xfe2ce6e0);
    step_i<15>(c, d, a, b, load_word(m, 6), 0xa3014314);
    step_i<21>(b, c, d, a, load_word(m, 13), 0x4e0811a1);
    step_i<6>(a, b, c, d, load_word(m, 4), 0xf7537e82);
    step_i<10>(d, a, b, c, load_word(m, 11), 0xbd3af235);
    step_i<15>(c, d, a, b, load_word(m, 2), 0x2ad7d2bb);
    step_i<21>(b, c, d, a, load_word(m, 9), 0xeb86d391);

    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

}  // namespace

void Md5Digest::absorb(std::string_view piece) {
  if (piece.empty()) return;
  bit_count_ += std::uint64_t{piece.size()} * 8u;
  const auto* data = reinterpret_cast<const unsigned char*>(piece.data());
  std::size_t size = piece.size();
  // First the block that an earlier piece began.
  if (queued_ > 0) {
    const std::size_t taken = std::min(size, sizeof queue_ - queued_);
    std::memcpy(queue_ + queued_, data, taken);
    queued_ += taken;
    data += taken;
    size -= taken;
    if (queued_ < sizeof queue_) return;
    transform_blocks(state_, queue_, 1);
    queued_ = 0;
  }
  // Whole blocks straight from the piece; only the tail is queued.
  const std::size_t blocks = size / 64;
  transform_blocks(state_, data, blocks);
  queued_ = size % 64;
  std::memcpy(queue_, data + blocks * 64, queued_);
}

void Md5Digest::complete() {
  finished_ = true;
  // The tail, 0x80, zeros up to 56 modulo 64, then the bit count as 8 bytes,
  // least significant first: one block or two.
  unsigned char padding[128] = {};
  std::memcpy(padding, queue_, queued_);
  padding[queued_] = 0x80;
  const std::size_t blocks = queued_ < 56 ? 1 : 2;
  unsigned char* count = padding + blocks * 64 - 8;
  for (int i = 0; i < 8; ++i) {
    count[i] = static_cast<unsigned char>(bit_count_ >> (8 * i));
  }
  transform_blocks(state_, padding, blocks);
  queued_ = 0;
}

std::string Md5Digest::digest_bytes() {
  if (!finished_) complete();
  std::string result;
  for (const Word word : state_) {
    result += format_string("%c%c%c%c", static_cast<int>(word & 0xff),
                            static_cast<int>((word >> 8) & 0xff),
                            static_cast<int>((word >> 16) & 0xff),
                            static_cast<int>(word >> 24));
  }
  return result;
}

}  // namespace vcboot
