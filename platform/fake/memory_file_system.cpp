#include "platform/fake/memory_file_system.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vcboot {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

// A path's key: the path without separators at its end, and with '/' read as
// '\', so "C:\a\", "C:\a" and "C:/a" name one node.
std::string normalized(const std::string& path) {
  std::string key = path;
  std::replace(key.begin(), key.end(), '/', '\\');
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

// The key of the folder that holds `key`; empty for a root such as "C:".
std::string parent_key(const std::string& key) {
  const std::size_t separator = key.find_last_of('\\');
  return separator == std::string::npos ? std::string()
                                        : key.substr(0, separator);
}

std::string name_of(const std::string& key) {
  const std::size_t separator = key.find_last_of('\\');
  return separator == std::string::npos ? key : key.substr(separator + 1);
}

}  // namespace

// --- Open objects ---------------------------------------------------------

class MemoryFileSystem::MemoryFile : public File {
 public:
  MemoryFile(MemoryFileSystem& files, std::shared_ptr<std::string> content,
             bool writable)
      : files_(files),
        open_handles_(files.open_handles_),
        content_(std::move(content)),
        writable_(writable) {
    ++*open_handles_;
  }
  ~MemoryFile() override { --*open_handles_; }

  std::optional<std::uint64_t> seek(std::int64_t distance,
                                    Origin origin) override {
    std::int64_t base = 0;
    if (origin == Origin::kCurrent) base = static_cast<std::int64_t>(position_);
    if (origin == Origin::kEnd) {
      base = static_cast<std::int64_t>(content_->size());
    }
    const std::int64_t target = base + distance;
    if (target < 0) {
      files_.set_error(fake_error::kNegativeSeek);
      return std::nullopt;
    }
    position_ = static_cast<std::uint64_t>(target);
    return position_;
  }

  bool read(void* buffer, std::size_t size, std::size_t* done) override {
    *done = 0;
    if (writable_) return files_.set_error(fake_error::kAccessDenied);
    if (position_ < content_->size()) {
      *done = static_cast<std::size_t>(
          std::min<std::uint64_t>(size, content_->size() - position_));
      std::memcpy(buffer, content_->data() + position_, *done);
      position_ += *done;
    }
    return true;
  }

  bool write(const void* data, std::size_t size, std::size_t* done) override {
    *done = 0;
    if (!writable_) return files_.set_error(fake_error::kAccessDenied);
    if (content_->size() < position_ + size) {
      content_->resize(static_cast<std::size_t>(position_ + size));
    }
    std::memcpy(&(*content_)[static_cast<std::size_t>(position_)], data, size);
    position_ += size;
    *done = size;
    return true;
  }

 private:
  MemoryFileSystem& files_;
  std::shared_ptr<int> open_handles_;
  std::shared_ptr<std::string> content_;
  bool writable_;
  std::uint64_t position_ = 0;
};

class MemoryFileSystem::MemoryListing : public DirectoryListing {
 public:
  MemoryListing(std::vector<DirectoryEntry> entries,
                std::shared_ptr<int> handles)
      : entries_(std::move(entries)), open_handles_(std::move(handles)) {
    ++*open_handles_;
  }
  ~MemoryListing() override { --*open_handles_; }

  bool next(DirectoryEntry* entry) override {
    if (index_ == entries_.size()) return false;
    *entry = entries_[index_++];
    return true;
  }

 private:
  std::vector<DirectoryEntry> entries_;
  std::shared_ptr<int> open_handles_;
  std::size_t index_ = 0;
};

// --- Set-up and observation -----------------------------------------------

std::string MemoryFileSystem::key_of(const std::string& path) const {
  // ".\name" is a name in the current directory.
  if (path.size() >= 2 && path[0] == '.' && is_separator(path[1])) {
    return normalized(current_directory_ + "\\" + path.substr(2));
  }
  return normalized(path);
}

MemoryFileSystem::MemoryFileSystem() = default;
MemoryFileSystem::~MemoryFileSystem() = default;

void MemoryFileSystem::add_directory(const std::string& path) {
  for (std::string key = key_of(path); !key.empty(); key = parent_key(key)) {
    directories_.insert(key);
  }
}

void MemoryFileSystem::add_file(const std::string& path,
                                const std::string& content) {
  files_[key_of(path)] = std::make_shared<std::string>(content);
}

void MemoryFileSystem::set_read_only(const std::string& path, bool read_only) {
  if (read_only) {
    read_only_.insert(key_of(path));
  } else {
    read_only_.erase(key_of(path));
  }
}

bool MemoryFileSystem::file_exists(const std::string& path) const {
  return files_.count(key_of(path)) != 0;
}

bool MemoryFileSystem::directory_exists(const std::string& path) const {
  return directories_.count(key_of(path)) != 0;
}

std::string MemoryFileSystem::file_content(const std::string& path) const {
  const auto found = files_.find(key_of(path));
  return found == files_.end() ? std::string() : *found->second;
}

std::vector<std::string> MemoryFileSystem::files_in(
    const std::string& folder) const {
  std::vector<std::string> names;
  const std::string key = key_of(folder);
  for (const auto& file : files_) {
    if (parent_key(file.first) == key) names.push_back(name_of(file.first));
  }
  return names;
}

std::vector<std::string> MemoryFileSystem::all_files() const {
  std::vector<std::string> paths;
  for (const auto& file : files_) paths.push_back(file.first);
  return paths;
}

bool MemoryFileSystem::set_error(std::uint32_t error) {
  last_error_ = error;
  return false;
}

