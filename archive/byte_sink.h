// Where a package writer puts its bytes: a string in tests, a file in tools.
#pragma once

#include <cstddef>
#include <string>

namespace vcboot {

// Takes bytes in order. Reports failure by throwing; it returns only when all
// bytes were taken.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(const char* data, std::size_t size) = 0;
};

// Collects everything written in memory.
class StringSink : public ByteSink {
 public:
  void write(const char* data, std::size_t size) override {
    bytes_.append(data, size);
  }
  const std::string& bytes() const { return bytes_; }
  std::string& bytes() { return bytes_; }

 private:
  std::string bytes_;
};

}  // namespace vcboot
