#include "archive/extraction_log.h"

namespace vcboot {
namespace {

const char* reason(ChunkRead why) {
  switch (why) {
    case ChunkRead::kDigestMismatch:
      return "its MD5 digest does not match its payload";
    case ChunkRead::kBadLength:
      return "its length field reaches before the start of the file, or is "
             "longer than a name or value may be";
    case ChunkRead::kReadFailed:
    case ChunkRead::kOk:
      break;
  }
  return "it cannot be read: a move or read failed, or the file ends too "
         "soon";
}

}  // namespace

void ExtractionLog::before_chunk(File& archive) {
  if (log_.is_on()) chunk_end_ = archive.seek(0, File::Origin::kCurrent);
}

void ExtractionLog::chunk_failed(ChunkRead why, std::uint64_t payload_size) {
  if (!log_.is_on()) return;
  const bool mismatch = why == ChunkRead::kDigestMismatch;
  log_.write({"Damaged chunk: the chunk that ends at byte offset ",
              chunk_end_ ? std::string_view(decimal(*chunk_end_))
                         : std::string_view("(unknown)"),
              mismatch ? ", with " : "",
              mismatch ? std::string_view(decimal(payload_size)) : "",
              mismatch ? " bytes of payload" : "", ": ", reason(why)});
}

void ExtractionLog::tail_read() { log_.write({"Record: the tail chunk"}); }

void ExtractionLog::value_read(const std::string& name,
                               const std::string& value, bool bound) {
  log_.write({"Record: value \"", name, "\" = \"", value, "\"",
              bound ? "" : " (bound already by a record nearer the end)"});
}

void ExtractionLog::file_written(const std::string& key,
                                 const std::string& name, std::uint64_t size) {
  log_.write({"Record: file \"", name, "\"", key.empty() ? "" : " (key \"", key,
              key.empty() ? "" : "\")", ", ", decimal(size), " bytes written"});
}

void ExtractionLog::damaged_file_removed(const std::string& name) {
  log_.write({"Removed file \"", name,
              "\": its content was written as it was read, and failed its "
              "check at its end"});
}

void ExtractionLog::stub_read(bool begins_the_file, bool complete) {
  log_.write({!begins_the_file
                  ? "Record: a stub record that does not begin the file: the "
                    "download ends behind a package that this one carries"
              : complete
                  ? "Record: the stub record; the archive is complete"
                  : "Record: the stub record, but no tail chunk was read"});
}

}  // namespace vcboot
