// The program's own path on Windows.
#include "platform/module_path.h"

#include <windows.h>

namespace platform {

uint32_t ModuleFilePath(char* out, uint32_t capacity) {
  if (capacity == 0) return 0;
  const DWORD length = GetModuleFileNameA(nullptr, out, capacity);
  // Windows XP leaves a cut path unterminated.
  out[length < capacity ? length : capacity - 1] = 0;
  return length < capacity ? length : capacity - 1;
}

}  // namespace platform
