// The patch stages: integrity check, simulation, backup and application, and
// the questions asked between and inside them.
#include "engine/patch_stages.h"

#include "engine/difference_applier.h"
#include "engine/file_placement.h"
#include "engine/list_walker.h"
#include "engine/run_context.h"
#include "engine/safe_names.h"
#include "message_keys.h"
#include "platform/message_box.h"
#include "report/catalogue_text.h"
#include "report/progress_log.h"
#include "report/questions.h"
#include "startup/process_texts.h"

namespace {

bool Aborted(const RunContext& context) {
  return context.AbortRequested.load(std::memory_order_relaxed) != 0;
}

// An item whose name would lead out of the folders is handled as a damaged
// entry: StageError and the damaged-entry question; Yes leaves the item out
// of the rest of the run, any other answer stops the stage. True when the
// item was such an item.
bool RefuseUnsafeItem(RunContext& context, PatchItem& item) {
  if (IsSafeRelativeName(item.name)) return false;
  if (item.skip != 0) return true;  // already refused and left out
  context.StageError = 1;
  if (AskDamagedEntry(context, item.name) == platform::kIdYes) {
    item.skip = 1;
  } else {
    context.StageStop = 1;
  }
  return true;
}

// Runs one stage between its heading and its result line and records its
// failure flag.
template <typename Stage>
void RunStage(RunContext& context, PatchStage stage, const char* name, Stage&& body) {
  BeginStage(context, name);
  body(context);
  context.StageFailures[static_cast<int>(stage)] = context.StageError;
  EndStage(context);
}

}  // namespace

int AskDamagedEntry(RunContext& context, const char* name) {
  TextBuffer question;
  question.Format(CatalogueText(kMsgEntryDamagedContinue), name);
  return AskUser(context, question.chars(), kAskErrorYesNoDefaultNo);
}

int AskPatchFailed(RunContext& context, const char* path, const char* reason) {
  TextBuffer question;
  question.Format(CatalogueText(kMsgCannotApplyPatch), path, reason);
  return AskUser(context, question.chars(), kAskErrorYesNoDefaultNo);
}

bool AskContinue(RunContext& context) {
  if (Aborted(context)) return false;
  if (context.StageError == 0) return true;
  context.MessageScratch.Format(CatalogueText(kMsgErrorContinue), context.CurrentStageName.chars());
  return AskUser(context, context.MessageScratch.chars(), kAskWarningYesNoCancelDefault3) ==
         platform::kIdYes;
}

void IntegrityStage(RunContext& context) {
  const ProcessTexts& texts = GetProcessTexts();
  const uint32_t count = context.catalogue.ItemCount;
  for (uint32_t index = 0; index < count && !Aborted(context); ++index) {
    PatchItem& item = context.catalogue.items[index];
    LogText(context, texts.itemDone[static_cast<int>(item.kind)]);
    LogItem(context, item.name);
    // A name that would lead out of the folders is as bad as damaged data.
    const bool ok =
        IsSafeRelativeName(item.name) && VerifyEntry(context.archive, item.localHeader);
    LogVerdict(context, ok);
    if (!ok) {
      context.StageError = 1;
      if (AskDamagedEntry(context, item.name) != platform::kIdYes) return;
      item.skip = 1;
    }
    SetProgressPos(context, (index + 1) * 100 / count);
  }
}

bool SimulateItem(RunContext& context, const PatchItem& item, const uint8_t* difference,
                  uint32_t length) {
  const TextBuffer path = TextBuffer::Concat(context.settings.SourceFolder, item.name);
  platform::File file;
  for (;;) {
    file = platform::File::OpenForReading(path.chars());
    if (file.IsOpen()) break;
    if (!ReportError(context, CatalogueText(kMsgCannotOpenFile), path.chars(), true)) return false;
  }
  if (length == 0) return true;
  TextBuffer error;
  const bool ok = VerifyDifference(file, difference, length, error);
  file.Close();
  if (ok) return true;

  const TextBuffer reason = error.empty() ? TextBuffer::SystemErrorText() : error;
  context.StageError = 1;
  context.MessageScratch.Format(CatalogueText(kMsgSimulationError), path.chars());
  context.MessageScratch.Append(reason);
  context.MessageScratch =
      TextBuffer::Concat(context.MessageScratch, GetProcessTexts().continueSimulation);
  const int answer =
      AskUser(context, context.MessageScratch.chars(), kAskErrorYesNoCancelDefault3);
  context.StageStop = answer != platform::kIdYes ? 1 : 0;
  return false;
}

void SimulationStage(RunContext& context) {
  const PackageCatalogue& catalogue = context.catalogue;
  const uint32_t updates = catalogue.UpdateItemCount;
  const uint32_t first = catalogue.ItemCount - updates;
  for (uint32_t k = 1; k <= updates && !Aborted(context); ++k) {
    PatchItem& item = context.catalogue.items[first + k - 1];
    if (item.skip == 0 && !item.IsDirectory()) {
      if (RefuseUnsafeItem(context, item)) {
        if (context.StageStop != 0) return;
      } else {
        ExtractedBlock difference;
        if (!ExtractToMemory(context.archive, item.localHeader, &difference, 0)) {
          context.StageError = 1;
          if (AskDamagedEntry(context, item.name) != platform::kIdYes) return;
          item.skip = 1;
        } else {
          LogText(context, CatalogueText(kMsgSimulatingPatch));
          LogItem(context, item.name);
          const bool ok = SimulateItem(context, item, difference.bytes.get(), difference.length);
          LogVerdict(context, ok);
          if (context.StageStop != 0) return;
        }
      }
    }
    SetProgressPos(context, k * 100 / updates);
  }
}

