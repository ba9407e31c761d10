// Building a package from two folders, and proving it with the system's reader.
#include "tools/make/package_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <set>

#include <zlib.h>

#include "engine/difference_applier.h"
#include "engine/run_context.h"
#include "package/zip_format.h"
#include "package/run_package.h"
#include "platform/code_page.h"
#include "platform/directory_list.h"
#include "platform/file_system.h"
#include "platform/file_times.h"
#include "report/question_host.h"
#include "tools/make/difference_encoder.h"
#include "tools/make/tool_files.h"

namespace {

using zip_format::kCentralRecordSignature;
using zip_format::kEndRecordSignature;
using zip_format::kLocalHeaderSignature;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kMaxEntries = 0xFFFF;

void PutU16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

std::span<const uint8_t> BytesOfText(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::vector<uint8_t> DeflateLevel9(std::span<const uint8_t> bytes) {
  z_stream stream{};
  std::vector<uint8_t> out;
  if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return out;
  out.resize(deflateBound(&stream, static_cast<uLong>(bytes.size())));
  stream.next_in = const_cast<Bytef*>(bytes.data());
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  // deflateBound sizes the output for one call; anything else is a fault of zlib.
  if (status != Z_STREAM_END) out.clear();
  return out;
}

// ---- ArchiveWriter ----

bool ArchiveWriter::Open(const std::string& path, std::span<const uint8_t> stub,
                         std::string& error) {
  path_ = path;
  file_ = platform::File::CreateForWriting(path.c_str());
  if (!file_.IsOpen()) {
    error = "cannot create " + path + ": " + LastSystemErrorText();
    return false;
  }
  offset_ = 0;
  records_.clear();
  return Write(stub, error);
}

bool ArchiveWriter::Write(std::span<const uint8_t> bytes, std::string& error) {
  size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, 1u << 24));
    uint32_t written = 0;
    if (!file_.Write(bytes.data() + done, chunk, &written) || written != chunk) {
      error = "cannot write " + path_ + ": " + LastSystemErrorText();
      return false;
    }
    done += chunk;
  }
  offset_ += bytes.size();
  return true;
}

bool ArchiveWriter::AddRecord(Record record, std::span<const uint8_t> data, std::string& error) {
  if (records_.size() >= kMaxEntries) {
    error = "a package holds at most 65535 entries";
    return false;
  }
  if (record.name.size() > 0xFFFF) {
    error = "the entry name " + record.name + " is longer than 65535 bytes";
    return false;
  }
  if (offset_ > std::numeric_limits<uint32_t>::max()) {
    error = "the package would be larger than 4 GiB";
    return false;
  }
  record.localHeaderOffset = static_cast<uint32_t>(offset_);
  std::vector<uint8_t> header;
  PutU32(header, kLocalHeaderSignature);
  PutU16(header, 20);  // version needed to extract
  PutU16(header, 0);   // flags
  PutU16(header, record.method);
  PutU16(header, record.dosStamp & 0xFFFF);
  PutU16(header, record.dosStamp >> 16);
  PutU32(header, record.crc);
  PutU32(header, record.compressedSize);
  PutU32(header, record.uncompressedSize);
  PutU16(header, static_cast<uint32_t>(record.name.size()));
  PutU16(header, 0);  // extra field
  header.insert(header.end(), record.name.begin(), record.name.end());
  if (!Write(header, error) || !Write(data, error)) return false;
  records_.push_back(std::move(record));
  return true;
}

