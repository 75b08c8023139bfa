#include "tools/vcpack/package_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "archive/archive_extractor.h"
#include "archive/byte_sink.h"
#include "archive/chunk_writer.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/sample_package.h"
#include "tools/vcpack/checks.h"
#include "tools/vcpack/package_outcome.h"
#include "tools/vcpack/report.h"
#include "tools/vcpack/tool_error.h"
#include "util/messages.h"

namespace vcpack {
namespace {

constexpr char kPackage[] = "C:\\pkg.exe";
const std::string kStubImage = "MZ stub image chunked-installer-tail inside";

// A package written by the archive's own writer, kept in a fake file system.
class PackageWalkTest : public ::testing::Test {
 protected:
  void write(const std::function<void(vcboot::ChunkWriter&)>& records) {
    vcboot::StringSink sink;
    vcboot::ChunkWriter writer(sink);
    records(writer);
    platform_.add_file(kPackage, sink.bytes());
  }

  // The same package through the bootstrap's extraction, into C:\w\; how
  // it ended goes to `end_`.
  vcboot::ExtractionState extract() {
    platform_.add_directory("C:\\w");
    vcboot::ExtractionState state;
    state.work_folder = "C:\\w\\";
    state.variables.get_or_create("source") = "C:\\w";
    state.variables.get_or_create("commandline") = "";
    end_ = vcboot::ArchiveExtractor(platform_, state).extract(kPackage);
    return state;
  }

  // The walk's outcome must be what the extraction does: the same bindings,
  // the same files with the same contents, and the installer started only
  // when the extraction ended complete.
  void expect_outcome_matches_extraction(const PackageWalk& walk) {
    const PackageOutcome outcome = resolve_outcome(walk);
    const vcboot::ExtractionState state = extract();
    std::map<std::string, std::string> bound = {{"source", "C:\\w"},
                                                {"commandline", ""}};
    for (const Binding& binding : outcome.bindings) {
      if (binding.record) bound[binding.name] = binding.value;
    }
    EXPECT_EQ(bound, state.variables.entries());
    std::vector<std::string> names;
    for (const WrittenFile& file : outcome.files) names.push_back(file.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, platform_.files_in("C:\\w"));
    EXPECT_EQ(outcome.launches, end_ == vcboot::ExtractionEnd::kComplete);
  }

  static std::vector<std::string> texts(const std::vector<Finding>& findings) {
    std::vector<std::string> result;
    for (const Finding& finding : findings) result.push_back(finding.text);
    return result;
  }

