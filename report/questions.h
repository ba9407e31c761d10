// Questions and error reports: every message box of the stages and the
// wizard, titled, logged with its answer, and the overwrite question.
#pragma once

#include <cstdint>

class TextBuffer;
struct RunContext;

// Added to every box's style: task-modal and brought to the foreground.
inline constexpr uint32_t kMbSetForeground = 0x10000;

// Style values the system asks with (buttons + icon + default button).
inline constexpr uint32_t kAskErrorOk = 0x10;                 // MB_OK | MB_ICONERROR
inline constexpr uint32_t kAskWarningOk = 0x30;               // MB_OK | MB_ICONWARNING
inline constexpr uint32_t kAskAbortRetryIgnore = 0x12;        // ReportError
inline constexpr uint32_t kAskErrorYesNoDefaultNo = 0x114;    // damaged entry, patch failed
inline constexpr uint32_t kAskErrorYesNoCancelDefault3 = 0x213;    // simulation error
inline constexpr uint32_t kAskWarningYesNoCancelDefault3 = 0x233;  // continue after a stage

// Shows a message box through the context's question host and returns the
// button pressed (0 when the box could not be shown). Any thread: the host
// decides where the box runs. Same as ShowQuestion.
int AskUser(RunContext& context, const char* text, uint32_t style);

// Writes `text` to the log file, shows it with QuestionCaption as caption and
// `style` + MB_TASKMODAL + MB_SETFOREGROUND, then writes the answer's tag
// (" (IDYES)" and CR LF; nothing for an answer without a tag).
int ShowQuestion(RunContext& context, const char* text, uint32_t style);

// result := Title, then ":  " and CurrentStageName when a stage has begun.
void QuestionCaption(const RunContext& context, TextBuffer& result);

// The log file tag of a message-box answer, such as " (IDRETRY)"; null for
// codes without one.
[[nodiscard]] const char* AnswerTag(int answer);

// Reports a failed file operation: `format` filled with `path`, then, when
// `withSystemText`, a blank line and the system's text for the last error
// (call it straight after the failure). Asks Abort/Retry/Ignore. True for
// Retry; otherwise sets StageError, and StageStop too on Abort, and returns
// false.
[[nodiscard]] bool ReportError(RunContext& context, const char* format, const char* path,
                               bool withSystemText);

// Formats `format` with `argument` (at most 1024 bytes of output), shows the
// overwrite question with `caption` and returns its answer: one of the
// OverwriteAnswer values Overwrite, OverwriteAll, Skip, SkipAll, Cancel. Any
// other end code of the dialog (Enter on its text, a dialog that could not be
// shown) is returned as Skip, so that nothing is written on it.
int AskOverwrite(RunContext& context, const char* caption, const char* format,
                 const char* argument);
