// Code page conversions on Linux: names are UTF-8, converted with iconv.
#include "platform/code_page.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <vector>

namespace platform {

namespace {

bool Convert(std::string_view text, const char* from, const char* to, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::vector<char> input(text.begin(), text.end());
  char* in = input.data();
  size_t inLeft = input.size();
  bool ok = true;
  while (inLeft > 0) {
    char chunk[1024];
    char* cursor = chunk;
    size_t outLeft = sizeof chunk;
    const size_t result = iconv(converter, &in, &inLeft, &cursor, &outLeft);
    out.append(chunk, static_cast<size_t>(cursor - chunk));
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
  }
  iconv_close(converter);
  return ok;
}

std::string CodePageName(uint32_t codePage) {
  if (codePage == 65001) return "UTF-8";
  return "CP" + std::to_string(codePage);
}

}  // namespace

void OemToAnsiText(const char* source, char* out, uint32_t count) {
  if (count != 0) std::memmove(out, source, count);
}

bool FileSystemNameToCodePage(std::string_view name, uint32_t codePage, std::string& out) {
  return Convert(name, "UTF-8", CodePageName(codePage).c_str(), out);
}

bool CodePageToFileSystemName(std::string_view text, uint32_t codePage, std::string& out) {
  return Convert(text, CodePageName(codePage).c_str(), "UTF-8", out);
}

}  // namespace platform
