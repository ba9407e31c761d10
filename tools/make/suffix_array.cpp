// Suffix array construction by induced sorting (SA-IS) with a virtual sentinel.
//
// The text is not copied: the sentinel that ends it is implied (it sorts
// before every character). The reduced problem of each level lives inside the
// result array, so the only extra memory is the type bits and one bucket
// array per level.
#include "tools/make/suffix_array.h"

#include <algorithm>

namespace {

class TypeBits {
 public:
  explicit TypeBits(int32_t n) : words_((static_cast<size_t>(n) + 63) / 64, 0) {}
  void SetS(int32_t i) { words_[static_cast<size_t>(i) >> 6] |= uint64_t{1} << (i & 63); }
  [[nodiscard]] bool IsS(int32_t i) const {
    return (words_[static_cast<size_t>(i) >> 6] >> (i & 63)) & 1;
  }

 private:
  std::vector<uint64_t> words_;
};

// Bucket starts (ends false) or ends (ends true) of every character.
template <typename Char>
void FillBuckets(const Char* s, int32_t n, int32_t* buckets, int32_t k, bool ends) {
  std::fill(buckets, buckets + k, 0);
  for (int32_t i = 0; i < n; ++i) ++buckets[s[i]];
  int32_t sum = 0;
  for (int32_t c = 0; c < k; ++c) {
    sum += buckets[c];
    buckets[c] = ends ? sum : sum - buckets[c];
  }
}

template <typename Char>
void InduceLType(const Char* s, int32_t* sa, int32_t n, int32_t* buckets, int32_t k,
                 const TypeBits& types) {
  FillBuckets(s, n, buckets, k, false);
  // The sentinel's suffix comes first; the suffix before it is L-type.
  sa[buckets[s[n - 1]]++] = n - 1;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t j = sa[i] - 1;
    if (j >= 0 && !types.IsS(j)) sa[buckets[s[j]]++] = j;
  }
}

template <typename Char>
void InduceSType(const Char* s, int32_t* sa, int32_t n, int32_t* buckets, int32_t k,
                 const TypeBits& types) {
  FillBuckets(s, n, buckets, k, true);
  for (int32_t i = n - 1; i >= 0; --i) {
    const int32_t j = sa[i] - 1;
    if (j >= 0 && types.IsS(j)) sa[--buckets[s[j]]] = j;
  }
}

template <typename Char>
void SortSuffixes(const Char* s, int32_t* sa, int32_t n, int32_t k) {
  if (n == 0) return;
  if (n == 1) {
    sa[0] = 0;
    return;
  }
  TypeBits types(n);
  for (int32_t i = n - 2; i >= 0; --i) {
    if (s[i] < s[i + 1] || (s[i] == s[i + 1] && types.IsS(i + 1))) types.SetS(i);
  }
  auto isLms = [&](int32_t i) { return i > 0 && i < n && types.IsS(i) && !types.IsS(i - 1); };

  std::vector<int32_t> buckets(static_cast<size_t>(k));

  // Stage 1: sort the LMS substrings by inducing from their unsorted positions.
  std::fill(sa, sa + n, -1);
  FillBuckets(s, n, buckets.data(), k, true);
  for (int32_t i = 1; i < n; ++i) {
    if (isLms(i)) sa[--buckets[s[i]]] = i;
  }
  InduceLType(s, sa, n, buckets.data(), k, types);
  InduceSType(s, sa, n, buckets.data(), k, types);

  // Gather the sorted LMS positions at the front (there are at most n / 2).
  int32_t lmsCount = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (isLms(sa[i])) sa[lmsCount++] = sa[i];
  }

  // Name the LMS substrings; equal substrings share a name. Names go to
  // sa[lmsCount + pos / 2], which is unique because LMS positions are at least
  // two apart.
  std::fill(sa + lmsCount, sa + n, -1);
  int32_t names = 0;
  int32_t previous = -1;
  for (int32_t i = 0; i < lmsCount; ++i) {
    const int32_t pos = sa[i];
    bool differs = false;
    for (int32_t d = 0;; ++d) {
      // The substring that reaches the sentinel is unique.
      if (previous == -1 || pos + d == n || previous + d == n || s[pos + d] != s[previous + d] ||
          types.IsS(pos + d) != types.IsS(previous + d)) {
        differs = true;
        break;
      }
      if (d > 0 && (isLms(pos + d) || isLms(previous + d))) break;
    }
    if (differs) {
      ++names;
      previous = pos;
    }
    sa[lmsCount + pos / 2] = names - 1;
  }
  // Move the names, in text order, to the end: that is the reduced string.
  for (int32_t i = n - 1, j = n - 1; i >= lmsCount; --i) {
    if (sa[i] >= 0) sa[j--] = sa[i];
  }

  // Stage 2: sort the reduced string's suffixes, recursively when names repeat.
  int32_t* reduced = sa + n - lmsCount;
  if (names < lmsCount) {
    buckets.clear();
    buckets.shrink_to_fit();
    SortSuffixes(reduced, sa, lmsCount, names);
    buckets.resize(static_cast<size_t>(k));
  } else {
    for (int32_t i = 0; i < lmsCount; ++i) sa[reduced[i]] = i;
  }

  // Stage 3: place the LMS suffixes in their sorted order and induce the rest.
  for (int32_t i = 1, j = 0; i < n; ++i) {
    if (isLms(i)) reduced[j++] = i;
  }
  for (int32_t i = 0; i < lmsCount; ++i) sa[i] = reduced[sa[i]];
  std::fill(sa + lmsCount, sa + n, -1);
  FillBuckets(s, n, buckets.data(), k, true);
  for (int32_t i = lmsCount - 1; i >= 0; --i) {
    const int32_t j = sa[i];
    sa[i] = -1;
    sa[--buckets[s[j]]] = j;
  }
  InduceLType(s, sa, n, buckets.data(), k, types);
  InduceSType(s, sa, n, buckets.data(), k, types);
}

}  // namespace

std::vector<int32_t> BuildSuffixArray(std::span<const uint8_t> text) {
  const auto n = static_cast<int32_t>(text.size());
  std::vector<int32_t> sa(static_cast<size_t>(n));
  SortSuffixes(text.data(), sa.data(), n, 256);
  return sa;
}
