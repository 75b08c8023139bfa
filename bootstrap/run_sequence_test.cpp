#include "bootstrap/run_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <new>
#include <set>
#include <stdexcept>

#include "archive/chunk_stream.h"
#include "archive/chunk_writer.h"
#include "bootstrap/settings_writer.h"
#include "platform/fake/fake_platform.h"
#include "tests/support/allocation_meter.h"
#include "tests/support/invalid_archive_message.h"
#include "tests/support/sample_package.h"
#include "variables/expand_variables.h"

namespace vcboot {
namespace {

using Message = FakePlatform::Message;

const Message kInvalidArchive{test_support::kInvalidArchiveCaption,
                              test_support::kInvalidArchiveText};
// The fake's own module path holds no file unless a test puts one there.
constexpr char kModulePath[] = "C:\\Users\\tester\\Downloads\\setup.exe";
const Message kNoArchive{"Failed to open archive!",
                         std::string("File: ") + kModulePath +
                             "\rError: The system cannot find the file "
                             "specified."};
constexpr char kTemp[] = "C:\\Users\\tester\\Temp\\";

bool logged(const FakePlatform& platform, const std::string& prefix) {
  return std::any_of(
      platform.log().begin(), platform.log().end(),
      [&](const std::string& entry) { return entry.rfind(prefix, 0) == 0; });
}

std::size_t position_in_log(const FakePlatform& platform,
                            const std::string& entry) {
  const auto& log = platform.log();
  return static_cast<std::size_t>(std::find(log.begin(), log.end(), entry) -
                                  log.begin());
}

TEST(RunSequence, SecondInstanceLeavesNoTrace) {
  FakePlatform platform;
  platform.hold_mutex_elsewhere();
  RunState state;
  EXPECT_EQ(run_installation(platform, state, ""), 1);
  ASSERT_EQ(platform.messages().size(), 1u);
  EXPECT_EQ(platform.messages()[0],
            (Message{"Already Running",
                     "Another installation is already running or in the "
                     "process of starting up.\nPlease wait until the other "
                     "installation has completed before trying again."}));
  EXPECT_FALSE(logged(platform, "create_directory"));
  EXPECT_FALSE(logged(platform, "temp_directory"));
  EXPECT_EQ(platform.log().at(1),
            "create_instance_mutex Vellumcrest.Installation");
}

TEST(RunSequence, MissingMutexIsNoReasonToStop) {
  FakePlatform platform;
  platform.fail(FakeCall::kCreateMutex, 5);
  RunState state;
  EXPECT_EQ(run_installation(platform, state, ""), 0);
  EXPECT_EQ(platform.messages(),
            (std::vector<Message>{kNoArchive, kInvalidArchive}));
}

TEST(RunSequence, WorkFolderIsMadeUnderTempAndRemovedAtTheEnd) {
  FakePlatform platform;
  platform.set_time(1700000000);
  RunState state;
  EXPECT_EQ(run_installation(platform, state, "/quiet"), 0);
  const std::string work = std::string(kTemp) + "VC1700000000\\";
  EXPECT_EQ(state.work_folder, work);
  EXPECT_TRUE(logged(platform, "create_directory " + std::string(kTemp)));
  EXPECT_TRUE(logged(platform, "enter_new_directory " + work));
  EXPECT_FALSE(platform.directory_exists(work));
  EXPECT_EQ(platform.messages(),
            (std::vector<Message>{kNoArchive, kInvalidArchive}));
}

TEST(RunSequence, CleanupStepsOutOfTheWorkFolderBeforeRemovingIt) {
  FakePlatform platform;
  platform.set_time(42);
  RunState state;
  run_installation(platform, state, "");
  const std::size_t leave =
      position_in_log(platform, "set_current_directory " + std::string(kTemp));
  const std::size_t remove = position_in_log(
      platform, "remove_directory " + std::string(kTemp) + "VC42\\");
  EXPECT_LT(leave, remove);
  EXPECT_LT(remove, platform.log().size());
  EXPECT_FALSE(platform.directory_exists(std::string(kTemp) + "VC42"));
}

TEST(RunSequence, RemovalIsTriedEvenWhenLeavingTheFolderFails) {
  FakePlatform platform;
  platform.set_time(42);
  platform.fail(FakeCall::kSetCurrentDirectory, 2, /*successes=*/1);
  RunState state;
  EXPECT_EQ(run_installation(platform, state, ""), 0);
  EXPECT_TRUE(
      logged(platform, "list_directory " + std::string(kTemp) + "VC42\\*"));
  // Still the current directory, so the folder itself stays, as on Windows.
  EXPECT_TRUE(platform.directory_exists(std::string(kTemp) + "VC42"));
}

TEST(RunSequence, MissingTempDirectoryFallsBackToCTemp) {
  FakePlatform platform;
  platform.set_time(7);
  platform.fail(FakeCall::kTempDirectory, 0);
  platform.add_directory("C:\\");
  RunState state;
  EXPECT_EQ(run_installation(platform, state, ""), 0);
  ASSERT_EQ(platform.messages().size(), 3u);
  EXPECT_EQ(
      platform.messages()[0],
      (Message{"GetTempPath failed", "Unable to get Temporary Directory"}));
  EXPECT_EQ(state.work_folder, "C:\\Temp\\VC7\\");
  EXPECT_TRUE(platform.directory_exists("C:\\Temp"));
}

TEST(RunSequence, WorkFolderThatCannotBeEnteredEndsWithOne) {
  FakePlatform platform;
  platform.fail(FakeCall::kSetCurrentDirectory, 5);
  RunState state;
  EXPECT_EQ(run_installation(platform, state, ""), 1);
  EXPECT_EQ(platform.messages(),
            (std::vector<Message>{{"SetCurrentDirectory failed",
                                   "Unable to set Working Directory"}}));
  EXPECT_EQ(state.variables.size(), 0u);
}

// Whether `name` is "VC", six letters or digits and a backslash.
bool is_unforeseeable_name(const std::string& name) {
  return name.size() == 9 && name.rfind("VC", 0) == 0 && name[8] == '\\' &&
         std::all_of(name.begin() + 2, name.end() - 1, [](char c) {
           return std::isalnum(static_cast<unsigned char>(c)) != 0;
         });
}

// Whatever stands under a work folder's name is left alone: the run takes the
// next free number, and after 100 names one that nobody could foresee; it
// gives up on any other failure.
TEST(RunSequence, WorkFolderIsAlwaysANewFolder) {
  const std::string temp = kTemp;
  const struct {
    const char* what;
    int planted_folders;      // VC100, VC101, ... each holding a file
    bool create_fails;        // with "access denied", not "exists"
    bool no_random_numbers;   // the system has no source of them
    const char* work_folder;  // none: the run ends with 1; "?": unforeseeable
    int names_tried;
  } cases[] = {
      {"two names taken", 2, false, false, "VC102\\", 3},
      {"every numbered name taken", 100, false, false, "?", 101},
      {"no random numbers either", 100, false, true, nullptr, 100},
      {"folder cannot be made", 0, true, false, nullptr, 1},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.set_time(100);
    for (int i = 0; i < c.planted_folders; ++i) {
      const std::string planted = temp + "VC" + std::to_string(100 + i);
      platform.add_directory(planted);
      platform.add_file(planted + "\\planted.txt", "someone else's");
    }
    if (c.create_fails) {
      platform.fail(FakeCall::kCreateDirectory, fake_error::kAccessDenied, 1);
    }
    if (c.no_random_numbers) {
      platform.fail(FakeCall::kRandomBytes, fake_error::kAccessDenied);
    }
    RunState state;
    const int exit_code = run_installation(platform, state, "");
    const auto tried =
        std::count_if(platform.log().begin(), platform.log().end(),
                      [](const std::string& entry) {
                        return entry.rfind("create_new_directory ", 0) == 0;
                      });
    EXPECT_EQ(tried, c.names_tried) << c.what;
    if (c.work_folder) {
      EXPECT_EQ(exit_code, 0) << c.what;
      const std::string name = state.work_folder.substr(temp.size());
      if (std::string(c.work_folder) == "?") {
        EXPECT_TRUE(is_unforeseeable_name(name)) << name;
      } else {
        EXPECT_EQ(name, c.work_folder) << c.what;
      }
      EXPECT_FALSE(platform.directory_exists(state.work_folder)) << c.what;
    } else {
      EXPECT_EQ(exit_code, 1) << c.what;
      EXPECT_EQ(platform.messages(),
                (std::vector<Message>{{"SetCurrentDirectory failed",
                                       "Unable to set Working Directory"}}))
          << c.what;
    }
    EXPECT_EQ(platform.all_files().size(),
              static_cast<std::size_t>(c.planted_folders))
        << c.what;
  }
}

TEST(RunSequence, ClockPast2038GivesANegativeFolderNumber) {
  FakePlatform platform;
  platform.set_time(INT64_C(0x80000000));
  RunState state;
  run_installation(platform, state, "");
  EXPECT_EQ(state.work_folder, std::string(kTemp) + "VC-2147483648\\");
  platform.set_time(INT64_C(0x1FFFFFFFF));  // only the low 32 bits count
  RunState later;
  run_installation(platform, later, "");
  EXPECT_EQ(later.work_folder, std::string(kTemp) + "VC-1\\");
}

TEST(RunSequence, SourceAndCommandLineAreSeeded) {
  FakePlatform platform;
  platform.set_time(99);
  RunState state;
  run_installation(platform, state, "a  \"b c\"");
  EXPECT_EQ(*state.variables.find("source"), std::string(kTemp) + "VC99");
  EXPECT_EQ(*state.variables.find("commandline"), "a  \"b c\"");
}

TEST(RunSequence, OwnFileIsExtractedIntoTheWorkFolder) {
  FakePlatform platform;
  platform.set_time(3);
  const test_support::SamplePackage sample =
      test_support::make_sample_package();
  platform.add_file(kModulePath, sample.bytes);
  RunState state;
  run_installation(platform, state, "");
  EXPECT_TRUE(platform.messages().empty());
  EXPECT_EQ(platform.launches().size(), 2u);
  EXPECT_EQ(*state.variables.find("installer"), "Setup.exe");
  EXPECT_TRUE(logged(
      platform, "create_for_writing " + std::string(kTemp) + "VC3\\Setup.exe"));
  EXPECT_FALSE(platform.directory_exists(std::string(kTemp) + "VC3"));
}

// A package with the given values and no files (but "readme.txt" when
// `with_file`, read last), on the fake's module path.
void add_package(FakePlatform& platform,
                 const std::vector<std::pair<std::string, std::string>>& values,
                 bool with_file = false) {
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_stub(test_support::make_pe_image(1024), "setup.exe");
  if (with_file) writer.add_file("", "readme.txt", "read me first");
  for (const auto& [name, value] : values) writer.add_value(name, value);
  writer.add_tail();
  platform.add_file(kModulePath, sink.bytes());
}

TEST(RunSequence, SeededVariablesOutrankTheArchive) {
  FakePlatform platform;
  platform.set_time(3);
  add_package(platform, {{"source", "from the archive"},
                         {"commandline", "from the archive"}});
  RunState state;
  run_installation(platform, state, "/quiet");
  EXPECT_EQ(*state.variables.find("source"), std::string(kTemp) + "VC3");
  EXPECT_EQ(*state.variables.find("commandline"), "/quiet");
}

// The error is the one that kept the path from being told, not that of an
// attempt to open no file.
TEST(RunSequence, UnknownModulePathIsAnArchiveThatCannotBeOpened) {
  FakePlatform platform;
  platform.fail(FakeCall::kModulePath, fake_error::kAccessDenied);
  RunState state;
  EXPECT_EQ(run_installation(platform, state, ""), 0);
  EXPECT_EQ(platform.messages(),
            (std::vector<Message>{
                {"Failed to open archive!", "File: \rError: Access is denied."},
                kInvalidArchive}));
  EXPECT_FALSE(logged(platform, "open_for_reading"));
}

TEST(RunSequence, CompleteArchiveStartsTheInstallerThenCleansUp) {
  FakePlatform platform;
  platform.set_time(8);
  const std::string work = std::string(kTemp) + "VC8\\";
  // Nothing binds "exitcode", so its reference stays as written.
  add_package(platform, {{"executable", "setup.exe"},
                         {"parameters", "/log %exitcode%"},
                         {"post", "after.exe"}});
  bool work_folder_there_for_post = false;
  platform.on_start([&](const LaunchRequest& request) {
    if (request.file == "after.exe") {
      work_folder_there_for_post = platform.directory_exists(work);
    }
    return FakePlatform::ProcessScript{};
  });
  RunState state;
  EXPECT_EQ(run_installation(platform, state, ""), 0);
  ASSERT_EQ(platform.launches().size(), 2u);
  EXPECT_EQ(platform.launches()[0].request.file, work + "setup.exe");
  EXPECT_EQ(platform.launches()[0].request.parameters, "/log %exitcode%");
  EXPECT_TRUE(work_folder_there_for_post);
  EXPECT_TRUE(platform.messages().empty());
  EXPECT_FALSE(platform.directory_exists(work));
  EXPECT_LT(position_in_log(platform, "close_process " + work + "setup.exe"),
            position_in_log(platform, "remove_directory " + work));
}

TEST(RunSequence, FailedLaunchIsToldThenCleanedUpWithExitZero) {
  FakePlatform platform;
  platform.set_time(9);
  add_package(platform, {{"executable", "setup.exe"}});
  platform.fail(FakeCall::kStartProgram, 2);
  RunState state;
  EXPECT_EQ(run_installation(platform, state, ""), 0);
  EXPECT_EQ(platform.messages(),
            (std::vector<Message>{
                {"ShellExecuteEx failed", "Unable to spawn process"}}));
  EXPECT_FALSE(platform.directory_exists(std::string(kTemp) + "VC9"));
}

// A suite that carries another package as a file, cut short right behind
// it: the tail scan finds the carried package's tail chunk, and its walk
// ends at the carried package's stub record.
std::string suite_cut_behind_carried_package() {
  StringSink carried_sink;
  ChunkWriter carried(carried_sink);
  carried.add_stub(test_support::make_pe_image(2048), "prerequisite.exe");
  carried.add_file("installer", "Setup.exe", "MZ");
  carried.add_value("executable", "%installer%");
  carried.add_tail();
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_stub(test_support::make_pe_image(1024), "suite.exe");
  writer.add_chunk(carried_sink.bytes());
  return sink.bytes().substr(0, static_cast<std::size_t>(writer.size() - 20));
}

// Only a complete extraction starts the installer. Damage sends the user for
// a whole copy, told by the extraction and then by the run; a file that
// could not be written is told once, with its own message.
TEST(RunSequence, IncompleteArchiveStartsNothing) {
  enum class Fault {
    kMissing,
    kMismatch,
    kBadLength,
    kRefusedName,
    kDiskFull,
    kCutBehindACarriedPackage
  };
  const std::string work = std::string(kTemp) + "VC1\\";
  const auto cannot_extract = [&](const std::string& name,
                                  const std::string& error) {
    return Message{"Failed to extract file!",
                   "File: " + work + name + "\rError: " + error};
  };
  const struct {
    Fault fault;
    std::vector<Message> boxes;
  } cases[] = {
      {Fault::kMissing, {kNoArchive, kInvalidArchive}},
      {Fault::kMismatch, {kInvalidArchive, kInvalidArchive}},
      {Fault::kBadLength, {kInvalidArchive, kInvalidArchive}},
      {Fault::kRefusedName,
       {cannot_extract("Setup.exe.",
                       "The filename, directory name, or volume "
                       "label syntax is incorrect.")}},
      {Fault::kDiskFull,
       {cannot_extract("readme.txt",
                       "There is not enough space on the disk.")}},
      {Fault::kCutBehindACarriedPackage, {kInvalidArchive, kInvalidArchive}},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.set_time(1);
    StringSink sink;
    ChunkWriter writer(sink);
    writer.add_stub(test_support::make_pe_image(1024), "setup.exe");
    // Read last, after the installer and the values that start it.
    writer.add_chunk(std::string(100, 'r'));
    const auto length_at = static_cast<std::size_t>(writer.size()) - 20;
    writer.add_chunk(c.fault == Fault::kRefusedName ? "Setup.exe."
                                                    : "readme.txt");
    writer.add_chunk("");
    writer.add_chunk("file");
    writer.add_file("installer", "Setup.exe", "MZ");
    writer.add_value("executable", "%installer%");
    writer.add_tail();
    std::string bytes = sink.bytes();
    if (c.fault == Fault::kMismatch) bytes[length_at - 50] ^= 1;
    if (c.fault == Fault::kBadLength) {
      bytes.replace(length_at, 4, "\xFF\xFF\xFF\x7F");
    }
    if (c.fault == Fault::kDiskFull) platform.set_write_capacity(50);
    if (c.fault == Fault::kCutBehindACarriedPackage) {
      bytes = suite_cut_behind_carried_package();
    }
    if (c.fault != Fault::kMissing) platform.add_file(kModulePath, bytes);
    RunState state;
    EXPECT_EQ(run_installation(platform, state, ""), 0);
    EXPECT_EQ(platform.messages(), c.boxes) << static_cast<int>(c.fault);
    EXPECT_TRUE(platform.launches().empty()) << static_cast<int>(c.fault);
    EXPECT_FALSE(platform.directory_exists(work)) << static_cast<int>(c.fault);
    if (c.fault == Fault::kMissing) {
      EXPECT_EQ(state.variables.find("executable"), nullptr);
    }
  }
}

// The exit code is the package's choice: its installer's, its post
// program's, or by default 0; 1603 for what went wrong before the installer
// ended. Only under "post" is the post program's exit code read.
TEST(RunSequence, ExitCodeIsThePackagesChoice) {
  enum class Trouble { kNone, kNoStart, kNoWait, kDamaged, kThrows };
  const struct {
    const char* value;  // of "exitcode"; null: no such record
    Trouble trouble;
    std::uint32_t installer_code;
    bool with_post;  // "after.exe", which ends with 7
    int expected;
    long exit_code_reads;
  } cases[] = {
      {nullptr, Trouble::kNone, 3010, true, 0, 1},
      {"installer", Trouble::kNone, 3010, true, 3010, 1},
      {"installer", Trouble::kNone, 0xFFFFFFFF, false, -1, 1},
      {"post", Trouble::kNone, 3010, true, 7, 2},
      {"post", Trouble::kNone, 3010, false, 3010, 1},
      {"%how%", Trouble::kNone, 3010, false, 3010, 1},
      {"Installer", Trouble::kNone, 3010, false, 0, 1},
      {"installer", Trouble::kNoStart, 0, false, 1603, 0},
      {"installer", Trouble::kNoWait, 0, false, 1603, 0},
      {"installer", Trouble::kDamaged, 0, false, 1603, 0},
      {"installer", Trouble::kThrows, 0, false, 1603, 0},
  };
  for (const auto& c : cases) {
    const std::string what = std::string(c.value ? c.value : "no record") +
                             " " + std::to_string(static_cast<int>(c.trouble));
    FakePlatform platform;
    // "executable" is nearer the start than the choice, so read after it.
    std::vector<std::pair<std::string, std::string>> values = {
        {"executable", "install.exe"}, {"how", "installer"}};
    if (c.value) values.emplace_back("exitcode", c.value);
    if (c.with_post) values.emplace_back("post", "after.exe");
    add_package(platform, values);
    if (c.trouble == Trouble::kDamaged) {
      std::string bytes = platform.file_content(kModulePath);
      bytes[bytes.find("install.exe")] ^= 1;
      platform.add_file(kModulePath, bytes);
    }
    if (c.trouble == Trouble::kNoStart) {
      platform.fail(FakeCall::kStartProgram, fake_error::kFileNotFound);
    }
    if (c.trouble == Trouble::kNoWait) {
      platform.fail(FakeCall::kWait, fake_error::kInvalidHandle);
    }
    platform.on_start([&](const LaunchRequest& request) {
      if (c.trouble == Trouble::kThrows) throw std::runtime_error("lost");
      FakePlatform::ProcessScript script;
      script.exit_code = request.file == "after.exe" ? 7 : c.installer_code;
      return script;
    });
    RunState state;
    EXPECT_EQ(run_installation(platform, state, ""), c.expected) << what;
    EXPECT_EQ(
        std::count(platform.log().begin(), platform.log().end(), "exit_code"),
        c.exit_code_reads)
        << what;
  }
}

// An exception ends the run at once, told as "Unhandled Exception" under its
// description, and with 1603 when the package asked for the installer's exit
// code before it came. Memory running out for a payload leaves the work
// folder, as the clean-up could run out too; an expansion past its bounds,
// the package's own doing, does not.
TEST(RunSequence, ExceptionEndsTheRun) {
  enum class Cause { kOutOfMemory, kExpansionTooLong };
  const struct {
    Cause cause;
    bool asks_for_exit_code;
    int expected;
  } cases[] = {
      {Cause::kOutOfMemory, false, 0},
      {Cause::kOutOfMemory, true, 1603},
      {Cause::kExpansionTooLong, true, 1603},
  };
  // Larger than the tail scan reads at once: only its payload goes too far.
  const std::size_t large = 2 * ChunkStream::kScanBlockSize;
  for (const auto& c : cases) {
    const bool out_of_memory = c.cause == Cause::kOutOfMemory;
    FakePlatform platform;
    platform.set_time(8);
    StringSink sink;
    ChunkWriter writer(sink);
    writer.add_stub(test_support::filler_bytes(100, 1), "setup.exe");
    writer.add_file("installer", "Setup.exe",
                    test_support::filler_bytes(out_of_memory ? large : 10, 2));
    writer.add_file("", "readme.txt", "read first");
    if (!out_of_memory) {
      writer.add_value("half", std::string(kMaxExpandedSize / 2 + 1, 'x'));
    }
    writer.add_value("executable", "%installer%");
    writer.add_value("parameters", "%half%%half%");
    if (c.asks_for_exit_code) writer.add_value("exitcode", "installer");
    writer.add_tail();
    platform.add_file(kModulePath, sink.bytes());
    RunState state;
    int exit_code = -1;
    {
      test_support::AllocationMeter meter(out_of_memory ? large * 3 / 4
                                                        : SIZE_MAX);
      exit_code = run_installation(platform, state, "");
      EXPECT_EQ(meter.refused(), out_of_memory ? 1u : 0u);
    }
    EXPECT_EQ(exit_code, c.expected);
    EXPECT_EQ(
        platform.messages(),
        (std::vector<Message>{{out_of_memory ? std::bad_alloc().what()
                                             : "variable expansion too long",
                               "Unhandled Exception"}}));
    EXPECT_TRUE(platform.launches().empty());
    EXPECT_EQ(platform.file_content(std::string(kTemp) + "VC8\\readme.txt"),
              out_of_memory ? "read first" : "");
    EXPECT_EQ(platform.directory_exists(std::string(kTemp) + "VC8"),
              out_of_memory);
    EXPECT_EQ(platform.open_handles(), 0);
  }
}

// A stop request (SIGTERM, SIGHUP) ends the run at the next safe point: the
// extraction between two records, the launch after the installer, which the
// platform passes the request on to and waits for. Nothing is started after
// it, the work folder goes, and the exit code is that of a program the
// signal ended, whatever the package asked for.
TEST(RunSequence, StopRequestEndsTheRunAtASafePoint) {
  const struct {
    FakeCall arrives_at;
    int signal;
    std::size_t launches;
  } cases[] = {
      {FakeCall::kOpenForReading, 15, 0},  // as the extraction begins
      {FakeCall::kWait, 1, 1},             // while the installer runs
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.set_time(8);
    add_package(platform, {{"executable", "setup.exe"},
                           {"post", "after.exe"},
                           {"exitcode", "installer"}});
    platform.stop_on(c.arrives_at, c.signal);
    RunState state;
    EXPECT_EQ(run_installation(platform, state, ""), 128 + c.signal);
    EXPECT_EQ(platform.log().front(), "catch_stop_signals");
    EXPECT_EQ(platform.launches().size(), c.launches);
    EXPECT_TRUE(platform.messages().empty());
    EXPECT_FALSE(platform.directory_exists(std::string(kTemp) + "VC8"));
  }
}

// Once entered, the work folder is reached by the platform's prefix for the
// current directory (".\\" here, "./" on POSIX), so that every file call and
// both launches reach the folder that was checked, whatever its path leads
// to by then. "source" keeps the folder's path.
TEST(RunSequence, EnteredWorkFolderIsReachedFromInside) {
  FakePlatform platform;
  platform.use_relative_prefix();
  platform.set_time(8);
  const std::string work = std::string(kTemp) + "VC8\\";
  const test_support::SamplePackage sample =
      test_support::make_sample_package();
  platform.add_file(kModulePath, sample.bytes);
  RunState state;
  EXPECT_EQ(run_installation(platform, state, ""), 0);
  EXPECT_TRUE(platform.messages().empty());
  EXPECT_TRUE(logged(platform, "create_for_writing .\\Setup.exe"));
  EXPECT_FALSE(logged(platform, "create_for_writing " + work));
  ASSERT_EQ(platform.launches().size(), 2u);
  EXPECT_EQ(platform.launches()[0].request.file, ".\\Setup.exe");
  EXPECT_EQ(platform.launches()[1].request.directory, ".\\");
  EXPECT_NE(platform.launches()[0].request.parameters.find(
                work.substr(0, work.size() - 1)),
            std::string::npos);
  EXPECT_LT(
      position_in_log(platform, "list_directory .\\*"),
      position_in_log(platform, "set_current_directory " + std::string(kTemp)));
  EXPECT_FALSE(platform.directory_exists(work));
}

// Throws once the work folder has been entered.
class ThrowingPlatform : public FakePlatform {
 public:
  explicit ThrowingPlatform(bool standard) : standard_(standard) {}
  bool enter_new_directory(const std::string& path) override {
    FakePlatform::enter_new_directory(path);
    if (standard_) throw std::length_error("basic_string::_M_create");
    throw 42;
  }

