// The progress log: styled text to the progress view and the log file, and
// the stage headings, results and progress steps.
#include "report/progress_log.h"

#include <cstring>

#include "engine/run_context.h"
#include "message_keys.h"
#include "report/catalogue_text.h"
#include "report/log_file.h"
#include "startup/process_texts.h"

const char kSeparatorLine[] =
    "---------------------------------------------------------------------------------------------------";
static_assert(sizeof(kSeparatorLine) == 100);

void LogText(RunContext& context, const char* text) {
  if (text == nullptr) return;
  LogWrite(context.logFile, text);
  if (context.progressView != nullptr) {
    const ProgressLog& log = context.progressLog;
    context.progressView->AppendText(text, TextStyle{log.bold, log.underline, log.colour});
  }
}

void LogLine(RunContext& context, const char* text) {
  LogText(context, text);
  LogText(context, "\n");
}

void LogItem(RunContext& context, const char* text) {
  LogText(context, text);
  LogText(context, " - ");
}

void ResetLogStyle(RunContext& context) {
  ProgressLog& log = context.progressLog;
  log.bold = false;
  log.underline = false;
  log.colour = log.normalColour;
}

void LogHeading(RunContext& context, const char* text) {
  context.progressLog.bold = true;
  context.progressLog.underline = true;
  LogLine(context, text);
  ResetLogStyle(context);
}

void LogVerdict(RunContext& context, bool ok) {
  const ProcessTexts& texts = GetProcessTexts();
  if (ok) {
    context.progressLog.colour = context.progressLog.normalColour;
    LogLine(context, texts.correct);
  } else {
    context.progressLog.bold = true;
    context.progressLog.colour = kColourRed;
    LogLine(context, texts.failed);
  }
  ResetLogStyle(context);
}

void LogWarning(RunContext& context, const char* text) {
  context.progressLog.bold = false;
  context.progressLog.colour = kColourRed;
  LogLine(context, text);
  ResetLogStyle(context);
}

void LogCopyResult(RunContext& context, uint32_t result) {
  switch (result) {
    case 1:
      LogVerdict(context, true);
      break;
    case 2:
      LogVerdict(context, false);
      break;
    case 1032:
    case 1037:
      LogLine(context, CatalogueText(kMsgOverwritten));
      break;
    case 1033:
    case 1034:
      LogWarning(context, CatalogueText(kMsgSkipped));
      break;
    default:
      break;
  }
}

void LogStageFailed(RunContext& context, const char* name) {
  LogText(context, name);
  LogText(context, ":");
  LogWarning(context, CatalogueText(kMsgReportedError));
}

void SetProgressPos(RunContext& context, uint32_t position) {
  if (context.progressView != nullptr) context.progressView->SetProgressPos(position);
}

void BeginStage(RunContext& context, const char* name) {
  TextBuffer caption = TextBuffer::Concat(context.settings.Title, ": ");
  caption = TextBuffer::Concat(caption, name);
  if (context.progressView != nullptr) context.progressView->SetCaption(caption.chars());
  context.CurrentStageName.AssignText(name);
  if (context.progressView != nullptr) context.progressView->SetStageLabel(name);
  context.progressLog.stepCounter = 0;
  SetProgressPos(context, 0);
  context.StageError = 0;
  context.StageStop = 0;
  // The first stage is told by the identity of its cached name.
  if (name != GetProcessTexts().stageIntegrity) LogLine(context, kSeparatorLine);
  const TextBuffer heading = TextBuffer::Concat(context.CurrentStageName, "...");
  LogHeading(context, heading.chars());
}

void EndStage(RunContext& context) {
  context.progressLog.bold = true;
  if (context.StageError != 0) {
    context.progressLog.colour = kColourRed;
    context.MessageScratch.Format(CatalogueText(kMsgStageEndedWithError),
                                  context.CurrentStageName.chars());
  } else {
    context.progressLog.colour = kColourDarkBlue;
    context.MessageScratch.Format(CatalogueText(kMsgStageCompleted), context.CurrentStageName.chars());
  }
  LogLine(context, context.MessageScratch.chars());
  ResetLogStyle(context);
}

void ProgressStep(RunContext& context) {
  ProgressLog& log = context.progressLog;
  ++log.stepCounter;
  // Every step is a counted one, so TotalSteps is not 0 here; the guard only
  // keeps a miscounted run from dividing by zero.
  const uint32_t total = context.catalogue.TotalSteps;
  if (total == 0) return;
  SetProgressPos(context, static_cast<uint32_t>(uint64_t{log.stepCounter} * 100 / total));
}
