// vcpack on POSIX: paths and arguments are bytes, passed on as they are; the
// output file and the extraction's files are made through descriptors, and
// code pages are converted by glibc's iconv.
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "tools/vcpack/host.h"
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

// A file of the extraction, made by FolderWriter, which keeps the code of a
// failed call where the extraction's platform looks for it.
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

// TextEncoder through iconv, which knows every code page glibc knows
// (`iconv --list`).
class IconvEncoder : public TextEncoder {
 public:
  explicit IconvEncoder(iconv_t descriptor) : descriptor_(descriptor) {}
  ~IconvEncoder() override { iconv_close(descriptor_); }
  IconvEncoder(const IconvEncoder&) = delete;
  IconvEncoder& operator=(const IconvEncoder&) = delete;

  std::optional<std::string> from_utf8(const std::string& text) override {
    iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);  // a fresh state
    std::string input = text;
    char* in = &input[0];
    std::size_t in_left = input.size();
    std::string result;
    // The input first, then what closes a code page that keeps a state.
    for (bool closing = false;;) {
      char buffer[256];
      char* out = buffer;
      std::size_t out_left = sizeof buffer;
      const std::size_t done =
          closing ? iconv(descriptor_, nullptr, nullptr, &out, &out_left)
                  : iconv(descriptor_, &in, &in_left, &out, &out_left);
      result.append(buffer, static_cast<std::size_t>(out - buffer));
      if (done == static_cast<std::size_t>(-1)) {
        // E2BIG: the buffer is full; EILSEQ: a character without a place
        // (or no UTF-8); EINVAL: a sequence cut short.
        if (errno != E2BIG) return std::nullopt;
        continue;
      }
      if (closing) return result;
      closing = true;
    }
  }

 private:
  iconv_t descriptor_;
};

}  // namespace

Utf8Arguments::Utf8Arguments(int argc, char** argv)
    : texts_(argv, argv + argc) {
  for (std::string& text : texts_) pointers_.push_back(&text[0]);
  pointers_.push_back(nullptr);
}

Utf8Arguments::~Utf8Arguments() = default;

vcboot::Platform& host_platform() { return vcboot::native_platform(); }

std::optional<std::string> environment_variable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

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

// Every file is made with openat() relative to the folder's own descriptor,
// with O_EXCL and O_NOFOLLOW.
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

std::optional<std::uint64_t> FolderWriter::file_size(
    const std::string& name) const {
  struct stat status;
  if (name.find('/') != std::string::npos ||
      fstatat(descriptor_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(status.st_size);
}

std::unique_ptr<TextEncoder> make_text_encoder(const std::string& code_page) {
  // "//TRANSLIT" and "//IGNORE" would replace or drop characters silently.
  if (code_page.empty() || code_page.find('/') != std::string::npos)
    return nullptr;
  const iconv_t descriptor = iconv_open(code_page.c_str(), "UTF-8");
  if (descriptor == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return std::make_unique<IconvEncoder>(descriptor);
}

}  // namespace vcpack
