// Writes the difference file that turns an old file into a new one.
//
// The new file is described as copy blocks taken from the old file, found as
// long approximate matches through a suffix array of the old file, and literal
// blocks for what the old file does not hold. Bytes that differ inside a copy
// block become patch pieces: a new piece carries its bytes, a repeat piece
// re-applies the byte-wise change of the piece before it (addresses that moved
// by the same amount). Offsets are relative or anchored, whichever is shorter.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Informational facts about a file that the difference header carries.
struct DifferenceFileFacts {
  uint32_t attributes = 0;  // the Windows file attribute word
  uint32_t dosStamp = 0;    // DOS time in the low 16 bits, DOS date in the high 16 bits
};

// What the encoder produced, for reports and tuning.
struct DifferenceStatistics {
  uint32_t blockCount = 0;
  uint32_t copyBlockCount = 0;
  uint32_t newPieceCount = 0;
  uint32_t repeatPieceCount = 0;
  uint64_t copiedBytes = 0;        // old-file bytes taken unchanged
  uint64_t literalBlockBytes = 0;  // bytes of literal blocks
  uint64_t newPieceBytes = 0;      // bytes carried by new pieces
  uint64_t repeatPieceBytes = 0;   // bytes produced by repeat pieces
  uint32_t selectorBytes = 0;
  uint32_t nibbleBytes = 0;
  uint32_t valueBytes = 0;
};

// Knobs of the match search and the piece planner. The defaults were chosen
// by measuring deflated sizes over pairs of real executables.
struct EncoderTuning {
  // A match elsewhere replaces the current alignment when it is longer than
  // the bytes the alignment still matches over the same span by more than this.
  uint32_t switchMargin = 8;
  // Score of extending an alignment, in half bytes: each matching byte earns
  // 2 (a literal saved), each differing byte costs mismatchPenalty (piece
  // bytes compress worse than literal runs) and each run of differing bytes
  // costs runPenalty (its gap and length).
  uint32_t runPenalty = 2;
  uint32_t mismatchPenalty = 1;
  // Runs of differing bytes at most this many matching bytes apart share one
  // new piece.
  uint32_t mergeGap = 0;
};

enum class EncodeStatus : uint8_t {
  kEncoded,
  kTooLarge,  // a file or the difference would not fit the 32-bit fields
};

// Encodes the difference from `oldBytes` to `newBytes` into `difference`
// (replaced): the full header with its CRC-32, then the nine areas, each
// exactly as long as the decoder reads it.
[[nodiscard]] EncodeStatus EncodeDifference(std::span<const uint8_t> oldBytes,
                                            std::span<const uint8_t> newBytes,
                                            const DifferenceFileFacts& oldFacts,
                                            const DifferenceFileFacts& newFacts,
                                            std::vector<uint8_t>& difference,
                                            DifferenceStatistics* statistics = nullptr,
                                            const EncoderTuning& tuning = EncoderTuning{});

// Size of `bytes` after raw DEFLATE at level 9, as a package stores an entry.
[[nodiscard]] uint64_t DeflatedSize(std::span<const uint8_t> bytes);
