// Reading values from the system registry.
#pragma once

#include <cstdint>

namespace platform {

// The predefined root keys, with their Win32 values.
inline constexpr uint32_t kHkeyClassesRoot = 0x80000000;
inline constexpr uint32_t kHkeyCurrentUser = 0x80000001;
inline constexpr uint32_t kHkeyLocalMachine = 0x80000002;
inline constexpr uint32_t kHkeyUsers = 0x80000003;

// Value types, with their Win32 values.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

// Reads one value. The core takes it from the run context, so that tests can
// put a fake registry in place of the system's.
class RegistryReader {
 public:
  virtual ~RegistryReader() = default;

  // Opens `key` below the predefined `root` for reading, queries the value
  // named `valueName` into `data` (`capacity` bytes) and closes the key.
  // True when the value exists and fits: `type` and `size` (bytes stored,
  // a text's terminator included when the value holds one) are set. False
  // when the key or the value is missing or the value is larger than
  // `capacity`.
  [[nodiscard]] virtual bool QueryValue(uint32_t root, const char* key, const char* valueName,
                                        uint8_t* data, uint32_t capacity, uint32_t* type,
                                        uint32_t* size) = 0;
};

// The system's registry: RegOpenKeyExA / RegQueryValueExA on Windows; on
// other systems there is none and nothing is ever found.
[[nodiscard]] RegistryReader& SystemRegistry();

}  // namespace platform