 private:
  bool standard_;
};

TEST(RunSequence, StandardExceptionIsToldWithItsDescription) {
  ThrowingPlatform platform(true);
  platform.set_time(5);
  RunState state;
  EXPECT_EQ(run_installation(platform, state, ""), 0);
  EXPECT_EQ(platform.messages(),
            (std::vector<Message>{
                {"basic_string::_M_create", "Unhandled Exception"}}));
  EXPECT_TRUE(platform.directory_exists(std::string(kTemp) + "VC5"));
}

TEST(RunSequence, OtherExceptionHasNoContext) {
  ThrowingPlatform platform(false);
  RunState state;
  EXPECT_EQ(run_installation(platform, state, ""), 0);
  EXPECT_EQ(
      platform.messages(),
      (std::vector<Message>{{"No context available", "Unhandled Exception"}}));
}

// --- The package's settings ------------------------------------------------

void set_settings(FakePlatform& platform, const SettingsEntries& entries) {
  const SettingsWrite block = write_settings_block(entries);
  ASSERT_TRUE(block.ok()) << block.error;
  platform.set_package_settings_block(block.bytes);
}

// The settings choose from the start, so a download cut short, which loses
// the tail and every record with it, still ends with 1603, and another
// installation that is running gives 1618, which deployment tools retry; a
// bound "exitcode" decides once the archive is read. A full disk gives 112.
TEST(RunSequence, SettingsChooseTheExitCodeUntilTheArchiveBindsOne) {
  enum class Trouble { kNone, kCut, kAlreadyRunning, kDiskFull };
  const struct {
    const char* setting;  // of "exit-code"
    const char* record;   // of "exitcode"; null: none
    Trouble trouble;
    int expected;
  } cases[] = {
      {"installer", nullptr, Trouble::kCut, 1603},
      {"installer", nullptr, Trouble::kNone, 3010},
      {"post", nullptr, Trouble::kNone, 7},
      {"installer", "", Trouble::kNone, 0},
      {"post", "installer", Trouble::kNone, 3010},
      {"installer", nullptr, Trouble::kAlreadyRunning, 1618},
      {"post", nullptr, Trouble::kDiskFull, 112},
      {"installer", "", Trouble::kDiskFull, 0},
  };
  for (const auto& c : cases) {
    const std::string what = std::string(c.setting) + " " +
                             (c.record ? c.record : "no record") + " " +
                             std::to_string(static_cast<int>(c.trouble));
    FakePlatform platform;
    set_settings(platform, {{"exit-code", c.setting}});
    std::vector<std::pair<std::string, std::string>> values = {
        {"executable", "install.exe"}, {"post", "after.exe"}};
    if (c.record) values.emplace_back("exitcode", c.record);
    add_package(platform, values, c.trouble == Trouble::kDiskFull);
    if (c.trouble == Trouble::kDiskFull) platform.set_write_capacity(4);
    if (c.trouble == Trouble::kCut) {
      const std::string bytes = platform.file_content(kModulePath);
      platform.add_file(kModulePath, bytes.substr(0, bytes.size() - 10));
    }
    if (c.trouble == Trouble::kAlreadyRunning) platform.hold_mutex_elsewhere();
    platform.on_start([](const LaunchRequest& request) {
      FakePlatform::ProcessScript script;
      script.exit_code = request.file == "after.exe" ? 7 : 3010;
      return script;
    });
    RunState state;
    EXPECT_EQ(run_installation(platform, state, ""), c.expected) << what;
    EXPECT_EQ(platform.launches().empty(), c.trouble != Trouble::kNone) << what;
  }
}

// Every box of every way a run can go shows the package's own caption and
// text: each replaced here by its own name.
TEST(RunSequence, EveryBoxShowsThePackagesTexts) {
  SettingsEntries named;
  for (std::size_t i = 0; i < kMessageTextCount; ++i) {
    const char* name = message_text_name(static_cast<MessageText>(i));
    named.push_back({name, name});
  }
  const Message invalid{"invalid-archive.caption", "invalid-archive.text"};
  const auto file_failure = [](const std::string& caption,
                               const std::string& path,
                               const std::string& error) {
    return Message{caption, "file-failure.path-label" + path +
                                "file-failure.error-label" + error};
  };
  const std::string work = std::string(kTemp) + "VC1\\";
  const auto launch_fails = [](FakeCall call) {
    return [call](FakePlatform& p) {
      add_package(p, {{"executable", "setup.exe"}});
      p.fail(call, fake_error::kInvalidHandle);
    };
  };
  const struct {
    std::function<void(FakePlatform&)> set_up;
    std::vector<Message> boxes;
  } cases[] = {
      {[](FakePlatform& p) { p.hold_mutex_elsewhere(); },
       {{"already-running.caption", "already-running.text"}}},
      {[](FakePlatform& p) {
         p.fail(FakeCall::kTempDirectory, 0);
         p.fail(FakeCall::kSetCurrentDirectory, 5);
       },
       {{"no-temp-directory.caption", "no-temp-directory.text"},
        {"no-work-folder.caption", "no-work-folder.text"}}},
      {[](FakePlatform&) {},
       {file_failure("archive-not-opened.caption", kModulePath,
                     "The system cannot find the file specified."),
        invalid}},
      {[](FakePlatform& p) {
         p.add_file(kModulePath, "no tail here");
         p.fail(FakeCall::kRead, fake_error::kAccessDenied);
       },
       {file_failure("archive-not-initialized.caption", kModulePath,
                     "Access is denied."),
        invalid}},
      {[](FakePlatform& p) {
         add_package(p, {{"executable", "setup.exe"}});
         std::string bytes = p.file_content(kModulePath);
         bytes[bytes.rfind("setup.exe")] ^= 1;
         p.add_file(kModulePath, bytes);
       },
       {invalid, invalid}},
      {[](FakePlatform& p) {
         StringSink sink;
         ChunkWriter writer(sink);
         writer.add_stub("MZ", "setup.exe");
         writer.add_file("", "a.txt", "a");
         writer.add_tail();
         p.add_file(kModulePath, sink.bytes());
         p.fail(FakeCall::kCreateForWriting, fake_error::kAccessDenied);
       },
       {file_failure("file-not-extracted.caption", work + "a.txt",
                     "Access is denied.")}},
      {launch_fails(FakeCall::kStartProgram),
       {{"start-failed.caption", "start-failed.text"}}},
      {launch_fails(FakeCall::kWait),
       {{"wait-failed.caption", "wait-failed.text"}}},
      {launch_fails(FakeCall::kExitCode),
       {{"exit-code-failed.caption", "exit-code-failed.text"}}},
      {[](FakePlatform& p) {
         add_package(p, {{"executable", "setup.exe"}});
         p.on_start([](const LaunchRequest&) -> FakePlatform::ProcessScript {
           throw 42;
         });
       },
       {{"unhandled-exception.caption", "unhandled-exception.text"}}},
  };
  std::set<std::string> shown;
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.set_time(1);
    set_settings(platform, named);
    c.set_up(platform);
    RunState state;
    run_installation(platform, state, "");
    EXPECT_EQ(platform.messages(), c.boxes) << c.boxes.front().caption;
    for (const Message& box : platform.messages()) {
      shown.insert(box.caption);
      shown.insert(box.text);
    }
  }
  // Every name appears, the labels within the file failures' texts.
  for (const auto& [name, value] : named) {
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(),
                            [&](const std::string& seen) {
                              return seen.find(name) != std::string::npos;
                            }))
        << name;
  }
}

