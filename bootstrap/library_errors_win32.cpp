// The standard library's own error reports, made smaller for the Windows
// stub.
//
// Strings and containers report a misuse or an over-long request through
// the std::__throw_* helpers. The library's versions throw std::length_error
// and its kin, which hold a reference-counted copy of their message: linking
// them brings the whole second (copy-on-write) string implementation into
// the stub, more than 40 KB. These versions throw a plain std::exception
// that carries the same description, so the run's top-level handler shows
// exactly what it showed before. Nothing in the bootstrap catches the
// standard's error types by name. Linked into the Windows program only: the
// tests and tools keep the library's own.
#include <exception>
#include <new>

namespace {

// The description of a library error, as what() gives it.
class LibraryError : public std::exception {
 public:
  explicit LibraryError(const char* what) : what_(what) {}
  const char* what() const noexcept override { return what_; }

 private:
  const char* what_;
};

}  // namespace

namespace std {

void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_length_error(const char* what) { throw LibraryError(what); }
void __throw_logic_error(const char* what) { throw LibraryError(what); }
void __throw_out_of_range(const char* what) { throw LibraryError(what); }
void __throw_invalid_argument(const char* what) { throw LibraryError(what); }
// The library fills in the numbers of its message; the format alone tells
// what went wrong, and this path is a program error, never a package's.
void __throw_out_of_range_fmt(const char* format, ...) {
  throw LibraryError(format);
}

}  // namespace std
