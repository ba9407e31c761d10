// Writes package data files (host bytes plus a ZIP archive) for tests, fuzz
// seeds and benchmarks.
#include "tests/support/package_writer.h"

#include <cstring>
#include <cstdlib>

#include <zlib.h>

namespace {

void AppendU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void AppendBytes(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

void AppendText(std::vector<uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

// The values written for one entry, after the overrides.
struct EntryFields {
  std::vector<uint8_t> data;
  uint16_t method;
  uint32_t crc;
  uint32_t compressedSize;
  uint32_t uncompressedSize;
};

EntryFields FieldsOf(const PackageEntryPlan& file) {
  EntryFields fields;
  if (file.data) {
    fields.data = *file.data;
  } else if (file.deflate) {
    fields.data = DeflateRaw(file.content, file.level);
  } else {
    fields.data = file.content;
  }
  fields.method = file.method.value_or(file.deflate ? 8 : 0);
  fields.crc = file.crc.value_or(Crc32Of(file.content));
  fields.compressedSize = file.compressedSize.value_or(static_cast<uint32_t>(fields.data.size()));
  fields.uncompressedSize = file.uncompressedSize.value_or(static_cast<uint32_t>(file.content.size()));
  return fields;
}

}  // namespace

std::vector<uint8_t> DeflateRaw(std::span<const uint8_t> data, int level) {
  z_stream stream{};
  // Only a level outside 0 to 9 or a lack of memory fails: a fault of the caller.
  if (deflateInit2(&stream, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
  std::vector<uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())));
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (status != Z_STREAM_END) std::abort();  // the output was sized by deflateBound
  return out;
}

uint32_t Crc32Of(std::span<const uint8_t> data) {
  return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

std::vector<uint8_t> BytesOf(std::string_view text) { return {text.begin(), text.end()}; }

PackageEntryPlan StoredFile(std::string name, std::vector<uint8_t> content) {
  PackageEntryPlan file;
  file.name = std::move(name);
  file.content = std::move(content);
  file.deflate = false;
  return file;
}

PackageEntryPlan DeflatedFile(std::string name, std::vector<uint8_t> content, int level) {
  PackageEntryPlan file;
  file.name = std::move(name);
  file.content = std::move(content);
  file.deflate = true;
  file.level = level;
  return file;
}

namespace {

// The fields a local header and its central record both hold, from the flags
// to the uncompressed size.
void AppendSharedFields(std::vector<uint8_t>& out, const PackageEntryPlan& file,
                        const EntryFields& entry) {
  AppendU16(out, 0);  // flags
  AppendU16(out, entry.method);
  AppendU16(out, file.dosTime);
  AppendU16(out, file.dosDate);
  AppendU32(out, entry.crc);
  AppendU32(out, entry.compressedSize);
  AppendU32(out, entry.uncompressedSize);
}

}  // namespace

PackageLayout BuildPackage(const PackagePlan& plan) {
  PackageLayout layout;
  std::vector<uint8_t>& out = layout.bytes;
  AppendBytes(out, plan.hostPrefix);
  const uint64_t base = plan.offsetsFromArchiveStart ? plan.hostPrefix.size() : 0;

  std::vector<EntryFields> fields;
  for (const PackageEntryPlan& file : plan.files) {
    EntryFields entry = FieldsOf(file);
    layout.localHeaders.push_back(out.size());
    AppendU32(out, kLocalHeaderSignature);
    AppendU16(out, 20);  // version needed to extract
    AppendSharedFields(out, file, entry);
    AppendU16(out, file.localNameLength.value_or(static_cast<uint16_t>(file.name.size())));
    AppendU16(out, file.localExtraLength.value_or(static_cast<uint16_t>(file.localExtra.size())));
    AppendText(out, file.name);
    AppendBytes(out, file.localExtra);
    layout.entryData.push_back(out.size());
    AppendBytes(out, entry.data);
    fields.push_back(std::move(entry));
  }

  layout.centralDirectory = out.size();
  for (size_t i = 0; i < plan.files.size(); ++i) {
    const PackageEntryPlan& file = plan.files[i];
    const EntryFields& entry = fields[i];
    layout.centralRecords.push_back(out.size());
    AppendU32(out, file.centralSignature.value_or(kCentralRecordSignature));
    AppendU16(out, 20);  // version made by: MS-DOS
    AppendU16(out, 20);  // version needed to extract
    AppendSharedFields(out, file, entry);
    AppendU16(out, file.centralNameLength.value_or(static_cast<uint16_t>(file.name.size())));
    AppendU16(out, file.centralExtraLength.value_or(static_cast<uint16_t>(file.centralExtra.size())));
    AppendU16(out,
              file.centralCommentLength.value_or(static_cast<uint16_t>(file.centralComment.size())));
    AppendU16(out, 0);  // disk number start
    AppendU16(out, 0);  // internal attributes
    AppendU32(out, file.externalAttributes);
    AppendU32(out, file.localHeaderOffset.value_or(
                       static_cast<uint32_t>(layout.localHeaders[i] - base)));
    AppendText(out, file.name);
    AppendBytes(out, file.centralExtra);
    AppendBytes(out, file.centralComment);
  }

  layout.endRecord = out.size();
  const uint16_t count = plan.entryCount.value_or(static_cast<uint16_t>(plan.files.size()));
  AppendU32(out, plan.endSignature.value_or(kEndRecordSignature));
  AppendU16(out, 0);  // this disk
  AppendU16(out, 0);  // disk with the central directory
  AppendU16(out, count);
  AppendU16(out, count);
  AppendU32(out, static_cast<uint32_t>(layout.endRecord - layout.centralDirectory));
  AppendU32(out, plan.centralDirectoryOffset.value_or(
                     static_cast<uint32_t>(layout.centralDirectory - base)));
  AppendU16(out, plan.archiveCommentLength.value_or(static_cast<uint16_t>(plan.archiveComment.size())));
  AppendBytes(out, plan.archiveComment);
  return layout;
}

void PutU16(std::vector<uint8_t>& bytes, uint64_t offset, uint16_t value) {
  bytes.at(offset) = static_cast<uint8_t>(value);
  bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& bytes, uint64_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}
