// Whole updates run natively: a package built in the test, an installed
// folder in a temporary directory, scripted answers and a recording view; the
// files, the log file, the progress text and the completion code are checked.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "engine/patch_stages.h"
#include "engine/run_context.h"
#include "message_keys.h"
#include "platform/file_times.h"
#include "platform/message_box.h"
#include "tests/support/package_writer.h"
#include "tests/support/recording_view.h"
#include "tools/make/command_apply_package.h"
#include "tools/make/difference_encoder.h"
#include "tools/make/scripted_front_end.h"

namespace {

namespace fs = std::filesystem;

constexpr int kYes = platform::kIdYes;
constexpr int kNo = platform::kIdNo;
constexpr int kRetry = platform::kIdRetry;
constexpr int kIgnore = platform::kIdIgnore;
constexpr int kAbort = platform::kIdAbort;
constexpr int kOverwriteAll = 1032;
constexpr int kSkipAll = 1034;
constexpr int kOverwrite = 1037;

using Bytes = std::vector<uint8_t>;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Bytes that look like a program: runs, counters and noise.
Bytes ProgramBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = (random() % 5 == 0) ? static_cast<uint8_t>(random()) : static_cast<uint8_t>(i >> 6);
  }
  return bytes;
}

// A new version: some bytes changed, a block inserted, a block removed.
Bytes EditedBytes(Bytes bytes, uint32_t seed) {
  std::mt19937 random(seed);
  for (int i = 0; i < 40; ++i) bytes[random() % bytes.size()] ^= 0x5A;
  const Bytes inserted = ProgramBytes(300, seed + 1);
  bytes.insert(bytes.begin() + static_cast<long>(bytes.size() / 3), inserted.begin(), inserted.end());
  bytes.erase(bytes.end() - 500, bytes.end() - 200);
  return bytes;
}

std::string AsText(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

constexpr uint16_t kEntryDate = DosDate(2004, 6, 1);
constexpr uint16_t kEntryTime = DosTime(12, 0, 0);

PackageEntryPlan FileEntry(const std::string& name, const std::string& content,
                          uint32_t attributes = kAttributeArchive) {
  PackageEntryPlan plan = DeflatedFile(name, BytesOf(content));
  plan.externalAttributes = attributes;
  return plan;
}

PackageEntryPlan DirectoryEntry(const std::string& name) {
  PackageEntryPlan plan = StoredFile(name, {});
  plan.externalAttributes = kAttributeDirectory;
  return plan;
}

PackageEntryPlan UpdateEntry(const std::string& name, const Bytes& oldBytes, const Bytes& newBytes) {
  Bytes difference;
  EXPECT_EQ(EncodeDifference(oldBytes, newBytes, {kAttributeArchive, 0}, {kAttributeArchive, 0},
                             difference),
            EncodeStatus::kEncoded);
  return DeflatedFile("Update/" + name + ".df", difference);
}

std::string InstallEntry(int applyToSrc, int simulate, int overwriteLog = 1) {
  return "[INSTALL]\r\nApplyToSrc=" + std::to_string(applyToSrc) +
         "\r\nSimulateApplying=" + std::to_string(simulate) + "\r\n[LOG]\r\nOverwriteLog=" +
         std::to_string(overwriteLog) + "\r\n";
}

const char kProduct[] = "[PRODUCT]\r\nProductName=Demo\r\nOldVersion=1.0\r\nNewVersion=2.0\r\n";

// The file facts the tree is compared by: content, or "<dir>" for a
// directory, and "(ro)" for a file without write permission.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(root)) return tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).generic_string();
    if (entry.is_directory()) {
      tree[name] = "<dir>";
    } else {
      const bool readOnly = (fs::status(entry.path()).permissions() & fs::perms::owner_write) ==
                            fs::perms::none;
      tree[name] = ReadText(entry.path()) + (readOnly ? "(ro)" : "");
    }
  }
  return tree;
}

std::time_t ModificationTime(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mtime;
}

