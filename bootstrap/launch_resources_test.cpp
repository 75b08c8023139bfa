// Every way out of the launch releases the process handles it took, an
// exception included that leaves while the installer's handle is held:
// counted as the fake's open handles, and for the native backend as the
// process's open descriptors and its children left unreaped, with the launch
// probe as a real installer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <sstream>
#include <string>

#include "bootstrap/launch.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/allocation_meter.h"
#include "tests/support/scoped_temp_dir.h"

namespace vcboot {
namespace {

namespace fs = std::filesystem;

enum class WayOut { kSuccess, kFailedStart, kOutOfMemoryForPost };

// A "post" value that cannot be expanded under the allocation limit, while
// the installer has ended and its handle is still held.
constexpr std::size_t kLargeValue = 64 * 1024;
constexpr std::size_t kAllocationLimit = kLargeValue / 2;

// The variables of an extracted archive whose installer is "setup" in the
// work folder and whose post program is `post`.
void define_launch(RunState& state, WayOut way, const std::string& post) {
  state.variables.insert_if_absent(
      "executable", way == WayOut::kFailedStart ? "missing" : "setup");
  state.variables.insert_if_absent("parameters", "/quiet");
  state.variables.insert_if_absent("large", std::string(kLargeValue, 'x'));
  state.variables.insert_if_absent(
      "post", way == WayOut::kOutOfMemoryForPost ? "%large%" : post);
}

// Launches; memory runs out only where it is made to.
void launch(Platform& platform, RunState& state, WayOut way) {
  if (way != WayOut::kOutOfMemoryForPost) {
    launch_installer(platform, state);
    return;
  }
  test_support::AllocationMeter meter(kAllocationLimit);
  EXPECT_THROW(launch_installer(platform, state), std::bad_alloc);
  EXPECT_GT(meter.refused(), 0u);
}

// How many programs a way out starts: none, the installer, or both.
std::size_t started_programs(WayOut way) {
  if (way == WayOut::kFailedStart) return 0;
  return way == WayOut::kSuccess ? 2 : 1;
}

class LaunchResources : public ::testing::TestWithParam<WayOut> {};

TEST_P(LaunchResources, FakeHandlesAreAllClosed) {
  const std::string work = "C:\\Temp\\VC1\\";
  FakePlatform platform;
  platform.add_directory(work);
  platform.add_file(work + "setup", "MZ");
  platform.add_file(work + "post.exe", "MZ");
  platform.on_start([&](const LaunchRequest& request) {
    FakePlatform::ProcessScript script;
    script.started = platform.file_exists(request.file) ||
                     platform.file_exists(work + request.file);
    return script;
  });
  RunState state;
  state.work_folder = work;
  define_launch(state, GetParam(), "post.exe");
  launch(platform, state, GetParam());
  EXPECT_EQ(platform.open_handles(), 0);
  std::size_t started = 0;
  for (const std::string& entry : platform.log()) {
    if (entry.rfind("close_process ", 0) == 0) ++started;
  }
  EXPECT_EQ(started, started_programs(GetParam()));
}

std::ptrdiff_t open_descriptors() {
  return std::distance(fs::directory_iterator("/proc/self/fd"),
                       fs::directory_iterator());
}

// Children of this process that have ended and were never waited for: what
// an unreleased process handle leaves behind on POSIX.
int unreaped_children() {
  const std::string self = fs::read_symlink("/proc/self").string();
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // "pid (name) state ppid ...": the name may hold blanks and parentheses.
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    std::string state;
    std::string parent;
    rest >> state >> parent;
    if (state == "Z" && parent == self) ++count;
  }
  return count;
}

TEST_P(LaunchResources, NativeDescriptorsAreAllClosed) {
  test_support::ScopedTempDir temp;
  const fs::path work = temp.path() / "work";
  fs::create_directory(work);
  fs::copy_file(LAUNCH_PROBE, work / "setup");
  RunState state;
  state.work_folder = work.string() + native_platform().path_separator();
  define_launch(state, GetParam(), LAUNCH_PROBE);
  const std::ptrdiff_t before = open_descriptors();
  const int unreaped_before = unreaped_children();
  launch(native_platform(), state, GetParam());
  EXPECT_EQ(open_descriptors(), before);
  EXPECT_EQ(unreaped_children(), unreaped_before);
}

std::string way_out_name(const ::testing::TestParamInfo<WayOut>& way) {
  static const char* const kNames[] = {"Success", "FailedStart",
                                       "OutOfMemoryForPost"};
  return kNames[static_cast<int>(way.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryWayOut, LaunchResources,
                         ::testing::Values(WayOut::kSuccess,
                                           WayOut::kFailedStart,
                                           WayOut::kOutOfMemoryForPost),
                         way_out_name);

}  // namespace
}  // namespace vcboot
