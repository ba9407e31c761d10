// The package container reader: the ZIP archive that ends the package data
// file, read in place inside the mapped image.
#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

#include "platform/file.h"
#include "report/question_host.h"

// The reader's state for one package. Every position it hands out points into
// the image, which must stay mapped while they are used.
struct PackageArchive {
  // Base of every offset stored in the archive: offsets count from the first
  // byte of the package data file, not from the start of the archive.
  const uint8_t* imageStart = nullptr;
  uint32_t imageSize = 0;
  // The catalogue text of the last failed operation ("补丁文件错误。" or
  // "文件不一致错误。"), or null when a write into the target file failed.
  // Not cleared on success.
  const char* ReadingError = nullptr;
  // The end of central directory record found by OpenPackage. Every structure
  // the reader visits lies wholly before it.
  const uint8_t* endRecord = nullptr;
  // Asked the Retry/Cancel question when a write hits a full disk; with none,
  // such a write fails without a question.
  QuestionHost* questionHost = nullptr;
  // The image is a file mapping: the pages of an entry's data are let go once
  // the entry has been read, so that memory does not grow with the package.
  bool releaseReadPages = false;
};

// One entry: its central directory record and its local header, both inside
// the image and checked by ForEachEntry to lie with their names and extra
// fields before the end record. Names, sizes and data are read in place.
struct PackageEntry {
  const uint8_t* centralRecord = nullptr;
  const uint8_t* localHeader = nullptr;

  // From the central record: the attributes the entry's file gets. Bit 0x10
  // of the lowest byte marks a directory.
  [[nodiscard]] uint32_t ExternalAttributes() const;
  [[nodiscard]] bool IsDirectory() const { return (ExternalAttributes() & 0x10) != 0; }

  // From the local header.
  [[nodiscard]] uint16_t Method() const;
  [[nodiscard]] uint16_t DosTime() const;
  [[nodiscard]] uint16_t DosDate() const;
  [[nodiscard]] uint32_t Crc32() const;
  [[nodiscard]] uint32_t CompressedSize() const;
  [[nodiscard]] uint32_t UncompressedSize() const;
  // The entry name as raw bytes (OEM code page), not NUL-terminated.
  [[nodiscard]] const char* NameBytes() const;
  [[nodiscard]] uint16_t NameLength() const;
};

// A block handed out by ExtractToMemory: the entry's bytes, then the extra
// room the caller asked for (content unspecified). Null when both are empty.
struct ExtractedBlock {
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t length = 0;  // the entry's bytes, without the extra room
};

// Records the image and finds the end of central directory record: the
// signature nearest the end of the image, searched backwards over the whole
// image (so an archive comment of any length is passed over). Returns the end
// record, or null with ReadingError "补丁文件错误。".
[[nodiscard]] const uint8_t* OpenPackage(PackageArchive& archive, const uint8_t* imageStart,
                                         uint32_t imageSize);

// Walks the central directory of an opened archive, calling
// visitor(const PackageEntry&, uint16_t index) for each entry; the visitor
// answers false to stop. True when the walk ended normally (every entry
// visited, or stopped by the visitor); false with ReadingError "补丁文件错误。"
// when a record or its local header fails a check.
template <typename Visitor>
[[nodiscard]] bool ForEachEntry(PackageArchive& archive, Visitor&& visitor);

// Decompresses the entry whose local header is given into one new block of
// uncompressed size + extraRoom bytes and checks its CRC-32. An empty entry
// succeeds at once with a block of extraRoom bytes (none for 0). On failure
// `out` is untouched and ReadingError is "文件不一致错误。".
[[nodiscard]] bool ExtractToMemory(PackageArchive& archive, const uint8_t* localHeader,
                                   ExtractedBlock* out, uint32_t extraRoom);

// Decompresses the entry into `file` (or nowhere when null) through one
// 65536-byte buffer, checking its size and CRC-32. An empty entry succeeds at
// once and writes nothing. False with ReadingError "文件不一致错误。" when the
// data is damaged, or null when a write failed. A stored entry with a wrong
// CRC-32 writes nothing; an inflated one may have been written (partly or
// wholly) before the damage shows: the caller deals with the file.
[[nodiscard]] bool ExtractToFile(PackageArchive& archive, const uint8_t* localHeader,
                                 platform::File* file);

// ExtractToFile with no file: decompress and check only.
[[nodiscard]] bool VerifyEntry(PackageArchive& archive, const uint8_t* localHeader);

// Writes `count` bytes. When the disk is full, asks `host` Retry/Cancel with
// the system's text and writes the same bytes again on Retry; any other error
// gives up at once. `answer`, when given, receives the last button pressed
// (kIdOk, 1, when no question was asked).
[[nodiscard]] bool WriteWithRetry(QuestionHost& host, platform::File& file, const void* data,
                                  uint32_t count, uint32_t* written, int* answer);

// Shows the system's text for `errorCode` with `caption` (null for the
// default) and `style` plus kMbTaskModal; returns the button pressed.
int ShowSystemMessage(QuestionHost& host, uint32_t errorCode, const char* caption, uint32_t style);

namespace container_detail {

using EntryCallback = bool (*)(void* context, const PackageEntry& entry, uint16_t index);
[[nodiscard]] bool WalkEntries(PackageArchive& archive, EntryCallback callback, void* context);

}  // namespace container_detail

template <typename Visitor>
bool ForEachEntry(PackageArchive& archive, Visitor&& visitor) {
  using Callable = std::remove_reference_t<Visitor>;
  return container_detail::WalkEntries(
      archive,
      [](void* context, const PackageEntry& entry, uint16_t index) -> bool {
        return (*static_cast<Callable*>(context))(entry, index);
      },
      const_cast<void*>(static_cast<const void*>(std::addressof(visitor))));
}
