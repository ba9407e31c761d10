// The texts fetched once at start-up and kept for the life of the process.
#pragma once

#include <array>
#include <functional>

#include "message_keys.h"

// Pointers into the message catalogue; any of them is null when the string
// table holds no such text. The two lists are indexed by ItemKind (Add,
// Replace, Update).
struct ProcessTexts {
  const char* correct = nullptr;             // stage verdicts
  const char* failed = nullptr;
  const char* creatingDirectory = nullptr;   // log line prefix
  const char* stageIntegrity = nullptr;      // stage titles 1 to 4
  const char* stageSimulate = nullptr;
  const char* stageBackup = nullptr;
  const char* stageApply = nullptr;
  const char* continueSimulation = nullptr;  // question suffix
  const char* rtfWrapper = nullptr;          // rich text: font size, body
  const char* buttonInstall = nullptr;
  const char* buttonNext = nullptr;
  const char* unknown = nullptr;             // "<未知>", the settings' start value
  std::array<const char*, 3> itemDone{};     // "[已添加] " ...
  std::array<const char*, 3> itemAction{};   // "添加文件 " ...
  const char* containerDamaged = nullptr;    // the container's reading errors
  const char* containerInconsistent = nullptr;
  const char* patchDataDamaged = nullptr;    // the difference applier's error
};

using TextLookup = std::function<const char*(MessageKey key)>;

// Fetches every text of the record through `lookup`, in the order of the
// start-up initialisers: process state, container, difference applier.
[[nodiscard]] ProcessTexts FetchProcessTexts(const TextLookup& lookup);

// Fills the process-wide record from the process-wide catalogue (whose first
// lookup loads it). Only the first call fetches; later calls do nothing.
void InitProcessTexts();

// The process-wide record, fetched on first use if InitProcessTexts has not
// run yet.
[[nodiscard]] const ProcessTexts& GetProcessTexts();
