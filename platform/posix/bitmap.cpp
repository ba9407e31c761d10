// Bitmaps on Linux: nothing draws them, so the file's bytes are kept once its
// header has been checked.
#include "platform/bitmap.h"

#include <cstdio>

#include "platform/posix/native_path.h"

namespace platform {

namespace {

uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t offset) {
  return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
         (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

// The checks a bitmap loader makes before it reads pixels: the "BM" file
// header, a known info header size, and pixel data inside the file.
bool LooksLikeBitmap(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const uint32_t pixelOffset = ReadU32(bytes, 10);
  const uint32_t headerSize = ReadU32(bytes, 14);
  const bool knownHeader = headerSize == 12 || headerSize == 40 || headerSize == 52 ||
                           headerSize == 56 || headerSize == 108 || headerSize == 124;
  return knownHeader && headerSize <= bytes.size() - 14 && pixelOffset < bytes.size();
}

}  // namespace

Bitmap Bitmap::LoadFromFile(const char* path) {
  Bitmap bitmap;
  std::FILE* file = std::fopen(NativePath(path).c_str(), "rb");
  if (file == nullptr) return bitmap;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + count);
  }
  const bool readFailed = std::ferror(file) != 0;
  std::fclose(file);
  if (!readFailed && LooksLikeBitmap(bytes)) bitmap.bytes_ = std::move(bytes);
  return bitmap;
}

void Bitmap::Release() {
  handle_ = 0;
  bytes_.clear();
}

}  // namespace platform
