#include "platform/platform_wrapper.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "util/remove_tree.h"

namespace vcboot {
namespace {

// A partial double overrides one call; the clean-up's other calls (listing,
// removing folders, the last error) still reach the target.
TEST(PlatformWrapper, APartialDoubleChangesOnlyWhatItOverrides) {
  struct KeepsFiles : PlatformWrapper {
    using PlatformWrapper::PlatformWrapper;
    bool delete_file(const std::string&) override { return false; }
  };
  FakePlatform target;
  target.add_directory("C:\\w\\empty");
  target.add_file("C:\\w\\kept.txt", "k");
  KeepsFiles wrapper(target);
  EXPECT_FALSE(remove_tree(wrapper, "C:\\w\\"));
  EXPECT_TRUE(target.file_exists("C:\\w\\kept.txt"));
  EXPECT_FALSE(target.directory_exists("C:\\w\\empty"));
  EXPECT_FALSE(wrapper.remove_directory("C:\\absent"));
  EXPECT_EQ(wrapper.system_error_text(wrapper.last_error()),
            "The system cannot find the file specified.");
  EXPECT_EQ(&wrapper.target(), &target);
}

}  // namespace
}  // namespace vcboot