bool ArchiveWriter::AddFile(const std::string& name, std::span<const uint8_t> content,
                            std::span<const uint8_t> deflated, uint32_t attributes,
                            uint32_t dosStamp, std::string& error) {
  if (content.size() > std::numeric_limits<uint32_t>::max()) {
    error = "the entry " + name + " is larger than 4 GiB";
    return false;
  }
  std::vector<uint8_t> compressed;
  if (deflated.empty() && !content.empty()) {
    compressed = DeflateLevel9(content);
    deflated = compressed;
  }
  const bool store = content.empty() || deflated.empty() || deflated.size() >= content.size();
  const std::span<const uint8_t> data = store ? content : deflated;
  Record record;
  record.name = name;
  record.method = store ? 0 : 8;
  record.dosStamp = dosStamp;
  record.crc = static_cast<uint32_t>(
      crc32(0, content.data(), static_cast<uInt>(content.size())));
  record.compressedSize = static_cast<uint32_t>(data.size());
  record.uncompressedSize = static_cast<uint32_t>(content.size());
  record.attributes = attributes;
  return AddRecord(std::move(record), data, error);
}

bool ArchiveWriter::AddDirectory(const std::string& name, uint32_t attributes, uint32_t dosStamp,
                                 std::string& error) {
  Record record;
  record.name = name;
  record.method = 0;
  record.dosStamp = dosStamp;
  record.crc = 0;
  record.compressedSize = 0;
  record.uncompressedSize = 0;
  record.attributes = attributes | kAttributeDirectory;
  return AddRecord(std::move(record), {}, error);
}

bool ArchiveWriter::Finish(std::string& error) {
  const uint64_t directoryStart = offset_;
  std::vector<uint8_t> directory;
  for (const Record& record : records_) {
    PutU32(directory, kCentralRecordSignature);
    PutU16(directory, 20);  // made by MS-DOS: the external attributes are DOS attributes
    PutU16(directory, 20);
    PutU16(directory, 0);
    PutU16(directory, record.method);
    PutU16(directory, record.dosStamp & 0xFFFF);
    PutU16(directory, record.dosStamp >> 16);
    PutU32(directory, record.crc);
    PutU32(directory, record.compressedSize);
    PutU32(directory, record.uncompressedSize);
    PutU16(directory, static_cast<uint32_t>(record.name.size()));
    PutU16(directory, 0);  // extra field
    PutU16(directory, 0);  // comment
    PutU16(directory, 0);  // disk number
    PutU16(directory, 0);  // internal attributes
    PutU32(directory, record.attributes);
    PutU32(directory, record.localHeaderOffset);
    directory.insert(directory.end(), record.name.begin(), record.name.end());
  }
  const uint64_t end = directoryStart + directory.size() + 22;
  if (end > std::numeric_limits<uint32_t>::max()) {
    error = "the package would be larger than 4 GiB";
    return false;
  }
  PutU32(directory, kEndRecordSignature);
  PutU16(directory, 0);
  PutU16(directory, 0);
  PutU16(directory, static_cast<uint32_t>(records_.size()));
  PutU16(directory, static_cast<uint32_t>(records_.size()));
  PutU32(directory, static_cast<uint32_t>(end - 22 - directoryStart));
  PutU32(directory, static_cast<uint32_t>(directoryStart));
  PutU16(directory, 0);  // archive comment
  if (!Write(directory, error)) return false;
  file_.Close();
  return true;
}

void ArchiveWriter::Abandon() {
  file_.Close();
  if (!path_.empty()) std::remove(path_.c_str());
}

// ---- Comparing the folders ----

