// The path of the program's own executable file.
#pragma once

#include <cstdint>

namespace platform {

// GetModuleFileNameA of the program itself: the full path into `out`
// (`capacity` bytes), cut to fit and NUL-terminated. Returns the number of
// characters copied, 0 on failure.
uint32_t ModuleFilePath(char* out, uint32_t capacity);

}  // namespace platform
