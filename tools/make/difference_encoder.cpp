// The difference encoder: match search over a suffix array, alignment, piece
// planning and the bit-exact writing of the difference areas.
#include "tools/make/difference_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/difference_format.h"
#include "tools/make/suffix_array.h"

namespace {

namespace fmt = difference_format;

// Matches are compared at most this far: longer ones are followed along their
// diagonal anyway, so the cap only bounds the cost of one search.
constexpr uint32_t kMaxCompare = 4096;
// Shortest match worth a search: the filter below hashes this many bytes.
constexpr uint32_t kGramLength = 8;
// A change of at most kSparseRun bytes followed by kSparseResume matching
// bytes along the current diagonal keeps the alignment without a search.
constexpr uint32_t kSparseRun = 8;
constexpr uint32_t kSparseResume = 8;

uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Length of the common prefix of a and b, at most `limit`.
uint32_t CommonPrefix(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t i = 0;
  while (i + 8 <= limit) {
    const uint64_t x = Load64(a + i) ^ Load64(b + i);
    if (x != 0) return i + static_cast<uint32_t>(__builtin_ctzll(x) >> 3);
    i += 8;
  }
  while (i < limit && a[i] == b[i]) ++i;
  return i;
}

// Index of the first byte at or after `from`, below `limit`, where a and b
// differ; `limit` when none does.
uint32_t NextMismatch(const uint8_t* a, const uint8_t* b, uint32_t from, uint32_t limit) {
  return from + CommonPrefix(a + from, b + from, limit - from);
}

uint64_t HashGram(const uint8_t* p) { return (Load64(p) * 0x9E3779B97F4A7C15ull); }

// Longest-match search in the old file: the suffix array, an index of where
// each two-byte prefix starts in it, and a bit filter of the old file's
// 8-byte strings that skips most hopeless searches.
class OldFileIndex {
 public:
  explicit OldFileIndex(std::span<const uint8_t> old) : old_(old) {
    const auto n = static_cast<uint32_t>(old.size());
    if (n < kGramLength) return;
    sa_ = BuildSuffixArray(old);
    // Where each two-byte prefix starts in the suffix array. The one-byte
    // suffix at the end belongs to no bucket; it can only sit at the end of
    // the bucket before it, where Search skips it.
    prefixStart_.assign(65537, n);
    uint32_t c = 0;
    for (uint32_t i = 0; i < n; ++i) {
      const auto at = static_cast<uint32_t>(sa_[i]);
      if (at + 1 >= n) continue;
      const uint32_t key = uint32_t{old[at]} << 8 | old[at + 1];
      while (c <= key) prefixStart_[c++] = i;
    }
    // About four bits per old byte, at most 16 MiB: the filter only saves
    // searches, a false hit costs one search.
    filterBits_ = 16;
    while (filterBits_ < 27 && (uint64_t{1} << filterBits_) < uint64_t{n} * 4) ++filterBits_;
    filter_.assign((size_t{1} << filterBits_) / 64, 0);
    for (uint32_t i = 0; i + kGramLength <= n; ++i) {
      const uint64_t bit = HashGram(old.data() + i) >> (64 - filterBits_);
      filter_[bit >> 6] |= uint64_t{1} << (bit & 63);
    }
  }

  // False when no 8-byte string of the old file equals the one at `key`.
  [[nodiscard]] bool MayMatch(const uint8_t* key) const {
    if (filter_.empty()) return false;
    const uint64_t bit = HashGram(key) >> (64 - filterBits_);
    return (filter_[bit >> 6] >> (bit & 63)) & 1;
  }

