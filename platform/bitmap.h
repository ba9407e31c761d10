// Pictures loaded from bitmap files.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace platform {

// A move-only owner of a loaded bitmap: a GDI bitmap handle on Windows; the
// file's bytes elsewhere, where nothing draws it.
class Bitmap {
 public:
  Bitmap() = default;
  ~Bitmap() { Release(); }
  Bitmap(Bitmap&& other) noexcept
      : handle_(std::exchange(other.handle_, 0)), bytes_(std::move(other.bytes_)) {
    other.bytes_.clear();
  }
  Bitmap& operator=(Bitmap&& other) noexcept {
    if (this != &other) {
      Release();
      handle_ = std::exchange(other.handle_, 0);
      bytes_ = std::move(other.bytes_);
      other.bytes_.clear();
    }
    return *this;
  }
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  // Loads a bitmap file at its natural size (LoadImageA with LR_LOADFROMFILE
  // on Windows; elsewhere the file is read and its header checked). Not
  // loaded when the file is missing or is not a bitmap.
  [[nodiscard]] static Bitmap LoadFromFile(const char* path);

  [[nodiscard]] bool IsLoaded() const { return handle_ != 0 || !bytes_.empty(); }
  // The HBITMAP on Windows; 0 elsewhere.
  [[nodiscard]] intptr_t native() const { return handle_; }
  // The file's bytes where there is no handle; empty on Windows.
  [[nodiscard]] const std::vector<uint8_t>& bytes() const { return bytes_; }

  void Release();

 private:
  intptr_t handle_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace platform
