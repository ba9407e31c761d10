// Colour-capable standard output on Linux: any terminal.
#include "platform/terminal.h"

#include <unistd.h>

namespace platform {

bool StandardOutputShowsColours() { return ::isatty(STDOUT_FILENO) != 0; }

}  // namespace platform
