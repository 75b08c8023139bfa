#include "tests/support/allocation_meter.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace vcboot::test_support {
namespace {

std::atomic<bool> metering{false};
std::atomic<std::size_t> refuse_limit{SIZE_MAX};
std::atomic<std::size_t> largest_request{0};
std::atomic<std::size_t> refused_requests{0};

// Records a request of `size` bytes; false when it is to be refused.
bool admit(std::size_t size) {
  if (!metering.load(std::memory_order_relaxed)) return true;
  std::size_t largest = largest_request.load(std::memory_order_relaxed);
  while (size > largest &&
         !largest_request.compare_exchange_weak(largest, size)) {
  }
  if (size <= refuse_limit.load(std::memory_order_relaxed)) return true;
  refused_requests.fetch_add(1);
  return false;
}

// The definition that this file's replacement hides: AddressSanitizer's,
// which tells a block from new[] freed by delete, or else the standard
// library's. Looked up by its mangled name (x86-64: size_t is 'm').
static_assert(sizeof(std::size_t) == sizeof(unsigned long),
              "the mangled names below spell size_t as unsigned long");
template <typename Function>
Function next(const char* mangled_name) {
  static_assert(sizeof(Function) == sizeof(void*), "a plain function pointer");
  void* const found = ::dlsym(RTLD_NEXT, mangled_name);
  if (found == nullptr) std::abort();
  return reinterpret_cast<Function>(found);
}

using New = void* (*)(std::size_t);
using NothrowNew = void* (*)(std::size_t, const std::nothrow_t&);
using Delete = void (*)(void*);
using SizedDelete = void (*)(void*, std::size_t);
using NothrowDelete = void (*)(void*, const std::nothrow_t&);

}  // namespace

AllocationMeter::AllocationMeter(std::size_t refuse_above) {
  if (metering.exchange(true)) std::abort();  // one meter at a time
  refuse_limit = refuse_above;
  largest_request = 0;
  refused_requests = 0;
}

AllocationMeter::~AllocationMeter() {
  metering = false;
  refuse_limit = SIZE_MAX;
}

std::size_t AllocationMeter::largest() const { return largest_request; }
std::size_t AllocationMeter::refused() const { return refused_requests; }

}  // namespace vcboot::test_support

// Each replaceable form but the aligned ones (which the program does not use)
// admits the request and hands it on to the definition it hides.
namespace meter = vcboot::test_support;

void* operator new(std::size_t size) {
  static const auto next = meter::next<meter::New>("_Znwm");
  if (!meter::admit(size)) throw std::bad_alloc();
  return next(size);
}
void* operator new[](std::size_t size) {
  static const auto next = meter::next<meter::New>("_Znam");
  if (!meter::admit(size)) throw std::bad_alloc();
  return next(size);
}
void* operator new(std::size_t size, const std::nothrow_t& tag) noexcept {
  static const auto next =
      meter::next<meter::NothrowNew>("_ZnwmRKSt9nothrow_t");
  return meter::admit(size) ? next(size, tag) : nullptr;
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  static const auto next =
      meter::next<meter::NothrowNew>("_ZnamRKSt9nothrow_t");
  return meter::admit(size) ? next(size, tag) : nullptr;
}
void operator delete(void* block) noexcept {
  static const auto next = meter::next<meter::Delete>("_ZdlPv");
  next(block);
}
void operator delete[](void* block) noexcept {
  static const auto next = meter::next<meter::Delete>("_ZdaPv");
  next(block);
}
void operator delete(void* block, std::size_t size) noexcept {
  static const auto next = meter::next<meter::SizedDelete>("_ZdlPvm");
  next(block, size);
}
void operator delete[](void* block, std::size_t size) noexcept {
  static const auto next = meter::next<meter::SizedDelete>("_ZdaPvm");
  next(block, size);
}
void operator delete(void* block, const std::nothrow_t& tag) noexcept {
  static const auto next =
      meter::next<meter::NothrowDelete>("_ZdlPvRKSt9nothrow_t");
  next(block, tag);
}
void operator delete[](void* block, const std::nothrow_t& tag) noexcept {
  static const auto next =
      meter::next<meter::NothrowDelete>("_ZdaPvRKSt9nothrow_t");
  next(block, tag);
}
