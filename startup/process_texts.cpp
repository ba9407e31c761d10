// The texts fetched once at start-up.
#include "startup/process_texts.h"

#include "startup/message_catalogue.h"

ProcessTexts FetchProcessTexts(const TextLookup& lookup) {
  ProcessTexts texts;
  // Process-wide state.
  texts.correct = lookup(kMsgCorrect);
  texts.failed = lookup(kMsgFailed);
  texts.creatingDirectory = lookup(kMsgCreatingDirectory);
  texts.stageIntegrity = lookup(kMsgStageIntegrity);
  texts.stageSimulate = lookup(kMsgStageSimulate);
  texts.stageBackup = lookup(kMsgStageBackup);
  texts.stageApply = lookup(kMsgStageApply);
  texts.continueSimulation = lookup(kMsgContinueSimulation);
  texts.rtfWrapper = lookup(kMsgRtfWrapper);
  texts.buttonInstall = lookup(kMsgButtonInstall);
  texts.buttonNext = lookup(kMsgButtonNext);
  texts.unknown = lookup(kMsgUnknown);
  texts.itemDone = {lookup(kMsgPrefixAdded), lookup(kMsgPrefixReplaced), lookup(kMsgPrefixUpdated)};
  texts.itemAction = {lookup(kMsgAddingFile), lookup(kMsgReplacingFile), lookup(kMsgPatchingFile)};
  // Container.
  texts.containerDamaged = lookup(kMsgContainerDamaged);
  texts.containerInconsistent = lookup(kMsgContainerInconsistent);
  // Difference applier.
  texts.patchDataDamaged = lookup(kMsgPatchDataDamaged);
  return texts;
}

const ProcessTexts& GetProcessTexts() {
  static const ProcessTexts texts = FetchProcessTexts([](MessageKey key) { return LookupText(key); });
  return texts;
}

void InitProcessTexts() { static_cast<void>(GetProcessTexts()); }
