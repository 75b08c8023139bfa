// libFuzzer target: the input is a whole package file, extracted on the fake
// platform. Beyond what the sanitizers catch, every run must agree exactly
// with the reference reading (so no file is written, and nothing bound, from
// a chunk that did not verify), write nothing outside the work folder, close
// every handle, and allocate no more than a small multiple of the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_extractor.h"
#include "fuzz/reference_extraction.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/allocation_meter.h"

namespace vcboot::fuzzing {
namespace {

constexpr char kArchive[] = "C:\\Users\\tester\\Downloads\\setup.exe";
constexpr char kWork[] = "C:\\Users\\tester\\Temp\\VC42\\";

// A message text is built from a path as long as the input, and a string that
// grows may double its room: twice the input, and some for the texts.
std::size_t allocation_bound(std::size_t input_size) {
  return 2 * input_size + 1024;
}

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "archive_fuzzer: %s\n", what);
  std::abort();
}

bool messages_match(const std::vector<FakePlatform::Message>& shown,
                    const std::vector<ExpectedMessage>& expected) {
  if (shown.size() != expected.size()) return false;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i].caption != expected[i].caption ||
        shown[i].text.rfind(expected[i].text_prefix, 0) != 0) {
      return false;
    }
  }
  return true;
}

std::map<std::string, std::string> work_folder_files(
    const FakePlatform& platform) {
  std::map<std::string, std::string> files;
  for (const std::string& name : platform.files_in(kWork)) {
    files[name] = platform.file_content(kWork + name);
  }
  return files;
}

bool only_in_work_folder(const FakePlatform& platform) {
  const std::string work = kWork;
  for (const std::string& path : platform.all_files()) {
    if (path != kArchive && path.rfind(work, 0) != 0) return false;
  }
  return true;
}

void fuzz_one(const std::string& bytes) {
  FakePlatform platform;
  platform.keep_log(false);  // its growth is not the extraction's
  platform.add_directory(kWork);
  platform.add_file(kArchive, bytes);
  RunState state;
  state.work_folder = kWork;
  std::size_t largest = 0;
  {
    testing::AllocationMeter meter;
    ArchiveExtractor(platform, state).extract(kArchive);
    largest = meter.largest();
  }
  const ReferenceOutcome expected =
      reference_extraction(bytes, kArchive, kWork);
  require(state.archive_complete == expected.archive_complete,
          "archive complete flag differs from the reference");
  require(messages_match(platform.messages(), expected.messages),
          "messages differ from the reference");
  require(work_folder_files(platform) == expected.files,
          "files differ from the reference");
  require(state.variables.entries() == expected.bindings,
          "bindings differ from the reference");
  require(only_in_work_folder(platform), "a file outside the work folder");
  require(platform.open_handles() == 0, "a handle left open");
  require(largest <= allocation_bound(bytes.size()),
          "an allocation larger than the input allows");
}

}  // namespace
}  // namespace vcboot::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  vcboot::fuzzing::fuzz_one(
      std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
