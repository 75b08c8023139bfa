// The room in the stub's own image for the package's settings block.
#include "bootstrap/settings_format.h"
#include "platform/posix/posix_platform.h"

namespace vcboot {
namespace {

// A section of its own, allocated and with bytes in the file (no .bss), so
// that vcpack finds it by name in the section headers of a package's copy
// of the stub and writes the block over its zeros, in place: the program's
// layout does not change, and the block is read from memory like any
// constant. All zero here: the stub as built carries no settings. The
// name is settings_format::kElfSectionName (an attribute takes a literal).
[[gnu::section(".vcboot.settings"), gnu::used,
  gnu::aligned(
      16)]] const char kSettingsRoom[settings_format::kMaxBlockSize] = {};

}  // namespace

std::string_view PosixPlatform::package_settings_block() {
  const char* room = kSettingsRoom;
  // The compiler knows the room's bytes as zeros and could read them at
  // build time; vcpack changes them after the build. Hiding where the
  // pointer leads makes every read a real one from the image.
  asm("" : "+r"(room));
  return {room, sizeof kSettingsRoom};
}

}  // namespace vcboot
