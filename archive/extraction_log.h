// What the extraction tells the support log (util/run_log.h): each record
// it reads, each file it writes with its size, and the chunk that ended the
// walk, where it lies and why it failed. Every call does nothing while the
// log is off, so that a run without a log makes the very same system calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "archive/chunk_stream.h"
#include "platform/platform.h"
#include "util/run_log.h"

namespace vcboot {

class ExtractionLog {
 public:
  explicit ExtractionLog(RunLog& log) : log_(log) {}

  // Notes where the chunk that is read next ends: the archive's position.
  void before_chunk(File& archive);
  // The chunk noted last failed: `why`, with `payload_size` bytes read.
  void chunk_failed(ChunkRead why, std::uint64_t payload_size);

  void tail_read();
  // A value record; `bound` is false when a record nearer the end bound
  // `name` already.
  void value_read(const std::string& name, const std::string& value,
                  bool bound);
  // A file record whose content was written whole.
  void file_written(const std::string& key, const std::string& name,
                    std::uint64_t size);
  // A file whose content was written block by block and then failed its
  // digest check: it has been deleted.
  void damaged_file_removed(const std::string& name);
  // The stub record, which ends the walk; complete only when it begins the
  // file and a tail chunk was read.
  void stub_read(bool begins_the_file, bool complete);

 private:
  RunLog& log_;
  std::optional<std::uint64_t> chunk_end_;
};

}  // namespace vcboot