// --- Unattended runs: no box that nobody can answer, and the support log ---

constexpr char kLogPath[] = "C:\\Logs\\setup.log";
// The fake's local time, as the log stamps each line.
constexpr char kStamp[] = "2023-11-14 22:13:20.005  ";

// The lines of the log at `path`, each without its time stamp, which must
// be the fake's.
std::vector<std::string> log_lines(const FakePlatform& platform,
                                   const std::string& path = kLogPath) {
  std::vector<std::string> lines;
  const std::string log = platform.file_content(path);
  for (std::size_t at = 0, end; at < log.size(); at = end + 2) {
    end = log.find("\r\n", at);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(at, end - at);
    EXPECT_EQ(line.rfind(kStamp, 0), 0u) << line;
    lines.push_back(line.substr(sizeof kStamp - 1));
  }
  return lines;
}

FakePlatform& with_log(FakePlatform& platform) {
  platform.add_directory("C:\\Logs");
  platform.set_environment("VCBOOT_LOG", kLogPath);
  return platform;
}

// A box is shown only where someone can answer it, and the package or the
// administrator may ask for none. A box not shown is told to the log, and
// the run goes on as if OK had been pressed. Messages that never wait
// (POSIX: standard error) are always written.
TEST(RunSequence, BoxesAreShownOnlyWhereSomeoneCanAnswerThem) {
  const struct {
    MessageDisplay display;
    bool ui_none_setting;
    const char* ui_variable;   // null: not set
    const char* held_because;  // null: shown
  } cases[] = {
      {MessageDisplay::kAnswered, false, nullptr, nullptr},
      {MessageDisplay::kAnswered, false, "full", nullptr},
      {MessageDisplay::kAnswered, false, "None", "VCBOOT_UI=none"},
      {MessageDisplay::kAnswered, true, nullptr,
       "the package's setting ui=none"},
      {MessageDisplay::kUnseen, false, nullptr,
       "nobody can see it: the window station is not visible"},
      {MessageDisplay::kUnseen, true, "none", "VCBOOT_UI=none"},
      {MessageDisplay::kNeverWaits, true, "none", nullptr},
  };
  for (const auto& c : cases) {
    const std::string what = std::to_string(static_cast<int>(c.display)) +
                             (c.ui_none_setting ? " ui=none " : " ") +
                             (c.ui_variable ? c.ui_variable : "-");
    FakePlatform platform;
    platform.set_time(1);
    platform.set_message_display(c.display);
    if (c.ui_none_setting) set_settings(platform, {{"ui", "none"}});
    if (c.ui_variable) platform.set_environment("VCBOOT_UI", c.ui_variable);
    with_log(platform);
    RunState state;
    EXPECT_EQ(run_installation(platform, state, ""), 0) << what;
    const std::vector<Message> boxes = {kNoArchive, kInvalidArchive};
    EXPECT_EQ(platform.messages(),
              c.held_because ? std::vector<Message>() : boxes)
        << what;
    EXPECT_FALSE(platform.directory_exists(std::string(kTemp) + "VC1")) << what;
    const std::string told =
        c.held_because
            ? "Message not shown (" + std::string(c.held_because) + "): "
            : std::string("Message shown: ");
    const std::vector<std::string> lines = log_lines(platform);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) {
                              return line.rfind(told, 0) == 0;
                            }),
              2)
        << what;
  }
}

