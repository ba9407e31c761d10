// Drives the real selfpatch.exe under Wine through its wizard and update
// runs; the scenarios live in *_scenarios.cpp and register themselves.
// usage: wizard_driver.exe SELFPATCH.EXE WORK_FOLDER [SCENARIO...]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/scenario_kit.h"

namespace {

// The demo: runs a real self-applying package (DEMO_PACKAGE) with the
// default answers on every page, with a screenshot of each. Not one of the
// test scenarios; `wizard_driver.exe PROGRAM WORK demo` runs it alone. It
// prints two wall-clock figures (to the driver's 40 ms polling): the start of
// the process to its first page, and the last answer before the progress
// page to the Close button.
void Demo() {
  const char* package = std::getenv("DEMO_PACKAGE");
  if (package == nullptr) throw ScenarioFailed("DEMO_PACKAGE names no package");
  // DEMO_PACKAGE_DATA=1: the package is a data file that the driver's
  // selfpatch.exe opens as its argument; else it is a program of its own.
  const char* dataOnly = std::getenv("DEMO_PACKAGE_DATA");
  if (dataOnly == nullptr || std::strcmp(dataOnly, "1") != 0) SetProgramPath(package);
  const DWORD started = GetTickCount();
  App running(package);
  // The frame is the process's dialog with the header band; its caption is
  // the package's title.
  std::string caption;
  Require(
      [&] {
        HWND window = nullptr;
        while ((window = FindWindowExA(nullptr, window, "#32770", nullptr)) != nullptr) {
          DWORD pid = 0;
          GetWindowThreadProcessId(window, &pid);
          if (pid == running.processId() && GetDlgItem(window, 1003 /* header band */) != nullptr &&
              IsWindowVisible(window)) {
            caption = App::WindowText(window);
            return true;
          }
        }
        return false;
      },
      "the wizard");
  running.WaitForFrame(caption);
  running.WaitForPage(kNext, "first");
  const DWORD firstPage = GetTickCount();
  DWORD lastAnswer = firstPage;
  for (int page = 1; running.Item(kLogView) == nullptr && page < 10; ++page) {
    Screenshot(Printf("demo_%d_page", page));
    lastAnswer = GetTickCount();
    running.Click(running.Visible(kNext) && running.Enabled(kNext) ? kNext : kInstall);
    // A question on the way (deleting without a backup): its default answer.
    static_cast<void>(WaitUntil(
        [&] { return running.FindBox() != nullptr || running.Item(kLogView) != nullptr; },
        3000));
    if (HWND box = running.FindBox()) {
      Screenshot(Printf("demo_%d_question", page));
      lastAnswer = GetTickCount();
      running.PressBoxButton(box, IDYES);
    }
  }
  running.WaitForPage(kLogView, "progress");
  Require([&] { return running.Text(kCancel) == T(kMsgButtonClose); }, "the stages end", 1800000);
  Log(Printf("demo: start to first page %lu ms; stages %lu ms", firstPage - started,
             GetTickCount() - lastAnswer));
  Screenshot("demo_done");
  running.Click(kCancel);
  Log(Printf("demo: exit code %d", static_cast<int>(running.WaitForExit())));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wizard_driver SELFPATCH.EXE WORK_FOLDER [SCENARIO...]\n");
    return 2;
  }
  if (GetACP() != 936) {
    std::printf("wizard_driver: the ANSI code page is %u, not 936\n", GetACP());
    return 2;
  }
  char fullPath[MAX_PATH];
  GetFullPathNameA(argv[1], MAX_PATH, fullPath, nullptr);
  SetProgramPath(fullPath);
  SetWorkFolder(argv[2]);
  CreateDirectoryA(argv[2], nullptr);

  std::vector<std::string> chosen(argv + 3, argv + argc);
  if (chosen.empty()) {
    for (const auto& [name, run] : Scenarios()) chosen.push_back(name);
  }
  if (chosen.size() == 1 && chosen[0] == "demo") {
    SetScenarioName("demo");
    try {
      Demo();
    } catch (const ScenarioFailed& failure) {
      Expect(false, failure.what());
    }
    return FailureCount() == 0 ? 0 : 1;
  }
  int failedScenarios = 0;
  for (const std::string& name : chosen) {
    const auto found = Scenarios().find(name);
    if (found == Scenarios().end()) {
      Log("unknown scenario " + name);
      return 2;
    }
    SetScenarioName(name);
    const int before = FailureCount();
    Log("-- " + name);
    try {
      found->second();
    } catch (const ScenarioFailed& failure) {
      Expect(false, failure.what());
      Screenshot("failed_" + name);
    }
    if (FailureCount() != before) ++failedScenarios;
  }
  Log(Printf("wizard_driver: %zu scenarios, %d failed, %d failed checks", chosen.size(),
             failedScenarios, FailureCount()));
  return failedScenarios == 0 ? 0 : 1;
}
