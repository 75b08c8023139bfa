#include "tools/vcpack/stub_locator.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "bootstrap/stub_version.h"
#include "tests/support/scoped_temp_dir.h"
#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

namespace fs = std::filesystem;
using vcboot::test_support::ScopedTempDir;
using vcboot::test_support::write_file;

// A tree with a variable's folder, an installed tree (bin/vcpack beside
// share/vcboot/stubs) and the zip's stubs/ beside bin/vcpack.
class StubLocatorTest : public ::testing::Test {
 protected:
  fs::path stub(const std::string& place, const std::string& target,
                const std::string& name, const std::string& version) {
    const fs::path folder = dir_.path() / place / target;
    fs::create_directories(folder);
    write_file(folder / name,
               "\x7f"
               "ELF image " VCBOOT_STUB_VERSION_MARKER +
                   version + std::string(1, '\0') + "more");
    return folder / name;
  }
  std::vector<StubPlace> places(bool with_variable) const {
    return stub_places(with_variable ? std::optional<std::string>(
                                           (dir_.path() / "variable").string())
                                     : std::nullopt,
                       (dir_.path() / "bin" / "vcpack").string());
  }

  ScopedTempDir dir_;
};

TEST_F(StubLocatorTest, FirstPlaceHoldingATargetGivesItsStub) {
  const fs::path installed_win32 =
      stub("share/vcboot/stubs", "win32", "vcboot.exe", "1.0");
  const fs::path zipped_win32 = stub("bin/stubs", "win32", "vcboot.exe", "0.9");
  const fs::path linux = stub("bin/stubs", "linux-x86_64", "vcboot", "0.9");
  const fs::path variable_linux =
      stub("variable", "linux-x86_64", "vcboot", "2.0");
  fs::create_directories(dir_.path() / "variable" / "empty");

  struct Row {
    bool with_variable;
    std::string target;
    fs::path expected;
  } rows[] = {
      {false, "win32", installed_win32},  // installed before the zip's
      {false, "linux-x86_64", linux},     // only beside vcpack
      {true, "linux-x86_64", variable_linux},
      {true, "win32", installed_win32},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.target);
    EXPECT_EQ(locate_stub(row.target, row.target, places(row.with_variable)),
              row.expected.string());
  }

  const std::vector<InstalledStub> found = find_stubs(places(true));
  ASSERT_EQ(found.size(), 2u);  // "empty" holds no stub
  EXPECT_EQ(found[0].target, "linux-x86_64");
  EXPECT_EQ(found[0].version, "2.0");
  EXPECT_EQ(found[1].target, "win32");
  EXPECT_EQ(found[1].path, installed_win32.string());
}

TEST_F(StubLocatorTest, AFileOrAPathIsNeverLookedUp) {
  stub("share/vcboot/stubs", "win32", "vcboot.exe", "1.0");
  write_file(dir_.path() / "win32", "a file named like a target");
  const std::string file = (dir_.path() / "win32").string();
  EXPECT_EQ(locate_stub(file, "win32", places(false)), file);
  // With a separator it is a path, whether there is a file or not.
  EXPECT_EQ(locate_stub("missing/win32", "missing/win32", places(false)),
            "missing/win32");
  EXPECT_EQ(locate_stub("dir\\win32", "dir\\win32", places(false)),
            "dir\\win32");
}

TEST_F(StubLocatorTest, AnUnknownNameListsTargetsAndPlaces) {
  stub("share/vcboot/stubs", "win64", "vcboot.exe", "1.0");
  stub("bin/stubs", "win32", "vcboot.exe", "1.0");
  try {
    locate_stub("win23", "win23", places(false));
    FAIL() << "no error";
  } catch (const ToolError& error) {
    EXPECT_EQ(error.exit_code(), kExitRefused);
    const std::string root = dir_.path().string();
    EXPECT_EQ(std::string(error.what()),
              "no stub \"win23\": no such file, and no target of that name\n"
              "  targets found: win32, win64\n"
              "  looked in: $VCBOOT_STUB_DIR (not set); " +
                  root + "/share/vcboot/stubs; " + root + "/bin/stubs");
  }
  try {
    locate_stub("win23", "win23", stub_places(std::string("/nowhere"), ""));
    FAIL() << "no error";
  } catch (const ToolError& error) {
    EXPECT_EQ(std::string(error.what()),
              "no stub \"win23\": no such file, and no target of that name\n"
              "  targets found: none\n"
              "  looked in: $VCBOOT_STUB_DIR=/nowhere (no such folder)");
  }
}

TEST(StubVersionTest, MarkerTextOfAPosixStub) {
  const std::string marker = VCBOOT_STUB_VERSION_MARKER;
  struct Row {
    std::string image;
    std::string version;
  } rows[] = {
      {"head" + marker + "0.1.0" + std::string(1, '\0') + "tail", "0.1.0"},
      {"no marker at all", ""},
      {"head" + marker + "0.1.0", ""},  // no terminating zero
      {marker + "bad\nversion" + std::string(1, '\0'), ""},
      {marker + std::string(65, '1') + std::string(1, '\0'), ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(stub_version(row.image), row.version) << row.image;
  }
}

}  // namespace
}  // namespace vcpack
