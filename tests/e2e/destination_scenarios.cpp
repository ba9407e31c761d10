// Where an update goes: a separate destination folder, the backup folder, the
// old folder found through the registry, another INI file or a fixed path
// (and which of them wins), and closing the wizard after a completed update.
#include "tests/e2e/scenario_kit.h"

#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

namespace {

// The log view's text with the rich edit's CR LF paragraph ends as LF, the
// way the program writes them.
std::string ViewText(App& app) {
  std::string text;
  for (char c : app.WholeText(kLogView)) {
    if (c != '\r') text += c;
  }
  return text;
}

std::string WholeFile(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A file's last-write time (zero when it cannot be read).
FILETIME LastWrite(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return FILETIME{};
  return data.ftLastWriteTime;
}

// A local time as a file time, the way a package entry's DOS stamp is set.
FILETIME LocalStamp(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
  SYSTEMTIME local{};
  local.wYear = year;
  local.wMonth = month;
  local.wDay = day;
  local.wHour = hour;
  local.wMinute = minute;
  FILETIME localTime{};
  FILETIME universal{};
  SystemTimeToFileTime(&local, &localTime);
  LocalFileTimeToFileTime(&localTime, &universal);
  return universal;
}

bool SameTime(const FILETIME& a, const FILETIME& b) { return CompareFileTime(&a, &b) == 0; }

void SetLastWrite(const std::string& path, const FILETIME& time) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw ScenarioFailed("cannot open " + path + " to set its time");
  SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
}

std::string ForwardSlashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// A registry key of the test, removed again when the scenario ends (also
// when it fails), so that no later run finds it.
class TestRegistryKey {
 public:
  TestRegistryKey(HKEY root, const std::string& scenario)
      : root_(root), path_(std::string(kParent) + "\\" + scenario) {
    if (RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS) {
      throw ScenarioFailed("cannot create the registry key " + path_);
    }
  }
  ~TestRegistryKey() {
    RegCloseKey(key_);
    RegDeleteKeyA(root_, path_.c_str());
    RegDeleteKeyA(root_, kParent);  // fails, harmlessly, while other keys remain
  }
  TestRegistryKey(const TestRegistryKey&) = delete;
  TestRegistryKey& operator=(const TestRegistryKey&) = delete;

