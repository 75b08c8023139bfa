// FolderWriter on POSIX: every file is made with openat() relative to the
// folder's own descriptor, with O_EXCL and O_NOFOLLOW.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "tools/vcpack/folder_writer.h"
#include "tools/vcpack/tool_error.h"

namespace vcpack {
namespace {

class DescriptorFile : public vcboot::File {
 public:
  DescriptorFile(int descriptor, std::uint32_t* error)
      : descriptor_(descriptor), error_(error) {}
  ~DescriptorFile() override { close(descriptor_); }

  std::optional<std::uint64_t> seek(std::int64_t distance,
                                    Origin origin) override {
    const int whence = origin == Origin::kBegin     ? SEEK_SET
                       : origin == Origin::kCurrent ? SEEK_CUR
                                                    : SEEK_END;
    const off_t position = lseek(descriptor_, distance, whence);
    if (position < 0) return failed(std::nullopt);
    return static_cast<std::uint64_t>(position);
  }

  bool read(void* buffer, std::size_t size, std::size_t* done) override {
    *done = 0;
    while (*done < size) {
      const ssize_t n =
          ::read(descriptor_, static_cast<char*>(buffer) + *done, size - *done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return failed(false);
      if (n == 0) break;
      *done += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool write(const void* data, std::size_t size, std::size_t* done) override {
    *done = 0;
    while (*done < size) {
      const ssize_t n = ::write(
          descriptor_, static_cast<const char*>(data) + *done, size - *done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return failed(false);
      *done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  template <typename Result>
  Result failed(Result result) {
    *error_ = static_cast<std::uint32_t>(errno);
    return result;
  }

  int descriptor_;
  std::uint32_t* error_;
};

}  // namespace

FolderWriter::FolderWriter(const std::string& folder) {
  descriptor_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor_ < 0) {
    throw usage_or_io_error("cannot open the folder " + folder + ": " +
                            std::strerror(errno));
  }
}

FolderWriter::~FolderWriter() { close(descriptor_); }

std::unique_ptr<vcboot::File> FolderWriter::create(const std::string& name,
                                                   std::uint32_t* error) {
  if (name.empty() || name == "." || name == ".." ||
      name.find('/') != std::string::npos) {
    *error = ENOENT;  // what the bootstrap meets: no such folder
    return nullptr;
  }
  if (unlinkat(descriptor_, name.c_str(), 0) != 0 && errno != ENOENT) {
    *error = static_cast<std::uint32_t>(errno);
    return nullptr;
  }
  const int file =
      openat(descriptor_, name.c_str(),
             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (file < 0) {
    *error = static_cast<std::uint32_t>(errno);
    return nullptr;
  }
  return std::make_unique<DescriptorFile>(file, error);
}

}  // namespace vcpack
