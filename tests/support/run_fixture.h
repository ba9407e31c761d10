// Helpers for tests that run packages through the run driver: a wizard that
// records what it was opened with, and scratch folders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "package/catalogue.h"
#include "package/wizard_host.h"

// Records the catalogue as the wizard sees it; runs nothing.
class RecordingWizard final : public WizardHost {
 public:
  struct Item {
    ItemKind kind;
    std::string name;
    uint32_t nameLength;
    bool directory;
    bool operator==(const Item&) const = default;
  };

  void RunWizard(RunContext& context) override;

  bool opened = false;
  std::vector<Item> items;
  uint32_t updateItemCount = 0;
  uint32_t delFilesCount = 0;
  uint32_t delDirsCount = 0;
  uint32_t totalSteps = 0;
  ControlEntryTable controlEntries;
  // When set, the CompletionCode the wizard leaves.
  int32_t completionCode = -1;
};

// A fresh folder under the system's temporary folder, removed when it goes.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& name);
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  // Writes `content` to the relative `name`, creating folders.
  void Write(const std::string& name, const std::string& content) const;

 private:
  std::filesystem::path path_;
};

// A small valid bitmap file (2 x 2 pixels, 24 bits).
[[nodiscard]] std::vector<uint8_t> SmallBitmapFile();
