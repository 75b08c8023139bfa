#include "archive/chunk_writer.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "archive/chunk_format.h"
#include "archive/little_endian.h"
#include "archive/md5_digest.h"

namespace vcboot {

ChunkWriter::ChunkWriter(ByteSink& sink) : sink_(sink) {}

void ChunkWriter::add_chunk(const std::string& payload) {
  add_chunk_with_digest(payload, Md5Digest(payload).digest_bytes());
}

namespace {

void check_payload_size(std::uint64_t size) {
  if (size > chunk_format::kMaxPayloadSize) {
    throw std::length_error("chunk payload of 4 GiB or more");
  }
}

}  // namespace

void ChunkWriter::add_chunk_with_digest(const std::string& payload,
                                        const std::string& digest) {
  check_payload_size(payload.size());
  if (digest.size() != chunk_format::kDigestSize) {
    throw std::invalid_argument("a chunk digest has 16 bytes");
  }
  write(payload.data(), payload.size());
  write_trailer(payload.size(), digest);
}

void ChunkWriter::add_chunk(std::uint64_t size, PayloadSource& source) {
  check_payload_size(size);
  std::vector<char> block(
      static_cast<std::size_t>(std::min<std::uint64_t>(size, kCopyBlockSize)));
  Md5Digest digest;
  for (std::uint64_t left = size; left > 0;) {
    const auto piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
    source.read(block.data(), piece);
    digest.absorb(std::string_view(block.data(), piece));
    write(block.data(), piece);
    left -= piece;
  }
  write_trailer(size, digest.digest_bytes());
}

void ChunkWriter::write_trailer(std::uint64_t size, const std::string& digest) {
  unsigned char length[chunk_format::kLengthSize];
  store_le32(static_cast<std::uint32_t>(size), length);
  write(reinterpret_cast<const char*>(length), sizeof length);
  write(digest.data(), digest.size());
  ++chunk_count_;
}

void ChunkWriter::add_record(const std::string& type,
                             const std::vector<std::string>& chunks) {
  for (const std::string& chunk : chunks) add_chunk(chunk);
  add_chunk(type);
}

// The records below write their chunks one by one rather than through
// add_record, so that a large content is never copied.
void ChunkWriter::add_stub(const std::string& image,
                           const std::string& file_name,
                           const std::string& key) {
  add_chunk(image);
  add_chunk(file_name);
  add_chunk(key);
  add_chunk(chunk_format::kStubType);
}

void ChunkWriter::add_file(const std::string& key, const std::string& file_name,
                           const std::string& content) {
  add_chunk(content);
  add_chunk(file_name);
  add_chunk(key);
  add_chunk(chunk_format::kFileType);
}

void ChunkWriter::add_file(const std::string& key, const std::string& file_name,
                           std::uint64_t size, PayloadSource& content) {
  add_chunk(size, content);
  add_chunk(file_name);
  add_chunk(key);
  add_chunk(chunk_format::kFileType);
}

void ChunkWriter::add_value(const std::string& name, const std::string& value) {
  add_chunk(value);
  add_chunk(name);
  add_chunk(chunk_format::kValueType);
}

void ChunkWriter::add_tail() { add_chunk(chunk_format::kTailMarker); }

void ChunkWriter::add_trailing(const std::string& bytes) {
  write(bytes.data(), bytes.size());
}

void ChunkWriter::write(const char* data, std::size_t size) {
  sink_.write(data, size);
  size_ += size;
}

}  // namespace vcboot
