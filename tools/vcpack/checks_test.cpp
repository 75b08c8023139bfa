#include "tools/vcpack/checks.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tools/vcpack/launch_simulation.h"
#include "tools/vcpack/package_outcome.h"
#include "util/text.h"

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
    return scan_references(text, table_).unresolved.names;
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
  EXPECT_EQ(findings.cyclic.names, Names{"a"});
  EXPECT_TRUE(findings.unresolved.names.empty());
}

TEST(ReferenceScanDepth, DeepChainEndsWithoutExhaustingTheStack) {
  // A package can nest its values this deep; the checker must survive it.
  vcboot::VariableTable table;
  const int depth = 50000;
  for (int i = 0; i < depth; ++i) {
    table.insert_if_absent("v" + std::to_string(i),
                           "%v" + std::to_string(i + 1) + "%");
  }
  const ReferenceFindings findings = scan_references("%v0%", table);
  EXPECT_EQ(findings.unresolved.names, Names{"v" + std::to_string(depth)});
  EXPECT_TRUE(findings.cyclic.names.empty());
}

// A hostile value names a new name in every reference: the first few are
// named, the rest counted, and repeats of a named one are neither.
TEST_F(ReferenceScan, NamesTheFirstFewAndCountsTheRest) {
  std::string text = "%n0%n0%";
  const std::size_t count = kMaxNamedReferences + 1000;
  for (std::size_t i = 0; i < count; ++i) text += "n" + std::to_string(i) + "%";
  const ReferenceFindings findings = scan_references(text, table_);
  ASSERT_EQ(findings.unresolved.names.size(), kMaxNamedReferences);
  EXPECT_EQ(findings.unresolved.names.back(),
            "n" + std::to_string(kMaxNamedReferences - 1));
  EXPECT_EQ(findings.unresolved.more, count - kMaxNamedReferences);
}

// Each row: a stored name in the form of an 8.3 short name, a long name
// written before it, and whether the long name could own that short name on
// Windows (same first two characters and extension, blanks and dots left
// out, case ignored).
TEST(ShortNameAlias, ShortNameMeetsTheLongNamesThatCouldOwnIt) {
  struct Row {
    const char* short_name;
    const char* long_name;
    bool alias;
  };
  for (const Row& row : {
           Row{"SETUPP~1.EXE", "SetupProgram.exe", true},
           Row{"SETU~A34.EXE", "Setup Program.exe", true},  // a hash form
           Row{"setupp~1.exe", "setup program.exe", true},
           Row{"PROGRA~1", "Program Files", true},
           Row{"LONGNA~1.TXT", "long.name.txt", true},
           Row{"_A~1", "+a", true},  // '+' has no place in an 8.3 name
           Row{"SETUPP~1.EXE", "SetupProgram.msi", false},
           Row{"XY~1.EXE", "Setup Program.exe", false},
           Row{"SE~1.EXE", "setup.exe", false},  // an 8.3 name has no other
           Row{"SETUP.EXE", "Setup Program.exe", false},   // no '~'
           Row{"SETUP~.EXE", "Setup Program.exe", false},  // nothing after it
           Row{"SETUPPRO~1.EXE", "Setup Program.exe", false},  // base of 9
       }) {
    const auto short_family = short_name_family(row.short_name);
    const auto long_family = generated_short_name_family(row.long_name);
    EXPECT_EQ(short_family && long_family && *short_family == *long_family,
              row.alias)
        << row.short_name << " / " << row.long_name;
  }
}

// The manual's table of findings names every kind with its severity, in the
// order of kFindingKinds, and nothing else: "| `name` | severity | what |".
TEST(FindingKinds, TheManualListsEveryKindInOrder) {
  std::ifstream manual(VCPACK_MANUAL);
  ASSERT_TRUE(manual) << VCPACK_MANUAL;
  std::vector<std::string> listed;
  bool in_table = false;
  for (std::string line; std::getline(manual, line);) {
    if (vcboot::starts_with(line, "#")) in_table = line == "## Findings";
    if (!in_table || !vcboot::starts_with(line, "| `")) continue;
    const std::size_t name_end = line.find("` | ", 3);
    const std::size_t severity_end = line.find(" |", name_end + 4);
    ASSERT_NE(severity_end, std::string::npos) << line;
    listed.push_back(line.substr(3, name_end - 3) + " " +
                     line.substr(name_end + 4, severity_end - name_end - 4));
  }
  std::vector<std::string> kinds;
  for (const FindingKind& kind : kFindingKinds)
    kinds.push_back(std::string(kind.name) + " " +
                    severity_name(kind.severity));
  EXPECT_EQ(listed, kinds);
}

}  // namespace
}  // namespace vcpack
