// Ending the process in the native build.
#include "platform/process.h"

#include <unistd.h>

namespace platform {

void ExitProcessNow(int code) { _exit(code); }

}  // namespace platform
