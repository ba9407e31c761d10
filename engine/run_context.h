// The run context: every record of one update run, passed explicitly from the
// run driver to the wizard, the stages and the reporting code.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/text_buffer.h"
#include "engine/file_placement.h"
#include "engine/patch_stages.h"
#include "package/catalogue.h"
#include "package/container_reader.h"
#include "platform/registry.h"
#include "report/log_file.h"
#include "report/progress_log.h"
#include "report/progress_view.h"
#include "report/question_host.h"
#include "settings/patch_settings.h"

// The Windows program owns exactly one for its lifetime; a test makes a fresh
// one per case. Nothing in here is a process-wide global.
struct RunContext {
  // Sets the archive's question host, the product texts' start value
  // ("<未知>") and the system registry.
  explicit RunContext(QuestionHost& host);
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  // Front ends.
  QuestionHost& questionHost;

  // Where folder discovery reads registry values; tests substitute a fake.
  platform::RegistryReader* registry = nullptr;

  // The package and what was found in it.
  PackageArchive archive;
  PackageCatalogue catalogue;
  PatchSettings settings;

  // Full path of the program's own executable, set by RunPackage.
  TextBuffer ModulePath;
  // The process exit code: -1 until the patch stages have run to their end.
  int32_t CompletionCode = -1;
  // Name of the temporary file made last; empty when there is none.
  TextBuffer TempFileName;

  // The patch stages and their reporting (engine/patch_stages.h,
  // engine/file_placement.h, report/progress_log.h, report/log_file.h).
  // The running account's front end; null shows nothing.
  ProgressView* progressView = nullptr;
  ProgressLog progressLog;
  // Name of the stage now running; kept after the stages end.
  TextBuffer CurrentStageName;
  // Per-stage flags, cleared by BeginStage: something failed; stop now.
  uint8_t StageError = 0;
  uint8_t StageStop = 0;
  StageFailureRecords StageFailures{};
  // Set once, from clear to set, by the user-interface thread; read by the
  // stages at every item and list line.
  std::atomic<uint8_t> AbortRequested{0};
  LogFile logFile;
  // Remembered overwrite answers and the current item's paths.
  PlacementState placement;
  // Where message texts are built before they are shown.
  TextBuffer MessageScratch;
};
