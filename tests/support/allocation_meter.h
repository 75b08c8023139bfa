// Watches the program's own allocations through operator new, for tests and
// fuzz targets that bound what an input can make the program allocate, or
// that make an allocation fail as it would when memory runs out.
//
// Linking this file replaces the global operator new and delete of the whole
// program. They hand every request on to the definitions they hide
// (AddressSanitizer's where it runs, so it still sees every block and the
// form that must free it), and outside a meter's lifetime they only pass
// through. Linux only, where the native tests run (x86-64 and i686).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vcboot::test_support {

// Measures the allocations made while it lives, on any thread. One meter at
// a time.
class AllocationMeter {
 public:
  // Requests larger than `refuse_above` bytes throw std::bad_alloc.
  explicit AllocationMeter(std::size_t refuse_above = SIZE_MAX);
  ~AllocationMeter();
  AllocationMeter(const AllocationMeter&) = delete;
  AllocationMeter& operator=(const AllocationMeter&) = delete;

  // The largest single request so far, refused ones included.
  std::size_t largest() const;
  // How many requests were refused.
  std::size_t refused() const;
};

}  // namespace vcboot::test_support
