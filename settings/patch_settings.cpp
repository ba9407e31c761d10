// Reading the patch settings from the package's control entries.
#include "settings/patch_settings.h"

#include <cstring>

#include "engine/run_context.h"
#include "engine/temp_files.h"
#include "message_keys.h"
#include "platform/ini_file.h"
#include "settings/folder_discovery.h"
#include "startup/message_catalogue.h"

namespace {

struct SwitchKey {
  const char* section;
  const char* key;
  int32_t PatchSettings::*field;
};

// In the order they are read.
constexpr SwitchKey kSwitches[] = {
    {"INSTALL", "ApplyToSrc", &PatchSettings::ApplyToSrc},
    {"INSTALL", "SimulateApplying", &PatchSettings::SimulateApplying},
    {"WIZARD", "SilentMode", &PatchSettings::SilentMode},
    {"WIZARD", "ShowLicense", &PatchSettings::ShowLicense},
    {"WIZARD", "ShowNotes", &PatchSettings::ShowNotes},
    {"WIZARD", "ShowAppFolder", &PatchSettings::ShowAppFolder},
    {"WIZARD", "ShowOptions", &PatchSettings::ShowOptions},
    {"BACKUP", "ExecuteBackup", &PatchSettings::ExecuteBackup},
    {"BACKUP", "WarningOnDel", &PatchSettings::WarningOnDel},
    {"LOG", "WriteLog", &PatchSettings::WriteLog},
    {"LOG", "OverwriteLog", &PatchSettings::OverwriteLog},
};

void ReadProduct(RunContext& context) {
  PatchSettings& settings = context.settings;
  const uint8_t* entry = context.catalogue.controlEntries[ControlEntry::kProduct];
  if (entry == nullptr || !ExtractEntryToTemp(context, entry, nullptr)) return;
  const char* file = context.TempFileName.chars();
  ReadSettingText(file, "PRODUCT", "ProductName", settings.ProductName);
  ReadSettingText(file, "PRODUCT", "OldVersion", settings.OldVersion);
  ReadSettingText(file, "PRODUCT", "NewVersion", settings.NewVersion);
  ReadSettingText(file, "PRODUCT", "Web", settings.Web);
  ReadSettingText(file, "PRODUCT", "EMail", settings.EMail);
  ReadSettingText(file, "PRODUCT", "Copyright", settings.Copyright);
  DeleteTempFile(context);
}

// The log file's default: the program's file name with ".exe" turned into
// ".log", in the destination folder.
void DefaultLogFileName(const TextBuffer& destinationFolder, const TextBuffer& modulePath,
                        TextBuffer& logFileName) {
  logFileName = destinationFolder;
  logFileName.EnsureTrailingSeparator();
  logFileName.Append(FileNamePart(modulePath));
  const int32_t length = logFileName.length();
  if (length <= 4) return;
  const TextBuffer ending(logFileName.chars() + length - 4, 4);
  if (Compare(ending, TextBuffer(".exe"), true) != 0) return;
  TextBuffer renamed(logFileName.chars(), length - 4);
  logFileName = TextBuffer::Concat(renamed, ".log");
}

void ReadInstall(RunContext& context) {
  PatchSettings& settings = context.settings;
  const uint8_t* entry = context.catalogue.controlEntries[ControlEntry::kInstall];
  if (entry == nullptr || !ExtractEntryToTemp(context, entry, nullptr)) return;
  const char* file = context.TempFileName.chars();

  for (const SwitchKey& item : kSwitches) {
    settings.*item.field = static_cast<int32_t>(
        platform::ReadIniInt(file, item.section, item.key, settings.*item.field));
  }
  settings.SameFolder = settings.ApplyToSrc != 0 ? 1 : 0;

  char sectionNames[kSettingTextSize];
  if (platform::ReadIniSectionNames(file, sectionNames, sizeof sectionNames) != 0) {
    DiscoverFolders(*context.registry, file, sectionNames, settings.ApplyToSrc != 0,
                    settings.SourceFolder, settings.DestinationFolder);
  }

  const bool backupRead = ReadSettingText(file, "BACKUP", "BackupPath", settings.BackupPath);
  if (settings.BackupPath.empty() && !settings.SourceFolder.empty()) {
    // A sibling of the source folder: C:\Tools\App.Backup for C:\Tools\App.
    settings.BackupPath = TextBuffer::Concat(settings.SourceFolder, ".Backup");
  }
  if (backupRead) ResolveAgainst(settings.SourceFolder, settings.BackupPath);
  settings.BackupPath.NormaliseFolder();

  if (ReadSettingText(file, "LOG", "LogFileName", settings.LogFileName)) {
    // A log path is taken as written apart from its folder: not normalised.
    ResolveAgainst(settings.DestinationFolder, settings.LogFileName);
  } else {
    DefaultLogFileName(settings.DestinationFolder, context.ModulePath, settings.LogFileName);
  }
  DeleteTempFile(context);
}

// The entry's bytes followed by NUL, or false when it cannot be extracted.
bool ExtractText(RunContext& context, const uint8_t* entry, ExtractedBlock& block) {
  if (entry == nullptr || !ExtractToMemory(context.archive, entry, &block, 1)) return false;
  block.bytes[block.length] = 0;
  return true;
}

void ReadRichText(RunContext& context, ControlEntry which, TextBuffer& field) {
  ExtractedBlock block;
  if (!ExtractText(context, context.catalogue.controlEntries[which], block)) return;
  field.AssignText(reinterpret_cast<const char*>(block.bytes.get()));
}

void ReadDeletionList(RunContext& context, ControlEntry which, DeletionList& list) {
  ExtractedBlock block;
  if (!ExtractText(context, context.catalogue.controlEntries[which], block)) return;
  list.text = std::make_unique<char[]>(block.length + 1);
  std::memcpy(list.text.get(), block.bytes.get(), block.length + 1);
  list.length = block.length;
  ToBackslashes(list.text.get(), static_cast<int32_t>(list.length));
}

void ReadPicture(RunContext& context) {
  const uint8_t* entry = context.catalogue.controlEntries[ControlEntry::kPicture];
  if (entry == nullptr || !ExtractEntryToTemp(context, entry, nullptr)) return;
  context.settings.Picture = platform::Bitmap::LoadFromFile(context.TempFileName.chars());
  DeleteTempFile(context);
}

}  // namespace

