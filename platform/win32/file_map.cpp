// Read-only views of whole files on Windows: a file mapping object and one view.
#include "platform/file_map.h"

#include <windows.h>

namespace platform {

FileMapping FileMapping::MapReadOnly(const File& file) {
  FileMapping mapping;
  HANDLE handle = reinterpret_cast<HANDLE>(file.native());
  DWORD high = 0;
  const DWORD low = GetFileSize(handle, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return mapping;
  const uint64_t size = (static_cast<uint64_t>(high) << 32) | low;

  // Fails for an empty file (ERROR_FILE_INVALID).
  HANDLE section = CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (section == nullptr) return mapping;
  void* view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) {
    const DWORD error = GetLastError();
    CloseHandle(section);
    SetLastError(error);
    return mapping;
  }
  mapping.data_ = static_cast<const uint8_t*>(view);
  mapping.size_ = size;
  mapping.section_ = reinterpret_cast<intptr_t>(section);
  return mapping;
}

void ReleaseMappedRange(const uint8_t* start, uint64_t size) {
  if (size == 0) return;
  // Unlocking pages that are not locked takes them out of the working set;
  // the call then reports ERROR_NOT_LOCKED, which is what is expected.
  const DWORD saved = GetLastError();
  VirtualUnlock(const_cast<uint8_t*>(start), static_cast<SIZE_T>(size));
  SetLastError(saved);
}

void FileMapping::Unmap() {
  if (data_ != nullptr) {
    const DWORD saved = GetLastError();
    UnmapViewOfFile(data_);
    CloseHandle(reinterpret_cast<HANDLE>(section_));
    SetLastError(saved);
    data_ = nullptr;
    size_ = 0;
    section_ = 0;
  }
}

}  // namespace platform