  // Length of the longest prefix of key[0, keyLength) found in the old file
  // (capped at kMaxCompare; 0 when shorter than two bytes), and its position.
  [[nodiscard]] uint32_t Search(const uint8_t* key, uint32_t keyLength, uint32_t* position) const {
    if (sa_.empty() || keyLength < 2) return 0;
    keyLength = std::min(keyLength, kMaxCompare);
    const uint32_t bucket = uint32_t{key[0]} << 8 | key[1];
    uint32_t lo = prefixStart_[bucket];
    uint32_t hi = prefixStart_[bucket + 1];
    const auto n = static_cast<uint32_t>(old_.size());
    if (lo >= hi) return 0;
    --hi;
    if (static_cast<uint32_t>(sa_[hi]) + 1 >= n) {
      if (lo == hi) return 0;
      --hi;
    }
    const uint8_t* old = old_.data();
    auto lcpAt = [&](uint32_t index, uint32_t skip) {
      const auto at = static_cast<uint32_t>(sa_[index]);
      return skip + CommonPrefix(old + at + skip, key + skip, std::min(keyLength, n - at) - skip);
    };
    uint32_t lcpLo = lcpAt(lo, 2);
    uint32_t lcpHi = lo == hi ? lcpLo : lcpAt(hi, 2);
    while (hi - lo > 1) {
      const uint32_t mid = lo + (hi - lo) / 2;
      const uint32_t l = lcpAt(mid, std::min(lcpLo, lcpHi));
      if (l == keyLength) {
        *position = static_cast<uint32_t>(sa_[mid]);
        return l;
      }
      const auto at = static_cast<uint32_t>(sa_[mid]);
      if (at + l == n || old[at + l] < key[l]) {
        lo = mid;
        lcpLo = l;
      } else {
        hi = mid;
        lcpHi = l;
      }
    }
    if (lcpLo >= lcpHi) {
      *position = static_cast<uint32_t>(sa_[lo]);
      return lcpLo;
    }
    *position = static_cast<uint32_t>(sa_[hi]);
    return lcpHi;
  }

 private:
  std::span<const uint8_t> old_;
  std::vector<int32_t> sa_;
  std::vector<uint32_t> prefixStart_;
  std::vector<uint64_t> filter_;
  uint32_t filterBits_ = 0;
};

// Bytes for the magnitude of an offset: 1 to 4.
uint32_t OffsetWidth(uint64_t magnitude) {
  if (magnitude < 0x100) return 1;
  if (magnitude < 0x10000) return 2;
  if (magnitude < 0x1000000) return 3;
  return 4;
}

// A stretch of the new file taken from the old file, possibly with differing
// bytes that become pieces. The new bytes between alignments are literal.
struct Alignment {
  uint32_t newStart;
  uint32_t length;
  uint32_t oldStart;
};

// Finds the alignments: walks the new file along the current diagonal (old
// position minus new position) and, where it stops matching, asks the index
// for a match elsewhere; a clearly better one ends the current alignment,
// which is then extended forwards and the new one backwards over the bytes
// between them.
class Aligner {
 public:
  Aligner(std::span<const uint8_t> old, std::span<const uint8_t> now, const OldFileIndex& index,
          const EncoderTuning& tuning)
      : old_(old), new_(now), index_(index), tuning_(tuning) {}

  std::vector<Alignment> Run() {
    const auto m = static_cast<uint32_t>(new_.size());
    uint32_t scan = 0;
    while (scan < m) {
      scan += DiagonalRun(scan, m - scan);
      if (scan >= m) break;
      // A short run of changed bytes after which the diagonal matches again is
      // a change in place (a moved address): no search.
      const uint32_t resume = SparseChangeEnd(scan, m);
      if (resume != 0) {
        scan = resume;
        continue;
      }
      if (m - scan >= kGramLength && index_.MayMatch(new_.data() + scan)) {
        uint32_t position = 0;
        const uint32_t length = index_.Search(new_.data() + scan, m - scan, &position);
        if (length >= kGramLength && length > DiagonalMatches(scan, length) +
                                                  tuning_.switchMargin +
                                                  OffsetPenalty(scan, position)) {
          Switch(scan, position);
          continue;
        }
      }
      ++scan;
    }
    Finish();
    return std::move(alignments_);
  }

