#include "platform/posix/posix_signals.h"

#include <cerrno>
#include <csignal>
#include <iterator>

namespace vcboot::posix_signals {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGHUP};

static_assert(sizeof(pid_t) <= sizeof(std::sig_atomic_t),
              "a process id fits the handler's flag");

volatile std::sig_atomic_t g_stop_signal = 0;
volatile std::sig_atomic_t g_running_child = 0;

// What the program was started with, for its children; set once, before any
// child is started.
bool g_caught = false;
bool g_caught_signal[std::size(kStopSignals)] = {};
struct sigaction g_pipe_at_start {};

extern "C" void on_stop_signal(int signal) {
  const int saved = errno;
  if (g_stop_signal == 0) g_stop_signal = signal;
  const auto child = static_cast<pid_t>(g_running_child);
  if (child > 0) ::kill(child, signal);
  errno = saved;
}

sigset_t stop_signal_set() {
  sigset_t set;
  ::sigemptyset(&set);
  for (const int signal : kStopSignals) ::sigaddset(&set, signal);
  return set;
}

}  // namespace

void catch_stop_signals() {
  if (g_caught) return;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &g_pipe_at_start);
  struct sigaction handler {};
  handler.sa_handler = on_stop_signal;
  handler.sa_mask = stop_signal_set();
  // Reads, writes and waits go on where the handler interrupted them.
  handler.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
    struct sigaction at_start {};
    if (::sigaction(kStopSignals[i], nullptr, &at_start) != 0 ||
        at_start.sa_handler == SIG_IGN) {
      continue;
    }
    g_caught_signal[i] = ::sigaction(kStopSignals[i], &handler, nullptr) == 0;
  }
  g_caught = true;
}

int stop_signal() { return g_stop_signal; }

void set_running_child(pid_t pid) { g_running_child = pid; }

StopSignalsBlocked::StopSignalsBlocked() {
  const sigset_t set = stop_signal_set();
  blocked_ = ::sigprocmask(SIG_BLOCK, &set, &previous_) == 0;
}

void StopSignalsBlocked::unblock() {
  if (blocked_) ::sigprocmask(SIG_SETMASK, &previous_, nullptr);
  blocked_ = false;
}

void StopSignalsBlocked::restore_in_child() const {
  if (g_caught) {
    struct sigaction by_default {};
    by_default.sa_handler = SIG_DFL;
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
      if (g_caught_signal[i])
        ::sigaction(kStopSignals[i], &by_default, nullptr);
    }
    ::sigaction(SIGPIPE, &g_pipe_at_start, nullptr);
  }
  if (blocked_) ::sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace vcboot::posix_signals