bool MemoryFileSystem::parent_exists(const std::string& key) const {
  const std::string parent = parent_key(key);
  return parent.empty() || directories_.count(parent) != 0;
}

bool MemoryFileSystem::has_children(const std::string& key) const {
  const auto is_child = [&key](const std::string& other) {
    return parent_key(other) == key;
  };
  return std::any_of(directories_.begin(), directories_.end(), is_child) ||
         std::any_of(files_.begin(), files_.end(),
                     [&](const auto& file) { return is_child(file.first); });
}

// --- File calls -------------------------------------------------------------

bool MemoryFileSystem::create_directory(const std::string& path) {
  const std::string key = key_of(path);
  if (directories_.count(key) || files_.count(key)) {
    return set_error(fake_error::kAlreadyExists);
  }
  if (!parent_exists(key)) return set_error(fake_error::kPathNotFound);
  directories_.insert(key);
  return true;
}

bool MemoryFileSystem::set_current_directory(const std::string& path) {
  const std::string key = key_of(path);
  if (!directories_.count(key)) return set_error(fake_error::kFileNotFound);
  current_directory_ = key;
  return true;
}

std::unique_ptr<File> MemoryFileSystem::open_for_reading(
    const std::string& path) {
  const auto found = files_.find(key_of(path));
  if (found == files_.end()) {
    set_error(parent_exists(key_of(path)) ? fake_error::kFileNotFound
                                          : fake_error::kPathNotFound);
    return nullptr;
  }
  return std::make_unique<MemoryFile>(*this, found->second, false);
}

std::unique_ptr<File> MemoryFileSystem::create_for_writing(
    const std::string& path) {
  const std::string key = key_of(path);
  if (key.empty() || is_separator(path.back())) {
    set_error(fake_error::kInvalidName);  // a name that ends with a separator
    return nullptr;
  }
  if (!parent_exists(key)) {
    set_error(fake_error::kPathNotFound);
    return nullptr;
  }
  if (directories_.count(key) || read_only_.count(key)) {
    set_error(fake_error::kAccessDenied);
    return nullptr;
  }
  auto content = std::make_shared<std::string>();
  files_[key] = content;
  return std::make_unique<MemoryFile>(*this, content, true);
}

std::unique_ptr<File> MemoryFileSystem::open_for_appending(
    const std::string& path) {
  const auto found = files_.find(key_of(path));
  if (found == files_.end() || read_only_.count(found->first)) {
    return create_for_writing(path);
  }
  auto file = std::make_unique<MemoryFile>(*this, found->second, true);
  file->seek(0, File::Origin::kEnd);
  return file;
}

std::unique_ptr<DirectoryListing> MemoryFileSystem::list_directory(
    const std::string& pattern) {
  if (pattern.size() < 2 || pattern.back() != '*' ||
      !is_separator(pattern[pattern.size() - 2])) {
    set_error(fake_error::kInvalidName);
    return nullptr;
  }
  const std::string key = key_of(pattern.substr(0, pattern.size() - 1));
  if (!directories_.count(key)) {
    set_error(fake_error::kPathNotFound);
    return nullptr;
  }
  std::vector<DirectoryEntry> entries{{".", true, false}, {"..", true, false}};
  for (const std::string& folder : directories_) {
    if (parent_key(folder) == key) {
      entries.push_back({name_of(folder), true, false});
    }
  }
  for (const auto& file : files_) {
    if (parent_key(file.first) == key) {
      entries.push_back({name_of(file.first), false, false});
    }
  }
  return std::make_unique<MemoryListing>(std::move(entries), open_handles_);
}

bool MemoryFileSystem::delete_file(const std::string& path) {
  const std::string key = key_of(path);
  if (!files_.count(key)) return set_error(fake_error::kFileNotFound);
  if (read_only_.count(key)) return set_error(fake_error::kAccessDenied);
  files_.erase(key);
  return true;
}

bool MemoryFileSystem::remove_directory(const std::string& path) {
  const std::string key = key_of(path);
  if (!directories_.count(key)) return set_error(fake_error::kFileNotFound);
  if (has_children(key)) return set_error(fake_error::kDirNotEmpty);
  if (key == current_directory_) {
    return set_error(fake_error::kSharingViolation);
  }
  directories_.erase(key);
  return true;
}

std::string MemoryFileSystem::error_text(std::uint32_t code) {
  // The system's texts, as they read once their closing line break is gone.
  static const std::map<std::uint32_t, std::string> kTexts = {
      {fake_error::kFileNotFound, "The system cannot find the file specified."},
      {fake_error::kPathNotFound, "The system cannot find the path specified."},
      {fake_error::kAccessDenied, "Access is denied."},
      {fake_error::kInvalidHandle, "The handle is invalid."},
      {fake_error::kSharingViolation,
       "The process cannot access the file because it is being used by "
       "another process."},
      {fake_error::kDiskFull, "There is not enough space on the disk."},
      {fake_error::kInvalidName,
       "The filename, directory name, or volume label syntax is incorrect."},
      {fake_error::kNegativeSeek,
       "An attempt was made to move the file pointer before the beginning of "
       "the file."},
      {fake_error::kDirNotEmpty, "The directory is not empty."},
      {fake_error::kAlreadyExists,
       "Cannot create a file when that file already exists."},
  };
  const auto found = kTexts.find(code);
  return found == kTexts.end() ? std::string() : found->second;
}

}  // namespace vcboot
