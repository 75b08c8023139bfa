// FolderWriter on Windows: each file is made with CreateFileW and CREATE_NEW
// after any entry of its name is deleted. Deleting a symbolic link or a
// junction removes the link itself, and a name holding no separator reaches
// no subfolder, so nothing outside the folder is written.
#include <windows.h>

#include "platform/win32/win32_file.h"
#include "tools/vcpack/folder_writer.h"
#include "tools/vcpack/tool_error.h"
#include "tools/vcpack/wide_text_win32.h"

namespace vcpack {
namespace {

// The extraction's file, which keeps the code of a failed call where the
// extraction's platform looks for it.
class ReportingFile : public vcboot::File {
 public:
  ReportingFile(std::unique_ptr<vcboot::File> inner, std::uint32_t* error)
      : inner_(std::move(inner)), error_(error) {}

  std::optional<std::uint64_t> seek(std::int64_t distance,
                                    Origin origin) override {
    const auto position = inner_->seek(distance, origin);
    if (!position) *error_ = ::GetLastError();
    return position;
  }
  bool read(void* buffer, std::size_t size, std::size_t* done) override {
    return inner_->read(buffer, size, done) || failed();
  }
  bool write(const void* data, std::size_t size, std::size_t* done) override {
    return inner_->write(data, size, done) || failed();
  }

 private:
  bool failed() {
    *error_ = ::GetLastError();
    return false;
  }

  std::unique_ptr<vcboot::File> inner_;
  std::uint32_t* error_;
};

}  // namespace

FolderWriter::FolderWriter(const std::string& folder) : folder_(folder) {
  const DWORD attributes = ::GetFileAttributesW(wide_from_utf8(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    throw usage_or_io_error("cannot open the folder " + folder + ": " +
                            windows_error_text(::GetLastError()));
  }
  if (!folder_.empty() && folder_.back() != '/' && folder_.back() != '\\') {
    folder_ += '\\';
  }
}

FolderWriter::~FolderWriter() = default;

std::unique_ptr<vcboot::File> FolderWriter::create(const std::string& name,
                                                   std::uint32_t* error) {
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of("/\\:") != std::string::npos) {
    *error = ERROR_PATH_NOT_FOUND;  // what the bootstrap meets: no such folder
    return nullptr;
  }
  const std::wstring path = wide_from_utf8(folder_ + name);
  if (!::DeleteFileW(path.c_str()) &&
      ::GetLastError() != ERROR_FILE_NOT_FOUND) {
    // A folder link is removed as a link; a real folder stays and the
    // creation below fails on it.
    ::RemoveDirectoryW(path.c_str());
  }
  const HANDLE handle = ::CreateFileW(
      path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
      FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = ::GetLastError();
    return nullptr;
  }
  return std::make_unique<ReportingFile>(vcboot::adopt_file_handle(handle),
                                         error);
}

}  // namespace vcpack
