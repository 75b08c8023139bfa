// Reads the appended archive backwards, one verified chunk at a time.
//
// The stream is found from its tail marker near the end of the file and read
// towards offset 0; each chunk's payload is checked against the MD5 digest
// stored behind it. ChunkStream keeps no state beyond the file's position,
// which each operation leaves where the next one expects it.
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
  kBadLength,       // the length field reaches before the start of the file
  kReadFailed,      // a move or read failed, or the file ended too soon
};

class ChunkStream {
 public:
  // Bytes read per step of the backward tail scan.
  static constexpr std::size_t kScanBlockSize = 64 * 1024;

  // Finds the tail marker text nearest the end of the file and leaves the
  // position at the end of the tail chunk (20 bytes past the text). The scan
  // compares 22-byte windows of the file with the marker text; the windows
  // it tries start from 23 bytes before the end back to offset 23, so files
  // of 45 bytes or less never match. When the file is a PE image whose
  // certificate table ends the file, the scan ends at the table's first byte
  // instead: the table lies outside the signature, so nothing in it is trusted.
  // False when there is no marker or the file cannot be read; nothing is shown.
  bool find_tail_marker(File& file);

  // Reads the chunk that ends at the position into `payload` (replaced whole).
  // kOk leaves the position at the chunk's first byte. kDigestMismatch leaves
  // the unverified bytes in `payload` and the position behind them, at the
  // chunk's length field, so that a tool can step over the chunk. A bad
  // length moves nothing and allocates nothing; nothing is ever shown.
  ChunkRead read_chunk(File& file, std::string& payload);
  // The same into a buffer that keeps its room from one chunk to the next,
  // for payloads that may be large.
  ChunkRead read_chunk(File& file, PayloadBuffer& payload);

  // Moves the position to the first byte of the chunk that ends there,
  // reading only its length field: the payload is neither read nor
  // verified. Returns that position; nothing when a move or read fails or
  // the length reaches before the start of the file.
  std::optional<std::uint64_t> skip_chunk(File& file);
};

}  // namespace vcboot
