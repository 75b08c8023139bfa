// What vcpack asks of the system it runs on, with every path and text in
// UTF-8. On Windows the arguments arrive in UTF-16 and are converted once;
// files are then opened by the wide-character calls, never the ANSI ones, so
// a release folder such as D:\Сборка\ works. One implementation per system,
// picked by CMake: host_posix.cpp and host_win32.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vcpack {

// The character of the entry point's arguments: UTF-16 for vcpack.exe,
// which enters at wmain (-municode) so that no argument is lost to the ANSI
// code page; bytes on POSIX.
#ifdef _WIN32
using ArgumentChar = wchar_t;
#else
using ArgumentChar = char;
#endif

// The entry point's arguments as UTF-8 texts, which live as long as the
// object. While it lives, a Windows console shows UTF-8, which vcpack
// writes; output to a file or a pipe is left as it is.
class Utf8Arguments {
 public:
  Utf8Arguments(int argc, ArgumentChar** argv);
  ~Utf8Arguments();
  Utf8Arguments(const Utf8Arguments&) = delete;
  Utf8Arguments& operator=(const Utf8Arguments&) = delete;

  int count() const { return static_cast<int>(texts_.size()); }
  char** values() { return pointers_.data(); }

 private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;  // into texts_, then a null pointer
  // The console's code page before, on Windows; 0: no console.
  [[maybe_unused]] unsigned previous_console_code_page_ = 0;
};

// std::filesystem takes narrow text in the ANSI code page on Windows, so a
// path goes to it and comes back only through these two functions.
inline std::filesystem::path utf8_path(const std::string& text) {
  return std::filesystem::u8path(text);
}
inline std::string utf8_text(const std::filesystem::path& path) {
  return path.u8string();
}

// The platform through which vcpack reads and extracts packages: the
// bootstrap's own backend, whose file calls take UTF-8 paths here. Names
// stored in a package are still the bootstrap's bytes.
vcboot::Platform& host_platform();

// The value of an environment variable; none when it is not set.
std::optional<std::string> environment_variable(const std::string& name);

// An output file that appears under its name complete or not at all.
//
// The bytes go to a fresh temporary file in the destination's folder, which
// `commit` flushes to disk and renames over the destination in one step; an
// object destroyed without a commit removes its temporary file. A failure or
// an interruption therefore never leaves a half-written file under the
// destination's name.
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

// Creates files directly inside one folder and nowhere else, for `vcpack
// extract`. A name reaches no subfolder and follows no link: an existing
// entry of that name (a file, or a symbolic link to anywhere) is removed
// first and a new file is made in its place, so nothing outside the folder
// is ever written, not even through a hard link.
class FolderWriter {
 public:
  // Opens `folder`; throws an I/O error when it is no folder that can be
  // opened.
  explicit FolderWriter(const std::string& folder);
  ~FolderWriter();
  FolderWriter(const FolderWriter&) = delete;
  FolderWriter& operator=(const FolderWriter&) = delete;

  // Creates the file `name` in the folder. Null when `name` holds a '/' (or
  // is empty, "." or "..") or the file cannot be made, with the system's
  // error code in `*error`. A failed write of the file leaves its code in
  // `*error` too, which must outlive the file.
  std::unique_ptr<vcboot::File> create(const std::string& name,
                                       std::uint32_t* error);

  // The size of the regular file `name` in the folder; none when there is
  // none of that name, or the entry is a link, a FIFO or anything but a
  // regular file. Asked of the folder itself, without opening the file or
  // following a link: in a shared folder another user's FIFO of that name
  // would block an open, and their link would lead elsewhere.
  std::optional<std::uint64_t> file_size(const std::string& name) const;

 private:
  std::string folder_;   // the path given, kept on Windows
  int descriptor_ = -1;  // the folder itself, opened on POSIX
};

// Converts the texts of a package from UTF-8 to a code page. The Windows
// bootstrap takes stored names and values as bytes of the user's ANSI code
// page, so a package for users of code page 1252 stores "Grüße.txt" as the
// bytes of CP1252, not of UTF-8. glibc's iconv on POSIX, the system's own
// conversions on Windows.
class TextEncoder {
 public:
  virtual ~TextEncoder() = default;
  // `text` in the code page; none when it is no UTF-8 or holds a character
  // the code page has no place for (nothing is replaced or dropped).
  virtual std::optional<std::string> from_utf8(const std::string& text) = 0;
};

// An encoder for `code_page` ("CP1252", "CP1251", "ISO-8859-2", ...); null
// when the system knows no such code page.
std::unique_ptr<TextEncoder> make_text_encoder(const std::string& code_page);

}  // namespace vcpack
