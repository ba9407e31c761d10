// Walks any bytes as a deletion list, as the step count does: the walk must
// stay inside the text, hand over exactly the trimmed non-blank lines, and
// leave the text as it was.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/list_walker.h"
#include "engine/run_context.h"

namespace {

class NoQuestions final : public QuestionHost {
 public:
  int ShowMessageBox(const char*, const char*, uint32_t) override { std::abort(); }
};

bool IsBlankByte(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

// The names the list holds, worked out independently of the walker.
std::vector<std::string> ExpectedNames(const std::string& text) {
  std::vector<std::string> names;
  size_t at = 0;
  const size_t end = text.find('\0') == std::string::npos ? text.size() : text.find('\0');
  while (at < end) {
    while (at < end && IsBlankByte(text[at])) ++at;
    size_t lineEnd = at;
    while (lineEnd < end && text[lineEnd] != '\r' && text[lineEnd] != '\n') ++lineEnd;
    size_t last = lineEnd;
    while (last > at && IsBlankByte(text[last - 1])) --last;
    if (last > at) names.push_back(text.substr(at, last - at));
    at = lineEnd;
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NoQuestions host;
  static RunContext context(host);
  // The list as settings reading keeps it: the bytes and a NUL after them.
  std::vector<char> list(data, data + size);
  list.push_back(0);
  const std::vector<char> before = list;

  std::vector<std::string> names;
  const bool walked = WalkList(context, list.data(), [&names](const char* name) {
    names.emplace_back(name);
    return true;
  });
  if (!walked || list != before) std::abort();
  if (names != ExpectedNames(std::string(before.data(), size))) std::abort();
  if (CountListLines(context, list.data()) != names.size()) std::abort();
  return 0;
}
