// Command-line splitting for the windowed program.
#include "startup/command_line.h"

namespace {

bool IsArgumentBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(const char* line) {
  std::vector<std::string> arguments(1);
  if (line == nullptr) return arguments;
  const char* p = line;
  while (IsArgumentBlank(*p)) ++p;

  // The program's name: a quoted name ends at its closing quote, which is
  // consumed, so an argument may follow without a blank.
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && !IsArgumentBlank(*p)) ++p;
  }

  for (;;) {
    while (IsArgumentBlank(*p)) ++p;
    if (*p == '\0') break;
    std::string argument;
    bool quoted = false;
    while (*p != '\0' && (quoted || !IsArgumentBlank(*p))) {
      if (p[0] == '\\' && p[1] == '"') {
        argument += '"';
        p += 2;
      } else if (*p == '"') {
        quoted = !quoted;
        ++p;
      } else {
        argument += *p++;
      }
    }
    arguments.push_back(std::move(argument));
    if (*p != '\0') ++p;  // the one blank that ended the argument
  }
  return arguments;
}
