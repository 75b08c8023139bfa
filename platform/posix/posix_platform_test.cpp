#include "platform/posix/posix_platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "tests/support/sample_package.h"
#include "tests/support/scoped_temp_dir.h"

namespace vcboot {
namespace {

namespace fs = std::filesystem;

// Runs `action` with standard error sent to a file, and returns what arrived.
template <typename Action>
std::string capture_stderr(Action action) {
  test_support::ScopedTempDir temp;
  const std::string path = (temp.path() / "stderr").string();
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(file, STDERR_FILENO);
  action();
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  ::close(file);
  return test_support::read_file(path);
}

TEST(PosixPlatform, MessageIsOneBlockOnStandardError) {
  PosixPlatform platform;
  const std::string out = capture_stderr(
      [&] { platform.show_message("Caption!", "line\r\nnext\rend\r"); });
  // A lone carriage return becomes a line feed, so that no line is written
  // over another.
  EXPECT_EQ(out, "Caption!\nline\r\nnext\nend\n\n\n");
}

// Sets an environment variable for its lifetime; null unsets it.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    set(value);
  }
  ~ScopedVariable() { set(saved_ ? saved_->c_str() : nullptr); }

 private:
  void set(const char* value) const {
    value ? ::setenv(name_, value, 1) : ::unsetenv(name_);
  }
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(PosixPlatform, SecondHolderOfTheMutexIsTurnedAway) {
  test_support::ScopedTempDir temp;
  fs::permissions(temp.path(), fs::perms::owner_all);
  const ScopedVariable runtime("XDG_RUNTIME_DIR", temp.path().c_str());
  PosixPlatform platform;
  const std::string name = "vcboot.test." + std::to_string(::getpid());
  EXPECT_EQ(platform.create_instance_mutex(name), MutexResult::kAcquired);
  EXPECT_EQ(platform.create_instance_mutex(name), MutexResult::kAlreadyExists);
  EXPECT_EQ(platform.create_instance_mutex(name + ".other"),
            MutexResult::kAcquired);

  // The kernel lets go when the holder dies, however it dies.
  const std::string held_by_child = name + ".child";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    const bool took = PosixPlatform().create_instance_mutex(held_by_child) ==
                      MutexResult::kAcquired;
    const char byte = took ? 'y' : 'n';
    if (::write(ready[1], &byte, 1) != 1) ::_exit(2);
    ::pause();
    ::_exit(1);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_EQ(byte, 'y');
  EXPECT_EQ(platform.create_instance_mutex(held_by_child),
            MutexResult::kAlreadyExists);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_EQ(platform.create_instance_mutex(held_by_child),
            MutexResult::kAcquired);
}

// The lock goes in the first of the user's private runtime folders, else in
// <shared>vcboot-<uid>, made 0700 if missing. A folder that anyone else
// could write to gives no guard at all rather than one another user could
// hold.
TEST(PosixPlatform, GuardIsKeptWhereOnlyTheUserCanWrite) {
  enum class Own { kMissing, kOpenToAll, kLink };  // <shared>vcboot-<uid>
  const struct {
    const char* what;
    bool runtime_set;
    Own own;
    bool guarded;  // else no guard at all
  } cases[] = {
      {"runtime folder", true, Own::kMissing, true},
      {"no runtime folder", false, Own::kMissing, true},
      {"own folder others may write to", false, Own::kOpenToAll, false},
      {"own folder is a link", false, Own::kLink, false},
  };
  for (const auto& c : cases) {
    test_support::ScopedTempDir temp;
    const fs::path run = temp.path() / "run", tmp = temp.path() / "tmp";
    const fs::path own = tmp / ("vcboot-" + std::to_string(::geteuid()));
    fs::create_directory(run);
    fs::permissions(run, fs::perms::owner_all);
    fs::create_directory(tmp);
    if (c.own == Own::kOpenToAll) {
      fs::create_directory(own);
      fs::permissions(own, fs::perms::all);
    }
    if (c.own == Own::kLink) fs::create_directory_symlink(run, own);
    const std::string folder =
        guard_folder({"", "relative/run", (temp.path() / "absent").string(),
                      c.runtime_set ? run.string() + "/" : ""},
                     temp.slashed() + "tmp/");
    if (!c.guarded) {
      EXPECT_EQ(folder, "") << c.what;
      continue;
    }
    EXPECT_EQ(folder, (c.runtime_set ? run : own).string()) << c.what;
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all,
              fs::perms::owner_all)
        << c.what;
  }
}

