#include "bootstrap/launch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"

namespace vcboot {
namespace {

using Message = FakePlatform::Message;
using ProcessScript = FakePlatform::ProcessScript;

constexpr char kWork[] = "C:\\Users\\tester\\Temp\\VC42\\";
constexpr char kWorkKey[] = "C:\\Users\\tester\\Temp\\VC42";

// A fake machine inside a run that has just extracted its archive: the work
// folder exists and is the current directory. Programs start only when their
// file exists, as the shell would have it.
class Launch : public ::testing::Test {
 protected:
  Launch() {
    state_.work_folder = kWork;
    platform_.add_directory(kWork);
    platform_.set_current_directory(kWork);
    state_.variables.get_or_create("source") = kWorkKey;
    platform_.on_start([this](const LaunchRequest& request) {
      ProcessScript script;
      script.started = platform_.file_exists(request.file) ||
                       platform_.file_exists(kWork + request.file);
      script.exit_code = installer_exit_code_;
      return script;
    });
  }

  void define(const std::string& name, const std::string& value) {
    state_.variables.insert_if_absent(name, value);
  }
  // An extracted file, bound to `key` as a file record would bind it.
  void extract(const std::string& key, const std::string& name) {
    platform_.add_file(kWork + name, "MZ");
    if (!key.empty()) define(key, name);
  }
  std::vector<std::string> started_files() const {
    std::vector<std::string> files;
    for (const auto& launch : platform_.launches()) {
      files.push_back(launch.request.file);
    }
    return files;
  }
  // The log without the set-up's own entries.
  std::vector<std::string> launch_log() const {
    std::vector<std::string> log = platform_.log();
    log.erase(log.begin());  // set_current_directory of the set-up
    return log;
  }

