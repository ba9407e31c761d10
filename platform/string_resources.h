// The executable's string table.
#pragma once

#include <cstdint>

namespace platform {

// Loads string `id` into `buffer` as LoadStringA does: at most capacity - 1
// bytes plus a terminator, in the ANSI code page. Returns the number of bytes
// copied, 0 when the table has no such string.
[[nodiscard]] int LoadResourceString(uint32_t id, char* buffer, int capacity);

}  // namespace platform