// The log of a run that a deployment tool started on a damaged package, as
// an administrator reads it: who ran what, each record, the chunk that
// failed and why, every message, the clean-up and why the exit code is what
// it is.
TEST(RunSequence, SupportLogTellsWhyARunEndedAsItDid) {
  FakePlatform platform;
  platform.set_time(1);
  platform.set_message_display(MessageDisplay::kUnseen);
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_stub(test_support::make_pe_image(1024), "setup.exe");
  writer.add_file("", "data.bin", std::string(100, 'd'));
  // The content chunk ends before the name ("data.bin"), key ("") and type
  // ("file") chunks, each followed by its 20-byte trailer.
  const std::uint64_t damaged_end = writer.size() - 72;
  writer.add_file("installer", "Setup.exe", "MZ");
  writer.add_value("parameters", "/S %commandline%");
  writer.add_value("executable", "%installer%");
  writer.add_value("exitcode", "installer");
  writer.add_tail();
  std::string bytes = sink.bytes();
  bytes[static_cast<std::size_t>(damaged_end) - 50] ^= 1;
  platform.add_file(kModulePath, bytes);
  RunState state;
  EXPECT_EQ(run_installation(with_log(platform), state, "/norestart"), 1603);
  EXPECT_TRUE(platform.messages().empty());
  const std::string invalid =
      "Message not shown (nobody can see it: the "
      "window station is not visible): Invalid "
      "Archive!: We are sorry, but your installation "
      "/ update did not complete due to unexpected "
      "download errors.\\r\\nPlease download the "
      "whole Vellumcrest program from "
      "https://www.vellumcrest.com/download/";
  const std::vector<std::string> expected = {
      "vcboot 0.1.0 (" + std::to_string(8 * sizeof(void*)) +
          "-bit), process 4242: support log, as VCBOOT_LOG asks",
      "Package: \"" + std::string(kModulePath) + "\", " +
          std::to_string(bytes.size()) + " bytes",
      "Command line: \"/norestart\"",
      "User: \"tester\", elevated: no, session 1",
      "Message boxes: none (nobody can see it: the window station is not "
      "visible); each message is written here, and the run goes on as if OK "
      "had been pressed",
      "Guard \"Vellumcrest.Installation\": taken",
      "Work folder: \"" + std::string(kTemp) + "VC1\\\"",
      "Record: the tail chunk",
      "Record: value \"exitcode\" = \"installer\"",
      "Record: value \"executable\" = \"%installer%\"",
      "Record: value \"parameters\" = \"/S %commandline%\"",
      "Record: file \"Setup.exe\" (key \"installer\"), 2 bytes written",
      "Damaged chunk: the chunk that ends at byte offset " +
          std::to_string(damaged_end) +
          ", with 100 bytes of payload: its MD5 digest does not match its "
          "payload",
      "Removed file \"data.bin\": its content was written as it was read, "
      "and failed its check at its end",
      invalid,
      invalid,
      "Clean-up: the work folder is removed",
      "Exit code 1603 (0x00000643): the archive cannot be opened, or is "
      "damaged or incomplete; the package asks for the installer's exit code",
  };
  EXPECT_EQ(log_lines(platform), expected);
}