  FakePlatform platform_;
  RunState state_;
  std::uint32_t installer_exit_code_ = 0;
};

TEST_F(Launch, InstallerIsStartedFromTheWorkFolderWithItsParameters) {
  extract("installer", "product.msi");
  define("executable", "%installer%");
  define("msi_parameters", "TARGETDIR=\"%source%\\app\" /qb");
  define("parameters", "/i %msi_parameters%");
  launch_installer(platform_, state_);

  ASSERT_EQ(platform_.launches().size(), 1u);
  const FakePlatform::Launch& launch = platform_.launches()[0];
  EXPECT_EQ(launch.request.file, std::string(kWork) + "product.msi");
  EXPECT_EQ(launch.request.parameters,
            "/i TARGETDIR=\"C:\\Users\\tester\\Temp\\VC42\\app\" /qb");
  EXPECT_FALSE(launch.request.directory.has_value());
  EXPECT_EQ(launch.current_directory, kWorkKey);
  EXPECT_TRUE(platform_.messages().empty());
  EXPECT_EQ(platform_.open_handles(), 0);
}

TEST_F(Launch, StoredValuesAreNotChanged) {
  extract("installer", "setup.exe");
  extract("post", "after.exe");
  define("executable", "%installer%");
  define("parameters", "%source%");
  const VariableTable::Entries before = state_.variables.entries();
  launch_installer(platform_, state_);
  EXPECT_EQ(platform_.launches().size(), 2u);
  EXPECT_EQ(state_.variables.entries(), before);
}

TEST_F(Launch, AbsoluteExecutableStillGetsTheWorkFolderInFront) {
  define("executable", "C:\\Windows\\notepad.exe");
  platform_.add_directory("C:\\Windows");
  platform_.add_file("C:\\Windows\\notepad.exe", "MZ");
  launch_installer(platform_, state_);
  EXPECT_EQ(started_files(),
            std::vector<std::string>{std::string(kWork) +
                                     "C:\\Windows\\notepad.exe"});
  EXPECT_EQ(platform_.messages(),
            (std::vector<Message>{
                {"ShellExecuteEx failed", "Unable to spawn process"}}));
}

TEST_F(Launch, MissingExecutableOpensTheWorkFolderItself) {
  launch_installer(platform_, state_);
  EXPECT_EQ(started_files(), std::vector<std::string>{kWork});
  EXPECT_EQ(platform_.launches()[0].request.parameters, "");
}

TEST_F(Launch, FailedStartIsToldAndNothingElseHappens) {
  define("executable", "missing.exe");
  extract("post", "after.exe");
  launch_installer(platform_, state_);
  EXPECT_EQ(platform_.messages(),
            (std::vector<Message>{
                {"ShellExecuteEx failed", "Unable to spawn process"}}));
  EXPECT_EQ(started_files().size(), 1u);
  EXPECT_EQ(platform_.open_handles(), 0);
}

TEST_F(Launch, PostIsNotFetchedWhenTheInstallerDidNotRun) {
  define("executable", "missing.exe");
  launch_installer(platform_, state_);
  EXPECT_EQ(state_.variables.find("post"), nullptr);
  EXPECT_NE(state_.variables.find("parameters"), nullptr);
}

TEST_F(Launch, FailedWaitIsToldOnceAndSkipsThePostProgram) {
  extract("executable", "setup.exe");
  extract("post", "after.exe");
  platform_.fail(FakeCall::kWait, 6);
  launch_installer(platform_, state_);
  EXPECT_EQ(platform_.messages(),
            (std::vector<Message>{
                {"WaitForSingleObject failed", "Unable to wait for process"}}));
  EXPECT_EQ(started_files().size(), 1u);
  EXPECT_EQ(launch_log().back(),
            "close_process " + std::string(kWork) + "setup.exe");
  EXPECT_EQ(platform_.open_handles(), 0);
}

TEST_F(Launch, StartWithoutAHandleFailsTheWait) {
  extract("executable", "setup.exe");
  extract("post", "after.exe");
  platform_.on_start([](const LaunchRequest&) {
    ProcessScript script;
    script.has_handle = false;
    return script;
  });
  launch_installer(platform_, state_);
  EXPECT_EQ(platform_.messages(),
            (std::vector<Message>{
                {"WaitForSingleObject failed", "Unable to wait for process"}}));
  EXPECT_EQ(started_files().size(), 1u);
}

TEST_F(Launch, UnreadableExitCodeIsToldAndSkipsThePostProgram) {
  extract("executable", "setup.exe");
  extract("post", "after.exe");
  platform_.fail(FakeCall::kExitCode, 5);
  launch_installer(platform_, state_);
  EXPECT_EQ(platform_.messages(),
            (std::vector<Message>{{"GetExitCodeProcess failed",
                                   "Unable to get process exit code"}}));
  EXPECT_EQ(started_files().size(), 1u);
  EXPECT_EQ(platform_.open_handles(), 0);
}

TEST_F(Launch, InstallerHandleIsReleasedOnlyAfterThePostProgramEnded) {
  extract("executable", "setup.exe");
  extract("post", "after.exe");
  launch_installer(platform_, state_);
  const std::string installer = std::string(kWork) + "setup.exe";
  EXPECT_EQ(launch_log(), (std::vector<std::string>{
                              "start_program " + installer,
                              "wait",
                              "exit_code",
                              "start_program after.exe",
                              "wait",
                              "close_process after.exe",
                              "close_process " + installer,
                          }));
  EXPECT_TRUE(platform_.messages().empty());
}

TEST_F(Launch, PostProgramRunsInTheWorkFolderWithoutPrefix) {
  extract("executable", "setup.exe");
  extract("tool", "after.exe");
  define("post", "%tool%");
  launch_installer(platform_, state_);
  ASSERT_EQ(platform_.launches().size(), 2u);
  const LaunchRequest& post = platform_.launches()[1].request;
  EXPECT_EQ(post.file, "after.exe");
  EXPECT_EQ(post.directory, std::optional<std::string>(kWork));
}

TEST_F(Launch, PostProgramFailuresAreNotTold) {
  extract("executable", "setup.exe");
  define("post", "C:\\nowhere\\after.exe");
  launch_installer(platform_, state_);  // cannot start
  platform_.add_directory("C:\\nowhere");
  platform_.add_file("C:\\nowhere\\after.exe", "MZ");
  platform_.fail(FakeCall::kWait, 6, /*successes=*/1);
  launch_installer(platform_, state_);  // cannot be waited for
  EXPECT_EQ(started_files().size(), 4u);
  EXPECT_TRUE(platform_.messages().empty());
  EXPECT_EQ(platform_.open_handles(), 0);
}

TEST_F(Launch, MissingPostStartsNothingAndTellsNothing) {
  extract("executable", "setup.exe");
  launch_installer(platform_, state_);
  EXPECT_EQ(started_files().size(), 1u);
  EXPECT_TRUE(platform_.messages().empty());
  EXPECT_EQ(*state_.variables.find("post"), "");
  EXPECT_EQ(platform_.open_handles(), 0);
}

TEST_F(Launch, PostThatExpandsToNothingStartsNothing) {
  extract("executable", "setup.exe");
  define("post", "%nothing%");
  define("nothing", "");
  launch_installer(platform_, state_);
  EXPECT_EQ(started_files().size(), 1u);
  EXPECT_TRUE(platform_.messages().empty());
}

struct ExitCodeCase {
  std::uint32_t code;
  const char* text;
};

class PostParameter : public Launch,
                      public ::testing::WithParamInterface<ExitCodeCase> {};

TEST_P(PostParameter, IsTheInstallerExitCodeInSignedDecimal) {
  extract("executable", "setup.exe");
  extract("post", "after.exe");
  installer_exit_code_ = GetParam().code;
  launch_installer(platform_, state_);
  ASSERT_EQ(platform_.launches().size(), 2u);
  EXPECT_EQ(platform_.launches()[1].request.parameters, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    ExitCodes, PostParameter,
    ::testing::Values(ExitCodeCase{0, "0"}, ExitCodeCase{3, "3"},
                      ExitCodeCase{3010, "3010"},
                      ExitCodeCase{0x7FFFFFFF, "2147483647"},
                      ExitCodeCase{0x80000000, "-2147483648"},
                      ExitCodeCase{0xFFFFFFFF, "-1"}),
    // Named by the code, so that a failure says which one.
    [](const ::testing::TestParamInfo<ExitCodeCase>& param_info) {
      return "Code" + std::to_string(param_info.param.code);
    });

TEST_F(Launch, UndefinedExecutableReadsEmptyOnceFetched) {
  // "executable" is fetched first: afterwards it exists, empty, so the
  // references to it in "parameters" and "post" vanish.
  extract("", "setup.exe");
  define("parameters", "[%executable%]");
  define("post", "after%executable%.exe");
  platform_.add_file(std::string(kWork) + "after.exe", "MZ");
  platform_.on_start([](const LaunchRequest&) { return ProcessScript{}; });
  launch_installer(platform_, state_);
  ASSERT_EQ(platform_.launches().size(), 2u);
  EXPECT_EQ(platform_.launches()[0].request.file, kWork);
  EXPECT_EQ(platform_.launches()[0].request.parameters, "[]");
  EXPECT_EQ(platform_.launches()[1].request.file, "after.exe");
}

TEST_F(Launch, UndefinedParametersStaysInExecutableButNotInPost) {
  // "parameters" is fetched after "executable" has been expanded.
  extract("", "setup.exe");
  define("executable", "setup.exe%parameters%");
  define("post", "after%parameters%.exe");
  platform_.on_start([](const LaunchRequest&) { return ProcessScript{}; });
  launch_installer(platform_, state_);
  ASSERT_EQ(platform_.launches().size(), 2u);
  EXPECT_EQ(platform_.launches()[0].request.file,
            std::string(kWork) + "setup.exe%parameters%");
  EXPECT_EQ(platform_.launches()[0].request.parameters, "");
  EXPECT_EQ(platform_.launches()[1].request.file, "after.exe");
}

}  // namespace
}  // namespace vcboot
