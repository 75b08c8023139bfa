// The POSIX backend's launches, with the launch probe as a real child.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "platform/posix/posix_platform.h"
#include "tests/support/probe_report.h"
#include "tests/support/scoped_temp_dir.h"

namespace vcboot {
namespace {

namespace fs = std::filesystem;

// Sets environment variables for the children of one test and restores them.
class ScopedEnvironment {
 public:
  ~ScopedEnvironment() {
    for (const auto& [name, old] : saved_) {
      if (old.second)
        ::setenv(name.c_str(), old.first.c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }
  void set(const std::string& name, const std::string& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = {old ? old : "", old != nullptr};
    }
    ::setenv(name.c_str(), value.c_str(), 1);
  }

 private:
  std::map<std::string, std::pair<std::string, bool>> saved_;
};

class PosixProcessTest : public ::testing::Test {
 protected:
  PosixProcessTest() {
    environment_.set("LAUNCH_PROBE_REPORT_DIR", temp_.path().string());
  }

  // A copy of the probe under `name` in the temporary folder.
  std::string place_probe(const std::string& name) {
    const fs::path path = temp_.path() / name;
    fs::copy_file(LAUNCH_PROBE, path);
    return path.string();
  }

  test_support::ScopedTempDir temp_;
  ScopedEnvironment environment_;
  PosixPlatform platform_;
};

TEST_F(PosixProcessTest, ParametersAreSplitByTheWindowsRules) {
  const std::string probe = place_probe("setup probe");
  auto process = platform_.start_program(
      {probe, R"(/i "C:\Program Files\x" a\"b "" c\\"d e")", std::nullopt});
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(process->wait());
  EXPECT_EQ(process->exit_code(), 0u);
  const auto report =
      test_support::read_probe_report(temp_.path(), "setup probe");
  ASSERT_TRUE(report.found);
  EXPECT_EQ(report.arguments,
            (std::vector<std::string>{probe, "/i", "C:\\Program Files\\x",
                                      "a\"b", "", "c\\d e"}));
}

TEST_F(PosixProcessTest, StartsInTheGivenFolderAndSeesItsFiles) {
  const std::string probe = place_probe("probe");
  const fs::path work = temp_.path() / "work";
  fs::create_directories(work / "sub");
  test_support::write_file(work / "data.cab", "cab");
  auto process = platform_.start_program({probe, "", work.string() + "/"});
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(process->wait());
  const auto report = test_support::read_probe_report(temp_.path(), "probe");
  EXPECT_EQ(report.working_directory, work.string());
  EXPECT_EQ(report.entries, (std::vector<std::string>{"data.cab", "sub/"}));
  EXPECT_EQ(report.arguments, std::vector<std::string>{probe});
}

TEST_F(PosixProcessTest, WithoutAFolderTheCurrentOneIsInherited) {
  const std::string probe = place_probe("probe");
  auto process = platform_.start_program({probe, "", std::nullopt});
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(process->wait());
  EXPECT_EQ(
      test_support::read_probe_report(temp_.path(), "probe").working_directory,
      fs::current_path().string());
}

TEST_F(PosixProcessTest, RelativeFileIsFoundFromTheStartFolder) {
  place_probe("probe");
  auto process = platform_.start_program({"probe", "", temp_.path().string()});
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(process->wait());
  EXPECT_EQ(test_support::read_probe_report(temp_.path(), "probe").arguments,
            std::vector<std::string>{"probe"});
}

TEST_F(PosixProcessTest, ExitCodeIsTheChildsStatus) {
  const std::string probe = place_probe("probe");
  for (const int code : {3, 255}) {
    environment_.set("LAUNCH_PROBE_EXIT", std::to_string(code));
    auto process = platform_.start_program({probe, "", std::nullopt});
    ASSERT_NE(process, nullptr);
    ASSERT_TRUE(process->wait());
    EXPECT_TRUE(process->wait()) << "a second wait finds it ended";
    EXPECT_EQ(process->exit_code(), static_cast<std::uint32_t>(code));
  }
}

TEST_F(PosixProcessTest, ExitCodeIsReadEvenWhenSigchldWasIgnored) {
  const std::string probe = place_probe("probe");
  environment_.set("LAUNCH_PROBE_EXIT", "3");
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction saved {};
  ::sigaction(SIGCHLD, &ignore, &saved);
  auto process = platform_.start_program({probe, "", std::nullopt});
  ASSERT_NE(process, nullptr);
  const bool waited = process->wait();
  const std::optional<std::uint32_t> code = process->exit_code();
  ::sigaction(SIGCHLD, &saved, nullptr);
  EXPECT_TRUE(waited);
  EXPECT_EQ(code, 3u);
}

TEST_F(PosixProcessTest, KilledChildGives128PlusTheSignal) {
  const std::string probe = place_probe("probe");
  environment_.set("LAUNCH_PROBE_SIGNAL", "9");
  auto process = platform_.start_program({probe, "", std::nullopt});
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(process->wait());
  EXPECT_EQ(process->exit_code(), 137u);
}

// A stop request, once caught, is noted rather than fatal, and nothing starts
// after it. In a child process, whose signal handling the test may change.
TEST_F(PosixProcessTest, NothingStartsAfterAStopRequest) {
  const std::string probe = place_probe("probe");
  const pid_t child = ::fork();
  if (child == 0) {
    platform_.catch_stop_signals();
    ::raise(SIGTERM);
    const bool refused =
        platform_.stop_signal() == SIGTERM &&
        platform_.start_program({probe, "", std::nullopt}) == nullptr &&
        platform_.last_error() == EINTR;
    ::_exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(test_support::read_probe_report(temp_.path(), "probe").found);
}

TEST_F(PosixProcessTest, FilesThatCannotBeExecutedFailToStart) {
  const fs::path folder = temp_.path();
  test_support::write_file(folder / "readme.txt", "text");
  test_support::write_file(folder / "noshebang", "echo hi\n");
  fs::permissions(folder / "noshebang", fs::perms::owner_all);
  const struct {
    std::string file;
    std::optional<std::string> directory;
    int error;
  } cases[] = {
      {(folder / "missing").string(), std::nullopt, ENOENT},
      {(folder / "readme.txt").string(), std::nullopt, EACCES},
      {folder.string(), std::nullopt, EACCES},
      {(folder / "noshebang").string(), std::nullopt, ENOEXEC},
      // A bare name is not looked for on PATH.
      {"true", folder.string(), ENOENT},
      {place_probe("probe"), (folder / "missing").string(), ENOENT},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform_.start_program({c.file, "", c.directory}), nullptr)
        << c.file;
    EXPECT_EQ(platform_.last_error(), static_cast<std::uint32_t>(c.error))
        << c.file;
  }
  EXPECT_FALSE(test_support::read_probe_report(folder, "probe").found);
  // Every child that failed to exec has been reaped.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(PosixProcessTest, NoDescriptorOfTheParentReachesTheChild) {
  const std::string probe = place_probe("probe");
  environment_.set("LAUNCH_PROBE_DESCRIPTORS", "1");
  // Opened the careless way, without close-on-exec.
  const int file = ::open(probe.c_str(), O_RDONLY);
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  auto process = platform_.start_program({probe, "", std::nullopt});
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(process->wait());
  ::close(file);
  ::close(pipe_ends[0]);
  ::close(pipe_ends[1]);
  const auto report = test_support::read_probe_report(temp_.path(), "probe");
  ASSERT_FALSE(report.descriptors.empty()) << "the probe lists none";
  for (const int fd : report.descriptors) EXPECT_LT(fd, 3);
}

}  // namespace
}  // namespace vcboot
