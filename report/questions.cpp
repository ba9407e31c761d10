// Questions and error reports: captions, the log file record of each question
// and answer, the Abort/Retry/Ignore report and the overwrite question.
#include "report/questions.h"

#include "base/text_buffer.h"
#include "engine/file_placement.h"
#include "engine/run_context.h"
#include "platform/message_box.h"
#include "report/log_file.h"

void QuestionCaption(const RunContext& context, TextBuffer& result) {
  result.Assign(context.settings.Title);
  if (!context.CurrentStageName.empty()) {
    result = TextBuffer::Concat(result, ":  ");
    result.Append(context.CurrentStageName);
  }
}

const char* AnswerTag(int answer) {
  switch (answer) {
    case platform::kIdOk: return " (IDOK)";
    case platform::kIdCancel: return " (IDCANCEL)";
    case platform::kIdAbort: return " (IDABORT)";
    case platform::kIdRetry: return " (IDRETRY)";
    case platform::kIdIgnore: return " (IDIGNORE)";
    case platform::kIdYes: return " (IDYES)";
    case platform::kIdNo: return " (IDNO)";
    default: return nullptr;
  }
}

int ShowQuestion(RunContext& context, const char* text, uint32_t style) {
  TextBuffer caption;
  QuestionCaption(context, caption);
  LogWrite(context.logFile, text);
  const int answer = context.questionHost.ShowMessageBox(
      text, caption.chars(), style | platform::kMbTaskModal | kMbSetForeground);
  LogWriteLine(context.logFile, AnswerTag(answer));
  return answer;
}

int AskUser(RunContext& context, const char* text, uint32_t style) {
  // The question host knows whether it runs on the user-interface thread and
  // hands the box over when it does not; the log is written from here either
  // way, while the caller waits for the answer.
  return ShowQuestion(context, text, style);
}

bool ReportError(RunContext& context, const char* format, const char* path,
                 bool withSystemText) {
  // Taken first: nothing below may change the failed operation's error code.
  const TextBuffer systemText = withSystemText ? TextBuffer::SystemErrorText() : TextBuffer();
  context.MessageScratch.Format(format, path);
  if (withSystemText) {
    context.MessageScratch = TextBuffer::Concat(context.MessageScratch, "\n\n");
    context.MessageScratch.Append(systemText);
  }
  const int answer = AskUser(context, context.MessageScratch.chars(), kAskAbortRetryIgnore);
  if (answer == platform::kIdRetry) return true;
  context.StageError = 1;
  if (answer == platform::kIdAbort) context.StageStop = 1;
  return false;
}

int AskOverwrite(RunContext& context, const char* caption, const char* format,
                 const char* argument) {
  TextBuffer question;
  question.Format(format, argument);
  const int answer = context.questionHost.AskOverwrite(caption, question.chars());
  switch (answer) {
    case kOverwrite:
    case kOverwriteAll:
    case kSkip:
    case kSkipAll:
    case kCancel:
      return answer;
    default:
      // Enter on the dialog's text ends it with IDOK, which is none of its
      // buttons; taken as an answer, it would place nothing yet be reported
      // as done. Nothing is written on it: it counts as Skip.
      return kSkip;
  }
}
