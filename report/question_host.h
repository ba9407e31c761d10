// The front end that answers the core's questions: message boxes now, the
// overwrite question later. The wizard implements it with real windows; tests
// and the author's tool with a script of answers.
#pragma once

#include <cstdint>

class QuestionHost {
 public:
  virtual ~QuestionHost() = default;

  // Shows a message box (styles and answers as in platform/message_box.h) and
  // returns the button pressed. `caption` null means the system's default
  // caption. The host decides which thread shows the box.
  virtual int ShowMessageBox(const char* text, const char* caption, uint32_t style) = 0;

  // Shows the overwrite question (`question` already formatted) with
  // `caption` and returns the dialog's end code: the id of the button
  // pressed (1037 overwrite, 1032 overwrite all, 1033 skip, 1034 skip all,
  // 2 cancel). A host without that dialog answers 2.
  virtual int AskOverwrite(const char* caption, const char* question) { return 2; }
};

// A host that shows boxes without an owner window through the platform: a
// real message box on Windows, standard error and the default button elsewhere.
class PlatformQuestionHost final : public QuestionHost {
 public:
  int ShowMessageBox(const char* text, const char* caption, uint32_t style) override;
};
