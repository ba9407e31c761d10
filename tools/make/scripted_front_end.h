// Front ends for running the patch stages without windows: a question host
// that answers from a script and a progress view that writes to a stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "report/progress_view.h"
#include "report/question_host.h"

// Answers every question with the next scripted answer, or, when the script
// has run out, with the box's default button (Overwrite for the overwrite
// question, whose focus starts there). Every question is recorded and, when
// `echo` is given, written to it with its answer.
class AnswerScriptHost final : public QuestionHost {
 public:
  struct Question {
    bool overwrite = false;  // the overwrite question, not a message box
    std::string caption;
    std::string text;
    uint32_t style = 0;
    int answer = 0;
  };

  explicit AnswerScriptHost(std::vector<int> answers = {}, std::FILE* echo = nullptr)
      : answers_(std::move(answers)), echo_(echo) {}

  int ShowMessageBox(const char* text, const char* caption, uint32_t style) override;
  int AskOverwrite(const char* caption, const char* question) override;

  std::vector<Question> asked;
  // Called with each question once it has its answer, before it returns.
  std::function<void(const Question&)> onQuestion;

 private:
  int NextAnswer(int fallback);
  void Echo(const Question& question) const;

  std::vector<int> answers_;
  size_t next_ = 0;
  std::FILE* echo_;
};

// The answer code of a word of an answers file: ok, cancel, abort, retry,
// ignore, yes, no, overwrite, overwrite-all, skip, skip-all (any case), or a
// decimal code. -1 for anything else.
[[nodiscard]] int ParseAnswerWord(const std::string& word);
// The name of an answer code, the inverse of ParseAnswerWord; the number for
// codes without a name.
[[nodiscard]] std::string AnswerName(int answer, bool overwrite);

// Reads an answers file: one answer per line; blank lines and lines starting
// with '#' are skipped. False with `error` set for an unreadable file or a
// word that names no answer.
[[nodiscard]] bool ReadAnswersFile(const char* path, std::vector<int>& answers,
                                   std::string& error);

// Writes the progress log to a stream: plain text, or with terminal colours
// and weights when `styled`.
class StreamProgressView final : public ProgressView {
 public:
  StreamProgressView(std::FILE* stream, bool styled) : stream_(stream), styled_(styled) {}
  void AppendText(const char* text, const TextStyle& style) override;
  void SetProgressPos(uint32_t) override {}
  void SetStageLabel(const char*) override {}
  void SetCaption(const char*) override {}

 private:
  std::FILE* stream_;
  bool styled_;
};