// Without a runtime folder the guard lives in one place per user, so runs
// started with different temporary directories still exclude each other.
TEST(PosixPlatform, GuardDoesNotDependOnTheTemporaryDirectory) {
  test_support::ScopedTempDir temp;
  const ScopedVariable runtime("XDG_RUNTIME_DIR", nullptr);
  const std::string name = "vcboot.test.tmpdir." + std::to_string(::getpid());
  PosixPlatform first;
  PosixPlatform second;
  {
    const ScopedVariable tmpdir("TMPDIR", temp.path().c_str());
    EXPECT_EQ(first.create_instance_mutex(name), MutexResult::kAcquired);
  }
  EXPECT_EQ(second.create_instance_mutex(name), MutexResult::kAlreadyExists);
  EXPECT_TRUE(fs::is_empty(temp.path()));
  const std::string uid = std::to_string(::geteuid());
  for (const std::string& folder : {"/run/user/" + uid, "/tmp/vcboot-" + uid}) {
    fs::remove(folder + "/" + name + ".lock");
  }
}

TEST(PosixPlatform, TempDirectoryComesFromTmpdir) {
  PosixPlatform platform;
  const ScopedVariable restore("TMPDIR", "/var/tmp");
  EXPECT_EQ(platform.temp_directory(), "/var/tmp/");
  ::setenv("TMPDIR", "/scratch/", 1);
  EXPECT_EQ(platform.temp_directory(), "/scratch/");
  ::setenv("TMPDIR", "", 1);
  EXPECT_EQ(platform.temp_directory(), "/tmp/");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(platform.temp_directory(), "/tmp/");
  ::setenv("TMPDIR", "relative/tmp", 1);
  EXPECT_EQ(platform.temp_directory(),
            fs::current_path().string() + "/relative/tmp/");
}

TEST(PosixPlatform, ErrorTextIsStrerrorUncut) {
  PosixPlatform platform;
  EXPECT_EQ(platform.system_error_text(ENOENT), "No such file or directory");
  EXPECT_EQ(platform.system_error_text(987654), "");
}

TEST(PosixPlatform, FailedCallLeavesItsErrorCode) {
  PosixPlatform platform;
  EXPECT_EQ(platform.open_for_reading("/nonexistent/vcboot/file"), nullptr);
  EXPECT_EQ(platform.last_error(), static_cast<std::uint32_t>(ENOENT));
}

// Creates `path` and writes `content` to it with one call, which must take
// all of it.
void write_in_one_call(PosixPlatform& platform, const std::string& path,
                       const std::string& content) {
  auto out = platform.create_for_writing(path);
  ASSERT_NE(out, nullptr);
  std::size_t done = 0;
  EXPECT_TRUE(out->write(content.data(), content.size(), &done));
  EXPECT_EQ(done, content.size());
}

TEST(PosixPlatform, FilesReadWriteAndSeekLikeTheWin32Calls) {
  test_support::ScopedTempDir temp;
  PosixPlatform platform;
  const std::string path = temp.slashed() + "data";
  write_in_one_call(platform, path, "0123456789");
  auto in = platform.open_for_reading(path);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->seek(0, File::Origin::kEnd), 10u);
  EXPECT_EQ(in->seek(-4, File::Origin::kCurrent), 6u);
  EXPECT_EQ(in->seek(-7, File::Origin::kCurrent), std::nullopt);
  char buffer[8] = {};
  std::size_t done = 0;
  EXPECT_TRUE(in->read(buffer, sizeof buffer, &done));
  EXPECT_EQ(std::string(buffer, done),
            "6789");  // stayed at 6, short at the end
}

TEST(PosixPlatform, OffsetsPastTwoGibibytesReachTheFile) {
  // A sparse file: only the seek matters, which a 32-bit off_t would cut.
  constexpr std::int64_t kFar = (std::int64_t{1} << 31) + 5;
  test_support::ScopedTempDir temp;
  PosixPlatform platform;
  const std::string path = temp.slashed() + "sparse";
  {
    auto out = platform.create_for_writing(path);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->seek(kFar, File::Origin::kBegin), std::uint64_t{kFar});
    std::size_t done = 0;
    ASSERT_TRUE(out->write("!", 1, &done));
  }
  auto in = platform.open_for_reading(path);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->seek(-1, File::Origin::kEnd), std::uint64_t{kFar});
  char byte = 0;
  std::size_t done = 0;
  EXPECT_TRUE(in->read(&byte, 1, &done));
  EXPECT_EQ(std::string(&byte, done), "!");
}

