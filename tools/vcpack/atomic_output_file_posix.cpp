#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "tools/vcpack/atomic_output_file.h"
#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

ToolError io_failure(const std::string& what, const std::string& path) {
  return usage_or_io_error(what + " " + path + ": " + std::strerror(errno));
}

int descriptor_of(std::intptr_t file) { return static_cast<int>(file); }

mode_t executable_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return static_cast<mode_t>(0777 & ~mask);
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(const std::string& destination)
    : destination_(destination) {
  const std::filesystem::path target(destination);
  const std::string name = target.filename().string();
  std::string pattern =
      (target.parent_path() / ("." + name + ".vcpack-XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int descriptor = mkstemp(buffer.data());
  if (descriptor < 0)
    throw io_failure("cannot create a temporary file beside", destination);
  file_ = descriptor;
  temporary_path_ = buffer.data();
}

AtomicOutputFile::~AtomicOutputFile() {
  if (file_ >= 0) close(descriptor_of(file_));
  if (!committed_) unlink(temporary_path_.c_str());
}

void AtomicOutputFile::write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptor_of(file_), data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw io_failure("cannot write", temporary_path_);
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

void AtomicOutputFile::finish() {
  if (file_ < 0) return;
  const int descriptor = descriptor_of(file_);
  if (fchmod(descriptor, executable_mode()) != 0 || fsync(descriptor) != 0) {
    throw io_failure("cannot finish", temporary_path_);
  }
  file_ = -1;
  if (close(descriptor) != 0)
    throw io_failure("cannot finish", temporary_path_);
}

void AtomicOutputFile::commit() {
  finish();
  if (std::rename(temporary_path_.c_str(), destination_.c_str()) != 0) {
    throw io_failure("cannot rename the finished package to", destination_);
  }
  committed_ = true;
}

}  // namespace vcpack
