// Little-endian integers in byte buffers, as the archive and PE headers store
// them, whatever the byte order of the machine.
#pragma once

#include <cstdint>

namespace vcboot {

inline std::uint16_t load_le16(const unsigned char* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

inline std::uint32_t load_le32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) |
         static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 |
         static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline void store_le32(std::uint32_t value, unsigned char* bytes) {
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<unsigned char>(value >> (8 * i));
  }
}

}  // namespace vcboot
