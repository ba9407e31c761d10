// Drives the real selfpatch.exe under Wine through its wizard: every page,
// the install page rules, every validation message of the folder and
// options pages, the Cancel question and the start-up failures.
// usage: wizard_driver.exe SELFPATCH.EXE WORK_FOLDER [SCENARIO...]
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "message_keys.h"
#include "tests/e2e/driver.h"
#include "tests/support/package_writer.h"
#include "tools/make/difference_encoder.h"

namespace {

// Controls by page.
constexpr int kInstall = 1, kCancel = 2, kBack = 3, kNext = 1006;
constexpr int kHeaderTitle = 1000, kHeaderSubtitle = 1001;
constexpr int kWelcomeTitle = 1040, kWelcomeText = 1022, kWelcomeInfo = 1023, kWelcomeLine = 1024;
constexpr int kAccept = 1036, kDecline = 1037, kLicenceText = 1007;
constexpr int kNotesText = 1025;
constexpr int kOldEdit = 1008, kOldBrowse = 1009, kNewEdit = 1010, kNewBrowse = 1011;
constexpr int kOldLabel = 1028, kNewLabel = 1029, kFolderHint = 1007, kFolderLine = 1012;
constexpr int kVerify = 1014, kSimulate = 1015, kApply = 1016, kBackup = 1017, kBackupEdit = 1018;
constexpr int kBackupBrowse = 1021, kLog = 1019, kLogEdit = 1020, kLogBrowse = 1022;
constexpr int kLogView = 1032, kProgressBar = 1031;
constexpr int kPicture = 1044;

constexpr DWORD kExitCompleted = 1;
constexpr DWORD kExitIncomplete = 0xFFFFFFFF;  // -1: the stages did not complete

const char kProductName[] = "演示程序";

std::string T(uint32_t key) { return Catalogue(key); }

std::string Title() {
  return Printf(T(kMsgTitleFormat).c_str(), Ansi(kProductName).c_str(), "1.0", "2.0");
}

// What goes into a package besides one Add item.
struct PackageContent {
  std::string product = std::string("[PRODUCT]\r\nProductName=") + kProductName +
                        "\r\nOldVersion=1.0\r\nNewVersion=2.0\r\n";
  std::string install;  // UTF-8; converted to the ANSI code page
  std::string license;
  std::string notes;
  std::string delFiles;
  std::vector<uint8_t> picture;  // rtpic.bmp
};

// A 24-bit bitmap file of `width` x `height`: a blue and green gradient with
// a white diagonal, easy to spot in the header.
std::vector<uint8_t> PictureFile(int width, int height) {
  const int stride = (width * 3 + 3) & ~3;
  const uint32_t pixelBytes = static_cast<uint32_t>(stride * height);
  std::vector<uint8_t> file(54 + pixelBytes, 0);
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  file[26] = 1;
  file[28] = 24;
  put32(34, pixelBytes);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = &file[54 + static_cast<size_t>(y * stride + x * 3)];
      const bool diagonal = std::abs(x - y) <= 1;
      pixel[0] = diagonal ? 255 : static_cast<uint8_t>(255 - 200 * x / width);  // blue
      pixel[1] = diagonal ? 255 : static_cast<uint8_t>(60 + 180 * y / height);  // green
      pixel[2] = diagonal ? 255 : 40;                                            // red
    }
  }
  return file;
}

std::string Folder(const std::string& scenario, const std::string& name = "") {
  std::string path = WorkFolder() + "\\" + scenario;
  CreateDirectoryA(path.c_str(), nullptr);
  if (name.empty()) return path;
  path += "\\" + name;
  return path;
}