  vcboot::FakePlatform platform_;
  vcboot::ExtractionEnd end_ = vcboot::ExtractionEnd::kComplete;
};

TEST_F(PackageWalkTest, RecordsComeInReadOrderWithOffsets) {
  write([](vcboot::ChunkWriter& writer) {
    writer.add_stub(kStubImage, "vcboot.exe");
    writer.add_file("installer", "setup.exe", "SETUP");
    writer.add_value("executable", "%installer%");
    writer.add_tail();
    writer.add_trailing(std::string(5, '\0'));
  });
  const PackageWalk walk = walk_package(platform_, kPackage);
  ASSERT_EQ(walk.records.size(), 4u);
  EXPECT_EQ(walk.records[0].type, RecordType::kTail);
  EXPECT_EQ(walk.records[1].name, "executable");
  EXPECT_EQ(walk.records[2].file_name, "setup.exe");
  EXPECT_EQ(walk.records[2].content_size, 5u);
  EXPECT_EQ(walk.records[3].type, RecordType::kStub);
  EXPECT_EQ(walk.records[3].offset, 0u);
  // The stub record's image chunk is followed by its trailer; the file
  // record starts right behind the stub record's four chunks.
  const std::uint64_t stub_record = kStubImage.size() + 10 + 4 + 4 + 4 * 20;
  EXPECT_EQ(walk.records[2].offset, stub_record);
  EXPECT_EQ(walk.file_size - *walk.tail_end, 5u);
  EXPECT_EQ(walk.end, WalkEnd::kStub);
  EXPECT_TRUE(walk.windows_image);
  ASSERT_TRUE(walk.stub.has_value());
  EXPECT_EQ(walk.stub->file_name, "vcboot.exe");
  EXPECT_TRUE(walk.stub->image_verified);
  EXPECT_TRUE(damage_findings(walk).empty());
  expect_outcome_matches_extraction(walk);
}

TEST_F(PackageWalkTest, ShadowingAndOverwritingFollowTheBootstrap) {
  write([](vcboot::ChunkWriter& writer) {
    writer.add_stub(kStubImage, "vcboot.exe");
    writer.add_file("k", "a.txt", "first");
    writer.add_file("k", "a.txt", "second");
    writer.add_value("v", "early");
    writer.add_record("note", {"ignored"});  // an unknown type: two chunks
    writer.add_value("v", "late");
    writer.add_value("source", "mine");
    writer.add_tail();
  });
  const PackageWalk walk = walk_package(platform_, kPackage);
  const PackageOutcome outcome = resolve_outcome(walk);
  ASSERT_EQ(walk.records.size(), 8u);
  EXPECT_EQ(walk.records[3].type, RecordType::kOther);
  EXPECT_EQ(walk.records[3].chunks.size(), 2u);
  EXPECT_EQ(find_binding(outcome, "v")->value, "late");
  EXPECT_EQ(find_binding(outcome, "v")->shadowed, std::vector<std::size_t>{4});
  EXPECT_FALSE(find_binding(outcome, "source")->record);
  ASSERT_EQ(outcome.files.size(), 1u);
  EXPECT_EQ(outcome.files[0].record, 6u);  // nearer the start, written last
  expect_outcome_matches_extraction(walk);
  std::vector<std::string> ids;
  for (const Finding& finding : check_package(walk).findings)
    ids.push_back(finding.name());
  const std::vector<std::string> expected = {"binds-bootstrap-variable",
                                             "unknown-record-type", "same-file",
                                             "no-executable"};
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(platform_.file_content("C:\\w\\a.txt"), "first");
}

TEST_F(PackageWalkTest, RefusedNameEndsTheBootstrapsWork) {
  write([](vcboot::ChunkWriter& writer) {
    writer.add_stub(kStubImage, "vcboot.exe");
    writer.add_file("", "NUL", "never reached");
    writer.add_file("installer", "setup.exe", "SETUP");
    writer.add_file("evil", "..\\evil.exe", "EVIL");
    writer.add_value("commandline", "mine");
    writer.add_value("executable", "%installer%");
    writer.add_tail();
  });
  const PackageWalk walk = walk_package(platform_, kPackage);
  const PackageOutcome outcome = resolve_outcome(walk);
  EXPECT_EQ(outcome.stop, WalkStop::kRefusedName);
  EXPECT_EQ(outcome.acted_on, 3u);
  EXPECT_EQ(record_outcome(walk, outcome, 4), "not reached");
  EXPECT_FALSE(outcome.launches);
  expect_outcome_matches_extraction(walk);
  // The launch is checked as the package means it, every name written: the
  // installer is bound by record #5, which the bootstrap never reaches.
  const CheckedPackage checked = check_package(walk);
  EXPECT_EQ(checked.preview->installer, "<work folder>\\setup.exe");
  const std::vector<std::string> expected = {
      "record #3 (value commandline) binds \"commandline\", which the "
      "bootstrap sets itself: it is ignored",
      "record #4 (file ..\\evil.exe): the bootstrap refuses the file name "
      "\"..\\evil.exe\" (empty, absolute, with a ':' or a zero byte, with an "
      "empty, \".\" or \"..\" part or one ending in a dot or a blank, or a "
      "device name such as NUL); the bootstrap stops there with \"Failed to "
      "extract file!\"",
      "record #6 (file NUL): the bootstrap refuses the file name \"NUL\" "
      "(empty, absolute, with a ':' or a zero byte, with an empty, \".\" or "
      "\"..\" part or one ending in a dot or a blank, or a device name such "
      "as NUL)"};
  EXPECT_EQ(texts(checked.findings), expected);
  EXPECT_EQ(checked.count(Severity::kError), 2u);
}

TEST_F(PackageWalkTest, FolderPartEndsTheWalkWhereTheWriteFails) {
  write([](vcboot::ChunkWriter& writer) {
    writer.add_stub(kStubImage, "vcboot.exe");
    writer.add_file("installer", "setup.exe", "SETUP");
    writer.add_file("doc", "doc\\readme.txt", "README");
    writer.add_value("executable", "%installer%");
    writer.add_tail();
  });
  const PackageWalk walk = walk_package(platform_, kPackage);
  const PackageOutcome outcome = resolve_outcome(walk);
  EXPECT_EQ(outcome.stop, WalkStop::kUnwritableName);
  EXPECT_EQ(outcome.acted_on, 2u);
  EXPECT_EQ(find_binding(outcome, "doc")->value, "doc\\readme.txt");
  expect_outcome_matches_extraction(walk);
  const CheckedPackage checked = check_package(walk);
  ASSERT_EQ(checked.findings.size(), 1u);
  EXPECT_EQ(checked.findings[0].id, FindingId::kFolderInName);
  EXPECT_EQ(checked.findings[0].offset, walk.records[2].offset);
}

TEST_F(PackageWalkTest, DamageIsNamedAndSteppedOver) {
  std::uint64_t bad_offset = 0;
  write([&](vcboot::ChunkWriter& writer) {
    writer.add_stub(kStubImage, "vcboot.exe");
    writer.add_value("a", "1");
    bad_offset = writer.size();
    writer.add_chunk_with_digest("2", std::string(16, 'x'));
    writer.add_chunk("b");
    writer.add_chunk("value");
    writer.add_value("c", "3");
    writer.add_tail();
  });
  const PackageWalk walk = walk_package(platform_, kPackage);
  ASSERT_EQ(walk.first_damaged_record(), 2u);
  EXPECT_FALSE(resolve_outcome(walk).launches);
  EXPECT_TRUE(walk.records[3].after_damage);  // "a", read past the damage
  EXPECT_EQ(walk.records[3].name, "a");
  EXPECT_EQ(walk.end, WalkEnd::kStub);
  const std::vector<Finding> findings = damage_findings(walk);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_NE(findings[0].text.find("#3 (value b)"), std::string::npos)
      << findings[0].text;
  EXPECT_EQ(findings[0].offset, bad_offset);
  EXPECT_FALSE(check_package(walk).preview);  // nothing to start
  expect_outcome_matches_extraction(walk);
}

TEST_F(PackageWalkTest, WalkWithoutStubRunsToTheStart) {
  write([](vcboot::ChunkWriter& writer) {
    writer.add_value("executable", "setup.exe");
    writer.add_tail();
  });
  const PackageWalk walk = walk_package(platform_, kPackage);
  EXPECT_EQ(walk.end, WalkEnd::kReadFailure);
  EXPECT_EQ(walk.end_offset, 0u);
  const std::vector<Finding> findings = damage_findings(walk);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].id, FindingId::kNoStubRecord);
  expect_outcome_matches_extraction(walk);
}

