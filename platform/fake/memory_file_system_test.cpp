#include "platform/fake/memory_file_system.h"

#include <gtest/gtest.h>

#include <vector>

namespace vcboot {
namespace {

TEST(MemoryFileSystem, PathsNameOneNodeWithEitherSeparator) {
  MemoryFileSystem files;
  files.add_directory("C:\\a\\b\\");
  EXPECT_TRUE(files.directory_exists("C:/a"));
  EXPECT_TRUE(files.directory_exists("C:\\a\\b"));
  files.add_file("C:/a/b/f.txt", "content");
  EXPECT_EQ(files.file_content("C:\\a\\b\\f.txt"), "content");
  EXPECT_EQ(files.files_in("C:\\a\\b\\"), std::vector<std::string>{"f.txt"});
  EXPECT_EQ(files.all_files(), std::vector<std::string>{"C:\\a\\b\\f.txt"});
}

// Each failing call as Windows fails it: the error code, and a text for it.
TEST(MemoryFileSystem, CallsFailAsWindowsFailsThem) {
  MemoryFileSystem files;
  files.add_directory("C:\\d\\sub");
  files.add_file("C:\\d\\locked", "");
  files.set_read_only("C:\\d\\locked", true);
  ASSERT_TRUE(files.set_current_directory("C:\\d\\sub"));
  // The error that a call which must fail left, once it has a text.
  const auto error_of = [&files](bool succeeded) -> std::uint32_t {
    if (succeeded) return 0;
    EXPECT_NE(MemoryFileSystem::error_text(files.last_error()), "");
    return files.last_error();
  };
  namespace error = fake_error;
  EXPECT_EQ(error_of(files.create_directory("C:\\d")), error::kAlreadyExists);
  EXPECT_EQ(error_of(files.create_directory("C:\\x\\y")), error::kPathNotFound);
  EXPECT_EQ(error_of(files.set_current_directory("C:\\x")),
            error::kFileNotFound);
  EXPECT_EQ(error_of(!!files.open_for_reading("C:\\d\\absent")),
            error::kFileNotFound);
  EXPECT_EQ(error_of(!!files.open_for_reading("C:\\x\\f")),
            error::kPathNotFound);
  EXPECT_EQ(error_of(!!files.create_for_writing("C:\\d\\f\\")),
            error::kInvalidName);
  EXPECT_EQ(error_of(!!files.create_for_writing("C:\\d\\locked")),
            error::kAccessDenied);
  EXPECT_EQ(error_of(!!files.create_for_writing("C:\\d\\sub")),
            error::kAccessDenied);
  EXPECT_EQ(error_of(!!files.list_directory("C:\\d")), error::kInvalidName);
  EXPECT_EQ(error_of(files.delete_file("C:\\d\\locked")), error::kAccessDenied);
  EXPECT_EQ(error_of(files.remove_directory("C:\\d")), error::kDirNotEmpty);
  // The current directory.
  EXPECT_EQ(error_of(files.remove_directory("C:\\d\\sub")),
            error::kSharingViolation);
}

TEST(MemoryFileSystem, FilesAreReadAsWrittenAndCounted) {
  MemoryFileSystem files;
  files.add_directory("C:\\d");
  {
    const auto out = files.create_for_writing("C:\\d\\f");
    std::size_t done = 0;
    ASSERT_TRUE(out->write("hello", 5, &done));
    EXPECT_EQ(done, 5u);
    EXPECT_FALSE(out->read(nullptr, 0, &done));  // opened for writing only
    EXPECT_EQ(files.last_error(), fake_error::kAccessDenied);
    const auto in = files.open_for_reading("C:\\d\\f");
    EXPECT_EQ(files.open_handles(), 2);
    char buffer[8] = {};
    EXPECT_EQ(in->seek(-3, File::Origin::kEnd), 2u);
    ASSERT_TRUE(in->read(buffer, sizeof buffer, &done));
    EXPECT_EQ(std::string(buffer, done), "llo");
    EXPECT_FALSE(in->seek(-6, File::Origin::kCurrent));
    EXPECT_EQ(files.last_error(), fake_error::kNegativeSeek);
  }
  EXPECT_EQ(files.open_handles(), 0);
  auto listing = files.list_directory("C:\\d\\*");
  std::vector<std::string> names;
  for (DirectoryEntry entry; listing->next(&entry);)
    names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "f"}));
}

}  // namespace
}  // namespace vcboot
