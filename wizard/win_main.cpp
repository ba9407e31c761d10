// The windowed program's entry: process-wide state, command line, mapping of
// the package data file, and the hand-over to the run driver.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "base/text_buffer.h"
#include "engine/run_context.h"
#include "message_keys.h"
#include "package/run_package.h"
#include "startup/command_line.h"
#include "startup/message_catalogue.h"
#include "startup/process_texts.h"
#include "wizard/front_end.h"
#include "wizard/ui_state.h"

namespace {

UiState gUiState;

// The initialisers that run before the main routine, in their fixed order:
// process state (COM, the first texts, colours, the user-interface thread),
// then the container's texts, then the applier's text.
void InitialiseProcess() {
  CoInitialize(nullptr);
  InitProcessTexts();
  gUiState.instance = GetModuleHandleA(nullptr);
  gUiState.windowTextColour = GetSysColor(COLOR_WINDOWTEXT);
  gUiState.buttonFaceColour = GetSysColor(COLOR_BTNFACE);
  gUiState.uiThreadId = GetCurrentThreadId();
}

// The program's own full path; the buffer doubles while the path fills it.
std::string OwnModulePath() {
  std::vector<char> buffer(256);
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size() || buffer[buffer.size() - 1] == '\0') {
      return std::string(buffer.data(), length);
    }
    buffer.resize(buffer.size() * 2);
  }
}

void ShowStartupError(const char* text, const std::string& caption) {
  MessageBoxA(nullptr, text, caption.c_str(), MB_TASKMODAL | MB_ICONERROR);
}

// A failure without a message of its own shows the system's text, if any.
void ShowLastSystemError(const std::string& caption) {
  TextBuffer reason = TextBuffer::SystemErrorText();
  if (!reason.empty()) ShowStartupError(reason.chars(), caption);
}

int RunMain() {
  InitCommonControls();
  std::vector<std::string> arguments = SplitCommandLine(GetCommandLineA());
  arguments[0] = OwnModulePath();
  const std::string& caption = arguments[0];

  if (LoadLibraryA("RICHED32.DLL") == nullptr) {
    ShowLastSystemError(caption);
    return 1;
  }

  const std::string& packagePath = arguments.size() >= 2 ? arguments[1] : arguments[0];
  HANDLE file = CreateFileA(packagePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    TextBuffer reason = TextBuffer::SystemErrorText();
    TextBuffer message;
    message.Format(LookupText(kMsgCannotOpenPackage), packagePath.c_str(), reason.chars());
    ShowStartupError(message.chars(), caption);
    return 1;
  }

  int exitCode = 1;
  DWORD size = GetFileSize(file, nullptr);
  if (size == 0) {
    ShowStartupError(LookupText(kMsgEmptyPackageFile), caption);
  } else {
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (view == nullptr) {
      ShowLastSystemError(caption);
    } else {
      // The one run context of the process.
      Win32QuestionHost questionHost(gUiState);
      RunContext context(questionHost);
      context.archive.releaseReadPages = true;
      Win32WizardHost wizard(gUiState);
      exitCode = RunPackage(context, wizard, static_cast<const uint8_t*>(view), size);
      UnmapViewOfFile(view);
    }
    if (mapping != nullptr) CloseHandle(mapping);
  }
  CloseHandle(file);
  return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  InitialiseProcess();
  ExitProcess(static_cast<UINT>(RunMain()));
}
