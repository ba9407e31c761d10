// The progress log: the running, styled account of an update, mirrored byte
// for byte into the log file, and the bookkeeping that goes with each stage.
#pragma once

#include <cstdint>

#include "report/progress_view.h"

struct RunContext;

// The style of the next text and the current stage's step counter. Every
// styled operation ends with ResetLogStyle, so between operations the style
// is normal.
struct ProgressLog {
  bool bold = false;
  bool underline = false;
  uint32_t colour = kColourDefaultText;
  // The colour of unstyled text and of the "正确" verdict: the system's
  // window-text colour, set by the front end before the stages run.
  uint32_t normalColour = kColourDefaultText;
  // Steps done in the current stage.
  uint32_t stepCounter = 0;
};

// Text primitives. Each writes the text to the log file, then appends it to
// the progress view in the current style. A null text does nothing.
void LogText(RunContext& context, const char* text);
void LogLine(RunContext& context, const char* text);   // text, then "\n"
void LogItem(RunContext& context, const char* text);   // text, then " - "
void ResetLogStyle(RunContext& context);
void LogHeading(RunContext& context, const char* text);  // bold underlined line
// "正确" in the normal colour, or "失败" in bold red; then a line end.
void LogVerdict(RunContext& context, bool ok);
void LogWarning(RunContext& context, const char* text);  // a red line
// Finishes an item line with an ItemResult: 1 "正确", 2 "失败", 1032 and 1037
// " 已覆盖", 1033 and 1034 " 已跳过" in red; any other code writes nothing.
void LogCopyResult(RunContext& context, uint32_t result);
// The name, ":" and " 报错!" in red: one line of the final error report.
void LogStageFailed(RunContext& context, const char* name);

// Stage bookkeeping. BeginStage sets the caption (Title ": " name), the stage
// name and label, resets the bar, the step counter, StageError and StageStop,
// writes the separator line (every stage but the integrity check) and the
// heading "name...". EndStage writes the stage's result line.
void BeginStage(RunContext& context, const char* name);
void EndStage(RunContext& context);
// One step of TotalSteps: the bar moves to steps × 100 / TotalSteps.
void ProgressStep(RunContext& context);
void SetProgressPos(RunContext& context, uint32_t position);

// 99 hyphens.
extern const char kSeparatorLine[];
