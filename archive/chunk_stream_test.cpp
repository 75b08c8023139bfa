#include "archive/chunk_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "archive/chunk_format.h"
#include "archive/chunk_writer.h"
#include "archive/little_endian.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/allocation_meter.h"
#include "tests/support/sample_package.h"
#include "tests/support/scoped_temp_dir.h"

namespace vcboot {
namespace {

using chunk_format::kTailMarker;

constexpr char kPath[] = "C:\\package.exe";
constexpr std::size_t kBlock = ChunkStream::kScanBlockSize;

std::string chunks_of(const std::vector<std::string>& payloads) {
  StringSink sink;
  ChunkWriter writer(sink);
  for (const std::string& payload : payloads) writer.add_chunk(payload);
  return sink.bytes();
}

// The tail scan as it would be done one byte at a time: a 22-byte window
// from 23 bytes before `end` back to offset 23. The position after a match.
std::optional<std::uint64_t> reference_scan(const std::string& file,
                                            std::size_t end) {
  const char* const data = file.data();
  for (std::size_t window = end >= 23 ? end - 23 : 0; window > 22; --window) {
    if (data[window] == 'c' &&
        std::memcmp(data + window, kTailMarker, 22) == 0) {
      return window + 42;
    }
  }
  return std::nullopt;
}

// A fresh fake holding `bytes` as a file, open and positioned at its end: for
// tests that need a clean failure script per case.
struct EndOfFile {
  explicit EndOfFile(const std::string& bytes) {
    platform.add_file(kPath, bytes);
    file = platform.open_for_reading(kPath);
    file->seek(0, File::Origin::kEnd);
  }
  FakePlatform platform;
  ChunkStream stream;
  std::unique_ptr<File> file;
};

class ChunkStreamTest : public ::testing::Test {
 protected:
  File& open(const std::string& bytes) {
    platform_.add_file(kPath, bytes);
    file_ = platform_.open_for_reading(kPath);
    return *file_;
  }
  std::uint64_t position() { return *file_->seek(0, File::Origin::kCurrent); }
  // Positions the file at `at`, the end of the chunk to be read next.
  File& open_at(const std::string& bytes, std::uint64_t at) {
    File& file = open(bytes);
    file.seek(static_cast<std::int64_t>(at), File::Origin::kBegin);
    return file;
  }

