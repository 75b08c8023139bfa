#include "tests/support/metered_extraction.h"

#include "archive/archive_extractor.h"
#include "tests/support/allocation_meter.h"

namespace vcboot::test_support {

MeteredExtraction extract_metered(const std::string& package,
                                  std::size_t payload_block_size) {
  FakePlatform platform;
  platform.keep_log(false);  // its growth is not the extraction's
  platform.add_directory(kMeteredWorkFolder);
  platform.add_file(kMeteredArchive, package);
  ExtractionState state;
  state.work_folder = kMeteredWorkFolder;
  MeteredExtraction result;
  {
    AllocationMeter meter;
    result.end = ArchiveExtractor(platform, state, payload_block_size)
                     .extract(kMeteredArchive);
    result.largest_allocation = meter.largest();
  }
  result.messages = platform.messages();
  for (const std::string& name : platform.files_in(kMeteredWorkFolder)) {
    result.files[name] = platform.file_content(kMeteredWorkFolder + name);
  }
  result.bindings = state.variables.entries();
  const std::string work = kMeteredWorkFolder;
  result.only_in_work_folder = true;
  for (const std::string& path : platform.all_files()) {
    if (path != kMeteredArchive && path.rfind(work, 0) != 0) {
      result.only_in_work_folder = false;
    }
  }
  result.open_handles = platform.open_handles();
  return result;
}

}  // namespace vcboot::test_support
