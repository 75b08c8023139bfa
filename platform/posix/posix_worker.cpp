// The worker thread of the POSIX backend: a thread that waits for one job at
// a time. It is made while the stop signals are blocked and keeps them so,
// so that their handler runs on the main thread, which looks for a stop
// between records.
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/posix/posix_platform.h"
#include "platform/posix/posix_signals.h"

namespace vcboot {
namespace {

class PosixWorker final : public Worker {
 public:
  PosixWorker() {
    const posix_signals::StopSignalsBlocked blocked;  // the thread inherits it
    thread_ = std::thread([this] { run(); });
  }

  ~PosixWorker() override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  void start(void (*job)(void*), void* context) override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      job_ = job;
      context_ = context;
    }
    changed_.notify_all();
  }

  void wait() override {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return job_ == nullptr; });
  }

 private:
  // A job in hand is run before the thread ends.
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return job_ != nullptr || quit_; });
      if (job_ == nullptr) return;
      lock.unlock();
      job_(context_);
      lock.lock();
      job_ = nullptr;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  void (*job_)(void*) = nullptr;  // the job in hand, until it has ended
  void* context_ = nullptr;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<Worker> PosixPlatform::start_worker() {
  try {
    return std::make_unique<PosixWorker>();
  } catch (const std::system_error&) {
    return nullptr;  // no thread to be had: the caller works alone
  }
}

}  // namespace vcboot