void BackupStage(RunContext& context) {
  context.placement.CopyOverwriteAnswer = kAsk;
  for (PatchItem& item : context.catalogue) {
    if (Aborted(context)) break;
    // Items left out after a damaged entry are backed up as well.
    if (!item.IsDirectory()) {
      if (!RefuseUnsafeItem(context, item)) {
        static_cast<void>(
            CopyOldFile(context, context.settings.BackupPath.chars(), item.name, true));
      }
      if (context.StageStop != 0) return;
    }
    ProgressStep(context);
  }
  PatchSettings& settings = context.settings;
  if (!WalkList(context, settings.DelDirsList.text.get(),
                [&context](const char* name) { return BackupListedDirectory(context, name); }) ||
      Aborted(context)) {
    return;
  }
  static_cast<void>(
      WalkList(context, settings.DelFilesList.text.get(),
               [&context](const char* name) { return BackupListedFile(context, name); }));
}

void ApplicationStage(RunContext& context) {
  context.placement.CopyOverwriteAnswer = kAsk;
  for (PatchItem& item : context.catalogue) {
    if (Aborted(context)) break;
    if (item.skip == 0) {
      if (!RefuseUnsafeItem(context, item)) ApplyItem(context, item);
      if (context.StageStop != 0) return;
    }
    ProgressStep(context);
  }
  PatchSettings& settings = context.settings;
  if (context.catalogue.DelFilesCount != 0) {
    LogLine(context, CatalogueText(kMsgDeletingFiles));
    if (!WalkList(context, settings.DelFilesList.text.get(),
                  [&context](const char* name) { return DeleteListedFile(context, name); }) ||
        Aborted(context)) {
      return;
    }
  }
  if (context.catalogue.DelDirsCount != 0) {
    LogLine(context, CatalogueText(kMsgDeletingEmptyDirs));
    static_cast<void>(
        WalkList(context, settings.DelDirsList.text.get(),
                 [&context](const char* name) { return RemoveListedDirectory(context, name); }));
  }
}

void RunStages(RunContext& context) {
  PatchSettings& settings = context.settings;
  const ProcessTexts& texts = GetProcessTexts();
  settings.SourceFolder.EnsureTrailingSeparator();
  settings.DestinationFolder.EnsureTrailingSeparator();
  settings.BackupPath.EnsureTrailingSeparator();

  RunStage(context, PatchStage::kIntegrity, texts.stageIntegrity, IntegrityStage);
  if (context.StageError != 0) LogWarning(context, CatalogueText(kMsgPackageDamaged));

  if (settings.SimulateApplying != 0) {
    if (!AskContinue(context)) return;
    RunStage(context, PatchStage::kSimulation, texts.stageSimulate, SimulationStage);
  }
  if (settings.ExecuteBackup != 0) {
    if (!AskContinue(context)) return;
    RunStage(context, PatchStage::kBackup, texts.stageBackup, BackupStage);
  }
  if (settings.ApplyUpdate != 0) {
    if (!AskContinue(context)) return;
    RunStage(context, PatchStage::kApplication, texts.stageApply, ApplicationStage);
    if (context.StageError != 0) return;
  }
  // The last stage's loop ends at the next item once the user aborts; the
  // items and lines after that point were not processed, so the run is not
  // reported as completed.
  if (context.AbortRequested.load(std::memory_order_relaxed) != 0) return;
  context.CompletionCode = 1;
}

bool WriteRunReport(RunContext& context) {
  const ProcessTexts& texts = GetProcessTexts();
  if (context.progressView != nullptr) {
    context.progressView->SetCaption(context.settings.Title.chars());
  }
  const char* stageNames[] = {texts.stageIntegrity, texts.stageSimulate, texts.stageBackup,
                              texts.stageApply};
  bool anyFailed = false;
  for (uint8_t record : context.StageFailures) anyFailed = anyFailed || record != 0;
  if (anyFailed) {
    LogLine(context, kSeparatorLine);
    LogHeading(context, CatalogueText(kMsgErrorReport));
    for (size_t stage = 0; stage < context.StageFailures.size(); ++stage) {
      if (context.StageFailures[stage] != 0) LogStageFailed(context, stageNames[stage]);
    }
  }
  if (context.CompletionCode == 1) {
    SetProgressPos(context, 100);
  } else {
    SetProgressPos(context, 0);
    const bool aborted = context.AbortRequested.load(std::memory_order_relaxed) != 0;
    LogLine(context, kSeparatorLine);
    context.progressLog.bold = true;
    context.progressLog.colour = kColourRed;
    LogLine(context, CatalogueText(aborted ? kMsgInterruptedByUser : kMsgInterruptedByError));
    ResetLogStyle(context);
  }
  return anyFailed;
}

ProgressHeader FinalProgressHeader(const StageFailureRecords& failures, int32_t completionCode) {
  for (uint8_t record : failures) {
    if (record != 0) return {kMsgError, kMsgUpdateFailed};
  }
  if (completionCode != 1) return {kMsgError, kMsgInterruptedByUser};
  return {kMsgFinished, kMsgUpdateSucceeded};
}
