// selfpatch-make apply-package: the whole engine on a folder, without the
// wizard, with scripted answers and the progress log on standard output.
#include "tools/make/command_apply_package.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/patch_stages.h"
#include "engine/run_context.h"
#include "package/run_package.h"
#include "platform/file.h"
#include "platform/file_map.h"
#include "platform/terminal.h"
#include "report/log_file.h"
#include "tools/make/scripted_front_end.h"
#include "tools/make/tool_files.h"

void DirectRunWizard::RunWizard(RunContext& context) {
  ran_ = true;
  PatchSettings& settings = context.settings;
  settings.SourceFolder.AssignText(choices_.sourceFolder.c_str());
  settings.SourceFolder.NormaliseFolder();
  if (choices_.destinationFolder.empty()) {
    settings.DestinationFolder.Assign(settings.SourceFolder);
  } else {
    settings.DestinationFolder.AssignText(choices_.destinationFolder.c_str());
    settings.DestinationFolder.NormaliseFolder();
  }
  settings.SameFolder =
      Compare(settings.SourceFolder, settings.DestinationFolder, true) == 0 ? 1 : 0;
  settings.ExecuteBackup = choices_.backupFolder.empty() ? 0 : 1;
  if (settings.ExecuteBackup != 0) {
    settings.BackupPath.AssignText(choices_.backupFolder.c_str());
    settings.BackupPath.NormaliseFolder();
  }
  settings.WriteLog = choices_.logFile.empty() ? 0 : 1;
  if (settings.WriteLog != 0) {
    settings.LogFileName.AssignText(choices_.logFile.c_str());
    OpenLogFile(context.logFile, settings.LogFileName.chars(), settings.OverwriteLog != 0,
                context.ModulePath.chars());
  }

  settings.ApplyUpdate = choices_.applyUpdate ? 1 : 0;

  context.progressView = view_;
  if (beforeStages) beforeStages(context);
  RunStages(context);
  failures_ = context.StageFailures;
  static_cast<void>(WriteRunReport(context));
  CloseLogFile(context.logFile);
  context.progressView = nullptr;
}

int ApplyPackageFile(const char* packagePath, DirectRunWizard& wizard, QuestionHost& host,
                     std::string& error) {
  InputFile package;
  if (!package.Open(packagePath, error)) return -1;
  if (package.bytes().size() > UINT32_MAX) {
    error = std::string("the package ") + packagePath + " is larger than 4 GiB";
    return -1;
  }
  RunContext context(host);
  context.archive.releaseReadPages = package.mapped();
  return RunPackage(context, wizard, package.bytes().data(),
                    static_cast<uint32_t>(package.bytes().size()));
}

namespace {

constexpr char kHelp[] =
    "usage: selfpatch-make apply-package PACKAGE --to DIR [--backup DIR] [--log FILE]\n"
    "                                    [--answers FILE]\n"
    "\n"
    "Runs the whole update of PACKAGE (a package or package data file) on the\n"
    "installed application in DIR, as the package's wizard would with DIR as the\n"
    "old and the new files' folder: integrity check, simulation when the package\n"
    "asks for it, backup into the --backup folder when one is given, application.\n"
    "Use it on a copy of the old tree to prove a package.\n"
    "\n"
    "  --to DIR        the installed application's folder, updated in place\n"
    "  --backup DIR    back up changed and deleted files into DIR first\n"
    "  --log FILE      write the log file FILE (appended to unless the package\n"
    "                  says OverwriteLog)\n"
    "  --answers FILE  answers to the questions, one per line, in the order they\n"
    "                  are asked: ok, cancel, abort, retry, ignore, yes, no for\n"
    "                  message boxes; overwrite, overwrite-all, skip, skip-all,\n"
    "                  cancel for the overwrite question; or a decimal code.\n"
    "                  Blank lines and lines starting with '#' are skipped.\n"
    "                  Without the file, or once it runs out, every question gets\n"
    "                  its default button (overwrite for the overwrite question).\n"
    "\n"
    "Every question, its answer and the progress log go to standard output, with\n"
    "colours on a terminal.\n"
    "\n"
    "Exit status: 0 when the update completed, 1 when it did not, 2 for wrong\n"
    "usage.\n";

int RunApplyPackage(std::span<char* const> arguments) {
  const char* package = nullptr;
  DirectRunWizard::Choices choices;
  std::string answersFile;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const char* argument = arguments[i];
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
      std::fputs(kHelp, stdout);
      return kExitSuccess;
    }
    std::string* value = nullptr;
    if (std::strcmp(argument, "--to") == 0) {
      value = &choices.sourceFolder;
    } else if (std::strcmp(argument, "--backup") == 0) {
      value = &choices.backupFolder;
    } else if (std::strcmp(argument, "--log") == 0) {
      value = &choices.logFile;
    } else if (std::strcmp(argument, "--answers") == 0) {
      value = &answersFile;
    }
    if (value != nullptr) {
      if (i + 1 >= arguments.size() || arguments[i + 1][0] == 0) {
        std::fprintf(stderr, "selfpatch-make apply-package: %s needs a value\n", argument);
        return kExitUsage;
      }
      *value = arguments[++i];
    } else if (argument[0] == '-' && argument[1] != 0) {
      std::fprintf(stderr, "selfpatch-make apply-package: unknown option '%s'\n\n%s", argument,
                   kHelp);
      return kExitUsage;
    } else if (package == nullptr) {
      package = argument;
    } else {
      std::fprintf(stderr, "selfpatch-make apply-package: more than one package given\n");
      return kExitUsage;
    }
  }
  if (package == nullptr || choices.sourceFolder.empty()) {
    std::fputs(kHelp, stderr);
    return kExitUsage;
  }

  std::vector<int> answers;
  std::string error;
  if (!answersFile.empty() && !ReadAnswersFile(answersFile.c_str(), answers, error)) {
    std::fprintf(stderr, "selfpatch-make apply-package: %s\n", error.c_str());
    return kExitUsage;
  }
  AnswerScriptHost host(std::move(answers), stdout);
  StreamProgressView view(stdout, platform::StandardOutputShowsColours());
  DirectRunWizard wizard(choices, &view);
  const int completion = ApplyPackageFile(package, wizard, host, error);
  if (!error.empty()) {
    std::fprintf(stderr, "selfpatch-make apply-package: %s\n", error.c_str());
    return kExitFailure;
  }
  std::fflush(stdout);
  return completion == 1 ? kExitSuccess : kExitFailure;
}

constexpr ToolCommand kCommands[] = {
    {"apply-package", "run a package's whole update on a folder, without the wizard", kHelp,
     RunApplyPackage},
};

}  // namespace

std::span<const ToolCommand> ApplyPackageCommands() { return kCommands; }
