// The run driver: catalogue, control entry check, settings, names, steps,
// wizard.
#include "package/run_package.h"

#include "engine/list_walker.h"
#include "engine/patch_stages.h"
#include "engine/run_context.h"
#include "message_keys.h"
#include "package/wizard_host.h"
#include "platform/message_box.h"
#include "platform/module_path.h"
#include "report/questions.h"
#include "startup/message_catalogue.h"

namespace {

constexpr uint32_t kModulePathSize = 4096;

void ShowReadingError(RunContext& context) {
  const char* text = context.archive.ReadingError;
  static_cast<void>(AskUser(context, text != nullptr ? text : "", platform::kMbIconError));
}

uint16_t AnnouncedEntryCount(const PackageArchive& archive) {
  // Entries on this disk: the count the directory walk goes by.
  return static_cast<uint16_t>(archive.endRecord[8] | (archive.endRecord[9] << 8));
}

}  // namespace

bool CheckControlEntries(RunContext& context) {
  ControlEntryTable& table = context.catalogue.controlEntries;
  for (int slot = 0; slot < kControlEntryCount; ++slot) {
    if (table.slots[slot] == nullptr) continue;
    if (VerifyEntry(context.archive, table.slots[slot])) continue;
    if (AskDamagedEntry(context, kControlEntryNames[slot]) != platform::kIdYes) return false;
    table.slots[slot] = nullptr;
  }
  return true;
}

void CountSteps(RunContext& context) {
  PackageCatalogue& catalogue = context.catalogue;
  PatchSettings& settings = context.settings;
  catalogue.DelDirsCount = CountListLines(context, settings.DelDirsList.text.get());
  catalogue.DelFilesCount = CountListLines(context, settings.DelFilesList.text.get());
  catalogue.TotalSteps = catalogue.DelDirsCount + catalogue.DelFilesCount + catalogue.ItemCount;
}

bool BuildCatalogue(RunContext& context, const uint8_t* imageStart, uint32_t imageSize) {
  PackageArchive& archive = context.archive;
  PackageCatalogue& catalogue = context.catalogue;
  if (OpenPackage(archive, imageStart, imageSize) == nullptr) {
    ShowReadingError(context);
    return false;
  }
  const uint16_t entryCount = AnnouncedEntryCount(archive);
  if (entryCount == 0) return false;

  PrepareCatalogue(catalogue, entryCount);
  const bool walked = ForEachEntry(archive, [&catalogue](const PackageEntry& entry, uint16_t) {
    return ClassifyEntry(catalogue, entry);
  });
  if (!walked) {
    ShowReadingError(context);
    return false;
  }

  const ControlEntryTable& table = catalogue.controlEntries;
  if (catalogue.ItemCount == 0 && table[ControlEntry::kDelFiles] == nullptr &&
      table[ControlEntry::kDelDirs] == nullptr) {
    const char* text = LookupText(kMsgEmptyPackage);
    static_cast<void>(AskUser(context, text != nullptr ? text : "", platform::kMbIconWarning));
    return false;
  }

  if (!CheckControlEntries(context)) return false;
  static_cast<void>(ReadPatchSettings(context));
  PrepareItemNames(catalogue);
  SortItems(catalogue);
  CountSteps(context);
  return true;
}

int32_t RunPackage(RunContext& context, WizardHost& wizard, const uint8_t* imageStart,
                   uint32_t imageSize) {
  char modulePath[kModulePathSize];
  if (platform::ModuleFilePath(modulePath, sizeof modulePath) == 0) modulePath[0] = 0;
  context.ModulePath.AssignText(modulePath);

  if (BuildCatalogue(context, imageStart, imageSize)) wizard.RunWizard(context);

  context.catalogue.ReleaseItems();
  context.settings.DelFilesList.Release();
  context.settings.DelDirsList.Release();
  return context.CompletionCode;
}