// The installer and the post program, as the log tells them: the command
// line each is handed, its process, and its exit code in decimal and hex.
TEST(RunSequence, SupportLogTellsEachProgramStartedAndItsExitCode) {
  FakePlatform platform;
  platform.set_time(1);
  add_package(platform, {{"executable", "setup.exe"},
                         {"parameters", "/S"},
                         {"post", "after.exe"},
                         {"exitcode", "installer"}});
  platform.on_start([](const LaunchRequest& request) {
    FakePlatform::ProcessScript script;
    script.exit_code = request.file == "after.exe" ? 0xFFFFFFFF : 3010;
    return script;
  });
  RunState state;
  EXPECT_EQ(run_installation(with_log(platform), state, ""), 3010);
  const std::vector<std::string> lines = log_lines(platform);
  const std::string work = std::string(kTemp) + "VC1\\";
  const std::vector<std::string> expected = {
      "Installer: starting \"" + work + "setup.exe\" /S (in the work folder)",
      "Installer: started, process 5001",
      "Installer: ended with exit code 3010 (0x00000BC2)",
      "Post program: starting \"after.exe\" 3010 (in \"" + work + "\")",
      "Post program: started, process 5002",
      "Post program: ended with exit code 4294967295 (0xFFFFFFFF)",
      "Clean-up: the work folder is removed",
      "Exit code 3010 (0x00000BC2): the installer ended; the package asks "
      "for the installer's exit code",
  };
  ASSERT_GE(lines.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(
                lines.end() - static_cast<std::ptrdiff_t>(expected.size()),
                lines.end()),
            expected);
}

