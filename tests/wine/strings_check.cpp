// Checks under Wine that the real string-table path (LoadStringA through the
// message catalogue) yields every text in code page 936, byte for byte.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "message_keys.h"
#include "startup/message_catalogue.h"

int main() {
  if (GetACP() != 936) {
    std::printf("strings_check: the ANSI code page is %u, not 936 (run with LC_ALL=zh_CN.UTF-8)\n", GetACP());
    return 1;
  }
  int failures = 0;
  for (int id = 0; id < kStringCount; ++id) {
    const StringTableRow& row = kStringTableRows[id];
    MessageKey key = (static_cast<MessageKey>(row.group) << 16) | row.number;
    const char* text = LookupText(key);
    const char* expected = kStringTableCp936[id];
    if (text == nullptr || std::strcmp(text, expected) != 0) {
      std::printf("strings_check: id %d (group %u, number %u) differs from its code page 936 text\n", id,
                  row.group, row.number);
      ++failures;
    }
  }
  // A key of group 13 or above answers nothing and does not end the process.
  if (LookupText(0x000D0001u) != nullptr) {
    std::printf("strings_check: a group 13 key answered a text\n");
    ++failures;
  }
  std::printf("strings_check: %d of %d texts match\n", kStringCount - failures, kStringCount);
  return failures == 0 ? 0 : 1;
}
