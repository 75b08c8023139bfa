#include "tests/support/allocation_meter.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <type_traits>

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
// library's. Looked up by its mangled name, in which '#' stands for size_t's
// letter: 'm' (unsigned long, x86-64) or 'j' (unsigned int, i686).
constexpr char kSizeLetter = std::is_same_v<std::size_t, unsigned long>  ? 'm'
                             : std::is_same_v<std::size_t, unsigned int> ? 'j'
                                                                         : '\0';
static_assert(kSizeLetter != '\0', "size_t is neither unsigned long nor int");
template <typename Function, std::size_t N>
Function next(const char (&pattern)[N]) {
  static_assert(sizeof(Function) == sizeof(void*), "a plain function pointer");
  // On the stack: this runs inside operator new, which must not recurse.
  char mangled_name[N];
  for (std::size_t i = 0; i < N; ++i) {
    mangled_name[i] = pattern[i] == '#' ? kSizeLetter : pattern[i];
  }
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
  static const auto next = meter::next<meter::New>("_Znw#");
  if (!meter::admit(size)) throw std::bad_alloc();
  return next(size);
}
void* operator new[](std::size_t size) {
  static const auto next = meter::next<meter::New>("_Zna#");
  if (!meter::admit(size)) throw std::bad_alloc();
  return next(size);
}
void* operator new(std::size_t size, const std::nothrow_t& tag) noexcept {
  static const auto next =
      meter::next<meter::NothrowNew>("_Znw#RKSt9nothrow_t");
  return meter::admit(size) ? next(size, tag) : nullptr;
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  static const auto next =
      meter::next<meter::NothrowNew>("_Zna#RKSt9nothrow_t");
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
  static const auto next = meter::next<meter::SizedDelete>("_ZdlPv#");
  next(block, size);
}
void operator delete[](void* block, std::size_t size) noexcept {
  static const auto next = meter::next<meter::SizedDelete>("_ZdaPv#");
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
