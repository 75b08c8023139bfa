// Whole installations through the real bootstrap: a package made with the
// writer from a copy of the bootstrap, with the launch probe standing in for
// the installer and the post program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "archive/byte_sink.h"
#include "archive/chunk_writer.h"
#include "tests/support/probe_report.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/subprocess.h"

namespace vcboot {
namespace {

namespace fs = std::filesystem;

struct FileRecord {
  std::string key;
  std::string name;
  std::string content;
};

class Installation : public ::testing::Test {
 protected:
  Installation() {
    fs::create_directory(temp_dir());
    fs::create_directory(report_dir());
  }

  fs::path temp_dir() const { return scratch_.path() / "temp"; }
  fs::path report_dir() const { return scratch_.path() / "reports"; }
  fs::path package() const { return scratch_.path() / "package"; }

  // The bootstrap's own image first, then the records and the tail.
  void build(const std::vector<FileRecord>& files,
             const std::vector<std::pair<std::string, std::string>>& values) {
    StringSink sink;
    ChunkWriter writer(sink);
    writer.add_stub(test_support::read_file(VCBOOT_BINARY), "vcboot");
    for (const FileRecord& file : files) {
      writer.add_file(file.key, file.name, file.content);
    }
    for (const auto& [name, value] : values) writer.add_value(name, value);
    writer.add_tail();
    test_support::write_file(package(), sink.bytes());
    fs::permissions(package(), fs::perms::owner_all);
  }

  test_support::ProgramResult run(
      const std::string& installer_exit_code = "0") {
    return test_support::run_installer(
        {package().string()}, temp_dir().string(),
        {"",
         {{"LAUNCH_PROBE_REPORT_DIR", report_dir().string()},
          {"LAUNCH_PROBE_DESCRIPTORS", "1"},
          {"LAUNCH_PROBE_EXIT", installer_exit_code}}});
  }

  test_support::ProbeReport report(const std::string& name) const {
    return test_support::read_probe_report(report_dir(), name);
  }

  static std::string probe() { return test_support::read_file(LAUNCH_PROBE); }

  test_support::ScopedTempDir scratch_;
};

TEST_F(Installation, InstallerAndPostProgramRunInTheWorkFolder) {
  build({{"installer", "setup", probe()},
         {"post", "post-install", probe()},
         {"", "data.cab", "cabinet"}},
        {{"executable", "%installer%"},
         {"msi_parameters", "SOURCE=\"%source%\" /q"},
         {"parameters", "/i %msi_parameters% \"two words\""}});
  const test_support::ProgramResult result = run("3");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "") << "no message expected";

  const test_support::ProbeReport installer = report("setup");
  ASSERT_TRUE(installer.found);
  const fs::path work = installer.working_directory;
  EXPECT_EQ(work.parent_path(), temp_dir());
  EXPECT_EQ(work.filename().string().rfind("VC", 0), 0u) << work;
  // Started from inside the work folder, by a relative path.
  EXPECT_EQ(installer.arguments, (std::vector<std::string>{
                                     "./setup", "/i", "SOURCE=" + work.string(),
                                     "/q", "two words"}));
  const std::vector<std::string> extracted{"data.cab", "post-install", "setup"};
  EXPECT_EQ(installer.entries, extracted);
  ASSERT_FALSE(installer.descriptors.empty());
  for (const int fd : installer.descriptors) {
    EXPECT_LT(fd, 3) << "a descriptor of the bootstrap reached the installer";
  }

  const test_support::ProbeReport post = report("post-install");
  ASSERT_TRUE(post.found);
  EXPECT_EQ(post.arguments, (std::vector<std::string>{"post-install", "3"}));
  EXPECT_EQ(post.working_directory, work.string());
  EXPECT_EQ(post.entries, extracted)
      << "the work folder outlives the post program";

  EXPECT_FALSE(fs::exists(work));
  EXPECT_TRUE(fs::is_empty(temp_dir()));
}

TEST_F(Installation, WithoutPostOnlyTheInstallerRuns) {
  build({{"installer", "setup", probe()}}, {{"executable", "%installer%"}});
  const test_support::ProgramResult result = run("0");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  const test_support::ProbeReport installer = report("setup");
  ASSERT_TRUE(installer.found);
  EXPECT_EQ(installer.arguments.size(), 1u) << "no parameters given";
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(report_dir()), {}),
            std::vector<fs::path>{report_dir() / "setup.report"});
  EXPECT_TRUE(fs::is_empty(temp_dir()));
}