 private:
  bool Matches(uint32_t newPos, int64_t diagonal) const {
    const int64_t oldPos = int64_t{newPos} + diagonal;
    return oldPos >= 0 && oldPos < static_cast<int64_t>(old_.size()) &&
           old_[static_cast<size_t>(oldPos)] == new_[newPos];
  }

  // Extra bytes a match must win by when its copy block needs a wide offset:
  // short matches far away cost more in offsets than they save in literals.
  uint32_t OffsetPenalty(uint32_t scan, uint32_t position) const {
    static constexpr uint32_t kPenaltyByWidth[] = {0, 2, 6, 10};
    const int64_t relative = int64_t{scan} - position;
    const int64_t anchored = int64_t{position} - (int64_t{alignStart_} + diagonal_);
    const uint64_t magnitude =
        std::min<uint64_t>(relative < 0 ? -relative : relative, anchored < 0 ? -anchored : anchored);
    return kPenaltyByWidth[OffsetWidth(magnitude) - 1];
  }

  // Exact match length along the current diagonal from `scan`.
  uint32_t DiagonalRun(uint32_t scan, uint32_t limit) const {
    const int64_t oldPos = int64_t{scan} + diagonal_;
    if (oldPos < 0 || oldPos >= static_cast<int64_t>(old_.size())) return 0;
    limit = std::min<uint64_t>(limit, old_.size() - static_cast<uint64_t>(oldPos));
    return CommonPrefix(new_.data() + scan, old_.data() + oldPos, limit);
  }

  // When the bytes from `scan` differ along the diagonal for at most
  // kSparseRun bytes and then match for kSparseResume, the position after the
  // run; else 0.
  uint32_t SparseChangeEnd(uint32_t scan, uint32_t m) const {
    if (scan - alignStart_ < kSparseResume) return 0;
    uint32_t end = scan + 1;
    while (end < m && end - scan <= kSparseRun && !Matches(end, diagonal_)) ++end;
    if (end - scan > kSparseRun || m - end < kSparseResume) return 0;
    return DiagonalRun(end, kSparseResume) == kSparseResume ? end : 0;
  }

  uint32_t DiagonalMatches(uint32_t scan, uint32_t length) const {
    uint32_t count = 0;
    for (uint32_t i = 0; i < length; ++i) count += Matches(scan + i, diagonal_);
    return count;
  }

  // The best length to extend from `newStart` (forwards: step +1, or
  // backwards: step -1, not counting newStart itself) along `diagonal`, over
  // at most `limit` bytes.
  uint32_t Extend(uint32_t newStart, int64_t diagonal, uint32_t limit, bool forwards) const {
    int64_t score = 0;
    int64_t best = 0;
    uint32_t bestLength = 0;
    bool inRun = false;
    for (uint32_t i = 0; i < limit; ++i) {
      const uint32_t at = forwards ? newStart + i : newStart - 1 - i;
      if (Matches(at, diagonal)) {
        score += 2;
        inRun = false;
      } else {
        if (!inRun) score -= tuning_.runPenalty;
        score -= tuning_.mismatchPenalty;
        inRun = true;
        // A diagonal that left the old file never comes back.
        const int64_t oldPos = int64_t{at} + diagonal;
        if (oldPos < 0 || oldPos >= static_cast<int64_t>(old_.size())) break;
      }
      if (score > best) {
        best = score;
        bestLength = i + 1;
      }
    }
    return bestLength;
  }

