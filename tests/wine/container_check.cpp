// Checks under Wine that a package is opened, walked and extracted through the
// real Win32 file and mapping services: a host prefix followed by a ZIP with
// stored and deflated entries, extracted to memory and to a file.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/container_reader.h"
#include "platform/file.h"
#include "platform/file_map.h"
#include "report/question_host.h"
#include "tests/support/package_writer.h"

namespace {

int gFailures = 0;

void Expect(bool condition, const char* what) {
  if (!condition) {
    std::printf("container_check: FAILED: %s\n", what);
    ++gFailures;
  }
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = seed;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<uint8_t>((i % 64 < 48) ? (i / 64) & 0xFF : x >> 24);
  }
  return bytes;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  platform::File file = platform::File::CreateForWriting(path.c_str());
  uint32_t written = 0;
  return file.IsOpen() && file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written) &&
         written == bytes.size();
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
  }
  return bytes;
}

}  // namespace

int main() {
  char tempDir[MAX_PATH];
  GetTempPathA(MAX_PATH, tempDir);
  const std::string packagePath = std::string(tempDir) + "container_check.dat";
  const std::string outputPath = std::string(tempDir) + "container_check.out";

  PackagePlan plan;
  plan.hostPrefix = PatternBytes(70000, 1);  // stands in for the executable
  plan.archiveComment = BytesOf("appended update package");
  const std::vector<std::vector<uint8_t>> contents = {
      BytesOf("[PRODUCT]\r\nProductName=Demo\r\n"), PatternBytes(300000, 2), {}, PatternBytes(65536, 3)};
  plan.files.push_back(StoredFile("product", contents[0]));
  plan.files.push_back(DeflatedFile("Update/app.exe.df", contents[1]));
  plan.files.push_back(StoredFile("Add/empty.txt", contents[2]));
  plan.files.push_back(DeflatedFile("Replace/lib.dll", contents[3], 1));
  Expect(WriteWholeFile(packagePath, BuildPackage(plan).bytes), "writing the package file");

  platform::File package = platform::File::OpenForReading(packagePath.c_str());
  Expect(package.IsOpen(), "opening the package for reading");
  platform::FileMapping image = platform::FileMapping::MapReadOnly(package);
  Expect(image.IsMapped(), "mapping the package");
  if (!image.IsMapped()) return 1;

  PlatformQuestionHost host;
  PackageArchive archive;
  archive.questionHost = &host;
  Expect(OpenPackage(archive, image.data(), static_cast<uint32_t>(image.size())) != nullptr,
         "finding the end record");

  std::vector<PackageEntry> entries;
  Expect(ForEachEntry(archive, [&](const PackageEntry& entry, uint16_t) {
           entries.push_back(entry);
           return true;
         }),
         "walking the central directory");
  Expect(entries.size() == contents.size(), "visiting every entry");

  for (size_t i = 0; i < entries.size() && i < contents.size(); ++i) {
    const PackageEntry& entry = entries[i];
    Expect(std::string(entry.NameBytes(), entry.NameLength()) == plan.files[i].name, "entry name");
    ExtractedBlock block;
    Expect(ExtractToMemory(archive, entry.localHeader, &block, 1), "extracting to memory");
    Expect(block.length == contents[i].size() &&
               (contents[i].empty() || std::memcmp(block.bytes.get(), contents[i].data(), block.length) == 0),
           "bytes extracted to memory");
    Expect(VerifyEntry(archive, entry.localHeader), "verifying the entry");
    {
      platform::File output = platform::File::CreateForWriting(outputPath.c_str());
      Expect(output.IsOpen(), "creating the output file");
      Expect(ExtractToFile(archive, entry.localHeader, &output), "extracting to a file");
    }
    Expect(ReadWholeFile(outputPath) == contents[i], "bytes extracted to a file");
  }

  image.Unmap();
  package.Close();
  DeleteFileA(packagePath.c_str());
  DeleteFileA(outputPath.c_str());
  std::printf("container_check: %s\n", gFailures == 0 ? "all checks passed" : "checks failed");
  return gFailures == 0 ? 0 : 1;
}
