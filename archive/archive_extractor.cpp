#include "archive/archive_extractor.h"

#include <memory>

#include "archive/chunk_format.h"
#include "archive/file_name_rules.h"
#include "util/messages.h"

namespace vcboot {

ArchiveExtractor::ArchiveExtractor(Platform& platform, ExtractionState& state)
    : platform_(platform), state_(state) {}

void ArchiveExtractor::extract(std::string archive_path) {
  const std::unique_ptr<File> archive =
      platform_.open_for_reading(archive_path);
  if (!archive) {
    report(messages::kFailedToOpenArchive, archive_path,
           platform_.last_error());
    return;
  }
  if (!stream_.find_tail_marker(*archive)) {
    report(messages::kFailedToInitializeArchive, archive_path,
           platform_.last_error());
    return;
  }
  while (extract_record(*archive)) {
  }
}

bool ArchiveExtractor::extract_record(File& archive) {
  std::string type;
  if (!accept(stream_.read_chunk(archive, type))) return false;
  if (type == chunk_format::kTailMarker) {
    state_.archive_complete = true;
    return true;
  }
  // Every type but the tail has a name chunk, read before the type counts.
  std::string name;
  if (!accept(stream_.read_chunk(archive, name))) return false;
  if (type == chunk_format::kValueType) return extract_value(archive, name);
  if (type == chunk_format::kFileType) return extract_file(archive, name);
  // The stub record ends the walk; a record of any other type is skipped.
  return type != chunk_format::kStubType;
}

bool ArchiveExtractor::accept(ChunkRead read) {
  switch (read) {
    case ChunkRead::kOk:
      return true;
    case ChunkRead::kDigestMismatch:
      platform_.show_message(messages::kInvalidArchiveCaption,
                             messages::kInvalidArchiveText);
      state_.archive_complete = false;
      return false;
    case ChunkRead::kBadLength:
    case ChunkRead::kReadFailed:
      // The walk ends without a word; the flag stays as the tail left it.
      break;
  }
  return false;
}

bool ArchiveExtractor::extract_value(File& archive, const std::string& name) {
  std::string value;
  if (!accept(stream_.read_chunk(archive, value))) return false;
  state_.variables.insert_if_absent(name, value);
  return true;
}

bool ArchiveExtractor::extract_file(File& archive, const std::string& key) {
  std::string file_name;
  if (!accept(stream_.read_chunk(archive, file_name)) ||
      !accept(stream_.read_chunk(archive, content_))) {
    return false;
  }
  const std::string path = state_.work_folder + file_name;
  // A name that could leave the work folder is refused like a file that
  // cannot be created, and binds nothing.
  if (!is_safe_file_name(file_name)) {
    report(messages::kFailedToExtractFile, path,
           platform_.invalid_name_error());
    return false;
  }
  if (!key.empty()) state_.variables.insert_if_absent(key, file_name);
  return write_file(path, content_);
}

bool ArchiveExtractor::write_file(const std::string& path,
                                  const PayloadBuffer& content) {
  std::unique_ptr<File> output = platform_.create_for_writing(path);
  if (!output) {
    report(messages::kFailedToExtractFile, path, platform_.last_error());
    return false;
  }
  std::size_t written = 0;
  if (output->write(content.data(), content.size(), &written) &&
      written == content.size()) {
    return true;
  }
  // A truncated file (a disk-full write) must not be launched later as if it
  // were whole: it goes, and the walk ends as for a file not created.
  const std::uint32_t error = platform_.last_error();
  output.reset();  // an open file cannot be deleted on Windows
  platform_.delete_file(path);
  report(messages::kFailedToExtractFile, path, error);
  return false;
}

void ArchiveExtractor::report(const char* caption, const std::string& path,
                              std::uint32_t error) {
  platform_.show_message(caption, "File: " + path + "\rError: " +
                                      platform_.system_error_text(error));
}

}  // namespace vcboot
