#include "tools/vcpack/commands.h"

#include <gtest/gtest.h>

#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

TEST(BuildArguments, RecordsFollowTheCommandLineOrder) {
  BuildArguments arguments;
  arguments.files = {"installer=dist/setup", "dist/readme.txt", "=odd=name"};
  arguments.stored_names = {"Setup.exe"};
  arguments.values = {"executable=%installer%", "parameters=a=b"};
  const BuildOptions options = build_options_in_order(
      arguments,
      {"--output", "--value", "--file", "--as", "--file", "--value", "--file"});
  ASSERT_EQ(options.records.size(), 5u);
  EXPECT_EQ(options.records[0].name, "executable");
  EXPECT_EQ(options.records[1].key, "installer");
  EXPECT_EQ(options.records[1].path, "dist/setup");
  EXPECT_EQ(options.records[1].stored_name, "Setup.exe");
  EXPECT_EQ(options.records[2].key, "");
  EXPECT_EQ(options.records[2].stored_name, "readme.txt");
  EXPECT_EQ(options.records[3].name, "parameters");
  EXPECT_EQ(options.records[3].text, "a=b");  // only the first "=" splits
  EXPECT_EQ(options.records[4].path, "odd=name");
  EXPECT_EQ(options.records[4].key, "");
}

TEST(BuildArguments, MisplacedAsAndBadValueAreUsageErrors) {
  BuildArguments arguments;
  arguments.files = {"a"};
  arguments.stored_names = {"x", "y"};
  arguments.values = {"novalue"};
  const auto exit_code_of = [&](const std::vector<std::string>& sequence) {
    try {
      build_options_in_order(arguments, sequence);
    } catch (const ToolError& error) {
      return error.exit_code();
    }
    return kExitOk;
  };
  EXPECT_EQ(exit_code_of({"--as"}), kExitUsageOrIo);
  EXPECT_EQ(exit_code_of({"--file", "--as", "--as"}), kExitUsageOrIo);
  EXPECT_EQ(exit_code_of({"--value"}), kExitUsageOrIo);
}

}  // namespace
}  // namespace vcpack
