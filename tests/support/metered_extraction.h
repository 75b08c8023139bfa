// Extracts a package on a fresh fake platform while watching the program's
// allocations, and gathers everything the extraction left behind: for the
// corruption sweep and the fuzz target, which check untrusted packages.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_extractor.h"
#include "platform/fake/fake_platform.h"
#include "variables/variable_table.h"

namespace vcboot::test_support {

inline constexpr char kMeteredArchive[] =
    "C:\\Users\\tester\\Downloads\\setup.exe";
inline constexpr char kMeteredWorkFolder[] = "C:\\Users\\tester\\Temp\\VC42\\";

struct MeteredExtraction {
  std::vector<FakePlatform::Message> messages;
  ExtractionEnd end = ExtractionEnd::kNotOpened;
  std::map<std::string, std::string> files;  // in the work folder, by name
  VariableTable::Entries bindings;
  bool only_in_work_folder = false;  // no file elsewhere but the archive
  int open_handles = 0;              // left open
  std::size_t largest_allocation = 0;
};

// Extracts `package`, the file kMeteredArchive, into the empty work folder
// kMeteredWorkFolder, reading file contents in blocks of
// `payload_block_size` bytes.
MeteredExtraction extract_metered(
    const std::string& package,
    std::size_t payload_block_size = ChunkStream::kPayloadBlockSize);

}  // namespace vcboot::test_support
