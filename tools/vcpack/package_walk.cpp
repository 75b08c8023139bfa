#include "tools/vcpack/package_walk.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "archive/chunk_format.h"
#include "archive/chunk_stream.h"
#include "tools/vcpack/host.h"
#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

namespace format = vcboot::chunk_format;
using vcboot::File;

RecordType type_of(const std::string& text) {
  if (text == format::kTailMarker) return RecordType::kTail;
  if (text == format::kValueType) return RecordType::kValue;
  if (text == format::kFileType) return RecordType::kFile;
  if (text == format::kStubType) return RecordType::kStub;
  return RecordType::kOther;
}

std::optional<std::uint64_t> position_of(File& file) {
  return file.seek(0, File::Origin::kCurrent);
}

// What program_format needs of a file's content: its headers.
constexpr std::size_t kContentHeadSize = 4096;
// The most of the stub's image that is kept for its resources. A stub is a
// bootstrap of some hundred kilobytes; a larger image is checked, but its
// resources are not read.
constexpr std::size_t kStubImageLimit = 64 << 20;

// A payload read in blocks, of which only the first `keep` bytes are kept:
// a file's content or a stub's image, which may be as large as 4 GiB.
class PayloadHead final : public vcboot::PayloadSink {
 public:
  explicit PayloadHead(std::size_t keep) : keep_(keep) {}

  void take(const char* bytes, std::size_t size) override {
    if (head_.size() < keep_) {
      head_.append(bytes, std::min(size, keep_ - head_.size()));
    }
    size_ += size;
  }

  const std::string& head() const { return head_; }
  // The bytes taken: the whole payload once it was read to its end.
  std::uint64_t size() const { return size_; }

 private:
  std::size_t keep_;
  std::string head_;
  std::uint64_t size_ = 0;
};

class Walker {
 public:
  Walker(File& file, PackageWalk& walk) : file_(file), walk_(walk) {}

  void run() {
    walk_.file_size = file_.seek(0, File::Origin::kEnd).value_or(0);
    char magic[2] = {};
    std::size_t read = 0;
    walk_.windows_image = file_.seek(0, File::Origin::kBegin) &&
                          file_.read(magic, sizeof magic, &read) &&
                          read == sizeof magic && magic[0] == 'M' &&
                          magic[1] == 'Z';
    walk_.certificate_table = vcboot::find_certificate_table(file_);
    if (!stream_.find_tail_marker(file_)) {
      walk_.end = WalkEnd::kNoTail;
      return;
    }
    walk_.tail_end = position_of(file_);
    if (!walk_.tail_end || !starts_with_tail_chunk()) {
      walk_.tail_end.reset();
      walk_.end = WalkEnd::kInsideStub;
      return;
    }
    position_ = *walk_.tail_end;
    while (read_record()) {
    }
  }

 private:
  // Whether the marker text found is the payload of a chunk of its own, the
  // tail chunk: it then holds the marker text, whatever its digest says. The
  // same text inside a bootstrap's image is followed by other bytes than a
  // length field of 22. Leaves the position where it was.
  bool starts_with_tail_chunk() {
    std::string payload;
    const vcboot::ChunkRead read = stream_.read_chunk(file_, payload);
    const bool tail = (read == vcboot::ChunkRead::kOk ||
                       read == vcboot::ChunkRead::kDigestMismatch) &&
                      payload == format::kTailMarker;
    return file_.seek(static_cast<std::int64_t>(*walk_.tail_end),
                      File::Origin::kBegin) &&
           tail;
  }

  // Reads one record into the walk; false when the walk ends.
  bool read_record() {
    WalkedRecord record;
    record.after_damage = damaged_;
    std::string type;
    if (!read(record, type)) return false;
    record.type_text = type;
    record.type = type_of(type);
    if (record.type == RecordType::kTail) return keep(std::move(record));
    if (!read(record, record.name)) return keep_partial(std::move(record));
    switch (record.type) {
      case RecordType::kValue:
        if (!read(record, record.value)) return keep_partial(std::move(record));
        record.content_size = record.value.size();
        return keep(std::move(record));
      case RecordType::kFile: {
        PayloadHead content(kContentHeadSize);
        if (!read(record, record.file_name) || !read(record, content)) {
          return keep_partial(std::move(record));
        }
        record.content_size = content.size();
        record.content_head = content.head().substr(0, 4);
        record.format = program_format(content.head(), record.file_name);
        return keep(std::move(record));
      }
      case RecordType::kStub:
        keep(std::move(record));
        walk_.end =
            read_stub_chunks() ? WalkEnd::kStub : WalkEnd::kStubNotAtStart;
        walk_.end_offset = walk_.records.back().offset;
        return false;
      default:
        return keep(std::move(record));
    }
  }

