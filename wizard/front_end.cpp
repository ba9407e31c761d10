// The Windows front ends: message boxes on the user-interface thread and the
// wizard run.
#include "wizard/front_end.h"

#include <windows.h>

#include "engine/run_context.h"
#include "wizard/wizard.h"

int Win32QuestionHost::ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  WizardState& wizard = Wizard();
  HWND frame = wizard.FrameWindow;
  if (GetCurrentThreadId() == ui_.uiThreadId || frame == nullptr) {
    return MessageBoxA(frame, text, caption, style);
  }
  // Boxes must run on the thread that owns their owner window. Only the
  // worker hands boxes over, one at a time, so one slot of each suffices.
  wizard.messageBoxCaption = caption;
  wizard.messageBoxAnswer = IDCANCEL;
  SendMessageA(frame, WMU_MESSAGEBOX, reinterpret_cast<WPARAM>(text), static_cast<LPARAM>(style));
  return wizard.messageBoxAnswer;
}

int Win32QuestionHost::AskOverwrite(const char* caption, const char* question) {
  WizardState& wizard = Wizard();
  HWND frame = wizard.FrameWindow;
  wizard.overwriteCaption = caption;
  if (GetCurrentThreadId() == ui_.uiThreadId || frame == nullptr) {
    return static_cast<int>(DialogBoxParamA(ui_.instance, MAKEINTRESOURCEA(kOverwriteTemplate),
                                            frame, OverwriteDialogProc,
                                            reinterpret_cast<LPARAM>(question)));
  }
  wizard.overwriteAnswer = IDCANCEL;
  SendMessageA(frame, WMU_OVERWRITE, reinterpret_cast<WPARAM>(&OverwriteDialogProc),
               reinterpret_cast<LPARAM>(question));
  return wizard.overwriteAnswer;
}

void Win32WizardHost::RunWizard(RunContext& context) {
  context.progressLog.normalColour = ui_.windowTextColour;
  context.progressLog.colour = ui_.windowTextColour;
  context.progressView = &WizardProgressView();
  static_cast<void>(::RunWizard(context, ui_));
  context.progressView = nullptr;
}
