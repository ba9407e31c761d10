// Builds small difference files exactly as a test states them: blocks, pieces, bits and number forms.
//
// Calls append to the areas in the order the applier reads them, so a test
// writes a difference block by block, piece by piece. The block helpers keep
// the flag bits, copy-block bits and counts right; the raw writers put any
// bit, value byte, nibble or literal byte where the test wants it.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "engine/difference_format.h"

// How a value (selector bit plus value bytes) is written.
enum class ValueForm : uint8_t {
  kShortest,  // one byte for 1-255, two for 256-65535, a marker form otherwise
  kOneByte,   // selector 0, one non-zero byte
  kTwoBytes,  // selector 1, two bytes most significant first, the first non-zero
  kMarker3,   // selector 0, a zero byte, three bytes least significant first
  kMarker4,   // selector 1, a zero byte, four bytes least significant first
};

// How a nibble number is written.
enum class NibbleForm : uint8_t {
  kShortest,
  kOneNibble,       // 1-15
  kTwoNibbles,      // 0, high, low: 16-255
  kTwoNibbleBytes,  // 0, 0, two nibble bytes: 256-65535
  kThreeNibbleBytes,  // 0, 0, a zero nibble byte, three nibble bytes
  kFourNibbleBytes,   // 0, 0, two zero nibble bytes, four nibble bytes
};

// A copy block's offset: its magnitude, sign, anchor and width in bytes
// (0: the fewest bytes that hold the magnitude).
struct CopyOffset {
  uint32_t magnitude = 0;
  bool negative = false;
  bool anchored = false;
  int width = 0;
};

// What Build writes besides the areas: the old file and result whose sizes
// and CRC-32 values go into the header, and any deliberate faults.
struct DifferenceFacts {
  DifferenceFacts(std::vector<uint8_t> oldFileBytes, std::vector<uint8_t> resultBytes)
      : oldFile(std::move(oldFileBytes)), result(std::move(resultBytes)) {}

  // Changes the header after the builder has filled it in and laid out the
  // areas, before HeaderCrc is computed.
  DifferenceFacts& Adjust(std::function<void(difference_format::DifferenceHeader&)> change) {
    adjust = std::move(change);
    return *this;
  }
  // Leaves HeaderCrc as Adjust set it instead of computing it.
  DifferenceFacts& KeepHeaderCrc() {
    fixHeaderCrc = false;
    return *this;
  }
  // Bytes after the header, counted in ExtraLength.
  DifferenceFacts& Extra(std::vector<uint8_t> bytes) {
    extra = std::move(bytes);
    return *this;
  }
  // Bytes after offset 75 inside a longer header.
  DifferenceFacts& HeaderTail(std::vector<uint8_t> bytes) {
    headerTail = std::move(bytes);
    return *this;
  }

  std::vector<uint8_t> oldFile;
  std::vector<uint8_t> result;
  std::function<void(difference_format::DifferenceHeader&)> adjust;
  bool fixHeaderCrc = true;
  std::vector<uint8_t> extra;
  std::vector<uint8_t> headerTail;
};

class DifferenceBuilder {
 public:
  // Blocks. LiteralBlock after a literal block is a fault of the test: the
  // format cannot express it (use the raw writers to state such data).
  DifferenceBuilder& LiteralBlock(const std::vector<uint8_t>& bytes,
                                  ValueForm lengthForm = ValueForm::kShortest);
  DifferenceBuilder& CopyBlock(uint32_t length, CopyOffset offset,
                               ValueForm lengthForm = ValueForm::kShortest);
  // A copy block with patch pieces; `pieceCount` pieces must follow. The
  // length and the piece count are written in `valueForm`.
  DifferenceBuilder& PatchedCopyBlock(uint32_t length, CopyOffset offset, uint32_t pieceCount,
                                      ValueForm valueForm = ValueForm::kShortest);
  DifferenceBuilder& NewPiece(uint32_t gap, const std::vector<uint8_t>& bytes,
                              NibbleForm lengthForm = NibbleForm::kShortest);
  DifferenceBuilder& RepeatPiece(uint32_t gap);

  // Raw writers, one area each.
  DifferenceBuilder& FlagBit(bool literal);
  DifferenceBuilder& SelectorBit(bool set);
  DifferenceBuilder& Value(uint32_t value, ValueForm form = ValueForm::kShortest);
  DifferenceBuilder& ValueBytes(const std::vector<uint8_t>& bytes);
  DifferenceBuilder& Nibble(uint8_t nibble);
  DifferenceBuilder& NibbleNumber(uint32_t value, NibbleForm form = NibbleForm::kShortest);
  DifferenceBuilder& Literals(const std::vector<uint8_t>& bytes);
  // The next copy block's sign, anchor, width code and piece bits (and one
  // more copy block in C), without its offset bytes.
  DifferenceBuilder& CopyBlockBits(bool negative, bool anchored, int widthCode, bool patched);
  // Counts one more block in N without writing anything.
  DifferenceBuilder& CountBlock();

  // The whole difference: header, extra bytes and areas.
  [[nodiscard]] std::vector<uint8_t> Build(const DifferenceFacts& facts) const;

 private:
  void StartCopyBlock(uint32_t length, CopyOffset offset, bool patched, ValueForm lengthForm);

  struct CopyBits {
    bool negative, anchored, patched;
    int widthCode;
  };

  std::vector<bool> flagBits_;
  std::vector<bool> selectorBits_;
  std::vector<CopyBits> copyBlocks_;
  std::vector<uint8_t> nibbles_;
  std::vector<uint8_t> valueBytes_;
  std::vector<uint8_t> literalBytes_;
  uint32_t blockCount_ = 0;
  bool afterLiteral_ = false;
};

// zlib's CRC-32 of a byte vector.
[[nodiscard]] uint32_t DifferenceCrc(const std::vector<uint8_t>& bytes);
