// Front ends for running the patch stages without windows: scripted answers
// and a stream view of the progress log.
#include "tools/make/scripted_front_end.h"

#include <cctype>
#include <cstdlib>
#include <fstream>

#include "platform/message_box.h"

namespace {

struct AnswerWord {
  const char* word;
  int code;
  bool overwrite;  // an answer of the overwrite question
};

constexpr AnswerWord kAnswerWords[] = {
    {"ok", platform::kIdOk, false},       {"cancel", platform::kIdCancel, false},
    {"abort", platform::kIdAbort, false}, {"retry", platform::kIdRetry, false},
    {"ignore", platform::kIdIgnore, false}, {"yes", platform::kIdYes, false},
    {"no", platform::kIdNo, false},       {"overwrite", 1037, true},
    {"overwrite-all", 1032, true},        {"skip", 1033, true},
    {"skip-all", 1034, true},
};

constexpr int kOverwriteAnswer = 1037;

}  // namespace

int ParseAnswerWord(const std::string& word) {
  std::string lower;
  for (char c : word) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const AnswerWord& entry : kAnswerWords) {
    if (lower == entry.word) return entry.code;
  }
  if (!lower.empty() && lower.size() <= 6 &&
      lower.find_first_not_of("0123456789") == std::string::npos) {
    return std::atoi(lower.c_str());
  }
  return -1;
}

std::string AnswerName(int answer, bool overwrite) {
  if (overwrite && answer == platform::kIdCancel) return "cancel";
  for (const AnswerWord& entry : kAnswerWords) {
    if (entry.code == answer && entry.overwrite == overwrite) return entry.word;
  }
  return std::to_string(answer);
}

bool ReadAnswersFile(const char* path, std::vector<int>& answers, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = std::string("cannot read the answers file ") + path;
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line[start] == '#') continue;
    const size_t end = line.find_last_not_of(" \t\r");
    const std::string word = line.substr(start, end - start + 1);
    const int code = ParseAnswerWord(word);
    if (code < 0) {
      error = std::string(path) + ":" + std::to_string(number) + ": '" + word +
              "' is not an answer";
      return false;
    }
    answers.push_back(code);
  }
  return true;
}

int AnswerScriptHost::NextAnswer(int fallback) {
  if (next_ < answers_.size()) return answers_[next_++];
  return fallback;
}

void AnswerScriptHost::Echo(const Question& question) const {
  if (echo_ == nullptr) return;
  std::fprintf(echo_, "\n[%s] %s\n%s\n[answer: %s]\n",
               question.overwrite ? "overwrite question" : "question", question.caption.c_str(),
               question.text.c_str(), AnswerName(question.answer, question.overwrite).c_str());
  std::fflush(echo_);
}

int AnswerScriptHost::ShowMessageBox(const char* text, const char* caption, uint32_t style) {
  Question question{false, caption != nullptr ? caption : "", text != nullptr ? text : "", style,
                    0};
  question.answer = NextAnswer(platform::DefaultAnswer(style));
  asked.push_back(question);
  Echo(question);
  if (onQuestion) onQuestion(question);
  return question.answer;
}

int AnswerScriptHost::AskOverwrite(const char* caption, const char* text) {
  Question question{true, caption != nullptr ? caption : "", text != nullptr ? text : "", 0, 0};
  question.answer = NextAnswer(kOverwriteAnswer);
  asked.push_back(question);
  Echo(question);
  if (onQuestion) onQuestion(question);
  return question.answer;
}

void StreamProgressView::AppendText(const char* text, const TextStyle& style) {
  const bool plain = !style.bold && !style.underline && style.colour == kColourDefaultText;
  if (!styled_ || plain) {
    std::fputs(text, stream_);
    std::fflush(stream_);
    return;
  }
  std::string codes;
  if (style.bold) codes += ";1";
  if (style.underline) codes += ";4";
  if (style.colour == kColourRed) {
    codes += ";31";
  } else if (style.colour == kColourDarkBlue) {
    codes += ";34";
  }
  // Line ends stay outside the colour, so a terminal never carries it over.
  const std::string all(text);
  const size_t body = all.find_last_not_of('\n') == std::string::npos
                          ? 0
                          : all.find_last_not_of('\n') + 1;
  if (body > 0) std::fprintf(stream_, "\033[%sm%s\033[0m", codes.c_str() + 1, all.substr(0, body).c_str());
  std::fputs(all.c_str() + body, stream_);
  std::fflush(stream_);
}
