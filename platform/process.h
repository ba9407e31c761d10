// Ending the process.
#pragma once

namespace platform {

// Ends the process at once with `code`, without unwinding or running static
// destructors (ExitProcess on Windows, _exit elsewhere).
[[noreturn]] void ExitProcessNow(int code);

}  // namespace platform
