#include "archive/chunk_writer.h"

#include <stdexcept>

#include "archive/chunk_format.h"
#include "archive/little_endian.h"
#include "archive/md5_digest.h"

namespace vcboot {

ChunkWriter::ChunkWriter(ByteSink& sink) : sink_(sink) {}

void ChunkWriter::add_chunk(const std::string& payload) {
  add_chunk_with_digest(payload, Md5Digest(payload).digest_bytes());
}

void ChunkWriter::add_chunk_with_digest(const std::string& payload,
                                        const std::string& digest) {
  if (payload.size() > chunk_format::kMaxPayloadSize) {
    throw std::length_error("chunk payload of 512 MiB or more");
  }
  if (digest.size() != chunk_format::kDigestSize) {
    throw std::invalid_argument("a chunk digest has 16 bytes");
  }
  unsigned char length[chunk_format::kLengthSize];
  store_le32(static_cast<std::uint32_t>(payload.size()), length);
  write(payload.data(), payload.size());
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
  if (size > chunk_format::kMaxPackageSize - size_) {
    throw std::length_error("package of 4 GiB or more");
  }
  sink_.write(data, size);
  size_ += size;
}

}  // namespace vcboot
