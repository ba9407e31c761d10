// The ZIP records a package is made of: their signatures and fixed sizes, and
// the little-endian fields they are read from.
#pragma once

#include <cstdint>

namespace zip_format {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
inline constexpr uint32_t kCentralRecordSignature = 0x02014b50;
inline constexpr uint32_t kEndRecordSignature = 0x06054b50;
inline constexpr uint64_t kLocalHeaderSize = 30;
inline constexpr uint64_t kCentralRecordSize = 46;
inline constexpr uint64_t kEndRecordSize = 22;

[[nodiscard]] inline uint16_t ReadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

[[nodiscard]] inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace zip_format
