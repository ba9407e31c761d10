// Writes the seed corpus of one fuzz target: make_seeds <target> <folder>.
// scripts/fuzz runs it before each target; unknown targets get no seeds.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/difference_builder.h"
#include "tests/support/package_writer.h"

namespace {

using Seed = std::pair<std::string, std::vector<uint8_t>>;

std::vector<uint8_t> Structured(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = seed;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = (state >> 28) < 4 ? static_cast<uint8_t>(state >> 16) : static_cast<uint8_t>(i / 5);
  }
  return bytes;
}

// Small packages, good and damaged, with and without a host in front.
std::vector<Seed> ContainerSeeds() {
  std::vector<Seed> seeds;
  const std::vector<uint8_t> host = BytesOf("MZ\x90\x00 a small host program stands here");
  const auto add = [&](const char* name, PackagePlan plan) {
    seeds.emplace_back(name, BuildPackage(plan).bytes);
  };

  add("empty", PackagePlan());
  {
    PackagePlan plan;
    plan.hostPrefix = host;
    plan.files = {StoredFile("product", BytesOf("[PRODUCT]\r\nName=Demo\r\n")),
                  DeflatedFile("install", BytesOf("[INSTALL]\r\nApplyToSrc=1\r\n")),
                  DeflatedFile("Update/app.exe.df", Structured(1500, 1)),
                  StoredFile("del.files", {})};
    add("typical", plan);
    plan.offsetsFromArchiveStart = true;
    add("offsets_from_archive", plan);
  }
  {
    PackagePlan plan;
    PackageEntryPlan folder = StoredFile("Add/sub/", {});
    folder.externalAttributes = kAttributeDirectory;
    PackageEntryPlan file = DeflatedFile("Add/sub/a.txt", Structured(800, 2), 1);
    file.localExtra = BytesOf("UT\x05\x00\x01\x00\x00\x00\x00");
    file.centralExtra = BytesOf("UT\x01\x00\x01");
    file.centralComment = BytesOf("entry comment");
    plan.files = {folder, file};
    plan.archiveComment = BytesOf("archive comment");
    add("extras_and_comments", plan);
  }
  {
    PackagePlan plan;
    plan.hostPrefix = host;
    PackageEntryPlan badCrc = DeflatedFile("Replace/b.dll", Structured(900, 3));
    badCrc.crc = 0x12345678;
    PackageEntryPlan cut = DeflatedFile("Replace/c.dll", Structured(900, 4));
    cut.data = DeflateRaw(cut.content);
    cut.data->resize(cut.data->size() / 2);
    PackageEntryPlan longer = DeflatedFile("Replace/d.dll", Structured(900, 5));
    longer.uncompressedSize = 800;
    PackageEntryPlan methodZero = DeflatedFile("e", Structured(600, 6));
    methodZero.method = 0;
    plan.files = {badCrc, cut, longer, methodZero};
    plan.entryCount = 5;
    add("damaged_entries", plan);
  }
  return seeds;
}

// difference_fuzz input: a mode byte, the old file's size (2 bytes, low
// first), the old file, the difference.
std::vector<Seed> DifferenceSeeds() {
  std::vector<Seed> seeds;
  const std::vector<uint8_t> old = Structured(600, 7);
  const auto add = [&](const char* name, const DifferenceBuilder& builder, uint8_t mode) {
    // The result is whatever the blocks produce; a wrong ResultCrc still
    // lets the decoder run to the end.
    std::vector<uint8_t> bytes = {mode, static_cast<uint8_t>(old.size()), static_cast<uint8_t>(old.size() >> 8)};
    bytes.insert(bytes.end(), old.begin(), old.end());
    const std::vector<uint8_t> diff = builder.Build(DifferenceFacts(old, {}).Adjust(
        [](difference_format::DifferenceHeader& header) { header.resultSize = 100000; }));
    bytes.insert(bytes.end(), diff.begin(), diff.end());
    seeds.emplace_back(name, bytes);
  };
  DifferenceBuilder every;
  every.CopyBlock(3, {})
      .LiteralBlock({'x', 'y'})
      .PatchedCopyBlock(300, {.magnitude = 100, .anchored = true}, 3)
      .NewPiece(5, Structured(20, 8))
      .RepeatPiece(30)
      .NewPiece(205, {0x42}, NibbleForm::kFourNibbleBytes)
      .CopyBlock(70, {.magnitude = 50, .negative = true, .anchored = true, .width = 2}, ValueForm::kMarker4)
      .LiteralBlock(Structured(40, 9), ValueForm::kMarker3);
  add("every_area", every, 0);
  add("every_area_fixed_up", every, 1);
  DifferenceBuilder copies;
  copies.CopyBlock(600, {}).CopyBlock(0, {.magnitude = 600, .anchored = true});
  add("copies", copies, 1);
  return seeds;
}

struct Target {
  const char* name;
  std::vector<Seed> (*seeds)();
};

const Target kTargets[] = {
    {"container_fuzz", ContainerSeeds},
    {"difference_fuzz", DifferenceSeeds},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seeds <fuzz target> <folder>\n");
    return 2;
  }
  for (const Target& target : kTargets) {
    if (std::strcmp(target.name, argv[1]) != 0) continue;
    for (const auto& [name, bytes] : target.seeds()) {
      const std::string path = std::string(argv[2]) + "/" + name;
      std::FILE* file = std::fopen(path.c_str(), "wb");
      if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
          std::fclose(file) != 0) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
        return 1;
      }
      std::printf("%s\n", path.c_str());
    }
  }
  return 0;
}
