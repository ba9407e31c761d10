// selfpatch-make apply-package: runs a package's whole update natively on a
// folder, without the wizard, answering its questions from a script.
#pragma once

#include <functional>
#include <span>
#include <string>

#include "engine/patch_stages.h"
#include "package/wizard_host.h"
#include "tools/make/commands.h"

class ProgressView;
class QuestionHost;

// Stands in for the wizard: commits the folders and options the way the
// folder and options pages do, opens the log file, runs the stages and
// writes the final report, as the worker thread does.
class DirectRunWizard final : public WizardHost {
 public:
  struct Choices {
    std::string sourceFolder;
    std::string destinationFolder;  // empty: the update is applied in place
    std::string backupFolder;       // empty: no backup stage
    std::string logFile;            // empty: no log file
    bool applyUpdate = true;        // the options page's "install the update"
  };

  DirectRunWizard(Choices choices, ProgressView* view) : choices_(std::move(choices)), view_(view) {}
  void RunWizard(RunContext& context) override;

  // Whether RunWizard was reached: false when the package could not be read.
  [[nodiscard]] bool ran() const { return ran_; }
  // The stages' failure records of the run.
  [[nodiscard]] const StageFailureRecords& failures() const { return failures_; }

  // Called with the committed context just before the stages start.
  std::function<void(RunContext&)> beforeStages;

 private:
  Choices choices_;
  ProgressView* view_;
  bool ran_ = false;
  StageFailureRecords failures_{};
};

// Maps the package data file at `packagePath` and runs it through the run
// driver with `wizard`. Returns the CompletionCode (1 when the stages
// completed, -1 otherwise); `error` is set when the file cannot be read.
[[nodiscard]] int ApplyPackageFile(const char* packagePath, DirectRunWizard& wizard,
                                   QuestionHost& host, std::string& error);

// The apply-package command.
[[nodiscard]] std::span<const ToolCommand> ApplyPackageCommands();
