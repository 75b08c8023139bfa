// A second, independent reading of a package, for the fuzz targets: what a
// complete extraction into an empty work folder on the fake platform must
// give. It walks the bytes in memory with no file, no seek and no state shared
// with the extractor, verifying each chunk before anything of it is used, so
// a difference between the two is a fault in one of them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "archive/archive_extractor.h"
#include "variables/variable_table.h"

namespace vcboot::fuzzing {

// A message as far as the package decides it: the caption, and how the text
// begins (a system error text may follow).
struct ExpectedMessage {
  std::string caption;
  std::string text_prefix;
};

struct ReferenceOutcome {
  ExtractionEnd end = ExtractionEnd::kNotOpened;
  std::vector<ExpectedMessage> messages;
  // The files in the work folder by bare name, and the bindings.
  std::map<std::string, std::string> files;
  VariableTable::Entries bindings;
};

// The outcome of extracting `bytes`, the file at `archive_path`, into
// `work_folder` (ending with '\'), which is empty and has no folder in it.
ReferenceOutcome reference_extraction(const std::string& bytes,
                                      const std::string& archive_path,
                                      const std::string& work_folder);

}  // namespace vcboot::fuzzing
