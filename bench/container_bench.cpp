// Throughput of the container reader's integrity check and extraction on one
// large deflated entry, beside zlib's own raw inflate and crc32 on the same data.
//
//   container_bench [megabytes] [rounds]     (defaults: 50, 7)
//
// The entry holds machine code: the programs of /usr/bin concatenated in name
// order (topped up with structured synthetic bytes if there are too few),
// compressed at level 9. Every figure is the best of the rounds, measured in
// megabytes (10^6 bytes) of uncompressed data per second; the runs of one
// round are interleaved so that background load touches all of them alike.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <zlib.h>

#include "package/container_reader.h"
#include "platform/file.h"
#include "tests/support/package_writer.h"

namespace {

std::vector<uint8_t> MachineCode(size_t size) {
  std::vector<std::filesystem::path> paths;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator("/usr/bin", error)) {
    if (item.is_regular_file(error) && !item.is_symlink(error)) paths.push_back(item.path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<uint8_t> bytes;
  bytes.reserve(size);
  for (const auto& path : paths) {
    if (bytes.size() >= size) break;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    bytes.insert(bytes.end(), file.begin(), file.begin() + std::min(file.size(), size - bytes.size()));
  }
  // Synthetic top-up: records of small integers with some noise.
  uint32_t state = 1;
  while (bytes.size() < size) {
    state = state * 1103515245u + 12345u;
    bytes.push_back((state >> 29) == 0 ? static_cast<uint8_t>(state >> 16)
                                       : static_cast<uint8_t>(bytes.size() % 61));
  }
  return bytes;
}

double Seconds(const std::function<bool()>& run) {
  const auto start = std::chrono::steady_clock::now();
  if (!run()) {
    std::fprintf(stderr, "container_bench: a run failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// zlib's raw inflate into a 64 KiB buffer, optionally with a running CRC-32.
bool RawInflate(const uint8_t* data, uint32_t size, uint32_t expectedSize, uint32_t expectedCrc,
                bool withCrc) {
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) return false;
  static uint8_t buffer[65536];
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = size;
  uLong crc = 0;
  uint64_t produced = 0;
  int status;
  do {
    stream.next_out = buffer;
    stream.avail_out = sizeof buffer;
    status = inflate(&stream, Z_SYNC_FLUSH);
    const uint32_t count = sizeof buffer - stream.avail_out;
    if (withCrc) crc = crc32(crc, buffer, count);
    produced += count;
  } while (status == Z_OK);
  inflateEnd(&stream);
  return status == Z_STREAM_END && produced == expectedSize && (!withCrc || crc == expectedCrc);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;

  const std::vector<uint8_t> content = MachineCode(megabytes * 1000000);
  PackagePlan plan;
  plan.hostPrefix.assign(200000, 0x90);
  plan.files.push_back(DeflatedFile("Replace/big.bin", content, 9));
  const PackageLayout layout = BuildPackage(plan);
  const uint8_t* image = layout.bytes.data();
  const uint8_t* local = image + layout.localHeaders[0];
  const uint8_t* data = image + layout.entryData[0];
  const uint32_t compressedSize = static_cast<uint32_t>(layout.centralDirectory - layout.entryData[0]);
  const uint32_t size = static_cast<uint32_t>(content.size());
  const uint32_t crc = Crc32Of(content);

  PackageArchive archive;
  if (OpenPackage(archive, image, static_cast<uint32_t>(layout.bytes.size())) == nullptr) return 1;
  platform::File devNull = platform::File::CreateForWriting("/dev/null");
  if (!devNull.IsOpen()) return 1;

  struct Measure {
    const char* name;
    std::function<bool()> run;
    double best = 1e9;
  };
  std::vector<Measure> measures = {
      {"crc32 alone", [&] { return crc32(0, content.data(), size) == crc; }},
      {"zlib raw inflate, 64 KiB buffer", [&] { return RawInflate(data, compressedSize, size, crc, false); }},
      {"zlib raw inflate + crc32 (baseline)",
       [&] { return RawInflate(data, compressedSize, size, crc, true); }},
      {"VerifyEntry", [&] { return VerifyEntry(archive, local); }},
      {"ExtractToFile into /dev/null", [&] { return ExtractToFile(archive, local, &devNull); }},
  };
  for (int round = 0; round < rounds; ++round) {
    for (Measure& m : measures) m.best = std::min(m.best, Seconds(m.run));
  }

  std::printf("entry: %.1f MB uncompressed, %.1f MB deflated at level 9 (%.1f%%), best of %d rounds\n",
              size / 1e6, compressedSize / 1e6, 100.0 * compressedSize / size, rounds);
  const double baseline = measures[2].best;
  for (const Measure& m : measures) {
    std::printf("  %-38s %8.1f MB/s  %7.1f ms  time vs baseline %.3f\n", m.name, size / 1e6 / m.best,
                m.best * 1e3, m.best / baseline);
  }
  return 0;
}
