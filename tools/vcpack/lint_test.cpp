#include "tools/vcpack/lint.h"

#include <gtest/gtest.h>

namespace vcpack {
namespace {

using Names = std::vector<std::string>;

class ReferenceScan : public ::testing::Test {
 protected:
  ReferenceScan() {
    table_.insert_if_absent("x", "X");
    table_.insert_if_absent("y", "[%x%%missing%]");
    table_.insert_if_absent("a", "%b%");
    table_.insert_if_absent("b", "%a%");
  }
  Names unresolved(const std::string& text) const {
    return scan_references(text, table_).unresolved;
  }
  vcboot::VariableTable table_;
};

TEST_F(ReferenceScan, FollowsTheExpansionRules) {
  EXPECT_EQ(unresolved("100% %x%"), Names{" "});  // " " is tried as a name
  EXPECT_EQ(unresolved("%x% %u%"), Names{"u"});
  EXPECT_EQ(unresolved("%u%x%"), (Names{"u"}));  // closing sign opens %x%
  EXPECT_EQ(unresolved("%x%u%"), Names{});       // "u%" is plain text
  EXPECT_EQ(unresolved("%%u%%u%"), Names{"u"});  // listed once
  EXPECT_EQ(unresolved("%X% %x"),
            (Names{"X", " "}));  // case matters; " " tried next
  EXPECT_EQ(unresolved("no signs"), Names{});
}

TEST_F(ReferenceScan, LooksIntoDefinedValues) {
  EXPECT_EQ(unresolved("%y%"), Names{"missing"});
}

TEST_F(ReferenceScan, ReportsCyclesInsteadOfLooping) {
  const ReferenceFindings findings = scan_references("%a%", table_);
  EXPECT_EQ(findings.cyclic, Names{"a"});
  EXPECT_TRUE(findings.unresolved.empty());
}

TEST(ReferenceScanDepth, DeepChainEndsWithoutExhaustingTheStack) {
  // A package can nest its values this deep; the lint must survive it.
  vcboot::VariableTable table;
  const int depth = 100000;
  for (int i = 0; i < depth; ++i) {
    table.insert_if_absent("v" + std::to_string(i),
                           "%v" + std::to_string(i + 1) + "%");
  }
  const ReferenceFindings findings = scan_references("%v0%", table);
  EXPECT_EQ(findings.unresolved, Names{"v" + std::to_string(depth)});
  EXPECT_TRUE(findings.cyclic.empty());
}

}  // namespace
}  // namespace vcpack
