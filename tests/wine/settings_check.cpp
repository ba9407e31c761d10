// Checks under Wine that the patch settings are read through the real
// private-profile and registry calls: product texts in code page 936, switch
// values, folder discovery from the registry, an INI file and fixed paths with
// drive letters, the backup and log path rules, and that the native INI
// reader answers as the system's reader does.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/run_context.h"
#include "message_keys.h"
#include "package/run_package.h"
#include "report/question_host.h"
#include "startup/message_catalogue.h"
#include "startup/process_texts.h"
#include "tests/support/package_writer.h"

// The native build's INI reader, compiled in here to compare it with the
// system's on the same texts.
#include "platform/posix/ini_text.cpp"

namespace {

int gFailures = 0;

void ExpectText(const char* what, const std::string& actual, const std::string& expected) {
  if (actual != expected) {
    std::printf("settings_check: FAILED: %s: got \"%s\", expected \"%s\"\n", what, actual.c_str(),
                expected.c_str());
    ++gFailures;
  }
}

void ExpectNumber(const char* what, long long actual, long long expected) {
  if (actual != expected) {
    std::printf("settings_check: FAILED: %s: got %lld, expected %lld\n", what, actual, expected);
    ++gFailures;
  }
}

class NoQuestions final : public QuestionHost {
 public:
  int ShowMessageBox(const char* text, const char*, uint32_t) override {
    std::printf("settings_check: unexpected question: %s\n", text);
    ++gFailures;
    return IDNO;
  }
};

constexpr char kKey[] = "Software\\SelfpatchCheck";

void SetRegistryValue(const char* name, DWORD type, const std::string& data) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    std::printf("settings_check: cannot create the registry key\n");
    ++gFailures;
    return;
  }
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                 static_cast<DWORD>(data.size()));
  RegCloseKey(key);
}

// The settings of a package holding `product` and `install` (either may be
// empty for none) and one item.
struct Settings {
  Settings(const std::string& product, const std::string& install,
           const char* modulePath = "C:\\Tools\\PATCH.EXE")
      : context(host) {
    PackagePlan plan;
    plan.hostPrefix = BytesOf("MZ");
    if (!product.empty()) plan.files.push_back(DeflatedFile("product", BytesOf(product)));
    if (!install.empty()) plan.files.push_back(DeflatedFile("install", BytesOf(install)));
    plan.files.push_back(DeflatedFile("Add/a.txt", BytesOf("a")));
    bytes = BuildPackage(plan).bytes;
    context.ModulePath.AssignText(modulePath);
    if (!BuildCatalogue(context, bytes.data(), static_cast<uint32_t>(bytes.size()))) {
      std::printf("settings_check: FAILED: the package was not read\n");
      ++gFailures;
    }
  }
  const PatchSettings& operator*() const { return context.settings; }
  const PatchSettings* operator->() const { return &context.settings; }
  NoQuestions host;
  std::vector<uint8_t> bytes;
  RunContext context;
};

void CheckProductAndSwitches() {
  // "编辑器" (editor) in code page 936.
  const std::string editor = "\xB1\xE0\xBC\xAD\xC6\xF7";
  Settings s("[product]\r\nPRODUCTNAME=" + editor + "\r\nOldVersion=1.0\r\nNewVersion=\r\n",
             "[INSTALL]\r\nApplyToSrc=0\r\n[wizard]\r\n//ShowNotes=1\r\nshowlicense=1\r\n"
             "ShowOptions=0x10\r\n");
  ExpectText("ProductName", s->ProductName.chars(), editor);
  ExpectText("NewVersion keeps its start value", s->NewVersion.chars(), GetProcessTexts().unknown);
  TextBuffer title;
  title.Format(LookupText(kMsgTitleFormat), editor.c_str(), "1.0", GetProcessTexts().unknown);
  ExpectText("Title", s->Title.chars(), title.chars());
  ExpectNumber("ApplyToSrc", s->ApplyToSrc, 0);
  ExpectNumber("SameFolder", s->SameFolder, 0);
  ExpectNumber("ShowNotes", s->ShowNotes, 0);
  ExpectNumber("ShowLicense", s->ShowLicense, 1);
  ExpectNumber("ShowOptions", s->ShowOptions, 16);
  ExpectText("LogFileName without folders", s->LogFileName.chars(), "PATCH.log");
}

