// Open files on Windows: file handles, with GetLastError as the last error.
#include "platform/file.h"

#include <windows.h>

namespace platform {

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

File File::OpenForReading(const char* path) {
  HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return File();
  return File(reinterpret_cast<intptr_t>(handle));
}

File File::CreateForWriting(const char* path) {
  HANDLE handle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return File();
  return File(reinterpret_cast<intptr_t>(handle));
}

uint64_t File::Size() const {
  DWORD high = 0;
  const DWORD low = GetFileSize(AsHandle(handle_), &high);
  // INVALID_FILE_SIZE is also a valid low word; only the last error tells.
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  return (static_cast<uint64_t>(high) << 32) | low;
}

bool File::Write(const void* data, uint32_t count, uint32_t* written) {
  DWORD done = 0;
  const BOOL ok = WriteFile(AsHandle(handle_), data, count, &done, nullptr);
  if (written != nullptr) *written = done;
  return ok != FALSE;
}

void File::Close() {
  if (handle_ != kInvalid) {
    // Keep the caller's last error: closing is not the operation that failed.
    const DWORD saved = GetLastError();
    CloseHandle(AsHandle(handle_));
    SetLastError(saved);
    handle_ = kInvalid;
  }
}

}  // namespace platform
