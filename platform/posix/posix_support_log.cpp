// What the support log needs to know of the process and its time, POSIX
// side.
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/posix/posix_platform.h"

namespace vcboot {
namespace {

// The length of the valid UTF-8 sequence at the start of `text` (`size`
// bytes), or 0: no overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t utf8_sequence(const unsigned char* text, std::size_t size) {
  const unsigned char first = text[0];
  if (first < 0x80) return 1;
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the bounds of the second byte
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (size < length || text[1] < low || text[1] > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

LocalTime PosixPlatform::local_time() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  ::localtime_r(&now.tv_sec, &parts);
  LocalTime time;
  time.year = static_cast<unsigned>(parts.tm_year + 1900);
  time.month = static_cast<unsigned>(parts.tm_mon + 1);
  time.day = static_cast<unsigned>(parts.tm_mday);
  time.hour = static_cast<unsigned>(parts.tm_hour);
  time.minute = static_cast<unsigned>(parts.tm_min);
  time.second = static_cast<unsigned>(parts.tm_sec);
  time.millisecond = static_cast<unsigned>(now.tv_nsec / 1000000);
  return time;
}

std::optional<std::string> PosixPlatform::environment_variable(
    const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::string PosixPlatform::user_name() {
  const uid_t uid = ::geteuid();
  const passwd* entry = ::getpwuid(uid);
  const std::string number = "uid " + std::to_string(uid);
  return entry != nullptr ? std::string(entry->pw_name) + " (" + number + ")"
                          : number;
}

std::optional<bool> PosixPlatform::is_elevated() { return ::geteuid() == 0; }

std::optional<std::uint32_t> PosixPlatform::session_id() {
  const pid_t session = ::getsid(0);
  if (session < 0) return std::nullopt;
  return static_cast<std::uint32_t>(session);
}

std::uint32_t PosixPlatform::process_id() {
  return static_cast<std::uint32_t>(::getpid());
}

std::string PosixPlatform::to_utf8(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::string result;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = utf8_sequence(bytes + at, text.size() - at);
    if (length > 0) {
      result.append(text, at, length);
      at += length;
    } else {
      result += "\\x";
      result += kHex[bytes[at] >> 4];
      result += kHex[bytes[at] & 0xF];
      ++at;
    }
  }
  return result;
}

}  // namespace vcboot
