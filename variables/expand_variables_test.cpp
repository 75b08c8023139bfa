#include "variables/expand_variables.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace vcboot {
namespace {

// The table of the expansion examples: nothing under "u" or "X".
VariableTable example_table() {
  VariableTable table;
  table.insert_if_absent("x", "X");
  table.insert_if_absent("e", "");
  table.insert_if_absent("y", "[%x%]");
  table.insert_if_absent("w", "%a");
  table.insert_if_absent("ab", "Q");
  return table;
}

struct Case {
  const char* input;
  const char* expected;
};

class ExpandVariablesTable : public ::testing::TestWithParam<Case> {};

TEST_P(ExpandVariablesTable, GivesTheExpectedText) {
  const VariableTable table = example_table();
  EXPECT_EQ(expand_variables(GetParam().input, table), GetParam().expected)
      << "input: " << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ExpandVariablesTable,
    ::testing::Values(Case{"", ""},            // nothing to do
                      Case{"abc", "abc"},      // no sign
                      Case{"%", "%"},          // lone sign
                      Case{"%%", "%%"},        // no escape, no empty name
                      Case{"%%%", "%%%"},      // a row of signs alone
                      Case{"100%", "100%"},    // trailing sign
                      Case{"%x", "%x"},        // no closing sign
                      Case{"%x%", "X"},        // plain reference
                      Case{"%u%", "%u%"},      // undefined stays
                      Case{"%X%", "%X%"},      // case-sensitive
                      Case{"% x %", "% x %"},  // blanks belong to the name
                      Case{"%%x%", "%X"},      // last sign of a row opens
                      Case{"%x%%", "X%"},      // surplus closing sign
                      Case{"%x%%x%", "XX"},    // adjacent references
                      Case{"%x%x%x%", "XxX"},  // closing sign consumed
                      Case{"%u%x%", "%uX"},    // undefined closer opens
                      Case{"%x%u%", "Xu%"},    // scan goes on behind
                      Case{"%u%%x%", "%u%X"},  // undefined, then a row
                      Case{"50% off %x%", "50% off X"},  // skipped non-name
                      Case{"%e%%x%", "X"},               // empty, then another
                      Case{"a%e%b", "ab"},               // empty value
                      Case{"%y%", "[X]"},                // value expanded first
                      Case{"%w%b%", "%ab%"}));  // inserted text not rescanned

TEST(ExpandVariables, ZeroBytesAreOrdinaryBytes) {
  VariableTable table;
  table.insert_if_absent(std::string("a\0b", 3), std::string("1\0002", 3));
  EXPECT_EQ(expand_variables(std::string("<%a\0b%>", 7), table),
            std::string("<1\0002>", 5));
}

TEST(ExpandVariables, AccompanyingArchiveValues) {
  VariableTable table;
  table.get_or_create("source") = "C:\\Temp\\VC1700000000";
  table.insert_if_absent("installer", "product.msi");
  table.insert_if_absent("executable", "%installer%");
  table.insert_if_absent("msi_parameters", "SOURCEDIR=\"%source%\" /qb");
  table.insert_if_absent("parameters",
                         "/i %msi_parameters% REBOOT=ReallySuppress");
  EXPECT_EQ(expand_variables(*table.find("executable"), table), "product.msi");
  EXPECT_EQ(
      expand_variables(*table.find("parameters"), table),
      "/i SOURCEDIR=\"C:\\Temp\\VC1700000000\" /qb REBOOT=ReallySuppress");
}

TEST(ExpandVariables, LeavesTheTableAsItWas) {
  VariableTable table = example_table();
  const VariableTable::Entries before = table.entries();
  expand_variables("%u% %X% %x% %y% %w%b% %missing%%%", table);
  EXPECT_EQ(table.entries(), before);
}

TEST(ExpandVariables, NameIsExpandedAgainAtEveryReference) {
  VariableTable table;
  table.insert_if_absent("n", "%m%-%m%");
  table.insert_if_absent("m", "M");
  EXPECT_EQ(expand_variables("%n%|%n%", table), "M-M|M-M");
}

TEST(ExpandVariables, SelfReferenceStaysLikeAnUndefinedName) {
  VariableTable table;
  table.insert_if_absent("a", "<%a%>");
  table.insert_if_absent("x", "X");
  EXPECT_EQ(expand_variables("%a%", table), "<%a%>");
  // The closing sign of the refused reference opens the next one, as an
  // undefined name's would.
  table.insert_if_absent("b", "%b%x%");
  EXPECT_EQ(expand_variables("%b%", table), "%bX");
}

TEST(ExpandVariables, CycleThroughOthersEnds) {
  VariableTable table;
  table.insert_if_absent("a", "a(%b%)");
  table.insert_if_absent("b", "b(%c%)");
  table.insert_if_absent("c", "c(%a%)");
  EXPECT_EQ(expand_variables("%a%", table), "a(b(c(%a%)))");
  EXPECT_EQ(expand_variables("%c%", table), "c(a(b(%c%)))");
}

TEST(ExpandVariables, NameMayBeUsedAgainOnceItsExpansionEnded) {
  // Only names further up the current chain are refused, not names that
  // were expanded before at the same level.
  VariableTable table;
  table.insert_if_absent("x", "X");
  table.insert_if_absent("pair", "%x%%x%");
  table.insert_if_absent("nested", "(%pair%)(%pair%)");
  EXPECT_EQ(expand_variables("%nested%", table), "(XX)(XX)");
}

// v1 = %v2%, v2 = %v3%, ... and the last one holds `bottom`.
VariableTable chain(int depth, const std::string& bottom) {
  VariableTable table;
  for (int i = 1; i < depth; ++i) {
    table.insert_if_absent("v" + std::to_string(i),
                           "%v" + std::to_string(i + 1) + "%");
  }
  table.insert_if_absent("v" + std::to_string(depth), bottom);
  return table;
}

TEST(ExpandVariables, ResultIsBoundedInSize) {
  VariableTable table;
  table.insert_if_absent("half", std::string(kMaxExpandedSize / 2, 'x'));
  EXPECT_EQ(expand_variables("%half%%half%", table).size(), kMaxExpandedSize);
  try {
    expand_variables("%half%%half%!", table);
    FAIL() << "no exception";
  } catch (const ExpansionTooLong& error) {
    // The description the bootstrap shows under "Unhandled Exception".
    EXPECT_STREQ(error.what(), "variable expansion too long");
    EXPECT_EQ(error.bound(), ExpansionTooLong::Bound::kSize);
  }
  EXPECT_THROW(expand_variables("%half%%half%%half%", table), ExpansionTooLong);
}

// v0 refers to an empty value under a name of `name_size` bytes, and every
// v<i> refers to v<i-1> twice: the text never grows, but the work doubles at
// every level, and every reference compares and copies its name.
TEST(ExpandVariables, WorkIsBoundedWhenTheTextDoesNotGrow) {
  const struct {
    std::size_t name_size;
    int level;  // of the value expanded
    bool ends;  // else ExpansionTooLong
  } cases[] = {
      {1, 12, true},  // 2^13 references to the empty value
      {1, 40, false},
      {std::size_t{1} << 20, 3, true},  // 8 names of 1 MiB
      {std::size_t{1} << 20, 10, false},
  };
  for (const auto& c : cases) {
    VariableTable table;
    const std::string name(c.name_size, 'n');
    table.insert_if_absent(name, "");
    table.insert_if_absent("v0", "%" + name + "%");
    for (int i = 1; i <= c.level; ++i) {
      const std::string lower = "%v" + std::to_string(i - 1) + "%";
      table.insert_if_absent("v" + std::to_string(i), lower + lower);
    }
    const std::string text = "[%v" + std::to_string(c.level) + "%]";
    if (c.ends) {
      EXPECT_EQ(expand_variables(text, table), "[]") << c.name_size;
      continue;
    }
    try {
      expand_variables(text, table);
      ADD_FAILURE() << "no exception for " << c.name_size;
    } catch (const ExpansionTooLong& error) {
      EXPECT_EQ(error.bound(), ExpansionTooLong::Bound::kWork);
    }
  }
}

TEST(ExpandVariables, DeepChainIsExpandedCompletely) {
  EXPECT_EQ(expand_variables("[%v1%]", chain(50000, "bottom")), "[bottom]");
}

TEST(ExpandVariables, DeepChainEndingInACycleEnds) {
  EXPECT_EQ(expand_variables("%v1%", chain(50000, "%v1%")), "%v1%");
}

}  // namespace
}  // namespace vcboot
