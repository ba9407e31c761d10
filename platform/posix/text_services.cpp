// Text services for the native build: byte-wise comparison and ASCII case,
// %NAME% expansion from the environment, absolute paths against the current
// folder, and printf-style formatting.
#include "platform/text_services.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace platform {

namespace {

unsigned char FoldCase(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Copies `text` with its terminator into `out` when it fits; returns the size
// it needs including the terminator either way.
uint32_t CopyIfFits(const std::string& text, char* out, uint32_t capacity) {
  const uint32_t needed = static_cast<uint32_t>(text.size()) + 1;
  if (out != nullptr && needed <= capacity) std::memcpy(out, text.c_str(), needed);
  return needed;
}

}  // namespace

int CompareLocaleText(const char* a, int32_t lengthA, const char* b, int32_t lengthB,
                      bool ignoreCase) {
  if (lengthA < 0 || lengthB < 0 || (a == nullptr && lengthA > 0) ||
      (b == nullptr && lengthB > 0)) {
    errno = EINVAL;
    return 0;
  }
  const int32_t common = lengthA < lengthB ? lengthA : lengthB;
  for (int32_t i = 0; i < common; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (ignoreCase) {
      x = FoldCase(x);
      y = FoldCase(y);
    }
    if (x != y) return x < y ? 1 : 3;
  }
  if (lengthA == lengthB) return 2;
  return lengthA < lengthB ? 1 : 3;
}

void UpperCaseText(char* text, uint32_t count) {
  if (text == nullptr) return;
  for (uint32_t i = 0; i < count; ++i) {
    text[i] = static_cast<char>(FoldCase(static_cast<unsigned char>(text[i])));
  }
}

uint32_t ExpandEnvironmentText(const char* text, char* out, uint32_t capacity) {
  if (text == nullptr) text = "";
  // As the Windows service does it: %NAME% with a defined NAME is replaced by
  // its value; an undefined name (the empty one of "%%" included) is copied
  // with both percent signs and scanning goes on after them; a '%' without a
  // closing one is copied as it is.
  std::string result;
  const char* p = text;
  while (*p != 0) {
    if (*p != '%') {
      const char* next = std::strchr(p, '%');
      const size_t run = next != nullptr ? static_cast<size_t>(next - p) : std::strlen(p);
      result.append(p, run);
      p += run;
      continue;
    }
    const char* close = std::strchr(p + 1, '%');
    if (close == nullptr) {
      result.append(p);
      break;
    }
    const std::string name(p + 1, close);
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (value != nullptr) {
      result.append(value);
    } else {
      result.append(p, close + 1);
    }
    p = close + 1;
  }
  return CopyIfFits(result, out, capacity);
}

uint32_t FullPathText(const char* path, char* out, uint32_t capacity) {
  if (path == nullptr || *path == 0) {
    errno = EINVAL;
    return 0;
  }
  // Both separators count. A path that starts with one is absolute; anything
  // else, drive-like prefixes included, is taken against the current folder.
  std::vector<std::string> parts;
  auto addParts = [&parts](const char* text) {
    while (*text != 0) {
      while (IsSeparator(*text)) ++text;
      const char* start = text;
      while (*text != 0 && !IsSeparator(*text)) ++text;
      const std::string part(start, text);
      if (part.empty() || part == ".") continue;
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
        continue;
      }
      parts.push_back(part);
    }
  };
  if (!IsSeparator(path[0])) {
    std::vector<char> folder(4096);
    while (getcwd(folder.data(), folder.size()) == nullptr) {
      if (errno != ERANGE) return 0;
      folder.resize(folder.size() * 2);
    }
    addParts(folder.data());
  }
  addParts(path);

  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  // Keep a trailing separator the path was written with, as Windows does.
  if (result.empty() || IsSeparator(path[std::strlen(path) - 1])) result += '/';

  const uint32_t needed = CopyIfFits(result, out, capacity);
  return needed <= capacity && out != nullptr ? needed - 1 : needed;
}

int FormatTextV(char* out, const char* format, va_list args) {
  const int produced = std::vsnprintf(out, kFormatLimit, format, args);
  if (produced < 0) {
    out[0] = 0;
    return 0;
  }
  return produced < kFormatLimit ? produced : kFormatLimit - 1;
}

}  // namespace platform