void CheckDiscovery(const std::string& iniFile) {
  const std::string fixFirst = "[SRC_FIXPATH]\r\nPath=C:\\Fix\\\r\n[SRC_INIFILE]\r\n";
  auto registry = [](const char* root, const char* value) {
    return std::string("[SRC_REGISTRY]\r\nRootKey=") + root + "\r\nKey=" + kKey + "\r\nValue=" +
           value + "\r\n";
  };
  ExpectText("registry text", Settings("", fixFirst + registry("hkey_current_user", "Home"))->SourceFolder.chars(),
             "C:\\Tools\\App");
  ExpectText("registry short root name",
             Settings("", fixFirst + registry("HKCU", "Home"))->SourceFolder.chars(), "C:\\Fix");
  ExpectText("registry dword", Settings("", fixFirst + registry("HKEY_CURRENT_USER", "Number"))->SourceFolder.chars(),
             "C:\\Fix");
  ExpectText("registry text too long", Settings("", fixFirst + registry("HKEY_CURRENT_USER", "Long"))->SourceFolder.chars(),
             "C:\\Fix");
  ExpectText("registry empty text", Settings("", fixFirst + registry("HKEY_CURRENT_USER", "Empty"))->SourceFolder.chars(),
             "C:\\Fix");
  ExpectText("registry missing value", Settings("", fixFirst + registry("HKEY_CURRENT_USER", "None"))->SourceFolder.chars(),
             "C:\\Fix");
  char windows[MAX_PATH];
  GetEnvironmentVariableA("WINDIR", windows, sizeof windows);
  ExpectText("registry expandable text",
             Settings("", registry("HKEY_CURRENT_USER", "Expand"))->SourceFolder.chars(),
             std::string(windows) + "\\App");
  ExpectText("INI file", Settings("", "[SRC_FIXPATH]\r\nPath=C:\\Fix\r\n[SRC_INIFILE]\r\nFile=" + iniFile +
                                          "\r\nSection=Paths\r\nEntry=Home\r\n[SRC_REGISTRY]\r\n")
                             ->SourceFolder.chars(),
             "D:\\Ini\\App");
  ExpectText("later fixed path wins", Settings("", registry("HKEY_CURRENT_USER", "Home") +
                                                       "[SRC_FIXPATH]\r\nPath=C:/Later/App/\r\n")
                                          ->SourceFolder.chars(),
             "C:\\Later\\App");
}

void CheckPathRules() {
  const std::string source = "[SRC_FIXPATH]\r\nPath=C:\\Tools\\App\r\n";
  {
    Settings s("", source);
    ExpectText("in place destination", s->DestinationFolder.chars(), "C:\\Tools\\App");
    ExpectText("default backup", s->BackupPath.chars(), "C:\\Tools\\App.Backup");
    ExpectText("default log", s->LogFileName.chars(), "C:\\Tools\\App\\PATCH.log");
  }
  const struct {
    const char* destination;
    const char* expected;
  } destinations[] = {{"New", "C:\\Tools\\App\\New"},
                      {"\\New", "C:\\Tools\\App\\New"},
                      {"D:\\New", "D:\\New"},
                      {"\\\\server\\share\\New\\", "\\\\server\\share\\New"}};
  for (const auto& d : destinations) {
    Settings s("", "[INSTALL]\r\nApplyToSrc=0\r\n" + source + "[DST_FIXPATH]\r\nPath=" +
                       d.destination + "\r\n[BACKUP]\r\nBackupPath=Old\r\n"
                       "[LOG]\r\nLogFileName=update.log\r\n");
    ExpectText(d.destination, s->DestinationFolder.chars(), d.expected);
    ExpectText("relative backup", s->BackupPath.chars(), "C:\\Tools\\App\\Old");
    ExpectText("relative log", s->LogFileName.chars(), std::string(d.expected) + "\\update.log");
  }
  Settings s("", source + "[LOG]\r\nLogFileName=E:\\logs\\u.log\r\n[BACKUP]\r\nBackupPath=F:\\Keep\\\r\n");
  ExpectText("log with a drive", s->LogFileName.chars(), "E:\\logs\\u.log");
  ExpectText("backup with a drive", s->BackupPath.chars(), "F:\\Keep");
}

