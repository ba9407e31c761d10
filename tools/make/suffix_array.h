// Suffix arrays of byte strings, built by induced sorting in linear time.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Largest text BuildSuffixArray accepts: positions are 32-bit signed.
inline constexpr uint64_t kMaxSuffixArrayText = 0x7FFFFFF0;

// The starting positions of all suffixes of `text` in lexicographic order; a
// suffix that is a prefix of another sorts first. `text` must not be longer
// than kMaxSuffixArrayText. Uses 4 bytes per text byte for the result plus at
// most 2 bytes per text byte while building.
[[nodiscard]] std::vector<int32_t> BuildSuffixArray(std::span<const uint8_t> text);
