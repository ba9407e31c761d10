// Reading INI text in memory as the Windows private-profile reader does.
#include "platform/posix/ini_text.h"

#include <cstring>

namespace platform {

namespace {

bool IsIniBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualsNoCase(std::string_view a, const char* b) {
  const size_t length = std::strlen(b);
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsIniBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsIniBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The text up to its first NUL, without a UTF-8 byte-order mark.
std::string_view Usable(std::string_view text) {
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return text;
}

struct IniLine {
  bool isSection = false;
  std::string_view name;   // section or key name
  std::string_view value;  // a key's value
  bool hasValue = false;
};

// Calls visit(const IniLine&) for every section and key line in order until
// it answers false.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
  text = Usable(text);
  size_t position = 0;
  while (position < text.size()) {
    size_t end = position;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    const std::string_view line = TrimBlanks(text.substr(position, end - position));
    position = end + 1;
    if (line.empty()) continue;

    IniLine parsed;
    const size_t close = line.rfind(']');
    if (line.front() == '[' && close != std::string_view::npos && close > 0) {
      parsed.isSection = true;
      parsed.name = line.substr(1, close - 1);
    } else {
      const size_t equals = line.find('=');
      if (equals == std::string_view::npos) {
        parsed.name = line;
      } else {
        parsed.name = TrimBlanks(line.substr(0, equals));
        parsed.value = TrimBlanks(line.substr(equals + 1));
        parsed.hasValue = true;
      }
    }
    if (!visit(parsed)) return;
  }
}

// The value of `key` in the first section named `section`; false when the
// key is not there.
bool FindValue(std::string_view text, const char* section, const char* key,
               std::string_view* value) {
  enum class Where { kBefore, kInside, kAfter } where = Where::kBefore;
  bool found = false;
  ForEachLine(text, [&](const IniLine& line) {
    if (line.isSection) {
      if (where == Where::kInside) {
        where = Where::kAfter;
        return false;
      }
      if (EqualsNoCase(line.name, section)) where = Where::kInside;
      return true;
    }
    if (where == Where::kInside && EqualsNoCase(line.name, key)) {
      *value = line.hasValue ? line.value : std::string_view();
      found = true;
      return false;
    }
    return true;
  });
  return found;
}

// One pair of enclosing quotes is dropped, as the system does.
std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

uint32_t CopyCut(std::string_view value, char* out, uint32_t capacity) {
  if (capacity == 0) return 0;
  const size_t count = value.size() < capacity - 1 ? value.size() : capacity - 1;
  if (count != 0) std::memcpy(out, value.data(), count);
  out[count] = 0;
  return static_cast<uint32_t>(count);
}

}  // namespace

uint32_t IniTextValue(std::string_view text, const char* section, const char* key,
                      const char* defaultText, char* out, uint32_t capacity) {
  std::string_view value;
  if (section == nullptr || key == nullptr || !FindValue(text, section, key, &value)) {
    // The system drops blanks at the end of the default.
    value = defaultText != nullptr ? std::string_view(defaultText) : std::string_view();
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  } else {
    value = StripQuotes(value);
  }
  return CopyCut(value, out, capacity);
}

uint32_t IniIntValue(std::string_view text, const char* section, const char* key,
                     int32_t defaultValue) {
  // The system reads the value into 30 characters before converting it.
  char buffer[30];
  if (IniTextValue(text, section, key, "", buffer, sizeof buffer) == 0) {
    return static_cast<uint32_t>(defaultValue);
  }
  return ParseProfileInteger(buffer);
}

uint32_t IniSectionNames(std::string_view text, char* out, uint32_t capacity) {
  if (capacity == 0) return 0;
  if (capacity == 1) {
    out[0] = 0;
    return 0;
  }
  char* cursor = out;
  uint32_t room = capacity - 1;  // the final NUL always has its place
  bool cut = false;
  ForEachLine(text, [&](const IniLine& line) {
    if (!line.isSection || line.name.empty()) return true;
    const uint32_t needed = static_cast<uint32_t>(line.name.size()) + 1;
    if (needed > room) {
      // The last name is cut to fit and the list still ends in two NULs.
      if (room > 0) {
        std::memcpy(cursor, line.name.data(), room - 1);
        cursor += room - 1;
        *cursor++ = 0;
      }
      cut = true;
      return false;
    }
    std::memcpy(cursor, line.name.data(), needed - 1);
    cursor[needed - 1] = 0;
    cursor += needed;
    room -= needed;
    return true;
  });
  *cursor = 0;
  if (cut) return capacity - 2;
  return static_cast<uint32_t>(cursor - out);
}

uint32_t ParseProfileInteger(const char* text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0 && *p <= ' ') ++p;
  bool negative = false;
  if (*p == '+') {
    ++p;
  } else if (*p == '-') {
    negative = true;
    ++p;
  }
  uint32_t base = 10;
  if (p[0] == '0') {
    if (p[1] == 'x') {
      base = 16;
      p += 2;
    } else if (p[1] == 'o') {
      base = 8;
      p += 2;
    } else if (p[1] == 'b') {
      base = 2;
      p += 2;
    }
  }
  uint32_t total = 0;
  for (; *p != 0; ++p) {
    uint32_t digit;
    if (*p >= '0' && *p <= '9') {
      digit = *p - '0';
    } else if (*p >= 'a' && *p <= 'z') {
      digit = *p - 'a' + 10;
    } else if (*p >= 'A' && *p <= 'Z') {
      digit = *p - 'A' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    total = total * base + digit;
  }
  return negative ? 0u - total : total;
}

}  // namespace platform
