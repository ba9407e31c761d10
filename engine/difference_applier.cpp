// Applies a difference file to an old file: header and old-file checks, block decoding, result output.
#include "engine/difference_applier.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "engine/difference_format.h"
#include "message_keys.h"
#include "package/container_reader.h"
#include "platform/file.h"
#include "platform/file_map.h"
#include "platform/system_error.h"
#include "report/question_host.h"
#include "startup/message_catalogue.h"
#include "startup/process_texts.h"

using namespace difference_format;

namespace {

// The least capacity the delta buffer is given, so that runs of short new
// pieces allocate once.
constexpr uint32_t kDeltaBufferFloor = 100;

uint32_t CrcOf(uint32_t crc, const uint8_t* data, uint64_t size) {
  // zlib's length is 32-bit; a mapping may be longer.
  while (size > 0) {
    const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(size, 1u << 30));
    crc = static_cast<uint32_t>(crc32(crc, data, chunk));
    data += chunk;
    size -= chunk;
  }
  return crc;
}

// Reads bits in order from a bit area: bit k is bit k mod 8 of byte k div 8.
class BitStream {
 public:
  BitStream() = default;
  BitStream(const uint8_t* bytes, uint64_t byteCount) : bytes_(bytes), bitCount_(byteCount * 8) {}
  [[nodiscard]] bool Next(uint32_t* bit) {
    if (position_ >= bitCount_) return false;
    *bit = (bytes_[position_ >> 3] >> (position_ & 7)) & 1u;
    ++position_;
    return true;
  }

 private:
  const uint8_t* bytes_ = nullptr;
  uint64_t bitCount_ = 0;
  uint64_t position_ = 0;
};

// The buffer of the last new piece, changed in place by each repeat piece.
struct DeltaBuffer {
  std::unique_ptr<uint8_t[]> storage;  // absent until the first new piece
  uint32_t capacity = 0;
  uint32_t length = 0;
  uint64_t recordedPosition = 0;  // old-file position of the last patch piece
};

// One decoding run: the positions in every area, the source and output
// positions, and the delta buffer. Every read checks its area's end; all
// positions are 64-bit so that no 32-bit count from the data can wrap them.
class BlockDecoder {
 public:
  BlockDecoder(ByteView oldFile, const uint8_t* difference, uint32_t length,
               const DifferenceHeader& header, ResultWriter& writer)
      : old_(oldFile.data), oldSize_(oldFile.size), diff_(difference), header_(header), writer_(writer) {
    // Areas that reach past the end of the data are cut there, so that every
    // bound below is also a bound of the difference.
    const LocatedAreas located = LocateAreas(header, length);
    const auto clip = [&](Area area) {
      const AreaSpan span = located.layout[area];
      if (span.offset >= length) return AreaSpan{length, 0};
      return AreaSpan{span.offset, std::min<uint64_t>(span.length, length - span.offset)};
    };
    const AreaSpan flags = clip(Area::kFlagBits);
    const AreaSpan selectors = clip(Area::kSelectorBits);
    const AreaSpan signs = clip(Area::kSignBits);
    const AreaSpan anchors = clip(Area::kAnchorBits);
    const AreaSpan widths = clip(Area::kWidthCodes);
    const AreaSpan pieces = clip(Area::kPieceBits);
    const AreaSpan nibbles = clip(Area::kNibbles);
    const AreaSpan values = clip(Area::kValueBytes);
    const AreaSpan literals = clip(Area::kLiteralBytes);
    flags_ = BitStream(difference + flags.offset, flags.length);
    selectors_ = BitStream(difference + selectors.offset, selectors.length);
    signs_ = difference + signs.offset;
    signBytes_ = signs.length;
    anchors_ = difference + anchors.offset;
    anchorBytes_ = anchors.length;
    widths_ = difference + widths.offset;
    widthBytes_ = widths.length;
    pieces_ = difference + pieces.offset;
    pieceBytes_ = pieces.length;
    nibbles_ = difference + nibbles.offset;
    nibbleCount_ = nibbles.length * 2;
    valuePosition_ = values.offset;
    valueEnd_ = values.offset + values.length;
    literalPosition_ = literals.offset;
    literalEnd_ = literals.offset + literals.length;
  }

