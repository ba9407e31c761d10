// The wizard frame: the page table, page switching by moving controls, the
// install page mark, validation, navigation and the header.
#include <windows.h>
#include <richedit.h>

#include "engine/run_context.h"
#include "message_keys.h"
#include "platform/message_box.h"
#include "report/questions.h"
#include "settings/page_rules.h"
#include "startup/process_texts.h"
#include "wizard/wizard.h"

namespace {

WizardState gWizard;

// The control lists of the six rows, in the order the table gives them.
constexpr WORD kWelcomeControls[] = {1006, 2, 1023, 1040, 1022, 1024, 3};
constexpr WORD kLicenceControls[] = {1037, 3, 1006, 2, 1036, 1007};
constexpr WORD kNotesControls[] = {1006, 2, 1025, 3};
constexpr WORD kFolderControls[] = {1, 1006, 2, 1008, 1009, 1010, 1011,
                                    3, 1028, 1029, 1007, 1013, 1012};
constexpr WORD kOptionsControls[] = {1, 2, 1014, 1015, 1016, 1017, 1018, 1021, 1019, 1020, 1022, 3};
constexpr WORD kProgressControls[] = {2, 1032, 1030, 1031};

constexpr uint32_t kCancelQuestionStyle =
    platform::kMbYesNo | platform::kMbIconQuestion | platform::kMbDefButton2;

bool IsNavigationButton(int id) {
  return id == kIdInstall || id == kIdCancel || id == kIdBack || id == kIdNext;
}

template <size_t N>
WizardPage Row(WORD templateId, DLGPROC procedure, const WORD (&controls)[N], WORD defaultButton,
               const char* title, const char* subtitle) {
  WizardPage page;
  page.templateId = templateId;
  page.procedure = procedure;
  page.controls = controls;
  page.controlCount = static_cast<WORD>(N);
  page.defaultButton = defaultButton;
  page.title = title;
  page.subtitle = subtitle;
  return page;
}

// Focus memory: a navigation button that gets the focus from another control
// of the current page remembers that control as the page's focus control.
LRESULT CALLBACK NavigationButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
  WizardState& wizard = gWizard;
  if (message == WM_SETFOCUS && !wizard.switching && wizard.currentPage >= 0) {
    HWND lost = reinterpret_cast<HWND>(wParam);
    const int id = lost != nullptr ? GetDlgCtrlID(lost) : 0;
    if (id != 0 && !IsNavigationButton(id)) {
      wizard.pages[wizard.currentPage].focusControl = static_cast<WORD>(id);
    }
  }
  return CallWindowProcA(wizard.previousButtonProc, button, message, wParam, lParam);
}

void SubclassNavigationButtons(const WizardPage& page) {
  for (WORD i = 0; i < page.controlCount; ++i) {
    if (!IsNavigationButton(page.controls[i])) continue;
    HWND button = GetDlgItem(page.window, page.controls[i]);
    if (button == nullptr) continue;
    const LONG_PTR previous = SetWindowLongPtrA(button, GWLP_WNDPROC,
                                                reinterpret_cast<LONG_PTR>(NavigationButtonProc));
    gWizard.previousButtonProc = reinterpret_cast<WNDPROC>(previous);
  }
}

// Moves a page's controls between its window and the frame, last to first,
// so that they keep their tab order on top of the frame's own controls.
void MoveControls(WizardPage& page, HWND from, HWND to) {
  for (int i = page.controlCount - 1; i >= 0; --i) {
    HWND control = GetDlgItem(from, page.controls[i]);
    if (control != nullptr) SetParent(control, to);
  }
  page.inFrame = to == gWizard.FrameWindow;
}

// Offers a direct notice to a page; non-zero when the page handled it.
INT_PTR CallPage(int index, UINT message, LPARAM lParam) {
  WizardPage& page = gWizard.pages[index];
  return page.procedure(PageHost(index), message, 0, lParam);
}

