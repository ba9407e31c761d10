// The folder and options pages' validation rules: what each page accepts,
// which message or question comes, in which order against the rejection,
// and what ends up stored.
#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/text_buffer.h"
#include "engine/run_context.h"
#include "platform/message_box.h"
#include "report/question_host.h"
#include "settings/page_rules.h"
#include "tests/support/package_writer.h"
#include "tests/support/run_fixture.h"

namespace {

// Everything the page did, in order: "box <style> <text>" for each message
// or question, "fail <id>" for each rejection.
using Events = std::vector<std::string>;

class ScriptedHost final : public QuestionHost {
 public:
  explicit ScriptedHost(Events& events) : events_(events) {}
  int ShowMessageBox(const char* text, const char*, uint32_t style) override {
    std::ostringstream line;
    line << "box " << std::hex << (style & 0xFFF) << ' ' << text;
    events_.push_back(line.str());
    if (answers.empty()) return platform::DefaultAnswer(style);
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<int> answers;

 private:
  Events& events_;
};

class FakePage final : public PageControls {
 public:
  explicit FakePage(Events& events) : events_(events) {
    labels[kOldFolderLabel] = "Demo 1.0 文件夹位置";
    labels[kNewFolderLabel] = "Demo 2.0 文件夹位置";
  }

  void ReadEditText(uint16_t id, TextBuffer& out) override {
    std::string& text = edits[id];
    if (text.empty()) {
      out.Release();
      return;
    }
    out.AssignText(text.c_str());
    CleanEditText(out);
    text = out.chars();
  }
  void ReadLabelText(uint16_t id, TextBuffer& out) override { out.AssignText(labels[id].c_str()); }
  bool IsChecked(uint16_t id) override { return checks[id]; }
  void FailValidation(uint16_t id) override { events_.push_back("fail " + std::to_string(id)); }
  PathKind ProbePath(const char* path) override {
    const auto found = paths.find(path);
    return found != paths.end() ? found->second : PathKind::kMissing;
  }

  std::map<uint16_t, std::string> edits;
  std::map<uint16_t, std::string> labels;
  std::map<uint16_t, bool> checks;
  std::map<std::string, PathKind> paths;

 private:
  Events& events_;
};

constexpr const char* kOld = "/srv/App";
constexpr const char* kNew = "/srv/AppNew";

struct PageRun {
  PageRun() : host(events), context(host), page(events) {
    page.paths[kOld] = PathKind::kDirectory;
    page.paths["/srv/file.txt"] = PathKind::kFile;
    page.paths["/srv/a|b"] = PathKind::kInvalidName;
    page.paths["/srv/x|y"] = PathKind::kInvalidName;
    PatchSettings& settings = context.settings;
    settings.SourceFolder.AssignText(kOld);
    settings.DestinationFolder.AssignText(kOld);
  }

  // The options page as its initialisation leaves it for `settings`.
  void OptionsFromSettings() {
    const PatchSettings& settings = context.settings;
    page.checks[kSimulateBox] = settings.SimulateApplying != 0;
    page.checks[kApplyBox] = settings.ApplyUpdate != 0;
    page.checks[kBackupBox] = settings.ExecuteBackup != 0;
    page.checks[kLogBox] = settings.WriteLog != 0;
  }