  [[nodiscard]] DifferenceStatus Run() {
    bool afterLiteral = false;
    for (uint32_t block = 0; block < header_.blockCount; ++block) {
      uint32_t length;
      if (!ReadValue(&length)) return DifferenceStatus::kDamaged;
      if (!afterLiteral) {
        uint32_t literal;
        if (!flags_.Next(&literal)) return DifferenceStatus::kDamaged;
        if (literal != 0) {
          const uint8_t* bytes;
          if (!TakeLiterals(length, &bytes)) return DifferenceStatus::kDamaged;
          if (const DifferenceStatus status = writer_.Emit(bytes, length); status != DifferenceStatus::kApplied)
            return status;
          outputPosition_ += length;
          afterLiteral = true;
          continue;
        }
      }
      // The block after a literal block is a copy block and has no flag bit.
      afterLiteral = false;
      if (const DifferenceStatus status = DecodeCopyBlock(length); status != DifferenceStatus::kApplied)
        return status;
      outputPosition_ += length;
      ++copyBlock_;
    }
    return DifferenceStatus::kApplied;
  }

 private:
  // Bit `index` of an area indexed by copy-block number.
  [[nodiscard]] static bool IndexedBit(const uint8_t* area, uint64_t areaBytes, uint64_t index,
                                       uint32_t* bit) {
    if ((index >> 3) >= areaBytes) return false;
    *bit = (area[index >> 3] >> (index & 7)) & 1u;
    return true;
  }

  // A value: a selector bit and one, two or (after a zero marker byte) three
  // or four value bytes.
  [[nodiscard]] bool ReadValue(uint32_t* value) {
    uint32_t wide;
    if (!selectors_.Next(&wide)) return false;
    if (valuePosition_ >= valueEnd_) return false;
    const uint8_t* bytes = diff_ + valuePosition_;
    const uint64_t available = valueEnd_ - valuePosition_;
    if (bytes[0] != 0) {
      if (wide == 0) {
        *value = bytes[0];
        valuePosition_ += 1;
      } else {
        if (available < 2) return false;
        *value = uint32_t{bytes[0]} << 8 | bytes[1];
        valuePosition_ += 2;
      }
      return true;
    }
    const uint32_t count = wide + 3;  // after the marker, least significant first
    if (available < 1 + uint64_t{count}) return false;
    uint32_t result = 0;
    for (uint32_t i = 0; i < count; ++i) result |= uint32_t{bytes[1 + i]} << (8 * i);
    *value = result;
    valuePosition_ += 1 + count;
    return true;
  }

  // A copy block's offset magnitude: `count` value bytes, least significant first.
  [[nodiscard]] bool ReadOffset(uint32_t count, uint32_t* offset) {
    if (valueEnd_ - valuePosition_ < count) return false;
    uint32_t result = 0;
    for (uint32_t i = 0; i < count; ++i) result |= uint32_t{diff_[valuePosition_ + i]} << (8 * i);
    valuePosition_ += count;
    *offset = result;
    return true;
  }

  [[nodiscard]] bool ReadNibble(uint32_t* nibble) {
    if (nibblePosition_ >= nibbleCount_) return false;
    const uint8_t byte = nibbles_[nibblePosition_ >> 1];
    *nibble = (nibblePosition_ & 1) != 0 ? byte >> 4 : byte & 0x0Fu;
    ++nibblePosition_;
    return true;
  }

  // Two nibbles, the first as the low half.
  [[nodiscard]] bool ReadNibbleByte(uint32_t* value) {
    uint32_t low, high;
    if (!ReadNibble(&low) || !ReadNibble(&high)) return false;
    *value = high << 4 | low;
    return true;
  }

  [[nodiscard]] bool ReadNibbleBytes(int count, uint32_t first, uint32_t* number) {
    uint32_t result = first;
    for (int i = 0; i < count; ++i) {
      uint32_t next;
      if (!ReadNibbleByte(&next)) return false;
      result = result << 8 | next;
    }
    *number = result;
    return true;
  }

