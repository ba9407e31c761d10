// The run context's start values.
#include "engine/run_context.h"

#include "startup/process_texts.h"

RunContext::RunContext(QuestionHost& host)
    : questionHost(host), registry(&platform::SystemRegistry()) {
  archive.questionHost = &host;
  SetUnknownProductTexts(settings, GetProcessTexts().unknown);
}
