// The package container reader: finding the end record, walking the central
// directory and extracting entries (stored or raw DEFLATE) with their CRC-32.
#include "package/container_reader.h"

#include <cstring>
#include <string>

#include <zlib.h>

#include "package/zip_format.h"
#include "platform/file_map.h"
#include "platform/message_box.h"
#include "platform/system_error.h"
#include "startup/process_texts.h"

namespace {

using namespace zip_format;

constexpr uint32_t kOutputBufferSize = 65536;

// DEFLATE cannot expand one input byte into more than 1032 output bytes (a
// 258-byte match coded in two bits), so a larger claimed size can never be
// produced from the data.
constexpr uint64_t kMaxInflateRatio = 1032;

// The two reading-error texts, fetched once at start-up.
const char* DamagedText() { return GetProcessTexts().containerDamaged; }
const char* InconsistentText() { return GetProcessTexts().containerInconsistent; }

// Offset of the end record from the image start: every structure must end at
// or before it. All positions below are 64-bit offsets from the image start,
// so sums of 32-bit fields never wrap.
uint64_t EndOffset(const PackageArchive& archive) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(archive.endRecord) -
                               reinterpret_cast<uintptr_t>(archive.imageStart));
}

// True when the 30 fixed bytes of a local header lie before the end record.
bool LocalHeaderInside(const PackageArchive& archive, const uint8_t* localHeader) {
  if (archive.endRecord == nullptr || localHeader == nullptr) return false;
  const auto start = reinterpret_cast<uintptr_t>(archive.imageStart);
  const auto header = reinterpret_cast<uintptr_t>(localHeader);
  if (header < start) return false;
  const uint64_t headerOffset = header - start;
  const uint64_t endOffset = EndOffset(archive);
  return headerOffset < endOffset && endOffset - headerOffset >= kLocalHeaderSize;
}

// The entry's data as found through its local header.
struct EntryData {
  const uint8_t* bytes = nullptr;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint32_t crc = 0;
  bool stored = false;
};

// Finds the data of an entry whose local header is inside; both its first
// byte and the position just past its last byte must be inside, i.e. before
// the end record.
bool LocateEntryData(const PackageArchive& archive, const uint8_t* localHeader, EntryData* data) {
  const uint64_t headerOffset = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(localHeader) -
                                                      reinterpret_cast<uintptr_t>(archive.imageStart));
  const uint64_t endOffset = EndOffset(archive);
  const uint64_t dataOffset =
      headerOffset + kLocalHeaderSize + ReadU16(localHeader + 26) + ReadU16(localHeader + 28);
  const uint32_t compressedSize = ReadU32(localHeader + 18);
  if (dataOffset >= endOffset || dataOffset + compressedSize >= endOffset) return false;

  data->bytes = archive.imageStart + dataOffset;
  data->compressedSize = compressedSize;
  data->uncompressedSize = ReadU32(localHeader + 22);
  data->crc = ReadU32(localHeader + 14);
  data->stored = ReadU16(localHeader + 8) == 0 && data->uncompressedSize == compressedSize;
  return true;
}

// A zlib stream for raw DEFLATE data: initialised for a zlib stream and fed
// the two header bytes 0x78 0xDA, so that what follows is read as the
// compressed blocks alone. With no Adler-32 trailer after the data, a
// complete entry leaves inflate at Z_OK, never Z_STREAM_END.
class EntryInflater {
 public:
  EntryInflater() { std::memset(&stream_, 0, sizeof stream_); }
  ~EntryInflater() {
    if (initialised_) inflateEnd(&stream_);
  }
  EntryInflater(const EntryInflater&) = delete;
  EntryInflater& operator=(const EntryInflater&) = delete;

  [[nodiscard]] bool Start(const uint8_t* data, uint32_t size) {
    if (inflateInit(&stream_) != Z_OK) return false;
    initialised_ = true;
    static const Bytef kHeader[2] = {0x78, 0xDA};
    Bytef unused = 0;  // inflate insists on an output pointer, even with no room
    stream_.next_in = const_cast<Bytef*>(kHeader);
    stream_.avail_in = 2;
    stream_.next_out = &unused;
    stream_.avail_out = 0;
    if (inflate(&stream_, Z_SYNC_FLUSH) != Z_OK || stream_.avail_in != 0) return false;
    // No trailer ever follows the data, so the Adler-32 of the output is never
    // compared; stop computing it (about 7% of the time). Four bytes after
    // the final block still end the stream (Z_STREAM_END instead of
    // Z_DATA_ERROR), which fails the entry just the same.
    if (inflateValidate(&stream_, 0) != Z_OK) return false;
    stream_.next_in = const_cast<Bytef*>(data);
    stream_.avail_in = size;
    return true;
  }

  [[nodiscard]] int Inflate(uint8_t* output, uint32_t room) {
    stream_.next_out = output;
    stream_.avail_out = room;
    return inflate(&stream_, Z_SYNC_FLUSH);
  }

