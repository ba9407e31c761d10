// Layout of a difference file: header fields and offsets, and the areas after the header.
//
// Shared by the applier and the encoder. All multi-byte header fields are
// unsigned little-endian; sizes, positions and counts are 32-bit.
#pragma once

#include <cstdint>

namespace difference_format {

// "DIFF".
inline constexpr uint8_t kSignature[4] = {0x44, 0x49, 0x46, 0x46};
// The header this layout writes and the least the applier accepts.
inline constexpr uint32_t kHeaderLength = 75;
// A difference shorter than this is damaged before anything else is looked at.
inline constexpr uint32_t kMinimumLength = 16;
// HeaderCrc covers the bytes from here up to HeaderLength.
inline constexpr uint32_t kHeaderCrcStart = 8;
inline constexpr uint8_t kFormatVersion = 1;

// Offsets of the header fields.
inline constexpr uint32_t kSignatureAt = 0;
inline constexpr uint32_t kHeaderCrcAt = 4;
inline constexpr uint32_t kHeaderLengthAt = 8;
inline constexpr uint32_t kTotalLengthAt = 12;
inline constexpr uint32_t kFormatVersionAt = 16;
inline constexpr uint32_t kSourceSizeAt = 17;
inline constexpr uint32_t kSourceCrcAt = 21;
inline constexpr uint32_t kSourceAttributesAt = 25;
inline constexpr uint32_t kSourceStampAt = 29;
inline constexpr uint32_t kSourceReservedAt = 33;  // 2 bytes, zero
inline constexpr uint32_t kResultSizeAt = 35;
inline constexpr uint32_t kResultCrcAt = 39;
inline constexpr uint32_t kResultAttributesAt = 43;
inline constexpr uint32_t kResultStampAt = 47;
inline constexpr uint32_t kResultReservedAt = 51;  // 2 bytes, zero
inline constexpr uint32_t kBlockCountAt = 53;
inline constexpr uint32_t kCopyBlockCountAt = 57;
inline constexpr uint32_t kSelectorBytesAt = 61;
inline constexpr uint32_t kNibbleBytesAt = 65;
inline constexpr uint32_t kLiteralOffsetAt = 69;
inline constexpr uint32_t kExtraLengthAt = 73;  // 2 bytes

// The fixed header fields. Stamps are DOS time in the low 16 bits and DOS
// date in the high 16 bits. The applier reads only the fields it needs; the
// others are informational.
struct DifferenceHeader {
  uint32_t headerCrc = 0;
  uint32_t headerLength = kHeaderLength;
  uint32_t totalLength = 0;
  uint8_t formatVersion = kFormatVersion;
  uint32_t sourceSize = 0;
  uint32_t sourceCrc = 0;
  uint32_t sourceAttributes = 0;
  uint32_t sourceStamp = 0;
  uint32_t resultSize = 0;
  uint32_t resultCrc = 0;
  uint32_t resultAttributes = 0;
  uint32_t resultStamp = 0;
  uint32_t blockCount = 0;       // N
  uint32_t copyBlockCount = 0;   // C; the other N - C blocks are literal
  uint32_t selectorBytes = 0;
  uint32_t nibbleBytes = 0;
  uint32_t literalOffset = 0;    // counted from the first byte of the difference
  uint16_t extraLength = 0;      // bytes skipped between the header and the areas
};

// Reads the fixed fields from the first kHeaderLength bytes of `bytes`.
[[nodiscard]] DifferenceHeader ReadDifferenceHeader(const uint8_t* bytes);

// Writes the signature and every field of `header` (HeaderCrc as given) into
// the first kHeaderLength bytes of `bytes`.
void WriteDifferenceHeader(const DifferenceHeader& header, uint8_t* bytes);

// CRC-32 (zlib's, started from 0) of bytes kHeaderCrcStart up to
// `headerLength`, which must be at least kHeaderCrcStart.
[[nodiscard]] uint32_t ComputeHeaderCrc(const uint8_t* difference, uint32_t headerLength);

// Bytes that hold `bits` bits: (bits + 7) div 8.
[[nodiscard]] constexpr uint64_t BytesForBits(uint64_t bits) { return (bits + 7) / 8; }

// The areas after the header, in the order in which they follow one another
// without gaps from HeaderLength + ExtraLength on. With C copy blocks:
//   flag bits      B(C + 1) bytes   one bit per block not after a literal block
//   selector bits  SelectorBytes    one bit per value and per patch piece
//   sign bits      B(C)             bit i: copy block i's offset is negative
//   anchor bits    B(C)             bit i: the offset is from the previous copy
//                                   block's source position, not the output
//   width codes    B(2C)            bits 2i, 2i+1: offset width minus one
//   piece bits     B(C)             bit i: copy block i carries patch pieces
//   nibble area    NibbleBytes      piece lengths as nibble numbers
//   value bytes    up to LiteralOffset
//   literal bytes  LiteralOffset to the end of the difference
enum class Area : uint8_t {
  kFlagBits,
  kSelectorBits,
  kSignBits,
  kAnchorBits,
  kWidthCodes,
  kPieceBits,
  kNibbles,
  kValueBytes,
  kLiteralBytes,
};
inline constexpr int kAreaCount = 9;

// One area as a byte range of the difference. 64-bit, so that no header
// value can make the arithmetic wrap.
struct AreaSpan {
  uint64_t offset = 0;
  uint64_t length = 0;
};

struct AreaLayout {
  AreaSpan areas[kAreaCount];
  [[nodiscard]] const AreaSpan& operator[](Area area) const { return areas[static_cast<int>(area)]; }
};

// Where each area lies for `header`, as the format places it. An area may
// reach past the end of the difference data, and the value area may have a
// negative length (reported as length 0 with `valueAreaInverted` set): the
// reader decides what to do with such data.
struct LocatedAreas {
  AreaLayout layout;
  bool valueAreaInverted = false;
};
[[nodiscard]] LocatedAreas LocateAreas(const DifferenceHeader& header, uint64_t differenceLength);

}  // namespace difference_format
