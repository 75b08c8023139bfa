#include "archive/md5_digest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <vector>

#include "tests/support/sample_package.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/subprocess.h"

namespace vcboot {
namespace {

std::string hex_of(const std::string& digest) {
  std::string hex;
  char pair[3];
  for (const char byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(byte));
    hex += pair;
  }
  return hex;
}

std::string hex_digest(const std::string& text) {
  return hex_of(Md5Digest(text).digest_bytes());
}

TEST(Md5Digest, Rfc1321TestSuite) {
  EXPECT_EQ(hex_digest(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(hex_digest("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(hex_digest("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(hex_digest("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(hex_digest("abcdefghijklmnopqrstuvwxyz"),
            "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(hex_digest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                       "0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(hex_digest("1234567890123456789012345678901234567890123456789012345"
                       "6789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5Digest, ZeroByteInTheDigestKeepsItsPlace) {
  // The empty text's digest has a zero as its sixth byte.
  const std::string digest = Md5Digest("").digest_bytes();
  ASSERT_EQ(digest.size(), 16u);
  EXPECT_EQ(digest, std::string("\xd4\x1d\x8c\xd9\x8f\x00\xb2\x04"
                                "\xe9\x80\x09\x98\xec\xf8\x42\x7e",
                                16));
}

TEST(Md5Digest, ZeroBytesInTheTextAreDigested) {
  EXPECT_EQ(hex_digest(std::string(1, '\0')),
            "93b885adfe0da089cdf634904fd59f71");
  EXPECT_NE(hex_digest(std::string("ab\0", 3)), hex_digest("ab"));
}

TEST(Md5Digest, SecondCallGivesTheSameBytes) {
  Md5Digest digest(std::string(100, 'x'));
  const std::string first = digest.digest_bytes();
  EXPECT_EQ(digest.digest_bytes(), first);
}

// A text given in pieces of any size, each ending anywhere within a block,
// has the digest of the whole text.
TEST(Md5Digest, PiecesGiveTheDigestOfTheWhole) {
  const std::string text = test_support::filler_bytes(1000, 7);
  const std::string whole = Md5Digest(text).digest_bytes();
  for (std::size_t piece = 1; piece <= 130; ++piece) {
    Md5Digest digest;
    for (std::size_t at = 0; at < text.size(); at += piece) {
      digest.absorb(std::string_view(text).substr(at, piece));
    }
    EXPECT_EQ(digest.digest_bytes(), whole) << piece;
  }
}

// 2^29 bytes are 2^32 bits, which a bit count of 32 bits would take for
// none. The expected digest is md5sum's of 2^29 zero bytes.
TEST(Md5Digest, CountsBitsPastThirtyTwoBits) {
  const std::string zeros(std::size_t{1} << 20, '\0');
  Md5Digest digest;
  for (int i = 0; i < 512; ++i) digest.absorb(zeros);
  EXPECT_EQ(hex_of(digest.digest_bytes()), "aa559b4e3523a6c931f08f4df52d58f2");
}

// Every length up to three blocks and some longer ones, checked against the
// system's md5sum: completing adds one block or two, and whole blocks are
// taken straight from the text while the tail is queued.
TEST(Md5Digest, AgreesWithMd5sumAcrossLengths) {
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 192; ++n) lengths.push_back(n);
  for (std::size_t n : {1000u, 4095u, 4096u, 65537u, 1u << 20}) {
    lengths.push_back(n);
  }
  test_support::ScopedTempDir temp;
  std::vector<std::string> command = {"/usr/bin/md5sum"};
  std::vector<std::string> expected;
  for (const std::size_t length : lengths) {
    const std::string text =
        test_support::filler_bytes(length, static_cast<std::uint32_t>(length));
    const std::string path = (temp.path() / std::to_string(length)).string();
    test_support::write_file(path, text);
    command.push_back(path);
    expected.push_back(hex_digest(text) + "  " + path);
  }
  const test_support::ProgramResult result = test_support::run_program(command);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::istringstream lines(result.out);
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(expected[i], line) << "length " << lengths[i];
  }
}

}  // namespace
}  // namespace vcboot