TEST(PosixPlatform, WriteOfManyPiecesArrivesWholeAndInOrder) {
  // Large writes go to the system in pieces; the file must not show where.
  const std::string content = test_support::filler_bytes((1 << 20) + 3, 11);
  test_support::ScopedTempDir temp;
  PosixPlatform platform;
  const std::string path = temp.slashed() + "large";
  write_in_one_call(platform, path, content);
  EXPECT_EQ(test_support::read_file(path), content);
}

TEST(PosixPlatform, PlantedLinkIsNotWrittenThrough) {
  test_support::ScopedTempDir temp;
  PosixPlatform platform;
  test_support::write_file(temp.path() / "target", "original");
  fs::create_symlink(temp.path() / "target", temp.path() / "Setup.exe");
  EXPECT_EQ(platform.create_for_writing(temp.slashed() + "Setup.exe"), nullptr);
  EXPECT_EQ(test_support::read_file(temp.path() / "target"), "original");
}

// The support log is appended to, private to the user when it is made, and
// never written through whatever someone else prepared under its name: a
// link, a second name of another file, a FIFO (which would block), a
// folder, or (as root) another user's file.
TEST(PosixPlatform, LogIsAppendedAndNothingPreparedIsWrittenThrough) {
  test_support::ScopedTempDir temp;
  PosixPlatform platform;
  const auto append = [&](const fs::path& path, const std::string& text) {
    const std::unique_ptr<File> log = platform.open_log(path.string());
    std::size_t done = 0;
    return log && log->write(text.data(), text.size(), &done) &&
           done == text.size();
  };
  const fs::path own = temp.path() / "own.log";
  ASSERT_TRUE(append(own, "one\n"));
  ASSERT_TRUE(append(own, "two\n"));
  EXPECT_EQ(test_support::read_file(own), "one\ntwo\n");
  EXPECT_EQ(fs::status(own).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  const fs::path target = temp.path() / "target";
  test_support::write_file(target, "original");
  fs::create_symlink(target, temp.path() / "link.log");
  fs::create_hard_link(target, temp.path() / "second-name.log");
  ASSERT_EQ(::mkfifo((temp.path() / "fifo.log").c_str(), 0600), 0);
  fs::create_directory(temp.path() / "folder.log");
  std::vector<std::string> refused = {"link.log", "second-name.log", "fifo.log",
                                      "folder.log"};
  if (::geteuid() == 0) {
    test_support::write_file(temp.path() / "others.log", "theirs");
    ASSERT_EQ(::chown((temp.path() / "others.log").c_str(), 12345, 12345), 0);
    refused.push_back("others.log");
  }
  for (const std::string& name : refused) {
    EXPECT_FALSE(append(temp.path() / name, "planted\n")) << name;
    EXPECT_NE(platform.last_error(), 0u) << name;
  }
  EXPECT_EQ(test_support::read_file(target), "original");
}

TEST(PosixPlatform, TextsForTheLogAreValidUtf8) {
  PosixPlatform platform;
  EXPECT_EQ(
      platform.to_utf8(
          "\xC3\xA4 \xF0\x9F\x98\x80 \xFF \xC0\xAF \xED\xA0\x80 \xE2\x82"),
      "\xC3\xA4 \xF0\x9F\x98\x80 \\xFF \\xC0\\xAF \\xED\\xA0\\x80 \\xE2\\x82");
  EXPECT_TRUE(platform.is_disk_full(ENOSPC));
  EXPECT_FALSE(platform.is_disk_full(EACCES));
}

// Whatever stands under the name is never taken over, and a folder is
// entered only while it is still the one that was made.
TEST(PosixPlatform, NewFolderIsMadeExclusivelyAndEnteredOnlyAsMade) {
  test_support::ScopedTempDir temp;
  PosixPlatform platform;
  const fs::path before = fs::current_path();
  const fs::path elsewhere = temp.path() / "elsewhere";
  fs::create_directory(elsewhere);
  const struct {
    const char* what;
    std::function<void(const fs::path&)> plant;  // before the folder is made
    std::function<void(const fs::path&)> swap;   // after, before it is entered
    NewDirectory made;
    bool entered;
  } cases[] = {
      {"free name", nullptr, nullptr, NewDirectory::kCreated, true},
      {"folder", [](const fs::path& p) { fs::create_directory(p); }, nullptr,
       NewDirectory::kExists, false},
      {"link", [&](const fs::path& p) { fs::create_symlink(elsewhere, p); },
       nullptr, NewDirectory::kExists, false},
      {"swapped for a link", nullptr,
       [&](const fs::path& p) {
         fs::remove(p);
         fs::create_symlink(elsewhere, p);
       },
       NewDirectory::kCreated, false},
      {"swapped for another folder", nullptr,
       [&](const fs::path& p) {
         fs::rename(p, p.string() + ".made");
         fs::create_directory(p);
       },
       NewDirectory::kCreated, false},
  };
  int n = 0;
  for (const auto& c : cases) {
    const fs::path folder = temp.path() / ("VC" + std::to_string(++n));
    if (c.plant) c.plant(folder);
    EXPECT_EQ(platform.create_new_directory(folder.string() + "/"), c.made)
        << c.what;
    if (c.made == NewDirectory::kCreated) {
      EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all,
                fs::perms::owner_all)
          << c.what;
    }
    if (c.swap) c.swap(folder);
    EXPECT_EQ(platform.enter_new_directory(folder.string() + "/"), c.entered)
        << c.what;
    EXPECT_EQ(fs::current_path(), c.entered ? folder : before) << c.what;
    fs::current_path(before);
  }
}

