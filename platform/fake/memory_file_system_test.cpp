#include "platform/fake/memory_file_system.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
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
  const std::vector<
      std::tuple<const char*, std::function<bool()>, std::uint32_t>>
      cases = {
          {"existing folder", [&] { return files.create_directory("C:\\d"); },
           fake_error::kAlreadyExists},
          {"folder without parent",
           [&] { return files.create_directory("C:\\x\\y"); },
           fake_error::kPathNotFound},
          {"current directory absent",
           [&] { return files.set_current_directory("C:\\x"); },
           fake_error::kFileNotFound},
          {"open absent file",
           [&] { return !!files.open_for_reading("C:\\d\\absent"); },
           fake_error::kFileNotFound},
          {"open in absent folder",
           [&] { return !!files.open_for_reading("C:\\x\\f"); },
           fake_error::kPathNotFound},
          {"create name ending in a separator",
           [&] { return !!files.create_for_writing("C:\\d\\f\\"); },
           fake_error::kInvalidName},
          {"create over read-only file",
           [&] { return !!files.create_for_writing("C:\\d\\locked"); },
           fake_error::kAccessDenied},
          {"create over folder",
           [&] { return !!files.create_for_writing("C:\\d\\sub"); },
           fake_error::kAccessDenied},
          {"list without wildcard",
           [&] { return !!files.list_directory("C:\\d"); },
           fake_error::kInvalidName},
          {"delete read-only file",
           [&] { return files.delete_file("C:\\d\\locked"); },
           fake_error::kAccessDenied},
          {"remove folder not empty",
           [&] { return files.remove_directory("C:\\d"); },
           fake_error::kDirNotEmpty},
          {"remove current directory",
           [&] { return files.remove_directory("C:\\d\\sub"); },
           fake_error::kSharingViolation},
      };
  for (const auto& [what, call, error] : cases) {
    EXPECT_FALSE(call()) << what;
    EXPECT_EQ(files.last_error(), error) << what;
    EXPECT_NE(MemoryFileSystem::error_text(error), "") << what;
  }
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
