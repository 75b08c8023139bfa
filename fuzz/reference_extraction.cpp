#include "fuzz/reference_extraction.h"

#include <cstdint>
#include <optional>

#include "archive/chunk_format.h"
#include "archive/file_name_rules.h"
#include "archive/little_endian.h"
#include "archive/md5_digest.h"
#include "archive/pe_certificate.h"
#include "tests/support/invalid_archive_message.h"

namespace vcboot::fuzzing {
namespace {

using namespace chunk_format;

// The lowest start of a window of the tail scan.
constexpr std::size_t kLowestWindow = kTailMarkerSize + 1;

std::uint32_t le32_at(const std::string& bytes, std::size_t at) {
  return load_le32(reinterpret_cast<const unsigned char*>(bytes.data() + at));
}

// Where the tail scan ends: at a certificate table that the PE headers at the
// start name and that closes the file, else at the end of the file. The
// header parsing is the extractor's own; its tests cover it.
std::size_t scan_end(const std::string& bytes) {
  const auto headers_at =
      pe_headers_offset(bytes.substr(0, pe::kDosHeaderSize));
  if (!headers_at || *headers_at >= bytes.size()) return bytes.size();
  const std::string headers = bytes.substr(*headers_at, pe::kPeHeadersSize);
  const auto directory = security_directory_offset(headers);
  if (!directory) return bytes.size();
  const std::uint64_t offset = le32_at(headers, *directory);
  const std::uint64_t size = le32_at(headers, *directory + 4);
  if (offset == 0 || size == 0 || offset + size != bytes.size()) {
    return bytes.size();
  }
  return static_cast<std::size_t>(offset);
}

// The end of the tail chunk: 20 bytes past the marker text nearest the scan's
// end among those that start at kLowestWindow or later and leave out the byte
// just before the scan's end.
std::optional<std::size_t> tail_end(const std::string& bytes) {
  const std::size_t end = scan_end(bytes);
  if (end < 2 * kLowestWindow) return std::nullopt;
  const std::size_t at =
      bytes.rfind(kTailMarker, end - kLowestWindow, kTailMarkerSize);
  if (at == std::string::npos || at < kLowestWindow) return std::nullopt;
  return at + kTailMarkerSize + kTrailerSize;
}

// Chunks from a given end towards the start of the bytes.
class ChunkWalk {
 public:
  enum class Read { kVerified, kMismatch, kFailed };

  ChunkWalk(const std::string& bytes, std::size_t end)
      : bytes_(bytes), end_(end) {}

  // The chunk that ends where the last one began. Only a verified payload is
  // given out.
  Read next(std::string& payload) {
    if (end_ < kTrailerSize || end_ > bytes_.size()) return Read::kFailed;
    const std::size_t length_at = end_ - kTrailerSize;
    const std::size_t length = le32_at(bytes_, length_at);
    if (length > length_at) return Read::kFailed;
    const std::string candidate = bytes_.substr(length_at - length, length);
    if (Md5Digest(candidate).digest_bytes() !=
        bytes_.substr(length_at + kLengthSize, kDigestSize)) {
      return Read::kMismatch;
    }
    payload = candidate;
    end_ = length_at - length;
    return Read::kVerified;
  }

  // Steps over the chunk that ends where the last one began, by its length
  // field alone; false when that length cannot be right.
  bool skip() {
    if (end_ < kTrailerSize || end_ > bytes_.size()) return false;
    const std::size_t length_at = end_ - kTrailerSize;
    const std::size_t length = le32_at(bytes_, length_at);
    if (length > length_at) return false;
    end_ = length_at - length;
    return true;
  }

  std::size_t end() const { return end_; }

 private:
  const std::string& bytes_;
  std::size_t end_;
};

class Reference {
 public:
  Reference(const std::string& bytes, std::size_t end,
            const std::string& work_folder)
      : walk_(bytes, end), work_folder_(work_folder) {}

  // Only a walk from a tail chunk to a stub record that begins the file (its
  // file-name and image chunks stepped over) is complete; one that stops at
  // a file is told by its own message, any other stop is damage.
  ReferenceOutcome run() {
    Step step = Step::kNext;
    while (step == Step::kNext) step = next_record();
    if (step == Step::kStub && tail_read_) {
      outcome_.end = ExtractionEnd::kComplete;
    } else if (step == Step::kFileNotWritten) {
      outcome_.end = ExtractionEnd::kFileNotWritten;
    } else {
      outcome_.end = ExtractionEnd::kDamaged;
      outcome_.messages.push_back({test_support::kInvalidArchiveCaption,
                                   test_support::kInvalidArchiveText});
    }
    return outcome_;
  }

 private:
  enum class Step { kNext, kStub, kDamaged, kFileNotWritten };

  bool read(std::string& payload) {
    return walk_.next(payload) == ChunkWalk::Read::kVerified;
  }

  Step next_record() {
    std::string type;
    std::string name;
    if (!read(type)) return Step::kDamaged;
    if (type == kTailMarker) {
      tail_read_ = true;
      return Step::kNext;
    }
    if (!read(name)) return Step::kDamaged;
    if (type == kValueType) {
      std::string value;
      if (!read(value)) return Step::kDamaged;
      outcome_.bindings.emplace(name, value);
      return Step::kNext;
    }
    if (type == kFileType) return next_file(name);
    if (type != kStubType) return Step::kNext;
    const bool at_start = walk_.skip() && walk_.skip() && walk_.end() == 0;
    return at_start ? Step::kStub : Step::kDamaged;
  }

  Step next_file(const std::string& key) {
    std::string file_name;
    std::string content;
    if (!read(file_name)) return Step::kDamaged;
    // The work folder holds no folders, so no name with a folder part can be
    // created in it.
    const bool creatable = is_safe_file_name(file_name) &&
                           file_name.find_first_of("\\/") == std::string::npos;
    if (!read(content)) {
      // The file is made before its content is read, and removed when the
      // content fails: a file of that name written before is gone too.
      if (creatable) outcome_.files.erase(file_name);
      return Step::kDamaged;
    }
    if (!is_safe_file_name(file_name)) return cannot_extract(file_name);
    if (!key.empty()) outcome_.bindings.emplace(key, file_name);
    if (!creatable) return cannot_extract(file_name);
    outcome_.files[file_name] = content;
    return Step::kNext;
  }

  Step cannot_extract(const std::string& file_name) {
    outcome_.messages.push_back(
        {"Failed to extract file!",
         "File: " + work_folder_ + file_name + "\rError: "});
    return Step::kFileNotWritten;
  }

  ChunkWalk walk_;
  const std::string& work_folder_;
  bool tail_read_ = false;
  ReferenceOutcome outcome_;
};

}  // namespace

ReferenceOutcome reference_extraction(const std::string& bytes,
                                      const std::string& archive_path,
                                      const std::string& work_folder) {
  const auto end = tail_end(bytes);
  if (!end) {
    ReferenceOutcome outcome;
    outcome.end = ExtractionEnd::kNoTail;
    outcome.messages.push_back({"Failed to initialize archive!",
                                "File: " + archive_path + "\rError: "});
    return outcome;
  }
  return Reference(bytes, *end, work_folder).run();
}

}  // namespace vcboot::fuzzing
