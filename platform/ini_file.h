// Reading INI files the way the system's private-profile reader does.
#pragma once

#include <cstdint>

namespace platform {

// Section and key names match without regard to case; a value is the text
// after the first '=' of its line with blanks trimmed (and one pair of
// enclosing quotes dropped); the first occurrence of a key in its section
// wins; a key is switched off by writing anything before its name, as there
// is no comment syntax. `file` without a folder is looked up where the system
// looks (the Windows folder on Windows, the current folder elsewhere).

// GetPrivateProfileStringA: copies the value of `key` in `section` of `file`,
// or `defaultText` (null for empty) when there is none, into `out`, cut to
// capacity - 1 characters and NUL-terminated. Returns the number of
// characters copied, without the terminator.
uint32_t ReadIniText(const char* file, const char* section, const char* key,
                     const char* defaultText, char* out, uint32_t capacity);

// GetPrivateProfileIntA: the value of `key` read as an integer (leading
// blanks, an optional sign, then decimal digits or a 0x, 0o or 0b prefix;
// reading stops at the first other character), or `defaultValue` when the key
// is missing or its value is empty.
uint32_t ReadIniInt(const char* file, const char* section, const char* key, int32_t defaultValue);

// GetPrivateProfileSectionNamesA: every section name in file order, each
// followed by NUL, the list ended by one more NUL; cut to fit `capacity`.
// Returns the number of characters copied without the final NUL (0 for no
// sections or no file).
uint32_t ReadIniSectionNames(const char* file, char* out, uint32_t capacity);

}  // namespace platform
