// Update runs from the wizard: the progress page, the worker's questions,
// the overwrite dialog and Abort, each checked against the folder it leaves.
#include "tests/e2e/scenario_kit.h"

#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

namespace {

// An update with every kind of item on the old version in place, with the
// default answers: the folder is the new version byte for byte.
void CleanUpdate() {
  const std::string s = "clean_update";
  const std::string app = Folder(s, "app");
  LayOutOldVersion(app);
  const std::string log = Folder(s, "update.log");
  DeleteFileA(log.c_str());
  const std::string package = WriteUpdatePackage(
      s, Install(app, log, "ShowAppFolder=0\r\nShowOptions=0\r\n", "[LOG]\r\nOverwriteLog=1\r\n"));
  const DWORD started = GetTickCount();
  App running(package);
  running.WaitForFrame(Title());
  running.WaitForPage(kWelcomeTitle, "welcome");
  const DWORD firstPage = GetTickCount();
  running.Click(kNext);
  // The deletion lists without a backup: the default answer, Yes, goes on.
  running.AnswerBox(T(kMsgDeleteWithoutBackup), IDYES);
  const DWORD stagesStarted = GetTickCount();
  running.WaitForPage(kLogView, "progress");
  Require([&] { return running.Text(kCancel) == T(kMsgButtonClose); }, "the stages end", 60000);
  // Wall-clock figures for the report; they include the driver's polling (40 ms)
  // and its settling pauses (100 to 250 ms).
  Log(Printf("timing: start to first page %lu ms, stages %lu ms", firstPage - started,
             GetTickCount() - stagesStarted));
  Screenshot("update_done");
  ExpectText("caption back to the title", App::WindowText(running.frame()), Title());

  const std::string view = running.WholeText(kLogView);
  for (uint32_t stage : {kMsgStageIntegrity, kMsgStageSimulate, kMsgStageApply}) {
    ExpectContains("log view", view, Printf(T(kMsgStageCompleted).c_str(), T(stage).c_str()));
  }
  Expect(view.find(Ansi("补丁进程")) == std::string::npos, "no verdict line after success");
  CloseFromProgressPage(running);

  ExpectTree("updated folder", app, NewVersionTree());
  // The log file is the view's text in code page 936, with the run's header.
  Expect(FileHas(log, Ansi("添加文件")) && !FileHas(log, "添加文件"),
         "the log file's texts are in code page 936");
  for (uint32_t stage : {kMsgStageIntegrity, kMsgStageSimulate, kMsgStageApply}) {
    Expect(FileHas(log, Printf(T(kMsgStageCompleted).c_str(), T(stage).c_str())),
           "the log file has the stage result " + Utf8(T(stage)));
  }
  Expect(FileHas(log, "new.txt") && FileHas(log, "app.exe"), "the log file lists the items");
}
// Added files that exist: the overwrite dialog opens with the focus on
// Overwrite; Overwrite replaces the file, Skip leaves it.
void OverwriteDialog() {
  const std::string s = "overwrite_dialog";
  const std::string app = Folder(s, "app");
  LayOutOldVersion(app);
  WriteBytes(app + "\\new.txt", BytesOf("old new"));
  CreateDirectoryA((app + "\\sub").c_str(), nullptr);
  CreateDirectoryA((app + "\\sub\\deep").c_str(), nullptr);
  WriteBytes(app + "\\sub\\deep\\file.txt", BytesOf("old deep"));
  App running(WriteUpdatePackage(
      s, Install(app, Folder(s, "update.log"), "ShowAppFolder=0\r\nShowOptions=0\r\n")));
  running.WaitForFrame(Title());
  running.WaitForPage(kWelcomeTitle, "welcome");
  running.Click(kNext);
  running.AnswerBox(T(kMsgDeleteWithoutBackup), IDYES);

  constexpr int kOverwrite = 1037, kSkip = 1033, kQuestionText = 1039;
  HWND box = running.WaitForBox("the overwrite question for new.txt");
  Expect(GetWindow(box, GW_OWNER) == running.frame(), "the overwrite dialog is owned by the frame");
  ExpectText("overwrite caption", App::WindowText(box), Title() + ":  " + T(kMsgStageApply));
  ExpectContains("overwrite question", App::WindowText(GetDlgItem(box, kQuestionText)),
                 app + "\\new.txt");
  Expect(WaitUntil([&] { return running.Focus() == GetDlgItem(box, kOverwrite); }, 3000),
         "the focus is on Overwrite");
  Screenshot("overwrite_dialog");
  running.PressBoxButton(box, kOverwrite);

  box = running.WaitForBox("the overwrite question for sub\\deep\\file.txt");
  ExpectContains("second overwrite question", App::WindowText(GetDlgItem(box, kQuestionText)),
                 app + "\\sub\\deep\\file.txt");
  running.PressBoxButton(box, kSkip);
  // A skipped file counts as a failure of the application stage.
  Require([&] { return running.Text(kCancel) == T(kMsgButtonClose); }, "the stages end", 60000);
  ExpectHeader(running, T(kMsgError), T(kMsgUpdateFailed));
  const std::string view = running.WholeText(kLogView);
  ExpectContains("error report", view, Ansi("错误报告:"));
  ExpectContains("failed stage", view, T(kMsgStageApply) + Ansi(": 报错!"));
  ExpectContains("error verdict", view, Ansi("补丁进程因错误中断。"));
  Expect(running.SendTo(kProgressBar, PBM_GETPOS) == 0, "the bar at 0 after a failed stage");
  running.Click(kCancel);
  Expect(running.WaitForExit() == kExitIncomplete, "exit code -1 after a failed stage");

  std::map<std::string, std::string> expected = NewVersionTree();
  expected["sub\\deep\\file.txt"] = "old deep";
  ExpectTree("folder after Overwrite and Skip", app, expected);
}

// Abort confirmed while a long update runs: the button is disabled until the
// stages stop, the verdict is the red "interrupted by the user" line and the
// header says so too, the bar is at 0, nothing at the destination changed
// and the exit code is -1.
void AbortConfirmed() {
  const std::string s = "abort";
  const std::string app = Folder(s, "app");
  LayOutOldVersion(app);
  std::map<std::string, std::string> before;
  ListTree(app, "", before);
  std::vector<PackageEntryPlan> many;
  // Enough items that the stages are still in their first half when the
  // second press comes (a few hundred are checked between the presses here).
  for (int i = 0; i < 6000; ++i) {
    many.push_back(DeflatedFile(Printf("Add/many/file%04d.txt", i), BytesOf("many")));
  }
  App running(WriteUpdatePackage(
      s, Install(app, Folder(s, "update.log"), "ShowAppFolder=0\r\nShowOptions=0\r\n"),
      std::move(many)));
  running.WaitForFrame(Title());
  running.WaitForPage(kWelcomeTitle, "welcome");
  running.Click(kNext);
  running.AnswerBox(T(kMsgDeleteWithoutBackup), IDYES);
  running.WaitForPage(kLogView, "progress");
  ExpectText("the button reads Abort while the stages run", running.Text(kCancel),
             Ansi("中断(&A)"));
  // Declined first: the worker goes on and the button stays Abort.
  running.Click(kCancel);
  running.PressBoxButton(running.WaitForBox("the abort question"), IDNO);
  ExpectText("Abort after No", running.Text(kCancel), Ansi("中断(&A)"));
  Expect(running.Enabled(kCancel), "Abort stays enabled after No");
  running.Click(kCancel);
  // Asked on the user-interface thread with the running stage in the caption.
  HWND question = running.WaitForBox("the abort question");
  ExpectText("abort question", App::BoxText(question), T(kMsgAbortQuestion));
  Expect(GetWindow(question, GW_OWNER) == running.frame(), "the abort question is owned by the frame");
  running.PressBoxButton(question, IDYES);
  Require([&] { return running.Text(kCancel) == T(kMsgButtonClose); }, "the stages stop", 60000);
  Require([&] { return running.Enabled(kCancel); }, "Close enabled after the worker ended");
  Screenshot("aborted");
  const std::string view = running.WholeText(kLogView);
  ExpectContains("abort verdict", view, Ansi("补丁进程被用户中断。"));
  // The header does not call the aborted update a success.
  ExpectHeader(running, T(kMsgError), T(kMsgInterruptedByUser));
  Expect(running.SendTo(kProgressBar, PBM_GETPOS) == 0, "the bar at 0 after an abort");
  running.Click(kCancel);
  Expect(running.WaitForExit() == kExitIncomplete, "exit code -1 after an abort");
  ExpectTree("folder after an abort", app, before);
  const std::string log = Folder(s, "update.log");
  Expect(FileHas(log, T(kMsgAbortQuestion) + " (IDNO)") && FileHas(log, T(kMsgAbortQuestion) + " (IDYES)"),
         "both abort answers are in the log file");
  Expect(FileHas(log, Ansi("补丁进程被用户中断。")), "the abort verdict is in the log file");
}
// A damaged item found by the integrity check, answered No: the stages stop
// with the error report, nothing at the destination changed, exit code -1.
void DamagedItem() {
  const std::string s = "damaged_item";
  const std::string app = Folder(s, "app");
  LayOutOldVersion(app);
  std::map<std::string, std::string> before;
  ListTree(app, "", before);
  PackageEntryPlan damaged = DeflatedFile("Add/zzz.txt", BytesOf("damaged contents"));
  damaged.crc = 0x12345678;
  std::vector<PackageEntryPlan> extra;
  extra.push_back(std::move(damaged));
  App running(WriteUpdatePackage(
      s, Install(app, Folder(s, "update.log"), "ShowAppFolder=0\r\nShowOptions=0\r\n"),
      std::move(extra)));
  running.WaitForFrame(Title());
  running.WaitForPage(kWelcomeTitle, "welcome");
  running.Click(kNext);
  running.AnswerBox(T(kMsgDeleteWithoutBackup), IDYES);
  HWND question = running.WaitForBox("the damaged item question");
  ExpectContains("damaged item question", App::BoxText(question), Ansi("压缩文件“zzz.txt”被破坏。"));
  Screenshot("damaged_item");
  running.PressBoxButton(question, IDNO);
  // The stage failed: going on to the next stage is declined too.
  question = running.WaitForBox("the continue question");
  ExpectContains("continue question", App::BoxText(question),
                 Printf(T(kMsgErrorContinue).c_str(), T(kMsgStageIntegrity).c_str()));
  running.PressBoxButton(question, IDNO);
  Require([&] { return running.Text(kCancel) == T(kMsgButtonClose); }, "the stages end", 60000);
  ExpectHeader(running, T(kMsgError), T(kMsgUpdateFailed));
  const std::string view = running.WholeText(kLogView);
  ExpectContains("failed stage", view, T(kMsgStageIntegrity) + Ansi(": 报错!"));
  ExpectContains("error verdict", view, Ansi("补丁进程因错误中断。"));
  running.Click(kCancel);
  Expect(running.WaitForExit() == kExitIncomplete, "exit code -1 after a damaged item");
  ExpectTree("folder after a damaged item", app, before);
}

const ScenarioRegistration kCleanUpdate{"clean_update", CleanUpdate};
const ScenarioRegistration kOverwriteDialog{"overwrite_dialog", OverwriteDialog};
const ScenarioRegistration kAbortConfirmed{"abort", AbortConfirmed};
const ScenarioRegistration kDamagedItem{"damaged_item", DamagedItem};

}  // namespace
