// Open files: a move-only owner of one operating-system file handle.
#pragma once

#include <cstdint>
#include <utility>

namespace platform {

class File {
 public:
  File() = default;
  ~File() { Close(); }
  File(File&& other) noexcept : handle_(std::exchange(other.handle_, kInvalid)) {}
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kInvalid);
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file for reading, letting others read it but not write
  // it. Not open on failure, with the last error set.
  [[nodiscard]] static File OpenForReading(const char* path);

  // Creates the file, or truncates it, for writing, sharing nothing. Not open
  // on failure, with the last error set.
  [[nodiscard]] static File CreateForWriting(const char* path);

  // Opens an existing file for reading, and for writing too when
  // `forWriting`, letting others read and write it. Not open on failure, with
  // the last error set. (platform/*/file_opening.cpp)
  [[nodiscard]] static File OpenSharingAll(const char* path, bool forWriting);

  // Opens the file for reading and writing, letting others only read it:
  // created when missing, emptied first when `truncate`, positioned at its
  // end. Not open on failure, with the last error set.
  [[nodiscard]] static File OpenForAppending(const char* path, bool truncate);

  // Creates the file anew (replacing an existing one) for reading and
  // writing, letting others read and write it, with the hidden attribute.
  // Not open on failure, with the last error set. (platform/*/temp_file.cpp)
  [[nodiscard]] static File CreateHiddenTemporary(const char* path);

  [[nodiscard]] bool IsOpen() const { return handle_ != kInvalid; }

  // Size in bytes; 0 when it cannot be read (the last error tells).
  [[nodiscard]] uint64_t Size() const;

  // Writes `count` bytes at the current position. `written` receives the
  // number actually written. False on failure, with the last error set.
  [[nodiscard]] bool Write(const void* data, uint32_t count, uint32_t* written);

  void Close();

  // The operating-system handle (a HANDLE on Windows, a descriptor elsewhere),
  // for other platform services.
  [[nodiscard]] intptr_t native() const { return handle_; }

 private:
  static constexpr intptr_t kInvalid = -1;
  explicit File(intptr_t handle) : handle_(handle) {}
  intptr_t handle_ = kInvalid;
};

}  // namespace platform