std::time_t EntryTime() {
  platform::FileTime time = 0;
  EXPECT_TRUE(platform::DosStampToFileTime(kEntryDate, kEntryTime, &time));
  return static_cast<std::time_t>(time / 10'000'000 - 11'644'473'600LL);
}

void SetModificationTime(const fs::path& path, std::time_t time) {
  const struct timespec times[2] = {{time, 0}, {time, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// One update: the folders, the package and the outcome.
class PatchRun : public testing::Test {
 protected:
  void SetUp() override {
    // Local times in the log file and the entries' stamps do not depend on
    // the machine's zone.
    const char* zone = std::getenv("TZ");
    savedZone_ = zone != nullptr ? std::optional<std::string>(zone) : std::nullopt;
    setenv("TZ", "UTC", 1);
    tzset();
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::temp_directory_path() /
            (std::string("selfpatch_run_") + info->test_suite_name() + "_" + info->name());
    fs::remove_all(root_);
    fs::create_directories(app());
    WriteText(root_ / "outside.txt", "outside");
    fs::create_directories(root_ / "outsidedir");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    if (savedZone_) {
      setenv("TZ", savedZone_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  [[nodiscard]] fs::path app() const { return root_ / "app"; }
  [[nodiscard]] fs::path dest() const { return root_ / "new"; }
  [[nodiscard]] fs::path backup() const { return root_ / "backup"; }
  [[nodiscard]] fs::path logPath() const { return root_ / "run.log"; }

  // The installed old version used by most cases.
  void LayOutOldVersion() {
    WriteText(app() / "app.exe", AsText(oldProgram_));
    WriteText(app() / "data" / "config.ini", "[main]\r\nlevel=1\r\n");
    WriteText(app() / "readme.txt", "old readme");
    WriteText(app() / "obsolete.txt", "bye");
    WriteText(app() / "keep.txt", "keep");
    fs::create_directories(app() / "olddir");
    for (const char* name : {"app.exe", "data/config.ini", "readme.txt", "obsolete.txt", "keep.txt"}) {
      SetModificationTime(app() / name, 1'000'000'000);
    }
  }

  // The package's items for the old version above, in archive order.
  std::vector<PackageEntryPlan> StandardItems() {
    return {FileEntry("Add/new.txt", "brand new"),
            FileEntry("Add/sub/deep/file.txt", "deep"),
            DirectoryEntry("Add/emptydir/"),
            FileEntry("Replace/readme.txt", "new readme", kAttributeArchive | 0x1),
            UpdateEntry("app.exe", oldProgram_, newProgram_),
            UpdateEntry("data/config.ini", BytesOf("[main]\r\nlevel=1\r\n"),
                        BytesOf("[main]\r\nlevel=2\r\nextra=yes\r\n"))};
  }

  void BuildPackage(std::vector<PackageEntryPlan> items, const std::string& install,
                    const char* delFiles = "obsolete.txt\r\n\r\n  missing.txt \r\n",
                    const char* delDirs = "olddir\r\n") {
    PackagePlan plan;
    plan.hostPrefix = BytesOf("MZ fake stub");
    plan.files.push_back(StoredFile("product", BytesOf(kProduct)));
    plan.files.push_back(StoredFile("install", BytesOf(install)));
    if (delFiles != nullptr) plan.files.push_back(StoredFile("del.files", BytesOf(delFiles)));
    if (delDirs != nullptr) plan.files.push_back(StoredFile("del.dirs", BytesOf(delDirs)));
    for (PackageEntryPlan& item : items) {
      item.dosDate = kEntryDate;
      item.dosTime = kEntryTime;
      plan.files.push_back(std::move(item));
    }
    const PackageLayout layout = ::BuildPackage(plan);
    std::ofstream(root_ / "package.exe", std::ios::binary)
        .write(reinterpret_cast<const char*>(layout.bytes.data()),
               static_cast<std::streamsize>(layout.bytes.size()));
  }

  struct Options {
    std::vector<int> answers{};
    bool separateDestination = false;
    bool backup = false;
    bool log = true;
    bool applyUpdate = true;
    std::function<void(RunContext&)> beforeStages{};
  };

  void Run(Options options) {
    DirectRunWizard::Choices choices;
    choices.sourceFolder = app().string();
    if (options.separateDestination) choices.destinationFolder = dest().string();
    if (options.backup) choices.backupFolder = backup().string();
    if (options.log) choices.logFile = logPath().string();
    choices.applyUpdate = options.applyUpdate;
    host_ = std::make_unique<AnswerScriptHost>(std::move(options.answers));
    DirectRunWizard wizard(choices, &view_);
    wizard.beforeStages = std::move(options.beforeStages);
    std::string error;
    completion_ = ApplyPackageFile((root_ / "package.exe").string().c_str(), wizard, *host_, error);
    EXPECT_EQ(error, "");
    EXPECT_TRUE(wizard.ran());
    failures_ = wizard.failures();
  }

  [[nodiscard]] const std::vector<AnswerScriptHost::Question>& asked() const {
    return host_->asked;
  }
  [[nodiscard]] std::vector<std::string> AskedTexts() const {
    std::vector<std::string> texts;
    for (const auto& question : host_->asked) texts.push_back(question.text);
    return texts;
  }

  // No temporary file of an item survives anywhere under the root.
  void ExpectNoTemporaryFiles() const {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root_)) {
      const std::string name = entry.path().filename().string();
      EXPECT_FALSE(name.rfind("sfp", 0) == 0 && entry.path().extension() == ".tmp") << entry.path();
      EXPECT_FALSE(name.rfind(".sfpcopy", 0) == 0) << entry.path();
    }
  }

  // What the standard items and an unchanged same.dll make of the folder
  // (relative name -> content, "<dir>" for a folder, "(ro)" for read-only).
  [[nodiscard]] std::map<std::string, std::string> NewVersionTree() const {
    return {
        {"app.exe", AsText(newProgram_)},
        {"data", "<dir>"},
        {"data/config.ini", "[main]\r\nlevel=2\r\nextra=yes\r\n"},
        {"emptydir", "<dir>"},
        {"new.txt", "brand new"},
        {"readme.txt", "new readme(ro)"},
        {"same.dll", "unchanged library(ro)"},
        {"sub", "<dir>"},
        {"sub/deep", "<dir>"},
        {"sub/deep/file.txt", "deep"},
    };
  }

  // Root paths, the run's date and the test program's path made stable.
  [[nodiscard]] std::string Stable(std::string text) const {
    const std::string root = root_.string();
    for (size_t at = text.find(root); at != std::string::npos; at = text.find(root, at)) {
      text.replace(at, root.size(), "<ROOT>");
    }
    text = std::regex_replace(text, std::regex("\\[\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d\\]: [^\r]*"),
                              "[<NOW>]: <MODULE>");
    return text;
  }

  // Compares with tests/expected/<name>; SELFPATCH_UPDATE_EXPECTED=1 rewrites
  // the file instead.
  static void ExpectMatchesFile(const std::string& actual, const char* name) {
    const fs::path path = fs::path(SELFPATCH_SOURCE_DIR) / "tests" / "expected" / name;
    const char* update = std::getenv("SELFPATCH_UPDATE_EXPECTED");
    if (update != nullptr && std::string(update) == "1") {
      fs::create_directories(path.parent_path());
      std::ofstream(path, std::ios::binary) << actual;
      return;
    }
    EXPECT_EQ(actual, ReadText(path)) << "expected file " << path;
  }

  fs::path root_;
  std::optional<std::string> savedZone_;
  Bytes oldProgram_ = ProgramBytes(60000, 7);
  Bytes newProgram_ = EditedBytes(oldProgram_, 9);
  std::unique_ptr<AnswerScriptHost> host_;
  RecordingProgressView view_;
  int completion_ = 0;
  std::string output_;
  StageFailureRecords failures_{};
};

TEST_F(PatchRun, InPlaceUpdateBuildsTheNewTreeAndLogsItExactly) {
  LayOutOldVersion();
  fs::permissions(app() / "readme.txt", fs::perms::owner_write | fs::perms::group_write |
                                            fs::perms::others_write,
                  fs::perm_options::remove);
  WriteText(app() / "same.dll", "unchanged library");
  SetModificationTime(app() / "same.dll", 1'000'000'000);
  std::vector<PackageEntryPlan> items = StandardItems();
  PackageEntryPlan same = StoredFile("Update/same.dll.df", {});
  same.externalAttributes = kAttributeArchive | 0x1;
  items.push_back(same);
  BuildPackage(items, InstallEntry(1, 1));
  Run({});

  EXPECT_EQ(completion_, 1);
  EXPECT_EQ(failures_, (StageFailureRecords{0, 0, 0, 0}));
  EXPECT_TRUE(asked().empty());
  std::map<std::string, std::string> expected = NewVersionTree();
  expected["keep.txt"] = "keep";  // not in the package: left as it was
  EXPECT_EQ(Tree(app()), expected);
  // An empty difference keeps the content and takes the entry's stamp.
  for (const char* name : {"app.exe", "data/config.ini", "new.txt", "readme.txt", "same.dll",
                           "sub/deep/file.txt"}) {
    EXPECT_EQ(ModificationTime(app() / name), EntryTime()) << name;
  }
  EXPECT_EQ(ModificationTime(app() / "keep.txt"), 1'000'000'000);
  EXPECT_EQ(ReadText(root_ / "outside.txt"), "outside");
  ExpectNoTemporaryFiles();
  EXPECT_EQ(view_.positions.back(), 100u);

  ExpectMatchesFile(Stable(ReadText(logPath())), "in_place_update.log");
  ExpectMatchesFile(Stable(view_.StyledText()), "in_place_update.styled");
  // The log file is the view's text plus its own lines.
  const std::string log = ReadText(logPath());
  EXPECT_NE(log.find(view_.PlainText().substr(0, 200)), std::string::npos);
}

TEST_F(PatchRun, SeparateDestinationLeavesTheOldFolderAlone) {
  LayOutOldVersion();
  WriteText(app() / "same.dll", "unchanged library");
  SetModificationTime(app() / "same.dll", 1'000'000'000);
  std::vector<PackageEntryPlan> items = StandardItems();
  PackageEntryPlan same = StoredFile("Update/same.dll.df", {});
  same.externalAttributes = kAttributeArchive | 0x1;
  items.push_back(same);
  BuildPackage(items, InstallEntry(0, 1));
  const auto before = Tree(app());
  Run({.separateDestination = true});

  EXPECT_EQ(completion_, 1);
  EXPECT_EQ(Tree(app()), before);
  EXPECT_EQ(Tree(dest()), NewVersionTree());
  // The copied old file takes the entry's time, not the old file's.
  EXPECT_EQ(ModificationTime(dest() / "same.dll"), EntryTime());
  // The temporary file is made in the destination folder itself.
  const std::string log = ReadText(logPath());
  EXPECT_NE(log.find("Old: " + app().string() + "\\app.exe ---- "), std::string::npos);
  EXPECT_NE(log.find("New: " + dest().string() + "\\app.exe (doesn't exist)\r\n"), std::string::npos);
  ExpectNoTemporaryFiles();
}

TEST_F(PatchRun, BackupHoldsTheOldFilesAndTheListedEntries) {
  LayOutOldVersion();
  BuildPackage(StandardItems(), InstallEntry(1, 0));
  Run({.backup = true});

  EXPECT_EQ(completion_, 1);
  const std::map<std::string, std::string> expected = {
      {"app.exe", AsText(oldProgram_)},
      {"data", "<dir>"},
      {"data/config.ini", "[main]\r\nlevel=1\r\n"},
      {"obsolete.txt", "bye"},
      {"olddir", "<dir>"},
      {"readme.txt", "old readme"},
  };
  EXPECT_EQ(Tree(backup()), expected);
  // Copies keep the old files' times.
  EXPECT_EQ(ModificationTime(backup() / "app.exe"), 1'000'000'000);
  const std::string text = view_.PlainText();
  EXPECT_NE(text.find("复制文件 " + app().string() + "\\readme.txt\n       到 " +
                      backup().string() + "\\readme.txt - 正确\n"),
            std::string::npos);
  EXPECT_NE(text.find("创建目录 " + backup().string() + "\\olddir - 正确\n"), std::string::npos);
  EXPECT_EQ(text.find("missing.txt"), std::string::npos);
  EXPECT_FALSE(fs::exists(app() / "obsolete.txt"));
}

TEST_F(PatchRun, OverwriteAnswersHoldWithinAStageAndAreAskedAgainInTheNext) {
  LayOutOldVersion();
  WriteText(app() / "same.dll", "library");
  WriteText(backup() / "readme.txt", "older backup");
  WriteText(backup() / "app.exe", "older backup");
  WriteText(dest() / "a.txt", "old a");
  WriteText(dest() / "b.txt", "old b");
  WriteText(dest() / "same.dll", "stale copy");
  std::vector<PackageEntryPlan> items = {FileEntry("Add/a.txt", "new a"),
                                        FileEntry("Add/b.txt", "new b"),
                                        FileEntry("Replace/readme.txt", "new readme"),
                                        UpdateEntry("app.exe", oldProgram_, newProgram_),
                                        StoredFile("Update/same.dll.df", {})};
  BuildPackage(items, InstallEntry(0, 0), nullptr, nullptr);
  // Backup: SkipAll at the first existing copy; the stage failed, so the
  // continue question comes; application: OverwriteAll at the first added
  // file, then the copy question again for same.dll.
  Run({.answers = {kSkipAll, kYes, kOverwriteAll, kOverwrite},
       .separateDestination = true,
       .backup = true});

  ASSERT_EQ(asked().size(), 4u) << testing::PrintToString(AskedTexts());
  EXPECT_TRUE(asked()[0].overwrite);
  EXPECT_EQ(asked()[0].text, "文件“" + backup().string() + "\\readme.txt”已经存在。");
  EXPECT_EQ(asked()[0].caption, "Demo 1.0 到 2.0 升级:  备份");
  EXPECT_EQ(asked()[1].text, "处理 <备份> 时发生错误。\n\n一定要继续吗？");
  EXPECT_EQ(asked()[2].text, "添加的文件 \n“" + dest().string() + "\\a.txt”\n已经存在");
  EXPECT_EQ(asked()[3].text, "文件“" + dest().string() + "\\same.dll”已经存在。");

  EXPECT_EQ(ReadText(backup() / "readme.txt"), "older backup");
  EXPECT_EQ(ReadText(backup() / "app.exe"), "older backup");
  EXPECT_EQ(ReadText(dest() / "a.txt"), "new a");
  EXPECT_EQ(ReadText(dest() / "b.txt"), "new b");
  EXPECT_EQ(ReadText(dest() / "same.dll"), "library");
  const std::string styled = view_.StyledText();
  EXPECT_NE(styled.find(backup().string() + "\\readme.txt - <red> 已跳过\n</>"), std::string::npos);
  EXPECT_NE(styled.find(backup().string() + "\\app.exe - <red> 已跳过\n</>"), std::string::npos);
  EXPECT_NE(styled.find(dest().string() + "\\b.txt -  已覆盖\n"), std::string::npos);
  EXPECT_EQ(failures_, (StageFailureRecords{0, 0, 1, 0}));
  EXPECT_EQ(completion_, 1);
}

TEST_F(PatchRun, DamagedEntryAnsweredYesIsLeftOutOfTheRestOfTheRun) {
  LayOutOldVersion();
  std::vector<PackageEntryPlan> items = StandardItems();
  items[1].crc = 0x12345678;  // Add/sub/deep/file.txt
  BuildPackage(items, InstallEntry(1, 1));
  Run({.answers = {kYes, kYes}, .backup = true});
  ExpectMatchesFile(Stable(ReadText(logPath())), "damaged_entry_with_backup.log");

  EXPECT_EQ(AskedTexts(), (std::vector<std::string>{
                              "压缩文件“sub\\deep\\file.txt”被破坏。\n\n继续当前的进程吗？",
                              "处理 <检验补丁文件完整性> 时发生错误。\n\n一定要继续吗？"}));
  EXPECT_EQ(asked()[0].style & 0xFFF, 0x114u);
  EXPECT_FALSE(fs::exists(app() / "sub"));
  EXPECT_EQ(ReadText(app() / "new.txt"), "brand new");
  EXPECT_EQ(failures_, (StageFailureRecords{1, 0, 0, 0}));
  EXPECT_EQ(completion_, 1);
  EXPECT_NE(view_.StyledText().find("<red>补丁文件已损坏!\n</>"), std::string::npos);
}

TEST_F(PatchRun, DamagedEntryAnsweredNoEndsTheCheckAndDecliningToGoOnChangesNothing) {
  LayOutOldVersion();
  std::vector<PackageEntryPlan> items = StandardItems();
  items[0].crc = 0x12345678;  // Add/new.txt, the first item
  BuildPackage(items, InstallEntry(1, 1));
  const auto before = Tree(app());
  Run({.answers = {kNo, kNo}});

  EXPECT_EQ(asked().size(), 2u);
  EXPECT_EQ(Tree(app()), before);
  EXPECT_EQ(completion_, -1);
  EXPECT_EQ(failures_, (StageFailureRecords{1, 0, 0, 0}));
  const std::string text = view_.PlainText();
  EXPECT_EQ(text.find("[已添加] sub"), std::string::npos);  // the check ended at new.txt
  EXPECT_EQ(text.find("模拟升级..."), std::string::npos);
  EXPECT_NE(text.find("补丁进程因错误中断。\n"), std::string::npos);
}

TEST_F(PatchRun, SimulationFailuresAskAndTheApplicationTriesTheItemAgain) {
  struct Case {
    const char* name;
    Bytes installed;
    const char* reason;
  };
  const Case cases[] = {
      {"wrong old file", ProgramBytes(60000, 99), "源文件"},
      {"already updated", newProgram_, "\n\n文件可能已经升级"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(app());
    view_ = RecordingProgressView();
    LayOutOldVersion();
    WriteText(app() / "app.exe", AsText(c.installed));
    BuildPackage(StandardItems(), InstallEntry(1, 1));
    // Simulation question: Yes goes on; continue: Yes; application: the
    // patch question, No stops the stage.
    Run({.answers = {kYes, kYes, kNo}});

    ASSERT_EQ(asked().size(), 3u);
    const std::string path = app().string() + "\\app.exe";
    EXPECT_EQ(asked()[0].text.rfind("模拟补丁“" + path + "”时发生错误。\n\n", 0), 0u);
    EXPECT_NE(asked()[0].text.find(c.reason), std::string::npos) << asked()[0].text;
    EXPECT_EQ(asked()[0].style & 0xFFF, 0x213u);
    EXPECT_EQ(asked()[1].text, "处理 <模拟升级> 时发生错误。\n\n一定要继续吗？");
    EXPECT_EQ(asked()[2].text.rfind("不能应用补丁到文件“" + path + "”。\n", 0), 0u);
    EXPECT_EQ(ReadText(app() / "app.exe"), AsText(c.installed));
    // The stage stopped at app.exe: config.ini (after it) is not updated.
    EXPECT_EQ(ReadText(app() / "data" / "config.ini"), "[main]\r\nlevel=1\r\n");
    EXPECT_EQ(completion_, -1);
    EXPECT_EQ(failures_, (StageFailureRecords{0, 1, 0, 1}));
    ExpectNoTemporaryFiles();
  }
}

TEST_F(PatchRun, ADestinationBlockedByADirectoryAsksUntilTheUserGivesUp) {
  LayOutOldVersion();
  fs::remove(app() / "data" / "config.ini");
  WriteText(app() / "data" / "config.ini" / "inside.txt", "in the way");
  std::vector<PackageEntryPlan> items = StandardItems();
  items.pop_back();
  items.push_back(FileEntry("Replace/data/config.ini", "new config"));
  BuildPackage(items, InstallEntry(1, 0));
  // While the question is open, the finished temporary file waits in the
  // destination folder itself, not in the item's subfolder.
  std::vector<std::string> waiting;
  Run({.answers = {kRetry, kRetry, kIgnore}, .beforeStages = [&](RunContext&) {
         host_->onQuestion = [&](const AnswerScriptHost::Question&) {
           for (const fs::directory_entry& entry : fs::recursive_directory_iterator(app())) {
             if (entry.path().extension() == ".tmp") {
               waiting.push_back(fs::relative(entry.path(), app()).string());
             }
           }
         };
       }});

  ASSERT_EQ(asked().size(), 3u);
  for (const auto& question : asked()) {
    EXPECT_EQ(question.text.rfind("不能升级文件“" + app().string() + "\\data\\config.ini”。\n\n", 0),
              0u);
    EXPECT_EQ(question.style & 0xFFF, 0x12u);
  }
  ASSERT_EQ(waiting.size(), 3u);
  EXPECT_TRUE(std::regex_match(waiting[0], std::regex("sfp[0-9A-F]{4}\\.tmp"))) << waiting[0];
  EXPECT_EQ(ReadText(app() / "data" / "config.ini" / "inside.txt"), "in the way");
  // Ignore goes on with the next item, but the update is not complete.
  EXPECT_EQ(ReadText(app() / "app.exe"), AsText(newProgram_));
  EXPECT_EQ(completion_, -1);
  EXPECT_EQ(failures_, (StageFailureRecords{0, 0, 0, 1}));
  ExpectNoTemporaryFiles();
  // The log file holds each question and its answer tag inside the open line.
  EXPECT_NE(ReadText(logPath()).find(" (IDRETRY)\r\n"), std::string::npos);
}

TEST_F(PatchRun, AbortAnswerEndsTheStageAtOnce) {
  LayOutOldVersion();
  fs::remove(app() / "readme.txt");
  fs::create_directories(app() / "readme.txt");
  BuildPackage(StandardItems(), InstallEntry(1, 0));
  Run({.answers = {kRetry, kAbort}});

  EXPECT_EQ(asked().size(), 2u);
  EXPECT_EQ(ReadText(app() / "app.exe"), AsText(oldProgram_));  // after readme.txt
  EXPECT_TRUE(fs::exists(app() / "obsolete.txt"));
  EXPECT_EQ(completion_, -1);
  ExpectNoTemporaryFiles();
}

TEST_F(PatchRun, UserAbortStopsBetweenItemsAndTheRunIsNotCompleted) {
  LayOutOldVersion();
  BuildPackage(StandardItems(), InstallEntry(1, 0));
  RunContext* running = nullptr;
  bool applying = false;
  view_.onText = [&](const std::string& text) {
    if (text == "正在应用...") applying = true;
    // The first item line of the application stage is complete.
    if (applying && text == "正确") running->AbortRequested = 1;
  };
  Run({.beforeStages = [&](RunContext& context) { running = &context; }});

  // Items run in catalogue order: emptydir\ first, then new.txt.
  EXPECT_TRUE(fs::is_directory(app() / "emptydir"));
  EXPECT_FALSE(fs::exists(app() / "new.txt"));
  EXPECT_EQ(ReadText(app() / "app.exe"), AsText(oldProgram_));
  EXPECT_TRUE(fs::exists(app() / "obsolete.txt"));
  // The last requested stage was left early: not completed, although it set
  // no failure.
  EXPECT_EQ(failures_, (StageFailureRecords{0, 0, 0, 0}));
  EXPECT_EQ(completion_, -1);
  const std::string styled = view_.StyledText();
  EXPECT_NE(styled.find("<b blue><正在应用> 进程顺利完成\n</>" + std::string(99, '-') +
                        "\n<b red>补丁进程被用户中断。\n</>"),
            std::string::npos)
      << styled;
  EXPECT_EQ(view_.positions.back(), 0u);
}

// The progress page's header never calls a run that did not complete a
// success: an abort without a failed stage says it was interrupted.
TEST(FinalProgressHeader, FollowsTheFailuresAndTheCompletion) {
  struct Case {
    StageFailureRecords failures;
    int32_t completion;
    uint32_t title;
    uint32_t subtitle;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, 1, kMsgFinished, kMsgUpdateSucceeded},
      {{0, 0, 0, 0}, -1, kMsgError, kMsgInterruptedByUser},
      {{0, 1, 0, 0}, 1, kMsgError, kMsgUpdateFailed},
      {{1, 0, 0, 1}, -1, kMsgError, kMsgUpdateFailed},
  };
  for (const Case& c : cases) {
    const ProgressHeader header = FinalProgressHeader(c.failures, c.completion);
    EXPECT_EQ(header.title, c.title) << c.completion;
    EXPECT_EQ(header.subtitle, c.subtitle) << c.completion;
  }
}

TEST_F(PatchRun, AbortBeforeALaterStageEndsTheRunWithoutAsking) {
  LayOutOldVersion();
  BuildPackage(StandardItems(), InstallEntry(1, 1));
  RunContext* running = nullptr;
  view_.onText = [&](const std::string& text) {
    if (text.find("模拟补丁文件") == 0) running->AbortRequested = 1;
  };
  const auto before = Tree(app());
  Run({.beforeStages = [&](RunContext& context) { running = &context; }});
  EXPECT_TRUE(asked().empty());
  EXPECT_EQ(Tree(app()), before);
  EXPECT_EQ(completion_, -1);
  EXPECT_EQ(view_.PlainText().find("正在应用..."), std::string::npos);
}

TEST_F(PatchRun, NamesThatLeaveTheFoldersTouchNothingOutside) {
  LayOutOldVersion();
  WriteText(root_ / "outsidedir" / "keep.txt", "kept");
  std::vector<PackageEntryPlan> items = {
      FileEntry("Add/../escape.txt", "escaped"),
      FileEntry("Add/sub/../../escape2.txt", "escaped"),
      FileEntry("Replace/../outside.txt", "overwritten"),
      FileEntry("Add/C:/escape3.txt", "escaped"),
      FileEntry("Add//escape4.txt", "escaped"),
      FileEntry("Add/.. /escape5.txt", "escaped"),
      UpdateEntry("../outside.txt", BytesOf("outside"), BytesOf("patched")),
      FileEntry("Add/fine.txt", "fine"),
  };
  BuildPackage(items,
               InstallEntry(1, 1),
               "..\\outside.txt\r\n..\\outsidedir\\keep.txt\r\n\\outside.txt\r\nobsolete.txt\r\n",
               "..\\outsidedir\r\nolddir\r\n");
  const auto outsideBefore = Tree(root_ / "outsidedir");
  // Every refused item is reported as damaged; Yes leaves it out. Then the
  // continue questions after the integrity check and the backup.
  std::vector<int> answers(7, kYes);
  answers.push_back(kYes);
  answers.push_back(kYes);
  Run({.answers = answers, .backup = true});

  EXPECT_EQ(ReadText(root_ / "outside.txt"), "outside");
  EXPECT_EQ(Tree(root_ / "outsidedir"), outsideBefore);
  for (const fs::directory_entry& entry : fs::directory_iterator(root_)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "app" || name == "backup" || name == "outside.txt" ||
                name == "outsidedir" || name == "package.exe" || name == "run.log")
        << name;
  }
  EXPECT_EQ(ReadText(app() / "fine.txt"), "fine");
  EXPECT_FALSE(fs::exists(app() / "obsolete.txt"));
  EXPECT_FALSE(fs::exists(app() / "olddir"));
  // The backup holds nothing from outside either.
  const std::map<std::string, std::string> backupTree = {
      {"obsolete.txt", "bye"}, {"olddir", "<dir>"}};
  EXPECT_EQ(Tree(backup()), backupTree);
  const std::string text = view_.PlainText();
  EXPECT_NE(text.find("删除文件 ..\\outside.txt - 失败\n"), std::string::npos);
  EXPECT_NE(text.find("删除目录 ..\\outsidedir - 失败\n"), std::string::npos);
  EXPECT_NE(text.find("[已添加] ..\\escape.txt - 失败\n"), std::string::npos);
  EXPECT_EQ(completion_, -1);
  ExpectNoTemporaryFiles();
}

TEST_F(PatchRun, ApplyPackageCommandExitCodes) {
  LayOutOldVersion();
  BuildPackage(StandardItems(), InstallEntry(1, 1));
  const ToolCommand& command = ApplyPackageCommands()[0];
  const std::string package = (root_ / "package.exe").string();
  const std::string folder = app().string();
  const std::string answers = (root_ / "answers.txt").string();
  auto run = [&](std::vector<std::string> words) {
    std::vector<char*> arguments;
    for (std::string& word : words) arguments.push_back(word.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = command.run(arguments);
    output_ = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return code;
  };
  EXPECT_EQ(run({package}), 2);
  EXPECT_EQ(run({package, "--to"}), 2);
  EXPECT_EQ(run({package, "--to", folder, "--bogus"}), 2);
  WriteText(answers, "# the first question\nmaybe\n");
  EXPECT_EQ(run({package, "--to", folder, "--answers", answers}), 2);

  EXPECT_EQ(run({package, "--to", folder, "--log", logPath().string()}), 0);
  EXPECT_EQ(ReadText(app() / "app.exe"), AsText(newProgram_));
  EXPECT_NE(output_.find("<正在应用> 进程顺利完成\n"), std::string::npos);
  EXPECT_EQ(output_.find("\033["), std::string::npos);  // not a terminal: plain text

  // Applied again, the already-updated file fails the simulation; the
  // scripted No ends the simulation stage and the next No the run.
  WriteText(answers, "# simulation error\nno\n\nNO\n");
  EXPECT_EQ(run({package, "--to", folder, "--answers", answers}), 1);
  EXPECT_NE(output_.find("[answer: no]"), std::string::npos);
  EXPECT_NE(output_.find("文件可能已经升级"), std::string::npos);
}

// A full disk: a small tmpfs filled almost to the brim. Needs root and mount.
TEST_F(PatchRun, AFullDiskAsksRetryOrCancelAndLeavesNothingPartial) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small tmpfs";
  fs::create_directories(app());
  if (::mount("tmpfs", app().c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  }
  struct Unmount {
    fs::path path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{app()};
  WriteText(app() / "keep.txt", "keep");
  const Bytes big = ProgramBytes(200 * 1024, 3);
  BuildPackage({FileEntry("Add/small.txt", "small"), FileEntry("Replace/big.bin", AsText(big)),
                FileEntry("Replace/keep.txt", "new keep")},
               InstallEntry(1, 0), nullptr, nullptr);
  WriteText(app() / "filler.bin", std::string(120 * 1024, 'f'));
  // Retry once (the disk is still full), then Cancel; the entry then counts as
  // failed and No ends the stage.
  Run({.answers = {kRetry, platform::kIdCancel, kNo}, .log = false});

  ASSERT_GE(asked().size(), 3u);
  EXPECT_EQ(asked()[0].style & 0xF, platform::kMbRetryCancel);
  EXPECT_FALSE(fs::exists(app() / "big.bin"));
  EXPECT_EQ(ReadText(app() / "keep.txt"), "keep");
  EXPECT_EQ(ReadText(app() / "small.txt"), "small");
  EXPECT_EQ(completion_, -1);
  ExpectNoTemporaryFiles();
}

}  // namespace