  // Ends the current alignment before the match (scan, position).
  void Switch(uint32_t scan, uint32_t position) {
    const int64_t nextDiagonal = int64_t{position} - scan;
    uint32_t forward = Extend(alignStart_, diagonal_, scan - alignStart_, true);
    uint32_t backward = Extend(scan, nextDiagonal, std::min(scan - alignStart_, position), false);
    if (alignStart_ + forward > scan - backward) {
      // Both claim the same bytes: split where the earlier one stops paying.
      const uint32_t overlap = alignStart_ + forward - (scan - backward);
      const uint32_t from = scan - backward;
      int64_t score = 0;
      int64_t best = 0;
      uint32_t keep = 0;
      for (uint32_t i = 0; i < overlap; ++i) {
        score += Matches(from + i, diagonal_);
        score -= Matches(from + i, nextDiagonal);
        if (score > best) {
          best = score;
          keep = i + 1;
        }
      }
      forward -= overlap - keep;
      backward -= keep;
    }
    // A block that starts with a changed byte needs a piece at gap 0, which
    // only the long marker form of a value can write: leave such bytes to the
    // alignment before when it reaches them, else to a literal block.
    // The earlier alignment takes them only while its diagonal stays inside
    // the old file; past its end they are literal bytes.
    bool adjacent = alignStart_ + forward == scan - backward;
    while (backward > 0 && !Matches(scan - backward, nextDiagonal)) {
      if (adjacent && int64_t{alignStart_} + forward + diagonal_ < static_cast<int64_t>(old_.size())) {
        ++forward;
      } else {
        adjacent = false;
      }
      --backward;
    }
    Emit(alignStart_, forward, diagonal_);
    alignStart_ = scan - backward;
    diagonal_ = nextDiagonal;
  }

  void Finish() {
    const auto m = static_cast<uint32_t>(new_.size());
    if (alignStart_ >= m) return;
    Emit(alignStart_, Extend(alignStart_, diagonal_, m - alignStart_, true), diagonal_);
  }

  void Emit(uint32_t newStart, uint32_t length, int64_t diagonal) {
    if (length == 0) return;
    alignments_.push_back({newStart, length, static_cast<uint32_t>(newStart + diagonal)});
  }

  std::span<const uint8_t> old_;
  std::span<const uint8_t> new_;
  const OldFileIndex& index_;
  const EncoderTuning& tuning_;
  std::vector<Alignment> alignments_;
  uint32_t alignStart_ = 0;
  int64_t diagonal_ = 0;
};

// An area read one bit at a time, bit 0 of each byte first.
class BitArea {
 public:
  void Put(bool bit) {
    if ((count_ & 7) == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<uint8_t>(1u << (count_ & 7));
    ++count_;
  }
  [[nodiscard]] uint64_t count() const { return count_; }
  [[nodiscard]] const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t count_ = 0;
};

// The nibble area: even nibbles in the low half of a byte, odd in the high.
class NibbleArea {
 public:
  void Put(uint32_t nibble) {
    if ((count_ & 1) == 0) {
      bytes_.push_back(static_cast<uint8_t>(nibble & 0xF));
    } else {
      bytes_.back() |= static_cast<uint8_t>((nibble & 0xF) << 4);
    }
    ++count_;
  }
  void PutByte(uint32_t byte) {
    Put(byte & 0xF);
    Put((byte >> 4) & 0xF);
  }
  // A nibble number: the shortest of the five forms, most significant first.
  void PutNumber(uint32_t number) {
    if (number >= 1 && number <= 15) {
      Put(number);
    } else if (number >= 16 && number <= 255) {
      Put(0);
      Put(number >> 4);
      Put(number & 0xF);
    } else if (number >= 256 && number <= 0xFFFF) {
      Put(0);
      Put(0);
      PutByte(number >> 8);
      PutByte(number & 0xFF);
    } else if (number >= 0x10000 && number <= 0xFFFFFF) {
      Put(0);
      Put(0);
      PutByte(0);
      PutByte(number >> 16);
      PutByte((number >> 8) & 0xFF);
      PutByte(number & 0xFF);
    } else {
      Put(0);
      Put(0);
      PutByte(0);
      PutByte(0);
      for (int shift = 24; shift >= 0; shift -= 8) PutByte((number >> shift) & 0xFF);
    }
  }
  [[nodiscard]] const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t count_ = 0;
};

// Writes blocks and pieces into the nine areas.
class AreaWriter {
 public:
  AreaWriter(std::span<const uint8_t> old, std::span<const uint8_t> now, const EncoderTuning& tuning)
      : old_(old), new_(now), tuning_(tuning) {}