  void Set(const char* name, DWORD type, const std::string& text) const {
    if (RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS) {
      throw ScenarioFailed(std::string("cannot set the registry value ") + name);
    }
  }
  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  static constexpr char kParent[] = "Software\\selfpatch-e2e";
  HKEY root_;
  std::string path_;
  HKEY key_ = nullptr;
};

// Starts the program on `package`, waits for the frame and the welcome page.
void StartAtWelcome(App& app) {
  app.WaitForFrame(Title());
  app.WaitForPage(kWelcomeTitle, "welcome");
}

// The old folder stays as it was; the new version is built in a separate
// folder given relative to the old one. Only what the package carries lands
// there: added, replaced and updated files, and an Update item without
// content, which copies the old file and stamps it with the entry's
// attributes and time. The deletion lists act on the new folder.
void SeparateDestination() {
  const std::string s = "separate_destination";
  const std::string app = Folder(s, "app");
  const std::string dest = Folder(s, "new");
  LayOutOldVersion(app);
  std::map<std::string, std::string> oldTree;
  ListTree(app, "", oldTree);
  // The listed file and directory also exist in the new folder: they go
  // there, and stay in the old one.
  CreateDirectoryA(dest.c_str(), nullptr);
  WriteBytes(dest + "\\obsolete.txt", BytesOf("bye too"));
  CreateDirectoryA((dest + "\\olddir").c_str(), nullptr);
  const std::string log = Folder(s, "update.log");
  DeleteFileA(log.c_str());

  PackageEntryPlan sameContent = StoredFile("Update/keep.txt.df", {});
  sameContent.externalAttributes = kAttributeArchive | FILE_ATTRIBUTE_READONLY;
  sameContent.dosDate = DosDate(2003, 3, 3);
  sameContent.dosTime = DosTime(10, 20, 0);
  std::vector<PackageEntryPlan> extra;
  extra.push_back(std::move(sameContent));
  const std::string install = "[INSTALL]\r\nApplyToSrc=0\r\n" +
                              Install(app, log, "ShowOptions=0\r\n", "[DST_FIXPATH]\r\nPath=..\\new\r\n");
  App running(WriteUpdatePackage(s, install, std::move(extra)));
  StartAtWelcome(running);
  running.Click(kNext);
  running.WaitForPage(kOldEdit, "folder");
  Expect(running.Visible(kNewEdit) && running.Visible(kNewLabel), "the new folder part is shown");
  ExpectText("old folder", running.Text(kOldEdit), app);
  ExpectText("new folder, relative to the old one", running.Text(kNewEdit), dest);
  ExpectText("old folder label", running.Text(kOldLabel), Ansi("演示程序 1.0 文件夹位置"));
  Screenshot("separate_destination_folders");
  running.Click(kInstall);
  running.AnswerBox(T(kMsgDeleteWithoutBackup), IDYES);
  running.WaitForPage(kLogView, "progress");
  Require([&] { return running.Text(kCancel) == T(kMsgButtonClose); }, "the stages end", 60000);
  Screenshot("separate_destination_done");

  const std::string view = ViewText(running);
  ExpectContains("simulated against the old folder", view, T(kMsgSimulatingPatch) + "app.exe - " + T(kMsgCorrect));
  ExpectContains("patched into the new folder", view,
                 T(kMsgPatchingFile) + dest + "\\app.exe - " + T(kMsgCorrect));
  ExpectContains("the old file copied for the item without content", view,
                 T(kMsgCopyingFile) + app + "\\keep.txt\n" + T(kMsgCopyTo) + dest + "\\keep.txt - " +
                     T(kMsgCorrect) + "\n" + T(kMsgPatchingFile) + dest + "\\keep.txt - " + T(kMsgCorrect));
  ExpectContains("listed file deleted in the new folder", view,
                 T(kMsgDeletingFile) + dest + "\\obsolete.txt - " + T(kMsgCorrect));
  ExpectContains("listed directory removed in the new folder", view,
                 T(kMsgDeletingDirectory) + dest + "\\olddir - " + T(kMsgCorrect));
  Expect(view.find(app + "\\obsolete.txt") == std::string::npos, "nothing is deleted in the old folder");
  CloseFromProgressPage(running);

  ExpectTree("old folder", app, oldTree);
  ExpectTree("new folder", dest, NewVersionTree());
  const std::string copied = dest + "\\keep.txt";
  Expect((GetFileAttributesA(copied.c_str()) & FILE_ATTRIBUTE_READONLY) != 0,
         "the copied file has the entry's read-only attribute");
  Expect(SameTime(LastWrite(copied), LocalStamp(2003, 3, 3, 10, 20)), "the copied file has the entry's time");
  // The file facts before each item: the old file, then the new one that
  // does not exist yet.
  Expect(FileHas(log, "Old: " + app + "\\app.exe ") &&
             FileHas(log, "New: " + dest + "\\app.exe (doesn't exist)\r\n"),
         "the log file has the facts of both folders' files");
  Expect(FileHas(log, T(kMsgPatchingFile) + dest + "\\app.exe - " + T(kMsgCorrect) + "\n"),
         "the log file has the item line");
}

// Backup on, in place, with the backup folder taken as the old folder's
// sibling: the backup holds the old versions of the files the package
// changes, an empty directory for each listed directory and the listed
// files, each with its old time; the folder is the new version.
void Backup() {
  const std::string s = "backup";
  const std::string app = Folder(s, "app");
  LayOutOldVersion(app);
  const FILETIME oldTime = LocalStamp(2001, 2, 3, 4, 5);
  SetLastWrite(app + "\\readme.txt", oldTime);
  const std::string backup = Folder(s, "app.Backup");
  const std::string log = Folder(s, "update.log");
  DeleteFileA(log.c_str());
  App running(WriteUpdatePackage(
      s, Install(app, log, "ShowAppFolder=0\r\n", "[BACKUP]\r\nExecuteBackup=1\r\n")));
  StartAtWelcome(running);
  running.Click(kNext);
  running.WaitForPage(kVerify, "options");
  Expect(running.CheckState(kBackup) == BST_CHECKED, "the backup box is ticked");
  Expect(running.Enabled(kBackupEdit), "the backup path can be edited");
  ExpectText("backup folder beside the old folder", running.Text(kBackupEdit), backup);
  Screenshot("backup_options");
  // With a backup the deletion lists need no question.
  running.Click(kInstall);
  running.WaitForPage(kLogView, "progress");
  Require([&] { return running.Text(kCancel) == T(kMsgButtonClose); }, "the stages end", 60000);
  Expect(running.FindBox() == nullptr, "no question was asked");
  Screenshot("backup_done");

  const std::string view = ViewText(running);
  ExpectContains("backup stage result", view,
                 Printf(T(kMsgStageCompleted).c_str(), T(kMsgStageBackup).c_str()));
  ExpectContains("a backup copy", view,
                 T(kMsgCopyingFile) + app + "\\readme.txt\n" + T(kMsgCopyTo) + backup + "\\readme.txt - " +
                     T(kMsgCorrect));
  ExpectContains("a listed directory in the backup", view,
                 T(kMsgCreatingDirectory) + backup + "\\olddir - " + T(kMsgCorrect));
  Expect(view.find(app + "\\new.txt\n") == std::string::npos, "an added file that was not there is not copied");
  CloseFromProgressPage(running);

  ExpectTree("updated folder", app, NewVersionTree());
  const std::vector<uint8_t> program = OldProgram();
  ExpectTree("backup folder", backup,
             {{"app.exe", std::string(program.begin(), program.end())},
              {"data", "<dir>"},
              {"data\\config.ini", kOldConfig},
              {"readme.txt", "old readme"},
              {"obsolete.txt", "bye"},
              {"olddir", "<dir>"}});
  Expect(SameTime(LastWrite(backup + "\\readme.txt"), oldTime), "the backup copy keeps the old file's time");
  Expect(SameTime(LastWrite(app + "\\readme.txt"), LocalStamp(2004, 6, 1, 12, 0)),
         "the replaced file has the entry's time");
  Expect(FileHas(log, "\r\n" + app + "\\readme.txt ") &&
             FileHas(log, backup + "\\readme.txt (doesn't exist)\r\n"),
         "the log file has the facts of each copy's source and target");
}

// The old folder from a registry value (REG_EXPAND_SZ, with the root key
// written in lower case): the folder page shows it expanded, the update
// lands there, and the log file, named by nobody, is the program's name
// with ".log" in that folder.
void FolderFromRegistry() {
  const std::string s = "folder_registry";
  const std::string app = Folder(s, "app");
  LayOutOldVersion(app);
  SetEnvironmentVariableA("SELFPATCH_E2E_WORK", WorkFolder().c_str());
  TestRegistryKey key(HKEY_CURRENT_USER, s);
  key.Set("InstallDir", REG_EXPAND_SZ, "%SELFPATCH_E2E_WORK%\\" + s + "\\app");
  const std::string install = "[SRC_REGISTRY]\r\nRootKey=hkey_current_user\r\nKey=" + key.path() +
                              "\r\nValue=InstallDir\r\n[WIZARD]\r\nShowOptions=0\r\n[LOG]\r\nOverwriteLog=1\r\n";
  App running(WriteUpdatePackage(s, install));
  StartAtWelcome(running);
  running.Click(kNext);
  running.WaitForPage(kOldEdit, "folder");
  ExpectText("old folder from the registry", running.Text(kOldEdit), app);
  Screenshot("folder_registry");
  running.Click(kInstall);
  running.AnswerBox(T(kMsgDeleteWithoutBackup), IDYES);
  running.WaitForPage(kLogView, "progress");
  Require([&] { return running.Text(kCancel) == T(kMsgButtonClose); }, "the stages end", 60000);
  ExpectContains("log view", ViewText(running), T(kMsgAddingFile) + app + "\\new.txt - " + T(kMsgCorrect));
  CloseFromProgressPage(running);

  const std::string log = app + "\\selfpatch.log";
  Expect(FileHas(log, "====================== Start patch =========================\r\n") &&
             FileHas(log, Printf(T(kMsgStageCompleted).c_str(), T(kMsgStageApply).c_str())),
         "the log file in the old folder holds the run");
  DeleteFileA(log.c_str());
  ExpectTree("updated folder", app, NewVersionTree());
}

// The old folder from another INI file, with the section and keys in lower
// case and the value written with '/' separators and a trailing one; the
// folder page is hidden, so the update shows where it went.
void FolderFromIniFile() {
  const std::string s = "folder_ini";
  const std::string app = Folder(s, "app");
  LayOutOldVersion(app);
  const std::string ini = Folder(s, "paths.ini");
  WriteBytes(ini, BytesOf("[Paths]\r\nOther=C:\\nowhere\r\nHome=" + ForwardSlashes(app) + "/\r\n"));
  const std::string log = Folder(s, "update.log");
  DeleteFileA(log.c_str());
  const std::string install = "[src_inifile]\r\nfile=" + ini + "\r\nsection=paths\r\nentry=home\r\n"
                              "[WIZARD]\r\nShowAppFolder=0\r\nShowOptions=0\r\n[LOG]\r\nLogFileName=" + log + "\r\n";
  App running(WriteUpdatePackage(s, install));
  StartAtWelcome(running);
  running.Click(kNext);
  running.AnswerBox(T(kMsgDeleteWithoutBackup), IDYES);
  running.WaitForPage(kLogView, "progress");
  Require([&] { return running.Text(kCancel) == T(kMsgButtonClose); }, "the stages end", 60000);
  const std::string view = ViewText(running);
  ExpectContains("the folder with backslashes", view,
                 T(kMsgPatchingFile) + app + "\\data\\config.ini - " + T(kMsgCorrect));
  CloseFromProgressPage(running);
  ExpectTree("updated folder", app, NewVersionTree());
  Expect(FileHas(log, T(kMsgDeletingFile) + app + "\\obsolete.txt - " + T(kMsgCorrect) + "\n"),
         "the log file has the deletion in the folder from the INI file");
}

// Which source gives the old folder when several are present: the methods
// are tried registry, INI file, fixed path, and a later one overrides a found
// folder only when its section stands after the earlier method's. Each case
// reads the folder page and cancels.
void FolderPrecedence() {
  const std::string s = "folder_fixed";
  const std::string fromRegistry = MakeFolder(s, "registry");
  const std::string fromIni = MakeFolder(s, "ini");
  const std::string fixed = MakeFolder(s, "fixed");
  TestRegistryKey key(HKEY_LOCAL_MACHINE, s);
  key.Set("Folder", REG_SZ, fromRegistry);
  key.Set("Empty", REG_SZ, "");
  const std::string ini = Folder(s, "paths.ini");
  WriteBytes(ini, BytesOf("[Paths]\r\nHome=" + fromIni + "\r\n"));

  const std::string registry = "[SRC_REGISTRY]\r\nRootKey=HKEY_LOCAL_MACHINE\r\nKey=" + key.path() +
                               "\r\nValue=Folder\r\n";
  const std::string emptyRegistry = "[SRC_REGISTRY]\r\nRootKey=HKEY_LOCAL_MACHINE\r\nKey=" + key.path() +
                                    "\r\nValue=Empty\r\n";
  const std::string iniFile = "[SRC_INIFILE]\r\nFile=" + ini + "\r\nSection=Paths\r\nEntry=Home\r\n";
  const std::string missingEntry = "[SRC_INIFILE]\r\nFile=" + ini + "\r\nSection=Paths\r\nEntry=Nothing\r\n";
  const std::string fixedPath = "[SRC_FIXPATH]\r\nPath=" + fixed + "\r\n";
  struct Case {
    const char* what;
    std::string sections;
    std::string expected;
  };
  const Case cases[] = {
      {"fixed path, registry, INI file: the INI file", fixedPath + registry + iniFile, fromIni},
      {"fixed path, INI file, registry: the registry", fixedPath + iniFile + registry, fromRegistry},
      {"registry, INI file, fixed path: the fixed path", registry + iniFile + fixedPath, fixed},
      {"fixed path, registry, no INI file: the fixed path", fixedPath + registry, fixed},
      {"fixed path, an empty registry text, a missing INI entry: the fixed path",
       fixedPath + emptyRegistry + missingEntry, fixed},
  };
  for (const Case& c : cases) {
    PackageContent content;
    content.install = c.sections + "[WIZARD]\r\nShowOptions=0\r\n[LOG]\r\nWriteLog=0\r\n";
    App running(WritePackage(s, content));
    StartAtWelcome(running);
    running.Click(kNext);
    running.WaitForPage(kOldEdit, "folder");
    ExpectText(c.what, running.Text(kOldEdit), c.expected);
    running.Click(kCancel);
    running.AnswerBox(T(kMsgCancelQuestion), IDYES);
    Expect(running.WaitForExit() == kExitIncomplete, std::string(c.what) + ": exit code -1 after Cancel");
  }
}

// Close after a completed update, its own run: the finished header, the bar
// at 100, the log file released by the worker before Close and ending with
// the run's last line after the earlier run's text, and exit code 1.
void CloseAfterSuccess() {
  const std::string s = "close_after_success";
  const std::string app = Folder(s, "app");
  LayOutOldVersion(app);
  const std::string log = Folder(s, "update.log");
  WriteBytes(log, BytesOf("an earlier run\r\n"));
  App running(WriteUpdatePackage(s, Install(app, log, "ShowAppFolder=0\r\nShowOptions=0\r\n")));
  StartAtWelcome(running);
  running.Click(kNext);
  running.AnswerBox(T(kMsgDeleteWithoutBackup), IDYES);
  running.WaitForPage(kLogView, "progress");
  Require([&] { return running.Text(kCancel) == T(kMsgButtonClose); }, "the stages end", 60000);
  Screenshot("close_after_success");

  ExpectHeader(running, T(kMsgFinished), T(kMsgUpdateSucceeded));
  Expect(running.SendTo(kProgressBar, PBM_GETPOS) == 100, "the bar at 100");
  Expect(running.Enabled(kCancel), "Close is enabled");
  ExpectText("caption back to the title", App::WindowText(running.frame()), Title());
  ExpectText("stage label keeps the last stage", running.Text(1030), T(kMsgStageApply));
  const std::string lastLine = Printf(T(kMsgStageCompleted).c_str(), T(kMsgStageApply).c_str()) + "\n";
  std::string view = ViewText(running);
  Expect(EndsWith(view, lastLine) || EndsWith(view, lastLine.substr(0, lastLine.size() - 1)),
         "the view ends with the application stage's result");
  Expect(view.find(T(kMsgErrorReport)) == std::string::npos, "no error report after success");

  // The worker closes the log file when the stages end: another program may
  // then write it, which the run's sharing (reading only) forbids.
  Expect(WaitUntil(
             [&] {
               HANDLE file = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
               if (file == INVALID_HANDLE_VALUE) return false;
               CloseHandle(file);
               return true;
             },
             3000),
         "the log file is closed before Close is pressed");
  const std::string logBefore = WholeFile(log);
  running.Click(kCancel);
  Expect(running.WaitForExit() == kExitCompleted, "exit code 1 after Close");

  const std::string logAfter = WholeFile(log);
  Expect(logAfter == logBefore, "Close adds nothing to the log file");
  const std::string header = "an earlier run\r\n====================== Start patch =========================\r\n[";
  Expect(logAfter.compare(0, header.size(), header) == 0,
         "the run's header follows the earlier run's text directly");
  SYSTEMTIME now{};
  GetLocalTime(&now);
  ExpectContains("the header's date", logAfter, Printf("[%02u.%02u.%04u ", now.wDay, now.wMonth, now.wYear));
  ExpectContains("the header names the program", logAfter, "selfpatch.exe\r\n");
  Expect(EndsWith(logAfter, lastLine), "the log file ends with the application stage's result line");
  ExpectTree("updated folder", app, NewVersionTree());
}

const ScenarioRegistration kSeparateDestination{"separate_destination", SeparateDestination};
const ScenarioRegistration kBackup{"backup", Backup};
const ScenarioRegistration kFolderFromRegistry{"folder_registry", FolderFromRegistry};
const ScenarioRegistration kFolderFromIniFile{"folder_ini", FolderFromIniFile};
const ScenarioRegistration kFolderPrecedence{"folder_precedence", FolderPrecedence};
const ScenarioRegistration kCloseAfterSuccess{"close_after_success", CloseAfterSuccess};

}  // namespace
