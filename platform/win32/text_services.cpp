// Text services on Windows: locale comparison, the system's character tables,
// environment expansion, full paths and wvsprintfA, all in the ANSI code page.
#include "platform/text_services.h"

#include <windows.h>

namespace platform {

int CompareLocaleText(const char* a, int32_t lengthA, const char* b, int32_t lengthB,
                      bool ignoreCase) {
  // A negative length would mean "up to the NUL" to the system; this service
  // always compares exact lengths.
  if (lengthA < 0 || lengthB < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return CompareStringA(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, a, lengthA, b,
                        lengthB);
}

void UpperCaseText(char* text, uint32_t count) {
  if (text != nullptr && count > 0) CharUpperBuffA(text, count);
}

uint32_t ExpandEnvironmentText(const char* text, char* out, uint32_t capacity) {
  if (out == nullptr || capacity < 2) {
    const DWORD needed = ExpandEnvironmentStringsA(text, nullptr, 0);
    return needed == 0 ? 0 : (needed > capacity ? needed : capacity + 1);
  }
  // The ANSI service may need (and report) one byte more than the text and
  // its terminator, so it is given one byte less than the area holds. A
  // result it could not complete is reported as not fitting the whole area.
  const DWORD size = capacity - 1;
  const DWORD needed = ExpandEnvironmentStringsA(text, out, size);
  if (needed == 0) return 0;
  if (needed > size) return needed > capacity ? needed : capacity + 1;
  out[capacity - 1] = 0;
  return needed;
}

uint32_t FullPathText(const char* path, char* out, uint32_t capacity) {
  return GetFullPathNameA(path, capacity, out, nullptr);
}

int FormatTextV(char* out, const char* format, va_list args) {
  // wvsprintfA writes at most kFormatLimit bytes including the terminator.
  int produced = wvsprintfA(out, format, args);
  if (produced < 0) produced = 0;
  if (produced > kFormatLimit - 1) produced = kFormatLimit - 1;
  out[produced] = 0;
  return produced;
}

}  // namespace platform
