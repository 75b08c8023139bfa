// libFuzzer target: the input is a whole package file, extracted on the fake
// platform. Beyond what the sanitizers catch, every run must agree exactly
// with the reference reading (so no file is written, and nothing bound, from
// a chunk that did not verify), write nothing outside the work folder, close
// every handle, and allocate no more than a small multiple of the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/reference_extraction.h"
#include "tests/support/metered_extraction.h"

namespace vcboot::fuzzing {
namespace {

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

void check_one(const std::string& bytes, const ReferenceOutcome& expected,
               std::size_t block_size) {
  const test_support::MeteredExtraction result =
      test_support::extract_metered(bytes, block_size);
  require(result.end == expected.end,
          "the end of the extraction differs from the reference");
  require(messages_match(result.messages, expected.messages),
          "messages differ from the reference");
  require(result.files == expected.files, "files differ from the reference");
  require(result.bindings == expected.bindings,
          "bindings differ from the reference");
  require(result.only_in_work_folder, "a file outside the work folder");
  require(result.open_handles == 0, "a handle left open");
  require(result.largest_allocation <= allocation_bound(bytes.size()),
          "an allocation larger than the input allows");
}

// With the bootstrap's blocks, which hold a small input's files whole, and
// with blocks of 63 bytes, in which a file is written block by block, hashed
// on the fake's worker, before its check.
void fuzz_one(const std::string& bytes) {
  const ReferenceOutcome expected = reference_extraction(
      bytes, test_support::kMeteredArchive, test_support::kMeteredWorkFolder);
  check_one(bytes, expected, ChunkStream::kPayloadBlockSize);
  check_one(bytes, expected, 63);
}

}  // namespace
}  // namespace vcboot::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  vcboot::fuzzing::fuzz_one(
      std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
