// The question host that shows boxes through the platform alone.
#include "report/question_host.h"

#include "platform/message_box.h"

int PlatformQuestionHost::ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  return platform::ShowMessageBox(text, caption, style);
}
