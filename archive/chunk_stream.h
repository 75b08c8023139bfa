// Reads the appended archive backwards, one verified chunk at a time.
//
// The stream is found from its tail marker near the end of the file and read
// towards offset 0; each chunk's payload is checked against the MD5 digest
// stored behind it. Each operation leaves the file's position where the next
// one expects it; beyond that, ChunkStream keeps only the room for one block
// of a payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "archive/payload_buffer.h"
#include "platform/platform.h"

namespace vcboot {

// What one chunk read found. The stream only reports; its caller decides
// what each finding means and what the user is told.
enum class ChunkRead {
  kOk,              // the payload matches its stored digest
  kDigestMismatch,  // the payload was read whole but fails its digest check
  kBadLength,       // the length field reaches before the start of the file,
                    // or a text is longer than a text may be
  kReadFailed,      // a move or read failed, or the file ended too soon
};

// Takes a payload's bytes in file order, one block at a time, as they are
// read: before the digest, which covers the whole payload, has been checked.
class PayloadSink {
 public:
  virtual void take(const char* bytes, std::size_t size) = 0;

 protected:
  ~PayloadSink() = default;
};

class ChunkStream {
 public:
  // Bytes read per step of the backward tail scan.
  static constexpr std::size_t kScanBlockSize = 64 * 1024;
  // Bytes read, hashed and handed on per step of a payload. With a worker,
  // a block is hashed there while it is handed on and the next one read, so
  // the hashing and the file calls overlap; per block, the two threads meet
  // twice, which in a virtual machine costs some ten microseconds each.
  // Blocks of 1 MiB took 0.81 times the floor here (16 files of 16 MiB),
  // blocks of 256 KiB 0.88 and of 4 MiB 0.86 (fewer blocks per file, so less
  // of each file overlaps). Two blocks are held: 2 MiB.
  static constexpr std::size_t kPayloadBlockSize = 1024 * 1024;

  // `payload_block_size` is for tests, which walk the block edges with
  // tiny blocks.
  explicit ChunkStream(std::size_t payload_block_size = kPayloadBlockSize)
      : block_size_(payload_block_size > 0 ? payload_block_size : 1) {}

  // Finds the tail marker text nearest the end of the file and leaves the
  // position at the end of the tail chunk (20 bytes past the text). The scan
  // compares 22-byte windows of the file with the marker text; the windows
  // it tries start from 23 bytes before the end back to offset 23, so files
  // of 45 bytes or less never match. When the file is a PE image whose
  // certificate table ends the file, the scan ends at the table's first byte
  // instead: the table lies outside the signature, so nothing in it is trusted.
  // False when there is no marker or the file cannot be read; nothing is shown.
  bool find_tail_marker(File& file);

  // Reads the chunk that ends at the position into `payload` (replaced
  // whole): for a record's texts, which are held whole. kOk leaves the
  // position at the chunk's first byte. kDigestMismatch leaves the unverified
  // bytes in `payload` and the position behind them, at the chunk's length
  // field, so that a tool can step over the chunk. A bad length, which
  // includes one over chunk_format::kMaxTextSize, moves nothing and
  // allocates nothing; nothing is ever shown.
  ChunkRead read_chunk(File& file, std::string& payload);

  // The same for a payload of any size, such as a file's content: it is read
  // forwards in blocks, and each block goes to `sink` as soon as it is read,
  // so memory holds two blocks at most. With a `worker`, the blocks of a
  // payload larger than one are hashed there, each while it goes to the
  // sink and the next one is read; without one, each is hashed before. The
  // payload is known to be sound only once the result is kOk; on
  // kDigestMismatch the sink has had every byte, on kReadFailed perhaps
  // some.
  ChunkRead stream_chunk(File& file, PayloadSink& sink,
                         Worker* worker = nullptr);

  // Moves the position to the first byte of the chunk that ends there,
  // reading only its length field: the payload is neither read nor
  // verified. Returns that position; nothing when a move or read fails or
  // the length reaches before the start of the file.
  std::optional<std::uint64_t> skip_chunk(File& file);

 private:
  // Reads the trailer of the chunk that ends at the position and moves to
  // its first byte, the payload's `*length` bytes then lying ahead. The
  // stored digest goes to `digest`.
  ChunkRead start_payload(File& file, std::uint64_t longest,
                          std::uint32_t* length, std::string* digest);

  std::size_t block_size_;
  // Each grows to the largest payload up to one block, then stays; the
  // second is used only with a worker.
  PayloadBuffer blocks_[2];
};

}  // namespace vcboot
