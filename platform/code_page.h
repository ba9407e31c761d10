// Conversions between code pages: package entry names and the author's
// tool's file names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Converts `count` bytes of OEM code page text into the ANSI code page
// (OemToCharBuffA); `out` receives exactly `count` bytes. Elsewhere, where
// names are taken as they are, the bytes are copied.
void OemToAnsiText(const char* source, char* out, uint32_t count);

// A name as the file system gives it (the ANSI code page on Windows, UTF-8
// elsewhere) converted to the code page `codePage` (936 for the simplified
// Chinese one). False when a character has no form in that code page.
[[nodiscard]] bool FileSystemNameToCodePage(std::string_view name, uint32_t codePage,
                                            std::string& out);

// The reverse: text in `codePage` converted for the file system and the
// terminal. False when it is not valid text of that code page.
[[nodiscard]] bool CodePageToFileSystemName(std::string_view text, uint32_t codePage,
                                            std::string& out);

}  // namespace platform
