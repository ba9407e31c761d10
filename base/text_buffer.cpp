// TextBuffer and the text and path helpers built on it.
#include "base/text_buffer.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/system_error.h"
#include "platform/text_services.h"

const char SharedEmptyText[1] = {0};

namespace {

// Scratch areas on the calling thread's stack.
constexpr int kFormatScratchSize = 16384;
constexpr uint32_t kPathScratchSize = 4096;

static_assert(kFormatScratchSize >= platform::kFormatLimit);

// Exact-size heap blocks. A request for 0 bytes is served as 1 byte. Running
// out of memory is not something any caller can handle, so it ends the
// process here rather than handing out a null block to write through.
char* AllocateBlock(size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) std::abort();
  return static_cast<char*>(block);
}

// Length + 1 as a block size, refusing totals a 32-bit length cannot hold.
size_t BlockSizeFor(int64_t length) {
  if (length < 0 || length >= INT32_MAX) std::abort();
  return static_cast<size_t>(length) + 1;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

int32_t TextLength(const char* text) {
  if (text == nullptr) return 0;
  const size_t length = std::strlen(text);
  if (length >= INT32_MAX) std::abort();
  return static_cast<int32_t>(length);
}

}  // namespace

TextBuffer::TextBuffer(const char* text) : TextBuffer(text, TextLength(text)) {}

TextBuffer::TextBuffer(const char* source, int32_t count) {
  if (source == nullptr || count < 0) count = 0;
  char* block = AllocateBlock(BlockSizeFor(count));
  if (count > 0) std::memcpy(block, source, static_cast<size_t>(count));
  block[count] = 0;
  chars_ = block;
  length_ = count;
}

TextBuffer::TextBuffer(const TextBuffer& other) : TextBuffer(other.chars_, other.length_) {}

TextBuffer::TextBuffer(TextBuffer&& other) noexcept : chars_(other.chars_), length_(other.length_) {
  other.chars_ = const_cast<char*>(SharedEmptyText);
  other.length_ = 0;
}

TextBuffer& TextBuffer::operator=(const TextBuffer& other) {
  Assign(other);
  return *this;
}

TextBuffer& TextBuffer::operator=(TextBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    chars_ = other.chars_;
    length_ = other.length_;
    other.chars_ = const_cast<char*>(SharedEmptyText);
    other.length_ = 0;
  }
  return *this;
}

void TextBuffer::Release() {
  if (chars_ != SharedEmptyText) std::free(chars_);
  chars_ = const_cast<char*>(SharedEmptyText);
  length_ = 0;
}

void TextBuffer::Assign(const TextBuffer& other) {
  if (this == &other) return;
  Release();
  *this = TextBuffer(other.chars_, other.length_);
}

void TextBuffer::AssignText(const char* text) { AssignRange(text, TextLength(text)); }

void TextBuffer::AssignRange(const char* source, int32_t count) {
  // The source may lie inside our own block: copy it out before freeing.
  TextBuffer replacement(source, count);
  Release();
  *this = std::move(replacement);
}

void TextBuffer::Append(const TextBuffer& other) {
  // Both texts are read before the old block goes, so other may be *this.
  const int32_t otherLength = other.length_;
  char* block = AllocateBlock(BlockSizeFor(int64_t{length_} + otherLength));
  std::memcpy(block, chars_, static_cast<size_t>(length_));
  std::memcpy(block + length_, other.chars_, static_cast<size_t>(otherLength));
  const int32_t total = length_ + otherLength;
  block[total] = 0;
  Release();
  chars_ = block;
  length_ = total;
}

void TextBuffer::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void TextBuffer::FormatV(const char* format, va_list args) {
  // The arguments may point into this buffer, so the text is built apart.
  char scratch[kFormatScratchSize];
  int produced = platform::FormatTextV(scratch, format, args);
  if (produced < 0) produced = 0;
  if (produced > platform::kFormatLimit - 1) produced = platform::kFormatLimit - 1;
  AssignRange(scratch, produced);
}

TextBuffer TextBuffer::SystemErrorText() {
  // Read the code before anything else can overwrite it.
  const uint32_t code = platform::LastErrorCode();
  if (code == 0) return TextBuffer();
  const std::string text = platform::ErrorMessageText(code);
  if (text.empty()) return TextBuffer();
  return TextBuffer(text.data(), static_cast<int32_t>(text.size()));
}

TextBuffer TextBuffer::Concat(const TextBuffer& text, const char* tail) {
  const int32_t tailLength = TextLength(tail);
  TextBuffer result;
  char* block = AllocateBlock(BlockSizeFor(int64_t{text.length_} + tailLength));
  std::memcpy(block, text.chars_, static_cast<size_t>(text.length_));
  if (tailLength > 0) std::memcpy(block + text.length_, tail, static_cast<size_t>(tailLength));
  block[text.length_ + tailLength] = 0;
  result.chars_ = block;
  result.length_ = text.length_ + tailLength;
  return result;
}

void TextBuffer::ToUpper() {
  if (length_ > 0) platform::UpperCaseText(chars_, static_cast<uint32_t>(length_));
}

void TextBuffer::TrimLeft() {
  if (length_ == 0) return;
  const char* first = SkipBlanks(chars_);
  if (*first == 0) {
    Release();
  } else if (first != chars_) {
    AssignRange(first, length_ - static_cast<int32_t>(first - chars_));
  }
}