// The native reader against GetPrivateProfile*A on the same file.
void CompareIniReaders(const std::string& folder) {
  const std::string ini =
      "[Product]\r\n  productname =  Editor Pro \t\r\n//Web=http://off\r\nWeb=http://on\r\n"
      "web=second\r\nQuoted=\"  spaced  \"\r\nSingle='x'\r\nLone=\"\r\nEquals=a=b\r\n"
      "Empty=\r\nNum1=  42\r\nNum2=-3\r\nNum3=12abc\r\nNum4=0x1F\r\nNum5=abc\r\nNum6=+7\r\n"
      "Num7=\"5\"\r\nNum8=4294967297\r\nNum9=0o17\r\n"
      "[other]\r\nKey=other\r\n[PRODUCT]\r\nLate=later section\r\n[INSTALL]\r\nApplyToSrc=0\r\n";
  const std::string path = folder + "\\compare.ini";
  FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(ini.data(), 1, ini.size(), file);
  std::fclose(file);
  const char* keys[] = {"ProductName", "WEB", "Quoted", "Single", "Lone", "Equals", "Empty",
                        "Missing",     "Late", "Num1", "Num2",   "Num3", "Num4",   "Num5",
                        "Num6",        "Num7", "Num8", "Num9"};
  for (const char* key : keys) {
    char system[4096];
    char native[4096];
    GetPrivateProfileStringA("product", key, "dflt", system, sizeof system, path.c_str());
    platform::IniTextValue(ini, "product", key, "dflt", native, sizeof native);
    ExpectText(key, native, system);
    ExpectNumber(key, static_cast<int>(platform::IniIntValue(ini, "product", key, 99)),
                 static_cast<int>(GetPrivateProfileIntA("product", key, 99, path.c_str())));
  }
  char systemNames[64];
  char nativeNames[64];
  const DWORD systemLength = GetPrivateProfileSectionNamesA(systemNames, sizeof systemNames, path.c_str());
  const uint32_t nativeLength = platform::IniSectionNames(ini, nativeNames, sizeof nativeNames);
  ExpectText("section names", std::string(nativeNames, nativeLength),
             std::string(systemNames, systemLength));
  DeleteFileA(path.c_str());
}

}  // namespace

int main() {
  if (GetACP() != 936) {
    std::printf("settings_check: the ANSI code page is %u, not 936 (run with LC_ALL=zh_CN.UTF-8)\n",
                GetACP());
    return 1;
  }
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string folder = std::string(temp) + "selfpatch_settings_check";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string iniFile = folder + "\\app.ini";
  FILE* ini = std::fopen(iniFile.c_str(), "wb");
  std::fputs("[Paths]\r\nHome=D:\\Ini\\App\r\n", ini);
  std::fclose(ini);

  SetRegistryValue("Home", REG_SZ, std::string("C:\\Tools\\App\0", 13));
  SetRegistryValue("Expand", REG_EXPAND_SZ, std::string("%WINDIR%\\App\0", 13));
  SetRegistryValue("Number", REG_DWORD, std::string("\x01\0\0\0", 4));
  SetRegistryValue("Long", REG_SZ, std::string(4096, 'L') + std::string(1, '\0'));
  SetRegistryValue("Empty", REG_SZ, std::string(1, '\0'));

  CheckProductAndSwitches();
  CheckDiscovery(iniFile);
  CheckPathRules();
  CompareIniReaders(folder);

  RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
  DeleteFileA(iniFile.c_str());
  RemoveDirectoryA(folder.c_str());
  std::printf("settings_check: %s\n", gFailures == 0 ? "all checks passed" : "FAILED");
  return gFailures == 0 ? 0 : 1;
}