  bool keep(WalkedRecord record) {
    record.offset = record.chunks.empty() ? 0 : record.chunks.back().offset;
    walk_.records.push_back(std::move(record));
    return true;
  }

  // A record cut short by a failed read ends the walk.
  bool keep_partial(WalkedRecord record) {
    record.complete = false;
    keep(std::move(record));
    return false;
  }

  // One chunk through the bootstrap's reader. A digest mismatch is noted and
  // stepped over, so that the walk can show what follows; any other failure
  // ends the walk.
  bool read(WalkedRecord& record, std::string& payload) {
    const std::uint64_t end = start_chunk();
    const vcboot::ChunkRead result = stream_.read_chunk(file_, payload);
    return step_over(record, end, result, payload.size());
  }

  // The same for a payload that is read in blocks and not kept whole.
  bool read(WalkedRecord& record, PayloadHead& payload) {
    const std::uint64_t end = start_chunk();
    const vcboot::ChunkRead result = stream_.stream_chunk(file_, payload);
    return step_over(record, end, result, payload.size());
  }

  std::uint64_t start_chunk() {
    walk_.end_offset = position_;
    return position_;
  }

  // Notes the chunk that ended at `end`, `size` bytes read of its payload,
  // and leaves the position at its first byte.
  bool step_over(WalkedRecord& record, std::uint64_t end,
                 vcboot::ChunkRead result, std::uint64_t size) {
    if (result != vcboot::ChunkRead::kOk &&
        result != vcboot::ChunkRead::kDigestMismatch) {
      return fail(end);
    }
    // Counted rather than asked for: a package of many small chunks would
    // otherwise take two more system calls per chunk.
    const std::uint64_t start = end - format::kTrailerSize - size;
    const bool verified = result == vcboot::ChunkRead::kOk;
    if (!verified) {
      damaged_ = true;
      if (!file_.seek(static_cast<std::int64_t>(start), File::Origin::kBegin))
        return fail(end);
    }
    record.chunks.push_back(
        {start, static_cast<std::uint32_t>(size), verified});
    position_ = start;
    return true;
  }

  bool fail(std::uint64_t at) {
    walk_.end = WalkEnd::kReadFailure;
    walk_.end_offset = at;
    return false;
  }

  // The stub's file name and image, for the listing. Whether the image
  // chunk begins the file, as the bootstrap requires: it tells that from
  // their length fields alone.
  bool read_stub_chunks() {
    WalkedRecord scratch;
    StubChunks stub;
    PayloadHead image(kStubImageLimit);
    const bool was_damaged = damaged_;
    const bool found = read(scratch, stub.file_name) && read(scratch, image);
    // Whatever these reads met is no part of the bootstrap's walk.
    damaged_ = was_damaged;
    if (!found || scratch.chunks.back().offset != 0) return false;
    stub.image_size = image.size();
    stub.image_verified = scratch.chunks.back().verified;
    // An image larger than the part kept is no bootstrap: its resources
    // and settings are not read.
    if (image.size() == image.head().size()) {
      stub.resources = read_pe_resources(image.head());
      stub.settings = read_stub_settings(image.head());
    }
    stub.format = program_format(image.head(), stub.file_name);
    walk_.stub = stub;
    walk_.records.back().offset = 0;
    return true;
  }

  vcboot::ChunkStream stream_;
  File& file_;
  PackageWalk& walk_;
  bool damaged_ = false;
  std::uint64_t position_ = 0;  // the file's position between chunk reads
};

}  // namespace

bool WalkedRecord::verified() const {
  return std::all_of(chunks.begin(), chunks.end(),
                     [](const WalkedChunk& chunk) { return chunk.verified; });
}

std::optional<std::size_t> PackageWalk::first_damaged_record() const {
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!records[i].verified()) return i;
  }
  return std::nullopt;
}

PackageWalk walk_package(vcboot::Platform& platform, const std::string& path) {
  // A folder opens for reading on POSIX, and every read of it then fails.
  std::error_code error;
  if (std::filesystem::is_directory(utf8_path(path), error)) {
    throw usage_or_io_error("cannot read " + path + ": it is a folder");
  }
  const std::unique_ptr<File> file = platform.open_for_reading(path);
  if (!file) {
    throw usage_or_io_error("cannot open " + path + ": " +
                            platform.system_error_text(platform.last_error()));
  }
  PackageWalk walk;
  walk.path = path;
  Walker(*file, walk).run();
  return walk;
}

}  // namespace vcpack
