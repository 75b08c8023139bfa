#include "tests/support/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tests/support/scoped_temp_dir.h"

namespace vcboot::test_support {
namespace {

[[noreturn]] void exec_child(const std::vector<std::string>& argv,
                             const ProgramOptions& options, int out, int err) {
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  const int null = ::open("/dev/null", O_RDONLY);
  ::dup2(null, STDIN_FILENO);
  if (!options.working_directory.empty() &&
      ::chdir(options.working_directory.c_str()) != 0) {
    ::_exit(126);
  }
  for (const auto& [name, value] : options.environment) {
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  ::_exit(127);
}

}  // namespace

ProgramResult run_program(const std::vector<std::string>& argv,
                          const ProgramOptions& options) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
    std::abort();
  const pid_t pid = ::fork();
  if (pid == 0) exec_child(argv, options, out[1], err[1]);
  ::close(out[1]);
  ::close(err[1]);

  ProgramResult result;
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration<double>(options.timeout_seconds);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_pipes = 2;
  while (open_pipes > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(pid, SIGKILL);
      result.err += "\n[killed after the time limit]\n";
      break;
    }
    if (::poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) ::close(fd.fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

ProgramResult run_installer(const std::vector<std::string>& argv,
                            const std::string& temp, ProgramOptions options) {
  const ScopedTempDir runtime;
  std::filesystem::permissions(runtime.path(),
                               std::filesystem::perms::owner_all);
  options.environment.emplace("TMPDIR", temp);
  options.environment.emplace("XDG_RUNTIME_DIR", runtime.path().string());
  return run_program(argv, options);
}

}  // namespace vcboot::test_support