  // A nibble number: 1 to 15 in one nibble, 16 to 255 in two after a zero
  // nibble, then two, three or four nibble bytes, most significant first.
  [[nodiscard]] bool ReadNibbleNumber(uint32_t* number) {
    uint32_t nibble;
    if (!ReadNibble(&nibble)) return false;
    if (nibble != 0) {
      *number = nibble;
      return true;
    }
    uint32_t high;
    if (!ReadNibble(&high)) return false;
    if (high != 0) {
      uint32_t low;
      if (!ReadNibble(&low)) return false;
      *number = high << 4 | low;
      return true;
    }
    uint32_t first;
    if (!ReadNibbleByte(&first)) return false;
    if (first != 0) return ReadNibbleBytes(1, first, number);
    if (!ReadNibbleByte(&first)) return false;
    if (first != 0) return ReadNibbleBytes(2, first, number);
    return ReadNibbleBytes(4, 0, number);
  }

  [[nodiscard]] bool TakeLiterals(uint32_t count, const uint8_t** bytes) {
    if (literalEnd_ - literalPosition_ < count) return false;
    *bytes = diff_ + literalPosition_;
    literalPosition_ += count;
    return true;
  }

  // True when `count` old-file bytes from `position` lie inside the old file.
  [[nodiscard]] bool InOldFile(uint64_t position, uint64_t count) const {
    return position <= oldSize_ && count <= oldSize_ - position;
  }

  [[nodiscard]] DifferenceStatus EmitOld(uint64_t position, uint64_t count) {
    if (!InOldFile(position, count)) return DifferenceStatus::kDamaged;
    return writer_.Emit(old_ + position, static_cast<uint32_t>(count));
  }

  [[nodiscard]] DifferenceStatus DecodeCopyBlock(uint32_t length) {
    const uint64_t block = copyBlock_;
    if (block >= header_.copyBlockCount) return DifferenceStatus::kDamaged;
    uint32_t widthLow, widthHigh, negative, anchored, patched;
    if (!IndexedBit(widths_, widthBytes_, 2 * block, &widthLow) ||
        !IndexedBit(widths_, widthBytes_, 2 * block + 1, &widthHigh) ||
        !IndexedBit(signs_, signBytes_, block, &negative) ||
        !IndexedBit(anchors_, anchorBytes_, block, &anchored) ||
        !IndexedBit(pieces_, pieceBytes_, block, &patched)) {
      return DifferenceStatus::kDamaged;
    }
    uint32_t magnitude;
    if (!ReadOffset((widthHigh << 1 | widthLow) + 1, &magnitude)) return DifferenceStatus::kDamaged;
    const int64_t offset = negative != 0 ? -int64_t{magnitude} : int64_t{magnitude};
    // Anchored offsets count from the previous copy block's start; the others
    // from the output position. Either way the start must lie in the old file.
    const int64_t source = anchored != 0 ? static_cast<int64_t>(sourcePosition_) + offset
                                         : static_cast<int64_t>(outputPosition_) - offset;
    if (source < 0 || static_cast<uint64_t>(source) > oldSize_) return DifferenceStatus::kDamaged;
    sourcePosition_ = static_cast<uint64_t>(source);
    if (patched == 0) return EmitOld(sourcePosition_, length);
    return DecodePieces(sourcePosition_ + length);
  }

  // The pieces of a patched copy block that ends at old-file position `blockEnd`.
  [[nodiscard]] DifferenceStatus DecodePieces(uint64_t blockEnd) {
    uint32_t pieceCount;
    if (!ReadValue(&pieceCount)) return DifferenceStatus::kDamaged;
    uint64_t position = sourcePosition_;
    // Every piece reads at least one value byte, so the value area bounds
    // this loop whatever the count says.
    for (uint32_t piece = 0; piece < pieceCount; ++piece) {
      uint32_t gap;
      if (!ReadValue(&gap)) return DifferenceStatus::kDamaged;
      if (blockEnd - position < gap) return DifferenceStatus::kDamaged;
      if (const DifferenceStatus status = EmitOld(position, gap); status != DifferenceStatus::kApplied)
        return status;
      position += gap;
      uint32_t repeat;
      if (!selectors_.Next(&repeat)) return DifferenceStatus::kDamaged;
      const DifferenceStatus status = repeat != 0 ? RepeatPiece(position, blockEnd)
                                                  : NewPiece(position, blockEnd);
      if (status != DifferenceStatus::kApplied) return status;
      position += delta_.length;
    }
    return EmitOld(position, blockEnd - position);
  }

