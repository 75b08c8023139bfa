// Room for one block of a chunk's payload, kept from one chunk to the next.
//
// A fresh allocation for every payload costs the page faults of new memory
// and, in a std::string, the clearing of every byte that the read then
// overwrites. This buffer keeps its room, so a run of payloads fills memory
// that is already there, and leaves its bytes as they are until the read
// writes them. It grows to exactly the size asked for, never more, and lets
// its old room go before it takes the new, so the most it ever holds is the
// largest size asked for: a small package never takes a whole block.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace vcboot {

class PayloadBuffer {
 public:
  // Room for `size` bytes, whose content is unspecified until written.
  char* resize(std::size_t size) {
    if (!storage_ || size > capacity_) {
      storage_.reset();
      capacity_ = 0;
      // Default-initialised, so not cleared; never empty, so data() is a
      // valid pointer even for an empty payload.
      storage_.reset(new char[size > 0 ? size : 1]);
      capacity_ = size;
    }
    size_ = size;
    return storage_.get();
  }

  const char* data() const { return storage_.get(); }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {storage_.get(), size_}; }

 private:
  std::unique_ptr<char[]> storage_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

}  // namespace vcboot
