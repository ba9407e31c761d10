// Temporary files on Windows: GetTempPathA and GetTempFileNameA.
#include "platform/temp_file.h"

#include <windows.h>

#include "platform/file.h"

namespace platform {

uint32_t TempFolderPath(char* out, uint32_t capacity) {
  const DWORD length = GetTempPathA(capacity, out);
  if (length == 0 || length >= capacity) return 0;
  return length;
}

bool CreateUniqueTempName(const char* folder, const char* prefix, char* out) {
  return GetTempFileNameA(folder, prefix, 0, out) != 0;
}

File File::CreateHiddenTemporary(const char* path) {
  HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return File();
  return File(reinterpret_cast<intptr_t>(handle));
}

}  // namespace platform
