// Reads any bytes as a package data file: finds the archive, walks its
// directory and extracts every entry into memory, into /dev/null and into no
// file. Nothing may read outside the input, crash or leak; an entry that
// extracts into memory must come out at its stated size and CRC-32.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <zlib.h>

#include "package/container_reader.h"
#include "platform/file.h"

namespace {

// Writes never fail on /dev/null, so no question is ever asked.
class NoQuestions final : public QuestionHost {
 public:
  int ShowMessageBox(const char*, const char*, uint32_t) override { std::abort(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  static platform::File nullFile = platform::File::CreateForWriting("/dev/null");
  static NoQuestions host;

  PackageArchive archive;
  archive.questionHost = &host;
  if (OpenPackage(archive, data, static_cast<uint32_t>(size)) == nullptr) return 0;

  std::vector<PackageEntry> entries;
  static_cast<void>(ForEachEntry(archive, [&](const PackageEntry& entry, uint16_t) {
    // Touch every field the walk vouches for.
    volatile uint32_t sink = entry.ExternalAttributes() ^ entry.Method() ^ entry.DosTime() ^
                             entry.DosDate() ^ entry.Crc32() ^ entry.CompressedSize();
    for (uint16_t i = 0; i < entry.NameLength(); ++i) sink = sink + static_cast<uint8_t>(entry.NameBytes()[i]);
    static_cast<void>(sink);
    entries.push_back(entry);
    return true;
  }));

  for (const PackageEntry& entry : entries) {
    ExtractedBlock block;
    if (ExtractToMemory(archive, entry.localHeader, &block, 1)) {
      if (block.length != entry.UncompressedSize()) std::abort();
      if (block.length != 0 && crc32(0, block.bytes.get(), block.length) != entry.Crc32()) std::abort();
      block.bytes[block.length] = 0;  // the extra room is there
    }
    static_cast<void>(ExtractToFile(archive, entry.localHeader, nullFile.IsOpen() ? &nullFile : nullptr));
    static_cast<void>(VerifyEntry(archive, entry.localHeader));
  }
  return 0;
}