// A work folder is not made where someone else could rename it and put one
// of their own in its place: in a folder others may write to without the
// sticky bit, or another user's (root aside).
TEST(PosixPlatform, NoFolderIsMadeWhereOthersCouldReplaceIt) {
  const struct {
    fs::perms mode;
    bool another_owner;
    bool made;
  } cases[] = {
      {fs::perms::owner_all, false, true},
      {fs::perms::all | fs::perms::sticky_bit, false, true},
      {fs::perms::all, false, false},
      {fs::perms::owner_all | fs::perms::group_all, false, false},
      {fs::perms::owner_all, true, false},
  };
  test_support::ScopedTempDir temp;
  PosixPlatform platform;
  int n = 0;
  for (const auto& c : cases) {
    if (c.another_owner && ::geteuid() != 0) continue;  // needs root
    const fs::path parent = temp.path() / std::to_string(++n);
    fs::create_directory(parent);
    fs::permissions(parent, c.mode);
    if (c.another_owner) {
      ASSERT_EQ(::chown(parent.c_str(), 12345, 12345), 0);
    }
    EXPECT_EQ(platform.create_new_directory((parent / "VC1/").string()),
              c.made ? NewDirectory::kCreated : NewDirectory::kFailed)
        << n;
    EXPECT_EQ(fs::exists(parent / "VC1"), c.made) << n;
    if (!c.made) {
      EXPECT_EQ(platform.last_error(), static_cast<std::uint32_t>(EACCES));
    }
  }
}

TEST(PosixPlatform, FolderOfAnotherUserIsNotEntered) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "needs root to hand a folder to another user";
  test_support::ScopedTempDir temp;
  PosixPlatform platform;
  const fs::path planted = temp.path() / "VC1";
  fs::create_directory(planted);
  ASSERT_EQ(::chown(planted.c_str(), 12345, 12345), 0);
  const fs::path before = fs::current_path();
  EXPECT_FALSE(platform.set_current_directory(planted.string() + "/"));
  EXPECT_EQ(platform.last_error(), static_cast<std::uint32_t>(EACCES));
  EXPECT_EQ(fs::current_path(), before);
  EXPECT_TRUE(platform.set_current_directory(temp.slashed()));
  fs::current_path(before);
}

}  // namespace
}  // namespace vcboot

namespace vcboot {
namespace {

// A job that takes a while and notes the thread it ran on.
struct SlowJob {
  std::thread::id ran_on;
  int runs = 0;
  static void run(void* context) {
    auto* const job = static_cast<SlowJob*>(context);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    job->ran_on = std::this_thread::get_id();
    ++job->runs;
  }
};

// Each job runs on a thread of its own, wait returns only once it has ended,
// and the end of the worker waits for a job in hand.
TEST(PosixWorker, RunsEachJobOnItsThreadAndWaitsForIt) {
  PosixPlatform platform;
  std::unique_ptr<Worker> worker = platform.start_worker();
  ASSERT_TRUE(worker);
  SlowJob job;
  worker->wait();  // none in hand
  for (int run = 1; run <= 3; ++run) {
    worker->start(&SlowJob::run, &job);
    worker->wait();
    EXPECT_EQ(job.runs, run);
  }
  EXPECT_NE(job.ran_on, std::this_thread::get_id());
  worker->start(&SlowJob::run, &job);
  worker.reset();
  EXPECT_EQ(job.runs, 4);
}

}  // namespace
}  // namespace vcboot
