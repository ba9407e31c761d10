// Whether standard output is a terminal that shows colour codes.
#pragma once

namespace platform {

// True when standard output is a terminal that interprets ANSI colour and
// weight codes (on Windows, a console where such processing could be turned
// on).
[[nodiscard]] bool StandardOutputShowsColours();

}  // namespace platform
