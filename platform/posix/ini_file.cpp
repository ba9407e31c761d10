// INI files on Linux: the file is read whole and parsed as the Windows
// private-profile reader would.
#include "platform/ini_file.h"

#include <cstdio>
#include <string>

#include "platform/posix/ini_text.h"
#include "platform/posix/native_path.h"

namespace platform {

namespace {

// The file's bytes; empty when it cannot be read (a missing file reads as an
// empty one, as the system treats it).
std::string ReadWholeFile(const char* path) {
  std::string bytes;
  if (path == nullptr) return bytes;
  std::FILE* file = std::fopen(NativePath(path).c_str(), "rb");
  if (file == nullptr) return bytes;
  char chunk[65536];
  size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, count);
  std::fclose(file);
  return bytes;
}

}  // namespace

uint32_t ReadIniText(const char* file, const char* section, const char* key,
                     const char* defaultText, char* out, uint32_t capacity) {
  return IniTextValue(ReadWholeFile(file), section, key, defaultText, out, capacity);
}

uint32_t ReadIniInt(const char* file, const char* section, const char* key, int32_t defaultValue) {
  return IniIntValue(ReadWholeFile(file), section, key, defaultValue);
}

uint32_t ReadIniSectionNames(const char* file, char* out, uint32_t capacity) {
  return IniSectionNames(ReadWholeFile(file), out, capacity);
}

}  // namespace platform
