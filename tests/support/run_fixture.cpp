// Helpers for tests that run packages through the run driver.
#include "tests/support/run_fixture.h"

#include <fstream>
#include <system_error>

#include "engine/run_context.h"

void RecordingWizard::RunWizard(RunContext& context) {
  opened = true;
  for (const PatchItem& item : context.catalogue) {
    items.push_back({item.kind, item.name, item.nameLength, item.IsDirectory()});
  }
  updateItemCount = context.catalogue.UpdateItemCount;
  delFilesCount = context.catalogue.DelFilesCount;
  delDirsCount = context.catalogue.DelDirsCount;
  totalSteps = context.catalogue.TotalSteps;
  controlEntries = context.catalogue.controlEntries;
  context.CompletionCode = completionCode;
}

ScratchDirectory::ScratchDirectory(const std::string& name)
    : path_(std::filesystem::temp_directory_path() / ("selfpatch_" + name)) {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
  std::filesystem::create_directories(path_);
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScratchDirectory::Write(const std::string& name, const std::string& content) const {
  const std::filesystem::path file = path_ / name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out << content;
}

std::vector<uint8_t> SmallBitmapFile() {
  // File header (14), info header (40), two rows of two pixels padded to 8.
  std::vector<uint8_t> bytes = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
                                40,  0,   0,  0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,
                                0,   0,   0,  0, 16, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0,
                                0,   0,   0,  0, 0, 0, 0, 0};
  for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<uint8_t>(i * 16));
  return bytes;
}
