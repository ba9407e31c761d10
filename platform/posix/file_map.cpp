// Read-only views of whole files on Linux, with mmap.
#include "platform/file_map.h"

#include <cerrno>
#include <cstdint>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileMapping FileMapping::MapReadOnly(const File& file) {
  FileMapping mapping;
  if (!file.IsOpen()) {
    errno = EBADF;
    return mapping;
  }
  struct stat info;
  if (::fstat(static_cast<int>(file.native()), &info) != 0) return mapping;
  if (info.st_size <= 0) {
    // Windows refuses to map an empty file; so do we, with an error to show.
    errno = EINVAL;
    return mapping;
  }
  if (static_cast<uint64_t>(info.st_size) > SIZE_MAX) {
    errno = EFBIG;
    return mapping;
  }
  const size_t size = static_cast<size_t>(info.st_size);
  void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, static_cast<int>(file.native()), 0);
  if (view == MAP_FAILED) return mapping;
  mapping.data_ = static_cast<const uint8_t*>(view);
  mapping.size_ = size;
  return mapping;
}

void ReleaseMappedRange(const uint8_t* start, uint64_t size) {
  if (size == 0) return;
  // Whole pages around the range: a view starts on a page boundary, so the
  // pages stay inside it; neighbouring bytes come back when touched.
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto first = reinterpret_cast<uintptr_t>(start) & ~(page - 1);
  const uintptr_t end = reinterpret_cast<uintptr_t>(start) + static_cast<uintptr_t>(size);
  const int saved = errno;
  ::madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
  errno = saved;
}

void FileMapping::Unmap() {
  if (data_ != nullptr) {
    const int saved = errno;
    ::munmap(const_cast<uint8_t*>(data_), static_cast<size_t>(size_));
    errno = saved;
    data_ = nullptr;
    size_ = 0;
  }
}

}  // namespace platform
