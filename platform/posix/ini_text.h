// INI text in memory, read the way the Windows private-profile reader reads a
// file. The Linux INI file service is built on it; the fuzz target calls it.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// The text ends at its first NUL byte or at its end; a UTF-8 byte-order mark
// at its start is passed over. Lines end at CR or LF. A line whose first
// non-blank character is '[' and that holds a later ']' names a section (the
// characters between the '[' and the last ']'); any other non-blank line is a
// key: the text before its first '=' with blanks trimmed, and the text after
// it with blanks trimmed as the value (a line without '=' is a key without a
// value). Names compare ignoring ASCII case. A key is looked up in the first
// section of its name only, and the first occurrence there wins.

// As GetPrivateProfileStringA; see platform/ini_file.h.
uint32_t IniTextValue(std::string_view text, const char* section, const char* key,
                      const char* defaultText, char* out, uint32_t capacity);

// As GetPrivateProfileIntA.
uint32_t IniIntValue(std::string_view text, const char* section, const char* key,
                     int32_t defaultValue);

// As GetPrivateProfileSectionNamesA.
uint32_t IniSectionNames(std::string_view text, char* out, uint32_t capacity);

// The integer reading of GetPrivateProfileIntA: leading characters up to the
// space skipped, '+' or '-', then "0x", "0o" or "0b" for base 16, 8 or 2
// (decimal otherwise), digits up to the first character that is not one;
// arithmetic wraps at 32 bits.
uint32_t ParseProfileInteger(const char* text);

}  // namespace platform
