// The real bootstrap, run as a process on this machine.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/invalid_archive_message.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/subprocess.h"

namespace vcboot {
namespace {

namespace fs = std::filesystem;

const std::string kInvalidArchiveBlock =
    test_support::invalid_archive_on_standard_error();

test_support::ProgramResult run_bootstrap(
    const test_support::ScopedTempDir& temp,
    std::vector<std::string> arguments = {}) {
  arguments.insert(arguments.begin(), VCBOOT_BINARY);
  return test_support::run_program(arguments,
                                   {"", {{"TMPDIR", temp.path().string()}}});
}

TEST(BootstrapProcess, BareStubReportsInvalidArchiveAndCleansUp) {
  test_support::ScopedTempDir temp;
  const test_support::ProgramResult result = run_bootstrap(temp, {"a", "b c"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_NE(result.err.find(kInvalidArchiveBlock), std::string::npos)
      << result.err;
  EXPECT_TRUE(fs::is_empty(temp.path())) << "a work folder was left behind";
}

TEST(BootstrapProcess, TmpdirWithoutSlashIsUsed) {
  test_support::ScopedTempDir temp;
  fs::create_directory(temp.path() / "sub");
  const test_support::ProgramResult result = test_support::run_program(
      {VCBOOT_BINARY}, {"", {{"TMPDIR", (temp.path() / "sub").string()}}});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_TRUE(fs::is_empty(temp.path() / "sub"));
}

}  // namespace
}  // namespace vcboot