  // The delta buffer again, each byte moved by the change between the old
  // bytes under this piece and those under the previous one.
  [[nodiscard]] DifferenceStatus RepeatPiece(uint64_t position, uint64_t blockEnd) {
    if (delta_.storage == nullptr) return DifferenceStatus::kDamaged;
    const uint32_t count = delta_.length;
    if (blockEnd - position < count || !InOldFile(position, count) ||
        !InOldFile(delta_.recordedPosition, count)) {
      return DifferenceStatus::kDamaged;
    }
    uint8_t* buffer = delta_.storage.get();
    const uint8_t* now = old_ + position;
    const uint8_t* before = old_ + delta_.recordedPosition;
    for (uint32_t t = 0; t < count; ++t)
      buffer[t] = static_cast<uint8_t>(buffer[t] + now[t] - before[t]);
    if (const DifferenceStatus status = writer_.Emit(buffer, count); status != DifferenceStatus::kApplied)
      return status;
    delta_.recordedPosition = position;
    return DifferenceStatus::kApplied;
  }

  // Literal bytes whose length is a nibble number; they become the delta
  // buffer's content.
  [[nodiscard]] DifferenceStatus NewPiece(uint64_t position, uint64_t blockEnd) {
    uint32_t count;
    const uint8_t* bytes;
    if (!ReadNibbleNumber(&count) || blockEnd - position < count || !TakeLiterals(count, &bytes))
      return DifferenceStatus::kDamaged;
    if (const DifferenceStatus status = writer_.Emit(bytes, count); status != DifferenceStatus::kApplied)
      return status;
    if (delta_.storage == nullptr || delta_.capacity < count) {
      delta_.capacity = std::max(count, kDeltaBufferFloor);
      delta_.storage.reset();
      delta_.storage.reset(new uint8_t[delta_.capacity]);
    }
    if (count > 0) std::memcpy(delta_.storage.get(), bytes, count);
    delta_.length = count;
    delta_.recordedPosition = position;
    return DifferenceStatus::kApplied;
  }

  const uint8_t* old_;
  uint64_t oldSize_;
  const uint8_t* diff_;
  const DifferenceHeader& header_;
  ResultWriter& writer_;

  BitStream flags_;
  BitStream selectors_;
  const uint8_t* signs_ = nullptr;
  uint64_t signBytes_ = 0;
  const uint8_t* anchors_ = nullptr;
  uint64_t anchorBytes_ = 0;
  const uint8_t* widths_ = nullptr;
  uint64_t widthBytes_ = 0;
  const uint8_t* pieces_ = nullptr;
  uint64_t pieceBytes_ = 0;
  const uint8_t* nibbles_ = nullptr;
  uint64_t nibbleCount_ = 0;
  uint64_t nibblePosition_ = 0;
  uint64_t valuePosition_ = 0;
  uint64_t valueEnd_ = 0;
  uint64_t literalPosition_ = 0;
  uint64_t literalEnd_ = 0;

  uint64_t outputPosition_ = 0;
  uint64_t sourcePosition_ = 0;
  uint64_t copyBlock_ = 0;
  DeltaBuffer delta_;
};

// Writes flushed chunks to a file, asking Retry/Cancel when the disk is full.
class FileResultSink final : public ResultSink {
 public:
  FileResultSink(QuestionHost& host, platform::File& file) : host_(host), file_(file) {}

  bool Write(const uint8_t* data, uint32_t count) override {
    uint32_t written = 0;
    if (WriteWithRetry(host_, file_, data, count, &written, nullptr) && written == count) return true;
    failureCode_ = platform::LastErrorCode();
    failed_ = true;
    return false;
  }

  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] uint32_t failureCode() const { return failureCode_; }

 private:
  QuestionHost& host_;
  platform::File& file_;
  bool failed_ = false;
  uint32_t failureCode_ = 0;
};