  void LiteralBlock(uint32_t newStart, uint32_t length) {
    PutValue(length);
    flags_.Put(true);  // a literal block never follows a literal block
    literals_.insert(literals_.end(), new_.begin() + newStart, new_.begin() + newStart + length);
    ++blockCount_;
    afterLiteral_ = true;
    statistics_.literalBlockBytes += length;
  }

  void CopyBlock(const Alignment& a) {
    PutValue(a.length);
    if (!afterLiteral_) flags_.Put(false);
    afterLiteral_ = false;

    const int64_t relative = int64_t{a.newStart} - a.oldStart;
    const int64_t anchored = int64_t{a.oldStart} - previousSource_;
    const uint64_t relativeMagnitude = static_cast<uint64_t>(relative < 0 ? -relative : relative);
    const uint64_t anchoredMagnitude = static_cast<uint64_t>(anchored < 0 ? -anchored : anchored);
    const bool useAnchor = OffsetWidth(anchoredMagnitude) < OffsetWidth(relativeMagnitude);
    const int64_t offset = useAnchor ? anchored : relative;
    const uint64_t magnitude = useAnchor ? anchoredMagnitude : relativeMagnitude;
    const uint32_t width = OffsetWidth(magnitude);
    signs_.Put(offset < 0);
    anchors_.Put(useAnchor);
    widths_.Put(((width - 1) & 1) != 0);
    widths_.Put(((width - 1) & 2) != 0);
    for (uint32_t i = 0; i < width; ++i) values_.push_back(static_cast<uint8_t>(magnitude >> (8 * i)));
    previousSource_ = a.oldStart;

    PlanPieces(a);
    pieceBits_.Put(!pieces_.empty());
    if (!pieces_.empty()) {
      PutValue(static_cast<uint32_t>(pieces_.size()));
      for (const Piece& piece : pieces_) {
        PutValue(piece.gap);
        selectors_.Put(piece.repeat);
        if (!piece.repeat) {
          nibbles_.PutNumber(piece.length);
          const uint8_t* bytes = new_.data() + piece.newStart;
          literals_.insert(literals_.end(), bytes, bytes + piece.length);
        }
      }
    }
    ++blockCount_;
    ++copyBlockCount_;
  }

  [[nodiscard]] EncodeStatus Assemble(const DifferenceFileFacts& oldFacts,
                                      const DifferenceFileFacts& newFacts,
                                      std::vector<uint8_t>& difference,
                                      DifferenceStatistics* statistics) {
    const uint64_t copies = copyBlockCount_;
    std::vector<uint8_t> flagBytes = flags_.bytes();
    flagBytes.resize(fmt::BytesForBits(copies + 1), 0);
    const std::vector<uint8_t>* areas[] = {&flagBytes,       &selectors_.bytes(), &signs_.bytes(),
                                           &anchors_.bytes(), &widths_.bytes(),    &pieceBits_.bytes(),
                                           &nibbles_.bytes(), &values_,            &literals_};
    uint64_t total = fmt::kHeaderLength;
    for (const auto* area : areas) total += area->size();
    if (total > std::numeric_limits<uint32_t>::max()) return EncodeStatus::kTooLarge;

    difference.assign(fmt::kHeaderLength, 0);
    difference.reserve(static_cast<size_t>(total));
    for (const auto* area : areas) {
      if (area == &literals_) literalOffset_ = static_cast<uint32_t>(difference.size());
      difference.insert(difference.end(), area->begin(), area->end());
    }

    fmt::DifferenceHeader header;
    header.totalLength = static_cast<uint32_t>(total);
    header.sourceSize = static_cast<uint32_t>(old_.size());
    header.sourceCrc = Crc(old_);
    header.sourceAttributes = oldFacts.attributes;
    header.sourceStamp = oldFacts.dosStamp;
    header.resultSize = static_cast<uint32_t>(new_.size());
    header.resultCrc = Crc(new_);
    header.resultAttributes = newFacts.attributes;
    header.resultStamp = newFacts.dosStamp;
    header.blockCount = blockCount_;
    header.copyBlockCount = copyBlockCount_;
    header.selectorBytes = static_cast<uint32_t>(selectors_.bytes().size());
    header.nibbleBytes = static_cast<uint32_t>(nibbles_.bytes().size());
    header.literalOffset = literalOffset_;
    header.extraLength = 0;
    fmt::WriteDifferenceHeader(header, difference.data());
    header.headerCrc = fmt::ComputeHeaderCrc(difference.data(), fmt::kHeaderLength);
    fmt::WriteDifferenceHeader(header, difference.data());

    if (statistics != nullptr) {
      statistics_.blockCount = blockCount_;
      statistics_.copyBlockCount = copyBlockCount_;
      statistics_.selectorBytes = header.selectorBytes;
      statistics_.nibbleBytes = header.nibbleBytes;
      statistics_.valueBytes = static_cast<uint32_t>(values_.size());
      *statistics = statistics_;
    }
    return EncodeStatus::kEncoded;
  }

