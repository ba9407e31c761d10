// Code page conversions on Windows: through UTF-16 with the system's tables.
#include "platform/code_page.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {

bool Convert(std::string_view text, UINT from, UINT to, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  const int inLength = static_cast<int>(text.size());
  const int wideLength =
      MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), inLength, nullptr, 0);
  if (wideLength <= 0) return false;
  std::vector<wchar_t> wide(static_cast<size_t>(wideLength));
  MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), inLength, wide.data(), wideLength);
  BOOL lossy = FALSE;
  // UTF-8 takes no default character.
  BOOL* lossyFlag = to == CP_UTF8 ? nullptr : &lossy;
  const int outLength =
      WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, lossyFlag);
  if (outLength <= 0 || lossy) return false;
  out.resize(static_cast<size_t>(outLength));
  WideCharToMultiByte(to, 0, wide.data(), wideLength, out.data(), outLength, nullptr, lossyFlag);
  return !lossy;
}

}  // namespace

void OemToAnsiText(const char* source, char* out, uint32_t count) {
  if (count != 0) OemToCharBuffA(source, out, count);
}

bool FileSystemNameToCodePage(std::string_view name, uint32_t codePage, std::string& out) {
  return Convert(name, CP_ACP, codePage, out);
}

bool CodePageToFileSystemName(std::string_view text, uint32_t codePage, std::string& out) {
  return Convert(text, codePage, CP_ACP, out);
}

}  // namespace platform
