// Message boxes for the native build: the text goes to standard error and the
// box answers its default button.
#include "platform/message_box.h"

#include <cstdio>

namespace platform {

int ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  if (caption != nullptr) {
    std::fprintf(stderr, "%s: %s\n", caption, text != nullptr ? text : "");
  } else {
    std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
  }
  return DefaultAnswer(style);
}

}  // namespace platform