 private:
  struct Piece {
    uint32_t gap;       // old-file bytes copied before the piece
    uint32_t newStart;  // first new-file byte of the piece
    uint32_t length;
    bool repeat;
  };

  static uint32_t Crc(std::span<const uint8_t> bytes) {
    uLong crc = crc32(0, nullptr, 0);
    const uint8_t* p = bytes.data();
    uint64_t left = bytes.size();
    while (left > 0) {
      const auto chunk = static_cast<uInt>(std::min<uint64_t>(left, 1u << 30));
      crc = crc32(crc, p, chunk);
      p += chunk;
      left -= chunk;
    }
    return static_cast<uint32_t>(crc);
  }

  // A value: one selector bit and one, two, four or five value bytes.
  void PutValue(uint32_t value) {
    if (value >= 1 && value <= 0xFF) {
      selectors_.Put(false);
      values_.push_back(static_cast<uint8_t>(value));
    } else if (value >= 0x100 && value <= 0xFFFF) {
      selectors_.Put(true);
      values_.push_back(static_cast<uint8_t>(value >> 8));
      values_.push_back(static_cast<uint8_t>(value));
    } else {
      // The marker form, least significant byte first.
      const bool wide = value > 0xFFFFFF;
      selectors_.Put(wide);
      values_.push_back(0);
      for (int i = 0; i < (wide ? 4 : 3); ++i) values_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
  }

  // End of the differing run that starts at `x`, taking in the runs up to
  // mergeGap matching bytes apart.
  uint32_t MergedRunEnd(const uint8_t* now, const uint8_t* old, uint32_t x, uint32_t length) const {
    uint32_t end = x + 1;
    for (;;) {
      while (end < length && now[end] != old[end]) ++end;
      const uint32_t limit = std::min(length, end + tuning_.mergeGap + 1);
      const uint32_t next = NextMismatch(now, old, end, limit);
      if (next >= limit) return end;
      end = next;
    }
  }

  // True when a repeat piece of `delta` fits at block offset `x`: new - old
  // over its length equals `delta`, and it does not end inside a differing
  // run unless it is long (a short piece right after would need a gap of 0).
  static bool RepeatsAt(const std::vector<uint8_t>& delta, const uint8_t* now, const uint8_t* old,
                        uint32_t x, uint32_t length) {
    const auto n = static_cast<uint32_t>(delta.size());
    if (n == 0 || length - x < n) return false;
    for (uint32_t t = 0; t < n; ++t) {
      if (static_cast<uint8_t>(now[x + t] - old[x + t]) != delta[t]) return false;
    }
    return x + n == length || now[x + n] == old[x + n] || n > 4;
  }

  // Estimated deflated cost of a piece in sixteenths of a byte, measured on
  // real executables: a gap value and a selector bit for every piece, and a
  // nibble length and its bytes for a new piece.
  static constexpr int64_t kRepeatPieceCost = 10;
  static int64_t NewPieceCost(uint32_t length) { return 13 + int64_t{13} * length; }

  // Cost of covering the differing bytes in [from, horizon) greedily, the
  // delta buffer starting as `delta` (which is changed).
  int64_t Rollout(const uint8_t* now, const uint8_t* old, uint32_t from, uint32_t horizon,
                  uint32_t length, std::vector<uint8_t>& delta) const {
    int64_t cost = 0;
    uint32_t done = from;
    for (;;) {
      const uint32_t x = NextMismatch(now, old, done, horizon);
      if (x >= horizon) return cost;
      if (RepeatsAt(delta, now, old, x, length)) {
        cost += kRepeatPieceCost;
        done = x + static_cast<uint32_t>(delta.size());
        continue;
      }
      const uint32_t end = MergedRunEnd(now, old, x, length);
      delta.resize(end - x);
      for (uint32_t t = x; t < end; ++t) delta[t - x] = static_cast<uint8_t>(now[t] - old[t]);
      cost += NewPieceCost(end - x);
      done = end;
    }
  }

  // Where a new piece from the differing byte `x` ends: after its own run, or
  // after one of the next few runs when carrying the matching bytes between
  // them lets the pieces that follow repeat its change (changes that come in
  // pairs, which as separate pieces would alternate and never repeat). Each
  // choice is scored by planning the next few runs greedily after it.
  uint32_t ChooseNewPieceEnd(const uint8_t* now, const uint8_t* old, uint32_t x, uint32_t length) {
    constexpr int kCandidates = 4;
    constexpr uint32_t kLookGap = 8;    // matching bytes a piece may carry between runs
    constexpr uint32_t kMaxSpan = 24;   // longest piece that takes in further runs
    constexpr int kHorizonRuns = 6;     // runs planned after the last choice
    uint32_t ends[kCandidates];
    int count = 0;
    ends[count++] = MergedRunEnd(now, old, x, length);
    while (count < kCandidates) {
      const uint32_t from = ends[count - 1];
      const uint32_t next = NextMismatch(now, old, from, std::min(length, from + kLookGap + 1));
      if (next >= length || next > from + kLookGap) break;
      const uint32_t end = MergedRunEnd(now, old, next, length);
      if (end - x > kMaxSpan) break;
      ends[count++] = end;
    }
    if (count == 1) return ends[0];
    uint32_t horizon = ends[count - 1];
    for (int r = 0; r < kHorizonRuns && horizon < length; ++r) {
      const uint32_t next = NextMismatch(now, old, horizon, length);
      horizon = next >= length ? length : MergedRunEnd(now, old, next, length);
    }
    uint32_t best = ends[0];
    int64_t bestCost = std::numeric_limits<int64_t>::max();
    for (int c = 0; c < count; ++c) {
      const uint32_t end = ends[c];
      scratch_.resize(end - x);
      for (uint32_t t = x; t < end; ++t) scratch_[t - x] = static_cast<uint8_t>(now[t] - old[t]);
      const int64_t cost = NewPieceCost(end - x) + Rollout(now, old, end, horizon, length, scratch_);
      if (cost < bestCost) {
        bestCost = cost;
        best = end;
      }
    }
    return best;
  }

  // Covers every differing byte of the block with pieces: a repeat piece where
  // the change equals the last piece's, else a new piece that takes in
  // differing runs up to mergeGap matching bytes apart, and further runs when
  // that lets the pieces after it repeat.
  void PlanPieces(const Alignment& a) {
    pieces_.clear();
    const uint8_t* now = new_.data() + a.newStart;
    const uint8_t* old = old_.data() + a.oldStart;
    const uint32_t length = a.length;
    uint32_t done = 0;  // block offset after the last piece
    for (;;) {
      const uint32_t x = NextMismatch(now, old, done, length);
      if (x >= length) break;
      const auto bufferLength = static_cast<uint32_t>(delta_.size());
      if (RepeatsAt(delta_, now, old, x, length)) {
        pieces_.push_back({x - done, a.newStart + x, bufferLength, true});
        ++statistics_.repeatPieceCount;
        statistics_.repeatPieceBytes += bufferLength;
        done = x + bufferLength;
        continue;
      }
      const uint32_t end = ChooseNewPieceEnd(now, old, x, length);
      const uint32_t pieceLength = end - x;
      delta_.resize(pieceLength);
      for (uint32_t t = 0; t < pieceLength; ++t) delta_[t] = static_cast<uint8_t>(now[x + t] - old[x + t]);
      pieces_.push_back({x - done, a.newStart + x, pieceLength, false});
      ++statistics_.newPieceCount;
      statistics_.newPieceBytes += pieceLength;
      done = end;
    }
    statistics_.copiedBytes += length;
    for (const Piece& piece : pieces_) statistics_.copiedBytes -= piece.length;
  }

  std::span<const uint8_t> old_;
  std::span<const uint8_t> new_;
  const EncoderTuning& tuning_;

  BitArea flags_;
  BitArea selectors_;
  BitArea signs_;
  BitArea anchors_;
  BitArea widths_;
  BitArea pieceBits_;
  NibbleArea nibbles_;
  std::vector<uint8_t> values_;
  std::vector<uint8_t> literals_;

  uint32_t blockCount_ = 0;
  uint32_t copyBlockCount_ = 0;
  uint32_t literalOffset_ = 0;
  bool afterLiteral_ = false;
  int64_t previousSource_ = 0;
  std::vector<uint8_t> delta_;  // new - old of the last piece: the decoder's DeltaBuffer
  std::vector<Piece> pieces_;
  std::vector<uint8_t> scratch_;  // a candidate piece's delta while planning
  DifferenceStatistics statistics_;
};

}  // namespace

EncodeStatus EncodeDifference(std::span<const uint8_t> oldBytes, std::span<const uint8_t> newBytes,
                              const DifferenceFileFacts& oldFacts, const DifferenceFileFacts& newFacts,
                              std::vector<uint8_t>& difference, DifferenceStatistics* statistics,
                              const EncoderTuning& tuning) {
  if (oldBytes.size() > kMaxSuffixArrayText || newBytes.size() > std::numeric_limits<uint32_t>::max()) {
    return EncodeStatus::kTooLarge;
  }
  std::vector<Alignment> alignments;
  {
    const OldFileIndex index(oldBytes);
    alignments = Aligner(oldBytes, newBytes, index, tuning).Run();
  }

  AreaWriter writer(oldBytes, newBytes, tuning);
  uint32_t position = 0;
  for (const Alignment& a : alignments) {
    if (a.newStart > position) writer.LiteralBlock(position, a.newStart - position);
    writer.CopyBlock(a);
    position = a.newStart + a.length;
  }
  if (newBytes.size() > position) {
    writer.LiteralBlock(position, static_cast<uint32_t>(newBytes.size() - position));
  }
  return writer.Assemble(oldFacts, newFacts, difference, statistics);
}

uint64_t DeflatedSize(std::span<const uint8_t> bytes) {
  z_stream stream{};
  if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
  std::vector<uint8_t> out(1 << 16);
  uint64_t total = 0;
  const uint8_t* p = bytes.data();
  uint64_t left = bytes.size();
  int result = Z_OK;
  do {
    const auto chunk = static_cast<uInt>(std::min<uint64_t>(left, 1u << 30));
    stream.next_in = const_cast<Bytef*>(p);
    stream.avail_in = chunk;
    p += chunk;
    left -= chunk;
    const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    do {
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      result = deflate(&stream, flush);
      total += out.size() - stream.avail_out;
    } while (stream.avail_out == 0);
  } while (left > 0);
  deflateEnd(&stream);
  return result == Z_STREAM_END ? total : 0;
}
