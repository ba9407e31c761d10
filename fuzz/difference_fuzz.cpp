// Fuzzes the difference applier over arbitrary old files and differences.
//
// Checks that no difference makes the applier read outside the old file or
// the difference (both exact-size heap copies, so AddressSanitizer sees any
// stray byte), that the output never exceeds ResultSize, and that verifying
// and applying agree. The first input byte chooses the mode: with bit 0 set
// the target writes a valid signature, HeaderLength, old-file size and CRC-32
// and HeaderCrc into the difference, so that most inputs reach the decoder.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/difference_applier.h"
#include "engine/difference_format.h"

namespace {

using namespace difference_format;

void Store32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Counts the bytes written and checks each write against the limit.
class CountingSink final : public ResultSink {
 public:
  explicit CountingSink(uint32_t limit) : limit_(limit) {}
  bool Write(const uint8_t* data, uint32_t count) override {
    if (count == 0) std::abort();
    total_ += count;
    if (total_ > limit_) std::abort();
    crc_ = static_cast<uint32_t>(crc32(crc_, data, count));
    return true;
  }
  uint32_t crc() const { return crc_; }

 private:
  uint64_t limit_;
  uint64_t total_ = 0;
  uint32_t crc_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool fixUp = (data[0] & 1) != 0;
  const size_t rest = size - 3;
  const size_t oldSize = (size_t{data[1]} | size_t{data[2]} << 8) % (rest + 1);
  const size_t diffSize = rest - oldSize;

  // Exact-size copies: nothing around them may be read.
  std::unique_ptr<uint8_t[]> old(new uint8_t[oldSize]);
  std::unique_ptr<uint8_t[]> diff(new uint8_t[diffSize]);
  if (oldSize > 0) std::memcpy(old.get(), data + 3, oldSize);
  if (diffSize > 0) std::memcpy(diff.get(), data + 3 + oldSize, diffSize);

  if (fixUp && diffSize >= kHeaderLength) {
    std::memcpy(diff.get(), kSignature, sizeof kSignature);
    Store32(diff.get() + kHeaderLengthAt, kHeaderLength);
    Store32(diff.get() + kSourceSizeAt, static_cast<uint32_t>(oldSize));
    Store32(diff.get() + kSourceCrcAt,
            static_cast<uint32_t>(crc32(0, old.get(), static_cast<uInt>(oldSize))));
    Store32(diff.get() + kHeaderCrcAt, ComputeHeaderCrc(diff.get(), kHeaderLength));
  }

  const ByteView view{oldSize > 0 ? old.get() : nullptr, oldSize};
  const uint32_t length = static_cast<uint32_t>(diffSize);
  const DifferenceStatus verified = DecodeDifference(view, diff.get(), length, nullptr);

  uint32_t limit = 0;
  if (diffSize >= kHeaderLength) limit = ReadDifferenceHeader(diff.get()).resultSize;
  CountingSink sink(limit);
  const DifferenceStatus applied = DecodeDifference(view, diff.get(), length, &sink);
  if (applied != verified) std::abort();
  if (applied == DifferenceStatus::kApplied && diffSize >= kHeaderLength &&
      sink.crc() != ReadDifferenceHeader(diff.get()).resultCrc) {
    std::abort();
  }
  return 0;
}
