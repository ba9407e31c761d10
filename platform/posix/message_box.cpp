// Message boxes for the native build: the text goes to standard error and the
// box answers its default button.
#include "platform/message_box.h"

#include <cstdio>

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
      {kIdCancel, 10, 11},            // MB_CANCELTRYCONTINUE: Cancel, Try Again, Continue
  };
  const uint32_t set = style & 0xF;
  if (set >= sizeof(kButtons) / sizeof(kButtons[0])) return kIdOk;
  const uint32_t index = (style & 0xF00) >> 8;
  if (index < 3 && kButtons[set][index] != 0) return kButtons[set][index];
  return kButtons[set][0];
}

int ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  if (caption != nullptr) {
    std::fprintf(stderr, "%s: %s\n", caption, text != nullptr ? text : "");
  } else {
    std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
  }
  return DefaultAnswer(style);
}

}  // namespace platform
