// The end-to-end driver's tools: processes, windows, boxes, screenshots and
// checks.
#include "tests/e2e/driver.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "startup/message_catalogue.h"

namespace {

int gFailures = 0;
std::string gScenario;
std::string gWorkFolder;
std::string gProgramPath;
constexpr UINT kSendTimeout = 5000;

std::string Convert(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  const int wideLength = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), wideLength);
  const int length = WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr,
                                         nullptr);
  std::string result(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(to, 0, wide.data(), wideLength, result.data(), length, nullptr, nullptr);
  return result;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeout, &result) ==
      0) {
    return -1;
  }
  return static_cast<LRESULT>(result);
}

// Newlines as \n so that one check prints on one line.
std::string Printable(const std::string& ansi) {
  std::string text = Utf8(ansi);
  std::string result;
  for (char c : text) {
    if (c == '\n') {
      result += "\\n";
    } else if (c != '\r') {
      result += c;
    }
  }
  return result;
}

}  // namespace

std::string Ansi(const std::string& utf8) { return Convert(utf8, CP_UTF8, CP_ACP); }
std::string Utf8(const std::string& ansi) { return Convert(ansi, CP_ACP, CP_UTF8); }

std::string Catalogue(uint32_t key) {
  const char* text = LookupText(key);
  return text != nullptr ? text : "";
}

std::string Printf(const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

void Log(const std::string& utf8Line) {
  std::printf("%s\n", utf8Line.c_str());
  std::fflush(stdout);
}

void SetScenarioName(const std::string& name) { gScenario = name; }
int FailureCount() { return gFailures; }

void Expect(bool condition, const std::string& what) {
  if (condition) return;
  ++gFailures;
  Log("FAILED [" + gScenario + "] " + Printable(what));
}

void ExpectText(const std::string& what, const std::string& actual, const std::string& expected) {
  Expect(actual == expected, what + ": got \"" + actual + "\", expected \"" + expected + "\"");
}

void ExpectContains(const std::string& what, const std::string& actual, const std::string& part) {
  Expect(actual.find(part) != std::string::npos,
         what + ": \"" + actual + "\" does not contain \"" + part + "\"");
}

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(40);
  }
}

void Require(const std::function<bool()>& condition, const std::string& what, DWORD milliseconds) {
  if (!WaitUntil(condition, milliseconds)) throw ScenarioFailed("timed out waiting for " + what);
}

void SetWorkFolder(const std::string& folder) { gWorkFolder = folder; }
const std::string& WorkFolder() { return gWorkFolder; }
void SetProgramPath(const std::string& path) { gProgramPath = path; }

void Screenshot(const std::string& name) {
  // The script that runs the driver takes the picture when it reads this
  // line, then creates the marker file.
  const std::string marker = gWorkFolder + "\\" + name + ".done";
  DeleteFileA(marker.c_str());
  Sleep(300);  // let the last paint reach the screen
  Log("SHOT " + name);
  if (!WaitUntil([&] { return GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES; },
                 20000)) {
    Expect(false, "screenshot " + name + " was not taken");
  }
}

App::App(const std::string& argument) {
  std::string commandLine = "\"" + gProgramPath + "\" \"" + argument + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessA(gProgramPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process_)) {
    throw ScenarioFailed("cannot start " + gProgramPath);
  }
}

App::~App() {
  if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

HWND App::WaitForFrame(const std::string& caption) {
  Require(
      [&] {
        HWND window = nullptr;
        while ((window = FindWindowExA(nullptr, window, "#32770", caption.c_str())) != nullptr) {
          DWORD pid = 0;
          GetWindowThreadProcessId(window, &pid);
          if (pid == process_.dwProcessId && GetDlgItem(window, 1003) != nullptr &&
              IsWindowVisible(window)) {
            frame_ = window;
            return true;
          }
        }
        return false;
      },
      "the frame \"" + Utf8(caption) + "\"");
  return frame_;
}

HWND App::Item(int id) const { return GetDlgItem(frame_, id); }

void App::WaitForPage(int id, const std::string& page) {
  Require([&] { return Item(id) != nullptr; }, "the " + page + " page");
  Sleep(100);
}

std::string App::WindowText(HWND window) {
  char buffer[8192];
  const LRESULT length = Send(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  if (length < 0) return "<no answer>";
  return std::string(buffer, static_cast<size_t>(length));
}

std::string App::Text(int id) const {
  HWND item = Item(id);
  return item != nullptr ? WindowText(item) : "<no control " + std::to_string(id) + ">";
}

std::string App::WholeText(int id) const {
  std::string text(4 << 20, '\0');
  const LRESULT got = Send(Item(id), WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

void App::SetText(int id, const std::string& text) const {
  Send(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool App::Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
bool App::Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
int App::CheckState(int id) const { return static_cast<int>(Send(Item(id), BM_GETCHECK)); }

LRESULT App::SendTo(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
  return Send(Item(id), message, wParam, lParam);
}

RECT App::Rect(int id) const {
  RECT rect{};
  GetWindowRect(Item(id), &rect);
  MapWindowPoints(nullptr, frame_, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

HWND App::Focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(process_.dwThreadId, &info)) return nullptr;
  return info.hwndFocus;
}

std::pair<int, int> App::Selection(int id) const {
  const LRESULT packed = Send(Item(id), EM_GETSEL);
  return {LOWORD(packed), HIWORD(packed)};
}

void App::Click(int id) const {
  HWND item = Item(id);
  if (item == nullptr) throw ScenarioFailed("no control " + std::to_string(id) + " to click");
  PostMessageA(item, BM_CLICK, 0, 0);
}

void App::ClickInto(int id) const {
  HWND item = Item(id);
  PostMessageA(item, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageA(item, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  Require([&] { return Focus() == item; }, "the focus in control " + std::to_string(id));
}

HWND App::FindBox() const {
  struct Search {
    DWORD pid;
    HWND frame;
    HWND found;
  } search{process_.dwProcessId, frame_, nullptr};
  EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        auto* s = reinterpret_cast<Search*>(parameter);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        char className[32];
        if (pid != s->pid || window == s->frame || !IsWindowVisible(window) ||
            GetClassNameA(window, className, sizeof className) == 0 ||
            std::string(className) != "#32770") {
          return TRUE;
        }
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND App::WaitForBox(const std::string& what) {
  HWND box = nullptr;
  Require([&] { return (box = FindBox()) != nullptr; }, "a box: " + Utf8(what));
  Sleep(150);
  return box;
}

std::string App::BoxText(HWND box) {
  // The message text is the static control 0xFFFF.
  HWND text = GetDlgItem(box, 0xFFFF);
  return text != nullptr ? WindowText(text) : "<no text>";
}

void App::PressBoxButton(HWND box, int button) {
  HWND control = GetDlgItem(box, button);
  if (control == nullptr) throw ScenarioFailed("the box has no button " + std::to_string(button));
  PostMessageA(control, BM_CLICK, 0, 0);
  Require([&] { return !IsWindow(box) || !IsWindowVisible(box); }, "the box to close");
  Sleep(100);
}

void App::AnswerBox(const std::string& expectedText, int button) {
  HWND box = WaitForBox(expectedText);
  ExpectText("box text", BoxText(box), expectedText);
  if (frame_ != nullptr) {
    Expect(GetWindow(box, GW_OWNER) == frame_, "the box is owned by the frame");
    ExpectText("box caption", WindowText(box), WindowText(frame_));
  }
  PressBoxButton(box, button);
}

DWORD App::WaitForExit(DWORD milliseconds) {
  if (WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0) {
    throw ScenarioFailed("the program did not end");
  }
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}
