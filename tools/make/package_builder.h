// Building a package from an old and a new folder: comparing the trees,
// choosing Add, Replace or Update for each file, writing the archive, and
// proving the result with the system's own reader and applier.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"

// Writes a package data file: optional host bytes (the stub), then a ZIP
// archive whose offsets count from the first byte of the file. Names are
// written as given; sizes, offsets and the entry count are checked against
// the archive's 32-bit and 16-bit fields.
class ArchiveWriter {
 public:
  [[nodiscard]] bool Open(const std::string& path, std::span<const uint8_t> stub,
                          std::string& error);
  // A file entry: raw DEFLATE at level 9, or stored when that does not shrink
  // it. `deflated` may hold the compressed form already (empty: compress
  // here).
  [[nodiscard]] bool AddFile(const std::string& name, std::span<const uint8_t> content,
                             std::span<const uint8_t> deflated, uint32_t attributes,
                             uint32_t dosStamp, std::string& error);
  // A directory entry: the name ends in '/', nothing stored, attribute 0x10.
  [[nodiscard]] bool AddDirectory(const std::string& name, uint32_t attributes, uint32_t dosStamp,
                                  std::string& error);
  // Writes the central directory and the end record and closes the file.
  [[nodiscard]] bool Finish(std::string& error);
  // Closes and deletes a file that was not finished.
  void Abandon();

  [[nodiscard]] uint64_t size() const { return offset_; }

 private:
  struct Record {
    std::string name;
    uint16_t method;
    uint32_t dosStamp;
    uint32_t crc;
    uint32_t compressedSize;
    uint32_t uncompressedSize;
    uint32_t attributes;
    uint32_t localHeaderOffset;
  };
  [[nodiscard]] bool Write(std::span<const uint8_t> bytes, std::string& error);
  [[nodiscard]] bool AddRecord(Record record, std::span<const uint8_t> data, std::string& error);

  std::string path_;
  platform::File file_;
  uint64_t offset_ = 0;
  std::vector<Record> records_;
};

// Raw DEFLATE (no zlib header) of `bytes` at level 9, as packages store entries.
[[nodiscard]] std::vector<uint8_t> DeflateLevel9(std::span<const uint8_t> bytes);

struct BuildOptions {
  std::string oldFolder;
  std::string newFolder;
  // Control entries taken from files; empty: none.
  std::string product;
  std::string install;
  std::string license;
  std::string notes;
  std::string picture;
  std::string stub;  // empty: a package data file without a host program
  std::string output;
  uint32_t codePage = 936;  // of the entry names
  // Called before each file is compared or checked: the phase ("compare" or
  // "verify"), how many of how many, and the file's relative name.
  std::function<void(const char* phase, uint64_t done, uint64_t total, const std::string& name)>
      progress;
};

struct BuildSummary {
  uint32_t added = 0;
  uint32_t replaced = 0;
  uint32_t updated = 0;
  uint32_t directories = 0;  // new empty folders
  uint32_t unchanged = 0;
  uint32_t deletedFiles = 0;
  uint32_t deletedDirectories = 0;
  uint64_t packageSize = 0;
};

// Compares the two folders and writes the package to options.output, then
// reopens it with the system's reader, walks it, verifies every entry and
// applies every difference in memory against the old folder. On any failure
// `error` names the file and the reason and no output is left behind.
[[nodiscard]] bool BuildPackageFromFolders(const BuildOptions& options, BuildSummary& summary,
                                           std::string& error);
