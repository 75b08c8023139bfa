#include "util/remove_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/fake/fake_platform.h"
#include "tests/support/scoped_temp_dir.h"

namespace vcboot {
namespace {

namespace fs = std::filesystem;

bool logged(const FakePlatform& platform, const std::string& entry) {
  const auto& log = platform.log();
  return std::find(log.begin(), log.end(), entry) != log.end();
}

TEST(RemoveTree, SeparatorAtTheEndIsKeptOrAdded) {
  const struct {
    std::string given;
    std::string listed;
    std::string removed;
  } cases[] = {
      {"C:\\w\\", "C:\\w\\*", "C:\\w\\"},
      {"C:\\w/", "C:\\w/*", "C:\\w/"},
      {"C:\\w", "C:\\w\\*", "C:\\w\\"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.add_directory("C:\\w");
    EXPECT_TRUE(remove_tree(platform, c.given)) << c.given;
    EXPECT_TRUE(logged(platform, "list_directory " + c.listed)) << c.given;
    EXPECT_TRUE(logged(platform, "remove_directory " + c.removed)) << c.given;
    EXPECT_FALSE(platform.directory_exists("C:\\w"));
  }
}

TEST(RemoveTree, MissingFolderTouchesNothing) {
  FakePlatform platform;
  EXPECT_FALSE(remove_tree(platform, "C:\\absent\\"));
  EXPECT_FALSE(logged(platform, "remove_directory C:\\absent\\"));
}

// Only "." and ".." are passed over: a folder whose name begins with a dot,
// as an installer's .cache, goes like any other.
TEST(RemoveTree, DotFolderIsRemovedLikeAnyOther) {
  FakePlatform platform;
  platform.add_directory("C:\\w\\sub\\.cache");
  platform.add_directory("C:\\w\\...");
  platform.add_file("C:\\w\\sub\\.cache\\gone", "k");
  platform.add_file("C:\\w\\sub\\.profile", "dot file");
  platform.add_file("C:\\w\\a.txt", "a");
  EXPECT_TRUE(remove_tree(platform, "C:\\w\\"));
  EXPECT_TRUE(platform.all_files().empty());
  EXPECT_FALSE(platform.directory_exists("C:\\w"));
  EXPECT_EQ(platform.open_handles(), 0);
}

TEST(RemoveTree, ReadOnlyFileStaysWithItsFolder) {
  FakePlatform platform;
  platform.add_directory("C:\\w");
  platform.add_file("C:\\w\\locked", "l");
  platform.add_file("C:\\w\\other", "o");
  platform.set_read_only("C:\\w\\locked", true);
  EXPECT_FALSE(remove_tree(platform, "C:\\w"));
  EXPECT_TRUE(platform.file_exists("C:\\w\\locked"));
  EXPECT_FALSE(platform.file_exists("C:\\w\\other"));
}

TEST(RemoveTreeOnDisk, NestedTreeIsRemovedWhole) {
  test_support::ScopedTempDir temp;
  const fs::path root = temp.path() / "work";
  fs::create_directories(root / "a" / "b" / "c");
  test_support::write_file(root / "top.txt", "1");
  test_support::write_file(root / "a" / "b" / "deep.bin",
                           std::string(5000, 'x'));
  test_support::write_file(root / "a" / "b" / "c" / ".hidden",
                           "dot files go too");
  fs::create_directories(root / "empty");
  EXPECT_TRUE(remove_tree(native_platform(), root.string()));
  EXPECT_FALSE(fs::exists(root));
}

TEST(RemoveTreeOnDisk, EmptyFolderGoesAndMissingOneFails) {
  test_support::ScopedTempDir temp;
  fs::create_directory(temp.path() / "empty");
  EXPECT_TRUE(remove_tree(native_platform(), temp.slashed() + "empty/"));
  EXPECT_FALSE(fs::exists(temp.path() / "empty"));
  EXPECT_FALSE(remove_tree(native_platform(), temp.slashed() + "empty/"));
}

TEST(RemoveTreeOnDisk, ReadOnlyFileIsDeletedOnPosix) {
  // POSIX decides by the folder's permissions, not the file's own mode.
  test_support::ScopedTempDir temp;
  const fs::path root = temp.path() / "work";
  fs::create_directory(root);
  test_support::write_file(root / "read-only", "r");
  ::chmod((root / "read-only").c_str(), 0444);
  EXPECT_TRUE(remove_tree(native_platform(), root.string()));
  EXPECT_FALSE(fs::exists(root));
}

// A link is never followed: not one met inside the tree, and not the tree's
// own path when it has been swapped for a link.
TEST(RemoveTreeOnDisk, LinkToFolderIsRemovedNotFollowed) {
  const struct {
    const char* given;  // below the scratch folder
    bool link_is_the_tree;
  } cases[] = {{"work", false}, {"work", true}, {"work/", true}};
  for (const auto& c : cases) {
    test_support::ScopedTempDir temp;
    const fs::path outside = temp.path() / "outside";
    const fs::path root = temp.path() / "work";
    fs::create_directories(outside);
    test_support::write_file(outside / "precious", "must survive");
    if (c.link_is_the_tree) {
      fs::create_directory_symlink(outside, root);
    } else {
      fs::create_directories(root);
      fs::create_directory_symlink(outside, root / "link");
    }
    EXPECT_EQ(remove_tree(native_platform(), temp.slashed() + c.given),
              !c.link_is_the_tree)
        << c.given;
    EXPECT_EQ(fs::exists(fs::symlink_status(root)), c.link_is_the_tree)
        << c.given;
    EXPECT_EQ(test_support::read_file(outside / "precious"), "must survive")
        << c.given;
  }
}

TEST(RemoveTreeOnDisk, DotFolderGoesWithTheTree) {
  test_support::ScopedTempDir temp;
  const fs::path root = temp.path() / "work";
  fs::create_directories(root / ".cache" / ".." / ".config");
  test_support::write_file(root / ".cache" / "cached", "c");
  test_support::write_file(root / "gone", "g");
  EXPECT_TRUE(remove_tree(native_platform(), root.string() + "/"));
  EXPECT_FALSE(fs::exists(root));
}

}  // namespace
}  // namespace vcboot
