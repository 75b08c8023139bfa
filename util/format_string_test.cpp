#include "util/format_string.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vcboot {
namespace {

TEST(FormatString, ZeroBytesFromPercentCStayInTheResult) {
  const std::string result = format_string("%c%c%c%c", 0x00, 0x41, 0x00, 0x42);
  EXPECT_EQ(result, std::string("\0A\0B", 4));
}

TEST(FormatString, PercentIReadsAllBitsSetAsMinusOne) {
  EXPECT_EQ(format_string("%i", static_cast<std::int32_t>(UINT32_MAX)), "-1");
  EXPECT_EQ(format_string("%i", 0), "0");
  EXPECT_EQ(format_string("VC%i\\", INT32_MIN), "VC-2147483648\\");
}

TEST(FormatString, TextsAroundTheBufferSizesComeBackWhole) {
  for (const std::size_t length : {1023u, 1024u, 1025u, 2048u, 5000u, 70000u}) {
    const std::string text(length, 'x');
    const std::string result = format_string("%s!", text.c_str());
    ASSERT_EQ(result.size(), length + 1) << length;
    EXPECT_EQ(result, text + "!");
  }
}

}  // namespace
}  // namespace vcboot
