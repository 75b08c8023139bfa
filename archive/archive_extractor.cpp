#include "archive/archive_extractor.h"

#include <memory>

#include "archive/chunk_format.h"
#include "archive/file_name_rules.h"

namespace vcboot {

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
  tail_read_ = false;
  Step step = Step::kNext;
  while (step == Step::kNext) {
    // Between two records, so that a stop writes nothing more.
    if (platform_.stop_signal() != 0) return ExtractionEnd::kStopped;
    step = extract_record(*archive);
  }
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

template <typename Payload>
bool ArchiveExtractor::read(File& archive, Payload& payload) {
  log_.before_chunk(archive);
  const ChunkRead result = stream_.read_chunk(archive, payload);
  if (result != ChunkRead::kOk) log_.chunk_failed(result, payload.size());
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
  if (!read(archive, file_name) || !read(archive, content_)) {
    return Step::kDamaged;
  }
  // A name that could leave the work folder is refused like a file that
  // cannot be created, and binds nothing.
  if (!is_safe_file_name(file_name)) {
    messenger_.show_file_failure(MessageText::kFileNotExtractedCaption,
                                 state_.work_folder + file_name,
                                 platform_.invalid_name_error());
    return Step::kFileNotWritten;
  }
  if (!key.empty()) state_.variables.insert_if_absent(key, file_name);
  if (!write_file(file_name, content_)) return Step::kFileNotWritten;
  log_.file_written(key, file_name, content_.size());
  return Step::kNext;
}

bool ArchiveExtractor::write_file(const std::string& file_name,
                                  const PayloadBuffer& content) {
  // Messages name the file by the work folder's path; the calls reach it
  // in the folder that was entered.
  const std::string path = state_.files_folder() + file_name;
  std::unique_ptr<File> output = platform_.create_for_writing(path);
  if (!output) {
    file_error_ = platform_.last_error();
    messenger_.show_file_failure(MessageText::kFileNotExtractedCaption,
                                 state_.work_folder + file_name, file_error_);
    return false;
  }
  std::size_t written = 0;
  if (output->write(content.data(), content.size(), &written) &&
      written == content.size()) {
    return true;
  }
  // A truncated file (a disk-full write) must not be left for anyone to
  // take as whole: it goes, and the walk ends as for a file not created.
  file_error_ = platform_.last_error();
  output.reset();  // an open file cannot be deleted on Windows
  platform_.delete_file(path);
  messenger_.show_file_failure(MessageText::kFileNotExtractedCaption,
                               state_.work_folder + file_name, file_error_);
  return false;
}

}  // namespace vcboot
