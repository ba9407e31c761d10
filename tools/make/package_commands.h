// The package commands of selfpatch-make: build and inspect.
#pragma once

#include <span>

#include "tools/make/commands.h"

// build: a package from an old and a new folder.
[[nodiscard]] std::span<const ToolCommand> BuildCommands();
// inspect: the catalogue, counts and settings of a package.
[[nodiscard]] std::span<const ToolCommand> InspectCommands();
