// Writes an installation package forwards, in the order the bootstrap reads
// it backwards: the stub record (the bootstrap's image first), file and value
// records, the tail chunk, then any trailing bytes. Linked into tests and
// tools, never into the bootstrap.
//
//   StringSink sink;
//   ChunkWriter writer(sink);
//   writer.add_stub(image, "setup.exe");
//   writer.add_file("installer", "Setup.exe", setup);
//   writer.add_value("executable", "%installer%");
//   writer.add_tail();
//
// The record written last is read first, so of two bindings of one name the
// later one in file order wins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/byte_sink.h"

namespace vcboot {

// Gives a payload's bytes in order, for a chunk too large to hold whole.
class PayloadSource {
 public:
  virtual ~PayloadSource() = default;
  // Fills `buffer` with the next `size` bytes; throws when it cannot.
  virtual void read(char* buffer, std::size_t size) = 0;
};

class ChunkWriter {
 public:
  explicit ChunkWriter(ByteSink& sink);

  // One chunk: the payload, its length and its MD5 digest. Throws
  // std::length_error for a payload of 4 GiB or more, which the length field
  // cannot tell.
  void add_chunk(const std::string& payload);
  // The same for a payload of `size` bytes from `source`, copied in blocks
  // and hashed on the way: memory holds one block, whatever the size.
  void add_chunk(std::uint64_t size, PayloadSource& source);
  // A chunk with the given 16-byte digest stored instead of the payload's
  // own: for damaged packages in tests, and for a stub image whose digest was
  // taken before its header was filled in.
  void add_chunk_with_digest(const std::string& payload,
                             const std::string& digest);

  // A record of any type: `chunks` in file order, then the type chunk. The
  // reader takes the last of `chunks` as the record's name.
  void add_record(const std::string& type,
                  const std::vector<std::string>& chunks);
  // The stub record. It must come first: the image begins at offset 0.
  void add_stub(const std::string& image, const std::string& file_name,
                const std::string& key = "stub");
  // A file record; an empty key binds nothing.
  void add_file(const std::string& key, const std::string& file_name,
                const std::string& content);
  // A file record whose content of `size` bytes comes from `content`.
  void add_file(const std::string& key, const std::string& file_name,
                std::uint64_t size, PayloadSource& content);
  void add_value(const std::string& name, const std::string& value);
  // The tail chunk, which ends the archive.
  void add_tail();
  // Bytes behind the tail, such as alignment and a certificate table. The
  // reader takes a tail marker text among them for the tail, so a package
  // must not hold one there (tests of forged tails do so on purpose).
  void add_trailing(const std::string& bytes);

  std::uint64_t size() const { return size_; }
  std::size_t chunk_count() const { return chunk_count_; }

  // Bytes copied per step of add_chunk from a source.
  static constexpr std::size_t kCopyBlockSize = 1 << 20;

 private:
  void write(const char* data, std::size_t size);
  // The length and digest behind a payload of `size` bytes.
  void write_trailer(std::uint64_t size, const std::string& digest);

  ByteSink& sink_;
  std::uint64_t size_ = 0;
  std::size_t chunk_count_ = 0;
};

}  // namespace vcboot