  [[nodiscard]] uint32_t inputLeft() const { return stream_.avail_in; }
  [[nodiscard]] uint32_t outputLeft() const { return stream_.avail_out; }

 private:
  z_stream stream_;
  bool initialised_ = false;
};

// Lets an entry's data pages go when its read is over, whichever way it ends
// (only for a mapped image: PackageArchive::releaseReadPages).
class ReadPagesRelease {
 public:
  ReadPagesRelease(const PackageArchive& archive, const EntryData& data)
      : release_(archive.releaseReadPages), data_(data) {}
  ~ReadPagesRelease() {
    if (release_) platform::ReleaseMappedRange(data_.bytes, data_.compressedSize);
  }
  ReadPagesRelease(const ReadPagesRelease&) = delete;
  ReadPagesRelease& operator=(const ReadPagesRelease&) = delete;

 private:
  bool release_;
  const EntryData& data_;
};

bool WriteEntryBytes(PackageArchive& archive, platform::File& file, const uint8_t* data,
                     uint32_t count) {
  uint32_t written = 0;
  if (archive.questionHost != nullptr) {
    return WriteWithRetry(*archive.questionHost, file, data, count, &written, nullptr);
  }
  return file.Write(data, count, &written);
}

}  // namespace

uint32_t PackageEntry::ExternalAttributes() const { return ReadU32(centralRecord + 38); }
uint16_t PackageEntry::Method() const { return ReadU16(localHeader + 8); }
uint16_t PackageEntry::DosTime() const { return ReadU16(localHeader + 10); }
uint16_t PackageEntry::DosDate() const { return ReadU16(localHeader + 12); }
uint32_t PackageEntry::Crc32() const { return ReadU32(localHeader + 14); }
uint32_t PackageEntry::CompressedSize() const { return ReadU32(localHeader + 18); }
uint32_t PackageEntry::UncompressedSize() const { return ReadU32(localHeader + 22); }
const char* PackageEntry::NameBytes() const {
  return reinterpret_cast<const char*>(localHeader + kLocalHeaderSize);
}
uint16_t PackageEntry::NameLength() const { return ReadU16(localHeader + 26); }

const uint8_t* OpenPackage(PackageArchive& archive, const uint8_t* imageStart, uint32_t imageSize) {
  archive.imageStart = imageStart;
  archive.imageSize = imageSize;
  archive.endRecord = nullptr;

  // The signature nearest the end wins; the search runs over the whole image
  // but never accepts the very first byte.
  if (imageStart != nullptr && imageSize > kEndRecordSize) {
    for (uint64_t offset = imageSize - kEndRecordSize; offset >= 1; --offset) {
      const uint8_t* p = imageStart + offset;
      if (p[0] == 0x50 && ReadU32(p) == kEndRecordSignature) {
        archive.endRecord = p;
        break;
      }
    }
  }
  if (archive.endRecord == nullptr) archive.ReadingError = DamagedText();
  return archive.endRecord;
}

bool container_detail::WalkEntries(PackageArchive& archive, EntryCallback callback, void* context) {
  if (archive.endRecord == nullptr) {
    archive.ReadingError = DamagedText();
    return false;
  }
  const uint8_t* start = archive.imageStart;
  const uint64_t endOffset = EndOffset(archive);
  const uint16_t count = ReadU16(archive.endRecord + 8);
  uint64_t recordOffset = ReadU32(archive.endRecord + 16);

  // Checks the record at recordOffset and finds its local header and the next
  // record; false when either lies, wholly or partly, at or past the end record.
  PackageEntry entry;
  uint64_t nextOffset = 0;
  const auto checkRecord = [&]() -> bool {
    // The record's name must start before the end record, which also keeps
    // its fixed fields inside; its name, extra field and comment must end at
    // or before it.
    if (recordOffset + kCentralRecordSize >= endOffset) return false;
    const uint8_t* record = start + recordOffset;
    if (ReadU32(record) != kCentralRecordSignature) return false;
    nextOffset = recordOffset + kCentralRecordSize + ReadU16(record + 28) + ReadU16(record + 30) +
                 ReadU16(record + 32);
    if (nextOffset > endOffset) return false;

    // The local header, with its name and extra field, must lie before the
    // end record too.
    const uint64_t localOffset = ReadU32(record + 42);
    if (localOffset >= endOffset || endOffset - localOffset < kLocalHeaderSize) return false;
    const uint8_t* local = start + localOffset;
    if (localOffset + kLocalHeaderSize + ReadU16(local + 26) + ReadU16(local + 28) > endOffset) {
      return false;
    }
    entry = PackageEntry{record, local};
    return true;
  };

  for (uint32_t index = 0; index < count; ++index) {
    if (!checkRecord()) {
      archive.ReadingError = DamagedText();
      return false;
    }
    if (!callback(context, entry, static_cast<uint16_t>(index))) return true;
    recordOffset = nextOffset;
  }
  return true;
}

