#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace vcboot {
namespace {

using Arguments = std::vector<std::string>;

TEST(CommandLine, NoArgumentsJoinToEmptyText) {
  EXPECT_EQ(join_arguments({}), "");
  EXPECT_EQ(split_arguments(""), Arguments{});
  EXPECT_EQ(split_arguments(" \t "), Arguments{});
}

TEST(CommandLine, PlainArgumentsAreJoinedWithSingleBlanks) {
  EXPECT_EQ(join_arguments({"a", "b", "c:\\dir\\"}), "a b c:\\dir\\");
}

TEST(CommandLine, ArgumentsThatNeedQuotesAreQuoted) {
  EXPECT_EQ(join_arguments({"two words", ""}), "\"two words\" \"\"");
  EXPECT_EQ(join_arguments({"say \"hi\""}), "\"say \\\"hi\\\"\"");
  EXPECT_EQ(join_arguments({"dir\\ with\\"}), "\"dir\\ with\\\\\"");
}

TEST(CommandLine, SplitFollowsTheRuntimeRules) {
  EXPECT_EQ(split_arguments("a  \"b c\"\td"), (Arguments{"a", "b c", "d"}));
  EXPECT_EQ(split_arguments("a\\\\\"b c\""), (Arguments{"a\\b c"}));
  EXPECT_EQ(split_arguments("a\\\\\\\"b"), (Arguments{"a\\\"b"}));
  EXPECT_EQ(split_arguments("a\\b\\\\c"), (Arguments{"a\\b\\\\c"}));
  EXPECT_EQ(split_arguments("\"\" x"), (Arguments{"", "x"}));
  EXPECT_EQ(split_arguments("\"a\"\"b\""), (Arguments{"a\"b"}));
  EXPECT_EQ(split_arguments("ab\"c d\"e"), (Arguments{"abc de"}));
  EXPECT_EQ(split_arguments("\"unclosed x"), (Arguments{"unclosed x"}));
}

TEST(CommandLine, JoinThenSplitGivesTheArgumentsBack) {
  const std::vector<Arguments> cases = {
      {"with blank", "", "quote\"inside"},
      {"\\", "\\\\", "a\\\"", "trailing\\ \\"},
      {"\t", " ", "\"", "\"\"", "x\\\"y z"},
      {"/quiet", "SOURCE=C:\\Users\\me\\Temp\\VC17",
       "TARGETDIR=C:\\Program Files\\"},
  };
  for (const Arguments& arguments : cases) {
    EXPECT_EQ(split_arguments(join_arguments(arguments)), arguments)
        << join_arguments(arguments);
  }
}

}  // namespace
}  // namespace vcboot
