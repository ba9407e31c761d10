// The calling thread's last system error and the system's texts for error codes.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Error codes are the platform's own: Win32 error codes on Windows, errno
// values elsewhere. 0 means no error.
[[nodiscard]] uint32_t LastErrorCode();
void SetLastErrorCode(uint32_t code);

// The system's message text for `code` in the user's default language,
// including the line end the system puts after it. Empty when the system has
// no text for the code or the code is 0.
[[nodiscard]] std::string ErrorMessageText(uint32_t code);

// True for the codes that mean "the disk is full" (ERROR_HANDLE_DISK_FULL and
// ERROR_DISK_FULL on Windows, ENOSPC and EDQUOT elsewhere).
[[nodiscard]] bool IsDiskFullError(uint32_t code);

}  // namespace platform
