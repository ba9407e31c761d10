// The string table on Linux: the texts compiled into the program, as UTF-8.
#include "platform/string_resources.h"

#include <cstring>

#include "message_keys.h"

namespace platform {

int LoadResourceString(uint32_t id, char* buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0) return 0;
  if (id >= static_cast<uint32_t>(kStringCount)) {
    buffer[0] = '\0';
    return 0;
  }
  const char* text = kStringTableUtf8[id];
  size_t count = std::strlen(text);
  const size_t room = static_cast<size_t>(capacity) - 1;
  if (count > room) {
    // Cut at a character boundary, as the system's conversion does, so that a
    // truncated text is never left with half a character.
    count = room;
    while (count > 0 && (static_cast<unsigned char>(text[count]) & 0xC0) == 0x80) --count;
  }
  std::memcpy(buffer, text, count);
  buffer[count] = '\0';
  return static_cast<int>(count);
}

}  // namespace platform
