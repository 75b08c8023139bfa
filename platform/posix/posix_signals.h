// Stop requests of the POSIX backend. SIGTERM and SIGHUP would end the
// bootstrap at once and leave its work folder behind, and a closed standard
// error would end it with SIGPIPE at its next message. Once caught, each stop
// request is noted in a flag, which the run reads at its safe points, and
// passed on to the program it is waiting for; the handler does nothing else,
// so it stays async-signal-safe.
#pragma once

#include <signal.h>
#include <sys/types.h>

namespace vcboot::posix_signals {

// Catches SIGTERM and SIGHUP and ignores SIGPIPE, for the rest of the
// program's life. A stop signal that the program was started with ignored
// (nohup) stays ignored, for it and for the programs it starts.
void catch_stop_signals();

// The number of the first stop signal that arrived, or 0.
int stop_signal();

// The started program that a stop signal is passed on to; 0 for none.
void set_running_child(pid_t pid);

// Blocks the stop signals from construction until `unblock` or the end of
// its life: across a fork, so that the parent knows the child it passes a
// signal on to before the handler can run, and no handler runs in the child.
class StopSignalsBlocked {
 public:
  StopSignalsBlocked();
  ~StopSignalsBlocked() { unblock(); }
  StopSignalsBlocked(const StopSignalsBlocked&) = delete;
  StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

  void unblock();
  // In the forked child, before the exec: the dispositions that the program
  // was started with, then the signal mask it had. Async-signal-safe.
  void restore_in_child() const;

 private:
  sigset_t previous_;
  bool blocked_ = false;
};

}  // namespace vcboot::posix_signals
