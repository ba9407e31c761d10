// Locale comparison, upper-casing, environment expansion, full paths and
// printf-style formatting, as the text buffer needs them.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace platform {

// Locale comparison of exactly `lengthA` and `lengthB` bytes in the user's
// default locale. Returns 1 (less), 2 (equal) or 3 (greater), 0 on failure.
[[nodiscard]] int CompareLocaleText(const char* a, int32_t lengthA, const char* b, int32_t lengthB,
                                    bool ignoreCase);

// Upper-cases `count` bytes in place with the system's character tables.
void UpperCaseText(char* text, uint32_t count);

// Expands %NAME% references from the process environment into `out`.
// Returns the size the result needs including its terminator (the result is
// complete only when that is <= capacity), or 0 on failure. References to
// undefined variables stay as written.
[[nodiscard]] uint32_t ExpandEnvironmentText(const char* text, char* out, uint32_t capacity);

// Writes the absolute form of `path` (relative paths taken against the current
// folder, "." and ".." folded) into `out`. Returns its length without the
// terminator when it fits, the size needed including the terminator when it
// does not, and 0 on failure.
[[nodiscard]] uint32_t FullPathText(const char* path, char* out, uint32_t capacity);

// Size of the formatter's output area: it never produces more than 1023
// characters plus the terminator.
inline constexpr int kFormatLimit = 1024;

// printf-style formatting (%s, %i, %u, %d, %x, %c, widths and zero padding; no
// floating point) into `out`, which must hold kFormatLimit bytes. Returns the
// number of characters written, without the terminator.
int FormatTextV(char* out, const char* format, va_list args);

}  // namespace platform
