// Reading and writing the difference header, and placing the areas that follow it.
#include "engine/difference_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace difference_format {
namespace {

uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void Store32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}
void Store16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

DifferenceHeader ReadDifferenceHeader(const uint8_t* bytes) {
  DifferenceHeader header;
  header.headerCrc = Load32(bytes + kHeaderCrcAt);
  header.headerLength = Load32(bytes + kHeaderLengthAt);
  header.totalLength = Load32(bytes + kTotalLengthAt);
  header.formatVersion = bytes[kFormatVersionAt];
  header.sourceSize = Load32(bytes + kSourceSizeAt);
  header.sourceCrc = Load32(bytes + kSourceCrcAt);
  header.sourceAttributes = Load32(bytes + kSourceAttributesAt);
  header.sourceStamp = Load32(bytes + kSourceStampAt);
  header.resultSize = Load32(bytes + kResultSizeAt);
  header.resultCrc = Load32(bytes + kResultCrcAt);
  header.resultAttributes = Load32(bytes + kResultAttributesAt);
  header.resultStamp = Load32(bytes + kResultStampAt);
  header.blockCount = Load32(bytes + kBlockCountAt);
  header.copyBlockCount = Load32(bytes + kCopyBlockCountAt);
  header.selectorBytes = Load32(bytes + kSelectorBytesAt);
  header.nibbleBytes = Load32(bytes + kNibbleBytesAt);
  header.literalOffset = Load32(bytes + kLiteralOffsetAt);
  header.extraLength = Load16(bytes + kExtraLengthAt);
  return header;
}

void WriteDifferenceHeader(const DifferenceHeader& header, uint8_t* bytes) {
  std::memset(bytes, 0, kHeaderLength);
  std::memcpy(bytes + kSignatureAt, kSignature, sizeof kSignature);
  Store32(bytes + kHeaderCrcAt, header.headerCrc);
  Store32(bytes + kHeaderLengthAt, header.headerLength);
  Store32(bytes + kTotalLengthAt, header.totalLength);
  bytes[kFormatVersionAt] = header.formatVersion;
  Store32(bytes + kSourceSizeAt, header.sourceSize);
  Store32(bytes + kSourceCrcAt, header.sourceCrc);
  Store32(bytes + kSourceAttributesAt, header.sourceAttributes);
  Store32(bytes + kSourceStampAt, header.sourceStamp);
  Store32(bytes + kResultSizeAt, header.resultSize);
  Store32(bytes + kResultCrcAt, header.resultCrc);
  Store32(bytes + kResultAttributesAt, header.resultAttributes);
  Store32(bytes + kResultStampAt, header.resultStamp);
  Store32(bytes + kBlockCountAt, header.blockCount);
  Store32(bytes + kCopyBlockCountAt, header.copyBlockCount);
  Store32(bytes + kSelectorBytesAt, header.selectorBytes);
  Store32(bytes + kNibbleBytesAt, header.nibbleBytes);
  Store32(bytes + kLiteralOffsetAt, header.literalOffset);
  Store16(bytes + kExtraLengthAt, header.extraLength);
}

uint32_t ComputeHeaderCrc(const uint8_t* difference, uint32_t headerLength) {
  return static_cast<uint32_t>(
      crc32(0, difference + kHeaderCrcStart, headerLength - kHeaderCrcStart));
}

LocatedAreas LocateAreas(const DifferenceHeader& header, uint64_t differenceLength) {
  const uint64_t copies = header.copyBlockCount;
  const uint64_t lengths[] = {
      BytesForBits(copies + 1), header.selectorBytes, BytesForBits(copies),
      BytesForBits(copies),     BytesForBits(2 * copies), BytesForBits(copies),
      header.nibbleBytes,
  };
  LocatedAreas located;
  uint64_t at = uint64_t{header.headerLength} + header.extraLength;
  int index = 0;
  for (uint64_t length : lengths) {
    located.layout.areas[index++] = AreaSpan{at, length};
    at += length;
  }
  const uint64_t literalOffset = header.literalOffset;
  if (literalOffset >= at) {
    located.layout.areas[index++] = AreaSpan{at, literalOffset - at};
  } else {
    located.layout.areas[index++] = AreaSpan{at, 0};
    located.valueAreaInverted = true;
  }
  located.layout.areas[index] =
      AreaSpan{literalOffset, differenceLength > literalOffset ? differenceLength - literalOffset : 0};
  return located;
}

}  // namespace difference_format
