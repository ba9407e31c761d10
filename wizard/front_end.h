// The Windows program's two front ends for the core: the question host that
// shows message boxes on the user-interface thread, and the wizard host.
#pragma once

#include "package/wizard_host.h"
#include "report/question_host.h"
#include "wizard/ui_state.h"

// Shows boxes owned by the wizard frame once it exists (without an owner
// before). On the user-interface thread the box runs at once; from any other
// thread it is handed to the frame with WMU_MESSAGEBOX and the sender waits
// for the answer.
class Win32QuestionHost final : public QuestionHost {
 public:
  explicit Win32QuestionHost(const UiState& ui) : ui_(ui) {}
  int ShowMessageBox(const char* text, const char* caption, uint32_t style) override;
  // The overwrite dialog, owned by the frame; from the worker it is handed
  // to the frame with WMU_OVERWRITE.
  int AskOverwrite(const char* caption, const char* question) override;

 private:
  const UiState& ui_;
};

// Runs the real wizard; the outcome is the context's CompletionCode.
class Win32WizardHost final : public WizardHost {
 public:
  explicit Win32WizardHost(const UiState& ui) : ui_(ui) {}
  void RunWizard(RunContext& context) override;

 private:
  const UiState& ui_;
};
