// The commands of selfpatch-make: one table entry per command, each with its help.
#pragma once

#include <span>

// A command gets its own arguments (after its name) and returns the process
// exit code: 0 success, 1 failure, 2 wrong usage.
struct ToolCommand {
  const char* name;
  const char* summary;  // one line for the command list
  const char* help;     // the full text of `selfpatch-make NAME --help`
  int (*run)(std::span<char* const> arguments);
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The difference commands: diff, apply, verify.
[[nodiscard]] std::span<const ToolCommand> DifferenceCommands();
