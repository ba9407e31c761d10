// What the end-to-end scenarios share: the wizard's control ids, package and
// folder builders, tree comparison and the scenario registry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "message_keys.h"
#include "tests/e2e/driver.h"
#include "tests/support/package_writer.h"

// Controls by page.
inline constexpr int kInstall = 1, kCancel = 2, kBack = 3, kNext = 1006;
inline constexpr int kHeaderTitle = 1000, kHeaderSubtitle = 1001;
inline constexpr int kWelcomeTitle = 1040, kWelcomeText = 1022, kWelcomeInfo = 1023, kWelcomeLine = 1024;
inline constexpr int kAccept = 1036, kDecline = 1037, kLicenceText = 1007;
inline constexpr int kNotesText = 1025;
inline constexpr int kOldEdit = 1008, kOldBrowse = 1009, kNewEdit = 1010, kNewBrowse = 1011;
inline constexpr int kOldLabel = 1028, kNewLabel = 1029, kFolderHint = 1007, kFolderLine = 1012;
inline constexpr int kVerify = 1014, kSimulate = 1015, kApply = 1016, kBackup = 1017, kBackupEdit = 1018;
inline constexpr int kBackupBrowse = 1021, kLog = 1019, kLogEdit = 1020, kLogBrowse = 1022;
inline constexpr int kLogView = 1032, kProgressBar = 1031;
inline constexpr int kPicture = 1044;

inline constexpr DWORD kExitCompleted = 1;
inline constexpr DWORD kExitIncomplete = 0xFFFFFFFF;  // -1: the stages did not complete

inline constexpr char kProductName[] = "演示程序";

// A scenario: a name on the driver's command line and the function that runs
// it. Each scenario file registers its own with a ScenarioRegistration.
using Scenario = void (*)();
[[nodiscard]] std::map<std::string, Scenario>& Scenarios();
struct ScenarioRegistration {
  ScenarioRegistration(const char* name, Scenario run) { Scenarios()[name] = run; }
};

[[nodiscard]] std::string T(uint32_t key);
// The frame's caption for the test product.
[[nodiscard]] std::string Title();

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

// A 24-bit bitmap file of `width` x `height`.
[[nodiscard]] std::vector<uint8_t> PictureFile(int width, int height);
// WORK\scenario (created), or the path of `name` in it.
std::string Folder(const std::string& scenario, const std::string& name = "");
// WORK\scenario\name, created as a folder.
std::string MakeFolder(const std::string& scenario, const std::string& name);
// A package with the given control entries and one Add item (readme.txt).
std::string WritePackage(const std::string& scenario, const PackageContent& content);
// An `install` entry: the old folder as a fixed path, the log file, and
// `more` (more sections, or keys of the sections named here).
[[nodiscard]] std::string Install(const std::string& oldFolder, const std::string& logFile,
                                  const std::string& wizard, const std::string& more = "");
// The same folder written in upper case with a trailing separator.
[[nodiscard]] std::string UpperWithSeparator(std::string path);
[[nodiscard]] bool FileHas(const std::string& path, const std::string& part);
void ExpectFocus(App& app, int id, const std::string& what);
// A rejected field is selected as a whole and has the focus.
void ExpectSelected(App& app, int id);
void ExpectHeader(App& app, const std::string& title, const std::string& subtitle);
// Waits for the stages to end on the progress page, closes it and checks
// the header and the exit code (1: the stages completed).
void CloseFromProgressPage(App& app);

// ---- Update runs ----

[[nodiscard]] std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// An old and a new program: mostly the same bytes, some changed, some added.
[[nodiscard]] std::vector<uint8_t> OldProgram();
[[nodiscard]] std::vector<uint8_t> NewProgram();
[[nodiscard]] PackageEntryPlan DirectoryItem(const std::string& name);
// An Update item: the difference from `oldBytes` to `newBytes`.
[[nodiscard]] PackageEntryPlan UpdateItem(const std::string& name, const std::vector<uint8_t>& oldBytes,
                                          const std::vector<uint8_t>& newBytes);
inline constexpr char kOldConfig[] = "[main]\r\nlevel=1\r\n";
inline constexpr char kNewConfig[] = "[main]\r\nlevel=2\r\nextra=yes\r\n";
// The installed old version.
void LayOutOldVersion(const std::string& app);
// The package that turns the old version into the new one: every kind of
// item, a directory, and both deletion lists. `install` is the install entry.
std::string WriteUpdatePackage(const std::string& scenario, const std::string& install,
                               std::vector<PackageEntryPlan> extra = {});
// Every file and directory under `root` as relative name -> content
// ("<dir>" for a directory).
void ListTree(const std::string& root, const std::string& prefix,
              std::map<std::string, std::string>& tree);
[[nodiscard]] std::map<std::string, std::string> NewVersionTree();
// Checks that the tree under `root` is `expected`, name by name.
void ExpectTree(const std::string& what, const std::string& root,
                const std::map<std::string, std::string>& expected);
