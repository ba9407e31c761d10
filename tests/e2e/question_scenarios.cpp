// End-to-end update runs that meet the stages' questions and are answered.
#include "tests/e2e/scenario_kit.h"

#include <commctrl.h>

#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kOverwrite = 1037, kOverwriteAll = 1032, kSkipAll = 1034;
constexpr int kQuestionText = 1039;
constexpr char kShowNoPages[] = "ShowAppFolder=0\r\nShowOptions=0\r\n";

// ---- Shared steps and checks ----

// From the welcome page through the deletion question into the stages.
void StartStages(App& running) {
  running.WaitForFrame(Title());
  running.WaitForPage(kWelcomeTitle, "welcome");
  running.Click(kNext);
  running.AnswerBox(T(kMsgDeleteWithoutBackup), IDYES);
}

std::string Without(std::string text, char removed) {
  std::erase(text, removed);
  return text;
}

// Waits for a question asked during `stage` and checks where it comes from,
// its text (followed by "\n\n" and the system's error text when
// `systemText`), its buttons and its default button.
HWND ExpectQuestion(App& running, const std::string& what, uint32_t stage, const std::string& text,
                    bool systemText, std::initializer_list<int> buttons, int defaultButton) {
  HWND box = running.WaitForBox(what);
  Expect(GetWindow(box, GW_OWNER) == running.frame(), what + ": owned by the frame");
  ExpectText(what + ": caption", App::WindowText(box), Title() + ":  " + T(stage));
  const std::string shown = App::BoxText(box);
  if (systemText) {
    Expect(shown.rfind(text + "\n\n", 0) == 0 && shown.size() > text.size() + 2,
           what + ": \"" + shown + "\" is not \"" + text + "\" with the system's text");
  } else {
    ExpectText(what + ": text", shown, text);
  }
  for (int id = IDOK; id <= IDNO; ++id) {
    const HWND button = GetDlgItem(box, id);
    const bool shownButton = button != nullptr && IsWindowVisible(button);
    bool wanted = false;
    for (int b : buttons) wanted = wanted || b == id;
    Expect(shownButton == wanted,
           what + Printf(": button %d %s", id, wanted ? "missing" : "offered"));
  }
  const HWND preferred = GetDlgItem(box, defaultButton);
  Expect(preferred != nullptr && (GetWindowLongA(preferred, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON,
         what + Printf(": button %d is the default", defaultButton));
  return box;
}

// Waits for the overwrite dialog about `path` and answers it.
void AnswerOverwrite(App& running, const std::string& path, int answer) {
  HWND box = running.WaitForBox("the overwrite question for " + path);
  ExpectText("overwrite caption", App::WindowText(box), Title() + ":  " + T(kMsgStageApply));
  ExpectText("overwrite question", Without(App::WindowText(GetDlgItem(box, kQuestionText)), '\r'),
             Printf(T(kMsgAddedFileExists).c_str(), path.c_str()));
  running.PressBoxButton(box, answer);
}

// Waits for the stages to end. A box meanwhile is a question that should not
// have been asked, and ends the scenario.
void ExpectEndWithoutQuestion(App& running, const std::string& why) {
  HWND box = nullptr;
  Require(
      [&] {
        box = running.FindBox();
        return box != nullptr || running.Text(kCancel) == T(kMsgButtonClose);
      },
      "the stages end", 60000);
  if (box != nullptr) {
    throw ScenarioFailed(why + ", yet the program asked \"" + App::WindowText(box) + "\": \"" +
                         App::BoxText(box) + "\"");
  }
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r' || text[at] == '\n') {
      if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
      lines.emplace_back();
    } else {
      lines.back() += text[at];
    }
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

// What a run left in the log view and in the log file.
struct RunRecord {
  std::vector<std::string> view;
  std::string log;  // the file's bytes; lines copied from the view end with "\n"

  [[nodiscard]] bool ViewHas(const std::string& line) const {
    for (const std::string& shown : view) {
      if (shown == line) return true;
    }
    return false;
  }
};

// `line` is a whole line of the view and of the log file.
void ExpectLine(const RunRecord& record, const std::string& line) {
  Expect(record.ViewHas(line), "the log view has the line \"" + line + "\"");
  Expect(record.log.find("\n" + line + "\n") != std::string::npos,
         "the log file has the line \"" + line + "\"");
}

// No line of the view or of the log file starts with `start`.
void ExpectNoLine(const RunRecord& record, const std::string& start) {
  for (const std::string& shown : record.view) {
    Expect(shown.rfind(start, 0) != 0, "the log view should not have \"" + shown + "\"");
  }
  Expect(record.log.find("\n" + start) == std::string::npos,
         "the log file should not have a line starting \"" + start + "\"");
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// A question and its answer as the log file records them.
void ExpectAnswerLogged(const RunRecord& record, const std::string& question, const char* tag) {
  Expect(record.log.find(question + tag + "\r\n") != std::string::npos,
         "the log file has \"" + question + tag + "\"");
}

struct StageResult {
  uint32_t stage;
  bool ok;
};

// How a run ended: the stages that ran with their result lines, and whether
// the stages completed. Checks the page, the view's report and verdict, Close
// and the exit code, and returns the view and the log file.
RunRecord ExpectOutcome(App& running, const std::string& logFile,
                        const std::vector<StageResult>& stages, bool completed) {
  RunRecord record;
  record.view = SplitLines(running.WholeText(kLogView));
  bool anyFailed = false;
  for (const StageResult& result : stages) anyFailed = anyFailed || !result.ok;
  if (anyFailed) {
    ExpectHeader(running, T(kMsgError), T(kMsgUpdateFailed));
  } else if (!completed) {
    ExpectHeader(running, T(kMsgError), T(kMsgInterruptedByUser));
  } else {
    ExpectHeader(running, T(kMsgFinished), T(kMsgUpdateSucceeded));
  }
  Expect(running.SendTo(kProgressBar, PBM_GETPOS) == (completed ? 100 : 0),
         completed ? "the bar at 100 after completed stages" : "the bar at 0 after stopped stages");
  ExpectText("caption back to the title", App::WindowText(running.frame()), Title());
  running.Click(kCancel);
  const DWORD exitCode = running.WaitForExit();
  Expect(exitCode == (completed ? kExitCompleted : kExitIncomplete),
         Printf("exit code %d, expected %d", static_cast<int>(exitCode), completed ? 1 : -1));
  // The worker closes the log file after it turned Abort into Close.
  const std::vector<uint8_t> bytes = ReadBytes(logFile);
  record.log.assign(bytes.begin(), bytes.end());

  for (uint32_t stage : {kMsgStageIntegrity, kMsgStageSimulate, kMsgStageApply}) {
    const StageResult* ran = nullptr;
    for (const StageResult& result : stages) {
      if (result.stage == stage) ran = &result;
    }
    const std::string name = T(stage);
    if (ran == nullptr) {
      ExpectNoLine(record, name + "...");
      continue;
    }
    ExpectLine(record, name + "...");
    ExpectLine(record, Printf(T(ran->ok ? kMsgStageCompleted : kMsgStageEndedWithError).c_str(),
                              name.c_str()));
    if (ran->ok) {
      ExpectNoLine(record, name + ":");
    } else {
      ExpectLine(record, name + ":" + T(kMsgReportedError));
    }
  }
  if (anyFailed) {
    ExpectLine(record, T(kMsgErrorReport));
  } else {
    ExpectNoLine(record, T(kMsgErrorReport));
  }
  if (completed) {
    ExpectNoLine(record, T(kMsgInterruptedByError));
  } else {
    ExpectLine(record, T(kMsgInterruptedByError));
  }
  return record;
}

// A file opened by the driver without sharing, as another program would hold it.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (handle_ == INVALID_HANDLE_VALUE) throw ScenarioFailed("cannot hold " + path + " open");
  }
  ~HeldFile() { Release(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  void Release() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// ---- Added files that exist: OverwriteAll, SkipAll and Cancel ----

// The existing added files in the order the application stage meets them:
// the three of this package, then the two that every update package adds.
const char* const kExistingAdded[] = {"a1.txt", "a2.txt", "a3.txt", "new.txt",
                                      "sub\\deep\\file.txt"};

struct OverwriteCase {
  const char* scenario;
  std::vector<int> answers;  // to the dialogs, in order; no dialog after the last
  // Per existing added file: 'O' overwritten, 'S' skipped, 'F' failed, '-' not reached.
  const char* results;
  bool stageStopped;  // the application stage ended at the last answer
  bool completed;
};

const OverwriteCase kOverwriteAllCase{"overwrite_all", {kOverwriteAll}, "OOOOO", false, true};
// Overwrite first, so that SkipAll is seen to leave alone only what follows.
const OverwriteCase kSkipAllCase{"skip_all", {kOverwrite, kSkipAll}, "OSSSS", false, false};
const OverwriteCase kCancelCase{"overwrite_cancel", {kOverwrite, kCancel}, "OF---", true, false};

// An added file's new content: the update package's own, or "new NAME".
std::string NewAdded(const std::string& name) {
  const std::map<std::string, std::string> tree = NewVersionTree();
  const auto found = tree.find(name);
  return found != tree.end() ? found->second : "new " + name;
}

void OverwriteAnswers(const OverwriteCase& c) {
  const std::string s = c.scenario;
  const std::string app = Folder(s, "app");
  const std::string log = Folder(s, "update.log");
  LayOutOldVersion(app);
  CreateDirectoryA((app + "\\sub").c_str(), nullptr);
  CreateDirectoryA((app + "\\sub\\deep").c_str(), nullptr);
  for (const char* name : kExistingAdded) {
    WriteBytes(app + "\\" + name, BytesOf(std::string("old ") + name));
  }
  std::map<std::string, std::string> before;
  ListTree(app, "", before);
  std::vector<PackageEntryPlan> added;
  for (const char* name : {"a1.txt", "a2.txt", "a3.txt"}) {
    added.push_back(DeflatedFile(std::string("Add/") + name, BytesOf(NewAdded(name))));
  }
  App running(WriteUpdatePackage(s, Install(app, log, kShowNoPages), std::move(added)));
  StartStages(running);
  for (size_t i = 0; i < c.answers.size(); ++i) {
    AnswerOverwrite(running, app + "\\" + kExistingAdded[i], c.answers[i]);
  }
  ExpectEndWithoutQuestion(running, "every later existing added file has its answer");
  Screenshot(s);

  const RunRecord record = ExpectOutcome(
      running, log,
      {{kMsgStageIntegrity, true}, {kMsgStageSimulate, true}, {kMsgStageApply, c.completed}},
      c.completed);
  std::map<std::string, std::string> expected = before;
  if (!c.stageStopped) {
    expected = NewVersionTree();
    for (const char* name : {"a1.txt", "a2.txt", "a3.txt"}) expected[name] = NewAdded(name);
  }
  for (size_t i = 0; i < std::size(kExistingAdded); ++i) {
    const std::string name = kExistingAdded[i];
    const std::string start = T(kMsgAddingFile) + app + "\\" + name + " - ";
    switch (c.results[i]) {
      case 'O':
        expected[name] = NewAdded(name);
        ExpectLine(record, start + T(kMsgOverwritten));
        break;
      case 'S':
        expected[name] = "old " + name;
        ExpectLine(record, start + T(kMsgSkipped));
        break;
      case 'F':
        expected[name] = "old " + name;
        ExpectLine(record, start + T(kMsgFailed));
        break;
      default:
        expected[name] = "old " + name;
        ExpectNoLine(record, T(kMsgAddingFile) + app + "\\" + name);
    }
  }
  // Cancel ends the stage at once: no later item, no deletion.
  if (c.stageStopped) {
    ExpectNoLine(record, T(kMsgPatchingFile));
    ExpectNoLine(record, T(kMsgDeletingFiles));
  } else {
    ExpectLine(record, T(kMsgDeletingFiles));
  }
  // The overwrite question itself is not written to the log file.
  Expect(record.log.find(Printf(T(kMsgAddedFileExists).c_str(), (app + "\\a1.txt").c_str())) ==
             std::string::npos,
         "the overwrite question is not in the log file");
  ExpectTree("folder after " + s, app, expected);
}

// ---- A damaged Update item answered Yes ----

// The integrity check finds tool.dll's difference damaged; Yes leaves the
// item out of the run and the continue question lets the update go on: the
// other items are placed, tool.dll is neither simulated nor patched, and the
// stages complete although the integrity check reports its failure.
void DamagedItemKeptOut() {
  const std::string s = "damaged_item_yes";
  const std::string app = Folder(s, "app");
  const std::string log = Folder(s, "update.log");
  LayOutOldVersion(app);
  WriteBytes(app + "\\tool.dll", BytesOf("tool 1.0"));
  std::vector<PackageEntryPlan> extra;
  extra.push_back(UpdateItem("tool.dll", BytesOf("tool 1.0"), BytesOf("tool 2.0 and more")));
  extra.back().crc = 0x12345678;
  App running(WriteUpdatePackage(s, Install(app, log, kShowNoPages), std::move(extra)));
  StartStages(running);

  const std::string damaged = Printf(T(kMsgEntryDamagedContinue).c_str(), "tool.dll");
  HWND box = ExpectQuestion(running, "the damaged item question", kMsgStageIntegrity, damaged,
                            false, {IDYES, IDNO}, IDNO);
  Screenshot(s);
  running.PressBoxButton(box, IDYES);
  const std::string goOn = Printf(T(kMsgErrorContinue).c_str(), T(kMsgStageIntegrity).c_str());
  box = ExpectQuestion(running, "the continue question", kMsgStageIntegrity, goOn, false,
                       {IDYES, IDNO, IDCANCEL}, IDCANCEL);
  running.PressBoxButton(box, IDYES);
  ExpectEndWithoutQuestion(running, "the damaged item was left out");

  const RunRecord record = ExpectOutcome(
      running, log,
      {{kMsgStageIntegrity, false}, {kMsgStageSimulate, true}, {kMsgStageApply, true}}, true);
  ExpectLine(record, T(kMsgPrefixUpdated) + "tool.dll - " + T(kMsgFailed));
  ExpectLine(record, T(kMsgPackageDamaged));
  // The integrity line is the only one that names the item.
  size_t naming = 0;
  for (const std::string& line : record.view) naming += line.find("tool.dll") != std::string::npos;
  Expect(naming == 1,
         Printf("tool.dll is named on %d lines of the view, not 1", static_cast<int>(naming)));
  ExpectAnswerLogged(record, damaged, " (IDYES)");
  ExpectAnswerLogged(record, goOn, " (IDYES)");
  std::map<std::string, std::string> expected = NewVersionTree();
  expected["tool.dll"] = "tool 1.0";
  ExpectTree("folder after a damaged item answered Yes", app, expected);
}

// ---- An old file that is not the one the difference was made from ----

// data\config.ini on disk has the old file's size but other bytes.
constexpr char kWrongConfig[] = "[main]\r\nlevel=7\r\n";
static_assert(sizeof kWrongConfig == sizeof kOldConfig);

struct WrongOldFile {
  std::string app, log, config;
  std::map<std::string, std::string> before;
};

WrongOldFile LayOutWrongOldFile(const std::string& s) {
  WrongOldFile run{Folder(s, "app"), Folder(s, "update.log"), "", {}};
  LayOutOldVersion(run.app);
  run.config = run.app + "\\data\\config.ini";
  WriteBytes(run.config, BytesOf(kWrongConfig));
  ListTree(run.app, "", run.before);
  return run;
}

std::string SimulationQuestion(const WrongOldFile& run) {
  return Printf(T(kMsgSimulationError).c_str(), run.config.c_str()) +
         T(kMsgSourceChecksumMismatch) + T(kMsgContinueSimulation);
}

// The simulation line of config.ini. The question is asked between the
// item's name and its verdict, so in the log file it splits the line.
void ExpectSimulationLine(const RunRecord& record, const std::string& question, const char* tag) {
  const std::string start = T(kMsgSimulatingPatch) + "data\\config.ini - ";
  Expect(record.ViewHas(start + T(kMsgFailed)), "the log view has the failed simulation line");
  Expect(
      record.log.find("\n" + start + question + tag + "\r\n" + T(kMsgFailed) + "\n") !=
          std::string::npos,
      "the log file has the simulation line with the question and the answer " + std::string(tag));
}

// The simulation's question answered Yes, the continue question Yes, and the
// application's patch question Yes: every other item is placed, the file
// stays as it was, and the run does not complete.
void WrongOldFileGoesOn() {
  const std::string s = "wrong_old_file";
  const WrongOldFile run = LayOutWrongOldFile(s);
  App running(WriteUpdatePackage(s, Install(run.app, run.log, kShowNoPages)));
  StartStages(running);

  const std::string simulation = SimulationQuestion(run);
  HWND box = ExpectQuestion(running, "the simulation question", kMsgStageSimulate, simulation,
                            false, {IDYES, IDNO, IDCANCEL}, IDCANCEL);
  Screenshot(s + "_simulation");
  running.PressBoxButton(box, IDYES);
  const std::string goOn = Printf(T(kMsgErrorContinue).c_str(), T(kMsgStageSimulate).c_str());
  box = ExpectQuestion(running, "the continue question", kMsgStageSimulate, goOn, false,
                       {IDYES, IDNO, IDCANCEL}, IDCANCEL);
  running.PressBoxButton(box, IDYES);
  const std::string patch = Printf(T(kMsgCannotApplyPatch).c_str(), run.config.c_str(),
                                   T(kMsgSourceChecksumMismatch).c_str());
  box = ExpectQuestion(running, "the patch question", kMsgStageApply, patch, false, {IDYES, IDNO},
                       IDNO);
  Screenshot(s + "_patch");
  running.PressBoxButton(box, IDYES);
  ExpectEndWithoutQuestion(running, "the failed patch was answered");

  const RunRecord record = ExpectOutcome(
      running, run.log,
      {{kMsgStageIntegrity, true}, {kMsgStageSimulate, false}, {kMsgStageApply, false}}, false);
  ExpectLine(record, T(kMsgSimulatingPatch) + "app.exe - " + T(kMsgCorrect));
  ExpectSimulationLine(record, simulation, " (IDYES)");
  ExpectLine(record, T(kMsgPatchingFile) + run.app + "\\app.exe - " + T(kMsgCorrect));
  ExpectLine(record, T(kMsgPatchingFile) + run.config + " - " + T(kMsgFailed));
  ExpectLine(record, T(kMsgDeletingFiles));
  ExpectAnswerLogged(record, goOn, " (IDYES)");
  ExpectAnswerLogged(record, patch, " (IDYES)");
  std::map<std::string, std::string> expected = NewVersionTree();
  expected["data\\config.ini"] = kWrongConfig;
  ExpectTree("folder after a wrong old file", run.app, expected);
}

// The simulation's question answered No and the continue question Cancel:
// the application stage never starts and the folder is untouched.
void WrongOldFileDeclined() {
  const std::string s = "wrong_old_file_declined";
  const WrongOldFile run = LayOutWrongOldFile(s);
  App running(WriteUpdatePackage(s, Install(run.app, run.log, kShowNoPages)));
  StartStages(running);

  const std::string simulation = SimulationQuestion(run);
  running.PressBoxButton(ExpectQuestion(running, "the simulation question", kMsgStageSimulate,
                                        simulation, false, {IDYES, IDNO, IDCANCEL}, IDCANCEL),
                         IDNO);
  const std::string goOn = Printf(T(kMsgErrorContinue).c_str(), T(kMsgStageSimulate).c_str());
  running.PressBoxButton(ExpectQuestion(running, "the continue question", kMsgStageSimulate, goOn,
                                        false, {IDYES, IDNO, IDCANCEL}, IDCANCEL),
                         IDCANCEL);
  ExpectEndWithoutQuestion(running, "the update was declined");

  const RunRecord record = ExpectOutcome(
      running, run.log, {{kMsgStageIntegrity, true}, {kMsgStageSimulate, false}}, false);
  ExpectSimulationLine(record, simulation, " (IDNO)");
  ExpectNoLine(record, T(kMsgPatchingFile));
  ExpectAnswerLogged(record, goOn, " (IDCANCEL)");
  ExpectTree("folder after a declined update", run.app, run.before);
}

// ---- A destination held open by another process ----

struct HeldCase {
  const char* scenario;
  int answer;       // after a first Retry while the file is still held
  const char* tag;  // the answer in the log file
};

const HeldCase kHeldRetry{"held_retry", IDRETRY, " (IDRETRY)"};  // released before this Retry
const HeldCase kHeldIgnore{"held_ignore", IDIGNORE, " (IDIGNORE)"};
const HeldCase kHeldAbort{"held_abort", IDABORT, " (IDABORT)"};

// readme.txt, a Replace item, is held open without sharing while the
// application stage tries to move the new file over it: the Abort/Retry/
// Ignore question. Retry while held asks again; then Retry after the release
// places the file, Ignore goes on without it, Abort ends the stage there.
void HeldDestination(const HeldCase& c) {
  const std::string s = c.scenario;
  const std::string app = Folder(s, "app");
  const std::string log = Folder(s, "update.log");
  LayOutOldVersion(app);
  std::map<std::string, std::string> before;
  ListTree(app, "", before);
  const std::string readme = app + "\\readme.txt";
  HeldFile held(readme);
  App running(WriteUpdatePackage(s, Install(app, log, kShowNoPages)));
  StartStages(running);

  const std::string cannot = Printf(T(kMsgCannotUpdateFile).c_str(), readme.c_str());
  std::vector<std::string> asked;
  for (int answer : {IDRETRY, c.answer}) {
    HWND box = ExpectQuestion(running, "the question about the held file", kMsgStageApply, cannot,
                              true, {IDABORT, IDRETRY, IDIGNORE}, IDABORT);
    asked.push_back(App::BoxText(box));
    if (asked.size() == 1) Screenshot(s);
    if (answer == IDRETRY && asked.size() == 2) held.Release();
    running.PressBoxButton(box, answer);
  }
  ExpectEndWithoutQuestion(running, "the held file's question was answered");
  held.Release();

  const bool placed = c.answer == IDRETRY;
  const RunRecord record = ExpectOutcome(
      running, log,
      {{kMsgStageIntegrity, true}, {kMsgStageSimulate, true}, {kMsgStageApply, placed}}, placed);
  ExpectLine(record, T(kMsgReplacingFile) + readme + " - " + T(placed ? kMsgCorrect : kMsgFailed));
  Expect(Occurrences(record.log, cannot) == 2, "the log file has the question twice");
  ExpectAnswerLogged(record, asked[0], " (IDRETRY)");
  ExpectAnswerLogged(record, asked[1], c.tag);

  std::map<std::string, std::string> expected = NewVersionTree();
  if (c.answer == IDIGNORE) {
    expected["readme.txt"] = "old readme";
    ExpectLine(record, T(kMsgPatchingFile) + app + "\\app.exe - " + T(kMsgCorrect));
  } else if (c.answer == IDABORT) {
    // The Add items came before; nothing after readme.txt was done.
    const std::map<std::string, std::string> added = NewVersionTree();
    expected = before;
    for (const char* name : {"new.txt", "sub", "sub\\deep", "sub\\deep\\file.txt", "emptydir"}) {
      expected[name] = added.at(name);
    }
    ExpectNoLine(record, T(kMsgPatchingFile));
    ExpectNoLine(record, T(kMsgDeletingFiles));
  }
  ExpectTree("folder after " + s, app, expected);
}

const ScenarioRegistration kOverwriteAllScenario{"overwrite_all",
                                                 [] { OverwriteAnswers(kOverwriteAllCase); }};
const ScenarioRegistration kSkipAllScenario{"skip_all", [] { OverwriteAnswers(kSkipAllCase); }};
const ScenarioRegistration kOverwriteCancelScenario{"overwrite_cancel",
                                                    [] { OverwriteAnswers(kCancelCase); }};
const ScenarioRegistration kDamagedItemYes{"damaged_item_yes", DamagedItemKeptOut};
const ScenarioRegistration kWrongOldFile{"wrong_old_file", WrongOldFileGoesOn};
const ScenarioRegistration kWrongOldFileDeclined{"wrong_old_file_declined", WrongOldFileDeclined};
const ScenarioRegistration kHeldRetryScenario{"held_retry", [] { HeldDestination(kHeldRetry); }};
const ScenarioRegistration kHeldIgnoreScenario{"held_ignore", [] { HeldDestination(kHeldIgnore); }};
const ScenarioRegistration kHeldAbortScenario{"held_abort", [] { HeldDestination(kHeldAbort); }};

}  // namespace
