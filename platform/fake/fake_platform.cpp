#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <utility>

namespace vcboot {
namespace {

// The folder that holds the fake's own program, its first current directory.
constexpr char kModuleFolder[] = "C:\\Users\\tester\\Downloads";

// Runs each job as it is started.
class InlineWorker final : public Worker {
 public:
  void start(void (*job)(void*), void* context) override { job(context); }
  void wait() override {}
};

}  // namespace

// --- Open objects ---------------------------------------------------------

// A file of the file system behind the scripted faults: each call is logged
// and may be made to fail, and writes stop at the write capacity.
class FakePlatform::ScriptedFile : public File {
 public:
  ScriptedFile(FakePlatform& platform, std::unique_ptr<File> file)
      : platform_(platform), file_(std::move(file)) {}

  std::optional<std::uint64_t> seek(std::int64_t distance,
                                    Origin origin) override {
    if (platform_.should_fail(FakeCall::kSeek, "seek")) return std::nullopt;
    return file_->seek(distance, origin);
  }

  bool read(void* buffer, std::size_t size, std::size_t* done) override {
    *done = 0;
    if (platform_.should_fail(FakeCall::kRead, "read")) return false;
    if (platform_.short_read_after_ >= 0 &&
        platform_.short_read_after_-- == 0) {
      size /= 2;
    }
    return file_->read(buffer, size, done);
  }

  bool write(const void* data, std::size_t size, std::size_t* done) override {
    *done = 0;
    if (platform_.should_fail(FakeCall::kWrite, "write")) return false;
    const std::size_t room = static_cast<std::size_t>(
        std::min<std::uint64_t>(size, platform_.write_capacity_));
    if (!file_->write(data, room, done)) return false;
    platform_.write_capacity_ -= *done;
    return *done == size || platform_.files_.set_error(fake_error::kDiskFull);
  }

 private:
  FakePlatform& platform_;
  std::unique_ptr<File> file_;
};

class FakePlatform::FakeProcess : public Process {
 public:
  FakeProcess(FakePlatform& platform, ProcessScript script, std::string file)
      : platform_(platform),
        open_processes_(platform.open_processes_),
        script_(script),
        file_(std::move(file)),
        id_(static_cast<std::uint32_t>(5000 + platform.launches_.size())) {
    if (script_.has_handle) ++*open_processes_;
  }
  ~FakeProcess() override {
    if (!script_.has_handle) return;
    --*open_processes_;
    if (platform_.keep_log_) {
      platform_.log_.push_back("close_process " + file_);
    }
  }

  bool wait() override {
    if (platform_.should_fail(FakeCall::kWait, "wait")) return false;
    if (!script_.has_handle || !script_.wait_succeeds) {
      return platform_.files_.set_error(fake_error::kInvalidHandle);
    }
    return true;
  }

  std::optional<std::uint32_t> exit_code() override {
    if (platform_.should_fail(FakeCall::kExitCode, "exit_code") ||
        !script_.has_handle) {
      return std::nullopt;
    }
    return script_.exit_code;
  }

  // 5000 + the number of starts so far: 5001, 5002, ...
  std::uint32_t id() override { return script_.has_handle ? id_ : 0; }

