#include "tools/vcpack/stub_locator.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "bootstrap/stub_version.h"
#include "tests/support/scoped_temp_dir.h"

namespace vcpack {
namespace {

namespace fs = std::filesystem;
using vcboot::test_support::ScopedTempDir;
using vcboot::test_support::write_file;

// A name with a separator, or one that a file answers to, is a path; only
// other names are looked up as targets.
TEST(StubLocator, AFileOrAPathIsNeverLookedUp) {
  ScopedTempDir dir;
  fs::create_directories(dir.path() / "stubs" / "win32");
  write_file(dir.path() / "stubs" / "win32" / "vcboot.exe", "MZ");
  const std::vector<StubPlace> places =
      stub_places((dir.path() / "stubs").string(), "");
  write_file(dir.path() / "win32", "a file named like a target");
  const std::string file = (dir.path() / "win32").string();
  EXPECT_EQ(locate_stub(file, "win32", places), file);
  EXPECT_EQ(locate_stub("missing/win32", "missing/win32", places),
            "missing/win32");
  EXPECT_EQ(locate_stub("dir\\win32", "dir\\win32", places), "dir\\win32");
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