bool ExtractToMemory(PackageArchive& archive, const uint8_t* localHeader, ExtractedBlock* out,
                     uint32_t extraRoom) {
  if (!LocalHeaderInside(archive, localHeader)) {
    archive.ReadingError = InconsistentText();
    return false;
  }
  // An empty entry: its data, method and CRC-32 are not looked at.
  if (ReadU32(localHeader + 22) == 0) {
    out->bytes = extraRoom == 0 ? nullptr : std::make_unique_for_overwrite<uint8_t[]>(extraRoom);
    out->length = 0;
    return true;
  }

  // A size the data cannot possibly inflate to would fail anyway (output room
  // left); refuse it before allocating up to 4 GiB for it.
  EntryData data;
  const bool located = LocateEntryData(archive, localHeader, &data);
  if (!located || (!data.stored && data.uncompressedSize >
                                       (data.compressedSize + uint64_t{1}) * kMaxInflateRatio)) {
    archive.ReadingError = InconsistentText();
    return false;
  }
  const ReadPagesRelease release(archive, data);

  auto block = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(data.uncompressedSize) +
                                                          extraRoom);
  bool intact;
  if (data.stored) {
    std::memcpy(block.get(), data.bytes, data.compressedSize);
    intact = true;
  } else {
    // One call: the whole data in, exactly the entry's size out.
    EntryInflater inflater;
    intact = inflater.Start(data.bytes, data.compressedSize) &&
             inflater.Inflate(block.get(), data.uncompressedSize) == Z_OK &&
             inflater.inputLeft() == 0 && inflater.outputLeft() == 0;
  }
  if (!intact || crc32(0, block.get(), data.uncompressedSize) != data.crc) {
    archive.ReadingError = InconsistentText();
    return false;
  }
  out->bytes = std::move(block);
  out->length = data.uncompressedSize;
  return true;
}

bool ExtractToFile(PackageArchive& archive, const uint8_t* localHeader, platform::File* file) {
  if (!LocalHeaderInside(archive, localHeader)) {
    archive.ReadingError = InconsistentText();
    return false;
  }
  // An empty entry: nothing is checked and nothing is written.
  if (ReadU32(localHeader + 22) == 0) return true;

  EntryData data;
  if (!LocateEntryData(archive, localHeader, &data)) {
    archive.ReadingError = InconsistentText();
    return false;
  }
  const ReadPagesRelease release(archive, data);

  if (data.stored) {
    // Checked before anything is written.
    if (crc32(0, data.bytes, data.compressedSize) != data.crc) {
      archive.ReadingError = InconsistentText();
      return false;
    }
    if (file != nullptr && !WriteEntryBytes(archive, *file, data.bytes, data.compressedSize)) {
      archive.ReadingError = nullptr;
      return false;
    }
    return true;
  }

  EntryInflater inflater;
  if (!inflater.Start(data.bytes, data.compressedSize)) {
    archive.ReadingError = InconsistentText();
    return false;
  }
  // Each piece is written as soon as it is produced; damage found later
  // leaves what was written in the file.
  const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(kOutputBufferSize);
  uint64_t produced = 0;
  uLong crc = crc32(0, nullptr, 0);
  int status;
  do {
    status = inflater.Inflate(buffer.get(), kOutputBufferSize);
    if (status != Z_OK) break;
    const uint32_t count = kOutputBufferSize - inflater.outputLeft();
    if (file != nullptr && count != 0 && !WriteEntryBytes(archive, *file, buffer.get(), count)) {
      archive.ReadingError = nullptr;
      return false;
    }
    crc = crc32(crc, buffer.get(), count);
    produced += count;
  } while (produced < data.uncompressedSize);

  // The produced size is checked as well as the CRC-32: data that decodes to
  // more than the entry's size is damaged even when the checksum covers it.
  if (status != Z_OK || crc != data.crc || produced != data.uncompressedSize) {
    archive.ReadingError = InconsistentText();
    return false;
  }
  return true;
}

bool VerifyEntry(PackageArchive& archive, const uint8_t* localHeader) {
  return ExtractToFile(archive, localHeader, nullptr);
}

bool WriteWithRetry(QuestionHost& host, platform::File& file, const void* data, uint32_t count,
                    uint32_t* written, int* answer) {
  int button = platform::kIdOk;
  bool ok;
  for (;;) {
    ok = file.Write(data, count, written);
    if (ok) break;
    const uint32_t error = platform::LastErrorCode();
    if (!platform::IsDiskFullError(error)) break;
    button = ShowSystemMessage(host, error, nullptr, platform::kMbRetryCancel | platform::kMbIconError);
    if (button != platform::kIdRetry) break;
  }
  if (answer != nullptr) *answer = button;
  return ok;
}

int ShowSystemMessage(QuestionHost& host, uint32_t errorCode, const char* caption, uint32_t style) {
  const std::string text = platform::ErrorMessageText(errorCode);
  return host.ShowMessageBox(text.c_str(), caption, style | platform::kMbTaskModal);
}
