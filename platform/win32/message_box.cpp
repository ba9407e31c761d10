// Message boxes without an owner window on Windows.
#include "platform/message_box.h"

#include <windows.h>

namespace platform {

int ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  return MessageBoxA(nullptr, text, caption, style);
}

}  // namespace platform
