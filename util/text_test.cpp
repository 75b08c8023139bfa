#include "util/text.h"

#include <gtest/gtest.h>

namespace vcboot {
namespace {

TEST(TextPredicates, LongerPrefixOrSuffixNeverMatches) {
  EXPECT_FALSE(starts_with("ab", "abc"));
  EXPECT_FALSE(ends_with("bc", "abc"));
}

TEST(TextPredicates, EmptyPrefixAndSuffixAlwaysMatch) {
  EXPECT_TRUE(starts_with("", ""));
  EXPECT_TRUE(starts_with("abc", ""));
  EXPECT_TRUE(ends_with("abc", ""));
}

TEST(TextPredicates, CaseAndZeroBytesMatter) {
  EXPECT_FALSE(ends_with("folder\\A", "a"));
  EXPECT_TRUE(ends_with("folder\\A", "\\A"));
  EXPECT_FALSE(starts_with(std::string("a\0b", 3), std::string("a\0c", 3)));
  EXPECT_TRUE(starts_with(std::string("a\0b", 3), std::string("a\0", 2)));
}

}  // namespace
}  // namespace vcboot
