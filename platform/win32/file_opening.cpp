// The shared and appending opens of files on Windows.
#include "platform/file.h"

#include <windows.h>

namespace platform {

File File::OpenSharingAll(const char* path, bool forWriting) {
  const DWORD access = GENERIC_READ | (forWriting ? GENERIC_WRITE : 0);
  HANDLE handle = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return File();
  return File(reinterpret_cast<intptr_t>(handle));
}

File File::OpenForAppending(const char* path, bool truncate) {
  HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  if (handle == INVALID_HANDLE_VALUE) return File();
  File file(reinterpret_cast<intptr_t>(handle));
  if (SetFilePointer(handle, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    file.Close();
  }
  return file;
}

}  // namespace platform