bool ApplyToFile(QuestionHost* host, const platform::File& oldFile, const uint8_t* difference,
                 uint32_t length, platform::File* output, TextBuffer& error) {
  error.Release();
  if (length == 0) return true;

  DifferenceStatus status;
  uint32_t keptError;
  {
    // An empty file cannot be mapped; it is read as zero bytes instead, so
    // that an empty old file can be updated like any other.
    platform::FileMapping mapping;
    ByteView view;
    bool mapped = true;
    platform::SetLastErrorCode(0);
    if (oldFile.Size() != 0 || platform::LastErrorCode() != 0) {
      mapping = platform::FileMapping::MapReadOnly(oldFile);
      mapped = mapping.IsMapped();
      view = ByteView{mapping.data(), mapping.size()};
    }
    if (!mapped) {
      status = DifferenceStatus::kMappingFailed;
      keptError = platform::LastErrorCode();
    } else if (output != nullptr) {
      FileResultSink sink(*host, *output);
      status = DecodeDifference(view, difference, length, &sink);
      keptError = sink.failed() ? sink.failureCode() : platform::LastErrorCode();
    } else {
      status = DecodeDifference(view, difference, length, nullptr);
      keptError = platform::LastErrorCode();
    }
  }
  // Looking texts up may touch the last error too; the caller must see the
  // code of the failure itself.
  DescribeDifferenceStatus(status, error);
  platform::SetLastErrorCode(keptError);
  return status == DifferenceStatus::kApplied;
}

}  // namespace

ResultWriter::ResultWriter(ResultSink* sink, uint32_t limit)
    : sink_(sink), limit_(limit), buffer_(new uint8_t[kBufferSize]) {}

DifferenceStatus ResultWriter::WriteChunk(const uint8_t* data, uint32_t count) {
  if (sink_ != nullptr && !sink_->Write(data, count)) return DifferenceStatus::kOutputFailed;
  crc_ = static_cast<uint32_t>(crc32(crc_, data, count));
  return DifferenceStatus::kApplied;
}

DifferenceStatus ResultWriter::Flush() {
  if (fill_ == 0) return DifferenceStatus::kApplied;
  const DifferenceStatus status = WriteChunk(buffer_.get(), fill_);
  fill_ = 0;
  return status;
}

DifferenceStatus ResultWriter::Emit(const uint8_t* data, uint32_t count) {
  if (count == 0) return DifferenceStatus::kApplied;
  total_ += count;
  if (total_ > limit_) return DifferenceStatus::kDamaged;
  const uint32_t fitting = std::min(count, kBufferSize - fill_);
  std::memcpy(buffer_.get() + fill_, data, fitting);
  fill_ += fitting;
  if (fill_ == kBufferSize) {
    if (const DifferenceStatus status = Flush(); status != DifferenceStatus::kApplied) return status;
  }
  data += fitting;
  count -= fitting;
  if (count == 0) return DifferenceStatus::kApplied;
  if (count >= kBufferSize) return WriteChunk(data, count);
  std::memcpy(buffer_.get(), data, count);
  fill_ = count;
  return DifferenceStatus::kApplied;
}

DifferenceStatus CheckDifferenceBytes(const uint8_t* difference, uint32_t length) {
  if (length < kMinimumLength) return DifferenceStatus::kDamaged;
  const DifferenceHeader header = [&] {
    // Only HeaderCrc and HeaderLength lie inside the first 16 bytes; the
    // other fields are read once the header is known to be whole.
    uint8_t fixed[kHeaderLength] = {};
    std::memcpy(fixed, difference, std::min(length, kHeaderLength));
    return ReadDifferenceHeader(fixed);
  }();
  if (header.headerLength > length) return DifferenceStatus::kDamaged;
  if (std::memcmp(difference + kSignatureAt, kSignature, sizeof kSignature) != 0)
    return DifferenceStatus::kSignatureMissing;
  // Below the full layout the fixed fields would lie outside the header.
  if (header.headerLength < kHeaderLength) return DifferenceStatus::kDamaged;
  if (ComputeHeaderCrc(difference, header.headerLength) != header.headerCrc)
    return DifferenceStatus::kHeaderDamaged;
  return DifferenceStatus::kApplied;
}