std::string MakeFolder(const std::string& scenario, const std::string& name) {
  const std::string path = Folder(scenario, name);
  CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

std::string WritePackage(const std::string& scenario, const PackageContent& content) {
  PackagePlan plan;
  plan.hostPrefix = BytesOf("MZ");
  plan.files.push_back(DeflatedFile("product", BytesOf(Ansi(content.product))));
  if (!content.install.empty()) {
    plan.files.push_back(DeflatedFile("install", BytesOf(Ansi(content.install))));
  }
  if (!content.license.empty()) {
    plan.files.push_back(DeflatedFile("license.rtf", BytesOf(content.license)));
  }
  if (!content.notes.empty()) {
    plan.files.push_back(DeflatedFile("notes.rtf", BytesOf(content.notes)));
  }
  if (!content.delFiles.empty()) {
    plan.files.push_back(DeflatedFile("del.files", BytesOf(content.delFiles)));
  }
  if (!content.picture.empty()) {
    plan.files.push_back(DeflatedFile("rtpic.bmp", content.picture));
  }
  plan.files.push_back(DeflatedFile("Add/readme.txt", BytesOf("new readme\r\n")));
  const std::vector<uint8_t> bytes = BuildPackage(plan).bytes;
  const std::string path = Folder(scenario, "package.bin");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

// An `install` entry: the old folder as a fixed path, the log file, and
// `more` (more sections, or keys of the sections named here).
std::string Install(const std::string& oldFolder, const std::string& logFile,
                    const std::string& wizard, const std::string& more = "") {
  return "[SRC_FIXPATH]\r\nPath=" + oldFolder + "\r\n[LOG]\r\nLogFileName=" + logFile +
         "\r\n[WIZARD]\r\n" + wizard + more;
}

// The same folder written in upper case with a trailing separator.
std::string UpperWithSeparator(std::string path) {
  CharUpperA(path.data());
  return path + "\\";
}

bool FileHas(const std::string& path, const std::string& part) {
  std::ifstream file(path, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(file)), {});
  return content.find(part) != std::string::npos;
}

void ExpectFocus(App& app, int id, const std::string& what) {
  Expect(WaitUntil([&] { return app.Focus() == app.Item(id); }, 3000),
         what + ": the focus is on control " + std::to_string(id));
}

// A rejected field is selected as a whole and has the focus.
void ExpectSelected(App& app, int id) {
  ExpectFocus(app, id, "rejected field");
  const auto [start, end] = app.Selection(id);
  const int length = static_cast<int>(app.Text(id).size());
  Expect(start == 0 && end == length,
         Printf("control %d selected 0..%d, got %d..%d", id, length, start, end));
}

void ExpectHeader(App& app, const std::string& title, const std::string& subtitle) {
  Expect(app.Visible(kHeaderTitle) && app.Visible(kHeaderSubtitle), "the header is shown");
  ExpectText("header title", app.Text(kHeaderTitle), title);
  ExpectContains("header subtitle", app.Text(kHeaderSubtitle), subtitle);
}

// Waits for the stages to end on the progress page, closes it and checks
// the header and the exit code (1: the stages completed).
void CloseFromProgressPage(App& app) {
  app.WaitForPage(kLogView, "progress");
  Require([&] { return app.Text(kCancel) == T(kMsgButtonClose); }, "the button reads Close",
          60000);
  ExpectHeader(app, T(kMsgFinished), T(kMsgUpdateSucceeded));
  Expect(app.SendTo(kProgressBar, PBM_GETPOS) == 100, "the bar at 100 after a completed update");
  app.Click(kCancel);
  Expect(app.WaitForExit() == kExitCompleted, "exit code 1 after a completed update");
}

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

// ---- Update runs ----

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// An old and a new program: mostly the same bytes, some changed, some added.
std::vector<uint8_t> OldProgram() {
  std::vector<uint8_t> bytes(64 * 1024);
  uint32_t state = 12345;
  for (uint8_t& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 16);
  }
  return bytes;
}

std::vector<uint8_t> NewProgram() {
  std::vector<uint8_t> bytes = OldProgram();
  for (size_t at = 100; at < bytes.size(); at += 997) bytes[at] ^= 0x5A;
  const std::vector<uint8_t> tail = BytesOf("version 2.0 resources");
  bytes.insert(bytes.begin() + 3000, tail.begin(), tail.end());
  return bytes;
}