TEST_F(Installation, MissingInstallerIsToldThenCleanedUp) {
  build({{"post", "post-install", probe()}}, {{"executable", "absent"}});
  const test_support::ProgramResult result = run();
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "ShellExecuteEx failed\nUnable to spawn process\n\n");
  EXPECT_TRUE(fs::is_empty(report_dir())) << "nothing was started";
  EXPECT_TRUE(fs::is_empty(temp_dir()));
}

// An interrupt typed at the terminal reaches the bootstrap and the installer
// alike. It is the installer's to act on (this one dies of it, 128 + 2); the
// bootstrap waits for it, cleans up, and returns its exit code.
TEST_F(Installation, InterruptWhileTheInstallerRunsStillCleansUp) {
  build({{"installer", "setup", "#!/bin/sh\nkill -INT $PPID $$\nexit 4\n"}},
        {{"executable", "%installer%"}, {"exitcode", "installer"}});
  const test_support::ProgramResult result = run();
  EXPECT_EQ(result.exit_code, 130);
  EXPECT_TRUE(fs::is_empty(temp_dir()));
}

// Another user renames the work folder away once it has been entered and
// puts a folder of their own, with their own post program, in its place
// (played here by the installer). The post program still starts from the
// folder that was entered, and the clean-up empties that one.
TEST_F(Installation, WorkFolderSwappedAfterEntryIsNotFollowed) {
  build({{"installer", "setup",
          "#!/bin/sh\nhere=$(pwd)\nmv \"$here\" \"$here.moved\"\n"
          "mkdir \"$here\"\nprintf '#!/bin/sh\\ntouch "
          "\"%s/planted\"\\n' \"$LAUNCH_PROBE_REPORT_DIR\" > "
          "\"$here/post-install\"\nchmod 755 \"$here/post-install\"\n"},
         {"post", "post-install", probe()}},
        {{"executable", "%installer%"}});
  const test_support::ProgramResult result = run();
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_FALSE(fs::exists(report_dir() / "planted")) << "the planted one ran";
  const test_support::ProbeReport post = report("post-install");
  ASSERT_TRUE(post.found);
  const fs::path moved = post.working_directory;
  EXPECT_EQ(moved.extension(), ".moved");
  EXPECT_TRUE(fs::is_empty(moved));
}

// A stop request (SIGTERM, SIGHUP) while the installer runs is passed on to
// it and waited for; then the work folder goes, nothing more starts, and the
// exit code is that of a program the signal ended.
TEST_F(Installation, StopRequestReachesTheInstallerThenCleansUp) {
  for (const char* signal : {"TERM", "HUP"}) {
    const std::string installer =
        std::string("#!/bin/sh\ntrap 'echo ") + signal +
        " > \"$LAUNCH_PROBE_REPORT_DIR/stopped\"; exit 9' " + signal +
        "\nkill -" + signal +
        " $PPID\ni=0\nwhile [ $i -lt 100 ]; do sleep 0.05; i=$((i+1)); "
        "done\n";
    build(
        {{"installer", "setup", installer}, {"post", "post-install", probe()}},
        {{"executable", "%installer%"}, {"exitcode", "installer"}});
    const test_support::ProgramResult result = run();
    EXPECT_EQ(result.exit_code, std::string(signal) == "TERM" ? 143 : 129);
    EXPECT_EQ(test_support::read_file(report_dir() / "stopped"),
              std::string(signal) + "\n");
    EXPECT_FALSE(report("post-install").found) << signal;
    EXPECT_TRUE(fs::is_empty(temp_dir())) << signal;
  }
}

// The package's exit code as the package chose it. POSIX keeps 8 bits of an
// exit status, so the 1603 of a missing installer arrives as 1603 % 256.
TEST_F(Installation, ExitCodeIsThePackagesChoice) {
  const struct {
    const char* exit_code_value;  // null: no such record
    const char* executable;
    int expected;
  } cases[] = {
      {nullptr, "%installer%", 0},         {"installer", "%installer%", 3},
      {"post", "%installer%", 5},          {nullptr, "absent", 0},
      {"installer", "absent", 1603 % 256},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<std::string, std::string>> values = {
        {"executable", c.executable}};
    if (c.exit_code_value) values.emplace_back("exitcode", c.exit_code_value);
    build({{"installer", "setup", probe()},
           {"post", "post-install", "#!/bin/sh\nexit 5\n"}},
          values);
    const test_support::ProgramResult result = run("3");
    EXPECT_EQ(result.exit_code, c.expected)
        << (c.exit_code_value ? c.exit_code_value : "no record") << " "
        << c.executable;
  }
}

}  // namespace
}  // namespace vcboot
