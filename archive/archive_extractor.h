// Turns the archive appended to the bootstrap's own file into files in the
// work folder and entries in the variable table.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "archive/chunk_stream.h"
#include "archive/extraction_log.h"
#include "archive/extraction_state.h"
#include "platform/platform.h"
#include "util/messenger.h"

namespace vcboot {

// How an extraction ended, each told to the user in its own message box.
// Only a complete one lets the installer start: one that stops anywhere else
// has left files or bindings out.
enum class ExtractionEnd {
  // Every record from the tail chunk to the stub record was read, every
  // chunk verified and every file written. Nothing was shown.
  kComplete,
  // "Failed to open archive!": the own file cannot be opened.
  kNotOpened,
  // "Failed to initialize archive!": there is no tail marker.
  kNoTail,
  // "Invalid Archive!": a chunk fails its digest check, a length field
  // cannot be right, a move or read fails, the start of the file was
  // reached without a stub record, or the stub record met does not begin at
  // the start of the file: a damaged or cut download.
  kDamaged,
  // "Failed to extract file!": a file could not be created or written, or
  // its name is refused. The package itself may well be sound.
  kFileNotWritten,
  // A stop request arrived (Platform::stop_signal): the walk ended between
  // two records. Nothing was shown.
  kStopped,
};

class ArchiveExtractor {
 public:
  // Tells its failures through `messenger`, which must outlive it.
  ArchiveExtractor(Platform& platform, ExtractionState& state,
                   Messenger& messenger);
  // Tells them with the default texts, as a bare stub would. Tests pass tiny
  // blocks, so that small packages walk the edges between a file's blocks.
  ArchiveExtractor(
      Platform& platform, ExtractionState& state,
      std::size_t payload_block_size = ChunkStream::kPayloadBlockSize);
  ArchiveExtractor(const ArchiveExtractor&) = delete;
  ArchiveExtractor& operator=(const ArchiveExtractor&) = delete;

  // Reads the records from the tail towards the start of the archive until
  // the stub record or the first thing that goes wrong, which ends the walk.
  // The walk is complete only at a stub record that begins at offset 0: a
  // download cut short behind a package that the archive carries as a file
  // ends at that package's stub record, whose installer must not start.
  // Files go to the work folder; values and file keys are added to the
  // variable table only when absent, so the record nearer the end wins. The
  // archive is closed on every way out. An empty `archive_path` (the own
  // path could not be told) is reported with the platform's last error.
  ExtractionEnd extract(std::string archive_path);

  // After kFileNotWritten: the system's error for the file that could not be
  // created or written, so that the run can tell a full disk.
  std::uint32_t file_error() const { return file_error_; }

 private:
  // What one record did to the walk.
  enum class Step { kNext, kStub, kDamaged, kFileNotWritten };

  Step extract_record(File& archive);
  // Whether the stub record, read up to its key, begins at offset 0: read
  // from the trailers of its file-name and image chunks, not their payloads.
  bool stub_begins_the_file(File& archive);
  // Whether the chunk that ends at the position verified; it is read into
  // `text`.
  bool read(File& archive, std::string& text);
  Step extract_value(File& archive, const std::string& name);
  Step extract_file(File& archive, const std::string& key);
  // Writes the content chunk that ends at the position into the work folder
  // as `file_name`, block by block as it is read and checked, binds `key`,
  // and tells a file that cannot be written. The one place where files are
  // written.
  Step write_file(File& archive, const std::string& key,
                  const std::string& file_name);

  Platform& platform_;
  ExtractionState& state_;
  // Only for the constructor without a messenger: today's texts.
  MessageTexts default_texts_;
  std::optional<Messenger> default_messenger_;
  Messenger& messenger_;
  // Records, files and the failing chunk, for the support log.
  ExtractionLog log_{messenger_.log()};
  ChunkStream stream_;
  // The thread that hashes while files are written; none where no thread
  // can be started.
  std::unique_ptr<Worker> worker_;
  // Set when a tail chunk is read; the walk counts as complete only then.
  bool tail_read_ = false;
  // The error of the last file that could not be created or written.
  std::uint32_t file_error_ = 0;
};

}  // namespace vcboot