 private:
  FakePlatform& platform_;
  std::shared_ptr<int> open_processes_;
  ProcessScript script_;
  std::string file_;
  std::uint32_t id_;
};

// --- Set-up and scripted faults -------------------------------------------

FakePlatform::FakePlatform() {
  files_.add_directory(temp_directory_);
  files_.add_directory(kModuleFolder);
  files_.set_current_directory(kModuleFolder);
}

FakePlatform::~FakePlatform() = default;

void FakePlatform::fail(FakeCall call, std::uint32_t error, int successes) {
  failures_[call] = Failure{error, successes};
}

bool FakePlatform::should_fail(FakeCall call, const std::string& log_entry) {
  if (keep_log_) log_.push_back(log_entry);
  if (stop_on_ && stop_on_->call == call && stop_signal_ == 0) {
    stop_signal_ = stop_on_->signal;
  }
  const auto found = failures_.find(call);
  if (found == failures_.end()) return false;
  if (found->second.successes_left > 0) {
    --found->second.successes_left;
    return false;
  }
  return !files_.set_error(found->second.error);
}

std::unique_ptr<File> FakePlatform::scripted(std::unique_ptr<File> file) {
  if (!file) return nullptr;
  return std::make_unique<ScriptedFile>(*this, std::move(file));
}

// --- Platform ---------------------------------------------------------------

void FakePlatform::show_message(const std::string& caption,
                                const std::string& text) {
  if (keep_log_) log_.push_back("show_message " + caption);
  messages_.push_back(Message{caption, text});
}

std::optional<std::string> FakePlatform::environment_variable(
    const std::string& name) {
  const auto found = environment_.find(name);
  if (found == environment_.end()) return std::nullopt;
  return found->second;
}

std::unique_ptr<File> FakePlatform::open_log(const std::string& path) {
  if (should_fail(FakeCall::kOpenLog, "open_log " + path)) return nullptr;
  return files_.open_for_appending(path);
}

std::string FakePlatform::to_utf8(const std::string& text) {
  std::string utf8;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (byte >> 6));
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

MutexResult FakePlatform::create_instance_mutex(const std::string& name) {
  if (should_fail(FakeCall::kCreateMutex, "create_instance_mutex " + name)) {
    return MutexResult::kUnavailable;
  }
  if (mutex_held_elsewhere_) {
    files_.set_error(fake_error::kAlreadyExists);
    return MutexResult::kAlreadyExists;
  }
  return MutexResult::kAcquired;
}

std::string FakePlatform::temp_directory() {
  if (should_fail(FakeCall::kTempDirectory, "temp_directory")) return "";
  return temp_directory_;
}

bool FakePlatform::create_directory(const std::string& path) {
  return !should_fail(FakeCall::kCreateDirectory, "create_directory " + path) &&
         files_.create_directory(path);
}

bool FakePlatform::set_current_directory(const std::string& path) {
  return !should_fail(FakeCall::kSetCurrentDirectory,
                      "set_current_directory " + path) &&
         files_.set_current_directory(path);
}

NewDirectory FakePlatform::create_new_directory(const std::string& path) {
  if (!should_fail(FakeCall::kCreateDirectory,
                   "create_new_directory " + path) &&
      files_.create_directory(path)) {
    return NewDirectory::kCreated;
  }
  return files_.last_error() == fake_error::kAlreadyExists
             ? NewDirectory::kExists
             : NewDirectory::kFailed;
}

bool FakePlatform::enter_new_directory(const std::string& path) {
  return !should_fail(FakeCall::kSetCurrentDirectory,
                      "enter_new_directory " + path) &&
         files_.set_current_directory(path);
}

std::string FakePlatform::module_path() {
  if (should_fail(FakeCall::kModulePath, "module_path")) return "";
  return module_path_;
}

std::unique_ptr<File> FakePlatform::open_for_reading(const std::string& path) {
  if (should_fail(FakeCall::kOpenForReading, "open_for_reading " + path)) {
    return nullptr;
  }
  return scripted(files_.open_for_reading(path));
}

std::unique_ptr<File> FakePlatform::create_for_writing(
    const std::string& path) {
  if (should_fail(FakeCall::kCreateForWriting, "create_for_writing " + path)) {
    return nullptr;
  }
  return scripted(files_.create_for_writing(path));
}

std::unique_ptr<DirectoryListing> FakePlatform::list_directory(
    const std::string& pattern) {
  if (should_fail(FakeCall::kListDirectory, "list_directory " + pattern)) {
    return nullptr;
  }
  return files_.list_directory(pattern);
}

bool FakePlatform::random_bytes(void* buffer, std::size_t size) {
  if (should_fail(FakeCall::kRandomBytes, "random_bytes")) return false;
  auto* bytes = static_cast<unsigned char*>(buffer);
  for (std::size_t i = 0; i < size; ++i) {
    random_state_ = random_state_ * 1103515245u + 12345u;
    bytes[i] = static_cast<unsigned char>(random_state_ >> 16);
  }
  return true;
}

bool FakePlatform::delete_file(const std::string& path) {
  return !should_fail(FakeCall::kDeleteFile, "delete_file " + path) &&
         files_.delete_file(path);
}

bool FakePlatform::remove_directory(const std::string& path) {
  return !should_fail(FakeCall::kRemoveDirectory, "remove_directory " + path) &&
         files_.remove_directory(path);
}

std::unique_ptr<Process> FakePlatform::start_program(
    const LaunchRequest& request) {
  launches_.push_back(Launch{request, files_.current_directory()});
  if (should_fail(FakeCall::kStartProgram, "start_program " + request.file) ||
      stop_signal_ != 0) {
    return nullptr;
  }
  const ProcessScript script =
      launch_script_ ? launch_script_(request) : ProcessScript{};
  if (!script.started) {
    files_.set_error(fake_error::kFileNotFound);
    return nullptr;
  }
  return std::make_unique<FakeProcess>(*this, script, request.file);
}

void FakePlatform::catch_stop_signals() {
  if (keep_log_) log_.push_back("catch_stop_signals");
}

std::unique_ptr<Worker> FakePlatform::start_worker() {
  return std::make_unique<InlineWorker>();
}

}  // namespace vcboot
