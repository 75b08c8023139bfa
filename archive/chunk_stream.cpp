#include "archive/chunk_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

#include "archive/chunk_format.h"
#include "archive/little_endian.h"
#include "archive/md5_digest.h"
#include "archive/pe_certificate.h"

namespace vcboot {
namespace {

using chunk_format::kTailMarker;
using chunk_format::kTailMarkerSize;

// The lowest window start the scan tries; the highest is this far before the
// scan's end, so the byte just before the end is never part of a window.
constexpr std::uint64_t kLowestWindow = kTailMarkerSize + 1;

// The scan looks for this byte of the marker with memchr, which is fast in
// every C library, and compares the whole window only where it occurs. 'k'
// occurs once in the marker and is rare in certificate data and in zeros.
constexpr std::size_t kProbe = 4;
static_assert(kTailMarker[kProbe] == 'k', "the probe byte of the marker");

// The start of the last occurrence of the marker in `block`.
std::optional<std::size_t> last_marker_in(const std::string& block) {
  std::optional<std::size_t> last;
  if (block.size() < kTailMarkerSize) return last;
  const char* const first = block.data() + kProbe;
  const char* const end = first + (block.size() - kTailMarkerSize) + 1;
  for (const char* probe = first; probe < end; ++probe) {
    probe = static_cast<const char*>(std::memchr(
        probe, kTailMarker[kProbe], static_cast<std::size_t>(end - probe)));
    if (probe == nullptr) break;
    if (std::memcmp(probe - kProbe, kTailMarker, kTailMarkerSize) == 0) {
      last = static_cast<std::size_t>(probe - first);
    }
  }
  return last;
}

bool read_exactly(File& file, void* buffer, std::size_t size) {
  std::size_t done = 0;
  return file.read(buffer, size, &done) && done == size;
}

// Moves back to the trailer of the chunk that ends at the position and
// reads its first `size` bytes. Where the trailer begins, at the length
// field; nothing when the move or the read fails.
std::optional<std::uint64_t> read_trailer(File& file, unsigned char* bytes,
                                          std::size_t size) {
  const auto length_at =
      file.seek(-static_cast<std::int64_t>(chunk_format::kTrailerSize),
                File::Origin::kCurrent);
  if (!length_at || !read_exactly(file, bytes, size)) return std::nullopt;
  return length_at;
}

bool read_range(File& file, std::uint64_t begin, std::uint64_t end,
                std::string& bytes) {
  bytes.resize(static_cast<std::size_t>(end - begin));
  return file.seek(static_cast<std::int64_t>(begin), File::Origin::kBegin) &&
         read_exactly(file, &bytes[0], bytes.size());
}

// The start of the marker nearest to `end` among the windows that start at
// kLowestWindow or later and leave out the byte before `end`. The file is
// read backwards in blocks that overlap by one byte less than the marker, so
// that every window lies wholly in one block.
std::optional<std::uint64_t> last_marker_before(File& file, std::uint64_t end) {
  if (end < 2 * kLowestWindow) return std::nullopt;
  std::uint64_t block_end = end - 1;
  std::string block;
  for (;;) {
    const std::uint64_t block_begin =
        block_end - kLowestWindow > ChunkStream::kScanBlockSize
            ? block_end - ChunkStream::kScanBlockSize
            : kLowestWindow;
    if (!read_range(file, block_begin, block_end, block)) return std::nullopt;
    if (const auto found = last_marker_in(block)) return block_begin + *found;
    if (block_begin == kLowestWindow) return std::nullopt;
    block_end = block_begin + kTailMarkerSize - 1;
  }
}

// One block to add to a digest, on a worker or in place.
struct HashJob {
  Md5Digest* digest;
  const char* bytes;
  std::size_t size;
};

void hash_block(void* context) {
  const auto* const job = static_cast<const HashJob*>(context);
  job->digest->absorb(std::string_view(job->bytes, job->size));
}

// Waits for the worker's job on every way out of a scope.
class WaitAtEnd {
 public:
  explicit WaitAtEnd(Worker* worker) : worker_(worker) {}
  ~WaitAtEnd() {
    if (worker_) worker_->wait();
  }
  WaitAtEnd(const WaitAtEnd&) = delete;
  WaitAtEnd& operator=(const WaitAtEnd&) = delete;

