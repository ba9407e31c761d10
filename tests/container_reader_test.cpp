// The package container reader: finding the archive, walking its directory and
// extracting entries, on good and damaged packages.
#include "package/container_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/file_map.h"
#include "platform/message_box.h"
#include "platform/system_error.h"
#include "tests/support/package_writer.h"

namespace {

const char* const kDamaged = "补丁文件错误。";
const char* const kInconsistent = "文件不一致错误。";

// The image in a block of exactly its size, so that the sanitizer catches
// any read past its end.
class Image {
 public:
  explicit Image(const std::vector<uint8_t>& bytes)
      : size_(bytes.size()), bytes_(new uint8_t[bytes.empty() ? 1 : bytes.size()]) {
    if (!bytes.empty()) std::memcpy(bytes_.get(), bytes.data(), bytes.size());
  }
  [[nodiscard]] const uint8_t* data() const { return bytes_.get(); }
  [[nodiscard]] uint32_t size() const { return static_cast<uint32_t>(size_); }

 private:
  size_t size_;
  std::unique_ptr<uint8_t[]> bytes_;
};

PackagePlan Plan(std::vector<PackageEntryPlan> files, std::vector<uint8_t> hostPrefix = {}) {
  PackagePlan plan;
  plan.hostPrefix = std::move(hostPrefix);
  plan.files = std::move(files);
  return plan;
}

struct Walk {
  bool ok = false;
  std::vector<PackageEntry> entries;
};

Walk WalkAll(PackageArchive& archive) {
  Walk walk;
  walk.ok = ForEachEntry(archive, [&](const PackageEntry& entry, uint16_t index) {
    EXPECT_EQ(index, walk.entries.size());
    walk.entries.push_back(entry);
    return true;
  });
  return walk;
}

// Pseudo-random bytes that compress a little, like a program's code.
std::vector<uint8_t> SampleBytes(size_t size, uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = (random() % 4 == 0) ? static_cast<uint8_t>(random()) : static_cast<uint8_t>(i / 7);
  }
  return bytes;
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TempFolder {
 public:
  TempFolder() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            (std::string("selfpatch_container_") + info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  [[nodiscard]] std::filesystem::path operator/(const char* name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Answers from a script and records what it was asked.
class ScriptedQuestionHost final : public QuestionHost {
 public:
  struct Question {
    std::string text;
    const char* caption;
    uint32_t style;
  };
  explicit ScriptedQuestionHost(std::deque<int> answers) : answers_(std::move(answers)) {}
  int ShowMessageBox(const char* text, const char* caption, uint32_t style) override {
    asked.push_back({text, caption, style});
    if (answers_.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return platform::kIdCancel;
    }
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  std::vector<Question> asked;

 private:
  std::deque<int> answers_;
};

// Extracts one entry to memory and into a file; what each gave.
struct Extraction {
  bool memoryOk = false;
  const char* memoryError = nullptr;
  std::vector<uint8_t> memoryBytes;
  bool fileOk = false;
  const char* fileError = nullptr;
  std::vector<uint8_t> fileBytes;
  bool verifyOk = false;
};

Extraction ExtractBoth(PackageArchive& archive, const uint8_t* localHeader,
                       const std::filesystem::path& target) {
  Extraction result;
  ExtractedBlock block;
  archive.ReadingError = nullptr;
  result.memoryOk = ExtractToMemory(archive, localHeader, &block, 0);
  result.memoryError = archive.ReadingError;
  if (result.memoryOk) result.memoryBytes.assign(block.bytes.get(), block.bytes.get() + block.length);

  archive.ReadingError = nullptr;
  {
    platform::File file = platform::File::CreateForWriting(target.c_str());
    EXPECT_TRUE(file.IsOpen());
    result.fileOk = ExtractToFile(archive, localHeader, &file);
  }
  result.fileError = archive.ReadingError;
  result.fileBytes = ReadFileBytes(target);
  result.verifyOk = VerifyEntry(archive, localHeader);
  return result;
}

// --- Finding the end record ------------------------------------------------

struct FindCase {
  const char* what;
  std::vector<uint8_t> bytes;
  int64_t endRecord;  // offset, or -1 for not found
};

std::vector<FindCase> FindCases() {
  std::vector<FindCase> cases;
  const std::vector<uint8_t> empty = BuildPackage(PackagePlan()).bytes;  // the 22-byte end record alone
  cases.push_back({"empty image", {}, -1});
  cases.push_back({"end record alone at byte 0", empty, -1});
  std::vector<uint8_t> shifted = empty;
  shifted.insert(shifted.begin(), 'M');
  cases.push_back({"end record at byte 1 of 23", shifted, 1});
  std::vector<uint8_t> trailing = empty;
  trailing.push_back(0);
  cases.push_back({"end record at byte 0 of 23", trailing, -1});
  std::vector<uint8_t> cut(shifted.begin(), shifted.end() - 1);
  cases.push_back({"end record cut short", cut, -1});

  const PackageLayout withComment = BuildPackage([] {
    PackagePlan plan = Plan({StoredFile("a", BytesOf("abc"))}, BytesOf("MZ host"));
    plan.archiveComment.assign(70000, 'c');
    return plan;
  }());
  cases.push_back({"comment longer than 64 KiB", withComment.bytes,
                   static_cast<int64_t>(withComment.endRecord)});

  // A whole package inside the host: the archive nearest the end wins.
  const std::vector<uint8_t> inner = BuildPackage(Plan({StoredFile("inner", {})})).bytes;
  const PackageLayout outer = BuildPackage(Plan({StoredFile("outer", {})}, inner));
  cases.push_back({"nearest the end wins", outer.bytes, static_cast<int64_t>(outer.endRecord)});

  cases.push_back({"garbage", SampleBytes(5000, 7), -1});
  return cases;
}

TEST(OpenPackage, FindsTheEndRecordNearestTheEnd) {
  for (const FindCase& c : FindCases()) {
    SCOPED_TRACE(c.what);
    const Image image(c.bytes);
    PackageArchive archive;
    archive.ReadingError = nullptr;
    const uint8_t* found = OpenPackage(archive, image.data(), image.size());
    EXPECT_EQ(archive.endRecord, found);
    EXPECT_EQ(archive.imageStart, image.data());
    EXPECT_EQ(archive.imageSize, image.size());
    if (c.endRecord < 0) {
      EXPECT_EQ(found, nullptr);
      EXPECT_STREQ(archive.ReadingError, kDamaged);
    } else {
      EXPECT_EQ(found, image.data() + c.endRecord);
      EXPECT_EQ(archive.ReadingError, nullptr);
    }
  }
}

// --- Walking the central directory -----------------------------------------

TEST(ForEachEntry, VisitsEveryEntryWithItsFields) {
  PackageEntryPlan folder = StoredFile("Add/sub/", {});
  folder.externalAttributes = kAttributeDirectory;
  PackageEntryPlan file = DeflatedFile("Update/app.exe.df", SampleBytes(3000));
  file.dosTime = DosTime(13, 45, 58);
  file.dosDate = DosDate(2003, 12, 31);
  file.externalAttributes = 0x21;
  file.localExtra = BytesOf("LX");
  file.centralExtra = BytesOf("central extra");
  file.centralComment = BytesOf("a comment");
  const PackageLayout layout = BuildPackage(
      Plan({StoredFile("product", BytesOf("[PRODUCT]\r\n")), folder, file}, BytesOf("MZ...the host...")));
  const Image image(layout.bytes);
  PackageArchive archive;
  ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
  const Walk walk = WalkAll(archive);
  ASSERT_TRUE(walk.ok);
  ASSERT_EQ(walk.entries.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(walk.entries[i].centralRecord, image.data() + layout.centralRecords[i]);
    EXPECT_EQ(walk.entries[i].localHeader, image.data() + layout.localHeaders[i]);
  }
  const PackageEntry& e = walk.entries[2];
  EXPECT_EQ(std::string(e.NameBytes(), e.NameLength()), "Update/app.exe.df");
  EXPECT_EQ(e.Method(), 8);
  EXPECT_EQ(e.DosTime(), DosTime(13, 45, 58));
  EXPECT_EQ(e.DosDate(), DosDate(2003, 12, 31));
  EXPECT_EQ(e.ExternalAttributes(), 0x21u);
  EXPECT_FALSE(e.IsDirectory());
  EXPECT_EQ(e.Crc32(), Crc32Of(file.content));
  EXPECT_EQ(e.UncompressedSize(), 3000u);
  EXPECT_EQ(e.CompressedSize(), layout.centralRecords[0] - layout.entryData[2]);
  EXPECT_TRUE(walk.entries[1].IsDirectory());
  EXPECT_EQ(walk.entries[0].Method(), 0);
}

TEST(ForEachEntry, StopsWhenTheVisitorSaysSoAndStillSucceeds) {
  const Image image(BuildPackage(Plan({StoredFile("a", {}), StoredFile("b", {}), StoredFile("c", {})}))
                        .bytes);
  PackageArchive archive;
  ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
  archive.ReadingError = nullptr;
  int visits = 0;
  EXPECT_TRUE(ForEachEntry(archive, [&](const PackageEntry&, uint16_t index) {
    ++visits;
    return index < 1;
  }));
  EXPECT_EQ(visits, 2);
  EXPECT_EQ(archive.ReadingError, nullptr);
}

TEST(ForEachEntry, AnEmptyDirectoryIsWalked) {
  const Image image(BuildPackage(Plan({}, BytesOf("MZ"))).bytes);
  PackageArchive archive;
  ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
  const Walk walk = WalkAll(archive);
  EXPECT_TRUE(walk.ok);
  EXPECT_TRUE(walk.entries.empty());
}

// A damaged directory: each case breaks the last of two entries, or the end
// record, and the walk must fail after visiting `visited` entries.
struct BadWalkCase {
  const char* what;
  PackagePlan plan;
  // Applied to the built bytes; the layout tells where things lie.
  void (*patch)(PackageLayout&) = nullptr;
  size_t visited = 1;
};

PackagePlan TwoEntries() {
  return Plan({StoredFile("first", BytesOf("one")), DeflatedFile("second", SampleBytes(500))},
              BytesOf("MZ-host-bytes"));
}

PackagePlan TwoEntriesWith(void (*change)(PackagePlan&)) {
  PackagePlan plan = TwoEntries();
  change(plan);
  return plan;
}

std::vector<BadWalkCase> BadWalkCases() {
  return {
      {"offsets counted from the archive's start",
       TwoEntriesWith([](PackagePlan& s) { s.offsetsFromArchiveStart = true; }), nullptr, 0},
      {"entry count larger than the directory",
       TwoEntriesWith([](PackagePlan& s) { s.entryCount = 3; }), nullptr, 2},
      {"entry count far larger than the directory",
       TwoEntriesWith([](PackagePlan& s) { s.entryCount = 0xFFFF; }), nullptr, 2},
      {"central record with a wrong signature",
       TwoEntriesWith([](PackagePlan& s) { s.files[1].centralSignature = kLocalHeaderSignature; })},
      {"directory offset at the end record",
       TwoEntries(), [](PackageLayout& l) { PutU32(l.bytes, l.endRecord + 16, l.endRecord); }, 0},
      {"directory offset past the image",
       TwoEntries(), [](PackageLayout& l) { PutU32(l.bytes, l.endRecord + 16, 0xFFFFFFF0); }, 0},
      {"directory offset into the host",
       TwoEntries(), [](PackageLayout& l) { PutU32(l.bytes, l.endRecord + 16, 1); }, 0},
      {"directory offset 20 bytes before the end record (fixed fields cross it)",
       TwoEntries(),
       [](PackageLayout& l) {
         PutU32(l.bytes, l.endRecord + 16, l.endRecord - 20);
         PutU32(l.bytes, l.endRecord - 20, kCentralRecordSignature);
       },
       0},
      {"central name running past the end record",
       TwoEntriesWith([](PackagePlan& s) { s.files[1].centralNameLength = 200; })},
      {"central name running off the image",
       TwoEntriesWith([](PackagePlan& s) { s.files[1].centralNameLength = 0xFFFF; })},
      {"central extra field running off the image",
       TwoEntriesWith([](PackagePlan& s) { s.files[1].centralExtraLength = 0xFFFF; })},
      {"central comment running off the image",
       TwoEntriesWith([](PackagePlan& s) { s.files[1].centralCommentLength = 0xFFFF; })},
      {"last record with nothing after its fixed fields",
       TwoEntriesWith([](PackagePlan& s) { s.files[1].centralNameLength = 0; }),
       [](PackageLayout& l) {
         // Drop the name so that the record ends at the end record.
         l.bytes.erase(l.bytes.begin() + l.centralRecords[1] + 46,
                       l.bytes.begin() + l.centralRecords[1] + 46 + 6);
         PutU32(l.bytes, l.endRecord - 6 + 16, l.centralDirectory);
       }},
      {"local header offset at the end record",
       TwoEntries(),
       [](PackageLayout& l) { PutU32(l.bytes, l.centralRecords[1] + 42, l.endRecord); }},
      {"local header offset past the image",
       TwoEntriesWith([](PackagePlan& s) { s.files[1].localHeaderOffset = 0xFFFFFFFF; })},
      {"local header crossing the end record",
       TwoEntries(),
       [](PackageLayout& l) { PutU32(l.bytes, l.centralRecords[1] + 42, l.endRecord - 29); }},
      {"local name running past the end record",
       TwoEntriesWith([](PackagePlan& s) { s.files[1].localNameLength = 0xFFFF; })},
      {"local extra field running past the end record",
       TwoEntriesWith([](PackagePlan& s) { s.files[1].localExtraLength = 0xFFF0; })},
  };
}

TEST(ForEachEntry, RejectsADamagedDirectory) {
  for (BadWalkCase& c : BadWalkCases()) {
    SCOPED_TRACE(c.what);
    PackageLayout layout = BuildPackage(c.plan);
    if (c.patch != nullptr) c.patch(layout);
    const Image image(layout.bytes);
    PackageArchive archive;
    ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
    archive.ReadingError = nullptr;
    const Walk walk = WalkAll(archive);
    EXPECT_FALSE(walk.ok);
    EXPECT_EQ(walk.entries.size(), c.visited);
    EXPECT_STREQ(archive.ReadingError, kDamaged);
  }
}

TEST(ForEachEntry, AcceptsTheSameDirectoryUndamaged) {
  // The baseline of the table above: the two entries walk and extract.
  const PackageLayout layout = BuildPackage(TwoEntries());
  const Image image(layout.bytes);
  PackageArchive archive;
  ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
  const Walk walk = WalkAll(archive);
  ASSERT_TRUE(walk.ok);
  ASSERT_EQ(walk.entries.size(), 2u);
  for (const PackageEntry& entry : walk.entries) EXPECT_TRUE(VerifyEntry(archive, entry.localHeader));
}

// --- Extraction --------------------------------------------------------------

struct GoodEntryCase {
  const char* what;
  PackageEntryPlan file;
};

std::vector<GoodEntryCase> GoodEntryCases() {
  PackageEntryPlan withExtras = DeflatedFile("x", SampleBytes(1000));
  withExtras.localExtra = BytesOf("local extra field");
  PackageEntryPlan storedBinary = StoredFile("bin", SampleBytes(70000, 3));
  return {
      {"stored text", StoredFile("license.rtf", BytesOf("{\\rtf1 hello}"))},
      {"stored binary over 64 KiB", storedBinary},
      {"deflated, level 0 (stored blocks)", DeflatedFile("a", SampleBytes(5000), 0)},
      {"deflated, level 1", DeflatedFile("a", SampleBytes(5000), 1)},
      {"deflated, level 9", DeflatedFile("a", SampleBytes(5000), 9)},
      {"deflated, many output buffers", DeflatedFile("big", SampleBytes(300000, 5))},
      {"deflated, exactly one output buffer", DeflatedFile("a", SampleBytes(65536, 6))},
      {"deflated, highly compressible", DeflatedFile("z", std::vector<uint8_t>(1 << 20, 'z'))},
      {"with a local extra field", withExtras},
  };
}

TEST(Extraction, YieldsTheContentInMemoryAndInAFile) {
  TempFolder folder;
  for (const GoodEntryCase& c : GoodEntryCases()) {
    SCOPED_TRACE(c.what);
    const PackageLayout layout =
        BuildPackage(Plan({StoredFile("before", BytesOf("x")), c.file}, BytesOf("MZ")));
    const Image image(layout.bytes);
    PackageArchive archive;
    ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
    const Walk walk = WalkAll(archive);
    ASSERT_TRUE(walk.ok);
    const Extraction result = ExtractBoth(archive, walk.entries[1].localHeader, folder / "out");
    EXPECT_TRUE(result.memoryOk);
    EXPECT_TRUE(result.fileOk);
    EXPECT_TRUE(result.verifyOk);
    EXPECT_TRUE(result.memoryBytes == c.file.content);
    EXPECT_TRUE(result.fileBytes == c.file.content);
  }
}

TEST(ExtractToMemory, GivesTheExtraRoomAfterTheBytes) {
  const PackageLayout layout = BuildPackage(Plan({DeflatedFile("product", BytesOf("[PRODUCT]"))}));
  const Image image(layout.bytes);
  PackageArchive archive;
  ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
  ExtractedBlock block;
  ASSERT_TRUE(ExtractToMemory(archive, image.data() + layout.localHeaders[0], &block, 1));
  ASSERT_EQ(block.length, 9u);
  block.bytes[block.length] = '\0';  // the room is there (the sanitizer checks)
  EXPECT_STREQ(reinterpret_cast<const char*>(block.bytes.get()), "[PRODUCT]");
}

TEST(Extraction, AnEmptyEntryIsNotLookedAt) {
  // Uncompressed size 0: CRC-32, method and data are never checked, even when
  // the data would run off the image.
  PackageEntryPlan empty = DeflatedFile("del.files", {});
  empty.crc = 0xDEADBEEF;
  empty.compressedSize = 0xFFFFFFFF;
  empty.method = 99;
  const PackageLayout layout = BuildPackage(Plan({empty}));
  const Image image(layout.bytes);
  PackageArchive archive;
  ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
  const uint8_t* local = image.data() + layout.localHeaders[0];

  ExtractedBlock block;
  ASSERT_TRUE(ExtractToMemory(archive, local, &block, 1));
  EXPECT_EQ(block.length, 0u);
  ASSERT_NE(block.bytes, nullptr);
  block.bytes[0] = 0;  // exactly one byte of room

  ExtractedBlock none;
  ASSERT_TRUE(ExtractToMemory(archive, local, &none, 0));
  EXPECT_EQ(none.bytes, nullptr);
  EXPECT_EQ(none.length, 0u);

  TempFolder folder;
  {
    platform::File file = platform::File::CreateForWriting((folder / "empty").c_str());
    EXPECT_TRUE(ExtractToFile(archive, local, &file));
  }
  EXPECT_TRUE(ReadFileBytes(folder / "empty").empty());
  EXPECT_TRUE(VerifyEntry(archive, local));
}

TEST(Extraction, MethodZeroWithUnequalSizesIsInflated) {
  const std::vector<uint8_t> content = SampleBytes(4000);
  PackageEntryPlan file = DeflatedFile("a", content);
  file.method = 0;
  PackageEntryPlan other = DeflatedFile("b", content);
  other.method = 12;  // any method but 0 is inflated
  const PackageLayout layout = BuildPackage(Plan({file, other}));
  const Image image(layout.bytes);
  PackageArchive archive;
  ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
  for (uint64_t local : layout.localHeaders) {
    ExtractedBlock block;
    ASSERT_TRUE(ExtractToMemory(archive, image.data() + local, &block, 0));
    EXPECT_TRUE(std::vector<uint8_t>(block.bytes.get(), block.bytes.get() + block.length) == content);
  }
}

// A damaged entry: what each extraction answers and what the file holds.
struct BadEntryCase {
  const char* what;
  PackageEntryPlan file;
  bool memoryOk = false;
  bool fileOk = false;
  enum Written { kNothing, kContent, kSome } written = kNothing;
};

PackageEntryPlan Changed(PackageEntryPlan file, void (*change)(PackageEntryPlan&)) {
  change(file);
  return file;
}

std::vector<BadEntryCase> BadEntryCases() {
  const std::vector<uint8_t> content = SampleBytes(150000, 9);
  const PackageEntryPlan deflated = DeflatedFile("d", content);
  const PackageEntryPlan stored = StoredFile("s", content);
  const std::vector<uint8_t> compressed = DeflateRaw(content);
  const std::vector<uint8_t> shorter(content.begin(), content.end() - 10);
  return {
      {"stored, wrong CRC-32: nothing written",
       Changed(stored, [](PackageEntryPlan& f) { f.crc = 1; })},
      {"deflated, wrong CRC-32: written, then reported",
       Changed(deflated, [](PackageEntryPlan& f) { f.crc = 1; }), false, false, BadEntryCase::kContent},
      {"deflated, data cut short",
       Changed(deflated, [](PackageEntryPlan& f) {
         f.data = DeflateRaw(f.content);
         f.data->resize(f.data->size() / 2);
       }),
       false, false, BadEntryCase::kSome},
      {"deflated, garbage data",
       Changed(deflated, [](PackageEntryPlan& f) { f.data = std::vector<uint8_t>(5000, 0xFF); })},
      {"decodes to more than its size (CRC-32 of the size's bytes)",
       Changed(deflated,
               [](PackageEntryPlan& f) {
                 f.uncompressedSize = static_cast<uint32_t>(f.content.size() - 10);
                 f.crc = Crc32Of(std::span(f.content).first(f.content.size() - 10));
               }),
       false, false, BadEntryCase::kContent},
      {"decodes to more than its size (CRC-32 of all it decodes to)",
       Changed(deflated,
               [](PackageEntryPlan& f) { f.uncompressedSize = static_cast<uint32_t>(f.content.size() - 10); }),
       false, false, BadEntryCase::kContent},
      {"decodes to less than its size",
       Changed(deflated,
               [](PackageEntryPlan& f) { f.uncompressedSize = static_cast<uint32_t>(f.content.size() + 10); }),
       false, false, BadEntryCase::kContent},
      {"claims far more than the data can hold",
       Changed(deflated, [](PackageEntryPlan& f) { f.uncompressedSize = 0xFFFFFFFF; }), false, false,
       BadEntryCase::kContent},
      {"data followed by a stray Adler-32",
       Changed(deflated,
               [](PackageEntryPlan& f) {
                 f.data = DeflateRaw(f.content);
                 f.data->insert(f.data->end(), {1, 2, 3, 4});
               }),
       false, false, BadEntryCase::kSome},
      {"compressed size wraps",
       Changed(deflated, [](PackageEntryPlan& f) { f.compressedSize = 0xFFFFFFFF; })},
      {"compressed size runs into the end record",
       Changed(deflated, [](PackageEntryPlan& f) { f.compressedSize = 1 << 20; })},
      {"stored, sizes run into the end record",
       Changed(stored, [](PackageEntryPlan& f) { f.compressedSize = f.uncompressedSize = 1 << 20; })},
      {"method 8 with equal sizes is inflated, not copied",
       Changed(stored, [](PackageEntryPlan& f) { f.method = 8; })},
  };
}

TEST(Extraction, RejectsADamagedEntry) {
  TempFolder folder;
  for (const BadEntryCase& c : BadEntryCases()) {
    SCOPED_TRACE(c.what);
    const PackageLayout layout = BuildPackage(Plan({c.file}, BytesOf("MZ")));
    const Image image(layout.bytes);
    PackageArchive archive;
    ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
    const Walk walk = WalkAll(archive);
    ASSERT_TRUE(walk.ok);
    const Extraction result = ExtractBoth(archive, walk.entries[0].localHeader, folder / "out");
    EXPECT_EQ(result.memoryOk, c.memoryOk);
    EXPECT_EQ(result.fileOk, c.fileOk);
    EXPECT_EQ(result.verifyOk, c.fileOk);
    if (!c.memoryOk) {
      EXPECT_STREQ(result.memoryError, kInconsistent);
    }
    if (!c.fileOk) {
      EXPECT_STREQ(result.fileError, kInconsistent);
    }
    switch (c.written) {
      case BadEntryCase::kNothing:
        EXPECT_TRUE(result.fileBytes.empty());
        break;
      case BadEntryCase::kContent:
        // Whatever was decoded is in the file, up to the content itself.
        ASSERT_GE(result.fileBytes.size(), std::min<size_t>(c.file.content.size(), 65536));
        EXPECT_TRUE(std::equal(result.fileBytes.begin(),
                               result.fileBytes.begin() + std::min(result.fileBytes.size(), c.file.content.size()),
                               c.file.content.begin()));
        break;
      case BadEntryCase::kSome:
        EXPECT_LT(result.fileBytes.size(), c.file.content.size());
        break;
    }
  }
}

TEST(Extraction, DataEndingAtTheEndRecordIsOutside) {
  // Every byte of the data lies in the file, but its end reaches the end
  // record: rejected. One byte less, and the (now short) data is inside.
  const std::vector<uint8_t> content = BytesOf("stored bytes");
  for (int shortBy : {0, 1}) {
    SCOPED_TRACE(shortBy);
    PackageLayout layout = BuildPackage(Plan({StoredFile("s", content)}));
    const uint32_t size = static_cast<uint32_t>(layout.endRecord - layout.entryData[0] - shortBy);
    PutU32(layout.bytes, layout.localHeaders[0] + 18, size);
    PutU32(layout.bytes, layout.localHeaders[0] + 22, size);
    PutU32(layout.bytes, layout.localHeaders[0] + 14,
           Crc32Of(std::span(layout.bytes).subspan(layout.entryData[0], size)));
    const Image image(layout.bytes);
    PackageArchive archive;
    ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
    ExtractedBlock block;
    archive.ReadingError = nullptr;
    EXPECT_EQ(ExtractToMemory(archive, image.data() + layout.localHeaders[0], &block, 0), shortBy == 1);
    EXPECT_EQ(VerifyEntry(archive, image.data() + layout.localHeaders[0]), shortBy == 1);
    if (shortBy == 0) {
      EXPECT_STREQ(archive.ReadingError, kInconsistent);
    } else {
      EXPECT_EQ(archive.ReadingError, nullptr);
    }
  }
}

TEST(ExtractToMemory, LeavesTheOutputsUntouchedOnFailure) {
  PackageEntryPlan bad = DeflatedFile("d", SampleBytes(1000));
  bad.crc = 0;
  const PackageLayout layout = BuildPackage(Plan({bad}));
  const Image image(layout.bytes);
  PackageArchive archive;
  ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
  ExtractedBlock block;
  block.bytes = std::make_unique<uint8_t[]>(3);
  uint8_t* before = block.bytes.get();
  block.length = 3;
  EXPECT_FALSE(ExtractToMemory(archive, image.data() + layout.localHeaders[0], &block, 0));
  EXPECT_EQ(block.bytes.get(), before);
  EXPECT_EQ(block.length, 3u);
}

TEST(Extraction, RejectsALocalHeaderOutsideTheArchive) {
  const PackageLayout layout = BuildPackage(Plan({StoredFile("a", BytesOf("abc"))}));
  const Image image(layout.bytes);
  PackageArchive archive;
  ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
  for (const uint8_t* local : {image.data() + layout.endRecord, image.data() + layout.endRecord - 29,
                               image.data() + image.size() - 1}) {
    ExtractedBlock block;
    archive.ReadingError = nullptr;
    EXPECT_FALSE(ExtractToMemory(archive, local, &block, 0));
    EXPECT_FALSE(VerifyEntry(archive, local));
    EXPECT_STREQ(archive.ReadingError, kInconsistent);
  }
}

TEST(Extraction, ReadingErrorIsNotClearedBySuccess) {
  const PackageLayout layout = BuildPackage(Plan({StoredFile("a", BytesOf("abc"))}));
  const Image image(layout.bytes);
  PackageArchive archive;
  ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
  archive.ReadingError = kDamaged;
  EXPECT_TRUE(VerifyEntry(archive, image.data() + layout.localHeaders[0]));
  EXPECT_EQ(archive.ReadingError, kDamaged);
}

// --- Writing and the full disk -----------------------------------------------

constexpr uint32_t kDiskFullStyle =
    platform::kMbRetryCancel | platform::kMbIconError | platform::kMbTaskModal;

class FullDiskTest : public testing::Test {
 protected:
  void SetUp() override {
    full_ = platform::File::CreateForWriting("/dev/full");
    if (!full_.IsOpen()) GTEST_SKIP() << "no /dev/full here";
  }
  platform::File full_;
};

TEST_F(FullDiskTest, ExtractionAsksRetryCancelAndFailsWithoutReadingError) {
  for (const PackageEntryPlan& file :
       {DeflatedFile("d", SampleBytes(100000)), StoredFile("s", SampleBytes(1000))}) {
    SCOPED_TRACE(file.name);
    const PackageLayout layout = BuildPackage(Plan({file}));
    const Image image(layout.bytes);
    ScriptedQuestionHost host({platform::kIdRetry, platform::kIdCancel});
    PackageArchive archive;
    archive.questionHost = &host;
    ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
    archive.ReadingError = kDamaged;
    EXPECT_FALSE(ExtractToFile(archive, image.data() + layout.localHeaders[0], &full_));
    EXPECT_EQ(archive.ReadingError, nullptr);
    ASSERT_EQ(host.asked.size(), 2u);
    for (const ScriptedQuestionHost::Question& q : host.asked) {
      EXPECT_EQ(q.text, platform::ErrorMessageText(ENOSPC));
      EXPECT_FALSE(q.text.empty());
      EXPECT_EQ(q.caption, nullptr);
      EXPECT_EQ(q.style, kDiskFullStyle);
    }
  }
}

TEST_F(FullDiskTest, WriteWithRetryReportsTheLastAnswer) {
  ScriptedQuestionHost host({platform::kIdRetry, platform::kIdRetry, platform::kIdCancel});
  const uint8_t bytes[4] = {1, 2, 3, 4};
  uint32_t written = 99;
  int answer = 0;
  EXPECT_FALSE(WriteWithRetry(host, full_, bytes, 4, &written, &answer));
  EXPECT_EQ(answer, platform::kIdCancel);
  EXPECT_EQ(host.asked.size(), 3u);
}

TEST_F(FullDiskTest, WithoutAQuestionHostTheWriteFailsQuietly) {
  const PackageLayout layout = BuildPackage(Plan({StoredFile("s", BytesOf("abc"))}));
  const Image image(layout.bytes);
  PackageArchive archive;
  ASSERT_NE(OpenPackage(archive, image.data(), image.size()), nullptr);
  EXPECT_FALSE(ExtractToFile(archive, image.data() + layout.localHeaders[0], &full_));
  EXPECT_EQ(archive.ReadingError, nullptr);
}

TEST(WriteWithRetry, SucceedsWithoutAQuestion) {
  TempFolder folder;
  platform::File file = platform::File::CreateForWriting((folder / "out").c_str());
  ScriptedQuestionHost host({});
  uint32_t written = 0;
  int answer = 0;
  EXPECT_TRUE(WriteWithRetry(host, file, "abc", 3, &written, &answer));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(answer, platform::kIdOk);
  file.Close();
  EXPECT_EQ(ReadFileBytes(folder / "out"), BytesOf("abc"));
}

TEST(WriteWithRetry, GivesUpAtOnceOnOtherErrors) {
  TempFolder folder;
  { platform::File created = platform::File::CreateForWriting((folder / "ro").c_str()); }
  platform::File readOnly = platform::File::OpenForReading((folder / "ro").c_str());
  ASSERT_TRUE(readOnly.IsOpen());
  ScriptedQuestionHost host({});
  uint32_t written = 0;
  int answer = 0;
  EXPECT_FALSE(WriteWithRetry(host, readOnly, "abc", 3, &written, &answer));
  EXPECT_NE(platform::LastErrorCode(), 0u);
  EXPECT_EQ(answer, platform::kIdOk);
  EXPECT_TRUE(host.asked.empty());
}

TEST(ShowSystemMessage, ShowsTheSystemTextTaskModal) {
  ScriptedQuestionHost host({platform::kIdOk});
  EXPECT_EQ(ShowSystemMessage(host, ENOSPC, "caption", platform::kMbOk), platform::kIdOk);
  ASSERT_EQ(host.asked.size(), 1u);
  EXPECT_EQ(host.asked[0].text, platform::ErrorMessageText(ENOSPC));
  EXPECT_STREQ(host.asked[0].caption, "caption");
  EXPECT_EQ(host.asked[0].style, platform::kMbTaskModal);
}

// --- The package file, mapped -------------------------------------------------

TEST(PackageFile, IsReadThroughItsMapping) {
  TempFolder folder;
  const std::vector<uint8_t> content = SampleBytes(20000);
  const PackageLayout layout = BuildPackage(Plan({DeflatedFile("Replace/app.dll", content)}, SampleBytes(4096, 2)));
  {
    platform::File out = platform::File::CreateForWriting((folder / "package.exe").c_str());
    uint32_t written = 0;
    ASSERT_TRUE(out.Write(layout.bytes.data(), static_cast<uint32_t>(layout.bytes.size()), &written));
    EXPECT_EQ(written, layout.bytes.size());
  }
  platform::File file = platform::File::OpenForReading((folder / "package.exe").c_str());
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Size(), layout.bytes.size());
  const platform::FileMapping mapping = platform::FileMapping::MapReadOnly(file);
  ASSERT_TRUE(mapping.IsMapped());
  ASSERT_EQ(mapping.size(), layout.bytes.size());

  PackageArchive archive;
  // Pages of each entry read are let go; reading it again brings them back.
  archive.releaseReadPages = true;
  ASSERT_NE(OpenPackage(archive, mapping.data(), static_cast<uint32_t>(mapping.size())), nullptr);
  const Walk walk = WalkAll(archive);
  ASSERT_TRUE(walk.ok);
  ASSERT_EQ(walk.entries.size(), 1u);
  for (int round = 0; round < 2; ++round) {
    ExtractedBlock block;
    ASSERT_TRUE(ExtractToMemory(archive, walk.entries[0].localHeader, &block, 0));
    EXPECT_TRUE(std::vector<uint8_t>(block.bytes.get(), block.bytes.get() + block.length) == content);
    EXPECT_TRUE(VerifyEntry(archive, walk.entries[0].localHeader)) << round;
  }
}

TEST(PackageFile, EmptyOrMissingFilesFailWithAnError) {
  TempFolder folder;
  { platform::File created = platform::File::CreateForWriting((folder / "empty").c_str()); }
  platform::File empty = platform::File::OpenForReading((folder / "empty").c_str());
  ASSERT_TRUE(empty.IsOpen());
  EXPECT_EQ(empty.Size(), 0u);
  platform::SetLastErrorCode(0);
  const platform::FileMapping mapping = platform::FileMapping::MapReadOnly(empty);
  EXPECT_FALSE(mapping.IsMapped());
  EXPECT_NE(platform::LastErrorCode(), 0u);

  platform::SetLastErrorCode(0);
  const platform::File missing = platform::File::OpenForReading((folder / "missing").c_str());
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_NE(platform::LastErrorCode(), 0u);
}

}  // namespace