namespace {

struct TreeNode {
  bool directory = false;
  bool empty = false;  // a directory without any entry
};

// Relative names use '/' and sort byte-wise, so a folder comes before
// everything inside it.
using Tree = std::map<std::string, TreeNode>;

std::string JoinPath(const std::string& folder, const std::string& relative) {
  if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder + relative;
  return folder + "/" + relative;
}

bool IsFolder(const std::string& path) {
  uint32_t attributes = 0;
  return platform::ReadAttributes(path.c_str(), &attributes) &&
         (attributes & platform::kAttributeDirectory) != 0;
}

bool ReadTree(const std::string& folder, const std::string& prefix, Tree& tree,
              std::string& error) {
  std::vector<platform::DirectoryEntry> entries;
  const std::string path = JoinPath(folder, prefix);
  if (!platform::ListDirectory(path.c_str(), entries)) {
    error = "cannot list " + path + ": " + LastSystemErrorText();
    return false;
  }
  for (const platform::DirectoryEntry& entry : entries) {
    const std::string name = prefix + entry.name;
    if (!entry.directory) {
      tree[name] = TreeNode{};
      continue;
    }
    tree[name].directory = true;
    const size_t before = tree.size();
    if (!ReadTree(folder, name + "/", tree, error)) return false;
    tree[name].empty = tree.size() == before;
  }
  return true;
}

// The attributes and local time stamp an entry takes from a file.
DifferenceFileFacts FactsOf(const std::string& path) {
  DifferenceFileFacts facts;
  uint32_t attributes = 0;
  if (platform::ReadAttributes(path.c_str(), &attributes)) {
    facts.attributes = attributes & ~platform::kAttributeDirectory;
  }
  // Times before 1980 or after 2107 have no DOS form: the nearest one is used.
  facts.dosStamp = 0x0021u << 16;  // 1980-01-01 00:00
  const platform::File file = platform::File::OpenForReading(path.c_str());
  platform::FileTime written = 0;
  platform::CalendarTime local;
  if (!platform::ReadLastWriteTime(file, &written) || !platform::ToLocalCalendar(written, &local) ||
      local.year < 1980) {
    return facts;
  }
  if (local.year > 2107) {
    facts.dosStamp = (127u << 25 | 12u << 21 | 31u << 16) | (23u << 11 | 59u << 5 | 29u);
    return facts;
  }
  const uint32_t date = static_cast<uint32_t>((local.year - 1980) << 9 | local.month << 5 | local.day);
  const uint32_t time = static_cast<uint32_t>(local.hour << 11 | local.minute << 5 | local.second / 2);
  facts.dosStamp = date << 16 | time;
  return facts;
}

enum class PlannedKind : uint8_t { kAdd, kReplace, kUpdate, kDirectory };

struct PlannedItem {
  PlannedKind kind;
  std::string relative;  // file system name, '/' separators
  std::string entryName;
  std::string catalogueName;  // code page name with '\' separators, as the catalogue holds it
};

bool ToCodePage(const std::string& relative, uint32_t codePage, std::string& out,
                std::string& error) {
  if (!platform::FileSystemNameToCodePage(relative, codePage, out)) {
    error = "the name " + relative + " has no form in code page " + std::to_string(codePage);
    return false;
  }
  return true;
}

std::string WithBackslashes(std::string text) {
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

// The name the catalogue of this machine makes of an entry name: converted
// from the OEM code page, with '\' separators.
std::string CatalogueName(const std::string& entryName) {
  std::string converted(entryName.size(), '\0');
  platform::OemToAnsiText(entryName.data(), converted.data(), static_cast<uint32_t>(entryName.size()));
  return WithBackslashes(converted);
}

std::string FoldAsciiCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

bool SameBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

// Compares the decoded result with the new file as it is produced.
class ComparingSink final : public ResultSink {
 public:
  explicit ComparingSink(std::span<const uint8_t> expected) : expected_(expected) {}
  bool Write(const uint8_t* data, uint32_t count) override {
    if (offset_ + count > expected_.size() ||
        std::memcmp(expected_.data() + offset_, data, count) != 0) {
      differs_ = true;
      return false;
    }
    offset_ += count;
    return true;
  }
  [[nodiscard]] bool matched() const { return !differs_ && offset_ == expected_.size(); }

 private:
  std::span<const uint8_t> expected_;
  uint64_t offset_ = 0;
  bool differs_ = false;
};

// Records every question the run driver asks and answers No: the build
// proves its output without anybody at the keyboard.
class RecordingHost final : public QuestionHost {
 public:
  int ShowMessageBox(const char* text, const char* caption, uint32_t style) override {
    texts.emplace_back(text);
    return 7;  // IDNO
  }
  std::vector<std::string> texts;
};

bool VerifyPackageFile(const BuildOptions& options, const std::vector<PlannedItem>& plan,
                       const BuildSummary& summary, std::string& error) {
  InputFile package;
  if (!package.Open(options.output.c_str(), error)) return false;
  RecordingHost host;
  RunContext context(host);
  const auto bytes = package.bytes();
  if (!BuildCatalogue(context, bytes.data(), static_cast<uint32_t>(bytes.size()))) {
    error = "the package written cannot be read back";
    for (const std::string& text : host.texts) error += ": " + text;
    return false;
  }

  std::map<std::pair<int, std::string>, const PlannedItem*> expected;
  for (const PlannedItem& item : plan) {
    const int kind = item.kind == PlannedKind::kDirectory ? static_cast<int>(ItemKind::kAdd)
                                                          : static_cast<int>(item.kind);
    expected[{kind, item.catalogueName}] = &item;
  }
  const PackageCatalogue& catalogue = context.catalogue;
  if (catalogue.ItemCount != plan.size() || catalogue.DelFilesCount != summary.deletedFiles ||
      catalogue.DelDirsCount != summary.deletedDirectories) {
    error = "the package read back does not hold the items and lists written";
    return false;
  }

  uint64_t done = 0;
  for (const PatchItem& item : catalogue) {
    const auto found = expected.find({static_cast<int>(item.kind), item.name});
    if (found == expected.end()) {
      error = std::string("the package read back holds an unexpected item ") + item.name;
      return false;
    }
    const PlannedItem& planned = *found->second;
    if (options.progress) options.progress("verify", done++, plan.size(), planned.relative);
    if (planned.kind == PlannedKind::kDirectory) {
      if (!item.IsDirectory()) {
        error = "the folder item " + planned.relative + " is not a directory entry";
        return false;
      }
      continue;
    }
    ExtractedBlock block;
    if (!ExtractToMemory(context.archive, item.localHeader, &block, 0)) {
      error = "the entry of " + planned.relative + " does not extract: " +
              (context.archive.ReadingError != nullptr ? context.archive.ReadingError : "");
      return false;
    }
    InputFile newFile;
    if (!newFile.Open(JoinPath(options.newFolder, planned.relative).c_str(), error)) return false;
    const std::span<const uint8_t> stored(block.bytes.get(), block.length);
    if (planned.kind != PlannedKind::kUpdate) {
      if (!SameBytes(stored, newFile.bytes())) {
        error = "the entry of " + planned.relative + " does not hold the new file";
        return false;
      }
      continue;
    }
    InputFile oldFile;
    if (!oldFile.Open(JoinPath(options.oldFolder, planned.relative).c_str(), error)) return false;
    ComparingSink sink(newFile.bytes());
    const ByteView old{oldFile.bytes().data(), oldFile.bytes().size()};
    const DifferenceStatus status = DecodeDifference(old, stored.data(), block.length, &sink);
    if (status != DifferenceStatus::kApplied || !sink.matched()) {
      TextBuffer reason;
      DescribeDifferenceStatus(status, reason);
      error = "the difference of " + planned.relative + " does not turn the old file into the new";
      if (!reason.empty()) error += std::string(": ") + reason.chars();
      return false;
    }
  }
  return true;
}

bool ReadOptionalFile(const std::string& path, InputFile& file, std::string& error) {
  return path.empty() || file.Open(path.c_str(), error);
}

bool BuildAndWrite(const BuildOptions& options, ArchiveWriter& writer,
                   std::vector<PlannedItem>& plan, BuildSummary& summary, std::string& error) {
  Tree oldTree;
  Tree newTree;
  if (!IsFolder(options.oldFolder)) {
    error = options.oldFolder + " is not a folder";
    return false;
  }
  if (!IsFolder(options.newFolder)) {
    error = options.newFolder + " is not a folder";
    return false;
  }
  if (!ReadTree(options.oldFolder, "", oldTree, error)) return false;
  if (!ReadTree(options.newFolder, "", newTree, error)) return false;

  // Lists of what goes: files and folders only in the old tree.
  std::string deletedFiles;
  std::vector<std::string> deletedDirectories;
  for (const auto& [relative, node] : oldTree) {
    const auto other = newTree.find(relative);
    if (other != newTree.end()) {
      if (other->second.directory != node.directory) {
        error = relative + " is a " + (node.directory ? "folder" : "file") +
                " in the old tree and a " + (node.directory ? "file" : "folder") +
                " in the new one; a package cannot change one into the other";
        return false;
      }
      continue;
    }
    std::string name;
    if (!ToCodePage(relative, options.codePage, name, error)) return false;
    if (node.directory) {
      deletedDirectories.push_back(WithBackslashes(name));
    } else {
      deletedFiles += WithBackslashes(name) + "\r\n";
      ++summary.deletedFiles;
    }
  }
  // Children before their parents, so that each folder is empty at its turn.
  std::reverse(deletedDirectories.begin(), deletedDirectories.end());
  std::string deletedDirectoryList;
  for (const std::string& name : deletedDirectories) deletedDirectoryList += name + "\r\n";
  summary.deletedDirectories = static_cast<uint32_t>(deletedDirectories.size());

  // The control entries first, in the catalogue's table order.
  InputFile product, install, notes, license, picture;
  if (!ReadOptionalFile(options.product, product, error) ||
      !ReadOptionalFile(options.install, install, error) ||
      !ReadOptionalFile(options.notes, notes, error) ||
      !ReadOptionalFile(options.license, license, error) ||
      !ReadOptionalFile(options.picture, picture, error)) {
    return false;
  }
  struct Control {
    const char* name;
    const std::string& path;
    const InputFile& file;
  };
  const Control controls[] = {{"product", options.product, product},
                              {"install", options.install, install},
                              {"notes.rtf", options.notes, notes},
                              {"license.rtf", options.license, license},
                              {"rtpic.bmp", options.picture, picture}};
  for (const Control& control : controls) {
    if (control.path.empty()) continue;
    const DifferenceFileFacts facts = FactsOf(control.path);
    if (!writer.AddFile(control.name, control.file.bytes(), {}, facts.attributes, facts.dosStamp,
                        error)) {
      return false;
    }
  }
  // The lists are never placed as files: a fixed stamp keeps the output
  // independent of when the folders were last touched.
  constexpr uint32_t kListStamp = 0x0021u << 16;  // 1980-01-01 00:00
  if (!deletedFiles.empty() &&
      !writer.AddFile("del.files", BytesOfText(deletedFiles), {}, 0x20, kListStamp, error)) {
    return false;
  }
  if (!deletedDirectoryList.empty() &&
      !writer.AddFile("del.dirs", BytesOfText(deletedDirectoryList), {}, 0x20, kListStamp,
                      error)) {
    return false;
  }

  // The items, in the order of the new tree.
  uint64_t fileCount = 0;
  for (const auto& entry : newTree) fileCount += entry.second.directory ? 0 : 1;
  uint64_t done = 0;
  std::set<std::string> foldedNames;
  for (const auto& [relative, node] : newTree) {
    const std::string newPath = JoinPath(options.newFolder, relative);
    const auto old = oldTree.find(relative);
    if (node.directory) {
      if (old != oldTree.end() || !node.empty) continue;
    } else if (options.progress) {
      options.progress("compare", done++, fileCount, relative);
    }
    std::string name;
    if (!ToCodePage(relative, options.codePage, name, error)) return false;
    // Windows keeps one file for names that differ only in letter case. Only a
    // file system that tells them apart (UTF-8 names) can hold both.
    if (!foldedNames.insert(FoldAsciiCase(relative)).second) {
      error = "two names in " + options.newFolder + " differ only in letter case: " + relative;
      return false;
    }
    const DifferenceFileFacts newFacts = FactsOf(newPath);
    PlannedItem item{PlannedKind::kAdd, relative, "", CatalogueName(name)};

    if (node.directory) {
      item.kind = PlannedKind::kDirectory;
      item.entryName = "Add/" + name + "/";
      item.catalogueName += "\\";
      if (!writer.AddDirectory(item.entryName, 0, newFacts.dosStamp, error)) return false;
      ++summary.directories;
      plan.push_back(std::move(item));
      continue;
    }

    InputFile newFile;
    if (!newFile.Open(newPath.c_str(), error)) return false;
    if (old == oldTree.end()) {
      item.entryName = "Add/" + name;
      if (!writer.AddFile(item.entryName, newFile.bytes(), {}, newFacts.attributes,
                          newFacts.dosStamp, error)) {
        return false;
      }
      ++summary.added;
      plan.push_back(std::move(item));
      continue;
    }

    const std::string oldPath = JoinPath(options.oldFolder, relative);
    InputFile oldFile;
    if (!oldFile.Open(oldPath.c_str(), error)) return false;
    if (SameBytes(oldFile.bytes(), newFile.bytes())) {
      ++summary.unchanged;
      continue;
    }
    std::vector<uint8_t> difference;
    if (EncodeDifference(oldFile.bytes(), newFile.bytes(), FactsOf(oldPath),
                         newFacts, difference) != EncodeStatus::kEncoded) {
      error = "the difference of " + relative + " does not fit the format's 32-bit fields";
      return false;
    }
    const std::vector<uint8_t> packedDifference = DeflateLevel9(difference);
    const std::vector<uint8_t> packedNew = DeflateLevel9(newFile.bytes());
    // What each would occupy: an entry is stored when deflating does not shrink it.
    const size_t differenceSize = std::min(packedDifference.size(), difference.size());
    const size_t newSize = newFile.bytes().empty() ? 0 : std::min(packedNew.size(), newFile.bytes().size());
    if (differenceSize < newSize) {
      item.kind = PlannedKind::kUpdate;
      item.entryName = "Update/" + name + ".df";
      if (!writer.AddFile(item.entryName, difference, packedDifference, newFacts.attributes,
                          newFacts.dosStamp, error)) {
        return false;
      }
      ++summary.updated;
    } else {
      item.kind = PlannedKind::kReplace;
      item.entryName = "Replace/" + name;
      if (!writer.AddFile(item.entryName, newFile.bytes(), packedNew, newFacts.attributes,
                          newFacts.dosStamp, error)) {
        return false;
      }
      ++summary.replaced;
    }
    plan.push_back(std::move(item));
  }
  return true;
}

}  // namespace

bool BuildPackageFromFolders(const BuildOptions& options, BuildSummary& summary,
                             std::string& error) {
  summary = BuildSummary{};
  InputFile stub;
  if (!ReadOptionalFile(options.stub, stub, error)) return false;
  ArchiveWriter writer;
  if (!writer.Open(options.output, stub.bytes(), error)) return false;
  std::vector<PlannedItem> plan;
  if (!BuildAndWrite(options, writer, plan, summary, error) || !writer.Finish(error)) {
    writer.Abandon();
    return false;
  }
  summary.packageSize = writer.size();
  if (plan.empty() && summary.deletedFiles == 0 && summary.deletedDirectories == 0) {
    error = "the folders hold the same files: the package would be empty";
    std::remove(options.output.c_str());
    return false;
  }
  if (!VerifyPackageFile(options, plan, summary, error)) {
    error = "the package " + options.output + " failed its check: " + error;
    std::remove(options.output.c_str());
    return false;
  }
  return true;
}