TEST_F(PackageWalkTest, PreviewFetchesInTheBootstrapsOrder) {
  // "executable" is fetched first: a reference to it from "post" finds it
  // created empty, while "parameters" is still undefined when "executable"
  // is expanded, so its reference stays.
  write([](vcboot::ChunkWriter& writer) {
    writer.add_stub(kStubImage, "vcboot.exe");
    writer.add_value("post", "[%executable%|%parameters%]");
    writer.add_value("other", "%parameters%");
    writer.add_tail();
  });
  const PackageWalk walk = walk_package(platform_, kPackage);
  const LaunchPreview preview = *check_package(walk).preview;
  EXPECT_EQ(preview.installer, "<work folder>\\");
  EXPECT_EQ(preview.parameters, "");
  EXPECT_EQ(preview.post, "[|]");
}

TEST_F(PackageWalkTest, ShippedShapeIsReadAsTheBootstrapReadsIt) {
  const vcboot::test_support::SamplePackage sample =
      vcboot::test_support::make_sample_package();
  platform_.add_file(kPackage, sample.bytes);
  const PackageWalk walk = walk_package(platform_, kPackage);
  // 26 records; of their 98 chunks the stub's image and name are not read.
  ASSERT_EQ(walk.records.size(), 26u);
  std::size_t chunks = 0;
  for (const WalkedRecord& record : walk.records)
    chunks += record.chunks.size();
  EXPECT_EQ(chunks, sample.chunks - 2);
  EXPECT_EQ(*walk.tail_end, sample.tail_end);
  ASSERT_TRUE(walk.certificate_table.has_value());
  EXPECT_EQ(walk.certificate_table->offset, sample.tail_end + 5);
  EXPECT_EQ(walk.certificate_table->size, 4752u);
  ASSERT_TRUE(walk.stub.has_value());
  EXPECT_FALSE(walk.stub->image_verified);  // its digest predates signing
  EXPECT_TRUE(damage_findings(walk).empty());

  const PackageOutcome outcome = resolve_outcome(walk);
  std::map<std::string, std::string> bindings;
  for (const Binding& binding : outcome.bindings) {
    if (binding.record) bindings[binding.name] = binding.value;
  }
  EXPECT_EQ(bindings, sample.bindings);
  std::vector<std::string> read_order;
  for (const WrittenFile& file : outcome.files) read_order.push_back(file.name);
  EXPECT_EQ(read_order, sample.read_order);
  EXPECT_TRUE(outcome.launches);
}

TEST(PackageWalk, UnopenablePackageIsAnIoError) {
  vcboot::FakePlatform platform;
  try {
    walk_package(platform, "C:\\absent.exe");
    FAIL() << "no error";
  } catch (const ToolError& error) {
    EXPECT_EQ(error.exit_code(), kExitUsageOrIo);
  }
}

}  // namespace
}  // namespace vcpack