PackageEntryPlan DirectoryItem(const std::string& name) {
  PackageEntryPlan plan = StoredFile(name, {});
  plan.externalAttributes = kAttributeDirectory;
  return plan;
}

PackageEntryPlan UpdateItem(const std::string& name, const std::vector<uint8_t>& oldBytes,
                           const std::vector<uint8_t>& newBytes) {
  std::vector<uint8_t> difference;
  if (EncodeDifference(oldBytes, newBytes, {kAttributeArchive, 0}, {kAttributeArchive, 0},
                       difference) != EncodeStatus::kEncoded) {
    throw ScenarioFailed("the difference of " + name + " could not be encoded");
  }
  return DeflatedFile("Update/" + name + ".df", difference);
}

const char kOldConfig[] = "[main]\r\nlevel=1\r\n";
const char kNewConfig[] = "[main]\r\nlevel=2\r\nextra=yes\r\n";

// The installed old version.
void LayOutOldVersion(const std::string& app) {
  CreateDirectoryA(app.c_str(), nullptr);
  WriteBytes(app + "\\app.exe", OldProgram());
  CreateDirectoryA((app + "\\data").c_str(), nullptr);
  WriteBytes(app + "\\data\\config.ini", BytesOf(kOldConfig));
  WriteBytes(app + "\\readme.txt", BytesOf("old readme"));
  WriteBytes(app + "\\obsolete.txt", BytesOf("bye"));
  WriteBytes(app + "\\keep.txt", BytesOf("keep"));
  CreateDirectoryA((app + "\\olddir").c_str(), nullptr);
}

// The package that turns the old version into the new one: every kind of
// item, a directory, and both deletion lists. `install` is the install entry.
std::string WriteUpdatePackage(const std::string& scenario, const std::string& install,
                               std::vector<PackageEntryPlan> extra = {}) {
  PackagePlan plan;
  plan.hostPrefix = BytesOf("MZ");
  plan.files.push_back(DeflatedFile("product", BytesOf(Ansi(PackageContent().product))));
  plan.files.push_back(DeflatedFile("install", BytesOf(Ansi(install))));
  plan.files.push_back(StoredFile("del.files", BytesOf("obsolete.txt\r\n")));
  plan.files.push_back(StoredFile("del.dirs", BytesOf("olddir\r\n")));
  plan.files.push_back(DeflatedFile("Add/new.txt", BytesOf("brand new\r\n")));
  plan.files.push_back(DeflatedFile("Add/sub/deep/file.txt", BytesOf("deep\r\n")));
  plan.files.push_back(DirectoryItem("Add/emptydir/"));
  plan.files.push_back(DeflatedFile("Replace/readme.txt", BytesOf("new readme")));
  plan.files.push_back(UpdateItem("app.exe", OldProgram(), NewProgram()));
  plan.files.push_back(UpdateItem("data/config.ini", BytesOf(kOldConfig), BytesOf(kNewConfig)));
  for (PackageEntryPlan& item : extra) plan.files.push_back(std::move(item));
  const std::string path = Folder(scenario, "package.bin");
  WriteBytes(path, BuildPackage(plan).bytes);
  return path;
}

