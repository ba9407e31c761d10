// selfpatch-make build: a package from an old and a new folder.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/terminal.h"
#include "tools/make/package_builder.h"
#include "tools/make/package_commands.h"
#include "tools/make/terminal_progress.h"

namespace {

constexpr char kUsage[] =
    "selfpatch-make build --old DIR --new DIR [--product FILE] [--install FILE]\n"
    "                           [--license RTF] [--notes RTF] [--picture BMP] [--stub EXE]\n"
    "                           [--code-page N] -o OUT";

constexpr char kHelp[] =
    "usage: selfpatch-make build --old DIR --new DIR [--product FILE] [--install FILE]\n"
    "                            [--license RTF] [--notes RTF] [--picture BMP]\n"
    "                            [--stub EXE] [--code-page N] -o OUT\n"
    "\n"
    "Compares the folder of the installed old version with the folder of the new\n"
    "version and writes the package that updates one into the other:\n"
    "  - a file only in the new folder becomes an Add item;\n"
    "  - a file that changed becomes an Update item (a difference file) unless\n"
    "    the compressed difference is not smaller than the compressed new file,\n"
    "    then a Replace item; unchanged files are left out;\n"
    "  - a new empty folder becomes a folder item;\n"
    "  - files and folders only in the old folder go into the lists del.files\n"
    "    and del.dirs (folders deepest first).\n"
    "Entries carry the new files' times and attributes. The same inputs always\n"
    "give the same bytes. Before it reports success the command reads the\n"
    "package back, verifies every entry and applies every difference in memory\n"
    "to the old folder; a package that fails is deleted.\n"
    "\n"
    "  --old DIR        the old version's folder\n"
    "  --new DIR        the new version's folder\n"
    "  --product FILE   the product description (INI text), entry `product`\n"
    "  --install FILE   the installation options (INI text), entry `install`\n"
    "  --license RTF    the licence agreement, entry `license.rtf`\n"
    "  --notes RTF      the release notes, entry `notes.rtf`\n"
    "  --picture BMP    the wizard's picture, entry `rtpic.bmp`\n"
    "  --stub EXE       append the package to this program (the self-applying\n"
    "                   executable); without it OUT is a package data file\n"
    "  --code-page N    code page of the entry names on the target (default 936)\n"
    "  -o OUT           the file to write\n";

int Usage() {
  std::fprintf(stderr, "usage: %s\n", kUsage);
  return kExitUsage;
}

int RunBuild(std::span<char* const> arguments) {
  BuildOptions options;
  struct Option {
    const char* name;
    std::string* value;
  } const known[] = {{"--old", &options.oldFolder},   {"--new", &options.newFolder},
                     {"--product", &options.product}, {"--install", &options.install},
                     {"--license", &options.license}, {"--notes", &options.notes},
                     {"--picture", &options.picture}, {"--stub", &options.stub},
                     {"-o", &options.output},         {"--output", &options.output}};
  for (size_t i = 0; i < arguments.size(); ++i) {
    const char* argument = arguments[i];
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
      std::fputs(kHelp, stdout);
      return kExitSuccess;
    }
    if (i + 1 >= arguments.size()) {
      std::fprintf(stderr, "selfpatch-make build: %s needs a value\n", argument);
      return Usage();
    }
    const char* value = arguments[++i];
    if (std::strcmp(argument, "--code-page") == 0) {
      char* end = nullptr;
      const unsigned long codePage = std::strtoul(value, &end, 10);
      if (*value == 0 || *end != 0 || codePage == 0 || codePage > 65535) {
        std::fprintf(stderr, "selfpatch-make build: %s is not a code page number\n", value);
        return Usage();
      }
      options.codePage = static_cast<uint32_t>(codePage);
      continue;
    }
    bool matched = false;
    for (const Option& option : known) {
      if (std::strcmp(argument, option.name) == 0) {
        *option.value = value;
        matched = true;
        break;
      }
    }
    if (!matched) {
      std::fprintf(stderr, "selfpatch-make build: unknown option %s\n", argument);
      return Usage();
    }
  }
  if (options.oldFolder.empty() || options.newFolder.empty() || options.output.empty()) {
    std::fputs("selfpatch-make build: --old, --new and -o are required\n", stderr);
    return Usage();
  }

  TerminalProgress progress(platform::StandardOutputShowsColours());
  options.progress = [&progress](const char* phase, uint64_t done, uint64_t total,
                                 const std::string& name) {
    progress.Show(phase, done, total, name);
  };
  BuildSummary summary;
  std::string error;
  const bool built = BuildPackageFromFolders(options, summary, error);
  progress.Clear();
  if (!built) {
    std::fprintf(stderr, "selfpatch-make build: %s\n", error.c_str());
    return kExitFailure;
  }
  std::printf(
      "%s: %" PRIu64 " bytes, %u added, %u replaced, %u updated, %u new folders, "
      "%u unchanged; %u files and %u folders to delete\n",
      options.output.c_str(), summary.packageSize, summary.added, summary.replaced,
      summary.updated, summary.directories, summary.unchanged, summary.deletedFiles,
      summary.deletedDirectories);
  return kExitSuccess;
}

constexpr ToolCommand kCommands[] = {
    {"build", "build a package from an old and a new folder", kHelp, RunBuild},
};

}  // namespace

std::span<const ToolCommand> BuildCommands() { return kCommands; }
