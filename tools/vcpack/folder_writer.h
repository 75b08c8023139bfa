// Creates files directly inside one folder and nowhere else, for `vcpack
// extract`. A name reaches no subfolder and follows no link: an existing
// entry of that name (a file, or a symbolic link to anywhere) is removed
// first and a new file is made in its place, so nothing outside the folder
// is ever written, not even through a hard link.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace vcpack {

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

 private:
  std::string folder_;   // the path given, kept on Windows
  int descriptor_ = -1;  // the folder itself, opened on POSIX
};

}  // namespace vcpack
