// Packages appended to the real bootstrap, run as processes on this machine.
// What was extracted shows in the messages: a file that cannot be created is
// reported with its path and the system's reason, which tells whether a file
// of that name was written before.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "archive/chunk_writer.h"
#include "tests/support/invalid_archive_message.h"
#include "tests/support/sample_package.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/subprocess.h"

namespace vcboot {
namespace {

namespace fs = std::filesystem;

const std::string kInvalidArchiveBlock =
    test_support::invalid_archive_on_standard_error();

// Writes `package` as an executable into `temp` and runs it with `temp`/tmp
// as its temporary directory.
test_support::ProgramResult run_package(const test_support::ScopedTempDir& temp,
                                        const std::string& package) {
  const fs::path program = temp.path() / "setup";
  test_support::write_file(program, package);
  fs::permissions(program, fs::perms::owner_all);
  fs::create_directory(temp.path() / "tmp");
  return test_support::run_installer({program.string()},
                                     (temp.path() / "tmp").string());
}

std::string bootstrap_image() { return test_support::read_file(VCBOOT_BINARY); }

TEST(ArchiveProcess, ShippedPackageExtractsWithoutAMessage) {
  test_support::ScopedTempDir temp;
  test_support::SamplePackageOptions options;
  options.stub_image = bootstrap_image();
  const test_support::ProgramResult result =
      run_package(temp, test_support::make_sample_package(options).bytes);
  EXPECT_EQ(result.exit_code, 0);
  // Its installer is filler, no program this system can start; the launch's
  // message is the only one.
  EXPECT_EQ(result.err, "ShellExecuteEx failed\nUnable to spawn process\n\n");
  EXPECT_TRUE(fs::is_empty(temp.path() / "tmp")) << "work folder left behind";
}

TEST(ArchiveProcess, FilesLandInTheWorkFolder) {
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_stub(bootstrap_image(), "setup");
  // Read last: fails only because "Setup.exe" is a file by then, and then
  // nothing is started.
  writer.add_file("", "Setup.exe/probe", "");
  writer.add_file("installer", "Setup.exe", "#!/bin/sh\necho started >&2\n");
  writer.add_value("executable", "%installer%");
  writer.add_tail();
  writer.add_trailing(std::string(5, '\0') +
                      test_support::make_certificate_table(4752));
  test_support::ScopedTempDir temp;
  const test_support::ProgramResult result = run_package(temp, sink.bytes());
  EXPECT_EQ(result.exit_code, 0);
  const std::string prefix =
      "Failed to extract file!\nFile: " + (temp.path() / "tmp").string() +
      "/VC";
  const std::string suffix = "/Setup.exe/probe\nError: Not a directory\n\n";
  ASSERT_EQ(result.err.rfind(prefix, 0), 0u) << result.err;
  ASSERT_GT(result.err.size(), prefix.size() + suffix.size()) << result.err;
  EXPECT_EQ(result.err.substr(result.err.size() - suffix.size()), suffix)
      << result.err;
  EXPECT_TRUE(fs::is_empty(temp.path() / "tmp"));
}

TEST(ArchiveProcess, DamagedPackageIsAnInvalidArchiveTwice) {
  test_support::SamplePackageOptions options;
  options.stub_image = bootstrap_image();
  test_support::SamplePackage sample =
      test_support::make_sample_package(options);
  sample.bytes[static_cast<std::size_t>(sample.tail_end) - 1000] ^=
      0x20;  // in "LogoSmall.bmp"
  test_support::ScopedTempDir temp;
  const test_support::ProgramResult result = run_package(temp, sample.bytes);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, kInvalidArchiveBlock + kInvalidArchiveBlock);
  EXPECT_TRUE(fs::is_empty(temp.path() / "tmp"));
}

// A package that cannot be opened is told with its real path and the
// system's real reason, each on a line of its own.
TEST(ArchiveProcess, PackageThatCannotBeOpenedIsToldWithItsPathAndReason) {
  const std::string bootstrap = bootstrap_image();
  {
    // Deeper than one path can reach: made and started by relative paths
    // from halfway down, and removed by rm, which walks any depth.
    test_support::ScopedTempDir temp;
    const std::string level = std::string(200, 'd');
    std::string halfway = temp.path().string();
    std::string below;
    for (int i = 0; i < 11; ++i) {
      halfway += "/" + level;
      below += level + "/";
    }
    fs::create_directories(halfway);
    const fs::path program = temp.path() / "setup";
    test_support::write_file(program, bootstrap);
    fs::permissions(program, fs::perms::owner_all);
    test_support::run_program({"/bin/mkdir", "-p", below}, {halfway, {}});
    test_support::run_program({"/bin/cp", program.string(), below + "setup"},
                              {halfway, {}});
    fs::create_directory(temp.path() / "tmp");
    const test_support::ProgramResult result = test_support::run_installer(
        {below + "setup"}, (temp.path() / "tmp").string(), {halfway, {}});
    test_support::run_program(
        {"/bin/rm", "-rf", (temp.path() / level).string()});
    EXPECT_EQ(result.exit_code, 0);
    // The end of it: AddressSanitizer, which cannot tell the program's own
    // path either, says so first.
    const std::string told =
        "Failed to open archive!\nFile: " + halfway + "/" + below + "setup" +
        "\nError: File name too long\n\n" + kInvalidArchiveBlock;
    EXPECT_GT(told.size(), 4096u);
    EXPECT_EQ(result.err.substr(result.err.size() -
                                std::min(told.size(), result.err.size())),
              told);
  }
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  // A package that its user may start but not read.
  test_support::ScopedTempDir temp;
  const fs::path program = temp.path() / "setup";
  test_support::write_file(program, bootstrap);
  fs::permissions(program, fs::perms::owner_all | fs::perms::group_exec |
                               fs::perms::others_exec);
  fs::create_directory(temp.path() / "tmp");
  fs::permissions(temp.path() / "tmp", fs::perms::all | fs::perms::sticky_bit);
  const fs::path runtime = temp.path() / "run";  // nobody's own
  fs::create_directory(runtime);
  ASSERT_EQ(::chown(runtime.c_str(), 65534, 65534), 0);
  fs::permissions(runtime, fs::perms::owner_all);
  const test_support::ProgramResult result = test_support::run_program(
      {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
       program.string()},
      {"",
       {{"TMPDIR", (temp.path() / "tmp").string()},
        {"XDG_RUNTIME_DIR", runtime.string()}}});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "Failed to open archive!\nFile: " + program.string() +
                            "\nError: Permission denied\n\n" +
                            kInvalidArchiveBlock);
}

}  // namespace
}  // namespace vcboot
