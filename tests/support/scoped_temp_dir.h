// A fresh folder on the real disk for one test, removed with all it holds.
#pragma once

#include <filesystem>
#include <string>

namespace vcboot::test_support {

class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path with a '/' at its end, as the bootstrap's folder paths are.
  std::string slashed() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

// Writes `content` to `path`, replacing the file.
void write_file(const std::filesystem::path& path, const std::string& content);
// The whole content of `path`; empty if it cannot be read.
std::string read_file(const std::filesystem::path& path);

}  // namespace vcboot::test_support
