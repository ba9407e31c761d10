// Temporary files named by the system.
#pragma once

#include <cstdint>

namespace platform {

// Room for a temporary file's full name, its terminator included.
inline constexpr uint32_t kTempNameSize = 261;

// The system's folder for temporary files, ending in a separator, into `out`
// (GetTempPathA). Returns its length, or 0 when it cannot be obtained or does
// not fit.
[[nodiscard]] uint32_t TempFolderPath(char* out, uint32_t capacity);

// GetTempFileNameA(folder, prefix, 0): creates a new empty file named
// <prefix>XXXX.tmp (XXXX four hex digits) in `folder` and writes its full
// name into `out` (kTempNameSize bytes). False, with the last error set, when
// no such file can be made.
[[nodiscard]] bool CreateUniqueTempName(const char* folder, const char* prefix, char* out);

}  // namespace platform
