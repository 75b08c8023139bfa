#include "platform/platform_wrapper.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace vcboot {
namespace {

// Every call made through the wrapper reaches the target as the same call.
TEST(PlatformWrapper, ForwardsEveryCallToItsTarget) {
  FakePlatform target;
  target.set_time(42);
  PlatformWrapper wrapper(target);
  wrapper.show_message("caption", "text");
  wrapper.create_instance_mutex("guard");
  wrapper.temp_directory();
  wrapper.module_path();
  EXPECT_TRUE(wrapper.create_directory("C:\\w"));
  EXPECT_TRUE(wrapper.set_current_directory("C:\\w"));
  EXPECT_EQ(wrapper.create_new_directory("C:\\w\\n"), NewDirectory::kCreated);
  EXPECT_TRUE(wrapper.enter_new_directory("C:\\w\\n"));
  EXPECT_TRUE(wrapper.set_current_directory("C:\\w"));
  EXPECT_NE(wrapper.create_for_writing("C:\\w\\f"), nullptr);
  EXPECT_NE(wrapper.open_for_reading("C:\\w\\f"), nullptr);
  EXPECT_NE(wrapper.list_directory("C:\\w\\*"), nullptr);
  EXPECT_TRUE(wrapper.delete_file("C:\\w\\f"));
  EXPECT_TRUE(wrapper.set_current_directory("C:\\"));
  EXPECT_TRUE(wrapper.remove_directory("C:\\w\\n"));
  EXPECT_TRUE(wrapper.remove_directory("C:\\w"));
  EXPECT_NE(wrapper.start_program({"C:\\setup.exe", "", std::nullopt}),
            nullptr);
  EXPECT_EQ(target.log(),
            (std::vector<std::string>{
                "show_message caption", "create_instance_mutex guard",
                "temp_directory", "module_path", "create_directory C:\\w",
                "set_current_directory C:\\w", "create_new_directory C:\\w\\n",
                "enter_new_directory C:\\w\\n", "set_current_directory C:\\w",
                "create_for_writing C:\\w\\f", "open_for_reading C:\\w\\f",
                "list_directory C:\\w\\*", "delete_file C:\\w\\f",
                "set_current_directory C:\\", "remove_directory C:\\w\\n",
                "remove_directory C:\\w", "start_program C:\\setup.exe",
                "close_process C:\\setup.exe"}));

  EXPECT_FALSE(wrapper.delete_file("C:\\absent"));
  EXPECT_EQ(wrapper.last_error(), target.last_error());
  EXPECT_EQ(wrapper.system_error_text(wrapper.last_error()),
            "The system cannot find the file specified.");
  EXPECT_EQ(wrapper.invalid_name_error(), target.invalid_name_error());
  EXPECT_EQ(wrapper.path_separator(), '\\');
  EXPECT_EQ(wrapper.fallback_temp_directory(), "C:\\Temp\\");
  EXPECT_EQ(wrapper.calendar_time(), 42);
  EXPECT_EQ(&wrapper.target(), &target);
}

}  // namespace
}  // namespace vcboot
