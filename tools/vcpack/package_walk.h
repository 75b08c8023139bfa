// A package read the way the bootstrap reads it: the same ChunkStream finds
// the tail and reads every chunk backwards, verifying each digest. What the
// bootstrap would stop at (a damaged chunk) is noted and, where the chunk's
// length can still be read, passed so that the rest can be shown too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "archive/pe_certificate.h"
#include "platform/platform.h"
#include "tools/vcpack/pe_resources.h"
#include "tools/vcpack/program_format.h"
#include "tools/vcpack/stub_identity.h"

namespace vcpack {

// One chunk as met (vcboot::ChunkRead is how the read of it ended).
struct WalkedChunk {
  std::uint64_t offset = 0;        // the chunk's first byte
  std::uint32_t payload_size = 0;  // its length field
  bool verified = false;           // the stored digest matches the payload
};

// The chunks read of one record, at most four (type, name, file name and
// content), held in place: a package of many records would otherwise make
// an allocation for each.
class WalkedChunks {
 public:
  static constexpr std::size_t kMost = 4;

  void push_back(const WalkedChunk& chunk) { chunks_.at(count_++) = chunk; }
  const WalkedChunk* begin() const { return chunks_.data(); }
  const WalkedChunk* end() const { return chunks_.data() + count_; }
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  const WalkedChunk& back() const { return chunks_[count_ - 1]; }

 private:
  std::array<WalkedChunk, kMost> chunks_{};
  std::size_t count_ = 0;
};

enum class RecordType { kTail, kValue, kFile, kStub, kOther };

// One record as met, its chunks in read order (the type chunk first).
struct WalkedRecord {
  RecordType type = RecordType::kOther;
  std::string type_text;  // the type chunk's payload
  // The value's name, the file's or stub's key, or an unknown type's name
  // chunk.
  std::string name;
  std::string value;               // value record: its text
  std::string file_name;           // file record: its stored name
  std::uint64_t content_size = 0;  // file content or value text bytes
  std::string content_head;        // file record: its first bytes, up to 4
  ProgramFormat format;            // file record: what kind of program
  WalkedChunks chunks;
  // False when a failed read cut the record short.
  bool complete = true;
  // Met after a damaged chunk: the bootstrap stops before it.
  bool after_damage = false;

  // The record's first byte: its lowest chunk read, or for the stub record
  // the start of its image.
  std::uint64_t offset = 0;
  bool verified() const;  // every chunk read verified
};

// How the walk ended.
enum class WalkEnd {
  kStub,    // at the stub record, as in every sound package
  kNoTail,  // no tail marker: nothing was read
  // The tail marker text nearest the end is no tail chunk but the constant
  // inside a bootstrap's image: the package ends inside its stub, cut short
  // or with no archive at all. Nothing was read.
  kInsideStub,
  kReadFailure,  // a move or read failed: the start of the file was reached
                 // without a stub record, or a length field points before it
  // A stub record whose image chunk does not begin at offset 0, or cannot be
  // found: that of a package carried as a file, in a download cut short
  // behind it. The bootstrap stops there with "Invalid Archive!".
  kStubNotAtStart,
};

// The stub's file-name and image chunks, which the bootstrap never reads.
struct StubChunks {
  std::string file_name;
  std::uint64_t image_size = 0;
  std::uint64_t image_offset = 0;
  // Signing fills in header fields of the image after packaging, so a
  // mismatch here is expected for signed packages and harms nothing.
  bool image_verified = false;
  ProgramFormat format;  // the image's kind and processor
  // Its manifest and version resource; none when the image is no PE image.
  std::optional<PeResources> resources;
  // The settings block it carries, which the bootstrap reads first.
  StubSettings settings;
};

struct PackageWalk {
  std::string path;
  std::uint64_t file_size = 0;
  std::optional<std::uint64_t> tail_end;  // end of the tail chunk
  bool windows_image = false;  // the file begins with "MZ": a Windows program
  std::optional<vcboot::CertificateTable> certificate_table;
  // In the order met. A deque grows without moving what it holds, so a
  // package of many records never needs room for them twice.
  std::deque<WalkedRecord> records;
  WalkEnd end = WalkEnd::kNoTail;
  // Where the walk ended: the stub record's offset (for a stub record that
  // does not begin the file, its key chunk's), or the end of the chunk whose
  // read failed.
  std::uint64_t end_offset = 0;
  std::optional<StubChunks> stub;

  // The first damaged record, where the bootstrap stops; none when sound.
  std::optional<std::size_t> first_damaged_record() const;
};

// Reads the package at `path` through `platform`. Throws an I/O error when it
// cannot be opened; every other problem is part of the result.
PackageWalk walk_package(vcboot::Platform& platform, const std::string& path);

}  // namespace vcpack
