#include "tests/support/allocation_meter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace vcboot::testing {
namespace {

std::atomic<bool> metering{false};
std::atomic<std::size_t> refuse_limit{SIZE_MAX};
std::atomic<std::size_t> largest_request{0};
std::atomic<std::size_t> refused_requests{0};

void* allocate(std::size_t size) {
  if (metering.load(std::memory_order_relaxed)) {
    std::size_t largest = largest_request.load(std::memory_order_relaxed);
    while (size > largest &&
           !largest_request.compare_exchange_weak(largest, size)) {
    }
    if (size > refuse_limit.load(std::memory_order_relaxed)) {
      refused_requests.fetch_add(1);
      throw std::bad_alloc();
    }
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

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

}  // namespace vcboot::testing

// Every replaceable form but the aligned ones, which keep their own pair:
// a block must be freed by the family that allocated it.
void* operator new(std::size_t size) { return vcboot::testing::allocate(size); }
void* operator new[](std::size_t size) {
  return vcboot::testing::allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return vcboot::testing::allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
