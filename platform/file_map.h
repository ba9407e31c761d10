// Read-only views of whole files.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/file.h"

namespace platform {

// A read-only mapping of a whole file. The file cannot be written by others
// while it is mapped from a handle that shares reading only; a page fault
// (vanished media, a file truncated behind our back) replaces an error return.
class FileMapping {
 public:
  FileMapping() = default;
  ~FileMapping() { Unmap(); }
  FileMapping(FileMapping&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        section_(std::exchange(other.section_, 0)) {}
  FileMapping& operator=(FileMapping&& other) noexcept {
    if (this != &other) {
      Unmap();
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      section_ = std::exchange(other.section_, 0);
    }
    return *this;
  }
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  // Maps all of `file` read-only. Fails (not mapped, last error set) for an
  // empty file, as the system does.
  [[nodiscard]] static FileMapping MapReadOnly(const File& file);

  [[nodiscard]] bool IsMapped() const { return data_ != nullptr; }
  [[nodiscard]] const uint8_t* data() const { return data_; }
  [[nodiscard]] uint64_t size() const { return size_; }

  void Unmap();

 private:
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
  intptr_t section_ = 0;  // the mapping object on Windows; unused elsewhere
};

// Lets the pages of [start, start + size), a range inside a FileMapping's
// view, leave this process's resident memory: they stay readable and come
// back from the file (normally from the system's cache) when touched again.
// Only for ranges of a mapping: elsewhere the bytes could be lost.
void ReleaseMappedRange(const uint8_t* start, uint64_t size);

}  // namespace platform
