// An output file that appears under its name complete or not at all.
//
// The bytes go to a fresh temporary file in the destination's folder, which
// `commit` flushes to disk and renames over the destination in one step; an
// object destroyed without a commit removes its temporary file. A failure or
// an interruption therefore never leaves a half-written file under the
// destination's name. One implementation per system, picked by CMake
// (atomic_output_file_posix.cpp, atomic_output_file_win32.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace vcpack {

class AtomicOutputFile {
 public:
  // Creates the temporary file. Throws an I/O error when the destination's
  // folder cannot take it.
  explicit AtomicOutputFile(const std::string& destination);
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  // Appends `size` bytes. Throws an I/O error on failure.
  void write(const char* data, std::size_t size);

  // Flushes the file to disk and closes it, so that it can be read back
  // before it takes the destination's name; on POSIX it first gives the file
  // the mode of a new executable (0777 less the umask). Nothing can be
  // written after it. Throws an I/O error on failure.
  void finish();

  // Finishes the file if that is not done yet, and renames it over the
  // destination, which it replaces. Throws an I/O error on failure.
  void commit();

  const std::string& temporary_path() const { return temporary_path_; }

 private:
  std::string destination_;
  std::string temporary_path_;
  // The open temporary file: a descriptor or a HANDLE; -1 when closed.
  std::intptr_t file_ = -1;
  bool committed_ = false;
};

}  // namespace vcpack