DifferenceStatus DecodeDifference(ByteView oldFile, const uint8_t* difference, uint32_t length,
                                  ResultSink* output) {
  if (length == 0) return DifferenceStatus::kApplied;
  if (const DifferenceStatus status = CheckDifferenceBytes(difference, length);
      status != DifferenceStatus::kApplied) {
    return status;
  }
  const DifferenceHeader header = ReadDifferenceHeader(difference);

  const uint32_t oldCrc = CrcOf(0, oldFile.data, oldFile.size);
  const bool sizeBad = oldFile.size != header.sourceSize;
  const bool crcBad = oldCrc != header.sourceCrc;
  if (oldFile.size == header.resultSize && oldCrc == header.resultCrc && (sizeBad || crcBad))
    return crcBad ? DifferenceStatus::kAlreadyUpdatedChecksum : DifferenceStatus::kAlreadyUpdatedSize;
  if (sizeBad) return DifferenceStatus::kSourceSizeMismatch;
  if (crcBad) return DifferenceStatus::kSourceChecksumMismatch;

  ResultWriter writer(output, header.resultSize);
  {
    BlockDecoder decoder(oldFile, difference, length, header, writer);
    if (const DifferenceStatus status = decoder.Run(); status != DifferenceStatus::kApplied) return status;
  }
  if (const DifferenceStatus status = writer.Flush(); status != DifferenceStatus::kApplied) return status;
  // Only the CRC-32 decides: the length produced is not compared with ResultSize.
  if (writer.crc() != header.resultCrc) return DifferenceStatus::kResultChecksumWrong;
  return DifferenceStatus::kApplied;
}

void DescribeDifferenceStatus(DifferenceStatus status, TextBuffer& error) {
  switch (status) {
    case DifferenceStatus::kApplied:
    case DifferenceStatus::kOutputFailed:
    case DifferenceStatus::kMappingFailed:
      error.Release();
      return;
    case DifferenceStatus::kDamaged:
      error.AssignText(GetProcessTexts().patchDataDamaged);
      return;
    case DifferenceStatus::kSignatureMissing:
      error.AssignText(LookupText(kMsgDiffSignatureMissing));
      return;
    case DifferenceStatus::kHeaderDamaged:
      error.AssignText(LookupText(kMsgDiffHeaderDamaged));
      return;
    case DifferenceStatus::kAlreadyUpdatedSize:
    case DifferenceStatus::kAlreadyUpdatedChecksum: {
      const TextBuffer reason(LookupText(status == DifferenceStatus::kAlreadyUpdatedSize
                                             ? kMsgSourceSizeMismatch
                                             : kMsgSourceChecksumMismatch));
      error = TextBuffer::Concat(reason, LookupText(kMsgMayBeUpdated));
      return;
    }
    case DifferenceStatus::kSourceSizeMismatch:
      error.AssignText(LookupText(kMsgSourceSizeMismatch));
      return;
    case DifferenceStatus::kSourceChecksumMismatch:
      error.AssignText(LookupText(kMsgSourceChecksumMismatch));
      return;
    case DifferenceStatus::kResultChecksumWrong:
      error.AssignText(LookupText(kMsgTargetChecksumWrong));
      return;
  }
}

bool CheckDifferenceHeader(const uint8_t* difference, uint32_t length, TextBuffer& error) {
  const DifferenceStatus status = CheckDifferenceBytes(difference, length);
  DescribeDifferenceStatus(status, error);
  return status == DifferenceStatus::kApplied;
}

bool ApplyDifference(QuestionHost& host, const platform::File& oldFile, const uint8_t* difference,
                     uint32_t length, platform::File* output, TextBuffer& error) {
  return ApplyToFile(&host, oldFile, difference, length, output, error);
}

bool VerifyDifference(const platform::File& oldFile, const uint8_t* difference, uint32_t length,
                      TextBuffer& error) {
  return ApplyToFile(nullptr, oldFile, difference, length, nullptr, error);
}