void TextBuffer::TrimRight() {
  if (length_ == 0) return;
  const int32_t last = LastNonBlank(chars_, length_ - 1);
  // An all-blank text (last == -1) is deliberately left as it is.
  if (last >= 0 && last < length_ - 1) AssignRange(chars_, last + 1);
}

void TextBuffer::Trim() {
  TrimLeft();
  TrimRight();
}

void TextBuffer::EnsureTrailingSeparator() {
  if (length_ == 0 || IsSeparator(chars_[length_ - 1])) return;
  *this = Concat(*this, "\\");
}

void TextBuffer::StripTrailingSeparators() {
  // length_ > 0 means chars_ is our own block, never SharedEmptyText.
  while (length_ > 0 && IsSeparator(chars_[length_ - 1])) {
    chars_[length_ - 1] = 0;
    --length_;
  }
}

void TextBuffer::ExpandEnvironment() {
  char scratch[kPathScratchSize];
  const uint32_t needed = platform::ExpandEnvironmentText(chars_, scratch, kPathScratchSize);
  // 0 is failure; more than the scratch area means the text there is not the
  // result. Both leave the buffer as it was.
  if (needed == 0 || needed > kPathScratchSize) return;
  scratch[kPathScratchSize - 1] = 0;
  AssignText(scratch);
}

void TextBuffer::MakeFullPath() {
  char scratch[kPathScratchSize];
  const uint32_t length = platform::FullPathText(chars_, scratch, kPathScratchSize);
  // A value of the scratch size or more is the size the result would need.
  if (length == 0 || length >= kPathScratchSize) return;
  AssignRange(scratch, static_cast<int32_t>(length));
}

void TextBuffer::NormaliseFolder() {
  // Expansion first, so that a variable holding forward slashes or a trailing
  // separator is cleaned as well; the full path last, after the trailing
  // separator is gone, so "C:\App\" and "C:\App" end up equal.
  ExpandEnvironment();
  ToBackslashes(MutableChars(), length_);
  StripTrailingSeparators();
  MakeFullPath();
}

int Compare(const TextBuffer& a, const TextBuffer& b, bool ignoreCase) {
  const int result =
      platform::CompareLocaleText(a.chars(), a.length(), b.chars(), b.length(), ignoreCase);
  if (result == 0) return -2;
  return result - 2;
}

int CompareNoCase(const char* a, const char* b) {
  if (a == nullptr) a = SharedEmptyText;
  if (b == nullptr) b = SharedEmptyText;
  const int result = platform::CompareLocaleText(a, TextLength(a), b, TextLength(b), true);
  if (result == 0) return -2;
  return result - 2;
}

bool IsBlank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f'; }

const char* SkipBlanks(const char* text) {
  if (text == nullptr) return nullptr;
  while (IsBlank(*text)) ++text;
  return text;
}

int32_t LastNonBlank(const char* text, int32_t position) {
  if (text == nullptr) return -1;
  for (int32_t i = position; i >= 0; --i) {
    if (!IsBlank(text[i])) return i;
  }
  return -1;
}

const char* LineEnd(const char* text) {
  if (text == nullptr) return nullptr;
  while (*text != 0 && *text != '\r' && *text != '\n') ++text;
  return text;
}

void ToBackslashes(char* text, int32_t count) {
  if (text == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    if (text[i] == '/') text[i] = '\\';
  }
}

int32_t LastSeparator(const char* text, int32_t count) {
  if (text == nullptr) return -1;
  for (int32_t i = count - 1; i >= 0; --i) {
    if (IsSeparator(text[i])) return i;
  }
  return -1;
}

TextBuffer FileNamePart(const TextBuffer& path) {
  // Looks only at the text up to its first NUL.
  const int32_t scanned = TextLength(path.chars());
  return TextBuffer(path.chars() + LastSeparator(path.chars(), scanned) + 1);
}

void FolderPart(const TextBuffer& path, TextBuffer& result) {
  result.AssignRange(path.chars(), LastSeparator(path.chars(), path.length()) + 1);
}

void RootPart(const TextBuffer& path, TextBuffer& result) {
  // result may be path itself: decide the range before changing result.
  const char* text = path.chars();
  const int32_t length = path.length();
  if (length < 2) {
    result.Release();
    return;
  }
  if (text[1] == ':') {
    result.AssignRange(text, 2);
    return;
  }
  if (text[0] == '\\' && text[1] == '\\') {
    // "\\server\share": stop before the second backslash after the prefix.
    int32_t backslashes = 0;
    for (int32_t i = 2; i < length; ++i) {
      if (text[i] == '\\' && ++backslashes == 2) {
        result.AssignRange(text, i);
        return;
      }
    }
    result.AssignRange(text, length);
    return;
  }
  result.AssignRange(text, 0);
}

void ResolveAgainst(const TextBuffer& base, TextBuffer& path) {
  if (path.empty()) return;
  TextBuffer root;
  RootPart(path, root);
  if (!root.empty()) return;
  // A leading separator is still taken relative to base, not to a drive root.
  TextBuffer joined(base);
  if (!IsSeparator(path.chars()[0])) joined.EnsureTrailingSeparator();
  joined.Append(path);
  path = std::move(joined);
}
