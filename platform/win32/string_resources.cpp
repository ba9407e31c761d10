// The string table on Windows: the program's own STRINGTABLE resource.
#include "platform/string_resources.h"

#include <windows.h>

namespace platform {

int LoadResourceString(uint32_t id, char* buffer, int capacity) {
  // A capacity of 0 would ask for a pointer into the resource instead of a
  // copy; nothing fits, so there is nothing to load.
  if (buffer == nullptr || capacity <= 0) return 0;
  return LoadStringA(GetModuleHandleA(nullptr), id, buffer, capacity);
}

}  // namespace platform
