// The last error and its text for the native build: errno and the C library's
// descriptions.
#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace platform {

uint32_t LastErrorCode() { return static_cast<uint32_t>(errno); }

void SetLastErrorCode(uint32_t code) { errno = static_cast<int>(code); }

std::string ErrorMessageText(uint32_t code) {
  if (code == 0 || code > static_cast<uint32_t>(INT32_MAX)) return {};
  // strerrordesc_np answers null for codes it does not know, where strerror
  // would make up an "Unknown error" text.
  const char* description = strerrordesc_np(static_cast<int>(code));
  if (description == nullptr) return {};
  // Same shape as the Windows texts, which end with a line end.
  std::string text(description);
  text += "\r\n";
  return text;
}

bool IsDiskFullError(uint32_t code) { return code == ENOSPC || code == EDQUOT; }

}  // namespace platform
