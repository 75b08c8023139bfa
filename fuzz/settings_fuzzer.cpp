// libFuzzer target: the input is the room that holds a package's settings
// block, read as the bootstrap reads it before anything else. Beyond what the
// sanitizers catch, it reads the block whole or gives the defaults whole:
// - a block it takes is written again byte for byte from its entries, so no
//   byte of it went unread, and every setting in it is the one in effect;
// - a block it refuses gives every default, and the writer refuses to write
//   its entries as well, when they can be told at all.
// The input is also read sealed: its length set to its size and its digest
// made right, so that mutations reach the entries behind the digest check.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/md5_digest.h"
#include "bootstrap/package_settings.h"
#include "bootstrap/settings_format.h"
#include "bootstrap/settings_writer.h"
#include "util/messages.h"

namespace vcboot::fuzzing {
namespace {

namespace format = settings_format;

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "settings_fuzzer: %s\n", what);
  std::abort();
}

bool same(const PackageSettings& a, const PackageSettings& b) {
  if (a.guard_name != b.guard_name || a.exit_code_policy != b.exit_code_policy)
    return false;
  for (std::size_t i = 0; i < kMessageTextCount; ++i) {
    if (a.texts[static_cast<MessageText>(i)] !=
        b.texts[static_cast<MessageText>(i)])
      return false;
  }
  return true;
}

// What the entries set, worked out here on its own terms.
PackageSettings expected_settings(const SettingsEntries& entries) {
  PackageSettings expected;
  std::string product = messages::kProductName;
  std::string address = messages::kDownloadAddress;
  bool compose = false;
  bool own_text = false;
  for (const SettingsEntry& entry : entries) {
    if (entry.name == "guard-name") expected.guard_name = entry.value;
    if (entry.name == "exit-code") {
      expected.exit_code_policy = entry.value == "post"
                                      ? ExitCodePolicy::kPost
                                      : ExitCodePolicy::kInstaller;
    }
    if (entry.name == "product-name") product = entry.value, compose = true;
    if (entry.name == "download-address") address = entry.value, compose = true;
    if (const auto id = find_message_text(entry.name)) {
      own_text |= *id == MessageText::kInvalidArchiveText;
      expected.texts.set(*id, entry.value);
    }
  }
  if (compose && !own_text) {
    expected.texts.set(MessageText::kInvalidArchiveText,
                       messages::kInvalidArchiveTextStart + product +
                           messages::kInvalidArchiveTextMiddle + address);
  }
  return expected;
}

void check(const std::string& room) {
  const auto entries = parse_settings_block(room);
  const auto settings = parse_package_settings(room);
  const PackageSettings in_effect = read_package_settings(room);
  if (!settings) {
    require(same(in_effect, PackageSettings()),
            "a refused block set something");
    if (entries) {
      require(!write_settings_block(*entries).ok(),
              "the writer writes what the reader refuses");
    }
    return;
  }
  require(entries.has_value(), "settings from a block that does not parse");
  const SettingsWrite again = write_settings_block(*entries);
  require(again.ok(), "the writer refuses what the reader takes");
  require(room.compare(0, again.bytes.size(), again.bytes) == 0 &&
              is_empty_settings_room(
                  std::string_view(room).substr(again.bytes.size())),
          "the block is not its entries written again");
  require(same(*settings, in_effect), "read and parsed settings differ");
  require(same(in_effect, expected_settings(*entries)),
          "the settings in effect are not the block's");
}

// `room` with its length set to its size and its digest made right.
std::string sealed(std::string room) {
  if (room.size() < format::kHeaderSize) return room;
  const std::size_t size = room.size();
  for (std::size_t i = 0; i < 4; ++i) {
    room[format::kLengthOffset + i] =
        static_cast<char>((size >> (8 * i)) & 0xFF);
  }
  room.replace(format::kDigestOffset, format::kDigestSize,
               Md5Digest(std::string_view(room).substr(format::kLengthOffset))
                   .digest_bytes());
  return room;
}

}  // namespace
}  // namespace vcboot::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string room(reinterpret_cast<const char*>(data), size);
  vcboot::fuzzing::check(room);
  vcboot::fuzzing::check(vcboot::fuzzing::sealed(room));
  return 0;
}
