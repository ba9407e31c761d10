// The overwrite question: five answers, ended with the id of the button
// pressed; the callers remember "all" answers.
#include <windows.h>
#include <richedit.h>

#include "wizard/wizard.h"

namespace {

constexpr int kQuestionText = 1039;
constexpr int kQuestionIcon = 1036;

}  // namespace

INT_PTR CALLBACK OverwriteDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WizardState& wizard = Wizard();
  switch (message) {
    case WM_INITDIALOG:
      SetClassLongPtrA(window, GCLP_HICON,
                       reinterpret_cast<LONG_PTR>(LoadIconA(wizard.ui->instance,
                                                            MAKEINTRESOURCEA(kProgramIcon))));
      SetWindowTextA(window, wizard.overwriteCaption != nullptr ? wizard.overwriteCaption : "");
      SendDlgItemMessageA(window, kQuestionIcon, STM_SETIMAGE, IMAGE_ICON,
                          reinterpret_cast<LPARAM>(LoadIconA(nullptr, IDI_QUESTION)));
      SetDlgItemTextA(window, kQuestionText, reinterpret_cast<const char*>(lParam));
      SendDlgItemMessageA(window, kQuestionText, EM_SETBKGNDCOLOR, 0,
                          static_cast<LPARAM>(wizard.ui->buttonFaceColour));
      // The system focuses the first tab stop: Overwrite.
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == kQuestionText) return TRUE;
      EndDialog(window, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}
