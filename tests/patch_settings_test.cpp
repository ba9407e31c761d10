// Patch settings and folder discovery: defaults, product texts, switches,
// path rules, control entry texts, the discovery precedence and the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "engine/run_context.h"
#include "package/run_package.h"
#include "platform/registry.h"
#include "settings/folder_discovery.h"
#include "tests/support/package_writer.h"
#include "tests/support/run_fixture.h"
#include "tools/make/scripted_front_end.h"

namespace {

namespace fs = std::filesystem;

class FakeRegistry final : public platform::RegistryReader {
 public:
  struct Value {
    uint32_t type;
    std::string data;
  };
  using Name = std::tuple<uint32_t, std::string, std::string>;

  void Set(uint32_t root, const std::string& key, const std::string& name, uint32_t type,
           std::string data) {
    values[{root, key, name}] = {type, std::move(data)};
  }
  // A text value stored with its terminator, as the system stores REG_SZ.
  void SetText(uint32_t root, const std::string& key, const std::string& name,
               const std::string& text, uint32_t type = platform::kRegSz) {
    Set(root, key, name, type, text + std::string(1, '\0'));
  }

  bool QueryValue(uint32_t root, const char* key, const char* valueName, uint8_t* data,
                  uint32_t capacity, uint32_t* type, uint32_t* size) override {
    queries.emplace_back(root, key, valueName);
    const auto found = values.find({root, key, valueName});
    if (found == values.end() || found->second.data.size() > capacity) return false;
    std::memcpy(data, found->second.data.data(), found->second.data.size());
    *type = found->second.type;
    *size = static_cast<uint32_t>(found->second.data.size());
    return true;
  }