void InstallRequest() {
  WizardState& wizard = gWizard;
  for (int row = 0; row < kProgressPage; ++row) {
    // Rows the user has already passed stay as they were accepted.
    if (row < wizard.currentPage && wizard.pages[row].enabled) continue;
    if (!ValidatePage(row)) return;
  }
  ShowPage(kProgressPage);
  static_cast<void>(StartWorker());
}

BOOL InitialiseFrame(HWND frame) {
  WizardState& wizard = gWizard;
  const PatchSettings& settings = wizard.context->settings;
  wizard.FrameWindow = frame;
  wizard.ActiveDialog = frame;

  SetClassLongPtrA(frame, GCLP_HICON,
                   reinterpret_cast<LONG_PTR>(LoadIconA(wizard.ui->instance,
                                                        MAKEINTRESOURCEA(kProgramIcon))));
  if (settings.Picture.IsLoaded()) {
    SendDlgItemMessageA(frame, kHeaderPicture, STM_SETIMAGE, IMAGE_BITMAP,
                        static_cast<LPARAM>(settings.Picture.native()));
  }
  SetWindowTextA(frame, settings.Title.chars());

  RECT frameRect;
  GetWindowRect(frame, &frameRect);
  HWND divider = GetDlgItem(frame, kHeaderDivider);
  RECT rect;
  GetWindowRect(divider, &rect);
  MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&rect), 2);
  MoveWindow(divider, 0, rect.top, frameRect.right - frameRect.left, rect.bottom - rect.top, TRUE);

  HWND band = GetDlgItem(frame, kHeaderBand);
  GetWindowRect(band, &rect);
  MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&rect), 2);
  MoveWindow(band, rect.left, rect.top, rect.right - rect.left + 2, rect.bottom - rect.top, TRUE);

  SetRichText(frame, kHeaderTitle, kWhite, nullptr);
  SetRichText(frame, kHeaderSubtitle, kWhite, nullptr);
  ShowPage(kWelcomePage);
  return FALSE;
}

// The Cancel question on rows 0 to 4; Yes ends the frame with 2.
void AskCancel(HWND frame) {
  const int answer = AskUser(*gWizard.context, CatalogueText(kMsgCancelQuestion),
                             kCancelQuestionStyle);
  if (answer == IDYES) EndDialog(frame, 2);
}

