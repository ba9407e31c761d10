// Applies a difference file to an old file: header and old-file checks, block decoding, result output.
//
// The decoder works on byte views of the old file and the difference and
// writes through a ResultSink; it opens no files. The file-level functions
// map the old file and write to an output file through WriteWithRetry.
#pragma once

#include <cstdint>
#include <memory>

#include "base/text_buffer.h"

class QuestionHost;
namespace platform {
class File;
}

// Read-only bytes held by someone else.
struct ByteView {
  const uint8_t* data = nullptr;
  uint64_t size = 0;
};

// Receives the result in chunks. Called once per flushed chunk, never per byte.
class ResultSink {
 public:
  virtual ~ResultSink() = default;
  // Writes all `count` bytes (count > 0). False on failure, with the system's
  // last error left as the failure set it.
  [[nodiscard]] virtual bool Write(const uint8_t* data, uint32_t count) = 0;
};

// Outcome of one application. Every value but kApplied is a failure; the
// texts are those DescribeDifferenceStatus gives.
enum class DifferenceStatus : uint8_t {
  kApplied,
  kDamaged,                  // "补丁数据损坏"
  kSignatureMissing,         // "不能找到 <DIFF> 签名"
  kHeaderDamaged,            // "Diff 标题已破坏"
  kAlreadyUpdatedSize,       // size text + "\n\n文件可能已经升级"
  kAlreadyUpdatedChecksum,   // checksum text + "\n\n文件可能已经升级"
  kSourceSizeMismatch,       // "源文件大小不同于期待的文件大小"
  kSourceChecksumMismatch,   // "源文件校验不同于期待的文件"
  kResultChecksumWrong,      // "目录文件校验是错误的"
  kOutputFailed,             // empty: the caller reports the system's last error
  kMappingFailed,            // empty: the caller reports the system's last error
};

// The output of one application: a 65,536-byte buffer in front of an optional
// sink, the running CRC-32 of everything flushed, and a limit on the total.
class ResultWriter {
 public:
  static constexpr uint32_t kBufferSize = 65536;

  // `sink` null means no output: only the CRC-32 is computed.
  ResultWriter(ResultSink* sink, uint32_t limit);
  ResultWriter(const ResultWriter&) = delete;
  ResultWriter& operator=(const ResultWriter&) = delete;

  // Emits `count` bytes from `data`. kDamaged when the total would exceed the
  // limit (none of the bytes is then written); kOutputFailed when a write
  // fails. Spans of kBufferSize bytes or more that remain after filling the
  // buffer go to the sink straight from `data` in one write.
  [[nodiscard]] DifferenceStatus Emit(const uint8_t* data, uint32_t count);

  // Writes what the buffer holds and folds it into the CRC-32.
  [[nodiscard]] DifferenceStatus Flush();

  [[nodiscard]] uint32_t crc() const { return crc_; }
  [[nodiscard]] uint64_t total() const { return total_; }

 private:
  [[nodiscard]] DifferenceStatus WriteChunk(const uint8_t* data, uint32_t count);

  ResultSink* sink_;
  uint64_t limit_;
  uint64_t total_ = 0;
  uint32_t crc_ = 0;
  uint32_t fill_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
};

// The header test alone: length, signature, HeaderLength, HeaderCrc, in that
// order. A HeaderLength below 75 is damaged data (the fixed fields would lie
// outside the header).
[[nodiscard]] DifferenceStatus CheckDifferenceBytes(const uint8_t* difference, uint32_t length);

// The whole application over byte views: header test, old-file size and
// CRC-32 tests, decoding every block into `output` (null: verification only),
// result CRC-32 test. A difference of length 0 is kApplied with nothing read
// or written. Every read is bounded: data that asks for anything outside its
// areas, the difference or the old file is kDamaged.
[[nodiscard]] DifferenceStatus DecodeDifference(ByteView oldFile, const uint8_t* difference,
                                                uint32_t length, ResultSink* output);

// Sets `error` to the text of `status`: empty for kApplied, kOutputFailed and
// kMappingFailed.
void DescribeDifferenceStatus(DifferenceStatus status, TextBuffer& error);

// The header test with its text in `error` (cleared first).
[[nodiscard]] bool CheckDifferenceHeader(const uint8_t* difference, uint32_t length,
                                         TextBuffer& error);

// Applies `difference` to `oldFile` (open for reading) and writes the result
// to `output` (open for writing at its start; neither truncated nor closed
// here), or only verifies when `output` is null. `error` is cleared first and
// holds the reason of a failure; it is empty when the old file cannot be
// mapped or a write fails, and the system's last error then tells why (it is
// kept unchanged across the release of the mapping). A full disk asks
// Retry/Cancel through `host`. An empty old file is read as zero bytes.
[[nodiscard]] bool ApplyDifference(QuestionHost& host, const platform::File& oldFile,
                                   const uint8_t* difference, uint32_t length,
                                   platform::File* output, TextBuffer& error);

// ApplyDifference without output: every test and decoding step, no write.
[[nodiscard]] bool VerifyDifference(const platform::File& oldFile, const uint8_t* difference,
                                    uint32_t length, TextBuffer& error);
