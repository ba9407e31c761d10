// Message boxes shown without a wizard window, and the box styles and answers.
#pragma once

#include <cstdint>

namespace platform {

// Styles and answers carry their Win32 values so that they can travel
// through the core unchanged.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbAbortRetryIgnore = 0x2;
inline constexpr uint32_t kMbYesNoCancel = 0x3;
inline constexpr uint32_t kMbYesNo = 0x4;
inline constexpr uint32_t kMbRetryCancel = 0x5;
inline constexpr uint32_t kMbIconError = 0x10;
inline constexpr uint32_t kMbIconQuestion = 0x20;
inline constexpr uint32_t kMbIconWarning = 0x30;
inline constexpr uint32_t kMbIconInformation = 0x40;
inline constexpr uint32_t kMbDefButton2 = 0x100;
inline constexpr uint32_t kMbDefButton3 = 0x200;
inline constexpr uint32_t kMbTaskModal = 0x2000;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
inline constexpr int kIdTryAgain = 10;
inline constexpr int kIdContinue = 11;

// The button a box of `style` answers when nobody presses anything: its
// default button.
[[nodiscard]] constexpr int DefaultAnswer(uint32_t style) {
  // Buttons of each button set, left to right; kMbDefButton2 and 3 pick the
  // second and third. A default beyond the set falls back to the first.
  constexpr int kButtons[][3] = {
      {kIdOk, 0, 0},                        // OK
      {kIdOk, kIdCancel, 0},                // OK, Cancel
      {kIdAbort, kIdRetry, kIdIgnore},      // Abort, Retry, Ignore
      {kIdYes, kIdNo, kIdCancel},           // Yes, No, Cancel
      {kIdYes, kIdNo, 0},                   // Yes, No
      {kIdRetry, kIdCancel, 0},             // Retry, Cancel
      {kIdCancel, kIdTryAgain, kIdContinue},  // Cancel, Try Again, Continue
  };
  const uint32_t set = style & 0xF;
  if (set >= sizeof(kButtons) / sizeof(kButtons[0])) return kIdOk;
  const uint32_t index = (style & 0xF00) >> 8;
  if (index < 3 && kButtons[set][index] != 0) return kButtons[set][index];
  return kButtons[set][0];
}

// Shows a box with no owner window. `caption` null means the system's default
// caption. On Windows this is MessageBoxA; elsewhere the text goes to standard
// error and the box answers its default button.
int ShowMessageBox(const char* text, const char* caption, uint32_t style);

}  // namespace platform