// A log that cannot be opened changes nothing of what the run does. It goes
// to a place of its own in the temporary directory instead, which says why,
// and when that fails too, nowhere.
TEST(RunSequence, ALogThatCannotBeOpenedStopsNothing) {
  const std::string fallback =
      std::string(kTemp) + "vcboot-20231114-221320-4242.log";
  enum class Log { kNone, kFolderMissing, kNeverOpens };
  for (const Log log : {Log::kNone, Log::kFolderMissing, Log::kNeverOpens}) {
    FakePlatform platform;
    platform.set_time(1);
    add_package(platform,
                {{"executable", "setup.exe"}, {"exitcode", "installer"}},
                /*with_file=*/true);
    platform.on_start([](const LaunchRequest&) {
      FakePlatform::ProcessScript script;
      script.exit_code = 3010;
      return script;
    });
    if (log != Log::kNone) platform.set_environment("VCBOOT_LOG", kLogPath);
    if (log == Log::kNeverOpens) {
      platform.add_directory("C:\\Logs");
      platform.fail(FakeCall::kOpenLog, fake_error::kAccessDenied);
    }
    RunState state;
    const int what = static_cast<int>(log);
    EXPECT_EQ(run_installation(platform, state, ""), 3010) << what;
    EXPECT_TRUE(platform.messages().empty()) << what;
    EXPECT_EQ(platform.launches().size(), 1u) << what;
    EXPECT_FALSE(platform.file_exists(kLogPath)) << what;
    EXPECT_EQ(platform.file_exists(fallback), log == Log::kFolderMissing)
        << what;
    if (log == Log::kFolderMissing) {
      const std::vector<std::string> lines = log_lines(platform, fallback);
      ASSERT_GE(lines.size(), 2u);
      EXPECT_EQ(lines[1],
                "Could not open the log \"C:\\Logs\\setup.log\" (error 3 "
                "(0x00000003): The system cannot find the path specified.); "
                "it is written here instead");
    }
  }
}

}  // namespace
}  // namespace vcboot
