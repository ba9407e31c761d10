// The progress page: the log view, the bar and the button that closes the
// wizard once no update is running.
#include <windows.h>
#include <richedit.h>

#include "engine/run_context.h"
#include "report/log_file.h"
#include "wizard/wizard.h"

namespace {

constexpr int kLogView = 1032;
constexpr int kProgressBar = 1031;

bool WorkerRunning() {
  HANDLE worker = Wizard().workerThread;
  return worker != nullptr && WaitForSingleObject(worker, 0) == WAIT_TIMEOUT;
}

}  // namespace

INT_PTR CALLBACK ProgressPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WizardState& wizard = Wizard();
  switch (message) {
    case WM_INITDIALOG:
      wizard.ActiveDialog = window;
      wizard.logView = GetDlgItem(window, kLogView);
      SendMessageA(wizard.logView, EM_SETBKGNDCOLOR, 0,
                   static_cast<LPARAM>(wizard.ui->buttonFaceColour));
      wizard.progressBar = GetDlgItem(window, kProgressBar);
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) != kIdCancel) return 0;
      if (!WorkerRunning()) {
        if (wizard.workerThread != nullptr) CloseHandle(wizard.workerThread);
        wizard.workerThread = nullptr;
        CloseLogFile(wizard.context->logFile);
        EndDialog(window, 2);
      }
      return TRUE;
    default:
      return 0;
  }
}
