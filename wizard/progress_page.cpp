// The progress page: the log view the worker appends to, the bar, the stage
// label, the worker thread that runs the stages, and the Abort/Close button.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/patch_stages.h"
#include "engine/run_context.h"
#include "message_keys.h"
#include "report/log_file.h"
#include "report/progress_view.h"
#include "report/questions.h"
#include "wizard/wizard.h"

namespace {

constexpr int kStageLabel = 1030;
constexpr int kProgressBar = 1031;
constexpr int kLogView = 1032;

// Holding the worker still while the abort question is open: the worker
// parks at its next call into the view, where it owns no lock and has no log
// write in flight, so the question may allocate and write the log freely.
struct EventHandle {
  HANDLE handle = nullptr;
  EventHandle() = default;
  EventHandle(const EventHandle&) = delete;
  EventHandle& operator=(const EventHandle&) = delete;
  ~EventHandle() {
    if (handle != nullptr) CloseHandle(handle);
  }
};
EventHandle gGo;      // manual reset; signalled while the worker may go on
EventHandle gParked;  // auto reset; the worker has stopped at gGo
bool gAsking = false;           // the abort question is being prepared or shown
// Set by the worker when all that is left for it is to relabel button 2 and
// end: a press that arrives then closes instead of asking to abort.
std::atomic<bool> gWorkerDone{false};
bool gClosing = false;  // Close is waiting for the worker's end

void ParkIfHeld() {
  if (gGo.handle == nullptr || WaitForSingleObject(gGo.handle, 0) == WAIT_OBJECT_0) return;
  SetEvent(gParked.handle);
  WaitForSingleObject(gGo.handle, INFINITE);
}

// Serves every message until one of `handles` is signalled (or the wait
// fails). Returns the index of the signalled handle, or -1.
int WaitServingMessages(const HANDLE* handles, DWORD count) {
  for (;;) {
    const DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, QS_ALLINPUT);
    if (result < WAIT_OBJECT_0 + count) return static_cast<int>(result - WAIT_OBJECT_0);
    if (result != WAIT_OBJECT_0 + count) return -1;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

// Text the worker appended that the view does not show yet: runs of one
// style, in order. The worker only adds to it; the user-interface thread
// empties it into the rich edit every kShowInterval milliseconds, before it
// shows a question and when the stages end. One cross-thread message per
// text made the view the slowest part of an update (several times the whole
// engine's time under Wine): now the worker never waits for the window.
struct PendingRun {
  std::string text;
  TextStyle style;
};
constexpr UINT kShowInterval = 50;
SRWLOCK gPendingLock = SRWLOCK_INIT;

class PendingHold {
 public:
  PendingHold() { AcquireSRWLockExclusive(&gPendingLock); }
  ~PendingHold() { ReleaseSRWLockExclusive(&gPendingLock); }
  PendingHold(const PendingHold&) = delete;
  PendingHold& operator=(const PendingHold&) = delete;
};
std::vector<PendingRun> gPending;
UINT_PTR gShowTimer = 0;

bool SameStyle(const TextStyle& a, const TextStyle& b) {
  return a.bold == b.bold && a.underline == b.underline && a.colour == b.colour;
}

// Appends one run at the end of the rich edit: selection at the end, the
// default character format with the run's bold, underline and colour.
void AppendRun(HWND view, const PendingRun& run) {
  const LRESULT length = SendMessageA(view, WM_GETTEXTLENGTH, 0, 0);
  CHARRANGE end{static_cast<LONG>(length), static_cast<LONG>(length)};
  SendMessageA(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
  CHARFORMATA format{};
  format.cbSize = sizeof(format);
  SendMessageA(view, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  format.dwMask |= CFM_BOLD | CFM_COLOR | CFM_UNDERLINE;
  format.dwEffects &= ~static_cast<DWORD>(CFE_BOLD | CFE_AUTOCOLOR | CFE_UNDERLINE);
  if (run.style.bold) format.dwEffects |= CFE_BOLD;
  if (run.style.underline) format.dwEffects |= CFE_UNDERLINE;
  format.crTextColor = static_cast<COLORREF>(run.style.colour);
  SendMessageA(view, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  SendMessageA(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(run.text.c_str()));
}

void CALLBACK OnShowTimer(HWND, UINT, UINT_PTR, DWORD) { ShowPendingText(); }

// The rich-edit log view, the bar, the label and the caption, driven from the
// worker: text through gPending, the rest by synchronous window messages.
class Win32ProgressView final : public ProgressView {
 public:
  void AppendText(const char* text, const TextStyle& style) override {
    ParkIfHeld();
    const PendingHold hold;
    if (!gPending.empty() && SameStyle(gPending.back().style, style)) {
      gPending.back().text += text;
    } else {
      gPending.push_back({text, style});
    }
  }

  void SetProgressPos(uint32_t position) override {
    ParkIfHeld();
    HWND bar = Wizard().progressBar;
    if (bar != nullptr) SendMessageA(bar, PBM_SETPOS, position, 0);
  }

  void SetStageLabel(const char* text) override {
    ParkIfHeld();
    HWND frame = Wizard().FrameWindow;
    if (frame != nullptr) SetDlgItemTextA(PageHost(kProgressPage), kStageLabel, text);
  }

  void SetCaption(const char* text) override {
    ParkIfHeld();
    HWND frame = Wizard().FrameWindow;
    if (frame != nullptr) SetWindowTextA(frame, text);
  }
};

Win32ProgressView gView;

DWORD WINAPI WorkerThread(LPVOID) {
  WizardState& wizard = Wizard();
  RunContext& context = *wizard.context;
  RunStages(context);
  // Caption back to Title, the error report, the bar and the verdict.
  static_cast<void>(WriteRunReport(context));

  WizardPage& page = wizard.pages[kProgressPage];
  const ProgressHeader header = FinalProgressHeader(context.StageFailures, context.CompletionCode);
  page.title = CatalogueText(header.title);
  page.subtitle = CatalogueText(header.subtitle);
  ShowPageHeader(kProgressPage);
  CloseLogFile(context.logFile);
  // The last text is in the view before the button reads Close.
  SendMessageA(Wizard().FrameWindow, WMU_SHOWTEXT, 0, 0);

  gWorkerDone.store(true);
  SetDlgItemTextA(PageHost(kProgressPage), kIdCancel, CatalogueText(kMsgButtonClose));
  return 0;
}

bool WorkerRunning() {
  HANDLE worker = Wizard().workerThread;
  return worker != nullptr && WaitForSingleObject(worker, 0) == WAIT_TIMEOUT;
}

// Button 2 while the worker runs: hold it, ask, let it go; on Yes request
// the abort and wait for the worker's end while serving its messages.
void AskAbort(HWND host) {
  WizardState& wizard = Wizard();
  // Esc or a second press while the question or the abort wait is running.
  if (gAsking || wizard.context->AbortRequested.load() != 0) return;
  gAsking = true;
  // A park signal left by an earlier, failed wait must not answer this one;
  // cleared before the hold, the worker cannot have set it for this one yet.
  ResetEvent(gParked.handle);
  ResetEvent(gGo.handle);
  const HANDLE parkedOrEnded[] = {gParked.handle, wizard.workerThread};
  const int woke = WaitServingMessages(parkedOrEnded, 2);
  ShowPendingText();
  const int answer =
      woke == 0 ? AskUser(*wizard.context, CatalogueText(kMsgAbortQuestion),
                          MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2)
                : IDNO;  // the worker ended by itself meanwhile
  SetEvent(gGo.handle);
  gAsking = false;
  if (answer != IDYES) return;

  wizard.context->AbortRequested.store(1);
  HWND button = GetDlgItem(host, kIdCancel);
  EnableWindow(button, FALSE);
  const HANDLE worker[] = {wizard.workerThread};
  static_cast<void>(WaitServingMessages(worker, 1));
  EnableWindow(button, TRUE);
}

}  // namespace

ProgressView& WizardProgressView() { return gView; }

void ShowPendingText() {
  std::vector<PendingRun> runs;
  {
    const PendingHold hold;
    runs.swap(gPending);
  }
  HWND view = Wizard().logView;
  if (runs.empty() || view == nullptr) return;
  // Drawn once for the whole batch, then scrolled to its end.
  SendMessageA(view, WM_SETREDRAW, FALSE, 0);
  for (const PendingRun& run : runs) AppendRun(view, run);
  SendMessageA(view, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(view, nullptr, TRUE);
  SendMessageA(view, EM_SCROLLCARET, 0, 0);
}

bool StartWorker() {
  WizardState& wizard = Wizard();
  if (wizard.workerThread != nullptr) return false;
  if (gGo.handle == nullptr) gGo.handle = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  if (gParked.handle == nullptr) gParked.handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (gGo.handle == nullptr || gParked.handle == nullptr) return false;
  if (gShowTimer == 0) gShowTimer = SetTimer(nullptr, 0, kShowInterval, OnShowTimer);
  wizard.workerThread = CreateThread(nullptr, 0, WorkerThread, nullptr, 0, &wizard.workerThreadId);
  return wizard.workerThread != nullptr;
}

INT_PTR CALLBACK ProgressPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static_cast<void>(lParam);
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
      if (!WorkerRunning() || gWorkerDone.load()) {
        // The worker may still be relabelling the button, a message this
        // thread must serve: wait while serving. A press that comes in
        // meanwhile finds gClosing and does nothing.
        if (gClosing) return TRUE;
        gClosing = true;
        if (wizard.workerThread != nullptr) {
          const HANDLE worker[] = {wizard.workerThread};
          static_cast<void>(WaitServingMessages(worker, 1));
          CloseHandle(wizard.workerThread);
        }
        wizard.workerThread = nullptr;
        if (gShowTimer != 0) KillTimer(nullptr, gShowTimer);
        gShowTimer = 0;
        CloseLogFile(wizard.context->logFile);
        EndDialog(window, 2);
      } else {
        AskAbort(window);
      }
      return TRUE;
    default:
      return 0;
  }
}
