// Message boxes without an owner window on Windows.
#include "platform/message_box.h"

#include <windows.h>

namespace platform {

int DefaultAnswer(uint32_t style) {
  // Buttons of each button set, left to right; MB_DEFBUTTON2 and 3 pick the
  // second and third. A default beyond the set falls back to the first.
  static constexpr int kButtons[][3] = {
      {kIdOk, 0, 0},                  // MB_OK
      {kIdOk, kIdCancel, 0},          // MB_OKCANCEL
      {kIdAbort, kIdRetry, kIdIgnore},  // MB_ABORTRETRYIGNORE
      {kIdYes, kIdNo, kIdCancel},     // MB_YESNOCANCEL
      {kIdYes, kIdNo, 0},             // MB_YESNO
      {kIdRetry, kIdCancel, 0},       // MB_RETRYCANCEL
      {kIdCancel, IDTRYAGAIN, IDCONTINUE},  // MB_CANCELTRYCONTINUE
  };
  const uint32_t set = style & MB_TYPEMASK;
  if (set >= sizeof(kButtons) / sizeof(kButtons[0])) return kIdOk;
  const uint32_t index = (style & MB_DEFMASK) >> 8;
  if (index < 3 && kButtons[set][index] != 0) return kButtons[set][index];
  return kButtons[set][0];
}

int ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  return MessageBoxA(nullptr, text, caption, style);
}

}  // namespace platform
