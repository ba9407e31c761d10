// The wizard's page table and state, and the frame's services to its pages.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "base/text_buffer.h"
#include "wizard/ui_state.h"

struct RunContext;

// Private window messages of the wizard.
inline constexpr UINT WMU_INSTALLPAGE = WM_USER + 2000;  // 3024, direct call: lParam 1 or 0
inline constexpr UINT WMU_MESSAGEBOX = WM_USER + 2001;   // 3025, sent: text, style
inline constexpr UINT WMU_COMMIT = WM_USER + 2002;       // 3026, direct call
inline constexpr UINT WMU_OVERWRITE = WM_USER + 2003;    // 3027, sent: procedure, text
inline constexpr UINT WMU_SHOWTEXT = WM_USER + 2004;     // 3028, sent: show the pending log text

// Dialog templates.
inline constexpr WORD kWelcomeTemplate = 130;
inline constexpr WORD kLicenceTemplate = 133;
inline constexpr WORD kOptionsTemplate = 134;
inline constexpr WORD kFolderTemplate = 135;
inline constexpr WORD kNotesTemplate = 136;
inline constexpr WORD kFrameTemplate = 138;
inline constexpr WORD kProgressTemplate = 139;
inline constexpr WORD kOverwriteTemplate = 142;
inline constexpr WORD kProgramIcon = 130;

// Navigation buttons.
inline constexpr int kIdInstall = 1;
inline constexpr int kIdCancel = 2;  // also Abort and Close on the progress page
inline constexpr int kIdBack = 3;
inline constexpr int kIdNext = 1006;

// Controls of the frame.
inline constexpr int kHeaderTitle = 1000;
inline constexpr int kHeaderSubtitle = 1001;
inline constexpr int kHeaderBand = 1003;
inline constexpr int kHeaderDivider = 1004;
inline constexpr int kHeaderPicture = 1044;

// Rows of the page table.
inline constexpr int kWelcomePage = 0;
inline constexpr int kLicencePage = 1;
inline constexpr int kNotesPage = 2;
inline constexpr int kFolderPage = 3;
inline constexpr int kOptionsPage = 4;
inline constexpr int kProgressPage = 5;
inline constexpr int kPageCount = 6;

inline constexpr COLORREF kWhite = RGB(255, 255, 255);

// One row of the page table.
struct WizardPage {
  WORD templateId = 0;
  DLGPROC procedure = nullptr;
  const WORD* controls = nullptr;  // the controls that move into the frame
  WORD controlCount = 0;
  WORD defaultButton = 0;
  const char* title = nullptr;     // null for the welcome page
  const char* subtitle = nullptr;
  int index = 0;
  HWND window = nullptr;           // the page's own hidden dialog
  BYTE enabled = 0;                // takes part in Next and Back
  WORD focusControl = 0;
  bool inFrame = false;            // its controls are in the frame now
};

// The one wizard of the process. Everything runs on the user-interface
// thread except the reads of FrameWindow by the question host.
struct WizardState {
  RunContext* context = nullptr;
  const UiState* ui = nullptr;

  std::array<WizardPage, kPageCount> pages{};
  int currentPage = -1;
  int installPage = -1;
  int pageUnderValidation = -1;
  bool validationFailed = false;
  bool switching = false;
  // The navigation buttons' own window procedure (all are push buttons).
  WNDPROC previousButtonProc = nullptr;

  HWND FrameWindow = nullptr;
  HWND ActiveDialog = nullptr;

  // The progress page's log view and bar, stored when the page initialises.
  HWND logView = nullptr;
  HWND progressBar = nullptr;

  // The worker thread, once the install request has started it.
  HANDLE workerThread = nullptr;
  DWORD workerThreadId = 0;

  // Hand-over of a message box from another thread: the caption to show and
  // the answer, read by the sender after its SendMessage returns.
  const char* messageBoxCaption = nullptr;
  int messageBoxAnswer = IDCANCEL;
  // The overwrite question's caption, read by its dialog when it opens, and
  // the dialog's end code.
  const char* overwriteCaption = nullptr;
  int overwriteAnswer = IDCANCEL;
};

[[nodiscard]] WizardState& Wizard();

// The frame (wizard_frame.cpp).

// Builds the page table from the settings, creates the six page windows and
// runs the frame modally. Returns the frame's end code: 2 after Cancel or
// Close, -1 when the frame could not be created.
int RunWizard(RunContext& context, const UiState& ui);
void ShowPage(int index);
void SetInstallPage(int index);
[[nodiscard]] bool ValidatePage(int index);
// For page procedures inside WMU_COMMIT; kNoControl (0xFFFF) selects nothing.
void FailValidation(WORD controlId);
[[nodiscard]] HWND PageHost(int index);
[[nodiscard]] int NextEnabledPage(int index);
[[nodiscard]] int PrevEnabledPage(int index);
// The header of the current page as ShowPage sets it: title, subtitle with
// its one-line rule, default button. Without moving the focus.
void ShowPageHeader(int index);

// Rich text and control helpers (wizard_controls.cpp).

// The catalogue's rich-text template filled with a font size in half-points
// and a body.
[[nodiscard]] TextBuffer RtfText(int halfPoints, const char* body);
void SetRichText(HWND dialog, int controlId, COLORREF background, const char* rtf);
void StreamRtf(HWND dialog, int controlId, const char* rtf);
void ShowDlgControl(HWND dialog, int controlId, bool show);
void AlignControlTo(HWND dialog, int movedId, int anchorId, bool toLeftEdge);
// A catalogue text, "" when the table has none.
[[nodiscard]] const char* CatalogueText(uint32_t key);

// Page procedures.
INT_PTR CALLBACK WelcomePageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK LicencePageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK NotesPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FolderPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OptionsPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The progress page's worker and view (progress_page.cpp).

// Starts the worker thread that runs the stages; at most once per run.
bool StartWorker();
// The view the stages report into; its calls come from the worker.
[[nodiscard]] class ProgressView& WizardProgressView();
// Shows the text the worker appended since the last call (user-interface
// thread only; a timer calls it while the worker runs).
void ShowPendingText();

// The overwrite question's procedure (overwrite_dialog.cpp); its
// initialisation parameter is the question text.
INT_PTR CALLBACK OverwriteDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
