// The calling thread's last error and the system's message texts on Windows.
#include "platform/system_error.h"

#include <windows.h>

namespace platform {

uint32_t LastErrorCode() { return GetLastError(); }

void SetLastErrorCode(uint32_t code) { SetLastError(code); }

std::string ErrorMessageText(uint32_t code) {
  if (code == 0) return {};
  char* message = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&message),
      0, nullptr);
  if (message == nullptr) return {};
  std::string text(message, length);
  LocalFree(message);
  return text;
}

bool IsDiskFullError(uint32_t code) {
  return code == ERROR_HANDLE_DISK_FULL || code == ERROR_DISK_FULL;
}

}  // namespace platform
