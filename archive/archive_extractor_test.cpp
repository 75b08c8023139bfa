#include "archive/archive_extractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>

#include "archive/chunk_stream.h"
#include "archive/chunk_writer.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/invalid_archive_message.h"
#include "tests/support/sample_package.h"

namespace vcboot {
namespace {

using Message = FakePlatform::Message;

constexpr char kArchive[] = "C:\\Users\\tester\\Downloads\\setup.exe";
constexpr char kWork[] = "C:\\Users\\tester\\Temp\\VC42\\";
const Message kInvalidArchive{test_support::kInvalidArchiveCaption,
                              test_support::kInvalidArchiveText};

Message failed_to_extract(const std::string& name, const std::string& error) {
  return {"Failed to extract file!",
          std::string("File: ") + kWork + name + "\rError: " + error};
}

// A package with a stub record, the records that `add` writes, the tail and
// a few trailing zero bytes.
std::string package(const std::function<void(ChunkWriter&)>& add) {
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_stub(test_support::make_pe_image(1024), "setup.exe");
  add(writer);
  writer.add_tail();
  writer.add_trailing(std::string(5, '\0'));
  return sink.bytes();
}

class ArchiveExtractorTest : public ::testing::Test {
 protected:
  ArchiveExtractorTest() {
    state_.work_folder = kWork;
    platform_.add_directory(kWork);
  }
  // Every way out of the extraction closes every handle it opened.
  void TearDown() override { EXPECT_EQ(platform_.open_handles(), 0); }

  void extract(const std::string& bytes) {
    platform_.add_file(kArchive, bytes);
    end_ = ArchiveExtractor(platform_, state_).extract(kArchive);
  }
  std::string value_of(const std::string& name) const {
    const std::string* value = state_.variables.find(name);
    return value ? *value : "<unbound>";
  }
  std::vector<std::string> created() const {
    std::vector<std::string> paths;
    for (const std::string& entry : platform_.log()) {
      if (entry.rfind("create_for_writing ", 0) == 0)
        paths.push_back(entry.substr(19));
    }
    return paths;
  }