  Events events;
  ScriptedHost host;
  RunContext context;
  FakePage page;
};

std::string Box(uint32_t style, const std::string& text) {
  std::ostringstream line;
  line << "box " << std::hex << style << ' ' << text;
  return line.str();
}

const std::string kEnterOld = Box(0x10, "输入 Demo 1.0 文件夹位置!");
const std::string kEnterNew = Box(0x10, "输入 Demo 2.0 文件夹位置!");
const std::string kForceNoChange =
    Box(0x123, "解压缩升级进程期间没有现有的文件将被替换或更改。\n\n一定要强制备份程序吗？");
const std::string kForceOtherFolder =
    Box(0x123, "新文件目录名不同于老文件目录。\n\n一定要强制备份程序吗？");
const std::string kDeleteQuestion =
    Box(0x33, "在补丁应用期间一些文件/目录将被删除，并且不创建备份。\n\n你确认吗？");

std::string InvalidName(const std::string& path) {
  return Box(0x10, "目录名“" + path + "”不正确!");
}

TEST(FolderPageRules, RejectsTheOldFolderWithTheMessageInItsOrder) {
  struct Case {
    const char* typed;
    Events expected;
  };
  const Case cases[] = {
      {"", {"fail 1008", kEnterOld}},
      {"   ", {"fail 1008", kEnterOld}},
      {"/srv/a|b", {InvalidName("/srv/a|b"), "fail 1008"}},
      {"/srv/missing", {"fail 1008", Box(0x10, "目录“/srv/missing”不存在。\n\n请重新输入老文件位置!")}},
      {"/srv/file.txt", {"fail 1008", Box(0x10, "目录“/srv/file.txt”不存在。\n\n请重新输入老文件位置!")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    PageRun run;
    run.page.edits[kOldFolderEdit] = c.typed;
    EXPECT_FALSE(CommitFolderPage(run.context, run.page));
    EXPECT_EQ(run.events, c.expected);
  }
}

TEST(FolderPageRules, OldFolderIsOnlyRequiredWhenAStageReadsIt) {
  struct Case {
    int32_t simulate, backup, apply;
    bool accepted;
  };
  const Case cases[] = {
      {0, 0, 0, true}, {1, 0, 0, false}, {0, 1, 0, false}, {0, 0, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.simulate << c.backup << c.apply);
    PageRun run;
    run.context.settings.SimulateApplying = c.simulate;
    run.context.settings.ExecuteBackup = c.backup;
    run.context.settings.ApplyUpdate = c.apply;
    run.page.edits[kOldFolderEdit] = "";
    EXPECT_EQ(CommitFolderPage(run.context, run.page), c.accepted);
    if (c.accepted) {
      EXPECT_TRUE(run.events.empty());
      EXPECT_STREQ(run.context.settings.SourceFolder.chars(), "");
      EXPECT_STREQ(run.context.settings.DestinationFolder.chars(), "");
    }
  }
}

TEST(FolderPageRules, InPlaceUpdateStoresTheCleanedFolderTwice) {
  PageRun run;
  run.context.settings.ApplyToSrc = 1;
  run.page.edits[kOldFolderEdit] = "  /srv/App/  ";
  run.page.edits[kNewFolderEdit] = "/srv/a|b";  // hidden: never read
  ASSERT_TRUE(CommitFolderPage(run.context, run.page));
  EXPECT_TRUE(run.events.empty());
  EXPECT_EQ(run.page.edits[kOldFolderEdit], kOld);  // written back cleaned
  EXPECT_STREQ(run.context.settings.SourceFolder.chars(), kOld);
  EXPECT_STREQ(run.context.settings.DestinationFolder.chars(), kOld);
  EXPECT_EQ(run.context.settings.SameFolder, 1);
}

TEST(FolderPageRules, RejectsTheNewFolderOnlyWhenTheUpdateIsApplied) {
  struct Case {
    int32_t apply;
    const char* typed;
    Events expected;
  };
  const Case cases[] = {
      {1, "", {"fail 1010", kEnterNew}},
      {1, "/srv/x|y", {InvalidName("/srv/x|y"), "fail 1010"}},
      {1, "/srv/not/there/yet", {}},  // created by the update
      {0, "", {}},
      {0, "/srv/x|y", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.apply << " " << c.typed);
    PageRun run;
    run.context.settings.ApplyToSrc = 0;
    run.context.settings.ApplyUpdate = c.apply;
    run.page.edits[kOldFolderEdit] = kOld;
    run.page.edits[kNewFolderEdit] = c.typed;
    EXPECT_EQ(CommitFolderPage(run.context, run.page), c.expected.empty());
    EXPECT_EQ(run.events, c.expected);
  }
}

TEST(FolderPageRules, SameFolderComparesNormalisedFoldersIgnoringCase) {
  struct Case {
    const char* newFolder;
    int32_t same;
  };
  const Case cases[] = {{"/SRV/app/", 1}, {"/srv/App/../App", 1}, {kNew, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.newFolder);
    PageRun run;
    run.context.settings.ApplyToSrc = 0;
    run.page.edits[kOldFolderEdit] = kOld;
    run.page.edits[kNewFolderEdit] = c.newFolder;
    ASSERT_TRUE(CommitFolderPage(run.context, run.page));
    EXPECT_EQ(run.context.settings.SameFolder, c.same);
    // Stored as typed, only cleaned.
    TextBuffer typed(c.newFolder);
    CleanEditText(typed);
    EXPECT_STREQ(run.context.settings.DestinationFolder.chars(), typed.chars());
  }
}

TEST(OptionsPageRules, ForcedBackupQuestionsFollowTheAnswers) {
  struct Case {
    const char* name;
    int32_t apply;
    int32_t sameFolder;
    std::vector<int> answers;
    Events expected;
    bool accepted;
    int32_t backupAfter;
  };
  using platform::kIdCancel;
  using platform::kIdNo;
  using platform::kIdYes;
  const Case cases[] = {
      {"nothing changes: No", 0, 1, {kIdNo}, {kForceNoChange}, true, 0},
      {"nothing changes: Cancel", 0, 1, {kIdCancel}, {kForceNoChange, "fail 65535"}, false, 1},
      {"nothing changes: Yes", 0, 1, {kIdYes}, {kForceNoChange}, true, 1},
      {"other folder: No", 1, 0, {kIdNo}, {kForceOtherFolder}, true, 0},
      {"other folder: Cancel", 1, 0, {kIdCancel}, {kForceOtherFolder, "fail 65535"}, false, 1},
      {"both: Yes, Yes", 0, 0, {kIdYes, kIdYes}, {kForceNoChange, kForceOtherFolder}, true, 1},
      {"both: No skips the second", 0, 0, {kIdNo}, {kForceNoChange}, true, 0},
      {"same folder, applied: no question", 1, 1, {}, {}, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageRun run;
    PatchSettings& settings = run.context.settings;
    settings.ExecuteBackup = 1;
    settings.ApplyUpdate = c.apply;
    settings.SameFolder = c.sameFolder;
    settings.WriteLog = 0;
    run.OptionsFromSettings();
    run.page.edits[kBackupEdit] = "/srv/App.Backup";
    run.host.answers.assign(c.answers.begin(), c.answers.end());
    EXPECT_EQ(CommitOptionsPage(run.context, run.page), c.accepted);
    EXPECT_EQ(run.events, c.expected);
    EXPECT_EQ(settings.ExecuteBackup, c.backupAfter);
  }
}

TEST(OptionsPageRules, RejectsTheBackupPath) {
  struct Case {
    const char* typed;
    Events expected;
  };
  const Case cases[] = {
      {"", {"fail 1018", Box(0x10, "输入备份文件位置!")}},
      {"/srv/a|b", {InvalidName("/srv/a|b"), "fail 1018"}},
      {"/SRV/app/", {"fail 1018", Box(0x10, "备份路径指向老文件或新文件位置 (目录)!")}},
      {"/srv/appnew", {"fail 1018", Box(0x10, "备份路径指向老文件或新文件位置 (目录)!")}},
      {"/srv/App.Backup", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    PageRun run;
    PatchSettings& settings = run.context.settings;
    settings.ExecuteBackup = 1;
    settings.SameFolder = 1;  // no question: the path rules alone
    settings.DestinationFolder.AssignText(kNew);
    settings.WriteLog = 0;
    run.OptionsFromSettings();
    run.page.edits[kBackupEdit] = c.typed;
    EXPECT_EQ(CommitOptionsPage(run.context, run.page), c.expected.empty());
    EXPECT_EQ(run.events, c.expected);
  }
}

TEST(OptionsPageRules, SwitchesAndBackupPathStayStoredAfterARejection) {
  PageRun run;
  run.page.checks = {{kSimulateBox, false}, {kApplyBox, true}, {kBackupBox, true}, {kLogBox, true}};
  run.page.edits[kBackupEdit] = " /srv/a|b\\ ";
  EXPECT_FALSE(CommitOptionsPage(run.context, run.page));
  const PatchSettings& settings = run.context.settings;
  EXPECT_EQ(settings.SimulateApplying, 0);
  EXPECT_EQ(settings.ApplyUpdate, 1);
  EXPECT_EQ(settings.ExecuteBackup, 1);
  EXPECT_EQ(settings.WriteLog, 1);
  EXPECT_STREQ(settings.BackupPath.chars(), "/srv/a|b");
  EXPECT_EQ(run.page.edits[kBackupEdit], "/srv/a|b");
}

// A local header of `size` uncompressed bytes, enough for the entry table.
std::array<uint8_t, 30> LocalHeaderOfSize(uint32_t size) {
  std::array<uint8_t, 30> header{};
  for (int i = 0; i < 4; ++i) header[22 + i] = static_cast<uint8_t>(size >> (8 * i));
  return header;
}

TEST(OptionsPageRules, DeletionQuestionWithoutBackup) {
  struct Case {
    const char* name;
    int32_t warningOnDel;
    int32_t apply;
    uint32_t delFilesSize;
    uint32_t delDirsSize;
    int answer;
    Events expected;
  };
  using platform::kIdCancel;
  using platform::kIdNo;
  using platform::kIdYes;
  const Case cases[] = {
      {"Yes accepts", 1, 1, 12, 0, kIdYes, {kDeleteQuestion}},
      {"No returns to the backup path", 1, 1, 12, 0, kIdNo, {kDeleteQuestion, "fail 1018"}},
      {"Cancel returns to the backup path", 1, 1, 0, 5, kIdCancel, {kDeleteQuestion, "fail 1018"}},
      {"empty lists", 1, 1, 0, 0, kIdNo, {}},
      {"no warning", 0, 1, 12, 5, kIdNo, {}},
      {"not applied", 1, 0, 12, 5, kIdNo, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageRun run;
    PatchSettings& settings = run.context.settings;
    settings.ExecuteBackup = 0;
    settings.WarningOnDel = c.warningOnDel;
    settings.ApplyUpdate = c.apply;
    settings.WriteLog = 0;
    run.OptionsFromSettings();
    const auto delFiles = LocalHeaderOfSize(c.delFilesSize);
    const auto delDirs = LocalHeaderOfSize(c.delDirsSize);
    run.context.catalogue.controlEntries[ControlEntry::kDelFiles] = delFiles.data();
    run.context.catalogue.controlEntries[ControlEntry::kDelDirs] = delDirs.data();
    run.host.answers = {c.answer};
    const bool accepted = c.expected.empty() || c.answer == kIdYes;
    EXPECT_EQ(CommitOptionsPage(run.context, run.page), accepted);
    EXPECT_EQ(run.events, c.expected);
  }
}

TEST(OptionsPageRules, LogFileNameIsCheckedThenTheLogOpens) {
  ScratchDirectory scratch("page_rules_log");
  const std::string logPath = (scratch.path() / "update.log").string();
  struct Case {
    bool writeLog;
    std::string typed;
    Events expected;
    bool opened;
  };
  const Case cases[] = {
      {true, "", {Box(0x10, "输入日志文件名!"), "fail 1020"}, false},
      {true, "/srv/a|b", {InvalidName("/srv/a|b"), "fail 1020"}, false},
      {true, " " + logPath + " ", {}, true},
      {false, logPath, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    std::filesystem::remove(logPath);
    PageRun run;
    run.context.ModulePath.AssignText("C:\\Tools\\PATCH.EXE");
    run.context.settings.WriteLog = c.writeLog ? 1 : 0;
    run.OptionsFromSettings();
    run.page.paths[logPath] = PathKind::kMissing;
    run.page.edits[kLogEdit] = c.typed;
    EXPECT_EQ(CommitOptionsPage(run.context, run.page), c.expected.empty());
    EXPECT_EQ(run.events, c.expected);
    EXPECT_EQ(run.context.logFile.file.IsOpen(), c.opened);
    CloseLogFile(run.context.logFile);
    EXPECT_EQ(std::filesystem::exists(logPath), c.opened);
    if (c.opened) {
      std::ifstream log(logPath);
      const std::string content((std::istreambuf_iterator<char>(log)), {});
      EXPECT_NE(content.find("C:\\Tools\\PATCH.EXE"), std::string::npos) << content;
    }
  }
}

TEST(PageRules, CleanEditText) {
  const std::pair<const char*, const char*> cases[] = {
      {"  C:\\App\\  ", "C:\\App"}, {"C:\\", "C:"}, {"\tD:/x//", "D:/x"}, {"   ", ""}, {"a", "a"},
  };
  for (const auto& [typed, cleaned] : cases) {
    TextBuffer text(typed);
    CleanEditText(text);
    EXPECT_STREQ(text.chars(), cleaned) << typed;
  }
}

}  // namespace