void SetUnknownProductTexts(PatchSettings& settings, const char* unknown) {
  settings.ProductName.AssignText(unknown);
  settings.OldVersion.AssignText(unknown);
  settings.NewVersion.AssignText(unknown);
}

bool ReadSettingText(const char* file, const char* section, const char* key, TextBuffer& field) {
  char area[kSettingTextSize];
  const uint32_t length = platform::ReadIniText(file, section, key, "", area, sizeof area);
  if (length == 0) return false;
  field.AssignRange(area, static_cast<int32_t>(length));
  field.ExpandEnvironment();
  return true;
}

bool ReadPatchSettings(RunContext& context) {
  PatchSettings& settings = context.settings;
  ReadProduct(context);
  const char* titleFormat = LookupText(kMsgTitleFormat);
  if (titleFormat != nullptr) {
    settings.Title.Format(titleFormat, settings.ProductName.chars(), settings.OldVersion.chars(),
                          settings.NewVersion.chars());
  }
  ReadInstall(context);
  ReadRichText(context, ControlEntry::kNotes, settings.NotesText);
  ReadDeletionList(context, ControlEntry::kDelFiles, settings.DelFilesList);
  ReadDeletionList(context, ControlEntry::kDelDirs, settings.DelDirsList);
  ReadRichText(context, ControlEntry::kLicense, settings.LicenceText);
  ReadPicture(context);
  return true;
}
