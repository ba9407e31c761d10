// Splitting the program's command line into its arguments.
#pragma once

#include <string>
#include <vector>

// Splits an ANSI command line. The first token, the program's name, is not
// copied: element 0 of the result is left empty for the caller to fill with
// the program's full path; elements 1 and on are the arguments.
//
// A blank is a space or a tab. A double quote opens a run that lasts to the
// next double quote or the end of the line, with blanks inside belonging to
// the argument and both quotes dropped; a backslash directly before a double
// quote yields a literal quote, and every other backslash stays as it is.
[[nodiscard]] std::vector<std::string> SplitCommandLine(const char* line);
