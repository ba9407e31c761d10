// The patch stages: integrity check, simulation, backup and application, run
// in order by RunStages, with the questions asked between and inside them.
#pragma once

#include <array>
#include <cstdint>

struct PatchItem;
struct RunContext;

enum class PatchStage : uint8_t { kIntegrity = 0, kSimulation, kBackup, kApplication };

// One record per stage in stage order: the stage's StageError when it ended,
// 0 for a stage that did not run.
using StageFailureRecords = std::array<uint8_t, 4>;

// Runs the requested stages once. Leaves the progress log, the files placed,
// copied and deleted, StageFailures, and CompletionCode 1 when every
// requested stage ran to its end; a run the user aborted is not completed.
void RunStages(RunContext& context);

// True when the next stage may start: not aborted, and either the stage that
// just ended had no failure or the user answers Yes to going on.
[[nodiscard]] bool AskContinue(RunContext& context);

// "压缩文件“%s”被破坏。..." Yes/No, default No. Returns the button code.
int AskDamagedEntry(RunContext& context, const char* name);
// "不能应用补丁到文件“%s”。\n%s..." Yes/No, default No. Returns the button code.
int AskPatchFailed(RunContext& context, const char* path, const char* reason);

void IntegrityStage(RunContext& context);
void SimulationStage(RunContext& context);
void BackupStage(RunContext& context);
void ApplicationStage(RunContext& context);

// What the worker writes when the stages have ended: the caption back to
// Title; when a stage failed, the separator, the heading "错误报告:" and one
// line per failed stage; when the run did not complete, the bar at 0, the
// separator and the bold red verdict (interrupted by the user or by an
// error), else the bar at 100. True when any stage failed.
bool WriteRunReport(RunContext& context);

// The progress page's header once the stages have ended, as catalogue keys:
// "错误" with the failure text when a stage failed; "已完成" with the success
// text only when the stages completed; a run that was aborted without a
// failure shows "错误" with "补丁进程被用户中断。" rather than success.
struct ProgressHeader {
  uint32_t title;
  uint32_t subtitle;
};
[[nodiscard]] ProgressHeader FinalProgressHeader(const StageFailureRecords& failures,
                                                 int32_t completionCode);

// Decodes `difference` against SourceFolder + the item's name without output.
// True on success; false after reporting the failure (StageStop set when the
// stage must end).
[[nodiscard]] bool SimulateItem(RunContext& context, const PatchItem& item,
                                const uint8_t* difference, uint32_t length);
