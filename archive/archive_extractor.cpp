#include "archive/archive_extractor.h"

#include <memory>
#include <utility>

#include "archive/chunk_format.h"
#include "archive/file_name_rules.h"

namespace vcboot {
namespace {

// Where a file's content goes as it is read: into the output file, until a
// write fails. The content is still read and checked to its end after a
// failed write or with no output file at all, so that damage is told as
// damage whatever else went wrong, as when each content was checked before
// its file was made.
class OutputSink final : public PayloadSink {
 public:
  OutputSink(Platform& platform, std::unique_ptr<File> output)
      : platform_(platform), output_(std::move(output)) {}

  void take(const char* bytes, std::size_t size) override {
    taken_ += size;
    if (!output_ || failed_) return;
    std::size_t written = 0;
    if (output_->write(bytes, size, &written) && written == size) return;
    failed_ = true;
    error_ = platform_.last_error();
  }

  // Closes the output file, which Windows cannot delete while it is open.
  // Whether every byte was written.
  bool close() {
    output_.reset();
    return !failed_;
  }
  bool failed() const { return failed_; }
  // The last error that the failed write left.
  std::uint32_t error() const { return error_; }
  // Bytes of content read so far, written or not.
  std::uint64_t taken() const { return taken_; }

 private:
  Platform& platform_;
  std::unique_ptr<File> output_;
  bool failed_ = false;
  std::uint32_t error_ = 0;
  std::uint64_t taken_ = 0;
};

}  // namespace

ArchiveExtractor::ArchiveExtractor(Platform& platform, ExtractionState& state,
                                   Messenger& messenger)
    : platform_(platform), state_(state), messenger_(messenger) {}

ExtractionEnd ArchiveExtractor::extract(std::string archive_path) {
  // No path names no file: the open is not tried, so that the error of the
  // call that could not tell the path stands rather than the open's.
  const std::unique_ptr<File> archive =
      archive_path.empty() ? nullptr : platform_.open_for_reading(archive_path);
  if (!archive) {
    messenger_.show_file_failure(MessageText::kArchiveNotOpenedCaption,
                                 archive_path, platform_.last_error());
    return ExtractionEnd::kNotOpened;
  }
  if (!stream_.find_tail_marker(*archive)) {
    messenger_.show_file_failure(MessageText::kArchiveNotInitializedCaption,
                                 archive_path, platform_.last_error());
    return ExtractionEnd::kNoTail;
  }
  // Hashes the blocks of large files while they are written. It ends with
  // the walk: no second thread lives on while the installer runs.
  worker_ = platform_.start_worker();
  tail_read_ = false;
  Step step = Step::kNext;
  bool stopped = false;
  while (step == Step::kNext) {
    // Between two records, so that a stop writes nothing more.
    stopped = platform_.stop_signal() != 0;
    if (stopped) break;
    step = extract_record(*archive);
  }
  worker_.reset();
  if (stopped) return ExtractionEnd::kStopped;
  if (step == Step::kStub && tail_read_) return ExtractionEnd::kComplete;
  // The failure has been told with the file's own name.
  if (step == Step::kFileNotWritten) return ExtractionEnd::kFileNotWritten;
  // Whatever stopped the walk short of the stub record, a digest mismatch or
  // a chunk that cannot be read, the download is damaged.
  messenger_.show(MessageText::kInvalidArchiveCaption,
                  MessageText::kInvalidArchiveText);
  return ExtractionEnd::kDamaged;
}

ArchiveExtractor::Step ArchiveExtractor::extract_record(File& archive) {
  std::string type;
  if (!read(archive, type)) return Step::kDamaged;
  if (type == chunk_format::kTailMarker) {
    tail_read_ = true;
    log_.tail_read();
    return Step::kNext;
  }
  // Every type but the tail has a name chunk, read before the type counts.
  std::string name;
  if (!read(archive, name)) return Step::kDamaged;
  if (type == chunk_format::kValueType) return extract_value(archive, name);
  if (type == chunk_format::kFileType) return extract_file(archive, name);
  // The stub record ends the walk; a record of any other type is skipped.
  if (type != chunk_format::kStubType) return Step::kNext;
  const bool begins_the_file = stub_begins_the_file(archive);
  log_.stub_read(begins_the_file, tail_read_);
  return begins_the_file ? Step::kStub : Step::kDamaged;
}

bool ArchiveExtractor::stub_begins_the_file(File& archive) {
  const auto image_end = stream_.skip_chunk(archive);  // the file name
  return image_end && stream_.skip_chunk(archive) == std::uint64_t{0};
}

bool ArchiveExtractor::read(File& archive, std::string& text) {
  log_.before_chunk(archive);
  const ChunkRead result = stream_.read_chunk(archive, text);
  if (result != ChunkRead::kOk) log_.chunk_failed(result, text.size());
  return result == ChunkRead::kOk;
}

ArchiveExtractor::Step ArchiveExtractor::extract_value(
    File& archive, const std::string& name) {
  std::string value;
  if (!read(archive, value)) return Step::kDamaged;
  log_.value_read(name, value,
                  state_.variables.insert_if_absent(name, value).second);
  return Step::kNext;
}

ArchiveExtractor::Step ArchiveExtractor::extract_file(File& archive,
                                                      const std::string& key) {
  std::string file_name;
  if (!read(archive, file_name)) return Step::kDamaged;
  return write_file(archive, key, file_name);
}

ArchiveExtractor::Step ArchiveExtractor::write_file(
    File& archive, const std::string& key, const std::string& file_name) {
  // Messages name the file by the work folder's path; the calls reach it
  // in the folder that was entered. A name that could leave the work folder
  // is refused like a file that cannot be created, and binds nothing.
  const std::string path = state_.files_folder() + file_name;
  const bool safe_name = is_safe_file_name(file_name);
  std::unique_ptr<File> output;
  file_error_ = 0;
  if (!safe_name) {
    file_error_ = platform_.invalid_name_error();
  } else if (!(output = platform_.create_for_writing(path))) {
    file_error_ = platform_.last_error();
  }
  const bool created = output != nullptr;
  OutputSink sink(platform_, std::move(output));
  log_.before_chunk(archive);
  const ChunkRead content = stream_.stream_chunk(archive, sink, worker_.get());
  const bool written = sink.close() && content == ChunkRead::kOk && created;
  if (sink.failed()) file_error_ = sink.error();
  // A file whose content failed its check, or that was not written whole (a
  // disk-full write), must not be left for anyone to take as whole.
  if (created && !written) platform_.delete_file(path);
  if (content != ChunkRead::kOk) {
    log_.chunk_failed(content, sink.taken());
    if (created) log_.damaged_file_removed(file_name);
    return Step::kDamaged;
  }
  if (safe_name && !key.empty()) {
    state_.variables.insert_if_absent(key, file_name);
  }
  if (!written) {
    messenger_.show_file_failure(MessageText::kFileNotExtractedCaption,
                                 state_.work_folder + file_name, file_error_);
    return Step::kFileNotWritten;
  }
  log_.file_written(key, file_name, sink.taken());
  return Step::kNext;
}

}  // namespace vcboot
