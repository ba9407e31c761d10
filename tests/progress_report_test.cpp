// The progress log, the log file, the questions and the deletion-list walker,
// each on a fresh run context without a package.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "engine/file_placement.h"
#include "engine/list_walker.h"
#include "engine/run_context.h"
#include "engine/safe_names.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "report/log_file.h"
#include "report/progress_log.h"
#include "report/questions.h"
#include "startup/process_texts.h"
#include "tests/support/recording_view.h"
#include "tools/make/scripted_front_end.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ScratchFolder {
 public:
  ScratchFolder() {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() /
            (std::string("selfpatch_report_") + info->test_suite_name() + "_" + info->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// A run context with a scripted host and a recording view.
struct ContextRig {
  explicit ContextRig(std::vector<int> answers = {}) : host(std::move(answers)), context(host) {
    context.progressView = &view;
    context.settings.Title.AssignText("产品 1 到 2 升级");
  }
  AnswerScriptHost host;
  RecordingProgressView view;
  RunContext context;
};

TEST(ProgressLog, VerdictsWarningsAndCopyResultsCarryTheirStyles) {
  ContextRig run;
  RunContext& context = run.context;
  LogItem(context, "a");
  LogVerdict(context, true);
  LogItem(context, "b");
  LogVerdict(context, false);
  LogText(context, "after");
  LogWarning(context, "careful");
  for (uint32_t code : {1u, 2u, 1032u, 1037u, 1033u, 1034u, 1036u, 0u}) {
    LogText(context, "x");
    LogCopyResult(context, code);
  }
  LogStageFailed(context, "备份");
  EXPECT_EQ(run.view.StyledText(),
            "a - 正确\nb - <b red>失败\n</>after<red>careful\n</>"
            "x正确\nx<b red>失败\n</>x 已覆盖\nx 已覆盖\nx<red> 已跳过\n</>x<red> 已跳过\n</>xx"
            "备份:<red> 报错!\n</>");
}

TEST(ProgressLog, StagesHaveHeadingsSeparatorsAndResultLines) {
  ContextRig run;
  RunContext& context = run.context;
  const ProcessTexts& texts = GetProcessTexts();
  BeginStage(context, texts.stageIntegrity);
  context.StageStop = 1;
  EndStage(context);
  BeginStage(context, texts.stageBackup);
  EXPECT_EQ(context.StageStop, 0);
  context.StageError = 1;
  EndStage(context);
  const std::string separator(99, '-');
  EXPECT_EQ(run.view.StyledText(),
            "<b u>检验补丁文件完整性...\n</><b blue><检验补丁文件完整性> 进程顺利完成\n</>" +
                separator + "\n<b u>备份...\n</><b red><备份> 进程因错误终止!\n</>");
  EXPECT_EQ(run.view.captions,
            (std::vector<std::string>{"产品 1 到 2 升级: 检验补丁文件完整性",
                                      "产品 1 到 2 升级: 备份"}));
  EXPECT_EQ(run.view.labels, (std::vector<std::string>{"检验补丁文件完整性", "备份"}));
  EXPECT_EQ(std::string(context.CurrentStageName.chars()), "备份");
}

TEST(ProgressLog, StepsMoveTheBarThroughTotalSteps) {
  ContextRig run;
  run.context.catalogue.TotalSteps = 7;
  for (int i = 0; i < 7; ++i) ProgressStep(run.context);
  EXPECT_EQ(run.view.positions, (std::vector<uint32_t>{14, 28, 42, 57, 71, 85, 100}));
}

TEST(LogFile, HeaderAppendsOrOverwritesAndEveryWriteIsANoOpWhenClosed) {
  ScratchFolder scratch;
  const std::string path = (scratch.path() / "run.log").string();
  {
    std::ofstream(path, std::ios::binary) << "old content";
  }
  LogFile log;
  LogWrite(log, "lost");  // not open: nothing
  OpenLogFile(log, path.c_str(), false, "C:\\tools\\selfpatch.exe");
  LogWriteLine(log, "line");
  LogWriteLine(log, nullptr);
  CloseLogFile(log);
  LogWrite(log, "lost again");
  const std::regex appended(
      "old content====================== Start patch =========================\r\n"
      "\\[\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d\\]: C:\\\\tools\\\\selfpatch\\.exe\r\nline\r\n");
  EXPECT_TRUE(std::regex_match(ReadText(path), appended)) << ReadText(path);

  OpenLogFile(log, path.c_str(), true, "m");
  CloseLogFile(log);
  EXPECT_EQ(ReadText(path).rfind("======", 0), 0u);

  // A log that cannot be created leaves the log closed, without a word.
  OpenLogFile(log, (scratch.path() / "missing" / "x.log").string().c_str(), false, "m");
  EXPECT_FALSE(log.file.IsOpen());
}

TEST(LogFile, AttributeFieldsAndFileFacts) {
  ScratchFolder scratch;
  const std::string path = (scratch.path() / "log.txt").string();
  LogFile log;
  OpenLogFile(log, path.c_str(), true, "m");
  const size_t header = ReadText(path).size();
  struct Case {
    uint32_t attributes;
    const char* field;
  };
  for (const Case& c : {Case{0x20, " -a--"}, Case{0x21, " ra--"}, Case{0x803, " r-h-c"},
                        Case{0x80, " ----"}, Case{0x27, " rahs"}}) {
    LogAttributes(log, c.attributes);
    LogWrite(log, "|");
  }
  const fs::path file = scratch.path() / "ro.bin";
  std::ofstream(file) << "x";
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const fs::path missing = scratch.path() / "missing.bin";
  LogFileFacts(log, file.string().c_str());
  LogFileFacts(log, missing.string().c_str());
  LogFileFacts(log, scratch.path().string().c_str());
  CloseLogFile(log);
  const std::regex expected(
      " -a--\\| ra--\\| r-h-c\\| ----\\| rahs\\|" + file.string() +
      " r--- \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d\r\n" + missing.string() +
      " \\(doesn't exist\\)\r\n" + scratch.path().string() + " ----\r\n");
  const std::string body = ReadText(path).substr(header);
  EXPECT_TRUE(std::regex_match(body, expected)) << body;
}

TEST(Questions, CaptionsNameTheRunningStage) {
  ContextRig run;
  TextBuffer caption;
  QuestionCaption(run.context, caption);
  EXPECT_STREQ(caption.chars(), "产品 1 到 2 升级");
  BeginStage(run.context, GetProcessTexts().stageBackup);
  static_cast<void>(AskUser(run.context, "q", kAskErrorOk));
  ASSERT_EQ(run.host.asked.size(), 1u);
  EXPECT_EQ(run.host.asked[0].caption, "产品 1 到 2 升级:  备份");
  EXPECT_EQ(run.host.asked[0].style, kAskErrorOk | platform::kMbTaskModal | kMbSetForeground);
}

TEST(Questions, ReportErrorTurnsAnswersIntoStageFlagsAndLogsThem) {
  ScratchFolder scratch;
  const std::string path = (scratch.path() / "q.log").string();
  struct Case {
    int answer;
    bool retry;
    uint8_t error;
    uint8_t stop;
    const char* tag;
  };
  for (const Case& c : {Case{platform::kIdRetry, true, 0, 0, " (IDRETRY)\r\n"},
                        Case{platform::kIdIgnore, false, 1, 0, " (IDIGNORE)\r\n"},
                        Case{platform::kIdAbort, false, 1, 1, " (IDABORT)\r\n"},
                        Case{0, false, 1, 0, ""}}) {
    ContextRig run({c.answer});
    OpenLogFile(run.context.logFile, path.c_str(), true, "m");
    const size_t header = ReadText(path).size();
    errno = ENOENT;
    EXPECT_EQ(ReportError(run.context, "不能打开文件“%s”。", "C:\\a.txt", true), c.retry);
    CloseLogFile(run.context.logFile);
    EXPECT_EQ(run.context.StageError, c.error) << c.answer;
    EXPECT_EQ(run.context.StageStop, c.stop) << c.answer;
    ASSERT_EQ(run.host.asked.size(), 1u);
    const std::string text = "不能打开文件“C:\\a.txt”。\n\nNo such file or directory\r\n";
    EXPECT_EQ(run.host.asked[0].text, text);
    EXPECT_EQ(run.host.asked[0].style & 0xFFFF, kAskAbortRetryIgnore | platform::kMbTaskModal);
    EXPECT_EQ(ReadText(path).substr(header), text + c.tag);
  }
}

TEST(Questions, OverwriteAnswersOutsideTheDialogsButtonsCountAsSkip) {
  for (int answer : {1037, 1032, 1033, 1034, 2, 1, 0, -1}) {
    ContextRig run({answer});
    const int expected = (answer == 1 || answer == 0 || answer == -1) ? 1033 : answer;
    EXPECT_EQ(AskOverwrite(run.context, "cap", "文件“%s”已经存在。", "x.txt"), expected);
    ASSERT_EQ(run.host.asked.size(), 1u);
    EXPECT_EQ(run.host.asked[0].text, "文件“x.txt”已经存在。");
    EXPECT_TRUE(run.host.asked[0].overwrite);
  }
}

TEST(ListWalker, NamesAreTrimmedLinesInOrderAndTheTextIsRestored) {
  struct Case {
    const char* text;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"a.txt\r\nb c.txt\r\n\r\n  \t d.txt \t\r\n", {"a.txt", "b c.txt", "d.txt"}},
      {"one\rtwo\nthree", {"one", "two", "three"}},
      {"", {}},
      {" \r\n\t\f\n ", {}},
      {"dir\\\n", {"dir\\"}},
  };
  for (const Case& c : cases) {
    ContextRig run;
    std::string text = c.text;
    std::vector<std::string> names;
    EXPECT_TRUE(WalkList(run.context, text.data(), [&](const char* name) {
      names.emplace_back(name);
      return true;
    }));
    EXPECT_EQ(names, c.names) << c.text;
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(CountListLines(run.context, text.data()), c.names.size());
  }
  ContextRig run;
  EXPECT_TRUE(WalkList(run.context, nullptr, [](const char*) { return false; }));
}

TEST(ListWalker, AFalseActionEndsTheWalkAndAnAbortEndsItQuietly) {
  ContextRig run;
  std::string text = "a\nb\nc\n";
  int calls = 0;
  EXPECT_FALSE(WalkList(run.context, text.data(), [&](const char*) { return ++calls < 2; }));
  EXPECT_EQ(calls, 2);
  calls = 0;
  EXPECT_TRUE(WalkList(run.context, text.data(), [&](const char*) {
    run.context.AbortRequested = 1;
    ++calls;
    return true;
  }));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(text, "a\nb\nc\n");
}

TEST(SafeNames, NamesThatLeaveTheFolderAreRefused) {
  struct Case {
    const char* name;
    bool safe;
  };
  for (const Case& c : {Case{"a.txt", true}, Case{"sub\\a.txt", true}, Case{"sub/", true},
                        Case{"..a\\b..", true}, Case{"a\\.\\b", true}, Case{"a b\\c d", true},
                        Case{"", false}, Case{"..", false}, Case{"..\\x", false},
                        Case{"a\\..\\..\\x", false}, Case{"a/../x", false}, Case{"a\\..", false},
                        Case{"\\x", false}, Case{"/etc/passwd", false},
                        Case{"\\\\server\\share\\x", false}, Case{"C:\\x", false},
                        Case{"C:x", false}, Case{"a.txt:stream", false}, Case{"...\\x", false},
                        Case{".. \\x", false}, Case{" ..\\x", false}}) {
    EXPECT_EQ(IsSafeRelativeName(c.name), c.safe) << c.name;
  }
}

TEST(FilePlacement, MakeDirectoryPathCreatesParentsAndFailsOnAFile) {
  ScratchFolder scratch;
  const std::string root = scratch.path().string();
  EXPECT_TRUE(MakeDirectoryPath((root + "\\a\\b\\c\\").c_str()));
  EXPECT_TRUE(fs::is_directory(scratch.path() / "a" / "b" / "c"));
  std::ofstream(scratch.path() / "file") << "x";
  EXPECT_FALSE(MakeDirectoryPath((root + "\\file\\sub").c_str()));
  EXPECT_FALSE(MakeDirectoryPath((root + "\\file").c_str()));
  EXPECT_TRUE(MakeDirectoryPath(""));

  // EnsureDirectory asks Abort/Retry/Ignore; a retry that fails again asks again.
  ContextRig run({platform::kIdRetry, platform::kIdIgnore});
  EXPECT_FALSE(EnsureDirectory(run.context, (root + "\\file\\sub").c_str()));
  ASSERT_EQ(run.host.asked.size(), 2u);
  EXPECT_EQ(run.host.asked[0].text.rfind("不能创建目录“" + root + "\\file\\sub”。\n\n", 0), 0u);
  EXPECT_EQ(run.context.StageError, 1);
  EXPECT_EQ(run.context.StageStop, 0);
}

TEST(FilePlacement, DirectoriesAreEmptyWhenTheyHoldNothingOrCannotBeListed) {
  ScratchFolder scratch;
  const fs::path folder = scratch.path() / "d";
  fs::create_directories(folder);
  EXPECT_TRUE(IsDirectoryEmpty(folder.string().c_str()));
  EXPECT_TRUE(IsDirectoryEmpty((folder.string() + "\\").c_str()));
  std::ofstream(folder / ".hidden") << "x";
  EXPECT_FALSE(IsDirectoryEmpty(folder.string().c_str()));
  EXPECT_TRUE(IsDirectoryEmpty((scratch.path() / "missing").string().c_str()));
}

}  // namespace