// Every file and directory under `root` as relative name -> content
// ("<dir>" for a directory).
void ListTree(const std::string& root, const std::string& prefix,
              std::map<std::string, std::string>& tree) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((root + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string relative = prefix.empty() ? name : prefix + "\\" + name;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      tree[relative] = "<dir>";
      ListTree(root + "\\" + name, relative, tree);
    } else {
      const std::vector<uint8_t> bytes = ReadBytes(root + "\\" + name);
      tree[relative] = std::string(bytes.begin(), bytes.end());
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::map<std::string, std::string> NewVersionTree() {
  const std::vector<uint8_t> program = NewProgram();
  return {{"app.exe", std::string(program.begin(), program.end())},
          {"data", "<dir>"},
          {"data\\config.ini", kNewConfig},
          {"readme.txt", "new readme"},
          {"keep.txt", "keep"},
          {"new.txt", "brand new\r\n"},
          {"sub", "<dir>"},
          {"sub\\deep", "<dir>"},
          {"sub\\deep\\file.txt", "deep\r\n"},
          {"emptydir", "<dir>"}};
}

void ExpectTree(const std::string& what, const std::string& root,
                const std::map<std::string, std::string>& expected) {
  std::map<std::string, std::string> actual;
  ListTree(root, "", actual);
  for (const auto& [name, content] : expected) {
    const auto found = actual.find(name);
    if (found == actual.end()) {
      Expect(false, what + ": " + name + " is missing");
    } else {
      Expect(found->second == content, what + ": " + name + " has other bytes");
    }
  }
  for (const auto& [name, content] : actual) {
    Expect(expected.count(name) != 0, what + ": " + name + " should not be there");
  }
}

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

  const std::string view = running.Text(kLogView);
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
  const std::string view = running.Text(kLogView);
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
// stages stop, the verdict is the red "interrupted by the user" line, the
// bar is at 0, nothing at the destination changed and the exit code is -1.
void AbortConfirmed() {
  const std::string s = "abort";
  const std::string app = Folder(s, "app");
  LayOutOldVersion(app);
  std::map<std::string, std::string> before;
  ListTree(app, "", before);
  std::vector<PackageEntryPlan> many;
  for (int i = 0; i < 3000; ++i) {
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
  const std::string view = running.Text(kLogView);
  ExpectContains("abort verdict", view, Ansi("补丁进程被用户中断。"));
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
  const std::string view = running.Text(kLogView);
  ExpectContains("failed stage", view, T(kMsgStageIntegrity) + Ansi(": 报错!"));
  ExpectContains("error verdict", view, Ansi("补丁进程因错误中断。"));
  running.Click(kCancel);
  Expect(running.WaitForExit() == kExitIncomplete, "exit code -1 after a damaged item");
  ExpectTree("folder after a damaged item", app, before);
}
// The demo: runs a real self-applying package (DEMO_PACKAGE) with the
// default answers on every page, with a screenshot of each. Not one of the
// test scenarios; `wizard_driver.exe PROGRAM WORK demo` runs it alone.
void Demo() {
  const char* package = std::getenv("DEMO_PACKAGE");
  if (package == nullptr) throw ScenarioFailed("DEMO_PACKAGE names no package");
  SetProgramPath(package);
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
  for (int page = 1; running.Item(kLogView) == nullptr && page < 10; ++page) {
    Screenshot(Printf("demo_%d_page", page));
    running.Click(running.Visible(kNext) && running.Enabled(kNext) ? kNext : kInstall);
    // A question on the way (deleting without a backup): its default answer.
    WaitUntil([&] { return running.FindBox() != nullptr || running.Item(kLogView) != nullptr; },
              3000);
    if (HWND box = running.FindBox()) {
      Screenshot(Printf("demo_%d_question", page));
      running.PressBoxButton(box, IDYES);
    }
  }
  running.WaitForPage(kLogView, "progress");
  Require([&] { return running.Text(kCancel) == T(kMsgButtonClose); }, "the stages end", 120000);
  Screenshot("demo_done");
  running.Click(kCancel);
  Log(Printf("demo: exit code %d", static_cast<int>(running.WaitForExit())));
}

using Scenario = void (*)();
const std::map<std::string, Scenario> kScenarios = {
    {"default_pages", DefaultPages},
    {"licence_notes", LicenceAndNotes},
    {"licence_install", LicenceAsInstallPage},
    {"welcome_install", WelcomeAsInstallPage},
    {"folder_install", FolderAsInstallPage},
    {"hidden_folder", HiddenFolderPageComesForward},
    {"validation", FolderAndOptionsValidation},
    {"deletion", DeletionQuestion},
    {"startup", StartupFailures},
    {"clean_update", CleanUpdate},
    {"overwrite_dialog", OverwriteDialog},
    {"abort", AbortConfirmed},
    {"damaged_item", DamagedItem},
};

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
    for (const auto& [name, run] : kScenarios) chosen.push_back(name);
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
    const auto found = kScenarios.find(name);
    if (found == kScenarios.end()) {
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
