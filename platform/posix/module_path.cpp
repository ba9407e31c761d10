// The program's own path on Linux, from /proc/self/exe.
#include "platform/module_path.h"

#include <unistd.h>

namespace platform {

uint32_t ModuleFilePath(char* out, uint32_t capacity) {
  if (capacity == 0) return 0;
  const ssize_t length = ::readlink("/proc/self/exe", out, capacity - 1);
  if (length <= 0) {
    out[0] = 0;
    return 0;
  }
  out[length] = 0;
  return static_cast<uint32_t>(length);
}

}  // namespace platform
