// Packages appended to the real bootstrap, run as processes on this machine.
// What was extracted shows in the messages: a file that cannot be created is
// reported with its path and the system's reason, which tells whether a file
// of that name was written before.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

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
  const test_support::RuntimeFolder runtime;
  return test_support::run_program({program.string()},
                                   {"",
                                    {{"TMPDIR", (temp.path() / "tmp").string()},
                                     {"XDG_RUNTIME_DIR", runtime.path()}}});
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
  sample.bytes[sample.tail_end - 1000] ^= 0x20;  // in "LogoSmall.bmp"
  test_support::ScopedTempDir temp;
  const test_support::ProgramResult result = run_package(temp, sample.bytes);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, kInvalidArchiveBlock + kInvalidArchiveBlock);
  EXPECT_TRUE(fs::is_empty(temp.path() / "tmp"));
}

// Folders nested below `root` until their path is longer than the system
// takes, made and removed level by level through descriptors, since no one
// path reaches the deepest of them.
class DeepFolders {
 public:
  DeepFolders(const fs::path& root, int levels) : path_(root) {
    descriptors_.push_back(
        ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int i = 0; i < levels; ++i) {
      ::mkdirat(descriptors_.back(), name().c_str(), 0755);
      descriptors_.push_back(::openat(descriptors_.back(), name().c_str(),
                                      O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      path_ /= name();
    }
  }
  ~DeepFolders() {
    ::unlinkat(descriptors_.back(), kProgram, 0);
    for (std::size_t i = descriptors_.size() - 1; i > 0; --i) {
      ::close(descriptors_[i]);
      ::unlinkat(descriptors_[i - 1], name().c_str(), AT_REMOVEDIR);
    }
    ::close(descriptors_[0]);
  }

  // Writes the program into the deepest folder.
  void add_program(const std::string& content) const {
    const int fd = ::openat(descriptors_.back(), kProgram,
                            O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, content.data(), content.size()),
              static_cast<ssize_t>(content.size()));
    ::close(fd);
  }
  const fs::path& path() const { return path_; }
  // The path of the program below the `levels` topmost folders.
  std::string program_below(int levels) const {
    std::string below;
    for (std::size_t i = static_cast<std::size_t>(levels) + 1;
         i < descriptors_.size(); ++i) {
      below += name() + "/";
    }
    return below + kProgram;
  }
  static constexpr char kProgram[] = "setup";

 private:
  static std::string name() { return std::string(200, 'd'); }

  fs::path path_;
  std::vector<int> descriptors_;
};

// A package that cannot be opened is told with its real path and the
// system's real reason, each on a line of its own.
TEST(ArchiveProcess, PackageThatCannotBeOpenedIsToldWithItsPathAndReason) {
  const std::string bootstrap = bootstrap_image();
  {
    // Deeper than a path can reach: the program is started by a relative
    // path from halfway down.
    test_support::ScopedTempDir temp;
    const DeepFolders deep(temp.path(), 22);
    ASSERT_GT(deep.path().string().size(), 4096u);
    deep.add_program(bootstrap);
    fs::create_directory(temp.path() / "tmp");
    const test_support::RuntimeFolder runtime;
    std::string halfway = temp.path().string();
    for (int i = 0; i < 11; ++i) halfway += "/" + std::string(200, 'd');
    const test_support::ProgramResult result = test_support::run_program(
        {deep.program_below(11)}, {halfway,
                                   {{"TMPDIR", (temp.path() / "tmp").string()},
                                    {"XDG_RUNTIME_DIR", runtime.path()}}});
    EXPECT_EQ(result.exit_code, 0);
    // The end of it: AddressSanitizer, which cannot tell the program's own
    // path either, says so first.
    const std::string told = "Failed to open archive!\nFile: " +
                             (deep.path() / DeepFolders::kProgram).string() +
                             "\nError: File name too long\n\n" +
                             kInvalidArchiveBlock;
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
  const test_support::ProgramResult result = test_support::run_program(
      {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
       program.string()},
      {"",
       {{"TMPDIR", (temp.path() / "tmp").string()}, {"XDG_RUNTIME_DIR", ""}}});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "Failed to open archive!\nFile: " + program.string() +
                            "\nError: Permission denied\n\n" +
                            kInvalidArchiveBlock);
}

}  // namespace
}  // namespace vcboot
