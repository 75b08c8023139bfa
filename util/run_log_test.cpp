#include "util/run_log.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/fake/fake_platform.h"

namespace vcboot {
namespace {

TEST(RunLog, NumbersAreWrittenWhole) {
  const struct {
    std::uint64_t value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {4294967295u, "4294967295"},
      {4294967296u, "4294967296"},
      {UINT64_MAX, "18446744073709551615"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(std::string_view(decimal(c.value)), c.text);
  }
  EXPECT_EQ(std::string_view(code_text(0)), "0 (0x00000000)");
  EXPECT_EQ(std::string_view(code_text(0xC0000005)), "3221225477 (0xC0000005)");
}

// One line a call, however its parts look: control characters become
// escapes, a part too long is cut, and the narrow text is converted (the
// fake reads it as Latin-1).
TEST(RunLog, EachCallIsOneLineThatNoTextCanBreak) {
  FakePlatform platform;
  RunLog log;
  log.write({"not written: the log is off"});
  log.start(platform, platform.open_log("C:\\run.log"));
  ASSERT_TRUE(log.is_on());
  const std::string long_part(RunLog::kLongestPart + 1, 'x');
  log.write({"a\r\nb\tc\x01\x7F", "|", long_part, "|\xE4"});
  log.write({});
  EXPECT_EQ(platform.file_content("C:\\run.log"),
            "2023-11-14 22:13:20.005  a\\r\\nb\\tc\\x01\\x7F|" +
                long_part.substr(1) + "...|\xC3\xA4\r\n" +
                "2023-11-14 22:13:20.005  \r\n");
}

}  // namespace
}  // namespace vcboot