  FakePlatform platform_;
  ExtractionState state_;
  ExtractionEnd end_ = ExtractionEnd::kNotOpened;
};

TEST_F(ArchiveExtractorTest, ShippedPackageGivesItsFilesAndBindings) {
  const test_support::SamplePackage sample =
      test_support::make_sample_package();
  ASSERT_EQ(sample.bytes.size(), 1904432u);
  ASSERT_EQ(sample.chunks, 98u);
  ASSERT_EQ(sample.bytes.size() - sample.tail_end, 4757u);
  extract(sample.bytes);

  EXPECT_TRUE(platform_.messages().empty());  // the stub's digest is not read
  EXPECT_EQ(end_, ExtractionEnd::kComplete);
  EXPECT_EQ(
      state_.variables.entries(),
      (VariableTable::Entries(sample.bindings.begin(), sample.bindings.end())));
  EXPECT_EQ(value_of("installer"), "Setup.exe");
  EXPECT_EQ(platform_.files_in(kWork).size(), 21u);
  for (const auto& [name, content] : sample.files) {
    EXPECT_EQ(platform_.file_content(kWork + name), content) << name;
  }
  std::vector<std::string> expected_order;
  for (const std::string& name : sample.read_order)
    expected_order.push_back(kWork + name);
  EXPECT_EQ(created(), expected_order);
}

TEST_F(ArchiveExtractorTest, RecordNearerTheEndBindsFirst) {
  state_.variables.get_or_create("source") = "C:\\seeded";
  extract(package([](ChunkWriter& writer) {
    writer.add_value("name", "first in the file");
    writer.add_file("key", "a.txt", "older");
    writer.add_file("key", "b.txt", "newer");
    writer.add_value("name", "last in the file");
    writer.add_value("source", "from the archive");
  }));
  EXPECT_EQ(value_of("name"), "last in the file");
  EXPECT_EQ(value_of("key"), "b.txt");
  EXPECT_EQ(value_of("source"), "C:\\seeded");
  EXPECT_EQ(end_, ExtractionEnd::kComplete);
}

TEST_F(ArchiveExtractorTest, FileWrittenTwiceKeepsTheContentNearerTheStart) {
  platform_.add_file(std::string(kWork) + "same.txt", "was there before");
  extract(package([](ChunkWriter& writer) {
    writer.add_file("", "same.txt", "nearer the start");
    writer.add_file("", "same.txt", "nearer the end, longer text");
    writer.add_file("", "empty.txt", "");
  }));
  EXPECT_EQ(platform_.file_content(std::string(kWork) + "same.txt"),
            "nearer the start");
  EXPECT_TRUE(platform_.file_exists(std::string(kWork) + "empty.txt"));
  EXPECT_EQ(platform_.file_content(std::string(kWork) + "empty.txt"), "");
}

TEST_F(ArchiveExtractorTest, EmptyKeyBindsNothingAndEmptyNameBindsEmpty) {
  extract(package([](ChunkWriter& writer) {
    writer.add_file("", "keyless.txt", "content");
    writer.add_value("", "value of the empty name");
    writer.add_value("empty", "");
  }));
  EXPECT_EQ(platform_.file_content(std::string(kWork) + "keyless.txt"),
            "content");
  EXPECT_EQ(value_of(""), "value of the empty name");
  EXPECT_EQ(value_of("empty"), "");
  EXPECT_EQ(state_.variables.size(), 2u);
}

// A type that is not exactly one of the four names is skipped as two chunks.
TEST_F(ArchiveExtractorTest, UnknownTypeConsumesTwoChunks) {
  extract(package([](ChunkWriter& writer) {
    writer.add_value("before", "1");
    for (const char* type :
         {"Value", "value ", "FILE", "stub\n", "chunked-installer-tail!"}) {
      writer.add_record(type, {"skipped"});
    }
    writer.add_record(std::string("file\0", 5), {"skipped"});
    writer.add_value("after", "2");
  }));
  EXPECT_EQ(value_of("before"), "1");
  EXPECT_EQ(value_of("after"), "2");
  EXPECT_EQ(state_.variables.size(), 2u);
  EXPECT_TRUE(platform_.files_in(kWork).empty());
  EXPECT_TRUE(platform_.messages().empty());
}

TEST_F(ArchiveExtractorTest, SecondTailChunkDoesNotEndTheWalk) {
  extract(package([](ChunkWriter& writer) {
    writer.add_value("older", "1");
    writer.add_tail();
    writer.add_value("newer", "2");
  }));
  EXPECT_EQ(value_of("older"), "1");
  EXPECT_EQ(value_of("newer"), "2");
  EXPECT_EQ(end_, ExtractionEnd::kComplete);
}

// The walk ends at the stub record, whose file-name and image chunks are not
// read (a damaged image digest harms nothing), but which must begin the
// file: any other is the stub record of a package carried as a file, met in
// a download cut short behind that package.
TEST_F(ArchiveExtractorTest, WalkEndsAtTheStubRecordThatBeginsTheFile) {
  for (const bool carried : {false, true}) {
    StringSink sink;
    ChunkWriter writer(sink);
    if (carried) writer.add_value("before the stub", "never read");
    writer.add_chunk_with_digest("image", std::string(16, '\0'));  // damaged
    writer.add_chunk("setup.exe");
    writer.add_chunk("stub");
    writer.add_chunk("stub");
    writer.add_value("name", "value");
    writer.add_tail();
    extract(sink.bytes());
    EXPECT_EQ(value_of("name"), "value");
    EXPECT_EQ(value_of("before the stub"), "<unbound>");
    EXPECT_EQ(platform_.messages(), carried
                                        ? std::vector<Message>{kInvalidArchive}
                                        : std::vector<Message>{});
    EXPECT_EQ(end_,
              carried ? ExtractionEnd::kDamaged : ExtractionEnd::kComplete);
  }
}

// The start of the file reached without a stub record: a damaged archive,
// with what was read before kept.
TEST_F(ArchiveExtractorTest, StreamWithoutStubIsDamage) {
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_chunk(std::string(30, 'p'));  // room before the first window
  writer.add_value("name", "value");
  writer.add_tail();
  extract(sink.bytes());
  EXPECT_EQ(value_of("name"), "value");
  EXPECT_EQ(platform_.messages(), std::vector<Message>{kInvalidArchive});
  EXPECT_EQ(end_, ExtractionEnd::kDamaged);
}

TEST_F(ArchiveExtractorTest, UnsafeNameIsRefusedWithoutCreatingAnything) {
  for (const std::string name :
       {"", "..\\evil.exe", "sub/../../evil.exe", "\\Windows\\evil.dll",
        "C:\\evil.exe", "Setup.exe:hidden", "NUL", "com1.txt"}) {
    FakePlatform platform;
    platform.add_directory(kWork);
    ExtractionState state;
    state.work_folder = kWork;
    platform.add_file(kArchive, package([&](ChunkWriter& writer) {
                        writer.add_value("nearer the start", "never read");
                        writer.add_file("key", name, "content");
                      }));
    EXPECT_EQ(ArchiveExtractor(platform, state).extract(kArchive),
              ExtractionEnd::kFileNotWritten)
        << name;
    EXPECT_EQ(platform.messages(),
              std::vector<Message>{failed_to_extract(
                  name,
                  "The filename, directory name, or volume label syntax is "
                  "incorrect.")})
        << name;
    EXPECT_EQ(state.variables.size(), 0u) << name;
    EXPECT_TRUE(platform.files_in(kWork).empty()) << name;
    EXPECT_EQ(std::count_if(platform.log().begin(), platform.log().end(),
                            [](const std::string& entry) {
                              return entry.rfind("create_for_writing", 0) == 0;
                            }),
              0)
        << name;
    EXPECT_EQ(platform.open_handles(), 0);
  }
}

TEST_F(ArchiveExtractorTest, FolderPartThatDoesNotExistCannotBeCreated) {
  extract(package([](ChunkWriter& writer) {
    writer.add_value("nearer the start", "never read");
    writer.add_file("key", "missing\\file.txt", "content");
    writer.add_file("", "written.txt", "content");
  }));
  EXPECT_EQ(
      platform_.messages(),
      std::vector<Message>{failed_to_extract(
          "missing\\file.txt", "The system cannot find the path specified.")});
  // Bound before the create was tried, as for any file record.
  EXPECT_EQ(value_of("key"), "missing\\file.txt");
  EXPECT_EQ(value_of("nearer the start"), "<unbound>");
  EXPECT_TRUE(platform_.file_exists(std::string(kWork) + "written.txt"));
  EXPECT_EQ(end_, ExtractionEnd::kFileNotWritten);
}

TEST_F(ArchiveExtractorTest, DiskFullRemovesThePartialFileAndEndsTheWalk) {
  platform_.set_write_capacity(15);
  extract(package([](ChunkWriter& writer) {
    writer.add_file("", "never.txt", "not reached");
    writer.add_file("installer", "Setup.exe", "too large to fit");
    writer.add_file("", "fits.txt", "ten bytes!");
  }));
  EXPECT_EQ(platform_.messages(),
            std::vector<Message>{failed_to_extract(
                "Setup.exe", "There is not enough space on the disk.")});
  EXPECT_EQ(platform_.files_in(kWork), std::vector<std::string>{"fits.txt"});
  EXPECT_EQ(end_, ExtractionEnd::kFileNotWritten);
}

TEST_F(ArchiveExtractorTest, FailedWriteRemovesTheFile) {
  platform_.fail(FakeCall::kWrite, fake_error::kAccessDenied);
  extract(package([](ChunkWriter& writer) {
    writer.add_file("", "Setup.exe", "content");
  }));
  EXPECT_EQ(platform_.messages(), std::vector<Message>{failed_to_extract(
                                      "Setup.exe", "Access is denied.")});
  EXPECT_TRUE(platform_.files_in(kWork).empty());
  EXPECT_EQ(end_, ExtractionEnd::kFileNotWritten);
}

// A content of two and a half blocks is written as it is read, and checked
// only at its end. Whatever stopped its file from being written, damage found
// at the end is told as damage, as when each content was checked before its
// file was made; either way nothing of the file is left.
TEST_F(ArchiveExtractorTest, ContentIsCheckedToItsEndWhileWritten) {
  struct Case {
    const char* what;
    std::uint64_t capacity;  // bytes the disk takes
    bool damaged_end;        // the content's last byte changed
    const char* name;
    ExtractionEnd end;
    std::vector<Message> messages;
  };
  const std::size_t size = ChunkStream::kPayloadBlockSize * 5 / 2;
  const Case cases[] = {
      {"sound", UINT64_MAX, false, "big.bin", ExtractionEnd::kComplete, {}},
      {"damaged last block",
       UINT64_MAX,
       true,
       "big.bin",
       ExtractionEnd::kDamaged,
       {kInvalidArchive}},
      {"disk full after a block",
       ChunkStream::kPayloadBlockSize,
       false,
       "big.bin",
       ExtractionEnd::kFileNotWritten,
       {failed_to_extract("big.bin",
                          "There is not enough space on the disk.")}},
      {"disk full, then damage",
       ChunkStream::kPayloadBlockSize,
       true,
       "big.bin",
       ExtractionEnd::kDamaged,
       {kInvalidArchive}},
      {"refused name, then damage",
       UINT64_MAX,
       true,
       "..\\big.bin",
       ExtractionEnd::kDamaged,
       {kInvalidArchive}},
  };
  const std::string content = test_support::filler_bytes(size, 3);
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.add_directory(kWork);
    platform.set_write_capacity(c.capacity);
    std::string bytes = package(
        [&](ChunkWriter& writer) { writer.add_file("key", c.name, content); });
    const std::size_t last = bytes.find(c.name) - 20 - 1;
    if (c.damaged_end) bytes[last] = static_cast<char>(~bytes[last]);
    platform.add_file(kArchive, bytes);
    ExtractionState state;
    state.work_folder = kWork;
    ArchiveExtractor extractor(platform, state);
    EXPECT_EQ(extractor.extract(kArchive), c.end) << c.what;
    // What lets the run end with the disk-full exit code.
    EXPECT_EQ(platform.is_disk_full(extractor.file_error()),
              c.capacity != UINT64_MAX)
        << c.what;
    EXPECT_EQ(platform.messages(), c.messages) << c.what;
    EXPECT_EQ(platform.files_in(kWork), c.end == ExtractionEnd::kComplete
                                            ? std::vector<std::string>{c.name}
                                            : std::vector<std::string>{})
        << c.what;
    if (c.end == ExtractionEnd::kComplete) {
      EXPECT_EQ(platform.file_content(std::string(kWork) + c.name), content);
    }
    EXPECT_EQ(state.variables.find("key") != nullptr, !c.damaged_end) << c.what;
    EXPECT_EQ(platform.open_handles(), 0) << c.what;
  }
}

TEST_F(ArchiveExtractorTest, ArchiveThatCannotBeOpenedIsReported) {
  EXPECT_EQ(
      ArchiveExtractor(platform_, state_).extract("C:\\nowhere\\setup.exe"),
      ExtractionEnd::kNotOpened);
  EXPECT_EQ(platform_.messages(),
            (std::vector<Message>{
                {"Failed to open archive!",
                 "File: C:\\nowhere\\setup.exe\rError: The system cannot find "
                 "the path specified."}}));
}

TEST_F(ArchiveExtractorTest, MissingTailMarkerIsReported) {
  extract(test_support::make_pe_image(1024).substr(0, 500));  // marker at 512
  ASSERT_EQ(platform_.messages().size(), 1u);
  EXPECT_EQ(platform_.messages()[0].caption, "Failed to initialize archive!");
  EXPECT_EQ(platform_.messages()[0].text.rfind(
                std::string("File: ") + kArchive + "\rError: ", 0),
            0u);
  EXPECT_EQ(end_, ExtractionEnd::kNoTail);
}

TEST_F(ArchiveExtractorTest, DigestMismatchEndsTheWalkAsDamage) {
  test_support::SamplePackage sample = test_support::make_sample_package();
  // A byte of "NL5.ini", which is read after "ZH5.ini" to "PT5.ini".
  const std::string& content = sample.files.at("NL5.ini");
  const std::size_t at = sample.bytes.find(content);
  ASSERT_NE(at, std::string::npos);
  sample.bytes[at + 100] = static_cast<char>(~sample.bytes[at + 100]);
  extract(sample.bytes);
  EXPECT_EQ(platform_.messages(), std::vector<Message>{kInvalidArchive});
  EXPECT_EQ(end_, ExtractionEnd::kDamaged);
  EXPECT_TRUE(platform_.file_exists(std::string(kWork) + "NO5.ini"));
  EXPECT_FALSE(platform_.file_exists(std::string(kWork) + "NL5.ini"));
  EXPECT_FALSE(platform_.file_exists(std::string(kWork) + "JA5.ini"));
  // The key "installer" is bound only when its record is read.
  EXPECT_EQ(value_of("installer"), "<unbound>");
  EXPECT_EQ(value_of("executable"), "%installer%");
}

TEST_F(ArchiveExtractorTest, FailedReadEndsTheWalkAsDamage) {
  const std::string bytes = package([](ChunkWriter& writer) {
    writer.add_value("older", "1");
    writer.add_value("newer", "2");
  });
  platform_.add_file(kArchive, bytes);
  // The tail scan's reads, then the tail and the newer record's three chunks
  // (a trailer and a payload read each), then the next read fails.
  int reads = 0;
  {
    FakePlatform counting;
    counting.add_file(kArchive, bytes);
    const auto file = counting.open_for_reading(kArchive);
    ASSERT_TRUE(ChunkStream().find_tail_marker(*file));
    reads = static_cast<int>(
        std::count(counting.log().begin(), counting.log().end(), "read"));
  }
  platform_.fail(FakeCall::kRead, fake_error::kAccessDenied, reads + 2 * 4);
  EXPECT_EQ(ArchiveExtractor(platform_, state_).extract(kArchive),
            ExtractionEnd::kDamaged);
  EXPECT_EQ(value_of("newer"), "2");
  EXPECT_EQ(value_of("older"), "<unbound>");
  EXPECT_EQ(platform_.messages(), std::vector<Message>{kInvalidArchive});
}

// Throws std::bad_alloc when asked to create a file, as a payload too large
// for memory would throw inside the extraction.
class OutOfMemoryPlatform : public FakePlatform {
 public:
  std::unique_ptr<File> create_for_writing(const std::string&) override {
    throw std::bad_alloc();
  }
};

TEST_F(ArchiveExtractorTest, ExceptionLeavesWithTheArchiveClosed) {
  OutOfMemoryPlatform platform;
  platform.add_directory(kWork);
  platform.add_file(kArchive, package([](ChunkWriter& writer) {
                      writer.add_file("", "Setup.exe", "content");
                    }));
  EXPECT_THROW(ArchiveExtractor(platform, state_).extract(kArchive),
               std::bad_alloc);
  EXPECT_EQ(platform.open_handles(), 0);
}

}  // namespace
}  // namespace vcboot
