#include "variables/variable_table.h"

#include <gtest/gtest.h>

namespace vcboot {
namespace {

TEST(VariableTable, GetOrCreateAddsAnEmptyEntry) {
  VariableTable table;
  EXPECT_EQ(table.get_or_create("x"), "");
  EXPECT_EQ(table.size(), 1u);
  table.get_or_create("x") = "assigned";
  EXPECT_EQ(*table.find("x"), "assigned");
  EXPECT_EQ(table.size(), 1u);
}

TEST(VariableTable, FirstInsertionWins) {
  VariableTable table;
  EXPECT_TRUE(table.insert_if_absent("x", "1").second);
  EXPECT_FALSE(table.insert_if_absent("x", "2").second);
  EXPECT_EQ(*table.find("x"), "1");
}

TEST(VariableTable, SeededValueSurvivesInsertion) {
  VariableTable table;
  table.get_or_create("source") = "C:\\Temp\\VC1";
  table.insert_if_absent("source", "D:\\elsewhere");
  EXPECT_EQ(*table.find("source"), "C:\\Temp\\VC1");
}

TEST(VariableTable, FindIsExactAndNeverAdds) {
  VariableTable table;
  table.get_or_create("source") = "s";
  for (const char* name : {"Source", "source ", "sourc", "absent", "absent"}) {
    EXPECT_EQ(table.find(name), nullptr) << name;
  }
  EXPECT_EQ(table.size(), 1u);
}

TEST(VariableTable, ZeroBytesAndTheEmptyNameAreOrdinaryNames) {
  VariableTable table;
  const std::string a("n\0a", 3);
  const std::string b("n\0b", 3);
  table.insert_if_absent(a, "A");
  table.insert_if_absent(b, "B");
  table.insert_if_absent("", "empty");
  EXPECT_FALSE(table.insert_if_absent("", "again").second);
  EXPECT_EQ(*table.find(a), "A");
  EXPECT_EQ(*table.find(b), "B");
  EXPECT_EQ(table.find("n"), nullptr);
  EXPECT_EQ(*table.find(""), "empty");
  EXPECT_EQ(table.size(), 3u);
}

}  // namespace
}  // namespace vcboot
