// The end-to-end driver's tools: starting selfpatch.exe, finding its frame,
// pages and message boxes, reading and pressing controls, screenshots and
// checks. Texts are in the ANSI code page (936), as the program's are.
#pragma once

#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// A check that makes the rest of a scenario pointless.
struct ScenarioFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// UTF-8 (the source's literals) to the ANSI code page, and back for printing.
[[nodiscard]] std::string Ansi(const std::string& utf8);
[[nodiscard]] std::string Utf8(const std::string& ansi);

// A catalogue text, in the ANSI code page.
[[nodiscard]] std::string Catalogue(uint32_t key);
// printf-style, into a string.
[[nodiscard]] std::string Printf(const char* format, ...);

// Counts non-fatal failures; each is printed with the scenario's name.
void Expect(bool condition, const std::string& what);
void ExpectText(const std::string& what, const std::string& actual, const std::string& expected);
void ExpectContains(const std::string& what, const std::string& actual, const std::string& part);
[[nodiscard]] int FailureCount();
void SetScenarioName(const std::string& name);
void Log(const std::string& utf8Line);

// Waits up to `milliseconds` for `condition`; false when it never held.
[[nodiscard]] bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds = 10000);
// WaitUntil, or ScenarioFailed naming `what`.
void Require(const std::function<bool()>& condition, const std::string& what,
             DWORD milliseconds = 10000);

// Asks the screenshot taker for a picture of the whole screen named `name`
// and waits for it.
void Screenshot(const std::string& name);
// The folder of the run's files (packages, folders, logs, screenshots).
void SetWorkFolder(const std::string& folder);
[[nodiscard]] const std::string& WorkFolder();
void SetProgramPath(const std::string& path);

// One running selfpatch.exe.
class App {
 public:
  // Starts the program with `argument` (a package path) as its first argument.
  explicit App(const std::string& argument);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Waits for the frame with `caption` and returns it.
  HWND WaitForFrame(const std::string& caption);
  [[nodiscard]] HWND frame() const { return frame_; }

  // A control of the frame (the current page's controls are there).
  [[nodiscard]] HWND Item(int id) const;
  // Waits until control `id` is in the frame: the page that owns it is shown.
  void WaitForPage(int id, const std::string& page);

  // A control's text, up to 8 KiB.
  [[nodiscard]] std::string Text(int id) const;
  // The whole text of a rich edit such as the log view, up to 4 MiB: under
  // Wine the length query answers 0 across processes, and a rich edit
  // answers nothing at all when the buffer is too small.
  [[nodiscard]] std::string WholeText(int id) const;
  void SetText(int id, const std::string& text) const;
  [[nodiscard]] bool Visible(int id) const;
  [[nodiscard]] bool Enabled(int id) const;
  [[nodiscard]] int CheckState(int id) const;
  // Sends `message` to control `id` (values only: nothing is marshalled).
  [[nodiscard]] LRESULT SendTo(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  [[nodiscard]] RECT Rect(int id) const;  // in the frame's client coordinates
  // The control with the keyboard focus in the program's user-interface thread.
  [[nodiscard]] HWND Focus() const;
  // The selection of an edit as (start, end).
  [[nodiscard]] std::pair<int, int> Selection(int id) const;

  // Presses a button without waiting for what it does (it may open a box).
  void Click(int id) const;
  // Puts the focus into a control the way a mouse click does.
  void ClickInto(int id) const;

  // The message box or dialog that the program shows now (a visible #32770
  // window of the process other than the frame), or null.
  [[nodiscard]] HWND FindBox() const;
  HWND WaitForBox(const std::string& what);
  // A message box's text and caption.
  [[nodiscard]] static std::string BoxText(HWND box);
  [[nodiscard]] static std::string WindowText(HWND window);
  // Waits for a box, checks its text (and, when the frame exists, that the
  // frame owns it), presses `button` and waits for the box to go.
  void AnswerBox(const std::string& expectedText, int button);
  void PressBoxButton(HWND box, int button);

  // Waits for the process to end and returns its exit code.
  [[nodiscard]] DWORD WaitForExit(DWORD milliseconds = 15000);
  [[nodiscard]] DWORD processId() const { return process_.dwProcessId; }

 private:
  PROCESS_INFORMATION process_{};
  HWND frame_ = nullptr;
};
