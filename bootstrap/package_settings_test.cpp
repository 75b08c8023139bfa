// The settings block: written by the writer, read whole by the bootstrap or
// not at all.
#include "bootstrap/package_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>

#include "archive/md5_digest.h"
#include "bootstrap/log_template.h"
#include "bootstrap/settings_format.h"
#include "bootstrap/settings_writer.h"
#include "tests/support/invalid_archive_message.h"

namespace vcboot {
namespace {

namespace format = settings_format;

std::string written(const SettingsEntries& entries) {
  const SettingsWrite block = write_settings_block(entries);
  EXPECT_TRUE(block.ok()) << block.error;
  return block.bytes;
}

// Every field of `settings` as today's bootstrap has it.
void expect_defaults(const PackageSettings& settings, const std::string& what) {
  EXPECT_EQ(settings.guard_name, "Vellumcrest.Installation") << what;
  EXPECT_EQ(settings.exit_code_policy, ExitCodePolicy::kDefault) << what;
  for (std::size_t i = 0; i < kMessageTextCount; ++i) {
    const auto id = static_cast<MessageText>(i);
    EXPECT_EQ(settings.texts[id], default_message_text(id))
        << what << ": " << message_text_name(id);
  }
}

const SettingsEntries kEverySetting = {
    {"guard-name", "Acme.Setup"},
    {"exit-code", "installer"},
    {"already-running.caption", "L\xE4uft schon"},
    {"later.setting", "known to later bootstraps only"},
    {"product-name", "Acme"},
    {"download-address", "https://acme.example/get"},
    {"file-failure.error-label", "\rFehler: "},
    {"ui", "none"},
    {"log", "%TEMP%\\Acme-%time%.log"},
};

TEST(PackageSettings, NoBlockGivesTodaysTextsByteForByte) {
  expect_defaults(read_package_settings(""), "no block");
  expect_defaults(read_package_settings(std::string(format::kMaxBlockSize, 0)),
                  "an empty room");
  EXPECT_EQ(PackageSettings().texts[MessageText::kInvalidArchiveText],
            test_support::kInvalidArchiveText);
  // A sound block without entries changes nothing either.
  expect_defaults(read_package_settings(written({})), "no entries");
}

TEST(PackageSettings, EverySettingIsReadAndUnknownNamesAreIgnored) {
  const std::string block = written(kEverySetting);
  EXPECT_EQ(parse_settings_block(block), kEverySetting);
  for (const SettingsEntry& entry : kEverySetting) {
    EXPECT_EQ(is_known_setting_name(entry.name), entry.name != "later.setting")
        << entry.name;
  }
  // Zeros behind the block, as in the ELF stub's room.
  const PackageSettings settings =
      read_package_settings(block + std::string(100, '\0'));
  EXPECT_EQ(settings.guard_name, "Acme.Setup");
  EXPECT_EQ(settings.exit_code_policy, ExitCodePolicy::kInstaller);
  EXPECT_EQ(settings.texts[MessageText::kAlreadyRunningCaption],
            "L\xE4uft schon");
  EXPECT_EQ(settings.texts[MessageText::kFileFailureErrorLabel], "\rFehler: ");
  EXPECT_TRUE(settings.no_boxes);
  EXPECT_EQ(settings.log_template, "%TEMP%\\Acme-%time%.log");
  EXPECT_FALSE(PackageSettings().no_boxes);
  EXPECT_EQ(PackageSettings().log_template, "");
  EXPECT_EQ(settings.texts[MessageText::kInvalidArchiveText],
            "We are sorry, but your installation / update did not complete "
            "due to unexpected download errors.\r\nPlease download the whole "
            "Acme program from https://acme.example/get");
  EXPECT_EQ(settings.texts[MessageText::kAlreadyRunningText],
            default_message_text(MessageText::kAlreadyRunningText));
  // A text of its own wins over the product and address, in any order.
  SettingsEntries own = kEverySetting;
  own.insert(own.begin(), {"invalid-archive.text", "Bitte neu laden."});
  EXPECT_EQ(read_package_settings(written(own))
                .texts[MessageText::kInvalidArchiveText],
            "Bitte neu laden.");
}

// Rewrites the digest after a change, so that only the change is judged.
std::string sealed(std::string block) {
  block.replace(format::kDigestOffset, format::kDigestSize,
                Md5Digest(std::string_view(block).substr(format::kLengthOffset))
                    .digest_bytes());
  return block;
}

void put16(std::string& block, std::size_t at, unsigned value) {
  block[at] = static_cast<char>(value & 0xFF);
  block[at + 1] = static_cast<char>(value >> 8);
}

// A damaged, cut, oversized or otherwise wrong block gives the defaults
// whole, never some of its settings.
TEST(PackageSettings, AnyFaultGivesTheDefaultsWhole) {
  const std::string sound = written(kEverySetting);
  ASSERT_TRUE(parse_package_settings(sound));
  std::vector<std::pair<std::string, std::string>> faults;
  const std::string room = sound + std::string(16, '\0');
  for (std::size_t i = 0; i < room.size(); ++i) {
    for (const int flip : {0x01, 0x80, 0xFF}) {
      std::string damaged = room;
      damaged[i] = static_cast<char>(damaged[i] ^ flip);
      faults.emplace_back(
          "byte " + std::to_string(i) + " ^ " + std::to_string(flip), damaged);
    }
  }
  for (std::size_t size = 1; size < sound.size(); ++size) {
    faults.emplace_back("cut to " + std::to_string(size),
                        sound.substr(0, size));
  }
  // Each is sealed with a digest of its own.
  const std::size_t first = format::kHeaderSize;  // guard-name's name length
  const std::size_t first_value = first + 2 + 10;
  const std::function<void(std::string&)> sealed_faults[] = {
      [](std::string& b) { b[format::kLengthOffset] += 1; },     // past room
      [](std::string& b) { b[format::kLengthOffset + 3] = 1; },  // 16 MiB
      [](std::string& b) { put16(b, format::kVersionOffset, 2); },
      [](std::string& b) { put16(b, format::kCountOffset, 8); },
      [](std::string& b) { put16(b, format::kCountOffset, 6); },
      [](std::string& b) { put16(b, format::kCountOffset, 0xFFFF); },
      [&](std::string& b) { put16(b, first, 0); },
      [&](std::string& b) { put16(b, first, 0xFFFF); },
      [&](std::string& b) { put16(b, first_value, 0xFFFF); },
      [&](std::string& b) { b[first + 2] = 'G'; },        // "Guard-name"
      [](std::string& b) { b[b.find("schon")] = '\0'; },  // zero byte
      [&](std::string& b) { b[first_value + 6] = '/'; },  // "Acme/Setup"
      [&](std::string& b) { b.replace(b.find("installer"), 1, "I"); },
  };
  for (std::size_t i = 0; i < std::size(sealed_faults); ++i) {
    std::string block = sound;
    sealed_faults[i](block);
    faults.emplace_back("sealed fault " + std::to_string(i), sealed(block));
  }
  std::string twice = written({{"abc", "1"}, {"abd", "2"}});
  twice.replace(twice.find("abd"), 3, "abc");
  faults.emplace_back("a name twice", sealed(twice));

  for (const auto& [what, bytes] : faults) {
    EXPECT_FALSE(parse_package_settings(bytes)) << what;
    expect_defaults(read_package_settings(bytes), what);
  }
}

// The writer takes exactly what the reader takes, at each bound.
TEST(SettingsWriter, RefusesWhatNoBootstrapWouldReadAndSaysWhy) {
  const std::string name64(format::kMaxNameLength, 'n');
  const std::string value2048(format::kMaxValueLength, 'v');
  SettingsEntries many;
  for (std::size_t i = 0; i < format::kMaxEntries; ++i) {
    many.push_back({"t" + std::to_string(i), ""});
  }
  SettingsEntries one_too_many = many;
  one_too_many.push_back({"t64", ""});
  // Three values of 2,048 bytes fit; a fourth does not.
  SettingsEntries large;
  for (const char* name : {"a", "b", "c"}) large.push_back({name, value2048});
  SettingsEntries too_large = large;
  too_large.push_back({"d", value2048});
  const struct {
    SettingsEntries entries;
    const char* error;  // empty: written
  } cases[] = {
      {{{name64, value2048}}, ""},
      {many, ""},
      {large, ""},
      {{{"guard-name", std::string(128, '~')}}, ""},
      {one_too_many, "65 settings are too many (at most 64)"},
      {too_large, "the settings take 8244 bytes (at most 8192)"},
      {{{name64 + "n", ""}}, "is not valid: 1 to 64 characters"},
      {{{"Text\n", "x"}}, "setting name \"Text\\x0A\" is not valid"},
      {{{"a", value2048 + "v"}}, "\"a\" is 2049 bytes long (at most 2048)"},
      {{{"a", std::string("x\0y", 3)}}, "the value of \"a\" holds a zero byte"},
      {{{"a", "1"}, {"b", "2"}, {"a", "3"}}, "setting \"a\" is given twice"},
      {{{"guard-name", "Global\\Acme"}}, "not \"Global\\x5CAcme\""},
      {{{"guard-name", std::string(129, 'g')}},
       "guard-name must be 1 to 128 printable ASCII"},
      {{{"exit-code", "Installer"}}, "\"exit-code\" cannot be \"Installer\""},
      {{{"ui", "None"}}, "\"ui\" cannot be \"None\""},
      {{{"log", "C:\\Logs\\%PID%-%Time%.log"}}, ""},
      {{{"log", "/var/log/acme.log"}}, ""},
      {{{"log", "%temp%/" + std::string(252, 'x')}}, ""},
      {{{"log", "%temp%/" + std::string(253, 'x')}}, "log must be a full path"},
      {{{"log", "setup.log"}}, "log must be a full path of 1 to 259 bytes"},
      {{{"log", "C:setup.log"}}, "log must be a full path"},
      {{{"log", "%TEMP%\\%product%.log"}}, "not \"%TEMP%\\x5C%product%"},
      {{{"log", "%TEMP%\\100%.log"}}, "log must be a full path"},
  };
  for (const auto& c : cases) {
    const SettingsWrite block = write_settings_block(c.entries);
    const std::string what = c.entries.back().name.substr(0, 8) + " " +
                             std::to_string(c.entries.size());
    if (*c.error == '\0') {
      ASSERT_TRUE(block.ok()) << what << ": " << block.error;
      EXPECT_EQ(parse_settings_block(block.bytes), c.entries) << what;
      EXPECT_TRUE(parse_package_settings(block.bytes)) << what;
    } else {
      EXPECT_NE(block.error.find(c.error), std::string::npos)
          << what << ": " << block.error;
      EXPECT_TRUE(block.bytes.empty()) << what;
    }
  }
}

// The references are replaced in any case; in an administrator's path, a
// percent sign that begins none stays as written.
TEST(LogTemplate, ReferencesBecomeWhatOnlyTheRunKnows) {
  const LogTemplateValues values{"C:\\Windows\\Temp", "20240501-093015",
                                 "4242"};
  const struct {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"%TEMP%\\Acme-%time%.log",
       "C:\\Windows\\Temp\\Acme-20240501-093015.log"},
      {"%temp%/%PID%-%Pid%", "C:\\Windows\\Temp/4242-4242"},
      {"D:\\100%\\%pid%.log", "D:\\100%\\4242.log"},
      {"%%TEMP%%", "%C:\\Windows\\Temp%"},
      {"%TEMP", "%TEMP"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(expand_log_template(c.text, values), c.expanded) << c.text;
  }
  EXPECT_EQ(log_file_time({2024, 5, 1, 9, 30, 15, 42}), "20240501-093015");
}

}  // namespace
}  // namespace vcboot
