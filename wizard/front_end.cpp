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

void Win32WizardHost::RunWizard(RunContext& context) {
  context.progressLog.normalColour = ui_.windowTextColour;
  context.progressLog.colour = ui_.windowTextColour;
  static_cast<void>(::RunWizard(context, ui_));
}
