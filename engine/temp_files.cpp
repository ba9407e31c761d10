// Hidden temporary files and package entries extracted into them.
#include "engine/temp_files.h"

#include "engine/run_context.h"
#include "platform/file_system.h"
#include "platform/temp_file.h"

platform::File CreateTempFile(RunContext& context, const char* folder) {
  context.TempFileName.Release();
  char systemFolder[platform::kTempNameSize];
  if (folder == nullptr) {
    if (platform::TempFolderPath(systemFolder, sizeof systemFolder) == 0) return {};
    folder = systemFolder;
  }
  char name[platform::kTempNameSize];
  if (!platform::CreateUniqueTempName(folder, "sfp", name)) return {};
  // The naming call left an empty file; replace it by one with the access,
  // sharing and attribute wanted.
  platform::File file = platform::File::CreateHiddenTemporary(name);
  if (!file.IsOpen()) {
    static_cast<void>(platform::DeleteOneFile(name));
    return {};
  }
  context.TempFileName.AssignText(name);
  return file;
}

bool ExtractEntryToTemp(RunContext& context, const uint8_t* localHeader, const char* folder) {
  platform::File file = CreateTempFile(context, folder);
  if (!file.IsOpen()) return false;
  const bool extracted = ExtractToFile(context.archive, localHeader, &file);
  file.Close();
  if (!extracted) DeleteTempFile(context);
  return extracted;
}

void DeleteTempFile(RunContext& context) {
  if (context.TempFileName.empty()) return;
  static_cast<void>(platform::DeleteOneFile(context.TempFileName.chars()));
  context.TempFileName.Release();
}
