// Turns the archive appended to the bootstrap's own file into files in the
// work folder and entries in the variable table.
#pragma once

#include <cstdint>
#include <string>

#include "archive/chunk_stream.h"
#include "archive/extraction_state.h"
#include "platform/platform.h"

namespace vcboot {

class ArchiveExtractor {
 public:
  ArchiveExtractor(Platform& platform, ExtractionState& state);

  // Reads the records from the tail towards the start of the archive until
  // the stub record, a failed or mismatched chunk, or a file that cannot be
  // written. Files go to the work folder; values and file keys are added to
  // the variable table only when absent, so the record nearer the end wins.
  // Sets the archive complete flag on each tail chunk. Reports its own
  // failures in message boxes; the archive is closed on every way out.
  void extract(std::string archive_path);

 private:
  // False when the record loop is to end.
  bool extract_record(File& archive);
  // Whether a chunk read lets the walk go on: true for a verified chunk. A
  // digest mismatch is shown and clears the archive complete flag; any other
  // failed read ends the walk silently.
  bool accept(ChunkRead read);
  bool extract_value(File& archive, const std::string& name);
  bool extract_file(File& archive, const std::string& key);
  bool write_file(const std::string& path, const PayloadBuffer& content);
  // "File: <path>\rError: <system text of error>" under `caption`.
  void report(const char* caption, const std::string& path,
              std::uint32_t error);

  Platform& platform_;
  ExtractionState& state_;
  ChunkStream stream_;
  // File contents, read into the same room one after another: the largest
  // decides the extraction's peak memory.
  PayloadBuffer content_;
};

}  // namespace vcboot
