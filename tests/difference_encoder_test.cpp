// Tests for the difference encoder and its suffix array: round trips through the applier, tight areas, header facts.
#include "tools/make/difference_encoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/difference_applier.h"
#include "engine/difference_format.h"
#include "tools/make/commands.h"
#include "tools/make/suffix_array.h"

namespace {

namespace fmt = difference_format;
using Bytes = std::vector<uint8_t>;

class CollectingSink final : public ResultSink {
 public:
  bool Write(const uint8_t* data, uint32_t count) override {
    bytes.insert(bytes.end(), data, data + count);
    return true;
  }
  Bytes bytes;
};

Bytes RandomBytes(std::mt19937& rng, size_t n, int alphabet = 256) {
  Bytes bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng() % alphabet);
  return bytes;
}

Bytes FromHex(std::string_view hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

uint32_t Crc(const Bytes& bytes) {
  return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

// How far a difference's own reading goes into each area. Decodes the
// blocks independently of the applier, counting bits, nibbles and bytes.
struct AreaUse {
  bool wellFormed = false;
  uint64_t flagBits = 0, selectorBits = 0, nibbles = 0, valueBytes = 0, literalBytes = 0;
  uint64_t repeatPieces = 0;
};

AreaUse MeasureAreaUse(const Bytes& d) {
  AreaUse use;
  const fmt::DifferenceHeader header = fmt::ReadDifferenceHeader(d.data());
  const fmt::LocatedAreas located = fmt::LocateAreas(header, d.size());
  const auto& layout = located.layout;
  auto area = [&](fmt::Area a) { return d.data() + layout[a].offset; };
  auto bit = [&](fmt::Area a, uint64_t k) { return (area(a)[k / 8] >> (k % 8)) & 1; };
  const uint8_t* values = area(fmt::Area::kValueBytes);
  const uint8_t* nibbleBytes = area(fmt::Area::kNibbles);
  auto value = [&]() {
    const uint32_t s = bit(fmt::Area::kSelectorBits, use.selectorBits++);
    const uint8_t b = values[use.valueBytes];
    uint32_t v = 0;
    if (b != 0) {
      v = s == 0 ? b : (uint32_t{b} << 8 | values[use.valueBytes + 1]);
      use.valueBytes += s + 1;
    } else {
      for (uint32_t i = 0; i < s + 3; ++i) v |= uint32_t{values[use.valueBytes + 1 + i]} << (8 * i);
      use.valueBytes += s + 4;
    }
    return v;
  };
  auto nibble = [&]() {
    const uint64_t k = use.nibbles++;
    return (nibbleBytes[k / 2] >> (4 * (k % 2))) & 0xFu;
  };
  auto nibbleByte = [&]() { return nibble() | nibble() << 4; };
  auto nibbleNumber = [&]() -> uint32_t {
    if (uint32_t n = nibble()) return n;
    if (uint32_t h = nibble()) return h << 4 | nibble();
    if (uint32_t a = nibbleByte()) return a << 8 | nibbleByte();
    if (uint32_t a = nibbleByte()) return a << 16 | nibbleByte() << 8 | nibbleByte();
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i) n = n << 8 | nibbleByte();
    return n;
  };
  bool afterLiteral = false;
  uint32_t copyBlock = 0;
  uint32_t pieceLength = 0;
  for (uint32_t block = 0; block < header.blockCount; ++block) {
    const uint32_t length = value();
    if (!afterLiteral && bit(fmt::Area::kFlagBits, use.flagBits++)) {
      use.literalBytes += length;
      afterLiteral = true;
      continue;
    }
    afterLiteral = false;
    const uint32_t width = bit(fmt::Area::kWidthCodes, 2 * copyBlock) |
                           bit(fmt::Area::kWidthCodes, 2 * copyBlock + 1) << 1;
    use.valueBytes += width + 1;
    if (bit(fmt::Area::kPieceBits, copyBlock)) {
      const uint32_t pieces = value();
      for (uint32_t i = 0; i < pieces; ++i) {
        value();  // gap
        if (bit(fmt::Area::kSelectorBits, use.selectorBits++)) {
          ++use.repeatPieces;
        } else {
          pieceLength = nibbleNumber();
          use.literalBytes += pieceLength;
        }
      }
    }
    ++copyBlock;
  }
  use.wellFormed = copyBlock == header.copyBlockCount && !located.valueAreaInverted;
  return use;
}

struct EncodeCase {
  const char* name;
  Bytes oldBytes;
  Bytes newBytes;
};

// Encodes, checks the header and the tightness of every area, applies the
// difference with the applier and compares the result.
void ExpectRoundTrip(const EncodeCase& c, DifferenceStatistics* statistics = nullptr) {
  SCOPED_TRACE(c.name);
  Bytes d;
  DifferenceStatistics local;
  DifferenceStatistics& stats = statistics != nullptr ? *statistics : local;
  const DifferenceFileFacts oldFacts{0x21, 0x5A2B1C3D};
  const DifferenceFileFacts newFacts{0x20, 0x5A2C1C3E};
  ASSERT_EQ(EncodeDifference(c.oldBytes, c.newBytes, oldFacts, newFacts, d, &stats),
            EncodeStatus::kEncoded);

  ASSERT_GE(d.size(), fmt::kHeaderLength);
  const fmt::DifferenceHeader header = fmt::ReadDifferenceHeader(d.data());
  EXPECT_EQ(0, std::memcmp(d.data(), fmt::kSignature, 4));
  EXPECT_EQ(header.headerCrc, fmt::ComputeHeaderCrc(d.data(), fmt::kHeaderLength));
  EXPECT_EQ(header.headerLength, fmt::kHeaderLength);
  EXPECT_EQ(header.totalLength, d.size());
  EXPECT_EQ(header.formatVersion, 1);
  EXPECT_EQ(header.sourceSize, c.oldBytes.size());
  EXPECT_EQ(header.sourceCrc, Crc(c.oldBytes));
  EXPECT_EQ(header.resultSize, c.newBytes.size());
  EXPECT_EQ(header.resultCrc, Crc(c.newBytes));
  EXPECT_EQ(header.sourceAttributes, 0x21u);
  EXPECT_EQ(header.sourceStamp, 0x5A2B1C3Du);
  EXPECT_EQ(header.resultAttributes, 0x20u);
  EXPECT_EQ(header.resultStamp, 0x5A2C1C3Eu);
  EXPECT_EQ(header.extraLength, 0);
  EXPECT_EQ(header.blockCount, stats.blockCount);
  EXPECT_EQ(header.copyBlockCount, stats.copyBlockCount);

  // Every area is read to its end: no spare byte anywhere, and the bit and
  // nibble areas hold fewer than 8 bits (one nibble) of padding.
  const AreaUse use = MeasureAreaUse(d);
  const auto& layout = fmt::LocateAreas(header, d.size()).layout;
  EXPECT_TRUE(use.wellFormed);
  EXPECT_EQ(use.valueBytes, layout[fmt::Area::kValueBytes].length);
  EXPECT_EQ(use.literalBytes, layout[fmt::Area::kLiteralBytes].length);
  EXPECT_EQ(fmt::BytesForBits(use.selectorBits), header.selectorBytes);
  EXPECT_EQ((use.nibbles + 1) / 2, header.nibbleBytes);
  EXPECT_LE(use.flagBits, uint64_t{header.copyBlockCount} + 1);
  EXPECT_EQ(use.repeatPieces, stats.repeatPieceCount);

  CollectingSink sink;
  ASSERT_EQ(DecodeDifference(ByteView{c.oldBytes.data(), c.oldBytes.size()}, d.data(),
                             static_cast<uint32_t>(d.size()), &sink),
            DifferenceStatus::kApplied);
  EXPECT_TRUE(sink.bytes == c.newBytes) << "result differs from the new file";
}

// A stand-in for machine code: random instruction bytes with a 4-byte
// absolute address every few bytes, pointing into one of a few regions.
struct FakeProgram {
  std::vector<uint32_t> addressAt;  // offsets of the address fields
  Bytes bytes;
};

FakeProgram MakeProgram(std::mt19937& rng, size_t n, uint32_t base) {
  FakeProgram program;
  program.bytes = RandomBytes(rng, n);
  for (size_t at = 5; at + 4 < n; at += 6 + rng() % 24) {
    const uint32_t address = base + static_cast<uint32_t>(rng() % 0x40000);
    std::memcpy(program.bytes.data() + at, &address, 4);
    program.addressAt.push_back(static_cast<uint32_t>(at));
  }
  return program;
}

TEST(SuffixArrayTest, SortsEverySuffixLikeAPlainSort) {
  std::mt19937 rng(7);
  for (int iteration = 0; iteration < 3000; ++iteration) {
    const size_t n = rng() % 80;
    const int alphabet = iteration % 5 == 0 ? 256 : 1 + static_cast<int>(rng() % 4);
    const Bytes text = RandomBytes(rng, n, alphabet);
    std::vector<int32_t> expected(n);
    for (size_t i = 0; i < n; ++i) expected[i] = static_cast<int32_t>(i);
    std::sort(expected.begin(), expected.end(), [&](int32_t a, int32_t b) {
      return std::lexicographical_compare(text.begin() + a, text.end(), text.begin() + b, text.end());
    });
    ASSERT_EQ(BuildSuffixArray(text), expected) << "n=" << n << " alphabet=" << alphabet;
  }
}

TEST(SuffixArrayTest, HandlesLongRepetitiveText) {
  Bytes text(100000, 'a');
  for (size_t i = 0; i < text.size(); i += 997) text[i] = 'b';
  const std::vector<int32_t> sa = BuildSuffixArray(text);
  ASSERT_EQ(sa.size(), text.size());
  for (size_t i = 1; i < sa.size(); ++i) {
    ASSERT_TRUE(std::lexicographical_compare(text.begin() + sa[i - 1], text.end(),
                                             text.begin() + sa[i], text.end()))
        << "at " << i;
  }
}

TEST(DifferenceEncoderTest, RoundTripsEdgeAndRandomCases) {
  std::mt19937 rng(11);
  const Bytes base = RandomBytes(rng, 5000);
  Bytes sparse = base;
  for (size_t i = 17; i < sparse.size(); i += 37 + rng() % 50) sparse[i] ^= 0x5A;
  Bytes inserted = base;
  inserted.insert(inserted.begin() + 1000, 700, 0x33);
  inserted.erase(inserted.begin() + 3000, inserted.begin() + 3500);
  Bytes zeros(70000, 0);
  Bytes zerosChanged = zeros;
  zerosChanged[300] = 1;
  zerosChanged.resize(80000, 0);
  Bytes small = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

  const EncodeCase cases[] = {
      {"both empty", {}, {}},
      {"old empty", {}, base},
      {"new empty", base, {}},
      {"one byte each", {7}, {9}},
      {"identical", base, base},
      {"unrelated", base, RandomBytes(rng, 4000)},
      {"sparse changes", base, sparse},
      {"insert and delete", base, inserted},
      {"long runs", zeros, zerosChanged},
      {"shorter than a search", small, Bytes{1, 2, 3, 4, 0, 6, 7}},
      {"text from a tiny alphabet", RandomBytes(rng, 20000, 3), RandomBytes(rng, 20000, 3)},
      // A match that runs to the old file's end, then changed bytes, then a
      // match elsewhere: the changed bytes must not be copied from past the end.
      {"changes after the old file's end",
       FromHex("3a4024b9005008b90050087939b950242f3b3b3b3b3b3bb9003b3b3b3b3b3b3b3b3b3bffff0af200275f52ffff"
               "3b3b3b3b3b3b3b3b3b3b3b3b3b3b3b"),
       FromHex("3b3b3b3b3b3b3b3b3b3b3b3b3b3b3b3b3b3b3b3b3b3b3f3b3b3b3b3b3b3b3b3b34")},
  };
  for (const EncodeCase& c : cases) ExpectRoundTrip(c);
}

TEST(DifferenceEncoderTest, UnchangedFileIsOneCopyBlock) {
  std::mt19937 rng(3);
  const Bytes bytes = RandomBytes(rng, 300000);
  DifferenceStatistics stats;
  ExpectRoundTrip({"identical", bytes, bytes}, &stats);
  EXPECT_EQ(stats.blockCount, 1u);
  EXPECT_EQ(stats.copyBlockCount, 1u);
  EXPECT_EQ(stats.copiedBytes, bytes.size());
}

TEST(DifferenceEncoderTest, MovedRegionsAreCopiedNotStored) {
  std::mt19937 rng(5);
  const Bytes a = RandomBytes(rng, 40000);
  const Bytes b = RandomBytes(rng, 30000);
  const Bytes c = RandomBytes(rng, 50000);
  Bytes oldBytes = a;
  oldBytes.insert(oldBytes.end(), b.begin(), b.end());
  oldBytes.insert(oldBytes.end(), c.begin(), c.end());
  // New order c, a, b, with a little fresh data between them.
  const Bytes fresh = RandomBytes(rng, 100);
  Bytes newBytes = c;
  newBytes.insert(newBytes.end(), fresh.begin(), fresh.end());
  newBytes.insert(newBytes.end(), a.begin(), a.end());
  newBytes.insert(newBytes.end(), b.begin(), b.end());

  DifferenceStatistics stats;
  ExpectRoundTrip({"moved regions", oldBytes, newBytes}, &stats);
  EXPECT_LE(stats.literalBlockBytes, 200u);
  EXPECT_GE(stats.copiedBytes, newBytes.size() - 200);
  EXPECT_LE(stats.copyBlockCount, 6u);
}

TEST(DifferenceEncoderTest, RelocatedAddressesBecomeRepeatPieces) {
  // Every address grows by the same amount and a region is shifted by an
  // insertion: the changed bytes repeat one byte-wise change.
  std::mt19937 rng(9);
  const FakeProgram program = MakeProgram(rng, 200000, 0x00401000);
  Bytes newBytes = program.bytes;
  for (uint32_t at : program.addressAt) {
    uint32_t address;
    std::memcpy(&address, newBytes.data() + at, 4);
    address += 0x30;
    // The byte-wise change is the same only where the low byte does not carry.
    if ((address & 0xFF) >= 0x30) std::memcpy(newBytes.data() + at, &address, 4);
  }
  const Bytes inserted = RandomBytes(rng, 300);
  newBytes.insert(newBytes.begin() + 100000, inserted.begin(), inserted.end());

  DifferenceStatistics stats;
  ExpectRoundTrip({"relocated", program.bytes, newBytes}, &stats);
  EXPECT_GT(stats.repeatPieceCount, stats.newPieceCount * 10);
  Bytes d;
  ASSERT_EQ(EncodeDifference(program.bytes, newBytes, {}, {}, d), EncodeStatus::kEncoded);
  EXPECT_LT(DeflatedSize(d), 40000u) << "changes: " << program.addressAt.size();
}

TEST(DifferenceEncoderTest, ChangesThatComeInPairsShareOneRepeatedPiece) {
  // Each instruction changes two bytes a few bytes apart by different amounts
  // (an address and a displacement). As two pieces they alternate and never
  // repeat; as one piece that carries the bytes between them, every change
  // after the first repeats it.
  std::mt19937 rng(21);
  const Bytes oldBytes = RandomBytes(rng, 100000);
  Bytes newBytes = oldBytes;
  for (size_t at = 50; at + 6 < newBytes.size(); at += 40 + rng() % 60) {
    newBytes[at] = static_cast<uint8_t>(newBytes[at] + 0x20);
    newBytes[at + 3] = static_cast<uint8_t>(newBytes[at + 3] + 0x90);
  }
  DifferenceStatistics stats;
  ExpectRoundTrip({"paired changes", oldBytes, newBytes}, &stats);
  EXPECT_LE(stats.newPieceCount, 3u);
  EXPECT_GT(stats.repeatPieceCount, 1000u);
}

TEST(DifferenceEncoderTest, RoundTripsRandomEdits) {
  std::mt19937 rng(13);
  for (int iteration = 0; iteration < 60; ++iteration) {
    const Bytes oldBytes = RandomBytes(rng, rng() % 20000, iteration % 3 == 0 ? 4 : 256);
    Bytes newBytes = oldBytes;
    const int edits = static_cast<int>(rng() % 12);
    for (int e = 0; e < edits; ++e) {
      const size_t at = newBytes.empty() ? 0 : rng() % newBytes.size();
      switch (rng() % 4) {
        case 0:
          if (!newBytes.empty()) newBytes[at] = static_cast<uint8_t>(rng());
          break;
        case 1: {
          const Bytes piece = RandomBytes(rng, rng() % 300);
          newBytes.insert(newBytes.begin() + at, piece.begin(), piece.end());
          break;
        }
        case 2:
          newBytes.erase(newBytes.begin() + at,
                         newBytes.begin() + std::min(newBytes.size(), at + rng() % 400));
          break;
        default:
          if (!oldBytes.empty()) {  // a copy of another old region
            const size_t from = rng() % oldBytes.size();
            const size_t n = std::min<size_t>(oldBytes.size() - from, rng() % 2000);
            newBytes.insert(newBytes.begin() + at, oldBytes.begin() + from,
                            oldBytes.begin() + from + n);
          }
      }
    }
    ExpectRoundTrip({"random edits", oldBytes, newBytes});
  }
}

Bytes ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(DifferenceEncoderTest, RoundTripsRealProgramsOfThisMachine) {
  // Pairs of programs built from much the same source.
  const std::pair<const char*, const char*> pairs[] = {
      {"/usr/bin/ls", "/usr/bin/dir"},
      {"/usr/bin/bsdiff", "/usr/bin/bspatch"},
      {"/usr/bin/cmp", "/usr/bin/diff"},
  };
  int tested = 0;
  for (const auto& [oldPath, newPath] : pairs) {
    if (!std::filesystem::exists(oldPath) || !std::filesystem::exists(newPath)) continue;
    const Bytes oldBytes = ReadFile(oldPath);
    const Bytes newBytes = ReadFile(newPath);
    ExpectRoundTrip({newPath, oldBytes, newBytes});
    ++tested;
  }
  if (tested == 0) GTEST_SKIP() << "none of the program pairs is installed";
}

// The diff, apply and verify commands on real files in a temporary folder.
class DifferenceCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("selfpatch_commands_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string PathOf(const char* name) const { return (folder_ / name).string(); }
  void WriteFile(const char* name, const Bytes& bytes) const {
    std::ofstream out(PathOf(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  // Runs a command with its arguments; `errors` receives what it printed to
  // standard error.
  int Run(const char* command, std::vector<std::string> arguments, std::string* errors = nullptr) {
    for (const ToolCommand& c : DifferenceCommands()) {
      if (std::strcmp(c.name, command) != 0) continue;
      std::vector<char*> argv;
      for (std::string& a : arguments) argv.push_back(a.data());
      ::testing::internal::CaptureStderr();
      ::testing::internal::CaptureStdout();
      const int code = c.run(argv);
      const std::string err = ::testing::internal::GetCapturedStderr();
      (void)::testing::internal::GetCapturedStdout();
      if (errors != nullptr) *errors = err;
      return code;
    }
    ADD_FAILURE() << "no command " << command;
    return -1;
  }

  std::filesystem::path folder_;
};

TEST_F(DifferenceCommandsTest, DiffThenApplyAndVerifyReproduceTheNewFile) {
  std::mt19937 rng(21);
  const Bytes oldBytes = RandomBytes(rng, 50000);
  Bytes newBytes = oldBytes;
  for (size_t i = 100; i < newBytes.size(); i += 999) newBytes[i] ^= 0xFF;
  WriteFile("old", oldBytes);
  WriteFile("new", newBytes);

  ASSERT_EQ(Run("diff", {PathOf("old"), PathOf("new"), PathOf("d.df")}), kExitSuccess);
  EXPECT_EQ(Run("verify", {PathOf("old"), PathOf("d.df")}), kExitSuccess);
  ASSERT_EQ(Run("apply", {PathOf("old"), PathOf("d.df"), PathOf("out")}), kExitSuccess);
  EXPECT_TRUE(ReadFile(PathOf("out").c_str()) == newBytes);
}

TEST_F(DifferenceCommandsTest, FailuresPrintTheApplierTextAndExitOne) {
  std::mt19937 rng(22);
  const Bytes oldBytes = RandomBytes(rng, 3000);
  Bytes newBytes = oldBytes;
  newBytes.resize(3500, 7);
  WriteFile("old", oldBytes);
  WriteFile("new", newBytes);
  ASSERT_EQ(Run("diff", {PathOf("old"), PathOf("new"), PathOf("d.df")}), kExitSuccess);
  Bytes damaged = ReadFile(PathOf("d.df").c_str());
  damaged[fmt::kResultSizeAt] ^= 1;
  WriteFile("damaged.df", damaged);

  struct Case {
    const char* command;
    const char* oldName;
    const char* diffName;
    const char* expected;
  };
  const Case cases[] = {
      // The new file is offered as the old one: it has already been updated
      // (size and checksum both differ from the expected old file).
      {"verify", "new", "d.df", "源文件校验不同于期待的文件\n\n文件可能已经升级\n"},
      {"apply", "new", "d.df", "源文件校验不同于期待的文件\n\n文件可能已经升级\n"},
      {"verify", "old", "damaged.df", "Diff 标题已破坏\n"},
      {"apply", "old", "damaged.df", "Diff 标题已破坏\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + c.diffName);
    std::string errors;
    std::vector<std::string> arguments = {PathOf(c.oldName), PathOf(c.diffName)};
    if (std::strcmp(c.command, "apply") == 0) arguments.push_back(PathOf("out"));
    EXPECT_EQ(Run(c.command, arguments, &errors), kExitFailure);
    EXPECT_EQ(errors, c.expected);
    EXPECT_FALSE(std::filesystem::exists(PathOf("out"))) << "a failed apply leaves no output";
  }
}

TEST_F(DifferenceCommandsTest, HelpAndWrongUsage) {
  for (const char* command : {"diff", "apply", "verify"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(Run(command, {"--help"}), kExitSuccess);
    EXPECT_EQ(Run(command, {"only-one"}), kExitUsage);
  }
  std::string errors;
  EXPECT_EQ(Run("apply", {PathOf("missing"), PathOf("missing.df"), PathOf("out")}, &errors),
            kExitFailure);
  EXPECT_NE(errors.find("missing.df"), std::string::npos) << errors;
}

}  // namespace
