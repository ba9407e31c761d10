// The wizard's pages: every page, the install page rules, every validation
// message of the folder and options pages, the Cancel question and the
// start-up failures.
#include "tests/e2e/scenario_kit.h"

#include <commctrl.h>

#include <fstream>
#include <string>

namespace {

void DefaultPages() {
  const std::string s = "default_pages";
  const std::string old = MakeFolder(s, "old");
  const std::string log = Folder(s, "update.log");
  DeleteFileA(log.c_str());
  PackageContent content;
  content.product += "Web=http://example.com/demo\r\nEMail=support@example.com\r\n"
                     "Copyright=(C) 2004 Example Ltd.\r\n";
  content.install = Install(old, log, "");
  content.picture = PictureFile(40, 40);
  App app(WritePackage(s, content));
  app.WaitForFrame(Title());

  // Welcome.
  app.WaitForPage(kWelcomeTitle, "welcome");
  ExpectText("welcome Next", app.Text(kNext), T(kMsgButtonNext));
  Expect(!app.Enabled(kBack), "Back is disabled on the welcome page");
  Expect(!app.Visible(kHeaderTitle) && !app.Visible(kHeaderSubtitle),
         "no header title on the welcome page");
  ExpectContains("welcome title", app.Text(kWelcomeTitle), Ansi("欢迎使用 演示程序"));
  ExpectContains("welcome text", app.Text(kWelcomeText),
                 Ansi("此升级安装向导将安装 演示程序 版本 1.0 到版本 2.0 的更新程序。"));
  Expect(app.Visible(kWelcomeInfo) && app.Visible(kWelcomeLine), "the information box is shown");
  ExpectContains("information box", app.Text(kWelcomeInfo), Ansi("网站:   http://example.com/demo"));
  ExpectContains("information box", app.Text(kWelcomeInfo), Ansi("邮件: support@example.com"));
  ExpectContains("information box", app.Text(kWelcomeInfo), "(C) 2004 Example Ltd.");
  Expect(app.SendTo(kPicture, STM_GETIMAGE, IMAGE_BITMAP) != 0, "the header shows the picture");
  Screenshot("welcome");

  // Folders: the options page is the install page, so Next reads Options.
  app.Click(kNext);
  app.WaitForPage(kOldEdit, "folder");
  ExpectHeader(app, T(kMsgFolderTitle),
               Printf(T(kMsgFolderSubtitle).c_str(), Ansi(kProductName).c_str()));
  ExpectText("Install", app.Text(kInstall), T(kMsgButtonInstall));
  ExpectText("Options", app.Text(kNext), Ansi("选项(&O) >"));
  Expect(app.Visible(kNext) && app.Visible(kInstall), "Install and Options are shown");
  ExpectText("old folder label", app.Text(kOldLabel), Ansi("演示程序 2.0 文件夹位置"));
  ExpectText("old folder", app.Text(kOldEdit), old);
  Expect(!app.Visible(kNewEdit) && !app.Visible(kNewLabel) && !app.Visible(kNewBrowse) &&
             !app.Visible(kFolderLine),
         "the new folder part is hidden for an update in place");
  ExpectContains("folder hint", app.Text(kFolderHint), Ansi("请确认指定的目录包含要升级的软件文件。"));
  ExpectFocus(app, kInstall, "first display of the folder page");
  Screenshot("folders");

  // The folder browser, owned by the frame; Cancel changes nothing.
  app.Click(kOldBrowse);
  HWND browser = app.WaitForBox("the folder browser");
  Expect(GetWindow(browser, GW_OWNER) == app.frame(), "the browser is owned by the frame");
  Screenshot("folder_browser");
  app.PressBoxButton(browser, IDCANCEL);
  ExpectText("old folder after Cancel", app.Text(kOldEdit), old);

  // Focus memory: the edit that had the focus gets it back after Next, Back.
  app.ClickInto(kOldEdit);
  app.Click(kNext);
  app.WaitForPage(kVerify, "options");
  ExpectHeader(app, T(kMsgOptionsTitle), T(kMsgOptionsSubtitle));
  ExpectText("Install", app.Text(kInstall), T(kMsgButtonInstall));
  Expect(app.CheckState(kVerify) == BST_INDETERMINATE, "the integrity check box is indeterminate");
  Expect(app.CheckState(kSimulate) == BST_CHECKED && app.CheckState(kApply) == BST_CHECKED &&
             app.CheckState(kBackup) == BST_UNCHECKED && app.CheckState(kLog) == BST_CHECKED,
         "the switches show the settings");
  Expect(!app.Enabled(kBackupEdit) && !app.Enabled(kBackupBrowse), "backup controls disabled");
  Expect(app.Enabled(kLogEdit) && app.Enabled(kLogBrowse), "log controls enabled");
  ExpectText("backup path", app.Text(kBackupEdit), old + ".Backup");
  ExpectText("log file", app.Text(kLogEdit), log);
  Screenshot("options");
  app.Click(kBackup);
  Require([&] { return app.Enabled(kBackupEdit) && app.Enabled(kBackupBrowse); },
          "backup controls enabled by their box");
  app.Click(kBackup);
  Require([&] { return !app.Enabled(kBackupEdit); }, "backup controls disabled again");

  // The log file chooser opens and Cancel changes nothing.
  app.Click(kLogBrowse);
  HWND chooser = app.WaitForBox("the log file chooser");
  ExpectText("chooser caption", App::WindowText(chooser), T(kMsgChooseLogFile));
  Screenshot("log_chooser");
  app.PressBoxButton(chooser, IDCANCEL);
  ExpectText("log file after Cancel", app.Text(kLogEdit), log);

  app.Click(kBack);
  app.WaitForPage(kOldEdit, "folder again");
  ExpectText("Options after Back", app.Text(kNext), Ansi("选项(&O) >"));
  ExpectFocus(app, kOldEdit, "back on the folder page");
  app.Click(kNext);
  app.WaitForPage(kVerify, "options again");

  // Install validates the pages, opens the log file and shows the progress page.
  app.Click(kInstall);
  app.WaitForPage(kLogView, "progress");
  Expect(FileHas(log, Ansi(kProductName)) || FileHas(log, "selfpatch.exe"),
         "the log file was opened with its run header");
  Screenshot("progress");
  CloseFromProgressPage(app);
}

void LicenceAndNotes() {
  const std::string s = "licence_notes";
  const std::string old = MakeFolder(s, "old");
  PackageContent content;
  content.install = Install(old, Folder(s, "update.log"), "ShowLicense=1\r\nShowNotes=1\r\n");
  content.license =
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 LICENCE TERMS\\par "
      "Use at your own risk. See http://example.com/licence\\par}";
  content.notes = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 RELEASE NOTES\\par "
                  "\\b Fixed:\\b0  everything.\\par}";
  App app(WritePackage(s, content));
  app.WaitForFrame(Title());
  app.WaitForPage(kWelcomeTitle, "welcome");
  Expect(!app.Visible(kWelcomeInfo) && !app.Visible(kWelcomeLine),
         "no information box without Web, EMail and Copyright");
  Expect(app.SendTo(kPicture, STM_GETIMAGE, IMAGE_BITMAP) == 0, "no picture without rtpic.bmp");
  app.Click(kNext);

  app.WaitForPage(kAccept, "licence");
  ExpectHeader(app, T(kMsgLicenseTitle), T(kMsgLicenseSubtitle));
  ExpectText("accept button", app.Text(kNext), Ansi("同意(&A)"));
  Expect(!app.Enabled(kNext), "accept starts disabled");
  Expect(app.CheckState(kDecline) == BST_CHECKED && app.CheckState(kAccept) == BST_UNCHECKED,
         "decline starts chosen");
  ExpectContains("licence text", app.Text(kLicenceText), "LICENCE TERMS");
  Screenshot("licence");
  app.Click(kAccept);
  Require([&] { return app.Enabled(kNext); }, "accept enabled by choosing accept");
  app.Click(kDecline);
  Require([&] { return !app.Enabled(kNext); }, "accept disabled by choosing decline");
  app.Click(kAccept);
  Require([&] { return app.Enabled(kNext); }, "accept enabled again");
  app.Click(kNext);

  app.WaitForPage(kNotesText, "notes");
  ExpectHeader(app, T(kMsgNotesTitle),
               Printf(T(kMsgNotesSubtitle).c_str(), Ansi(kProductName).c_str(), "2.0"));
  ExpectText("notes Next", app.Text(kNext), T(kMsgButtonNext));
  ExpectContains("notes text", app.Text(kNotesText), "RELEASE NOTES");
  Screenshot("notes");
  app.Click(kBack);
  app.WaitForPage(kAccept, "licence again");
  Expect(app.CheckState(kAccept) == BST_CHECKED && app.Enabled(kNext),
         "the licence choice survives the page switch");
  app.Click(kNext);
  app.WaitForPage(kNotesText, "notes again");
  app.Click(kNext);
  app.WaitForPage(kOldEdit, "folder");

  // Cancel asks; No keeps the wizard as it was; Yes ends it.
  app.Click(kCancel);
  app.AnswerBox(T(kMsgCancelQuestion), IDNO);
  Expect(app.Item(kOldEdit) != nullptr, "No keeps the folder page");
  app.Click(kCancel);
  HWND box = app.WaitForBox("the Cancel question");
  Screenshot("cancel_question");
  app.PressBoxButton(box, IDYES);
  Expect(app.WaitForExit() == kExitIncomplete, "exit code -1 after Cancel");
}

void LicenceAsInstallPage() {
  const std::string s = "licence_install";
  const std::string old = MakeFolder(s, "old");
  const std::string log = Folder(s, "update.log");
  DeleteFileA(log.c_str());
  PackageContent content;
  content.install = Install(old, log, "ShowLicense=1\r\nShowAppFolder=0\r\nShowOptions=0\r\n");
  content.license = "{\\rtf1\\ansi TERMS\\par}";
  App app(WritePackage(s, content));
  app.WaitForFrame(Title());
  app.WaitForPage(kWelcomeTitle, "welcome");
  app.Click(kNext);
  app.WaitForPage(kAccept, "licence");
  ExpectText("licence as install page", app.Text(kNext), T(kMsgButtonInstall));
  Expect(!app.Enabled(kNext), "Install starts disabled");
  app.Click(kAccept);
  Require([&] { return app.Enabled(kNext); }, "Install enabled by accept");
  app.Click(kNext);
  // The hidden folder and options pages commit; the log file opens.
  app.WaitForPage(kLogView, "progress");
  Expect(GetFileAttributesA(log.c_str()) != INVALID_FILE_ATTRIBUTES,
         "the hidden options page opened the log file");
  CloseFromProgressPage(app);
}

// With every optional page hidden, the welcome page's Next installs.
void WelcomeAsInstallPage() {
  const std::string s = "welcome_install";
  const std::string old = MakeFolder(s, "old");
  PackageContent content;
  content.install = Install(old, Folder(s, "update.log"), "ShowAppFolder=0\r\nShowOptions=0\r\n");
  App app(WritePackage(s, content));
  app.WaitForFrame(Title());
  app.WaitForPage(kWelcomeTitle, "welcome");
  ExpectText("welcome as install page", app.Text(kNext), T(kMsgButtonInstall));
  app.Click(kNext);
  CloseFromProgressPage(app);
}

void FolderAsInstallPage() {
  const std::string s = "folder_install";
  const std::string old = MakeFolder(s, "old");
  PackageContent content;
  // The hidden options page starts with a backup into the old folder itself.
  content.install = Install(old, Folder(s, "update.log"), "ShowOptions=0\r\n",
                            "[BACKUP]\r\nExecuteBackup=1\r\nBackupPath=" + old + "\r\n");
  App app(WritePackage(s, content));
  app.WaitForFrame(Title());
  app.WaitForPage(kWelcomeTitle, "welcome");
  app.Click(kNext);
  app.WaitForPage(kOldEdit, "folder");
  Expect(!app.Visible(kNext), "the Options button is hidden on the install page");
  Expect(app.Rect(kInstall).right == app.Rect(kNext).right, "Install takes the Options place");
  Expect(app.Rect(kBack).right == app.Rect(kInstall).left, "Back stands left of Install");
  ExpectFocus(app, kInstall, "first display");
  Screenshot("folder_install_page");

  // Install commits the hidden options page, which rejects the backup path:
  // the options page comes forward as the install page.
  app.Click(kInstall);
  app.AnswerBox(T(kMsgBackupPathClash), IDOK);
  app.WaitForPage(kVerify, "options");
  ExpectSelected(app, kBackupEdit);
  ExpectText("Install", app.Text(kInstall), T(kMsgButtonInstall));
  app.Click(kBack);
  app.WaitForPage(kOldEdit, "folder");
  Expect(app.Visible(kNext), "the folder page has its Options button back");
  ExpectText("Options", app.Text(kNext), Ansi("选项(&O) >"));
  Expect(app.Rect(kInstall).right == app.Rect(kNext).left, "Install is back in its place");
  Expect(app.Rect(kBack).right == app.Rect(kInstall).left, "Back follows Install");
  Screenshot("folder_with_options_again");
  app.Click(kNext);
  app.WaitForPage(kVerify, "options again");
  app.SetText(kBackupEdit, Folder(s, "backup"));
  app.Click(kInstall);
  CloseFromProgressPage(app);
}

void HiddenFolderPageComesForward() {
  const std::string s = "hidden_folder";
  const std::string missing = Folder(s, "missing");
  PackageContent content;
  content.install = Install(missing, Folder(s, "update.log"),
                            "ShowNotes=1\r\nShowAppFolder=0\r\nShowOptions=0\r\n");
  content.notes = "{\\rtf1\\ansi NOTES\\par}";
  App app(WritePackage(s, content));
  app.WaitForFrame(Title());
  app.WaitForPage(kWelcomeTitle, "welcome");
  app.Click(kNext);
  app.WaitForPage(kNotesText, "notes");
  ExpectText("notes as install page", app.Text(kNext), T(kMsgButtonInstall));
  app.Click(kNext);
  app.AnswerBox(Printf(T(kMsgFolderMissing).c_str(), missing.c_str()), IDOK);
  app.WaitForPage(kOldEdit, "folder");
  ExpectSelected(app, kOldEdit);
  Expect(!app.Visible(kNext), "the folder page became the install page");
  Screenshot("folder_brought_forward");
  app.Click(kBack);
  app.WaitForPage(kNotesText, "notes again");
  ExpectText("notes Next again", app.Text(kNext), T(kMsgButtonNext));
  app.Click(kNext);
  app.WaitForPage(kOldEdit, "folder again");
  app.SetText(kOldEdit, MakeFolder(s, "old"));
  app.Click(kInstall);
  CloseFromProgressPage(app);
}

void FolderAndOptionsValidation() {
  const std::string s = "validation";
  const std::string old = MakeFolder(s, "old");
  const std::string fresh = Folder(s, "new");
  const std::string log = Folder(s, "update.log");
  DeleteFileA(log.c_str());
  PackageContent content;
  content.install = "[INSTALL]\r\nApplyToSrc=0\r\n" +
                    Install(old, log, "", "[DST_FIXPATH]\r\nPath=" + fresh + "\r\n");
  App app(WritePackage(s, content));
  app.WaitForFrame(Title());
  app.WaitForPage(kWelcomeTitle, "welcome");
  app.Click(kNext);
  app.WaitForPage(kOldEdit, "folder");
  ExpectText("old label", app.Text(kOldLabel), Ansi("演示程序 1.0 文件夹位置"));
  ExpectText("new label", app.Text(kNewLabel), Ansi("演示程序 2.0 文件夹位置"));
  Expect(app.Visible(kNewEdit) && app.Visible(kNewLabel) && app.Visible(kNewBrowse) &&
             app.Visible(kFolderLine),
         "the new folder part is shown");
  ExpectText("new folder", app.Text(kNewEdit), fresh);
  Screenshot("folders_two");

  const std::string enterOld = Printf(T(kMsgEnterValue).c_str(), app.Text(kOldLabel).c_str());
  const std::string enterNew = Printf(T(kMsgEnterValue).c_str(), app.Text(kNewLabel).c_str());
  auto invalid = [](const std::string& path) {
    return Printf(T(kMsgInvalidDirectoryName).c_str(), path.c_str());
  };
  struct Step {
    int edit;
    std::string typed;
    std::string message;
  };
  const std::string missing = Folder(s, "missing");
  const Step folderSteps[] = {
      {kOldEdit, "", enterOld},
      {kOldEdit, "C:\\a|b", invalid("C:\\a|b")},
      {kOldEdit, missing, Printf(T(kMsgFolderMissing).c_str(), missing.c_str())},
      {kNewEdit, "", enterNew},
      {kNewEdit, "C:\\x|y", invalid("C:\\x|y")},
  };
  for (const Step& step : folderSteps) {
    app.SetText(step.edit, step.typed);
    if (step.edit == kNewEdit) app.SetText(kOldEdit, "  " + old + "\\  ");
    app.Click(kNext);  // Options: the folder page validates
    app.AnswerBox(step.message, IDOK);
    Expect(app.Item(kOldEdit) != nullptr, "the folder page stays");
    if (step.typed.empty()) ExpectFocus(app, step.edit, "empty field");
    else ExpectSelected(app, step.edit);
  }
  ExpectText("old folder cleaned and written back", app.Text(kOldEdit), old);
  app.SetText(kNewEdit, fresh);  // need not exist
  app.Click(kNext);
  app.WaitForPage(kVerify, "options");

  // The forced-backup questions: Cancel keeps the page.
  const std::string noChange = T(kMsgForceBackupNoChange);
  const std::string otherFolder = T(kMsgForceBackupOtherFolder);
  app.Click(kBackup);
  app.Click(kApply);
  Require([&] { return app.CheckState(kApply) == BST_UNCHECKED; }, "apply switched off");
  app.Click(kInstall);
  HWND box = app.WaitForBox("the first backup question");
  Screenshot("backup_question");
  ExpectText("first backup question", App::BoxText(box), noChange);
  app.PressBoxButton(box, IDCANCEL);
  Expect(app.Item(kVerify) != nullptr, "Cancel keeps the options page");
  app.Click(kInstall);
  app.AnswerBox(noChange, IDYES);
  app.AnswerBox(otherFolder, IDCANCEL);
  app.Click(kApply);
  Require([&] { return app.CheckState(kApply) == BST_CHECKED; }, "apply switched on");

  const Step optionSteps[] = {
      {kBackupEdit, "", T(kMsgEnterBackupPath)},
      {kBackupEdit, "C:\\b|c", invalid("C:\\b|c")},
      {kBackupEdit, UpperWithSeparator(old), T(kMsgBackupPathClash)},
      {kBackupEdit, fresh, T(kMsgBackupPathClash)},
  };
  for (const Step& step : optionSteps) {
    app.SetText(step.edit, step.typed);
    app.Click(kInstall);
    app.AnswerBox(otherFolder, IDYES);
    app.AnswerBox(step.message, IDOK);
    Expect(app.Item(kVerify) != nullptr, "the options page stays");
    if (step.typed.empty()) ExpectFocus(app, step.edit, "empty field");
    else ExpectSelected(app, step.edit);
  }
  app.SetText(kBackupEdit, Folder(s, "backup"));
  const Step logSteps[] = {
      {kLogEdit, "", T(kMsgEnterLogFileName)},
      {kLogEdit, "C:\\l|g.log", invalid("C:\\l|g.log")},
  };
  for (const Step& step : logSteps) {
    app.SetText(step.edit, step.typed);
    app.Click(kInstall);
    app.AnswerBox(otherFolder, IDYES);
    app.AnswerBox(step.message, IDOK);
    if (step.typed.empty()) ExpectFocus(app, step.edit, "empty field");
    else ExpectSelected(app, step.edit);
  }
  Expect(GetFileAttributesA(log.c_str()) == INVALID_FILE_ATTRIBUTES,
         "no log file before the options page is accepted");
  app.SetText(kLogEdit, log);
  app.Click(kInstall);
  app.AnswerBox(otherFolder, IDYES);
  app.WaitForPage(kLogView, "progress");
  Expect(GetFileAttributesA(log.c_str()) != INVALID_FILE_ATTRIBUTES, "the log file was opened");
  CloseFromProgressPage(app);
}

void DeletionQuestion() {
  const std::string s = "deletion";
  const std::string old = MakeFolder(s, "old");
  PackageContent content;
  content.install = Install(old, Folder(s, "update.log"), "");
  content.delFiles = "obsolete.txt\r\n";
  App app(WritePackage(s, content));
  app.WaitForFrame(Title());
  app.WaitForPage(kWelcomeTitle, "welcome");
  app.Click(kNext);
  app.WaitForPage(kOldEdit, "folder");
  app.Click(kNext);
  app.WaitForPage(kVerify, "options");
  const std::string question = T(kMsgDeleteWithoutBackup);
  app.Click(kInstall);
  app.AnswerBox(question, IDNO);
  Expect(app.Item(kVerify) != nullptr, "No keeps the options page");
  app.Click(kInstall);
  app.AnswerBox(question, IDCANCEL);
  Expect(app.Item(kVerify) != nullptr, "Cancel keeps the options page");
  // Backup on without applying: No to the first question switches the
  // backup off, and without application nothing is deleted: accepted.
  app.Click(kBackup);
  app.Click(kApply);
  Require([&] { return app.CheckState(kApply) == BST_UNCHECKED; }, "apply switched off");
  app.Click(kInstall);
  app.AnswerBox(T(kMsgForceBackupNoChange), IDNO);
  CloseFromProgressPage(app);

  // Yes to the deletion question accepts the page.
  App again(WritePackage(s, content));
  again.WaitForFrame(Title());
  again.WaitForPage(kWelcomeTitle, "welcome");
  again.Click(kNext);
  again.WaitForPage(kOldEdit, "folder");
  again.Click(kInstall);  // the folder page's Install validates the options page too
  again.AnswerBox(question, IDYES);
  CloseFromProgressPage(again);
}

void StartupFailures() {
  const std::string s = "startup";
  const std::string missing = Folder(s, "no_such_package.bin");
  {
    App app(missing);
    HWND box = app.WaitForBox("the missing package box");
    const std::string text = App::BoxText(box);
    ExpectContains("missing package box", text,
                   Printf(T(kMsgCannotOpenPackage).c_str(), missing.c_str(), ""));
    Expect(text.size() > missing.size() + 30, "the box carries the system's reason");
    ExpectContains("caption is the program path", App::WindowText(box), "selfpatch.exe");
    Expect(GetWindow(box, GW_OWNER) == nullptr, "the start-up box has no owner");
    Screenshot("startup_missing");
    app.PressBoxButton(box, IDOK);
    Expect(app.WaitForExit() == 1, "exit code 1 for a missing package");
  }
  {
    const std::string empty = Folder(s, "empty.bin");
    std::ofstream(empty, std::ios::binary).close();
    App app(empty);
    HWND box = app.WaitForBox("the empty package box");
    ExpectText("empty package box", App::BoxText(box), T(kMsgEmptyPackageFile));
    app.PressBoxButton(box, IDOK);
    Expect(app.WaitForExit() == 1, "exit code 1 for an empty package");
  }
}

const ScenarioRegistration kDefaultPages{"default_pages", DefaultPages};
const ScenarioRegistration kLicenceAndNotes{"licence_notes", LicenceAndNotes};
const ScenarioRegistration kLicenceAsInstallPage{"licence_install", LicenceAsInstallPage};
const ScenarioRegistration kWelcomeAsInstallPage{"welcome_install", WelcomeAsInstallPage};
const ScenarioRegistration kFolderAsInstallPage{"folder_install", FolderAsInstallPage};
const ScenarioRegistration kHiddenFolderPageComesForward{"hidden_folder", HiddenFolderPageComesForward};
const ScenarioRegistration kFolderAndOptionsValidation{"validation", FolderAndOptionsValidation};
const ScenarioRegistration kDeletionQuestion{"deletion", DeletionQuestion};
const ScenarioRegistration kStartupFailures{"startup", StartupFailures};

}  // namespace
