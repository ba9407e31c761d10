// TextBuffer, the one string type of the system, and the text and path helpers.
//
// Texts are bytes in the ANSI code page; lengths and positions count bytes.
// A buffer's chars are never null and always NUL-terminated: an empty buffer
// points at SharedEmptyText, which is never written or freed; any other buffer
// owns a heap block of exactly length + 1 bytes. Every change that is not
// marked "in place" builds a new exact-size block and frees the old one
// afterwards, so a source may lie inside the buffer it is assigned to.
#pragma once

#include <cstdarg>
#include <cstdint>

extern const char SharedEmptyText[1];

class TextBuffer {
 public:
  // InitEmpty: allocates nothing.
  TextBuffer() noexcept = default;
  // InitText: copies up to the NUL; a null text counts as length 0.
  explicit TextBuffer(const char* text);
  // InitRange: always allocates count + 1 bytes, even for count 0.
  TextBuffer(const char* source, int32_t count);
  // InitCopy.
  TextBuffer(const TextBuffer& other);
  TextBuffer(TextBuffer&& other) noexcept;
  // Assign (self-assignment does nothing).
  TextBuffer& operator=(const TextBuffer& other);
  TextBuffer& operator=(TextBuffer&& other) noexcept;
  ~TextBuffer() { Release(); }

  // Frees the block unless it is SharedEmptyText; the buffer is empty after.
  void Release();

  // Content operations.
  void Assign(const TextBuffer& other);
  void AssignText(const char* text);
  void AssignRange(const char* source, int32_t count);
  // New block of both lengths + 1; appending a buffer to itself doubles it.
  void Append(const TextBuffer& other);
  // printf-style (%s %i %u %d %x %c, widths, zero padding); the result is cut
  // at 1023 characters, as the platform's formatter does.
  [[gnu::format(printf, 2, 3)]] void Format(const char* format, ...);
  [[gnu::format(printf, 2, 0)]] void FormatV(const char* format, va_list args);

  // The calling thread's last system error as text; empty when it is 0 or the
  // system has no text for it. Call it before any other platform call.
  [[nodiscard]] static TextBuffer SystemErrorText();
  // A new buffer holding `text` followed by `tail`; the operands are unchanged.
  [[nodiscard]] static TextBuffer Concat(const TextBuffer& text, const char* tail);

  // Case and blanks.
  void ToUpper();          // in place, the system's character tables
  void TrimLeft();
  void TrimRight();        // an all-blank text is left unchanged
  void Trim();             // an all-blank text ends empty

  // Path operations. Separators are '/' and '\'; the ones created are '\'.
  void EnsureTrailingSeparator();   // an empty buffer stays empty
  void StripTrailingSeparators();   // in place
  void ExpandEnvironment();         // %NAME% references; unchanged on failure
  void MakeFullPath();              // absolute form; unchanged on failure
  // ExpandEnvironment, '/' to '\', StripTrailingSeparators, MakeFullPath.
  void NormaliseFolder();

  [[nodiscard]] const char* chars() const { return chars_; }
  [[nodiscard]] int32_t length() const { return length_; }
  [[nodiscard]] bool empty() const { return length_ == 0; }
  // Writable text for in-place changes; null for an empty buffer that holds
  // SharedEmptyText.
  [[nodiscard]] char* MutableChars() { return chars_ == SharedEmptyText ? nullptr : chars_; }

 private:
  char* chars_ = const_cast<char*>(SharedEmptyText);
  int32_t length_ = 0;
};

// Locale comparison of both whole texts in the user's default locale:
// -1, 0 or +1, and -2 when the comparison fails (callers take it as unequal).
[[nodiscard]] int Compare(const TextBuffer& a, const TextBuffer& b, bool ignoreCase);
// The same on two NUL-terminated texts, always ignoring case.
[[nodiscard]] int CompareNoCase(const char* a, const char* b);

// Blank characters: space, CR, LF, tab and form feed (not vertical tab).
[[nodiscard]] bool IsBlank(char c);
// First non-blank character or the terminator; null for a null text.
[[nodiscard]] const char* SkipBlanks(const char* text);
// Index of the last non-blank at or before `position`, or -1.
[[nodiscard]] int32_t LastNonBlank(const char* text, int32_t position);
// First NUL, CR or LF; null for a null text.
[[nodiscard]] const char* LineEnd(const char* text);

// Replaces every '/' with '\' in place.
void ToBackslashes(char* text, int32_t count);
// Index of the last '/' or '\' in the first `count` bytes, or -1.
[[nodiscard]] int32_t LastSeparator(const char* text, int32_t count);
// The text after the last separator (all of it when there is none).
[[nodiscard]] TextBuffer FileNamePart(const TextBuffer& path);
// The folder including its trailing separator; empty when there is none.
void FolderPart(const TextBuffer& path, TextBuffer& result);
// "C:" for a drive prefix, "\\server\share" for a UNC prefix, else empty.
void RootPart(const TextBuffer& path, TextBuffer& result);
// Joins a path that has no root onto `base` (a leading separator is still
// taken relative to base); paths with a root and empty paths are unchanged.
void ResolveAgainst(const TextBuffer& base, TextBuffer& path);
