#include "archive/chunk_writer.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "archive/chunk_stream.h"
#include "platform/fake/fake_platform.h"

namespace vcboot {
namespace {

TEST(ChunkWriter, ChunkIsPayloadThenLengthThenDigest) {
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_chunk("abc");
  EXPECT_EQ(sink.bytes(), std::string("abc\x03\x00\x00\x00", 7) +
                              "\x90\x01\x50\x98\x3c\xd2\x4f\xb0"
                              "\xd6\x96\x3f\x7d\x28\xe1\x7f\x72");
  EXPECT_EQ(writer.size(), 23u);
  EXPECT_EQ(writer.chunk_count(), 1u);
}

TEST(ChunkWriter, DigestMustHaveSixteenBytes) {
  StringSink sink;
  ChunkWriter writer(sink);
  EXPECT_THROW(writer.add_chunk_with_digest("abc", std::string(15, 'x')),
               std::invalid_argument);
  EXPECT_EQ(writer.size(), 0u);
}

// Read backwards, each record gives its type chunk first and then its other
// chunks from the last to the first.
TEST(ChunkWriter, RecordsAreReadBackTypeFirst) {
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_stub("image", "setup.exe", "key");
  writer.add_file("installer", "Setup.exe", "content");
  writer.add_value("name", "text");
  writer.add_record("other", {"first", "second"});
  writer.add_tail();
  writer.add_trailing("\0\0\0");
  EXPECT_EQ(writer.chunk_count(), 15u);

  FakePlatform platform;
  platform.add_file("C:\\p.exe", sink.bytes());
  const auto file = platform.open_for_reading("C:\\p.exe");
  ChunkStream stream;
  ASSERT_TRUE(stream.find_tail_marker(*file));
  std::vector<std::string> read;
  std::string payload;
  ChunkRead last;
  while ((last = stream.read_chunk(*file, payload)) == ChunkRead::kOk) {
    read.push_back(payload);
  }
  EXPECT_EQ(read, (std::vector<std::string>{
                      "chunked-installer-tail", "other", "second", "first",
                      "value", "name", "text", "file", "installer", "Setup.exe",
                      "content", "stub", "key", "setup.exe", "image"}));
  // Every digest verified; the walk ended at the start of the file.
  EXPECT_EQ(last, ChunkRead::kReadFailed);
}

}  // namespace
}  // namespace vcboot
