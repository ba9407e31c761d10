// Builds small difference files exactly as a test states them.
#include "tests/support/difference_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace difference_format;

namespace {

[[noreturn]] void Misuse(const char* what) {
  std::fprintf(stderr, "DifferenceBuilder: %s\n", what);
  std::abort();
}

ValueForm ShortestValueForm(uint32_t value) {
  if (value >= 1 && value <= 255) return ValueForm::kOneByte;
  if (value >= 256 && value <= 65535) return ValueForm::kTwoBytes;
  return value <= 0xFFFFFF ? ValueForm::kMarker3 : ValueForm::kMarker4;
}

NibbleForm ShortestNibbleForm(uint32_t value) {
  if (value >= 1 && value <= 15) return NibbleForm::kOneNibble;
  if (value >= 16 && value <= 255) return NibbleForm::kTwoNibbles;
  if (value >= 256 && value <= 65535) return NibbleForm::kTwoNibbleBytes;
  if (value >= 65536 && value <= 0xFFFFFF) return NibbleForm::kThreeNibbleBytes;
  return NibbleForm::kFourNibbleBytes;
}

int OffsetWidth(uint32_t magnitude) {
  if (magnitude <= 0xFF) return 1;
  if (magnitude <= 0xFFFF) return 2;
  return magnitude <= 0xFFFFFF ? 3 : 4;
}

void PutBits(const std::vector<bool>& bits, std::vector<uint8_t>& out, uint64_t byteCount) {
  if (bits.size() > byteCount * 8) Misuse("more bits than the area holds");
  const size_t start = out.size();
  out.resize(start + byteCount, 0);
  for (size_t k = 0; k < bits.size(); ++k)
    if (bits[k]) out[start + k / 8] |= static_cast<uint8_t>(1u << (k % 8));
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

uint32_t DifferenceCrc(const std::vector<uint8_t>& bytes) {
  return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

DifferenceBuilder& DifferenceBuilder::FlagBit(bool literal) {
  flagBits_.push_back(literal);
  return *this;
}

DifferenceBuilder& DifferenceBuilder::SelectorBit(bool set) {
  selectorBits_.push_back(set);
  return *this;
}

DifferenceBuilder& DifferenceBuilder::ValueBytes(const std::vector<uint8_t>& bytes) {
  valueBytes_.insert(valueBytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

DifferenceBuilder& DifferenceBuilder::Value(uint32_t value, ValueForm form) {
  if (form == ValueForm::kShortest) form = ShortestValueForm(value);
  switch (form) {
    case ValueForm::kOneByte:
      if (value < 1 || value > 255) Misuse("one-byte form holds 1 to 255");
      SelectorBit(false);
      valueBytes_.push_back(static_cast<uint8_t>(value));
      break;
    case ValueForm::kTwoBytes:
      if (value < 256 || value > 65535) Misuse("two-byte form holds 256 to 65535");
      SelectorBit(true);
      valueBytes_.push_back(static_cast<uint8_t>(value >> 8));
      valueBytes_.push_back(static_cast<uint8_t>(value));
      break;
    case ValueForm::kMarker3:
    case ValueForm::kMarker4: {
      const int count = form == ValueForm::kMarker3 ? 3 : 4;
      if (count == 3 && value > 0xFFFFFF) Misuse("three-byte marker form holds up to 2^24 - 1");
      SelectorBit(count == 4);
      valueBytes_.push_back(0);
      for (int i = 0; i < count; ++i) valueBytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
      break;
    }
    case ValueForm::kShortest:
      break;
  }
  return *this;
}

DifferenceBuilder& DifferenceBuilder::Nibble(uint8_t nibble) {
  nibbles_.push_back(nibble & 0x0F);
  return *this;
}

DifferenceBuilder& DifferenceBuilder::NibbleNumber(uint32_t value, NibbleForm form) {
  const auto nibbleByte = [this](uint32_t byte) {
    Nibble(static_cast<uint8_t>(byte & 0x0F));
    Nibble(static_cast<uint8_t>((byte >> 4) & 0x0F));
  };
  if (form == NibbleForm::kShortest) form = ShortestNibbleForm(value);
  switch (form) {
    case NibbleForm::kOneNibble:
      if (value < 1 || value > 15) Misuse("one nibble holds 1 to 15");
      Nibble(static_cast<uint8_t>(value));
      break;
    case NibbleForm::kTwoNibbles:
      if (value < 16 || value > 255) Misuse("two nibbles hold 16 to 255");
      Nibble(0).Nibble(static_cast<uint8_t>(value >> 4)).Nibble(static_cast<uint8_t>(value & 0x0F));
      break;
    case NibbleForm::kTwoNibbleBytes:
      if (value < 256 || value > 65535) Misuse("two nibble bytes hold 256 to 65535");
      Nibble(0).Nibble(0);
      nibbleByte(value >> 8);
      nibbleByte(value);
      break;
    case NibbleForm::kThreeNibbleBytes:
      if (value < 65536 || value > 0xFFFFFF) Misuse("three nibble bytes hold 65536 to 2^24 - 1");
      Nibble(0).Nibble(0);
      nibbleByte(0);
      nibbleByte(value >> 16);
      nibbleByte(value >> 8);
      nibbleByte(value);
      break;
    case NibbleForm::kFourNibbleBytes:
      Nibble(0).Nibble(0);
      nibbleByte(0);
      nibbleByte(0);
      for (int shift = 24; shift >= 0; shift -= 8) nibbleByte(value >> shift);
      break;
    case NibbleForm::kShortest:
      break;
  }
  return *this;
}

DifferenceBuilder& DifferenceBuilder::Literals(const std::vector<uint8_t>& bytes) {
  literalBytes_.insert(literalBytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

DifferenceBuilder& DifferenceBuilder::CopyBlockBits(bool negative, bool anchored, int widthCode,
                                                    bool patched) {
  if (widthCode < 0 || widthCode > 3) Misuse("width codes are 0 to 3");
  copyBlocks_.push_back(CopyBits{negative, anchored, patched, widthCode});
  return *this;
}

DifferenceBuilder& DifferenceBuilder::CountBlock() {
  ++blockCount_;
  return *this;
}

DifferenceBuilder& DifferenceBuilder::LiteralBlock(const std::vector<uint8_t>& bytes,
                                                   ValueForm lengthForm) {
  if (afterLiteral_) Misuse("two literal blocks in a row cannot be expressed");
  Value(static_cast<uint32_t>(bytes.size()), lengthForm);
  FlagBit(true);
  Literals(bytes);
  afterLiteral_ = true;
  return CountBlock();
}

DifferenceBuilder& DifferenceBuilder::CopyBlock(uint32_t length, CopyOffset offset,
                                                ValueForm lengthForm) {
  StartCopyBlock(length, offset, false, lengthForm);
  return CountBlock();
}

DifferenceBuilder& DifferenceBuilder::PatchedCopyBlock(uint32_t length, CopyOffset offset,
                                                       uint32_t pieceCount, ValueForm valueForm) {
  StartCopyBlock(length, offset, true, valueForm);
  Value(pieceCount, valueForm);
  return CountBlock();
}

void DifferenceBuilder::StartCopyBlock(uint32_t length, CopyOffset offset, bool patched,
                                       ValueForm lengthForm) {
  Value(length, lengthForm);
  if (!afterLiteral_) FlagBit(false);
  afterLiteral_ = false;
  const int width = offset.width != 0 ? offset.width : OffsetWidth(offset.magnitude);
  if (width < 1 || width > 4) Misuse("offsets are 1 to 4 bytes wide");
  CopyBlockBits(offset.negative, offset.anchored, width - 1, patched);
  for (int i = 0; i < width; ++i) valueBytes_.push_back(static_cast<uint8_t>(offset.magnitude >> (8 * i)));
}

DifferenceBuilder& DifferenceBuilder::NewPiece(uint32_t gap, const std::vector<uint8_t>& bytes,
                                               NibbleForm lengthForm) {
  Value(gap);
  SelectorBit(false);
  NibbleNumber(static_cast<uint32_t>(bytes.size()), lengthForm);
  return Literals(bytes);
}

DifferenceBuilder& DifferenceBuilder::RepeatPiece(uint32_t gap) {
  Value(gap);
  return SelectorBit(true);
}

std::vector<uint8_t> DifferenceBuilder::Build(const DifferenceFacts& facts) const {
  const uint64_t copies = copyBlocks_.size();
  DifferenceHeader header;
  header.headerLength = kHeaderLength + static_cast<uint32_t>(facts.headerTail.size());
  header.sourceSize = static_cast<uint32_t>(facts.oldFile.size());
  header.sourceCrc = DifferenceCrc(facts.oldFile);
  header.resultSize = static_cast<uint32_t>(facts.result.size());
  header.resultCrc = DifferenceCrc(facts.result);
  header.blockCount = blockCount_;
  header.copyBlockCount = static_cast<uint32_t>(copies);
  header.selectorBytes = static_cast<uint32_t>(BytesForBits(selectorBits_.size()));
  header.nibbleBytes = static_cast<uint32_t>(BytesForBits(4 * nibbles_.size()));
  header.extraLength = static_cast<uint16_t>(facts.extra.size());

  std::vector<uint8_t> out(header.headerLength, 0);
  std::copy(facts.headerTail.begin(), facts.headerTail.end(), out.begin() + kHeaderLength);
  out.insert(out.end(), facts.extra.begin(), facts.extra.end());
  PutBits(flagBits_, out, BytesForBits(copies + 1));
  PutBits(selectorBits_, out, header.selectorBytes);
  std::vector<bool> signs, anchors, widths, pieces;
  for (const CopyBits& block : copyBlocks_) {
    signs.push_back(block.negative);
    anchors.push_back(block.anchored);
    widths.push_back((block.widthCode & 1) != 0);
    widths.push_back((block.widthCode & 2) != 0);
    pieces.push_back(block.patched);
  }
  PutBits(signs, out, BytesForBits(copies));
  PutBits(anchors, out, BytesForBits(copies));
  PutBits(widths, out, BytesForBits(2 * copies));
  PutBits(pieces, out, BytesForBits(copies));
  const size_t nibbleStart = out.size();
  out.resize(nibbleStart + header.nibbleBytes, 0);
  for (size_t k = 0; k < nibbles_.size(); ++k)
    out[nibbleStart + k / 2] |= static_cast<uint8_t>(nibbles_[k] << (k % 2 == 0 ? 0 : 4));
  out.insert(out.end(), valueBytes_.begin(), valueBytes_.end());
  header.literalOffset = static_cast<uint32_t>(out.size());
  out.insert(out.end(), literalBytes_.begin(), literalBytes_.end());
  header.totalLength = static_cast<uint32_t>(out.size());

  if (facts.adjust) facts.adjust(header);
  std::vector<uint8_t> fixed(kHeaderLength);
  WriteDifferenceHeader(header, fixed.data());
  std::copy(fixed.begin(), fixed.end(), out.begin());
  if (facts.fixHeaderCrc && header.headerLength >= kHeaderCrcStart && header.headerLength <= out.size())
    Put32(out, kHeaderCrcAt, ComputeHeaderCrc(out.data(), header.headerLength));
  return out;
}
