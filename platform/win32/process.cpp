// Ending the process on Windows.
#include "platform/process.h"

#include <windows.h>

namespace platform {

void ExitProcessNow(int code) {
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace platform
