// Bitmaps on Windows: GDI bitmaps loaded from files.
#include "platform/bitmap.h"

#include <windows.h>

namespace platform {

Bitmap Bitmap::LoadFromFile(const char* path) {
  Bitmap bitmap;
  HANDLE image = LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
  bitmap.handle_ = reinterpret_cast<intptr_t>(image);
  return bitmap;
}

void Bitmap::Release() {
  if (handle_ != 0) DeleteObject(reinterpret_cast<HBITMAP>(handle_));
  handle_ = 0;
  bytes_.clear();
}

}  // namespace platform
