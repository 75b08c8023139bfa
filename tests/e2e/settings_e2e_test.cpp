// Settings written into a copy of the real bootstrap's ELF image, and the
// packages made from it run as processes: the guard's name, the texts and
// the exit-code choice hold before the archive is read, and when it cannot
// be read at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "archive/chunk_writer.h"
#include "bootstrap/elf_settings.h"
#include "bootstrap/settings_format.h"
#include "tests/support/invalid_archive_message.h"
#include "tests/support/sample_package.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/subprocess.h"

namespace vcboot {
namespace {

namespace fs = std::filesystem;

std::string bootstrap_image() { return test_support::read_file(VCBOOT_BINARY); }

std::string block_of(const SettingsEntries& entries) {
  const SettingsWrite block = write_settings_block(entries);
  EXPECT_TRUE(block.ok()) << block.error;
  return block.bytes;
}

// The bootstrap with `entries` in its room.
std::string stub_with(const SettingsEntries& entries) {
  const SettingsWrite stub =
      fill_elf_settings(bootstrap_image(), block_of(entries));
  EXPECT_TRUE(stub.ok()) << stub.error;
  return stub.bytes;
}

// An executable package at `path`: `stub`, then an installer script run by
// "executable", and the values.
void write_package(
    const fs::path& path, const std::string& stub, const std::string& script,
    const std::vector<std::pair<std::string, std::string>>& values = {}) {
  StringSink sink;
  ChunkWriter writer(sink);
  writer.add_stub(stub, "setup");
  writer.add_file("installer", "install.sh", "#!/bin/sh\n" + script);
  writer.add_value("executable", "%installer%");
  for (const auto& [name, value] : values) writer.add_value(name, value);
  writer.add_tail();
  test_support::write_file(path, sink.bytes());
  fs::permissions(path, fs::perms::owner_all);
}

TEST(ElfSettings, TheStubsRoomIsFilledInPlace) {
  const std::string stub = bootstrap_image();
  std::string error;
  const auto room = find_elf_settings_room(stub, error);
  ASSERT_TRUE(room) << error;
  EXPECT_EQ(room->size, settings_format::kMaxBlockSize);
  EXPECT_TRUE(is_empty_settings_room(stub.substr(room->offset, room->size)));

  const SettingsEntries entries = {{"guard-name", "Acme.Setup"}};
  const std::string filled = stub_with(entries);
  ASSERT_EQ(filled.size(), stub.size());
  EXPECT_EQ(filled.substr(0, room->offset), stub.substr(0, room->offset));
  EXPECT_EQ(filled.substr(room->offset + room->size),
            stub.substr(room->offset + room->size));
  EXPECT_EQ(parse_settings_block(filled.substr(room->offset, room->size)),
            entries);
  // A filled stub takes other settings, with no trace of the first.
  const SettingsWrite refilled = fill_elf_settings(filled, block_of({}));
  ASSERT_TRUE(refilled.ok()) << refilled.error;
  EXPECT_EQ(refilled.bytes.substr(room->offset + settings_format::kHeaderSize,
                                  room->size - settings_format::kHeaderSize),
            std::string(room->size - settings_format::kHeaderSize, '\0'));
}

TEST(ElfSettings, WhatCannotBeFilledIsRefusedWithItsReason) {
  const std::string stub = bootstrap_image();
  std::string error;
  const std::size_t room = find_elf_settings_room(stub, error)->offset;
  std::string junk_in_room = stub;
  junk_in_room[room + 100] = 'x';
  std::string big_endian = stub;
  big_endian[5] = 2;
  std::string damaged_block = block_of({});
  damaged_block[settings_format::kDigestOffset] ^= 1;
  const struct {
    std::string image;
    std::string block;
    const char* error;
  } cases[] = {
      {test_support::make_pe_image(4096), block_of({}), "is no ELF image"},
      {test_support::read_file(LAUNCH_PROBE), block_of({}),
       "has no section .vcboot.settings for settings"},
      {stub.substr(0, stub.size() - 100), block_of({}),
       "section headers are missing or damaged"},
      {big_endian, block_of({}), "no little-endian ELF32 or ELF64"},
      {junk_in_room, block_of({}), "holds neither zeros nor a settings block"},
      {stub, damaged_block, "damaged or too large"},
      {stub, std::string(settings_format::kMaxBlockSize + 1, '\0'),
       "damaged or too large"},
  };
  for (const auto& c : cases) {
    const SettingsWrite filled = fill_elf_settings(c.image, c.block);
    EXPECT_NE(filled.error.find(c.error), std::string::npos)
        << c.error << ": " << filled.error;
    EXPECT_TRUE(filled.bytes.empty()) << c.error;
  }
}

// A run of one product holds its guard while its installer runs: another
// run of the same product is turned away, another product's runs.
TEST(ElfSettings, GuardNamesKeepProductsApart) {
  test_support::ScopedTempDir temp;
  const fs::path tmp = temp.path() / "tmp";
  fs::create_directory(tmp);
  const SettingsEntries acme = {{"guard-name", "Acme.Setup"}};
  write_package(temp.path() / "acme-again", stub_with(acme),
                "echo acme installed >&2\n");
  write_package(temp.path() / "other", bootstrap_image(),
                "echo other installed >&2\n");
  write_package(temp.path() / "acme", stub_with(acme),
                "\"$AGAIN\"; echo \"acme again: $?\" >&2\n"
                "\"$OTHER\"; echo \"other: $?\" >&2\n");
  const test_support::ProgramResult result = test_support::run_installer(
      {(temp.path() / "acme").string()}, tmp.string(),
      {"",
       {{"AGAIN", (temp.path() / "acme-again").string()},
        {"OTHER", (temp.path() / "other").string()}}});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err,
            "Already Running\nAnother installation is already running or in "
            "the process of starting up.\nPlease wait until the other "
            "installation has completed before trying again.\n\n"
            "acme again: 1\nother installed\nother: 0\n");
  EXPECT_TRUE(fs::is_empty(tmp));
}

// A package made for unattended deployment asks for no boxes, a support
// log and the installer's exit code. A second run while the first installs
// is turned away with 1618, which deployment tools retry later. On POSIX
// messages still go to standard error; both runs append to the one log.
TEST(ElfSettings, ADeploymentPackageLogsAndAsksToBeRetried) {
  test_support::ScopedTempDir temp;
  const fs::path tmp = temp.path() / "tmp";
  fs::create_directory(tmp);
  const fs::path log = temp.path() / "acme.log";
  const SettingsEntries deployment = {{"guard-name", "Acme.Setup"},
                                      {"exit-code", "installer"},
                                      {"ui", "none"},
                                      {"log", log.string()}};
  write_package(temp.path() / "again", stub_with(deployment),
                "echo again installed >&2\n");
  write_package(temp.path() / "acme", stub_with(deployment),
                "\"$AGAIN\"; echo \"again: $?\" >&2\nexit 3\n");
  const test_support::ProgramResult result = test_support::run_installer(
      {(temp.path() / "acme").string(), "/S"}, tmp.string(),
      {"", {{"AGAIN", (temp.path() / "again").string()}}});
  EXPECT_EQ(result.exit_code, 3);
  EXPECT_EQ(result.err,
            "Already Running\nAnother installation is already running or in "
            "the process of starting up.\nPlease wait until the other "
            "installation has completed before trying again.\n\n"
            "again: 82\n");  // 1618 in 8 bits
  EXPECT_TRUE(fs::is_empty(tmp));
  const std::string text = test_support::read_file(log);
  const std::size_t second = text.find(
      "Exit code 1618 (0x00000652): another installation is running; the "
      "package asks for the installer's exit code\n");
  const std::size_t first = text.find(
      "Exit code 3 (0x00000003): the installer ended; the package asks for "
      "the installer's exit code\n");
  EXPECT_LT(second, first) << text;
  EXPECT_NE(first, std::string::npos) << text;
  EXPECT_NE(text.find("Command line: \"/S\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Installer: ended with exit code 3 (0x00000003)\n"),
            std::string::npos)
      << text;
}

// A download cut 10 bytes short loses its tail and every record; what the
// settings chose still holds.
TEST(ElfSettings, ACutDownloadKeepsTheSettingsChoices) {
  const std::string german = "Bitte laden Sie das ganze Programm neu.";
  const struct {
    SettingsEntries settings;  // none: the stub as built
    std::string invalid_archive_text;
    int exit_code;
  } cases[] = {
      {{}, test_support::kInvalidArchiveText, 0},
      {{{"exit-code", "installer"}, {"invalid-archive.text", german}},
       german,
       1603 % 256},
  };
  for (const auto& c : cases) {
    test_support::ScopedTempDir temp;
    const fs::path tmp = temp.path() / "tmp";
    fs::create_directory(tmp);
    const fs::path package = temp.path() / "setup";
    write_package(
        package, c.settings.empty() ? bootstrap_image() : stub_with(c.settings),
        "exit 5\n", {{"exitcode", "installer"}});
    const std::string whole = test_support::read_file(package);
    test_support::write_file(package, whole.substr(0, whole.size() - 10));
    const test_support::ProgramResult result =
        test_support::run_installer({package.string()}, tmp.string());
    EXPECT_EQ(result.exit_code, c.exit_code) << c.invalid_archive_text;
    const std::string box =
        std::string("Invalid Archive!\n") + c.invalid_archive_text + "\n\n";
    EXPECT_EQ(result.err, box + box);
    EXPECT_TRUE(fs::is_empty(tmp));
  }
}

}  // namespace
}  // namespace vcboot
