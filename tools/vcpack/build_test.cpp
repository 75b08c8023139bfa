#include "tools/vcpack/build.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "archive/byte_sink.h"
#include "archive/chunk_writer.h"
#include "tests/support/scoped_temp_dir.h"
#include "tools/vcpack/host.h"
#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

namespace fs = std::filesystem;
using vcboot::test_support::read_file;
using vcboot::test_support::write_file;

class PackageBuilderTest : public ::testing::Test {
 protected:
  PackageBuilderTest() {
    write_file(path("vcboot"),
               "bootstrap image with chunked-installer-tail inside");
    write_file(path("setup"), std::string("SETUP\0bytes", 11));
    spec_.stub_path = path("vcboot");
    spec_.records.push_back(file_record(path("setup"), "installer", "test"));
    spec_.records.back().stored_name = "Setup.exe";
    spec_.records.push_back(value_record("executable", "%installer%", "test"));
  }
  std::string path(const std::string& name) const {
    return (temp_.path() / name).string();
  }

  vcboot::test_support::ScopedTempDir temp_;
  PackageSpec spec_;
};

TEST_F(PackageBuilderTest, WritesTheLayoutTheReaderExpects) {
  const BuildSummary summary = build_package(spec_, path("pkg"));
  vcboot::StringSink expected;
  vcboot::ChunkWriter writer(expected);
  writer.add_stub(read_file(path("vcboot")), "vcboot");
  writer.add_file("installer", "Setup.exe", std::string("SETUP\0bytes", 11));
  writer.add_value("executable", "%installer%");
  writer.add_tail();
  EXPECT_EQ(read_file(path("pkg")), expected.bytes());
  EXPECT_EQ(summary.size, expected.bytes().size());
  EXPECT_EQ(summary.file_records, 1u);
  EXPECT_EQ(summary.value_records, 1u);
  const auto perms = fs::status(path("pkg")).permissions();
  EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none);
}

// An input is copied in blocks: the package is the one written whole, and a
// tail marker text in the input is found wherever it lies, across the edge
// of two blocks too.
TEST_F(PackageBuilderTest, InputIsCopiedInBlocks) {
  const std::size_t edge = vcboot::ChunkWriter::kCopyBlockSize;
  const std::optional<std::size_t> markers[] = {std::nullopt, edge - 22,
                                                edge - 11, edge - 1, edge};
  for (const std::optional<std::size_t> marker : markers) {
    std::string content(edge + 100, 'x');
    if (marker) content.replace(*marker, 22, "chunked-installer-tail");
    write_file(path("setup"), content);
    const BuildSummary summary = build_package(spec_, path("pkg"));
    EXPECT_EQ(summary.warnings.size(), marker ? 1u : 0u) << marker.value_or(0);
    vcboot::StringSink expected;
    vcboot::ChunkWriter writer(expected);
    writer.add_stub(read_file(path("vcboot")), "vcboot");
    writer.add_file("installer", "Setup.exe", content);
    writer.add_value("executable", "%installer%");
    writer.add_tail();
    EXPECT_TRUE(read_file(path("pkg")) == expected.bytes())
        << marker.value_or(0);
  }
}

TEST_F(PackageBuilderTest, RefusalLeavesTheOldOutputAndNoTemporaryFile) {
  write_file(path("pkg"), "old");
  spec_.records.push_back(file_record(path("absent"), "", "test"));
  try {
    build_package(spec_, path("pkg"));
    FAIL() << "no refusal";
  } catch (const ToolError& error) {
    EXPECT_EQ(error.exit_code(), kExitRefused);
  }
  EXPECT_EQ(read_file(path("pkg")), "old");
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(temp_.path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 3u);  // vcboot, setup, pkg
}

TEST(AtomicOutputFile, NothingAppearsWithoutCommit) {
  vcboot::test_support::ScopedTempDir temp;
  const std::string destination = (temp.path() / "out").string();
  std::string temporary;
  {
    AtomicOutputFile file(destination);
    temporary = file.temporary_path();
    file.write("half", 4);
    EXPECT_TRUE(fs::exists(temporary));
    EXPECT_EQ(fs::path(temporary).parent_path(), temp.path());
  }
  EXPECT_FALSE(fs::exists(temporary));
  EXPECT_FALSE(fs::exists(destination));
  {
    AtomicOutputFile file(destination);
    file.write("whole", 5);
    file.commit();
  }
  EXPECT_EQ(read_file(destination), "whole");
}

TEST(AtomicOutputFile, UnwritableFolderIsAnIoError) {
  try {
    AtomicOutputFile file("/nonexistent-folder/out");
    FAIL() << "no error";
  } catch (const ToolError& error) {
    EXPECT_EQ(error.exit_code(), kExitUsageOrIo);
  }
}

}  // namespace
}  // namespace vcpack