  std::map<Name, Value> values;
  std::vector<Name> queries;
};

// Reads the settings of a package holding `files` and one item.
struct SettingsRun {
  SettingsRun() : context(host) {
    context.registry = &registry;
    context.ModulePath.AssignText("C:\\Tools\\PATCH.EXE");
  }
  bool Read(std::vector<PackageEntryPlan> files) {
    files.push_back(DeflatedFile("Add/a.txt", BytesOf("a")));
    layout = BuildPackage(PackagePlan{.files = std::move(files)});
    return BuildCatalogue(context, layout.bytes.data(), static_cast<uint32_t>(layout.bytes.size()));
  }
  bool ReadInstall(const std::string& install) {
    return Read({DeflatedFile("install", BytesOf(install))});
  }
  AnswerScriptHost host;
  FakeRegistry registry;
  RunContext context;
  PackageLayout layout;
};

// The absolute folder the native build makes of `path`.
std::string Normalised(const std::string& path) {
  TextBuffer folder(path.c_str());
  folder.NormaliseFolder();
  return folder.chars();
}

TEST(PatchSettings, WithoutProductOrInstallEverythingKeepsItsDefault) {
  SettingsRun run;
  ASSERT_TRUE(run.Read({}));
  const PatchSettings& s = run.context.settings;
  EXPECT_STREQ(s.Title.chars(), "<未知> <未知> 到 <未知> 升级");
  EXPECT_STREQ(s.ProductName.chars(), "<未知>");
  EXPECT_TRUE(s.Web.empty() && s.EMail.empty() && s.Copyright.empty());
  const int32_t switches[] = {s.ApplyToSrc,    s.SimulateApplying, s.SilentMode,
                              s.ShowLicense,   s.ShowNotes,        s.ShowAppFolder,
                              s.ShowOptions,   s.ExecuteBackup,    s.WarningOnDel,
                              s.WriteLog,      s.OverwriteLog,     s.ApplyUpdate,
                              s.SameFolder};
  const int32_t defaults[] = {1, 1, 0, 0, 0, 1, 1, 0, 1, 1, 0, 1, 1};
  EXPECT_TRUE(std::equal(std::begin(switches), std::end(switches), std::begin(defaults)));
  EXPECT_TRUE(s.SourceFolder.empty() && s.DestinationFolder.empty());
  EXPECT_TRUE(s.BackupPath.empty() && s.LogFileName.empty());
  EXPECT_FALSE(s.DelFilesList.present() || s.DelDirsList.present() || s.Picture.IsLoaded());
  EXPECT_TRUE(s.LicenceText.empty() && s.NotesText.empty());
  // The temporary files are gone.
  EXPECT_TRUE(run.context.TempFileName.empty());
}

TEST(PatchSettings, ProductTextsAreReadExpandedAndMakeTheTitle) {
  setenv("SELFPATCH_TEST_EDITION", "Deluxe", 1);
  SettingsRun run;
  ASSERT_TRUE(run.Read({DeflatedFile("product",
                                     BytesOf("[product]\r\n"
                                             "PRODUCTNAME=Editor %SELFPATCH_TEST_EDITION%\r\n"
                                             "OldVersion=\r\n"
                                             "newversion = 2.0 \r\n"
                                             "Web=http://example.test\r\n"
                                             "EMail=support@example.test\r\n"
                                             "//Copyright=(c) nobody\r\n"))}));
  const PatchSettings& s = run.context.settings;
  EXPECT_STREQ(s.ProductName.chars(), "Editor Deluxe");
  EXPECT_STREQ(s.OldVersion.chars(), "<未知>");  // empty counts as missing
  EXPECT_STREQ(s.NewVersion.chars(), "2.0");
  EXPECT_STREQ(s.Web.chars(), "http://example.test");
  EXPECT_STREQ(s.EMail.chars(), "support@example.test");
  EXPECT_TRUE(s.Copyright.empty());
  EXPECT_STREQ(s.Title.chars(), "Editor Deluxe <未知> 到 2.0 升级");
}

TEST(PatchSettings, SwitchesAreReadInAnyCaseAndSwitchedOffByAPrefix) {
  SettingsRun run;
  ASSERT_TRUE(run.ReadInstall(
      "[install]\nApplyToSrc=0\nsimulateapplying=0\n"
      "[WIZARD]\nSilentMode=1\nShowLicense=1\n//ShowNotes=1\nShowAppFolder=0\nShowOptions=zero\n"
      "[Backup]\nExecuteBackup=1\nWarningOnDel=0\n[LOG]\nWriteLog=0\nOverwriteLog=0x10\n"));
  const PatchSettings& s = run.context.settings;
  EXPECT_EQ(s.ApplyToSrc, 0);
  EXPECT_EQ(s.SameFolder, 0);
  EXPECT_EQ(s.SimulateApplying, 0);
  EXPECT_EQ(s.SilentMode, 1);
  EXPECT_EQ(s.ShowLicense, 1);
  EXPECT_EQ(s.ShowNotes, 0);
  EXPECT_EQ(s.ShowAppFolder, 0);
  EXPECT_EQ(s.ShowOptions, 0);  // not a number: read as 0
  EXPECT_EQ(s.ExecuteBackup, 1);
  EXPECT_EQ(s.WarningOnDel, 0);
  EXPECT_EQ(s.WriteLog, 0);
  EXPECT_EQ(s.OverwriteLog, 16);
  // No folder sections: both folders stay empty, no backup path, and the log
  // is named after the program, without a folder.
  EXPECT_TRUE(s.SourceFolder.empty() && s.DestinationFolder.empty());
  EXPECT_TRUE(s.BackupPath.empty());
  EXPECT_STREQ(s.LogFileName.chars(), "PATCH.log");
}

TEST(PatchSettings, BackupAndLogPathsFollowTheSourceAndDestinationFolders) {
  ScratchDirectory scratch("settings_paths");
  const std::string app = (scratch.path() / "App").string();
  const std::string source = Normalised(app);
  struct Case {
    const char* name;
    std::string install;
    std::string modulePath;
    std::string backupPath;
    std::string logFileName;
  } cases[] = {
      {"defaults", "[SRC_FIXPATH]\nPath=" + app + "\\\n", "C:\\Tools\\PATCH.EXE",
       source + ".Backup", source + "\\PATCH.log"},
      {"relative backup and log", "[SRC_FIXPATH]\nPath=" + app + "\n[BACKUP]\nBackupPath=Old\n"
       "[LOG]\nLogFileName=update.log\n", "/x/patch.exe", Normalised(app + "/Old"),
       source + "\\update.log"},
      {"log with a drive stays as written", "[SRC_FIXPATH]\nPath=" + app +
       "\n[LOG]\nLogFileName=E:\\logs\\u.log\n", "/x/patch.exe", source + ".Backup",
       "E:\\logs\\u.log"},
      {"program without .exe", "[SRC_FIXPATH]\nPath=" + app + "\n", "/x/patch.bin",
       source + ".Backup", source + "\\patch.bin"},
      {"program named .exe", "[SRC_FIXPATH]\nPath=" + app + "\n", "/x/.exe", source + ".Backup",
       source + "\\.log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SettingsRun run;
    run.context.ModulePath.AssignText(c.modulePath.c_str());
    ASSERT_TRUE(run.ReadInstall(c.install));
    const PatchSettings& s = run.context.settings;
    EXPECT_EQ(s.SourceFolder.chars(), source);
    EXPECT_EQ(s.DestinationFolder.chars(), source);
    EXPECT_EQ(s.BackupPath.chars(), c.backupPath);
    EXPECT_EQ(s.LogFileName.chars(), c.logFileName);
  }
}

TEST(PatchSettings, ControlEntryTextsListsAndPicture) {
  SettingsRun run;
  ASSERT_TRUE(run.Read({DeflatedFile("notes.rtf", BytesOf("{\\rtf1 notes}")),
                        DeflatedFile("LICENSE.RTF", BytesOf("{\\rtf1 licence}\0tail")),
                        DeflatedFile("del.files", BytesOf("\r\n  bin/old.dll \r\n\r\n\tread me.txt\n")),
                        StoredFile("del.dirs", BytesOf(std::string("a/b\0c/d", 7))),
                        StoredFile("rtpic.bmp", SmallBitmapFile())}));
  const PatchSettings& s = run.context.settings;
  EXPECT_STREQ(s.NotesText.chars(), "{\\rtf1 notes}");
  EXPECT_STREQ(s.LicenceText.chars(), "{\\rtf1 licence}");
  ASSERT_TRUE(s.DelFilesList.present());
  EXPECT_EQ(std::string(s.DelFilesList.text.get(), s.DelFilesList.length),
            "\r\n  bin\\old.dll \r\n\r\n\tread me.txt\n");
  EXPECT_EQ(run.context.catalogue.DelFilesCount, 2u);
  // The list ends at its first NUL for the walk; every '/' is turned.
  EXPECT_EQ(std::string(s.DelDirsList.text.get(), s.DelDirsList.length),
            std::string("a\\b\0c\\d", 7));
  EXPECT_EQ(run.context.catalogue.DelDirsCount, 1u);
  EXPECT_EQ(run.context.catalogue.TotalSteps, 4u);
  EXPECT_TRUE(s.Picture.IsLoaded());
  EXPECT_EQ(s.Picture.bytes(), SmallBitmapFile());
}

TEST(PatchSettings, BadControlEntriesLeaveDefaultsAndNeverFail) {
  std::vector<uint8_t> garbage;
  for (int i = 0; i < 70000; ++i) garbage.push_back(static_cast<uint8_t>((i * 7919) >> 3));
  const std::string huge(100000, 'N');
  SettingsRun run;
  ASSERT_TRUE(run.Read({DeflatedFile("product", BytesOf("[PRODUCT]\nProductName=" + huge + "\n")),
                        DeflatedFile("install", garbage), DeflatedFile("del.files", garbage),
                        DeflatedFile("rtpic.bmp", BytesOf("BM but not a bitmap"))}));
  const PatchSettings& s = run.context.settings;
  EXPECT_EQ(s.ProductName.length(), 4095);
  EXPECT_EQ(s.Title.length(), 1023);
  EXPECT_EQ(s.ApplyToSrc, 1);
  EXPECT_FALSE(s.Picture.IsLoaded());
  EXPECT_TRUE(s.DelFilesList.present());
}

// ---- Folder discovery ----

constexpr const char* kRegistryKey = "Software\\Maker\\App";

// An install entry with the three source sections in `order` (letters R, I,
// F), each finding its own folder: /reg, /ini and /fix.
std::string InstallWithSections(const std::string& order, const std::string& iniFile) {
  std::string text = "[INSTALL]\nApplyToSrc=1\n";
  for (char section : order) {
    if (section == 'R') {
      text += std::string("[SRC_REGISTRY]\nRootKey=HKEY_LOCAL_MACHINE\nKey=") + kRegistryKey +
              "\nValue=Home\n";
    } else if (section == 'I') {
      text += "[SRC_INIFILE]\nFile=" + iniFile + "\nSection=Paths\nEntry=Home\n";
    } else {
      text += "[SRC_FIXPATH]\nPath=/fix\n";
    }
  }
  return text;
}

TEST(FolderDiscovery, LaterSectionsOverrideAsTheOutcomeTableSays) {
  ScratchDirectory scratch("discovery_order");
  scratch.Write("app.ini", "[Paths]\nHome=/ini\n");
  const std::string iniFile = (scratch.path() / "app.ini").string();
  const struct {
    const char* order;
    const char* expected;
  } cases[] = {
      {"RIF", "/fix"}, {"RFI", "/fix"}, {"IRF", "/fix"}, {"IFR", "/fix"},
      {"FRI", "/ini"}, {"FIR", "/reg"}, {"RF", "/fix"},  {"FR", "/fix"},
      {"R", "/reg"},   {"I", "/ini"},   {"RI", "/ini"},  {"IR", "/reg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.order);
    SettingsRun run;
    run.registry.SetText(platform::kHkeyLocalMachine, kRegistryKey, "Home", "/reg");
    ASSERT_TRUE(run.ReadInstall(InstallWithSections(c.order, iniFile)));
    EXPECT_STREQ(run.context.settings.SourceFolder.chars(), c.expected);
    EXPECT_STREQ(run.context.settings.DestinationFolder.chars(), c.expected);
  }
}

TEST(FolderDiscovery, RegistryValuesAreReadOnlyWhenUsable) {
  const std::string longText(4095, 'L');
  struct Case {
    const char* name;
    std::string rootKey;
    uint32_t root;
    uint32_t type;
    std::string data;
    std::string expected;  // "/fix" when the registry finds nothing
  } cases[] = {
      {"lower-case root", "hkey_local_machine", platform::kHkeyLocalMachine, platform::kRegSz,
       std::string("/r1\0", 4), "/r1"},
      {"classes root", "HKEY_CLASSES_ROOT", platform::kHkeyClassesRoot, platform::kRegSz,
       std::string("/r2\0", 4), "/r2"},
      {"current user", "HKEY_CURRENT_USER", platform::kHkeyCurrentUser, platform::kRegSz,
       std::string("/r3\0", 4), "/r3"},
      {"users", "HKEY_USERS", platform::kHkeyUsers, platform::kRegSz, std::string("/r4\0", 4),
       "/r4"},
      {"short root name", "HKLM", platform::kHkeyLocalMachine, platform::kRegSz,
       std::string("/r5\0", 4), "/fix"},
      {"dword", "HKEY_USERS", platform::kHkeyUsers, platform::kRegDword, std::string("\1\0\0\0", 4),
       "/fix"},
      {"text without terminator", "HKEY_USERS", platform::kHkeyUsers, platform::kRegSz, "/r6",
       "/r6"},
      {"4095 characters", "HKEY_USERS", platform::kHkeyUsers, platform::kRegSz,
       "/" + longText.substr(1) + std::string(1, '\0'), Normalised("/" + longText.substr(1))},
      {"4096 characters", "HKEY_USERS", platform::kHkeyUsers, platform::kRegSz,
       "/" + longText + std::string(1, '\0'), "/fix"},
      {"4096 characters without terminator", "HKEY_USERS", platform::kHkeyUsers,
       platform::kRegSz, "/" + longText, "/fix"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SettingsRun run;
    run.registry.Set(c.root, "Key", "Value", c.type, c.data);
    // The fixed path stands before both other sections: it only counts when
    // the registry finds nothing.
    ASSERT_TRUE(run.ReadInstall("[SRC_FIXPATH]\nPath=/fix\n[SRC_INIFILE]\n[SRC_REGISTRY]\nRootKey=" + c.rootKey +
                                "\nKey=Key\nValue=Value\n"));
    EXPECT_EQ(run.context.settings.SourceFolder.chars(), c.expected);
  }
}

TEST(FolderDiscovery, EmptyRegistryTextAssignsAnEmptyFolderSoALaterMethodIsTried) {
  SettingsRun run;
  run.registry.SetText(platform::kHkeyUsers, "Key", "Value", "");
  // The fixed path stands before the registry, so it only runs while the
  // folder is empty.
  ASSERT_TRUE(run.ReadInstall(
      "[SRC_FIXPATH]\nPath=/fix\n[SRC_INIFILE]\n//File=x\n"
      "[SRC_REGISTRY]\nRootKey=HKEY_USERS\nKey=Key\nValue=Value\n"));
  EXPECT_STREQ(run.context.settings.SourceFolder.chars(), "/fix");
  TextBuffer folder("/before");
  FakeRegistry registry;
  registry.SetText(platform::kHkeyUsers, "Key", "Value", "");
  ScratchDirectory scratch("discovery_empty");
  scratch.Write("install", "[R]\nRootKey=HKEY_USERS\nKey=Key\nValue=Value\n");
  EXPECT_TRUE(FolderFromRegistry(registry, (scratch.path() / "install").c_str(), "R", folder));
  EXPECT_TRUE(folder.empty());
}

TEST(FolderDiscovery, SwitchedOffKeysFindNothingAndTheFixedPathIsNormalised) {
  ScratchDirectory scratch("discovery_off");
  const std::string app = (scratch.path() / "Tools/App").string();
  SettingsRun run;
  run.registry.SetText(platform::kHkeyLocalMachine, "Key", "Home", "/reg");
  ASSERT_TRUE(run.ReadInstall(
      "[SRC_REGISTRY]\n//RootKey=HKEY_LOCAL_MACHINE\nKey=Key\nValue=Home\n"
      "[SRC_INIFILE]\n//File=" + scratch.path().string() + "/x.ini\nSection=S\nEntry=E\n"
      "[SRC_FIXPATH]\nPath=" + app + "//\n"));
  EXPECT_EQ(run.context.settings.SourceFolder.chars(), Normalised(app));
  EXPECT_TRUE(run.registry.queries.empty());
}

TEST(FolderDiscovery, ExpandedRegistryTextBecomesAnAbsoluteFolder) {
  ScratchDirectory scratch("discovery_expand");
  setenv("SELFPATCH_TEST_PROGRAMS", scratch.path().c_str(), 1);
  SettingsRun run;
  run.registry.SetText(platform::kHkeyLocalMachine, "K", "V", "%SELFPATCH_TEST_PROGRAMS%\\App",
                       platform::kRegExpandSz);
  ASSERT_TRUE(run.ReadInstall("[SRC_REGISTRY]\nRootKey=HKEY_LOCAL_MACHINE\nKey=K\nValue=V\n"));
  EXPECT_EQ(run.context.settings.SourceFolder.chars(), Normalised(scratch.path().string() + "/App"));
}

TEST(FolderDiscovery, DestinationLiesInsideTheSourceUnlessItHasARoot) {
  ScratchDirectory scratch("discovery_destination");
  const std::string app = (scratch.path() / "App").string();
  const std::string source = Normalised(app);
  const struct {
    const char* name;
    std::string install;
    std::string expected;
  } cases[] = {
      {"relative", "[INSTALL]\nApplyToSrc=0\n[DST_FIXPATH]\nPath=New\n", Normalised(app + "/New")},
      {"leading separator", "[INSTALL]\nApplyToSrc=0\n[DST_FIXPATH]\nPath=\\New\n",
       Normalised(app + "/New")},
      {"none", "[INSTALL]\nApplyToSrc=0\n", ""},
      {"in place ignores DST_", "[INSTALL]\nApplyToSrc=1\n[DST_FIXPATH]\nPath=New\n", source},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SettingsRun run;
    ASSERT_TRUE(run.ReadInstall("[SRC_FIXPATH]\nPath=" + app + "\n" + c.install));
    EXPECT_EQ(run.context.settings.SourceFolder.chars(), source);
    EXPECT_EQ(run.context.settings.DestinationFolder.chars(), c.expected);
  }
}

TEST(FolderDiscovery, IniFileMethodNeedsAllThreeKeys) {
  ScratchDirectory scratch("discovery_inifile");
  scratch.Write("app.ini", "[Paths]\nHome=/from-ini\nEmpty=\n");
  const std::string file = (scratch.path() / "app.ini").string();
  const struct {
    std::string keys;
    const char* expected;
  } cases[] = {
      {"File=" + file + "\nSection=Paths\nEntry=Home\n", "/from-ini"},
      {"File=" + file + "\nSection=Paths\nEntry=Empty\n", "/fix"},
      {"File=" + file + "\nSection=Paths\n", "/fix"},
      {"Section=Paths\nEntry=Home\n", "/fix"},
      {"File=" + file + "\nEntry=Home\n", "/fix"},
      {"File=" + file + ".missing\nSection=Paths\nEntry=Home\n", "/fix"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys);
    SettingsRun run;
    ASSERT_TRUE(run.ReadInstall("[SRC_FIXPATH]\nPath=/fix\n[SRC_INIFILE]\n" + c.keys +
                                "[SRC_REGISTRY]\n"));
    EXPECT_STREQ(run.context.settings.SourceFolder.chars(), c.expected);
  }
}

TEST(FolderDiscovery, SectionValuesShareOneArea) {
  // RootKey and Key fill almost all of the area; Value gets what is left.
  ScratchDirectory scratch("discovery_area");
  const std::string key(4000, 'k');
  scratch.Write("install", "[R]\nRootKey=HKEY_USERS\nKey=" + key + "\nValue=" +
                               std::string(200, 'v') + "\n");
  FakeRegistry registry;
  TextBuffer folder;
  static_cast<void>(FolderFromRegistry(registry, (scratch.path() / "install").c_str(), "R", folder));
  ASSERT_EQ(registry.queries.size(), 1u);
  EXPECT_EQ(std::get<1>(registry.queries[0]), key);
  EXPECT_EQ(std::get<2>(registry.queries[0]), std::string(4096 - 11 - 4001 - 1, 'v'));
}

TEST(FolderDiscovery, SectionPositionIgnoresCase) {
  const char names[] = "INSTALL\0src_fixpath\0SRC_REGISTRY\0";
  EXPECT_EQ(SectionPosition(names, "SRC_FIXPATH"), 1);
  EXPECT_EQ(SectionPosition(names, "SRC_REGISTRY"), 2);
  EXPECT_EQ(SectionPosition(names, "SRC_INIFILE"), -1);
}

}  // namespace
