// An in-memory file system for tests: folders, files and their contents,
// read-only marks and a current directory. Its calls mirror the file calls of
// Platform and fail as Windows would, with the Win32 error code as the last
// error, so that messages read as they would on Windows. The fake platform
// serves its file calls from here and adds scripted faults on top.
//
// Paths behave like Windows paths with either separator; a path names the
// same node with or without separators at its end, and one that begins with
// ".\" names a node in the current directory.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace vcboot {

// Win32 error codes that the file system and the fake platform report.
namespace fake_error {
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kPathNotFound = 3;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kSharingViolation = 32;
inline constexpr std::uint32_t kDiskFull = 112;
inline constexpr std::uint32_t kInvalidName = 123;
inline constexpr std::uint32_t kNegativeSeek = 131;
inline constexpr std::uint32_t kDirNotEmpty = 145;
inline constexpr std::uint32_t kAlreadyExists = 183;
}  // namespace fake_error

class MemoryFileSystem {
 public:
  MemoryFileSystem();
  ~MemoryFileSystem();
  MemoryFileSystem(const MemoryFileSystem&) = delete;
  MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

  // --- Set-up -------------------------------------------------------------
  // Creates the folder and any missing folders above it.
  void add_directory(const std::string& path);
  // Creates or replaces a file (its folder must exist).
  void add_file(const std::string& path, const std::string& content);
  void set_read_only(const std::string& path, bool read_only);

  // --- Observation --------------------------------------------------------
  bool file_exists(const std::string& path) const;
  bool directory_exists(const std::string& path) const;
  // A file's content; empty if there is no such file.
  std::string file_content(const std::string& path) const;
  // The files directly in a folder, by name.
  std::vector<std::string> files_in(const std::string& folder) const;
  // Every file, by its path with '\\' as the separator and none at its end.
  std::vector<std::string> all_files() const;
  const std::string& current_directory() const { return current_directory_; }
  // Files and listings that are still open.
  int open_handles() const { return *open_handles_; }

  // --- The file calls of Platform -----------------------------------------
  // Each sets last_error() when it fails. The current directory cannot be
  // removed, as on Windows.
  bool create_directory(const std::string& path);
  bool set_current_directory(const std::string& path);
  std::unique_ptr<File> open_for_reading(const std::string& path);
  std::unique_ptr<File> create_for_writing(const std::string& path);
  // Writes go to the end of the file, which is made when it is missing.
  std::unique_ptr<File> open_for_appending(const std::string& path);
  std::unique_ptr<DirectoryListing> list_directory(const std::string& pattern);
  bool delete_file(const std::string& path);
  bool remove_directory(const std::string& path);

  std::uint32_t last_error() const { return last_error_; }
  // Sets the last error, for a call that fails on the system's behalf;
  // always false, for use in `return`.
  bool set_error(std::uint32_t error);
  // The system's wording of a code above; empty for any other code.
  static std::string error_text(std::uint32_t code);

 private:
  class MemoryFile;
  class MemoryListing;

  // The key of `path`; one that begins with ".\" is taken from the current
  // directory.
  std::string key_of(const std::string& path) const;
  bool parent_exists(const std::string& key) const;
  bool has_children(const std::string& key) const;

  std::string current_directory_;
  std::uint32_t last_error_ = 0;
  std::set<std::string> directories_;                          // by key
  std::map<std::string, std::shared_ptr<std::string>> files_;  // by key
  std::set<std::string> read_only_;                            // by key
  // Shared with the open objects, which may outlive a test's expectations.
  std::shared_ptr<int> open_handles_ = std::make_shared<int>(0);
};

}  // namespace vcboot
