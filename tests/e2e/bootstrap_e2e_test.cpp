// The real bootstrap, run as a process on this machine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <filesystem>

#include "bootstrap/run_sequence.h"
#include "tests/support/invalid_archive_message.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/subprocess.h"

namespace vcboot {
namespace {

namespace fs = std::filesystem;

const std::string kInvalidArchiveBlock =
    test_support::invalid_archive_on_standard_error();

TEST(BootstrapProcess, BareStubReportsInvalidArchiveAndCleansUp) {
  test_support::ScopedTempDir temp;
  const test_support::ProgramResult result =
      test_support::run_installer({VCBOOT_BINARY, "a", "b c"}, temp.path());
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_NE(result.err.find(kInvalidArchiveBlock), std::string::npos)
      << result.err;
  EXPECT_TRUE(fs::is_empty(temp.path())) << "a work folder was left behind";
}

TEST(BootstrapProcess, TmpdirWithoutSlashIsUsed) {
  test_support::ScopedTempDir temp;
  fs::create_directory(temp.path() / "sub");
  const test_support::ProgramResult result = test_support::run_installer(
      {VCBOOT_BINARY}, (temp.path() / "sub").string());
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_TRUE(fs::is_empty(temp.path() / "sub"));
}

// Started with standard error closed, the bootstrap still writes
// its messages to none of its own files: the lock file stays empty.
TEST(BootstrapProcess, ClosedStandardErrorTakesNoMessages) {
  test_support::ScopedTempDir temp;
  const fs::path runtime = temp.path() / "run";
  fs::create_directory(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  const test_support::ProgramResult result = test_support::run_installer(
      {"/bin/sh", "-c", "exec \"$0\" 2>&-", VCBOOT_BINARY}, temp.path(),
      {"", {{"XDG_RUNTIME_DIR", runtime.string()}}});
  EXPECT_EQ(result.exit_code, 0);
  const fs::path lock = runtime / (std::string(kInstanceMutexName) + ".lock");
  ASSERT_TRUE(fs::exists(lock));
  EXPECT_EQ(fs::file_size(lock), 0u);
}

// A standard error whose reader has gone (SIGPIPE) loses the messages but
// ends nothing: the run goes on and cleans up.
TEST(BootstrapProcess, StandardErrorWithoutAReaderEndsNothing) {
  test_support::ScopedTempDir temp;
  fs::create_directory(temp.path() / "tmp");
  const std::string status = (temp.path() / "status").string();
  const test_support::ProgramResult result = test_support::run_installer(
      {"/bin/sh", "-c",
       "{ sleep 0.2; \"$0\"; echo $? > \"$1\"; } 2>&1 >/dev/null | true",
       VCBOOT_BINARY, status},
      (temp.path() / "tmp").string());
  EXPECT_EQ(test_support::read_file(status), "0\n");
  EXPECT_TRUE(fs::is_empty(temp.path() / "tmp"));
}

// Everything another user can do to the guard, done by "nobody": hold the
// lock in the folder where the user's guard once went in a shared temporary
// directory, made first and open to all, and bind the abstract socket name
// that the guard once was. None of it turns the user's run away.
TEST(BootstrapProcess, AnotherUserCannotHoldTheGuard) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  test_support::ScopedTempDir temp;
  const fs::path shared = temp.path() / "shared";  // like /tmp
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  const std::string folder = (shared / "vcboot-0").string();
  const std::string lock = folder + "/" + kInstanceMutexName + ".lock";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_name = std::string(kInstanceMutexName) + ".0";
  std::memcpy(address.sun_path + 1, socket_name.data(), socket_name.size());
  const auto address_size = static_cast<socklen_t>(
      offsetof(sockaddr_un, sun_path) + 1 + socket_name.size());

  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t nobody = ::fork();
  if (nobody == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    ::umask(0);
    ::mkdir(folder.c_str(), 0777);
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT, 0666);
    const int held = fd >= 0 ? ::flock(fd, LOCK_EX) : -1;
    const int named = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const int bound = ::bind(named, reinterpret_cast<const sockaddr*>(&address),
                             address_size);
    const char byte = held == 0 && bound == 0 ? 'y' : 'n';
    if (::write(ready[1], &byte, 1) != 1) ::_exit(3);
    ::pause();
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  const test_support::ProgramResult result =
      test_support::run_installer({VCBOOT_BINARY}, shared.string());
  ::kill(nobody, SIGKILL);
  ::waitpid(nobody, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  ASSERT_EQ(byte, 'y') << "nobody could not plant the guard";
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err.find("Already Running"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find(kInvalidArchiveBlock), std::string::npos)
      << result.err;
}

}  // namespace
}  // namespace vcboot
