#include "tools/vcpack/package_walk.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "archive/chunk_format.h"
#include "archive/chunk_stream.h"
#include "tools/vcpack/recording_platform.h"
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

bool read_exactly(File& file, void* buffer, std::size_t size) {
  std::size_t done = 0;
  return file.read(buffer, size, &done) && done == size;
}

class Walker {
 public:
  Walker(vcboot::Platform& platform, File& file, PackageWalk& walk)
      : platform_(platform),
        stream_(platform_, flag_),
        file_(file),
        walk_(walk) {}

  void run() {
    walk_.file_size = file_.seek(0, File::Origin::kEnd).value_or(0);
    char magic[2] = {};
    walk_.windows_image = file_.seek(0, File::Origin::kBegin) &&
                          read_exactly(file_, magic, sizeof magic) &&
                          magic[0] == 'M' && magic[1] == 'Z';
    walk_.certificate_table = vcboot::find_certificate_table(file_);
    if (!stream_.find_tail_marker(file_)) {
      walk_.end = WalkEnd::kNoTail;
      return;
    }
    walk_.tail_end = position_of(file_);
    while (read_record()) {
    }
  }

 private:
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
        std::string content;
        if (!read(record, record.file_name) || !read(record, content)) {
          return keep_partial(std::move(record));
        }
        record.content_size = content.size();
        return keep(std::move(record));
      }
      case RecordType::kStub:
        keep(std::move(record));
        read_stub_chunks();
        walk_.end = WalkEnd::kStub;
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
  // stepped over; a failed move or read ends the walk.
  bool read(WalkedRecord& record, std::string& payload) {
    const auto end = position_of(file_);
    if (!end) return fail(0);
    walk_.end_offset = *end;
    const std::size_t messages = platform_.messages().size();
    if (stream_.read_chunk(file_, payload)) {
      record.chunks.push_back(
          {position_of(file_).value_or(0), payload.size(), true});
      return true;
    }
    if (platform_.messages().size() == messages) return fail(*end);
    damaged_ = true;
    return step_over_damage(record, payload, *end);
  }

  // Reads the damaged chunk that ends at `end` without its digest, leaving
  // the position at its first byte, so that the walk can show what follows.
  bool step_over_damage(WalkedRecord& record, std::string& payload,
                        std::uint64_t end) {
    unsigned char length_field[format::kLengthSize];
    if (end < format::kTrailerSize ||
        !file_.seek(static_cast<std::int64_t>(end - format::kTrailerSize),
                    File::Origin::kBegin) ||
        !read_exactly(file_, length_field, sizeof length_field)) {
      return fail(end);
    }
    const std::uint64_t length = std::uint64_t{length_field[0]} |
                                 std::uint64_t{length_field[1]} << 8 |
                                 std::uint64_t{length_field[2]} << 16 |
                                 std::uint64_t{length_field[3]} << 24;
    if (length > end - format::kTrailerSize) return fail(end);
    const std::uint64_t start = end - format::kTrailerSize - length;
    payload.assign(static_cast<std::size_t>(length), '\0');
    if (!file_.seek(static_cast<std::int64_t>(start), File::Origin::kBegin) ||
        !read_exactly(file_, &payload[0], payload.size()) ||
        !file_.seek(static_cast<std::int64_t>(start), File::Origin::kBegin)) {
      return fail(end);
    }
    record.chunks.push_back({start, length, false});
    return true;
  }

  bool fail(std::uint64_t at) {
    walk_.end = WalkEnd::kReadFailure;
    walk_.end_offset = at;
    return false;
  }

  // The stub's file name and image, for the listing only.
  void read_stub_chunks() {
    WalkedRecord scratch;
    StubChunks stub;
    std::string image;
    const bool was_damaged = damaged_;
    if (read(scratch, stub.file_name) && read(scratch, image)) {
      stub.image_size = image.size();
      stub.image_offset = scratch.chunks.back().offset;
      stub.image_verified = scratch.chunks.back().verified;
      stub.resources = read_pe_resources(image);
      walk_.stub = stub;
      walk_.records.back().offset = stub.image_offset;
    }
    // Whatever these reads met is no part of the bootstrap's walk.
    damaged_ = was_damaged;
  }

  RecordingPlatform platform_;
  bool flag_ = false;  // the reader's own flag; the walk tells the outcome
  vcboot::ChunkStream stream_;
  File& file_;
  PackageWalk& walk_;
  bool damaged_ = false;
};

}  // namespace

bool WalkedRecord::verified() const {
  return std::all_of(chunks.begin(), chunks.end(),
                     [](const ChunkRead& chunk) { return chunk.verified; });
}

std::uint64_t WalkedRecord::payload_bytes() const {
  std::uint64_t total = 0;
  for (const ChunkRead& chunk : chunks) total += chunk.payload_size;
  return total;
}

std::optional<std::size_t> PackageWalk::first_damaged_record() const {
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!records[i].verified()) return i;
  }
  return std::nullopt;
}

bool PackageWalk::archive_complete() const {
  const std::size_t reached = first_damaged_record().value_or(records.size());
  if (reached < records.size()) return false;  // a mismatch clears the flag
  return std::any_of(records.begin(), records.end(),
                     [](const WalkedRecord& record) {
                       return record.type == RecordType::kTail;
                     });
}

PackageWalk walk_package(vcboot::Platform& platform, const std::string& path) {
  // A folder opens for reading on POSIX, and every read of it then fails.
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    throw usage_or_io_error("cannot read " + path + ": it is a folder");
  }
  const std::unique_ptr<File> file = platform.open_for_reading(path);
  if (!file) {
    throw usage_or_io_error("cannot open " + path + ": " +
                            platform.system_error_text(platform.last_error()));
  }
  PackageWalk walk;
  walk.path = path;
  Walker(platform, *file, walk).run();
  return walk;
}

}  // namespace vcpack
