// Tests for the difference applier: number encodings, blocks and pieces, header and old-file checks, bounds, output.
#include "engine/difference_applier.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/difference_format.h"
#include "platform/file.h"
#include "platform/file_map.h"
#include "platform/system_error.h"
#include "report/question_host.h"
#include "tests/support/difference_builder.h"

namespace {

using difference_format::DifferenceHeader;
using Bytes = std::vector<uint8_t>;
using Build = std::function<void(DifferenceBuilder&)>;

constexpr char kDamaged[] = "补丁数据损坏";
constexpr char kSignatureMissing[] = "不能找到 <DIFF> 签名";
constexpr char kHeaderDamaged[] = "Diff 标题已破坏";
constexpr char kSizeMismatch[] = "源文件大小不同于期待的文件大小";
constexpr char kChecksumMismatch[] = "源文件校验不同于期待的文件";
constexpr char kMayBeUpdated[] = "\n\n文件可能已经升级";
constexpr char kResultChecksumWrong[] = "目录文件校验是错误的";

// n bytes that differ from their neighbours, so that a shifted copy shows.
Bytes Pattern(size_t n, uint8_t seed = 1) {
  Bytes bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return bytes;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t count) {
  return Bytes(bytes.begin() + static_cast<ptrdiff_t>(from),
               bytes.begin() + static_cast<ptrdiff_t>(from + count));
}

std::string Text(const TextBuffer& buffer) { return std::string(buffer.chars(), buffer.length()); }

std::string TextOf(DifferenceStatus status) {
  TextBuffer text;
  DescribeDifferenceStatus(status, text);
  return Text(text);
}

// Exact-size heap copy, so that AddressSanitizer sees any read past the end.
struct ExactCopy {
  explicit ExactCopy(const Bytes& bytes) : size(bytes.size()), data(new uint8_t[bytes.size()]) {
    if (!bytes.empty()) std::memcpy(data.get(), bytes.data(), bytes.size());
  }
  size_t size;
  std::unique_ptr<uint8_t[]> data;
};

// Keeps every byte and the size of every write.
class RecordingSink final : public ResultSink {
 public:
  bool Write(const uint8_t* data, uint32_t count) override {
    writes.push_back(count);
    bytes.insert(bytes.end(), data, data + count);
    return true;
  }
  std::vector<uint32_t> writes;
  Bytes bytes;
};

struct Outcome {
  DifferenceStatus status;
  Bytes output;
  std::vector<uint32_t> writes;
};

Outcome Apply(const Bytes& oldFile, const Bytes& difference) {
  const ExactCopy old(oldFile);
  const ExactCopy diff(difference);
  RecordingSink sink;
  const DifferenceStatus status = DecodeDifference(ByteView{old.data.get(), old.size}, diff.data.get(),
                                                   static_cast<uint32_t>(diff.size), &sink);
  return Outcome{status, sink.bytes, sink.writes};
}

Bytes Make(const Build& build, DifferenceFacts facts) {
  DifferenceBuilder builder;
  build(builder);
  return builder.Build(facts);
}

// --- Number encodings -------------------------------------------------------

struct ValueCase {
  uint32_t value;
  ValueForm form;
};

class ValueForms : public testing::TestWithParam<ValueCase> {};

TEST_P(ValueForms, LiteralBlockLengthDecodes) {
  const Bytes literal = Pattern(GetParam().value);
  const Bytes diff = Make([&](DifferenceBuilder& b) { b.LiteralBlock(literal, GetParam().form); },
                          DifferenceFacts({}, literal));
  const Outcome outcome = Apply({}, diff);
  EXPECT_EQ(outcome.status, DifferenceStatus::kApplied);
  EXPECT_EQ(outcome.output, literal);
}

INSTANTIATE_TEST_SUITE_P(
    DifferenceApplier, ValueForms,
    testing::Values(ValueCase{1, ValueForm::kOneByte}, ValueCase{255, ValueForm::kOneByte},
                    ValueCase{256, ValueForm::kTwoBytes}, ValueCase{300, ValueForm::kTwoBytes},
                    ValueCase{65535, ValueForm::kTwoBytes}, ValueCase{0, ValueForm::kMarker3},
                    ValueCase{0, ValueForm::kMarker4}, ValueCase{7, ValueForm::kMarker3},
                    ValueCase{300, ValueForm::kMarker4}, ValueCase{65536, ValueForm::kMarker3},
                    ValueCase{70000, ValueForm::kMarker4}));

TEST(DifferenceApplier, TwoByteAndMarkerValuesOf300) {
  // The value bytes exactly as stated: 01 2C with selector 1; 00 2C 01 00 with selector 0.
  const struct {
    bool selector;
    Bytes valueBytes;
  } cases[] = {{true, {0x01, 0x2C}}, {false, {0x00, 0x2C, 0x01, 0x00}}};
  const Bytes literal = Pattern(300);
  for (const auto& c : cases) {
    const Bytes diff = Make(
        [&](DifferenceBuilder& b) {
          b.CountBlock().SelectorBit(c.selector).ValueBytes(c.valueBytes).FlagBit(true).Literals(literal);
        },
        DifferenceFacts({}, literal));
    const Outcome outcome = Apply({}, diff);
    EXPECT_EQ(outcome.status, DifferenceStatus::kApplied) << c.selector;
    EXPECT_EQ(outcome.output.size(), 300u) << c.selector;
  }
}

struct NibbleCase {
  uint32_t value;
  NibbleForm form;
};

class NibbleForms : public testing::TestWithParam<NibbleCase> {};

TEST_P(NibbleForms, NewPieceLengthDecodes) {
  const uint32_t n = GetParam().value;
  const Bytes old(n, 0x55);
  const Bytes piece = Pattern(n);
  const Bytes diff = Make(
      [&](DifferenceBuilder& b) { b.PatchedCopyBlock(n, {}, 1).NewPiece(0, piece, GetParam().form); },
      DifferenceFacts(old, piece));
  const Outcome outcome = Apply(old, diff);
  EXPECT_EQ(outcome.status, DifferenceStatus::kApplied);
  EXPECT_EQ(outcome.output, piece);
}

INSTANTIATE_TEST_SUITE_P(
    DifferenceApplier, NibbleForms,
    testing::Values(NibbleCase{1, NibbleForm::kOneNibble}, NibbleCase{15, NibbleForm::kOneNibble},
                    NibbleCase{16, NibbleForm::kTwoNibbles}, NibbleCase{53, NibbleForm::kTwoNibbles},
                    NibbleCase{255, NibbleForm::kTwoNibbles},
                    NibbleCase{256, NibbleForm::kTwoNibbleBytes},
                    NibbleCase{4660, NibbleForm::kTwoNibbleBytes},
                    NibbleCase{65535, NibbleForm::kTwoNibbleBytes},
                    NibbleCase{65536, NibbleForm::kThreeNibbleBytes},
                    NibbleCase{70000, NibbleForm::kThreeNibbleBytes},
                    NibbleCase{0, NibbleForm::kFourNibbleBytes},
                    NibbleCase{300, NibbleForm::kFourNibbleBytes}));

TEST(DifferenceApplier, NibbleAreaBytes30And05Are53) {
  // Low half first: the nibble area 30 05 reads 0, 3, 5.
  const Bytes old(53, 0);
  const Bytes piece = Pattern(53);
  const Bytes diff = Make([&](DifferenceBuilder& b) {
    b.PatchedCopyBlock(53, {}, 1).Value(0).SelectorBit(false).Nibble(0).Nibble(3).Nibble(5).Literals(piece);
  }, DifferenceFacts(old, piece));
  const auto located =
      difference_format::LocateAreas(difference_format::ReadDifferenceHeader(diff.data()), diff.size());
  const auto nibbles = located.layout[difference_format::Area::kNibbles];
  ASSERT_EQ(nibbles.length, 2u);
  EXPECT_EQ(Slice(diff, nibbles.offset, 2), (Bytes{0x30, 0x05}));
  const Outcome outcome = Apply(old, diff);
  EXPECT_EQ(outcome.status, DifferenceStatus::kApplied);
  EXPECT_EQ(outcome.output, piece);
}

// --- Blocks and offsets -----------------------------------------------------

struct BlockCase {
  const char* name;
  Bytes oldFile;
  Build build;
  Bytes result;
};

void ExpectApplies(const BlockCase& c) {
  const Bytes diff = Make(c.build, DifferenceFacts(c.oldFile, c.result));
  const Outcome outcome = Apply(c.oldFile, diff);
  EXPECT_EQ(outcome.status, DifferenceStatus::kApplied) << c.name;
  EXPECT_EQ(outcome.output, c.result) << c.name;
}

TEST(DifferenceApplier, CopyBlockSourcePositions) {
  const Bytes old = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J'};
  const Bytes big = Pattern(70000);
  const BlockCase cases[] = {
      {"offset 0 without anchor copies at the output position", old,
       [](DifferenceBuilder& b) { b.LiteralBlock({'1', '2'}).CopyBlock(3, {}); },
       {'1', '2', 'C', 'D', 'E'}},
      {"unanchored offset counts back from the output position", old,
       [](DifferenceBuilder& b) { b.LiteralBlock({'1', '2', '3', '4', '5'}).CopyBlock(2, {.magnitude = 4}); },
       {'1', '2', '3', '4', '5', 'B', 'C'}},
      {"negative unanchored offset counts forward", old,
       [](DifferenceBuilder& b) { b.CopyBlock(2, {.magnitude = 3, .negative = true}); }, {'D', 'E'}},
      {"first anchored block takes its offset as absolute", old,
       [](DifferenceBuilder& b) { b.CopyBlock(3, {.magnitude = 5, .anchored = true}); },
       {'F', 'G', 'H'}},
      {"anchored offset counts from the previous copy block's start", old,
       [](DifferenceBuilder& b) {
         b.CopyBlock(3, {.magnitude = 2, .anchored = true}).CopyBlock(2, {.magnitude = 1, .anchored = true});
       },
       {'C', 'D', 'E', 'D', 'E'}},
      {"anchor survives a literal block in between", old,
       [](DifferenceBuilder& b) {
         b.CopyBlock(1, {.magnitude = 6, .anchored = true})
             .LiteralBlock({'x'})
             .CopyBlock(2, {.magnitude = 4, .negative = true, .anchored = true});
       },
       {'G', 'x', 'C', 'D'}},
      {"unanchored block after an anchored one uses the output position", old,
       [](DifferenceBuilder& b) {
         b.CopyBlock(2, {.magnitude = 8, .anchored = true}).CopyBlock(2, {.magnitude = 0});
       },
       {'I', 'J', 'C', 'D'}},
      {"wide offset of small magnitude", old,
       [](DifferenceBuilder& b) { b.CopyBlock(1, {.magnitude = 9, .anchored = true, .width = 4}); }, {'J'}},
      {"three-byte offset", big,
       [](DifferenceBuilder& b) { b.CopyBlock(4, {.magnitude = 0x010203, .anchored = true}); },
       Slice(big, 0x010203, 4)},
      {"block ending exactly at the old file's end", old,
       [](DifferenceBuilder& b) { b.CopyBlock(10, {}); }, old},
      {"empty copy block at the old file's end", old,
       [](DifferenceBuilder& b) { b.CopyBlock(0, {.magnitude = 10, .anchored = true}); }, {}},
  };
  for (const BlockCase& c : cases) ExpectApplies(c);
}

TEST(DifferenceApplier, PatchPieces) {
  const Bytes worked = {0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x01};
  const Bytes gapped = {0x00, 0x00, 0x00, 0x00, 0xAA, 0x01, 0x01, 0x01, 0x01, 0xBB, 0xCC};
  const Bytes chain = {0, 0, 0, 0, 1, 1, 1, 1, 3, 3, 3, 3};
  const BlockCase cases[] = {
      {"repeat piece adds the change between the old runs", worked,
       [](DifferenceBuilder& b) {
         b.PatchedCopyBlock(8, {}, 2).NewPiece(0, {0x10, 0x20, 0x30, 0x40}).RepeatPiece(0);
       },
       {0x10, 0x20, 0x30, 0x40, 0x11, 0x21, 0x31, 0x41}},
      {"gaps copy old bytes and the rest of the block follows", gapped,
       [](DifferenceBuilder& b) {
         b.PatchedCopyBlock(11, {}, 2).NewPiece(0, {0x10, 0x20, 0x30, 0x40}).RepeatPiece(1);
       },
       {0x10, 0x20, 0x30, 0x40, 0xAA, 0x11, 0x21, 0x31, 0x41, 0xBB, 0xCC}},
      {"each repeat measures from the previous piece", chain,
       [](DifferenceBuilder& b) {
         b.PatchedCopyBlock(12, {}, 3).NewPiece(0, {0x10, 0x20, 0x30, 0x40}).RepeatPiece(0).RepeatPiece(0);
       },
       {0x10, 0x20, 0x30, 0x40, 0x11, 0x21, 0x31, 0x41, 0x13, 0x23, 0x33, 0x43}},
      {"the delta buffer lives across blocks", chain,
       [](DifferenceBuilder& b) {
         b.PatchedCopyBlock(4, {}, 1)
             .NewPiece(0, {0x10, 0x20, 0x30, 0x40})
             .LiteralBlock({0xEE})
             .PatchedCopyBlock(4, {.magnitude = 8, .anchored = true}, 1)
             .RepeatPiece(0);
       },
       {0x10, 0x20, 0x30, 0x40, 0xEE, 0x13, 0x23, 0x33, 0x43}},
      {"a new piece replaces the buffer's content", chain,
       [](DifferenceBuilder& b) {
         b.PatchedCopyBlock(12, {}, 3).NewPiece(0, {0x10, 0x20, 0x30, 0x40}).NewPiece(0, {0x05, 0x06}).RepeatPiece(4);
       },
       {0x10, 0x20, 0x30, 0x40, 0x05, 0x06, 1, 1, 3, 3, 0x07, 0x08}},
      {"a repeat piece wraps modulo 256", {0x10, 0xF0},
       [](DifferenceBuilder& b) { b.PatchedCopyBlock(2, {}, 2).NewPiece(0, {0xFF}).RepeatPiece(0); },
       {0xFF, 0xDF}},
      {"a patched block with no pieces copies the old bytes", worked,
       [](DifferenceBuilder& b) { b.PatchedCopyBlock(8, {}, 0); }, worked},
      {"an empty new piece leaves an empty buffer to repeat", worked,
       [](DifferenceBuilder& b) { b.PatchedCopyBlock(8, {}, 2).NewPiece(2, {}).RepeatPiece(3); }, worked},
  };
  for (const BlockCase& c : cases) ExpectApplies(c);
}

TEST(DifferenceApplier, BlockAfterLiteralBlockIsReadAsCopyBlock) {
  // Two set flag bits, yet the second block is a copy block: after a literal
  // block no flag bit is read. The second flag bit then makes the third block
  // literal.
  const Bytes old = {'a', 'b', 'c', 'd'};
  const Bytes diff = Make(
      [](DifferenceBuilder& b) {
        b.CountBlock().Value(2).FlagBit(true).Literals({'X', 'Y'});
        b.CountBlock().Value(2).CopyBlockBits(false, true, 0, false).ValueBytes({1});
        b.CountBlock().Value(1).FlagBit(true).Literals({'Z'});
      },
      DifferenceFacts(old, {'X', 'Y', 'b', 'c', 'Z'}));
  const Outcome outcome = Apply(old, diff);
  EXPECT_EQ(outcome.status, DifferenceStatus::kApplied);
  EXPECT_EQ(outcome.output, (Bytes{'X', 'Y', 'b', 'c', 'Z'}));
}

TEST(DifferenceApplier, NoBlocksGiveAnEmptyResultCheckedByItsCrc) {
  const Bytes old = {1, 2, 3};
  const struct {
    uint32_t resultCrc;
    DifferenceStatus status;
  } cases[] = {{0, DifferenceStatus::kApplied}, {1, DifferenceStatus::kResultChecksumWrong}};
  for (const auto& c : cases) {
    const Bytes diff = Make([](DifferenceBuilder&) {},
                            DifferenceFacts(old, {}).Adjust([&](auto& h) { h.resultCrc = c.resultCrc; }));
    const Outcome outcome = Apply(old, diff);
    EXPECT_EQ(outcome.status, c.status) << c.resultCrc;
    EXPECT_TRUE(outcome.writes.empty());
  }
}

TEST(DifferenceApplier, OnlyTheResultCrcIsCheckedAtTheEnd) {
  // A result shorter than ResultSize passes when its CRC-32 matches; a wrong
  // byte fails with the checksum text.
  const Bytes old = Pattern(20);
  const Bytes produced = Slice(old, 0, 5);
  const struct {
    uint32_t resultCrc;
    DifferenceStatus status;
  } cases[] = {{DifferenceCrc(produced), DifferenceStatus::kApplied},
               {DifferenceCrc(produced) ^ 1u, DifferenceStatus::kResultChecksumWrong}};
  for (const auto& c : cases) {
    const Bytes diff = Make([](DifferenceBuilder& b) { b.CopyBlock(5, {}); },
                            DifferenceFacts(old, {}).Adjust([&](auto& h) {
                               h.resultSize = 10;
                               h.resultCrc = c.resultCrc;
                             }));
    EXPECT_EQ(Apply(old, diff).status, c.status);
  }
  EXPECT_EQ(TextOf(DifferenceStatus::kResultChecksumWrong), kResultChecksumWrong);
}

// --- Output ----------------------------------------------------------------

TEST(DifferenceApplier, WriteSizes) {
  const Bytes old = Pattern(200000);
  const struct {
    const char* name;
    Build build;
    size_t resultSize;
    std::vector<uint32_t> writes;
  } cases[] = {
      {"a result of exactly 65,536 bytes is one write",
       [](DifferenceBuilder& b) { b.CopyBlock(65536, {}); }, 65536, {65536}},
      {"one emit of 200,000 bytes: a buffer flush, then the rest straight from the source",
       [](DifferenceBuilder& b) { b.CopyBlock(200000, {}); }, 200000, {65536, 134464}},
      {"a large emit first tops up the buffer",
       [](DifferenceBuilder& b) { b.LiteralBlock(Pattern(10)).CopyBlock(199990, {}); }, 200000,
       {65536, 134464}},
      {"small emits gather in the buffer",
       [](DifferenceBuilder& b) {
         b.CopyBlock(30000, {}).CopyBlock(30000, {}).CopyBlock(30000, {});
       },
       90000, {65536, 24464}},
      {"a rest below 65,536 goes through the buffer",
       [](DifferenceBuilder& b) { b.CopyBlock(100, {}).CopyBlock(70000, {}); }, 70100, {65536, 4564}},
  };
  for (const auto& c : cases) {
    DifferenceBuilder builder;
    c.build(builder);
    const Bytes expected = Slice(old, 0, c.resultSize);
    const Outcome outcome = Apply(old, builder.Build(DifferenceFacts(old, expected)));
    EXPECT_EQ(outcome.status, DifferenceStatus::kApplied) << c.name;
    EXPECT_EQ(outcome.writes, c.writes) << c.name;
    EXPECT_TRUE(outcome.output == expected) << c.name;
  }
}

TEST(DifferenceApplier, ResultSizeLimitStopsBeforeTheBytesAreWritten) {
  // 70,000 bytes fit (one flush of 65,536, 4,464 buffered); the next 40,000
  // would pass the limit of 100,000, so they are never written and the
  // buffered bytes are not flushed either.
  const Bytes old = Pattern(70000);
  const Bytes diff = Make([](DifferenceBuilder& b) { b.CopyBlock(70000, {}).LiteralBlock(Pattern(40000)); },
                          DifferenceFacts(old, {}).Adjust([](auto& h) { h.resultSize = 100000; }));
  const Outcome outcome = Apply(old, diff);
  EXPECT_EQ(outcome.status, DifferenceStatus::kDamaged);
  EXPECT_EQ(outcome.writes, (std::vector<uint32_t>{65536}));
  EXPECT_EQ(TextOf(outcome.status), kDamaged);

  // One byte over the limit is enough.
  const Bytes exact = Make([](DifferenceBuilder& b) { b.CopyBlock(10, {}); },
                           DifferenceFacts(old, {}).Adjust([](auto& h) { h.resultSize = 9; }));
  EXPECT_EQ(Apply(old, exact).status, DifferenceStatus::kDamaged);
}

TEST(DifferenceApplier, VerificationComputesTheSameResultWithoutOutput) {
  const Bytes old = Pattern(100000);
  const Bytes result = Concat({Slice(old, 50000, 50000), Pattern(20000, 9)});
  const Bytes diff = Make(
      [](DifferenceBuilder& b) { b.CopyBlock(50000, {.magnitude = 50000, .anchored = true}).LiteralBlock(Pattern(20000, 9)); },
      DifferenceFacts(old, result));
  const ExactCopy copy(diff);
  EXPECT_EQ(DecodeDifference(ByteView{old.data(), old.size()}, copy.data.get(), static_cast<uint32_t>(copy.size), nullptr),
            DifferenceStatus::kApplied);
  const Bytes wrong = Make([](DifferenceBuilder& b) { b.CopyBlock(50000, {}).LiteralBlock(Pattern(20000, 9)); },
                           DifferenceFacts(old, result));
  EXPECT_EQ(DecodeDifference(ByteView{old.data(), old.size()}, wrong.data(), static_cast<uint32_t>(wrong.size()), nullptr),
            DifferenceStatus::kResultChecksumWrong);
}

TEST(DifferenceApplier, FailedWriteStopsTheDecoding) {
  class FailingSink final : public ResultSink {
   public:
    bool Write(const uint8_t*, uint32_t) override {
      ++calls;
      return false;
    }
    int calls = 0;
  } sink;
  const Bytes old = Pattern(200000);
  const Bytes diff = Make([](DifferenceBuilder& b) { b.CopyBlock(200000, {}).LiteralBlock({1}); },
                          DifferenceFacts(old, Concat({old, {1}})));
  EXPECT_EQ(DecodeDifference(ByteView{old.data(), old.size()}, diff.data(), static_cast<uint32_t>(diff.size()), &sink),
            DifferenceStatus::kOutputFailed);
  EXPECT_EQ(sink.calls, 1);
  EXPECT_EQ(TextOf(DifferenceStatus::kOutputFailed), "");
}

// --- Header and old-file checks ---------------------------------------------

TEST(DifferenceApplier, HeaderChecksInOrder) {
  const Bytes old = {'o', 'l', 'd'};
  const Bytes valid = Make([](DifferenceBuilder& b) { b.CopyBlock(3, {}); }, DifferenceFacts(old, old));
  const auto with = [&](std::function<void(DifferenceHeader&)> adjust, bool fixCrc = true) {
    DifferenceFacts facts = DifferenceFacts(old, old).Adjust(adjust);
    if (!fixCrc) facts.KeepHeaderCrc();
    return Make([](DifferenceBuilder& b) { b.CopyBlock(3, {}); }, facts);
  };
  Bytes badSignature = valid;
  badSignature[0] = 'd';
  Bytes shortWithSignature = Slice(valid, 0, 15);
  Bytes shortBadSignature = Slice(badSignature, 0, 15);
  const struct {
    const char* name;
    Bytes diff;
    DifferenceStatus status;
    const char* text;
  } cases[] = {
      {"valid", valid, DifferenceStatus::kApplied, ""},
      {"empty difference", {}, DifferenceStatus::kApplied, ""},
      {"15 bytes beginning with the signature", shortWithSignature, DifferenceStatus::kDamaged, kDamaged},
      {"short comes before the signature", shortBadSignature, DifferenceStatus::kDamaged, kDamaged},
      {"header longer than the difference", with([](auto& h) { h.headerLength = 1000; }),
       DifferenceStatus::kDamaged, kDamaged},
      {"signature missing", badSignature, DifferenceStatus::kSignatureMissing, kSignatureMissing},
      {"header length 7", with([](auto& h) { h.headerLength = 7; }), DifferenceStatus::kDamaged, kDamaged},
      {"header length 8 leaves the fields outside", with([](auto& h) { h.headerLength = 8; }),
       DifferenceStatus::kDamaged, kDamaged},
      {"header length 74", with([](auto& h) { h.headerLength = 74; }), DifferenceStatus::kDamaged, kDamaged},
      {"header CRC wrong", with([](auto& h) { h.headerCrc = 1; }, false), DifferenceStatus::kHeaderDamaged,
       kHeaderDamaged},
  };
  for (const auto& c : cases) {
    const Outcome outcome = Apply(old, c.diff);
    EXPECT_EQ(outcome.status, c.status) << c.name;
    EXPECT_EQ(TextOf(outcome.status), c.text) << c.name;
    if (c.diff.empty()) continue;  // the header test itself has no empty case
    const ExactCopy copy(c.diff);
    TextBuffer error("stale");
    EXPECT_EQ(CheckDifferenceHeader(copy.data.get(), static_cast<uint32_t>(copy.size), error),
              c.status == DifferenceStatus::kApplied)
        << c.name;
    EXPECT_EQ(Text(error), c.text) << c.name;
  }
}

TEST(DifferenceApplier, EveryHeaderByteIsCoveredByItsCrc) {
  const Bytes old = {'o', 'l', 'd'};
  const Bytes valid = Make([](DifferenceBuilder& b) { b.CopyBlock(3, {}); }, DifferenceFacts(old, old));
  for (size_t at = difference_format::kHeaderCrcStart; at < difference_format::kHeaderLength; ++at) {
    Bytes changed = valid;
    changed[at] ^= 0x40;
    // Bytes 8 to 11 are HeaderLength itself, which is tested before the CRC.
    const DifferenceStatus expected =
        at < difference_format::kTotalLengthAt ? DifferenceStatus::kDamaged : DifferenceStatus::kHeaderDamaged;
    EXPECT_EQ(Apply(old, changed).status, expected) << at;
  }
}

TEST(DifferenceApplier, LongerHeaderAndExtraBytesAreSkipped) {
  const Bytes old = {'o', 'l', 'd'};
  const Bytes diff = Make([](DifferenceBuilder& b) { b.CopyBlock(3, {}).LiteralBlock({'!'}); },
                          DifferenceFacts(old, {'o', 'l', 'd', '!'}).Extra({9, 9, 9}).HeaderTail({7, 7}));
  const Outcome outcome = Apply(old, diff);
  EXPECT_EQ(outcome.status, DifferenceStatus::kApplied);
  EXPECT_EQ(outcome.output, (Bytes{'o', 'l', 'd', '!'}));
}

TEST(DifferenceApplier, OldFileChecks) {
  const Bytes old = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
  const Bytes result = {'n', 'e', 'w', ' ', 'o', 'n', 'e'};
  const uint32_t oldCrc = DifferenceCrc(old);
  using Header = DifferenceHeader;
  const std::string alreadySize = std::string(kSizeMismatch) + kMayBeUpdated;
  const std::string alreadyChecksum = std::string(kChecksumMismatch) + kMayBeUpdated;
  const struct {
    const char* name;
    Bytes oldFile;  // what the applier is given
    std::function<void(Header&)> adjust;
    std::string text;
  } cases[] = {
      {"already the new file, size and checksum differ", result, nullptr, alreadyChecksum},
      {"already the new file, only the size differs", old,
       [&](Header& h) {
         h.sourceSize = 3;
         h.resultSize = static_cast<uint32_t>(old.size());
         h.resultCrc = oldCrc;
       },
       alreadySize},
      {"already the new file, only the checksum differs", old,
       [&](Header& h) {
         h.sourceCrc = 5;
         h.resultSize = static_cast<uint32_t>(old.size());
         h.resultCrc = oldCrc;
       },
       alreadyChecksum},
      {"size differs", Concat({old, {'x'}}), nullptr, kSizeMismatch},
      {"size and checksum differ, reported as size", Bytes{1, 2}, nullptr, kSizeMismatch},
      {"checksum differs", Bytes{'o', 'l', 'd', ' ', 'f', 'i', 'l', 'E'}, nullptr, kChecksumMismatch},
      {"same size as the result but another checksum", Bytes{'n', 'e', 'w', ' ', 'o', 'n', 'E'}, nullptr,
       kSizeMismatch},
  };
  for (const auto& c : cases) {
    const Bytes diff = Make([](DifferenceBuilder& b) { b.LiteralBlock({'n', 'e', 'w', ' ', 'o', 'n', 'e'}); },
                            DifferenceFacts(old, result).Adjust(c.adjust));
    const Outcome outcome = Apply(c.oldFile, diff);
    EXPECT_NE(outcome.status, DifferenceStatus::kApplied) << c.name;
    EXPECT_EQ(TextOf(outcome.status), c.text) << c.name;
    EXPECT_TRUE(outcome.writes.empty()) << c.name;
  }
}

TEST(DifferenceApplier, OldFileEqualToResultAppliesWhenItIsAlsoTheExpectedOldFile) {
  const Bytes same = Pattern(1000);
  const Bytes diff = Make([](DifferenceBuilder& b) { b.CopyBlock(1000, {}); }, DifferenceFacts(same, same));
  const Outcome outcome = Apply(same, diff);
  EXPECT_EQ(outcome.status, DifferenceStatus::kApplied);
  EXPECT_EQ(outcome.output, same);
}

TEST(DifferenceApplier, EmptyOldFileIsZeroBytes) {
  const Bytes result = {'h', 'i'};
  const Bytes diff = Make([](DifferenceBuilder& b) { b.LiteralBlock({'h', 'i'}).CopyBlock(0, {.magnitude = 2}); },
                          DifferenceFacts({}, result));
  const Outcome outcome = Apply({}, diff);
  EXPECT_EQ(outcome.status, DifferenceStatus::kApplied);
  EXPECT_EQ(outcome.output, result);
}

// --- Bounds -----------------------------------------------------------------

TEST(DifferenceApplier, DataOutsideItsBoundsIsDamaged) {
  const Bytes old = {0, 0, 0, 0, 1, 1, 1, 1};
  using Header = DifferenceHeader;
  const struct {
    const char* name;
    Build build;
    std::function<void(Header&)> adjust;
  } cases[] = {
      {"more blocks than values", [](DifferenceBuilder& b) { b.CopyBlock(8, {}); },
       [](Header& h) { h.blockCount = 2; }},
      {"no selector bit for a value",
       [](DifferenceBuilder& b) { b.CountBlock().ValueBytes({2}).FlagBit(true).Literals({7, 7}); }, nullptr},
      {"two-byte value cut by the area end",
       [](DifferenceBuilder& b) { b.CountBlock().SelectorBit(true).ValueBytes({1}).FlagBit(true); }, nullptr},
      {"marker value cut by the area end",
       [](DifferenceBuilder& b) { b.CountBlock().SelectorBit(true).ValueBytes({0, 1, 2, 3}).FlagBit(true); },
       nullptr},
      {"offset bytes cut by the literal area", [](DifferenceBuilder& b) { b.CopyBlock(1, {.width = 4}).Literals({1, 2, 3}); },
       [](Header& h) { h.literalOffset -= 3; }},
      {"literal block longer than the literal bytes", [](DifferenceBuilder& b) { b.LiteralBlock({1, 2, 3, 4, 5}); },
       [](Header& h) { h.literalOffset += 1; }},
      {"huge literal block",
       [](DifferenceBuilder& b) { b.CountBlock().Value(0xFFFFFFFF).FlagBit(true).Literals({1}); },
       [](Header& h) { h.resultSize = 0xFFFFFFFF; }},
      {"nibble number cut by the area end",
       [](DifferenceBuilder& b) { b.PatchedCopyBlock(4, {}, 1).Value(0).SelectorBit(false).Nibble(0); }, nullptr},
      {"repeat piece before any new piece", [](DifferenceBuilder& b) { b.PatchedCopyBlock(8, {}, 1).RepeatPiece(4); },
       nullptr},
      {"copy block past the old file's end", [](DifferenceBuilder& b) { b.CopyBlock(9, {}); }, nullptr},
      {"huge copy block", [](DifferenceBuilder& b) { b.CopyBlock(0xFFFFFFFF, {}); },
       [](Header& h) { h.resultSize = 0xFFFFFFFF; }},
      {"offset before the old file's start", [](DifferenceBuilder& b) { b.CopyBlock(1, {.magnitude = 1}); }, nullptr},
      {"anchored offset before the old file's start",
       [](DifferenceBuilder& b) { b.CopyBlock(1, {.magnitude = 2, .anchored = true}).CopyBlock(1, {.magnitude = 3, .negative = true, .anchored = true}); },
       nullptr},
      {"empty block past the old file's end",
       [](DifferenceBuilder& b) { b.CopyBlock(0, {.magnitude = 9, .anchored = true}); }, nullptr},
      {"huge offset", [](DifferenceBuilder& b) { b.CopyBlock(1, {.magnitude = 0xFFFFFFFF, .negative = true}); },
       nullptr},
      {"gap past the block's end", [](DifferenceBuilder& b) { b.PatchedCopyBlock(4, {}, 1).RepeatPiece(5); }, nullptr},
      {"new piece past the block's end",
       [](DifferenceBuilder& b) { b.PatchedCopyBlock(4, {}, 1).NewPiece(2, {1, 2, 3}); }, nullptr},
      {"repeat piece past the block's end",
       [](DifferenceBuilder& b) {
         b.PatchedCopyBlock(4, {}, 1).NewPiece(0, {1, 2, 3, 4}).PatchedCopyBlock(2, {}, 1).RepeatPiece(0);
       },
       nullptr},
      {"huge piece count", [](DifferenceBuilder& b) { b.PatchedCopyBlock(8, {}, 0xFFFFFFFF).NewPiece(0, {1}); },
       nullptr},
      {"more copy blocks than counted",
       [](DifferenceBuilder& b) { b.CopyBlock(1, {}).CountBlock().Value(1).FlagBit(false).ValueBytes({0}); },
       nullptr},
      {"value area ends before it starts", [](DifferenceBuilder& b) { b.CopyBlock(8, {}); },
       [](Header& h) { h.literalOffset = 75; }},
      {"areas beyond the difference", [](DifferenceBuilder& b) { b.CopyBlock(8, {}); },
       [](Header& h) { h.copyBlockCount = 0x7FFFFFFF; }},
      {"literal offset beyond the difference", [](DifferenceBuilder& b) { b.LiteralBlock({1}); },
       [](Header& h) { h.literalOffset = 0xFFFFFFF0; }},
  };
  for (const auto& c : cases) {
    const Bytes diff = Make(c.build, DifferenceFacts(old, {}).Adjust(c.adjust));
    const Outcome outcome = Apply(old, diff);
    EXPECT_EQ(outcome.status, DifferenceStatus::kDamaged) << c.name;
    EXPECT_EQ(TextOf(outcome.status), kDamaged) << c.name;
  }
}

// A difference that uses every area, decoded to its last value and literal byte.
Bytes FullDifference(const Bytes& old, Bytes* result) {
  DifferenceBuilder b;
  b.CopyBlock(3, {})
      .LiteralBlock({'x', 'y'})
      .PatchedCopyBlock(300, {.magnitude = 100, .anchored = true}, 3)
      .NewPiece(5, Pattern(20, 3))
      .RepeatPiece(30)
      .NewPiece(300 - 5 - 20 - 30 - 20 - 20, {0x42})
      .CopyBlock(70, {.magnitude = 50, .negative = true, .anchored = true, .width = 2})
      .LiteralBlock(Pattern(40, 5));
  // The result is what the applier produces; the test checks it succeeds.
  const Bytes probe =
      b.Build(DifferenceFacts(old, {}).Adjust([](DifferenceHeader& h) { h.resultSize = 0xFFFFFFFF; }));
  RecordingSink sink;
  (void)DecodeDifference(ByteView{old.data(), old.size()}, probe.data(), static_cast<uint32_t>(probe.size()), &sink);
  *result = sink.bytes;
  return b.Build(DifferenceFacts(old, *result));
}

TEST(DifferenceApplier, EveryTruncationIsDamaged) {
  const Bytes old = Pattern(1000);
  Bytes result;
  const Bytes diff = FullDifference(old, &result);
  ASSERT_EQ(Apply(old, diff).status, DifferenceStatus::kApplied);
  ASSERT_EQ(result.size(), 3u + 2 + 300 + 70 + 40);
  for (size_t length = 1; length < diff.size(); ++length) {
    const Outcome outcome = Apply(old, Slice(diff, 0, length));
    EXPECT_EQ(outcome.status, DifferenceStatus::kDamaged) << length;
  }
}

TEST(DifferenceApplier, CorruptAreasNeverReachOutsideTheData) {
  // Every byte after the header, changed in a few ways: any outcome but a
  // crash or an out-of-bounds access (which the sanitizers report).
  const Bytes old = Pattern(1000);
  Bytes result;
  const Bytes diff = FullDifference(old, &result);
  for (size_t at = difference_format::kHeaderLength; at < diff.size(); ++at) {
    for (uint8_t change : {0x01, 0x10, 0x80, 0xFF}) {
      Bytes changed = diff;
      changed[at] ^= change;
      const Outcome outcome = Apply(old, changed);
      EXPECT_LE(outcome.output.size(), result.size()) << at;
    }
  }
}

// --- The file-level functions -------------------------------------------------

class ScriptedHost final : public QuestionHost {
 public:
  int ShowMessageBox(const char*, const char*, uint32_t) override {
    ++questions;
    return 2;  // Cancel
  }
  int questions = 0;
};

class DifferenceFiles : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("difference_applier_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string PathOf(const char* name) const { return (folder_ / name).string(); }

  std::string WriteFile(const char* name, const Bytes& bytes) const {
    std::ofstream(PathOf(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return PathOf(name);
  }

  Bytes ReadFile(const char* name) const {
    std::ifstream in(PathOf(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::filesystem::path folder_;
};

TEST_F(DifferenceFiles, ApplyWritesTheResultAndVerifyWritesNothing) {
  const Bytes old = Pattern(150000);
  const Bytes result = Concat({Slice(old, 1000, 140000), Pattern(100, 4)});
  const Bytes diff = Make(
      [](DifferenceBuilder& b) { b.CopyBlock(140000, {.magnitude = 1000, .anchored = true}).LiteralBlock(Pattern(100, 4)); },
      DifferenceFacts(old, result));
  const platform::File oldFile = platform::File::OpenForReading(WriteFile("old", old).c_str());
  ASSERT_TRUE(oldFile.IsOpen());
  ScriptedHost host;
  TextBuffer error("stale");
  {
    platform::File output = platform::File::CreateForWriting(PathOf("out").c_str());
    ASSERT_TRUE(output.IsOpen());
    EXPECT_TRUE(ApplyDifference(host, oldFile, diff.data(), static_cast<uint32_t>(diff.size()), &output, error));
    EXPECT_EQ(Text(error), "");
  }
  EXPECT_TRUE(ReadFile("out") == result);
  EXPECT_TRUE(VerifyDifference(oldFile, diff.data(), static_cast<uint32_t>(diff.size()), error));

  const Bytes changed = Concat({Bytes{0}, Slice(old, 1, old.size() - 1)});
  const platform::File otherFile = platform::File::OpenForReading(WriteFile("changed", changed).c_str());
  error.AssignText("stale");
  EXPECT_FALSE(VerifyDifference(otherFile, diff.data(), static_cast<uint32_t>(diff.size()), error));
  EXPECT_EQ(Text(error), kChecksumMismatch);
  EXPECT_EQ(host.questions, 0);
}

TEST_F(DifferenceFiles, EmptyOldFileCanBeUpdated) {
  const Bytes result = {'n', 'e', 'w'};
  const Bytes diff = Make([](DifferenceBuilder& b) { b.LiteralBlock({'n', 'e', 'w'}); }, DifferenceFacts({}, result));
  const platform::File oldFile = platform::File::OpenForReading(WriteFile("empty", {}).c_str());
  ScriptedHost host;
  TextBuffer error;
  {
    platform::File output = platform::File::CreateForWriting(PathOf("out").c_str());
    EXPECT_TRUE(ApplyDifference(host, oldFile, diff.data(), static_cast<uint32_t>(diff.size()), &output, error));
    EXPECT_EQ(Text(error), "");
  }
  EXPECT_EQ(ReadFile("out"), result);

  // An empty file is still checked against the expected old file.
  const Bytes expectsContent = Make([](DifferenceBuilder& b) { b.LiteralBlock({'n'}); },
                                    DifferenceFacts({'x'}, {'n'}));
  EXPECT_FALSE(VerifyDifference(oldFile, expectsContent.data(), static_cast<uint32_t>(expectsContent.size()), error));
  EXPECT_EQ(Text(error), kSizeMismatch);
}

TEST_F(DifferenceFiles, EmptyDifferenceTouchesNothing) {
  const platform::File closed;
  ScriptedHost host;
  TextBuffer error("stale");
  platform::File output;
  const uint8_t none[1] = {0};
  EXPECT_TRUE(ApplyDifference(host, closed, none, 0, &output, error));
  EXPECT_TRUE(VerifyDifference(closed, none, 0, error));
  EXPECT_EQ(Text(error), "");
}

TEST_F(DifferenceFiles, SystemFailuresLeaveTheTextEmptyAndKeepTheLastError) {
  const Bytes old = Pattern(100);
  const Bytes diff = Make([](DifferenceBuilder& b) { b.CopyBlock(100, {}); }, DifferenceFacts(old, old));
  ScriptedHost host;
  TextBuffer error("stale");

  // An old file that cannot be mapped.
  const platform::File closed;
  const uint32_t mappingError = [&] {
    const platform::FileMapping probe = platform::FileMapping::MapReadOnly(closed);
    return platform::LastErrorCode();
  }();
  ASSERT_NE(mappingError, 0u);
  platform::SetLastErrorCode(0);
  EXPECT_FALSE(VerifyDifference(closed, diff.data(), static_cast<uint32_t>(diff.size()), error));
  EXPECT_EQ(Text(error), "");
  EXPECT_EQ(platform::LastErrorCode(), mappingError);

  // An output that cannot be written (opened for reading only).
  const platform::File oldFile = platform::File::OpenForReading(WriteFile("old", old).c_str());
  platform::File output = platform::File::OpenForReading(WriteFile("out", {}).c_str());
  const uint32_t writeError = [&] {
    uint32_t written = 0;
    EXPECT_FALSE(output.Write(old.data(), 1, &written));
    return platform::LastErrorCode();
  }();
  ASSERT_NE(writeError, 0u);
  platform::SetLastErrorCode(0);
  error.AssignText("stale");
  EXPECT_FALSE(ApplyDifference(host, oldFile, diff.data(), static_cast<uint32_t>(diff.size()), &output, error));
  EXPECT_EQ(Text(error), "");
  EXPECT_EQ(platform::LastErrorCode(), writeError);
  EXPECT_EQ(host.questions, 0);
}

}  // namespace