 private:
  Worker* worker_;
};

// The digest of what was read, compared with the one stored; then back over
// the payload, to the chunk's first byte.
ChunkRead finish_payload(File& file, Md5Digest& digest,
                         const std::string& stored, std::uint32_t length) {
  if (digest.digest_bytes() != stored) return ChunkRead::kDigestMismatch;
  return file.seek(-static_cast<std::int64_t>(length), File::Origin::kCurrent)
             ? ChunkRead::kOk
             : ChunkRead::kReadFailed;
}

// Where the scan ends: at the certificate table when the file is a signed
// image whose table closes the file, else at the end of the file.
std::uint64_t scan_end(File& file, std::uint64_t file_size) {
  const auto table = find_certificate_table(file);
  if (table && table->offset + table->size == file_size) return table->offset;
  return file_size;
}

}  // namespace

bool ChunkStream::find_tail_marker(File& file) {
  const auto file_size = file.seek(0, File::Origin::kEnd);
  if (!file_size) return false;
  const auto marker = last_marker_before(file, scan_end(file, *file_size));
  if (!marker) return false;
  const std::uint64_t tail_end =
      *marker + kTailMarkerSize + chunk_format::kTrailerSize;
  return file.seek(static_cast<std::int64_t>(tail_end), File::Origin::kBegin)
      .has_value();
}

ChunkRead ChunkStream::start_payload(File& file, std::uint64_t longest,
                                     std::uint32_t* length,
                                     std::string* digest) {
  // The length field and the stored digest, in one read.
  unsigned char trailer[chunk_format::kTrailerSize] = {};
  const auto length_at = read_trailer(file, trailer, sizeof trailer);
  if (!length_at) return ChunkRead::kReadFailed;
  *length = load_le32(trailer);
  // The payload lies wholly in front of its length field. A damaged length
  // that says otherwise must cause neither a move elsewhere nor a huge
  // allocation.
  if (*length > *length_at || *length > longest) return ChunkRead::kBadLength;
  digest->assign(
      reinterpret_cast<const char*>(trailer) + chunk_format::kLengthSize,
      chunk_format::kDigestSize);
  return file.seek(-static_cast<std::int64_t>(*length) -
                       static_cast<std::int64_t>(sizeof trailer),
                   File::Origin::kCurrent)
             ? ChunkRead::kOk
             : ChunkRead::kReadFailed;
}

ChunkRead ChunkStream::read_chunk(File& file, std::string& payload) {
  std::uint32_t length = 0;
  std::string stored;
  const ChunkRead start =
      start_payload(file, chunk_format::kMaxTextSize, &length, &stored);
  if (start != ChunkRead::kOk) return start;
  payload.clear();
  payload.resize(length);
  if (!read_exactly(file, &payload[0], length)) return ChunkRead::kReadFailed;
  Md5Digest digest(payload);
  return finish_payload(file, digest, stored, length);
}

ChunkRead ChunkStream::stream_chunk(File& file, PayloadSink& sink,
                                    Worker* worker) {
  std::uint32_t length = 0;
  std::string stored;
  const ChunkRead start =
      start_payload(file, chunk_format::kMaxPayloadSize, &length, &stored);
  if (start != ChunkRead::kOk) return start;
  const std::size_t block = std::min<std::size_t>(length, block_size_);
  // A payload of one block has nothing to overlap its hashing with.
  Worker* const overlap = length > block_size_ ? worker : nullptr;
  char* current = blocks_[0].resize(block);
  char* next = overlap ? blocks_[1].resize(block) : current;
  Md5Digest digest;
  HashJob job{&digest, current, 0};
  // A job in hand reads `job`, `digest` and a block: it ends before they go.
  const WaitAtEnd wait_at_end(overlap);
  std::uint32_t left = length;
  std::size_t size = std::min<std::size_t>(left, block);
  if (left > 0 && !read_exactly(file, current, size)) {
    return ChunkRead::kReadFailed;
  }
  while (left > 0) {
    job.bytes = current;
    job.size = size;
    if (overlap) {
      overlap->start(&hash_block, &job);
    } else {
      hash_block(&job);
    }
    sink.take(current, size);
    left -= static_cast<std::uint32_t>(size);
    const std::size_t next_size = std::min<std::size_t>(left, block);
    const bool read = left == 0 || read_exactly(file, next, next_size);
    if (overlap) overlap->wait();
    if (!read) return ChunkRead::kReadFailed;
    std::swap(current, next);
    size = next_size;
  }
  return finish_payload(file, digest, stored, length);
}

std::optional<std::uint64_t> ChunkStream::skip_chunk(File& file) {
  unsigned char length[chunk_format::kLengthSize] = {};
  const auto length_at = read_trailer(file, length, sizeof length);
  if (!length_at) return std::nullopt;
  const std::uint32_t size = load_le32(length);
  if (size > *length_at) return std::nullopt;
  return file.seek(static_cast<std::int64_t>(*length_at - size),
                   File::Origin::kBegin);
}

}  // namespace vcboot