INT_PTR CALLBACK FrameDialogProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
  WizardState& wizard = gWizard;
  switch (message) {
    case WM_INITDIALOG:
      return InitialiseFrame(frame);
    case WMU_SHOWTEXT:
      ShowPendingText();
      return TRUE;
    case WMU_MESSAGEBOX:
      // A box handed over by another thread; the sender reads the answer.
      // The log view first shows everything written before the question.
      ShowPendingText();
      wizard.messageBoxAnswer = MessageBoxA(frame, reinterpret_cast<const char*>(wParam),
                                            wizard.messageBoxCaption, static_cast<UINT>(lParam));
      return TRUE;
    case WMU_OVERWRITE:
      ShowPendingText();
      wizard.overwriteAnswer = static_cast<int>(
          DialogBoxParamA(wizard.ui->instance, MAKEINTRESOURCEA(kOverwriteTemplate), frame,
                          reinterpret_cast<DLGPROC>(wParam), lParam));
      return TRUE;
    default:
      break;
  }

  if (message == WM_COMMAND && wizard.currentPage != kProgressPage) {
    const int id = LOWORD(wParam);
    if (id == kIdInstall || (id == kIdNext && wizard.currentPage == wizard.installPage)) {
      InstallRequest();
      return TRUE;
    }
  }

  if (wizard.currentPage >= 0) {
    const INT_PTR handled =
        wizard.pages[wizard.currentPage].procedure(frame, message, wParam, lParam);
    if (handled != 0) return handled;
  }
  if (message != WM_COMMAND) return FALSE;

  HWND pressed = reinterpret_cast<HWND>(lParam);
  switch (LOWORD(wParam)) {
    case kIdCancel:
      if (wizard.currentPage < kProgressPage) AskCancel(frame);
      return TRUE;
    case kIdBack:
      if (pressed != nullptr) SetFocus(pressed);
      ShowPage(PrevEnabledPage(wizard.currentPage));
      return TRUE;
    case kIdNext:
      if (ValidatePage(wizard.currentPage)) {
        if (pressed != nullptr) SetFocus(pressed);
        ShowPage(NextEnabledPage(wizard.currentPage));
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

WizardState& Wizard() { return gWizard; }

HWND PageHost(int index) {
  const WizardPage& page = gWizard.pages[index];
  return page.inFrame ? gWizard.FrameWindow : page.window;
}

int NextEnabledPage(int index) {
  for (int row = index + 1; row < kPageCount; ++row) {
    if (gWizard.pages[row].enabled) return row;
  }
  return index;
}

int PrevEnabledPage(int index) {
  for (int row = index - 1; row >= 0; --row) {
    if (gWizard.pages[row].enabled) return row;
  }
  return index;
}

void SetInstallPage(int index) {
  WizardState& wizard = gWizard;
  if (index == wizard.installPage) return;
  const ProcessTexts& texts = GetProcessTexts();
  if (wizard.installPage >= 0 && CallPage(wizard.installPage, WMU_INSTALLPAGE, 0) == 0) {
    SetDlgItemTextA(PageHost(wizard.installPage), kIdNext, texts.buttonNext);
  }
  wizard.installPage = index;
  if (index >= 0 && CallPage(index, WMU_INSTALLPAGE, 1) == 0) {
    SetDlgItemTextA(PageHost(index), kIdNext, texts.buttonInstall);
  }
}

void ShowPageHeader(int index) {
  WizardState& wizard = gWizard;
  HWND frame = wizard.FrameWindow;
  const WizardPage& page = wizard.pages[index];
  const char* title = page.title != nullptr ? page.title : "";
  const char* subtitle = page.subtitle != nullptr ? page.subtitle : "";

  TextBuffer rtf = RtfText(21, "\\b %s");
  TextBuffer text;
  text.Format(rtf.chars(), title);
  StreamRtf(frame, kHeaderTitle, text.chars());

  rtf = RtfText(16, subtitle);
  StreamRtf(frame, kHeaderSubtitle, rtf.chars());
  if (SendDlgItemMessageA(frame, kHeaderSubtitle, EM_GETLINECOUNT, 0, 0) == 1) {
    // One line: 9 points below a 2-point spacer paragraph.
    rtf = RtfText(18, "\\fs4  \\par\\fs%i %s");
    text.Format(rtf.chars(), 18, subtitle);
    StreamRtf(frame, kHeaderSubtitle, text.chars());
  }

  SendMessageA(frame, DM_SETDEFID, kIdCancel, 0);
  SendMessageA(frame, DM_SETDEFID, page.defaultButton, 0);
}

void ShowPage(int index) {
  WizardState& wizard = gWizard;
  if (index == wizard.currentPage) return;
  HWND frame = wizard.FrameWindow;
  wizard.switching = true;

  if (wizard.currentPage >= 0) {
    WizardPage& leaving = wizard.pages[wizard.currentPage];
    MoveControls(leaving, frame, leaving.window);
  }
  if (index != -1) {
    WizardPage& page = wizard.pages[index];
    if (!page.enabled) {
      page.enabled = 1;
      if (index > wizard.installPage) SetInstallPage(index);
    }
    MoveControls(page, page.window, frame);
    if (index == kWelcomePage) {
      SetWindowPos(GetDlgItem(frame, 1040), GetDlgItem(frame, kHeaderBand), 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    ShowPageHeader(index);
    SetFocus(GetDlgItem(frame, page.focusControl));
  }
  wizard.currentPage = index;
  ShowDlgControl(frame, kHeaderTitle, index > 0);
  ShowDlgControl(frame, kHeaderSubtitle, index > 0);
  wizard.switching = false;
}

bool ValidatePage(int index) {
  WizardState& wizard = gWizard;
  wizard.pageUnderValidation = index;
  wizard.validationFailed = false;
  static_cast<void>(CallPage(index, WMU_COMMIT, 0));
  wizard.pageUnderValidation = -1;
  return !wizard.validationFailed;
}

void FailValidation(WORD controlId) {
  WizardState& wizard = gWizard;
  if (wizard.pageUnderValidation >= 0) ShowPage(wizard.pageUnderValidation);
  if (controlId != kNoControl) {
    HWND control = GetDlgItem(wizard.FrameWindow, controlId);
    SendMessageA(control, EM_SETSEL, 0, -1);
    SetFocus(control);
  }
  wizard.validationFailed = true;
}

int RunWizard(RunContext& context, const UiState& ui) {
  WizardState& wizard = gWizard;
  wizard.context = &context;
  wizard.ui = &ui;
  const PatchSettings& settings = context.settings;

  TextBuffer notesSubtitle;
  notesSubtitle.Format(CatalogueText(kMsgNotesSubtitle), settings.ProductName.chars(),
                       settings.NewVersion.chars());
  TextBuffer folderSubtitle;
  folderSubtitle.Format(CatalogueText(kMsgFolderSubtitle), settings.ProductName.chars());
  TextBuffer progressSubtitle;
  progressSubtitle.Format(CatalogueText(kMsgInstallSubtitle), settings.ProductName.chars(),
                          settings.NewVersion.chars());

  wizard.pages = {
      Row(kWelcomeTemplate, WelcomePageProc, kWelcomeControls, 1006, nullptr, nullptr),
      Row(kLicenceTemplate, LicencePageProc, kLicenceControls, 1006,
          CatalogueText(kMsgLicenseTitle), CatalogueText(kMsgLicenseSubtitle)),
      Row(kNotesTemplate, NotesPageProc, kNotesControls, 1006, CatalogueText(kMsgNotesTitle),
          notesSubtitle.chars()),
      Row(kFolderTemplate, FolderPageProc, kFolderControls, 1, CatalogueText(kMsgFolderTitle),
          folderSubtitle.chars()),
      Row(kOptionsTemplate, OptionsPageProc, kOptionsControls, 1,
          CatalogueText(kMsgOptionsTitle), CatalogueText(kMsgOptionsSubtitle)),
      Row(kProgressTemplate, ProgressPageProc, kProgressControls, 1,
          CatalogueText(kMsgInstallTitle), progressSubtitle.chars()),
  };
  wizard.currentPage = -1;
  wizard.installPage = -1;

  for (int row = 0; row < kPageCount; ++row) {
    WizardPage& page = wizard.pages[row];
    page.index = row;
    page.enabled = 1;
    page.focusControl = page.controls[0];
    page.window = CreateDialogParamA(ui.instance, MAKEINTRESOURCEA(page.templateId), nullptr,
                                     page.procedure, 0);
    SubclassNavigationButtons(page);
  }

  const int32_t shown[] = {settings.ShowLicense, settings.ShowNotes, settings.ShowAppFolder,
                           settings.ShowOptions};
  int candidate = -1;
  for (int row = kLicencePage; row <= kOptionsPage; ++row) {
    wizard.pages[row].enabled = shown[row - kLicencePage] != 0 ? 1 : 0;
    if (wizard.pages[row].enabled) candidate = row;
  }
  // With every optional page hidden the welcome page's Next starts the
  // update, so that the hidden pages still commit and a worker can run.
  SetInstallPage(candidate >= 0 ? candidate : kWelcomePage);

  const INT_PTR result = DialogBoxParamA(ui.instance, MAKEINTRESOURCEA(kFrameTemplate), nullptr,
                                         FrameDialogProc, 0);
  wizard.FrameWindow = nullptr;
  wizard.ActiveDialog = nullptr;
  return static_cast<int>(result);
}
