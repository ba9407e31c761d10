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

const char kInstallText[] =
    "[INSTALL]\r\nApplyToSrc=0\r\nAskBackup=1\r\n"
    "[WIZARD]\r\nShowLicense=1\r\nShowNotes=1\r\nShowAppFolder=1\r\nShowOptions=1\r\n"
    "[SRC_REGISTRY]\r\nRootKey=HKEY_LOCAL_MACHINE\r\nKey=Software\\Demo\r\nValue=Path\r\n"
    "[SRC_INIFILE]\r\nFile=%WINDIR%\\demo.ini\r\nSection=Demo\r\nKey=Folder\r\n"
    "[SRC_FIXPATH]\r\nPath=C:\\Program Files\\Demo\r\n"
    "[DST_FIXPATH]\r\nPath=..\\Demo 2\r\n"
    "[BACKUP]\r\nExecuteBackup=1\r\nBackupPath=C:\\Backup\r\n"
    "[LOG]\r\nWriteLog=1\r\nOverwriteLog=0\r\nLogFileName=update.log\r\n";

const char kDeletionList[] = "obsolete.txt\r\n  spaced name.dat  \r\n\r\nsub\\old.dll\nlast";

// Whole update packages: every control entry and every kind of item, and
// the same with damaged control entries.
std::vector<Seed> CatalogueSeeds() {
  std::vector<Seed> seeds = ContainerSeeds();
  PackagePlan plan;
  plan.hostPrefix = BytesOf("MZ");
  plan.files = {
      DeflatedFile("product", BytesOf("[PRODUCT]\r\nProductName=Demo\r\nOldVersion=1.0\r\n"
                                      "NewVersion=2.0\r\nWeb=http://example.invalid\r\n")),
      DeflatedFile("install", BytesOf(kInstallText)),
      DeflatedFile("license.rtf", BytesOf("{\\rtf1 licence}")),
      DeflatedFile("notes.rtf", BytesOf("{\\rtf1 notes}")),
      StoredFile("del.files", BytesOf(kDeletionList)),
      StoredFile("del.dirs", BytesOf("olddir\r\nolddir\\inner\r\n")),
      DeflatedFile("Add/new.txt", BytesOf("new")),
      DeflatedFile("Add/sub/deep/file.txt", BytesOf("deep")),
      DeflatedFile("Replace/readme.txt", BytesOf("readme")),
      DeflatedFile("Update/app.exe.df", Structured(700, 10)),
      DeflatedFile("Update/empty.df", {}),
  };
  seeds.emplace_back("update_package", BuildPackage(plan).bytes);
  plan.files[1].crc = 0x0BADC0DE;
  seeds.emplace_back("damaged_install", BuildPackage(plan).bytes);
  return seeds;
}

std::vector<Seed> IniSeeds() {
  return {{"install", BytesOf(kInstallText)},
          {"odd_lines", BytesOf("junk before\r\n[ wizard ]\r\n  showNotes = 0x10 \r\nShowNotes=1\r\n"
                                "[LOG\r\nLogFileName=a=b\r\n;LogFileName=c\r\n[]\r\n=\r\nkey")}};
}

std::vector<Seed> ListSeeds() {
  return {{"deletion_list", BytesOf(kDeletionList)},
          {"blank_and_nul", BytesOf("\t \f\r\n  a  \r\r\nb\0c\r\n")}};
}

// difference_roundtrip_fuzz input: the old file's share (2 bytes), then the
// bytes that the old and the new file are cut from.
std::vector<Seed> RoundTripSeeds() {
  std::vector<Seed> seeds;
  const auto add = [&](const char* name, uint16_t share, const std::vector<uint8_t>& rest) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(share >> 8), static_cast<uint8_t>(share)};
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    seeds.emplace_back(name, bytes);
  };
  std::vector<uint8_t> program = Structured(3000, 11);
  std::vector<uint8_t> rebuilt = program;
  for (size_t at = 40; at < rebuilt.size(); at += 97) rebuilt[at] = static_cast<uint8_t>(rebuilt[at] + 4);
  rebuilt.insert(rebuilt.begin() + 1200, program.begin() + 100, program.begin() + 400);
  std::vector<uint8_t> both = program;
  both.insert(both.end(), rebuilt.begin(), rebuilt.end());
  // The share is taken modulo the input's size less one, so this one cuts
  // `program` off as the old file; its high byte (0x24) is even: the new file
  // is the rest as it stands.
  add("rebuilt_program", static_cast<uint16_t>(program.size() + both.size() + 1), both);
  // An odd high byte: the new file is the old one with the rest laid over it.
  add("overlaid", 0x1101, Structured(5000, 12));
  return seeds;
}

struct Target {
  const char* name;
  std::vector<Seed> (*seeds)();
};

const Target kTargets[] = {
    {"container_fuzz", ContainerSeeds},
    {"difference_fuzz", DifferenceSeeds},
    {"catalogue_fuzz", CatalogueSeeds},
    {"ini_fuzz", IniSeeds},
    {"list_walker_fuzz", ListSeeds},
    {"difference_roundtrip_fuzz", RoundTripSeeds},
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
