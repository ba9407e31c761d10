// Whole-file input and output for selfpatch-make, with the system's reason on failure.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/file_map.h"
#include "tools/make/difference_encoder.h"

// A file's bytes held for the length of a command: mapped read-only, or no
// bytes at all for an empty file (which the system cannot map).
class InputFile {
 public:
  // Opens and maps `path`. False with `error` set to a sentence naming the
  // file and the system's reason.
  [[nodiscard]] bool Open(const char* path, std::string& error);

  [[nodiscard]] std::span<const uint8_t> bytes() const { return bytes_; }
  // True when the bytes are a mapping of the file (not for an empty file).
  [[nodiscard]] bool mapped() const { return mapping_.IsMapped(); }
  // Unmaps the bytes; the file stays open.
  void ReleaseBytes() {
    mapping_.Unmap();
    bytes_ = {};
  }
  [[nodiscard]] const platform::File& file() const { return file_; }

 private:
  platform::File file_;
  platform::FileMapping mapping_;
  std::span<const uint8_t> bytes_;
};

// Creates or truncates `path` and writes `bytes` to it. False with `error`
// set; the partly written file is then removed.
[[nodiscard]] bool WriteWholeFile(const char* path, std::span<const uint8_t> bytes,
                                  std::string& error);

// The header facts of a file on disk: its DOS time stamp (local time) and an
// attribute word with the read-only and archive bits. Zero where the system
// cannot tell.
[[nodiscard]] DifferenceFileFacts ReadFileFacts(const char* path);

// The system's text for its last error, without the trailing line end.
[[nodiscard]] std::string LastSystemErrorText();
