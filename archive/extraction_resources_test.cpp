// Every way out of the extraction releases what it took: counted as the fake's
// open handles, and for the native backend as the process's open descriptors.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <new>
#include <optional>

#include "archive/archive_extractor.h"
#include "archive/chunk_format.h"
#include "archive/chunk_writer.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/allocation_meter.h"
#include "tests/support/sample_package.h"
#include "tests/support/scoped_temp_dir.h"

namespace vcboot {
namespace {

namespace fs = std::filesystem;

enum class WayOut {
  kSuccess,
  kDigestMismatch,
  kFailedOpen,
  kNoTail,
  kFailedCreate,
  kOutOfMemory,
};

// Larger than the tail scan reads at once, so that memory can run out while
// this payload, and not the scan's buffer, is made room for.
constexpr std::size_t kLargeContent = 2 * ChunkStream::kScanBlockSize;
constexpr std::size_t kAllocationLimit = kLargeContent * 3 / 4;

// Read from the end: "readme.txt", then the large "Setup.exe".
std::string package_for(WayOut way) {
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_stub(test_support::filler_bytes(100, 1), "setup");
  writer.add_file("installer", "Setup.exe",
                  test_support::filler_bytes(kLargeContent, 2));
  writer.add_file(
      "", way == WayOut::kFailedCreate ? "missing/readme.txt" : "readme.txt",
      "read me");
  const auto tail_start = static_cast<std::size_t>(writer.size());
  writer.add_tail();
  std::string bytes = sink.bytes();
  if (way == WayOut::kNoTail) bytes.resize(tail_start);
  // A byte of the digest stored for "read me".
  if (way == WayOut::kDigestMismatch) bytes[tail_start - 80] ^= 1;
  return bytes;
}

// Runs the extraction of `archive` into `state`'s work folder; an allocation
// failure is expected only where memory is made to run out, and then there is
// no end to return.
std::optional<ExtractionEnd> extract(Platform& platform, ExtractionState& state,
                                     const std::string& archive, WayOut way) {
  if (way != WayOut::kOutOfMemory) {
    return ArchiveExtractor(platform, state).extract(archive);
  }
  test_support::AllocationMeter meter(kAllocationLimit);
  EXPECT_THROW(ArchiveExtractor(platform, state).extract(archive),
               std::bad_alloc);
  EXPECT_EQ(meter.refused(), 1u);
  return std::nullopt;
}

// What shows that the extraction left by the way it was meant to.
void expect_way_out(WayOut way, std::optional<ExtractionEnd> end,
                    const ExtractionState& state, bool readme_written) {
  static const std::optional<ExtractionEnd> kEnds[] = {
      ExtractionEnd::kComplete,       ExtractionEnd::kDamaged,
      ExtractionEnd::kNotOpened,      ExtractionEnd::kNoTail,
      ExtractionEnd::kFileNotWritten, std::nullopt};
  EXPECT_EQ(end, kEnds[static_cast<int>(way)]);
  EXPECT_EQ(readme_written,
            way == WayOut::kSuccess || way == WayOut::kOutOfMemory);
  EXPECT_EQ(state.variables.find("installer") != nullptr,
            way == WayOut::kSuccess);
}

class ExtractionResources : public ::testing::TestWithParam<WayOut> {};

TEST_P(ExtractionResources, FakeHandlesAreAllClosed) {
  const std::string archive = "C:\\Downloads\\setup.exe";
  const std::string work = "C:\\Temp\\VC1\\";
  FakePlatform platform;
  platform.add_directory(work);
  if (GetParam() != WayOut::kFailedOpen) {
    platform.add_file(archive, package_for(GetParam()));
  }
  ExtractionState state;
  state.work_folder = work;
  ASSERT_EQ(platform.open_handles(), 0);
  const auto end = extract(platform, state, archive, GetParam());
  EXPECT_EQ(platform.open_handles(), 0);
  expect_way_out(GetParam(), end, state,
                 platform.file_exists(work + "readme.txt"));
}

std::ptrdiff_t open_descriptors() {
  return std::distance(fs::directory_iterator("/proc/self/fd"),
                       fs::directory_iterator());
}

TEST_P(ExtractionResources, NativeDescriptorsAreAllClosed) {
  test_support::ScopedTempDir temp;
  const fs::path archive = temp.path() / "setup";
  const fs::path work = temp.path() / "work";
  fs::create_directory(work);
  if (GetParam() != WayOut::kFailedOpen) {
    test_support::write_file(archive, package_for(GetParam()));
  }
  ExtractionState state;
  state.work_folder = work.string() + native_platform().path_separator();
  const std::ptrdiff_t before = open_descriptors();
  const auto end =
      extract(native_platform(), state, archive.string(), GetParam());
  EXPECT_EQ(open_descriptors(), before);
  expect_way_out(GetParam(), end, state, fs::exists(work / "readme.txt"));
}

std::string way_out_name(const ::testing::TestParamInfo<WayOut>& way) {
  static const char* const kNames[] = {"Success",      "DigestMismatch",
                                       "FailedOpen",   "NoTail",
                                       "FailedCreate", "OutOfMemory"};
  return kNames[static_cast<int>(way.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryWayOut, ExtractionResources,
                         ::testing::Values(WayOut::kSuccess,
                                           WayOut::kDigestMismatch,
                                           WayOut::kFailedOpen, WayOut::kNoTail,
                                           WayOut::kFailedCreate,
                                           WayOut::kOutOfMemory),
                         way_out_name);

}  // namespace
}  // namespace vcboot
