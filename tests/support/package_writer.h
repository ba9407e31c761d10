// Writes package data files: any host bytes (a fake or real executable)
// followed by a ZIP archive whose offsets count from the first byte of the
// whole file. Every field can be overridden to build damaged packages.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "package/zip_format.h"

// Raw DEFLATE data (no zlib header or trailer) of `data` at `level` (0 to 9).
[[nodiscard]] std::vector<uint8_t> DeflateRaw(std::span<const uint8_t> data, int level = 9);

// zlib's CRC-32 of `data`.
[[nodiscard]] uint32_t Crc32Of(std::span<const uint8_t> data);

[[nodiscard]] std::vector<uint8_t> BytesOf(std::string_view text);

// MS-DOS time and date fields.
[[nodiscard]] constexpr uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}
[[nodiscard]] constexpr uint16_t DosDate(int year, int month, int day) {
  return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;

using zip_format::kCentralRecordSignature;
using zip_format::kEndRecordSignature;
using zip_format::kLocalHeaderSignature;

// One entry. The honest values are derived from `content`; each override
// replaces what is written in the local header, central record or data.
struct PackageEntryPlan {
  std::string name;
  std::vector<uint8_t> content;
  bool deflate = true;  // method 8, raw DEFLATE at `level`; false: stored, method 0
  int level = 9;
  uint32_t externalAttributes = kAttributeArchive;
  uint16_t dosTime = DosTime(12, 0, 0);
  uint16_t dosDate = DosDate(2004, 6, 1);

  // The bytes written as the entry's data instead of the (compressed) content.
  std::optional<std::vector<uint8_t>> data;
  // Fields of the local header (the central record carries the same values).
  std::optional<uint16_t> method;
  std::optional<uint32_t> crc;
  std::optional<uint32_t> compressedSize;
  std::optional<uint32_t> uncompressedSize;
  std::vector<uint8_t> localExtra;
  std::optional<uint16_t> localNameLength;   // written whatever the name's length
  std::optional<uint16_t> localExtraLength;  // written whatever the extra's length
  // Fields of the central record.
  std::vector<uint8_t> centralExtra;
  std::vector<uint8_t> centralComment;
  std::optional<uint32_t> centralSignature;
  std::optional<uint16_t> centralNameLength;
  std::optional<uint16_t> centralExtraLength;
  std::optional<uint16_t> centralCommentLength;
  std::optional<uint32_t> localHeaderOffset;  // the stored offset, taken as is
};

[[nodiscard]] PackageEntryPlan StoredFile(std::string name, std::vector<uint8_t> content);
[[nodiscard]] PackageEntryPlan DeflatedFile(std::string name, std::vector<uint8_t> content,
                                           int level = 9);

struct PackagePlan {
  std::vector<uint8_t> hostPrefix;  // bytes before the archive
  std::vector<PackageEntryPlan> files;
  std::vector<uint8_t> archiveComment;
  // Offsets counted from the archive's first byte instead of the file's (as a
  // plain ZIP tool writes them when the archive is later appended to a host).
  bool offsetsFromArchiveStart = false;
  // End record overrides.
  std::optional<uint32_t> endSignature;
  std::optional<uint16_t> entryCount;  // both counts in the end record
  std::optional<uint32_t> centralDirectoryOffset;
  std::optional<uint16_t> archiveCommentLength;
};

// Where the parts of a built package lie, as offsets from its first byte.
struct PackageLayout {
  std::vector<uint8_t> bytes;
  std::vector<uint64_t> localHeaders;
  std::vector<uint64_t> entryData;
  std::vector<uint64_t> centralRecords;
  uint64_t centralDirectory = 0;
  uint64_t endRecord = 0;
};

[[nodiscard]] PackageLayout BuildPackage(const PackagePlan& plan);

// Little-endian field writers for patching built bytes in place.
void PutU16(std::vector<uint8_t>& bytes, uint64_t offset, uint16_t value);
void PutU32(std::vector<uint8_t>& bytes, uint64_t offset, uint32_t value);
