// INI files on Windows: the system's private-profile reader itself.
#include "platform/ini_file.h"

#include <windows.h>

namespace platform {

uint32_t ReadIniText(const char* file, const char* section, const char* key,
                     const char* defaultText, char* out, uint32_t capacity) {
  return GetPrivateProfileStringA(section, key, defaultText != nullptr ? defaultText : "", out,
                                  capacity, file);
}

uint32_t ReadIniInt(const char* file, const char* section, const char* key, int32_t defaultValue) {
  return GetPrivateProfileIntA(section, key, defaultValue, file);
}

uint32_t ReadIniSectionNames(const char* file, char* out, uint32_t capacity) {
  return GetPrivateProfileSectionNamesA(out, capacity, file);
}

}  // namespace platform
