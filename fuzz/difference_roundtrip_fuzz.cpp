// Round trip of the difference encoder: any old and new file encode to a difference that the applier turns back into the new file.
//
// The input is split in two: its first two bytes give the old file's share
// of the rest, which is taken from the front; the new file is what remains,
// optionally built from pieces of the old file so that matches are found.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/difference_applier.h"
#include "tools/make/difference_encoder.h"

namespace {

class CollectingSink final : public ResultSink {
 public:
  bool Write(const uint8_t* data, uint32_t count) override {
    bytes.insert(bytes.end(), data, data + count);
    return true;
  }
  std::vector<uint8_t> bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1 << 20)) return 0;
  const size_t share = (size_t{data[0]} << 8 | data[1]) % (size - 1);
  const uint8_t* rest = data + 2;
  const size_t restSize = size - 2;
  std::vector<uint8_t> oldBytes(rest, rest + std::min(share, restSize));
  std::vector<uint8_t> newBytes(rest + oldBytes.size(), rest + restSize);
  // An odd first byte makes the new file the old one with the input's tail
  // laid over it byte by byte, so that most bytes match.
  if ((data[0] & 1) != 0 && !oldBytes.empty()) {
    std::vector<uint8_t> mixed = oldBytes;
    for (size_t i = 0; i < newBytes.size(); i += 2) {
      const size_t at = (newBytes[i] * 131u + i * 17u) % mixed.size();
      if (i + 1 < newBytes.size()) mixed[at] = newBytes[i + 1];
    }
    newBytes = std::move(mixed);
  }

  std::vector<uint8_t> difference;
  if (EncodeDifference(oldBytes, newBytes, {}, {}, difference) != EncodeStatus::kEncoded) {
    __builtin_trap();
  }
  CollectingSink sink;
  if (DecodeDifference(ByteView{oldBytes.data(), oldBytes.size()}, difference.data(),
                       static_cast<uint32_t>(difference.size()), &sink) != DifferenceStatus::kApplied ||
      sink.bytes != newBytes) {
    __builtin_trap();
  }
  return 0;
}
