// selfpatch-make: the package author's tool. Finds the command and runs it.
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

#include "tools/make/command_apply_package.h"
#include "tools/make/commands.h"
#include "tools/make/package_commands.h"

namespace {

std::vector<ToolCommand> AllCommands() {
  std::vector<ToolCommand> commands;
  for (const ToolCommand& command : DifferenceCommands()) commands.push_back(command);
  for (const ToolCommand& command : ApplyPackageCommands()) commands.push_back(command);
  for (const ToolCommand& command : BuildCommands()) commands.push_back(command);
  for (const ToolCommand& command : InspectCommands()) commands.push_back(command);
  return commands;
}

void PrintCommandList(std::FILE* stream, const std::vector<ToolCommand>& commands) {
  std::fputs("usage: selfpatch-make COMMAND [ARGUMENTS]\n\ncommands:\n", stream);
  for (const ToolCommand& command : commands) {
    std::fprintf(stream, "  %-14s %s\n", command.name, command.summary);
  }
  std::fputs("\n`selfpatch-make COMMAND --help` describes a command.\n", stream);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<ToolCommand> commands = AllCommands();
  if (argc < 2) {
    PrintCommandList(stderr, commands);
    return kExitUsage;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintCommandList(stdout, commands);
    return kExitSuccess;
  }
  for (const ToolCommand& command : commands) {
    if (std::strcmp(argv[1], command.name) == 0) {
      return command.run(std::span<char* const>(argv + 2, static_cast<size_t>(argc - 2)));
    }
  }
  std::fprintf(stderr, "selfpatch-make: unknown command '%s'\n\n", argv[1]);
  PrintCommandList(stderr, commands);
  return kExitUsage;
}