  FakePlatform platform_;
  ChunkStream stream_;
  std::unique_ptr<File> file_;
};

TEST_F(ChunkStreamTest, ReadsChunksBackwardsFromTheTail) {
  const std::string bytes =
      chunks_of({"value text", "name", "value", kTailMarker});
  File& file = open(bytes);
  ASSERT_TRUE(stream_.find_tail_marker(file));
  EXPECT_EQ(position(), bytes.size());  // no trailing bytes
  std::string payload;
  for (const char* expected : {kTailMarker, "value", "name", "value text"}) {
    ASSERT_EQ(stream_.read_chunk(file, payload), ChunkRead::kOk);
    EXPECT_EQ(payload, expected);
  }
  EXPECT_EQ(position(), 0u);
  // Nothing lies before offset 0: the move to the trailer fails.
  EXPECT_EQ(stream_.read_chunk(file, payload), ChunkRead::kReadFailed);
}

TEST_F(ChunkStreamTest, EmptyPayloadIsATwentyByteChunk) {
  const std::string bytes = chunks_of({"x", ""});
  File& file = open_at(bytes, bytes.size());
  std::string payload = "left over";
  ASSERT_EQ(stream_.read_chunk(file, payload), ChunkRead::kOk);
  EXPECT_EQ(payload, "");
  EXPECT_EQ(position(), bytes.size() - 20);
}

TEST_F(ChunkStreamTest, PayloadWithZeroBytesIsReadWhole) {
  const std::string content("\0a\0\0b\0", 6);
  const std::string bytes = chunks_of({content});
  File& file = open_at(bytes, bytes.size());
  std::string payload;
  ASSERT_EQ(stream_.read_chunk(file, payload), ChunkRead::kOk);
  EXPECT_EQ(payload, content);
}

// Any changed byte of the payload or of the stored digest is reported as a
// digest mismatch.
TEST_F(ChunkStreamTest, CorruptedByteIsADigestMismatch) {
  const std::string good = chunks_of({"payload"});
  for (std::size_t at = 0; at < good.size(); ++at) {
    if (at >= 7 && at < 11) continue;  // the length field: see below
    std::string bytes = good;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    EndOfFile end(bytes);
    std::string payload;
    EXPECT_EQ(end.stream.read_chunk(*end.file, payload),
              ChunkRead::kDigestMismatch)
        << "byte " << at;
  }
}

TEST_F(ChunkStreamTest, ShorterLengthIsADigestMismatch) {
  std::string bytes = chunks_of({"abc", "payload"});
  bytes[bytes.size() - 20] = 6;  // the last chunk's length: 7 -> 6
  File& file = open_at(bytes, bytes.size());
  std::string payload;
  EXPECT_EQ(stream_.read_chunk(file, payload), ChunkRead::kDigestMismatch);
  // The unverified bytes, and the position at the length field behind them.
  EXPECT_EQ(payload, "ayload");
  EXPECT_EQ(position(), bytes.size() - 20);
}

// A length that reaches before the start of the file, however large, is
// reported as such, with no allocation and no move anywhere else.
TEST_F(ChunkStreamTest, LengthReachingBeforeTheStartFailsSilently) {
  const std::string good = chunks_of({"0123456789", "payload"});
  const std::uint32_t room = static_cast<std::uint32_t>(good.size() - 20);
  for (const std::uint32_t length :
       {room + 1, room + 100, 0x7FFFFFFBu, 0x7FFFFFFCu, 0x80000000u,
        0xFFFFFFECu, 0xFFFFFFFFu}) {
    std::string bytes = good;
    store_le32(length, reinterpret_cast<unsigned char*>(&bytes[room]));
    File& file = open_at(bytes, bytes.size());
    std::string payload = "untouched";
    EXPECT_EQ(stream_.read_chunk(file, payload), ChunkRead::kBadLength)
        << length;
    EXPECT_EQ(payload, "untouched") << length;
    EXPECT_EQ(platform_.log().back(), "read") << "moved after the length";
  }
}

TEST_F(ChunkStreamTest, LengthReachingExactlyTheStartIsRead) {
  const std::string bytes = chunks_of({"whole file"});
  File& file = open_at(bytes, bytes.size());
  std::string payload;
  ASSERT_EQ(stream_.read_chunk(file, payload), ChunkRead::kOk);
  EXPECT_EQ(payload, "whole file");
}

TEST_F(ChunkStreamTest, ChunkEndingBeforeItsTrailerFailsSilently) {
  const std::string bytes = chunks_of({"payload"});
  for (std::uint64_t end = 0; end < 20; ++end) {
    File& file = open_at(bytes, end);
    std::string payload;
    EXPECT_EQ(stream_.read_chunk(file, payload), ChunkRead::kReadFailed) << end;
  }
}

TEST_F(ChunkStreamTest, FailedReadEndsSilently) {
  const std::string bytes = chunks_of({"payload"});
  for (int successes : {0, 1}) {  // the trailer's read, then the payload's
    EndOfFile end(bytes);
    end.platform.fail(FakeCall::kRead, fake_error::kAccessDenied, successes);
    std::string payload;
    EXPECT_EQ(end.stream.read_chunk(*end.file, payload),
              ChunkRead::kReadFailed);
  }
}

// --- Payloads read in blocks ------------------------------------------------

// Collects what the stream hands on, block by block.
class Blocks final : public PayloadSink {
 public:
  void take(const char* bytes, std::size_t size) override {
    bytes_.append(bytes, size);
    sizes_.push_back(size);
  }
  std::string bytes_;
  std::vector<std::size_t> sizes_;
};

// Payloads of every size around the first three block edges, read in blocks
// of 7 bytes, hashed in place and on a worker: sound, damaged in their last
// byte, and with a read that comes back short in the middle, as from a file
// cut short while it is read.
TEST_F(ChunkStreamTest, StreamedPayloadAtEveryBlockEdge) {
  constexpr std::size_t kTiny = 7;
  enum class Damage { kNone, kLastByte, kShortRead };
  for (std::size_t size = 0; size <= 3 * kTiny + 1; ++size) {
    for (const Damage damage :
         {Damage::kNone, Damage::kLastByte, Damage::kShortRead}) {
      for (const bool on_worker : {false, true}) {
        if (damage == Damage::kLastByte && size == 0) continue;
        if (damage == Damage::kShortRead && size <= kTiny) continue;
        const std::string payload =
            test_support::filler_bytes(size, static_cast<std::uint32_t>(size));
        std::string bytes = chunks_of({"before", payload});
        const std::size_t start = bytes.size() - 20 - size;
        if (damage == Damage::kLastByte) bytes[start + size - 1] ^= 0x40;
        EndOfFile end(bytes);
        // The trailer's read, then the payload's first block: the second
        // block's read comes back short.
        if (damage == Damage::kShortRead) end.platform.short_read(2);
        ChunkStream stream(kTiny);
        Blocks blocks;
        const std::unique_ptr<Worker> worker =
            on_worker ? end.platform.start_worker() : nullptr;
        const ChunkRead read =
            stream.stream_chunk(*end.file, blocks, worker.get());
        const std::string what = "size " + std::to_string(size) + ", damage " +
                                 std::to_string(static_cast<int>(damage)) +
                                 (on_worker ? ", on a worker" : "");
        if (damage == Damage::kShortRead) {
          EXPECT_EQ(read, ChunkRead::kReadFailed) << what;
          EXPECT_EQ(blocks.bytes_, payload.substr(0, kTiny)) << what;
          continue;
        }
        EXPECT_EQ(read, damage == Damage::kNone ? ChunkRead::kOk
                                                : ChunkRead::kDigestMismatch)
            << what;
        // Every byte handed on, in blocks that are full but for the last.
        EXPECT_EQ(blocks.bytes_, bytes.substr(start, size)) << what;
        for (std::size_t i = 0; i < blocks.sizes_.size(); ++i) {
          const bool last = i + 1 == blocks.sizes_.size();
          EXPECT_TRUE(last ? blocks.sizes_[i] <= kTiny
                           : blocks.sizes_[i] == kTiny)
              << what;
        }
        EXPECT_EQ(blocks.sizes_.size(), (size + kTiny - 1) / kTiny) << what;
        // kOk goes back to the chunk's start, a mismatch stays at its length.
        EXPECT_EQ(*end.file->seek(0, File::Origin::kCurrent),
                  damage == Damage::kNone ? start : start + size)
            << what;
      }
    }
  }
}

// Texts are held whole, so a length beyond a text's bound is damage, found
// before anything is allocated or read: here in a sparse file of 512 MiB.
TEST(ChunkStreamTexts, LengthOverTheTextBoundIsBadLength) {
  test_support::ScopedTempDir temp;
  const std::string path = (temp.path() / "sparse").string();
  const std::uint64_t length = chunk_format::kMaxTextSize + 1;
  unsigned char trailer[20] = {};
  store_le32(static_cast<std::uint32_t>(length), trailer);
  std::ofstream(path, std::ios::binary)
      .seekp(static_cast<std::streamoff>(length))
      .write(reinterpret_cast<const char*>(trailer), sizeof trailer);
  const std::unique_ptr<File> file = native_platform().open_for_reading(path);
  ASSERT_TRUE(file && file->seek(0, File::Origin::kEnd));
  test_support::AllocationMeter meter;
  std::string payload;
  EXPECT_EQ(ChunkStream().read_chunk(*file, payload), ChunkRead::kBadLength);
  EXPECT_LT(meter.largest(), 1024u);
}

// --- Tail scan ---------------------------------------------------------------

TEST_F(ChunkStreamTest, TrailingBytesArePassedOver) {
  const std::string stream = chunks_of({"v", "n", "value", kTailMarker});
  File& file = open(stream + std::string(4757, '\0'));
  ASSERT_TRUE(stream_.find_tail_marker(file));
  EXPECT_EQ(position(), stream.size());
}

TEST_F(ChunkStreamTest, SmallFilesHoldNoWindow) {
  // The first window starts 23 bytes before the end and the last one at
  // offset 23: a file of 45 bytes or less has none, whatever it holds.
  for (std::size_t size = 0; size <= 45; ++size) {
    for (std::size_t at = 0; at + 22 <= size; ++at) {
      std::string bytes(size, '\0');
      bytes.replace(at, 22, kTailMarker);
      EXPECT_FALSE(stream_.find_tail_marker(open(bytes))) << size << " " << at;
    }
  }
  std::string bytes(46, '\0');
  bytes.replace(23, 22, kTailMarker);
  EXPECT_TRUE(stream_.find_tail_marker(open(bytes)));
  EXPECT_EQ(position(), 23u + 42u);
}

TEST_F(ChunkStreamTest, MarkerTouchingTheLastByteIsNotTried) {
  std::string bytes = test_support::filler_bytes(200, 1);
  bytes.replace(bytes.size() - 22, 22, kTailMarker);
  EXPECT_FALSE(stream_.find_tail_marker(open(bytes)));
  bytes += '\0';
  EXPECT_TRUE(stream_.find_tail_marker(open(bytes)));
}

TEST_F(ChunkStreamTest, MarkerInImageAndPayloadIsNotTheTail) {
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_stub(test_support::make_pe_image(2048), "setup.exe");
  writer.add_file("", "notes.txt", std::string("see ") + kTailMarker + " here");
  writer.add_value(kTailMarker, kTailMarker);
  writer.add_tail();
  const std::uint64_t tail_end = writer.size();
  writer.add_trailing(std::string(7, '\0'));
  File& file = open(sink.bytes());
  ASSERT_TRUE(stream_.find_tail_marker(file));
  EXPECT_EQ(position(), tail_end);
}

TEST_F(ChunkStreamTest, FailedScanReadFindsNothing) {
  // Found in the fourth block read, after the look at the PE header.
  const std::string bytes = std::string(100, 'x') + chunks_of({kTailMarker}) +
                            std::string(3 * kBlock, 0);
  EndOfFile intact(bytes);
  ASSERT_TRUE(intact.stream.find_tail_marker(*intact.file));
  for (int successes : {0, 1, 2, 3, 4}) {
    EndOfFile end(bytes);
    end.platform.fail(FakeCall::kRead, fake_error::kAccessDenied, successes);
    EXPECT_FALSE(end.stream.find_tail_marker(*end.file)) << successes;
  }
}

// The block scan must find what the one-window-per-byte scan finds, at the
// same position, on files that put markers at every place near the edges of
// its blocks, counted from either end, and at the ends of the range.
TEST_F(ChunkStreamTest, BlockScanMatchesTheBytewiseScan) {
  std::vector<std::pair<std::size_t, std::vector<std::size_t>>> cases;
  const std::size_t sizes[] = {46,
                               47,
                               100,
                               kBlock - 1,
                               kBlock,
                               kBlock + 1,
                               kBlock + 23,
                               kBlock + 45,
                               kBlock + 46,
                               2 * kBlock + 44,
                               3 * kBlock + 5};
  for (const std::size_t size : sizes) {
    cases.push_back({size, {}});  // no marker at all
    std::vector<std::size_t> anchors = {0, 23, size - 46, size - 45, size - 23};
    for (std::size_t k = 1; k * kBlock < size; ++k) {
      anchors.push_back(size - k * kBlock);
      anchors.push_back(k * kBlock);
    }
    for (const std::size_t anchor : anchors) {
      for (int delta = -48; delta <= 48; ++delta) {
        const auto at =
            static_cast<std::size_t>(static_cast<long>(anchor) + delta);
        if (at > size - 22) continue;  // also catches a wrapped `at`
        cases.push_back({size, {at}});
        // A second marker further back must not win.
        if (at >= 44) cases.push_back({size, {at, at / 2}});
        // Nor an earlier one that would be met first going forwards.
        if (at + 44 <= size - 23) cases.push_back({size, {at, at + 22}});
      }
    }
  }
  std::map<std::size_t, std::string> fillers;
  for (const std::size_t size : sizes) {
    fillers[size] =
        test_support::filler_bytes(size, static_cast<std::uint32_t>(size));
  }
  for (const auto& [size, markers] : cases) {
    std::string bytes = fillers[size];
    for (const std::size_t at : markers) bytes.replace(at, 22, kTailMarker);
    const auto expected = reference_scan(bytes, size);
    File& file = open(bytes);
    const bool found = stream_.find_tail_marker(file);
    ASSERT_EQ(found, expected.has_value())
        << "size " << size << ", marker at "
        << (markers.empty() ? 0 : markers[0]);
    if (found) {
      ASSERT_EQ(position(), *expected)
          << "size " << size << ", marker at " << markers[0];
    }
  }
}

TEST_F(ChunkStreamTest, BlockScanFindsTheMarkerAmongLookalikes) {
  // Every byte is one the scan probes for, and partial markers abound.
  std::string bytes(2 * kBlock + 100, 'k');
  for (std::size_t at = 30; at + 40 < bytes.size(); at += 97) {
    bytes.replace(at, 21, kTailMarker, 21);
  }
  for (const std::size_t at : {std::size_t{23}, kBlock - 10, kBlock + 3}) {
    std::string with_marker = bytes;
    with_marker.replace(at, 22, kTailMarker);
    ASSERT_TRUE(stream_.find_tail_marker(open(with_marker))) << at;
    EXPECT_EQ(position(), *reference_scan(with_marker, with_marker.size()))
        << at;
  }
  EXPECT_FALSE(stream_.find_tail_marker(open(bytes)));
}

// --- Signed packages ---------------------------------------------------------

// A tail chunk, a value record before it, both with good digests: what a
// forger would hide in the certificate table, outside the signature.
std::string forged_tail() {
  return chunks_of({"evil.exe", "executable", "value", kTailMarker});
}

TEST_F(ChunkStreamTest, ForgedTailInTheCertificateTableIsNeverFound) {
  test_support::SamplePackageOptions options;
  options.inside_certificate = forged_tail() + std::string(8, '\0');
  const test_support::SamplePackage package =
      test_support::make_sample_package(options);
  File& file = open(package.bytes);
  ASSERT_TRUE(stream_.find_tail_marker(file));
  EXPECT_EQ(position(), package.tail_end);
}

TEST_F(ChunkStreamTest, UnsignedImageIsScannedFromTheEnd) {
  // Without a PE header that names it, the table is just trailing bytes.
  test_support::SamplePackageOptions options;
  options.stub_image = std::string(4096, 'x');
  options.inside_certificate = forged_tail() + std::string(8, '\0');
  const test_support::SamplePackage package =
      test_support::make_sample_package(options);
  File& file = open(package.bytes);
  ASSERT_TRUE(stream_.find_tail_marker(file));
  EXPECT_GT(position(), package.tail_end + 5);
  std::string payload;
  ASSERT_EQ(stream_.read_chunk(file, payload), ChunkRead::kOk);
  ASSERT_EQ(stream_.read_chunk(file, payload), ChunkRead::kOk);
  ASSERT_EQ(stream_.read_chunk(file, payload), ChunkRead::kOk);
  EXPECT_EQ(payload, "executable");
}

TEST_F(ChunkStreamTest, TableThatDoesNotEndTheFileIsIgnored) {
  test_support::SamplePackageOptions options;
  options.certificate_table = true;
  test_support::SamplePackage package =
      test_support::make_sample_package(options);
  // Something appended behind the signed file: the scan starts at the end.
  package.bytes += forged_tail() + std::string(8, '\0');
  File& file = open(package.bytes);
  ASSERT_TRUE(stream_.find_tail_marker(file));
  EXPECT_EQ(position(), package.bytes.size() - 8);
}

TEST_F(ChunkStreamTest, TableWithNothingBeforeItFindsNothing) {
  // A table that starts within the first 46 bytes leaves no window.
  std::string image = test_support::make_pe_image(1024);
  image += chunks_of({kTailMarker});
  ASSERT_TRUE(test_support::name_certificate_table(
      image, 40, static_cast<std::uint32_t>(image.size() - 40)));
  EXPECT_FALSE(stream_.find_tail_marker(open(image)));
}

}  // namespace
}  // namespace vcboot
