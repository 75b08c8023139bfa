// The worker thread of the Win32 backend: CreateThread, and two auto-reset
// events, one that hands the thread a job and one by which it tells that the
// job has ended. Each event's wait orders the memory written before its
// SetEvent, so the job, its context and the quit flag need no lock.
#include <windows.h>

#include <memory>

#include "platform/win32/scoped_handle.h"
#include "platform/win32/win32_platform.h"

namespace vcboot {
namespace {

class Win32Worker final : public Worker {
 public:
  // Whether the events and the thread were made.
  bool begin() {
    job_ready_.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    job_done_.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!job_ready_.valid() || !job_done_.valid()) return false;
    // The program's default stack: the system's libraries run their
    // thread start-up on it too.
    thread_.reset(
        ::CreateThread(nullptr, 0, &Win32Worker::run, this, 0, nullptr));
    return thread_.valid();
  }

  ~Win32Worker() override {
    if (!thread_.valid()) return;
    wait();
    quit_ = true;
    ::SetEvent(job_ready_.get());
    ::WaitForSingleObject(thread_.get(), INFINITE);
  }

  void start(void (*job)(void*), void* context) override {
    job_ = job;
    context_ = context;
    in_hand_ = true;
    ::SetEvent(job_ready_.get());
  }

  void wait() override {
    if (!in_hand_) return;
    ::WaitForSingleObject(job_done_.get(), INFINITE);
    in_hand_ = false;
  }

 private:
  static DWORD WINAPI run(LPVOID self) {
    auto* const worker = static_cast<Win32Worker*>(self);
    for (;;) {
      ::WaitForSingleObject(worker->job_ready_.get(), INFINITE);
      if (worker->quit_) return 0;
      worker->job_(worker->context_);
      ::SetEvent(worker->job_done_.get());
    }
  }

  ScopedHandle job_ready_;
  ScopedHandle job_done_;
  ScopedHandle thread_;
  void (*job_)(void*) = nullptr;
  void* context_ = nullptr;
  bool in_hand_ = false;  // a job was started and not yet waited for
  bool quit_ = false;
};

}  // namespace

std::unique_ptr<Worker> Win32Platform::start_worker() {
  auto worker = std::make_unique<Win32Worker>();
  if (!worker->begin()) return nullptr;
  return worker;
}

}  // namespace vcboot
