// Program launching of the POSIX backend: the nearest honest equivalent of
// starting a program through the Windows shell and waiting on its handle.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/command_line.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/posix_signals.h"

namespace vcboot {
namespace {

// From before the fork until the child has ended, an interrupt or quit typed
// at the terminal does not end the bootstrap, as system(3) has it: the whole
// foreground group gets the signal, so the started program decides what it
// means, and the bootstrap waits for it and then cleans up instead of dying
// and leaving the work folder behind. The child, and the bootstrap after,
// get back the dispositions the bootstrap was started with.
class TerminalSignalsIgnored {
 public:
  TerminalSignalsIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGINT, &ignore, &interrupt_);
    ::sigaction(SIGQUIT, &ignore, &quit_);
  }
  ~TerminalSignalsIgnored() { restore(); }
  TerminalSignalsIgnored(const TerminalSignalsIgnored&) = delete;
  TerminalSignalsIgnored& operator=(const TerminalSignalsIgnored&) = delete;

  // Async-signal-safe, for the forked child too.
  void restore() const {
    ::sigaction(SIGINT, &interrupt_, nullptr);
    ::sigaction(SIGQUIT, &quit_, nullptr);
  }

 private:
  struct sigaction interrupt_ {};
  struct sigaction quit_ {};
};

// A started child, reaped by `wait`.
class PosixProcess : public Process {
 public:
  PosixProcess(PosixPlatform& platform, pid_t pid,
               std::unique_ptr<TerminalSignalsIgnored> signals)
      : platform_(platform), pid_(pid), signals_(std::move(signals)) {}

  // Releasing the process leaves it running, as CloseHandle does. One that
  // has ended unseen is reaped here; a running one is left to init, and gets
  // no stop signal passed on any more.
  ~PosixProcess() override {
    if (ended_) return;
    posix_signals::set_running_child(0);
    ::waitpid(pid_, &status_, WNOHANG);
  }

  bool wait() override {
    // Waited for without reaping it first, so that no stop signal is passed
    // on to another process that gets its number once it is reaped.
    siginfo_t info{};
    while (!ended_ && ::waitid(P_PID, static_cast<id_t>(pid_), &info,
                               WEXITED | WNOWAIT) != 0) {
      if (errno != EINTR) return platform_.record_errno();
    }
    posix_signals::set_running_child(0);
    while (!ended_) {
      const pid_t result = ::waitpid(pid_, &status_, 0);
      if (result == pid_)
        ended_ = true;
      else if (errno != EINTR)
        return platform_.record_errno();
    }
    signals_.reset();
    return true;
  }

  // Only an ended child has an exit code. POSIX keeps 8 bits of it (0-255),
  // not Windows' 32. A child killed by a signal gives 128 + the signal's
  // number, as the shells report it (SIGKILL: 137).
  std::uint32_t id() override { return static_cast<std::uint32_t>(pid_); }

  std::optional<std::uint32_t> exit_code() override {
    if (!ended_) {
      errno = EBUSY;
      platform_.record_errno();
      return std::nullopt;
    }
    if (WIFSIGNALED(status_)) {
      return 128 + static_cast<std::uint32_t>(WTERMSIG(status_));
    }
    return static_cast<std::uint32_t>(WEXITSTATUS(status_));
  }

 private:
  PosixPlatform& platform_;
  pid_t pid_;
  std::unique_ptr<TerminalSignalsIgnored> signals_;
  int status_ = 0;
  bool ended_ = false;
};

// The highest descriptor number the child could have inherited, plus one.
unsigned int descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 ||
      limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > 1u << 20) {
    return 1u << 20;
  }
  return static_cast<unsigned int>(limit.rlim_cur);
}

// Runs in the forked child, where only async-signal-safe calls are made.
// Nothing of the bootstrap beyond standard input, output and error reaches
// the program: every other descriptor, whoever opened it and however, is
// closed by the exec. An exec (or chdir) that fails sends its errno up the
// close-on-exec `report` pipe, which a successful exec closes unwritten.
[[noreturn]] void run_child(const char* file, char* const* argv,
                            const char* directory, unsigned int limit,
                            int report) {
  if (directory == nullptr || ::chdir(directory) == 0) {
#if VCBOOT_HAVE_CLOSE_RANGE
    if (::close_range(3, ~0u, CLOSE_RANGE_CLOEXEC) != 0)
#endif
    {
      for (unsigned int fd = 3; fd < limit; ++fd) {
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
      }
    }
    ::execv(file, argv);
  }
  const int error = errno;
  const ssize_t written = ::write(report, &error, sizeof error);
  ::_exit(written == sizeof error ? 127 : 126);
}

// Reads the errno that a failed exec sent; 0 when the exec succeeded.
int exec_error(int report) {
  int error = 0;
  ssize_t n;
  do {
    n = ::read(report, &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  // Anything but a whole errno means the pipe was closed by the exec.
  return n == sizeof error ? error : 0;
}

// With SIGCHLD ignored (a disposition that survives exec, so whoever
// started the bootstrap may have left it so) the kernel reaps children
// itself and no wait could tell their exit codes: the default comes back.
void keep_children_waitable() {
  struct sigaction action {};
  if (::sigaction(SIGCHLD, nullptr, &action) == 0 &&
      action.sa_handler == SIG_IGN) {
    action.sa_handler = SIG_DFL;
    action.sa_flags = 0;
    ::sigaction(SIGCHLD, &action, nullptr);
  }
}

void reap(pid_t pid) {
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::unique_ptr<Process> PosixPlatform::start_program(
    const LaunchRequest& request) {
  // There is no shell with file associations: the file is executed directly
  // (a script needs its #! line), and a document, a folder, a missing or
  // non-executable file is a failed start. A name without a slash is not
  // looked for on PATH. A relative file is found from the working directory
  // the program starts in, as posix_spawn's chdir action has it. The
  // parameter text becomes argv[1..] by the Windows rules, so a package
  // behaves alike on both systems; argv[0] is the file as given.
  std::vector<std::string> arguments = split_arguments(request.parameters);
  arguments.insert(arguments.begin(), request.file);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const char* directory =
      request.directory ? request.directory->c_str() : nullptr;
  const unsigned int limit = descriptor_limit();
  keep_children_waitable();

  // Nothing starts once a stop was asked for.
  posix_signals::StopSignalsBlocked stop_signals_blocked;
  if (posix_signals::stop_signal() != 0) {
    errno = EINTR;
    record_errno();
    return nullptr;
  }
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    record_errno();
    return nullptr;
  }
  auto signals = std::make_unique<TerminalSignalsIgnored>();
  const pid_t pid = ::fork();
  if (pid == 0) {
    signals->restore();
    stop_signals_blocked.restore_in_child();
    run_child(request.file.c_str(), argv.data(), directory, limit, report[1]);
  }
  const int fork_error = errno;
  // A stop signal that came meanwhile is passed on as it is let through.
  if (pid > 0) posix_signals::set_running_child(pid);
  stop_signals_blocked.unblock();
  ::close(report[1]);
  const int error = pid < 0 ? fork_error : exec_error(report[0]);
  ::close(report[0]);
  if (error != 0) {
    posix_signals::set_running_child(0);
    if (pid > 0) reap(pid);
    errno = error;
    record_errno();
    return nullptr;
  }
  return std::make_unique<PosixProcess>(*this, pid, std::move(signals));
}

}  // namespace vcboot
