// Reads any bytes as INI text with the native private-profile reader: the
// keys and sections the settings ask for, small and large areas, section
// names and integers. Nothing may read or write outside the input and the
// areas, every text must come back terminated within its area, and a value
// must be found the same whatever the area's size.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/posix/ini_text.h"

namespace {

struct Query {
  const char* section;
  const char* key;
};

constexpr Query kQueries[] = {
    {"PRODUCT", "ProductName"}, {"INSTALL", "ApplyToSrc"}, {"WIZARD", "ShowNotes"},
    {"SRC_REGISTRY", "RootKey"}, {"SRC_INIFILE", "File"},  {"SRC_FIXPATH", "Path"},
    {"BACKUP", "BackupPath"},   {"LOG", "LogFileName"},    {"", ""},
    {"a", "b"},
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static char area[4096];
  static char small[7];
  for (const Query& query : kQueries) {
    const uint32_t length = platform::IniTextValue(text, query.section, query.key, "dflt ", area,
                                                   sizeof area);
    Check(length < sizeof area && area[length] == 0);
    const uint32_t cut = platform::IniTextValue(text, query.section, query.key, "dflt ", small,
                                                sizeof small);
    Check(cut < sizeof small && small[cut] == 0);
    Check(cut == (length < sizeof small - 1 ? length : sizeof small - 1));
    Check(std::memcmp(area, small, cut) == 0);
    static_cast<void>(platform::IniIntValue(text, query.section, query.key, 1));
  }
  for (uint32_t capacity : {0u, 1u, 2u, 9u, 4096u}) {
    const uint32_t length = platform::IniSectionNames(text, area, capacity);
    if (capacity >= 2) Check(length <= capacity - 1 && area[length] == 0);
    if (capacity < 2) Check(length == 0);
  }
  static char number[64];
  const size_t count = size < sizeof number - 1 ? size : sizeof number - 1;
  std::memcpy(number, data, count);
  number[count] = 0;
  static_cast<void>(platform::ParseProfileInteger(number));
  return 0;
}
