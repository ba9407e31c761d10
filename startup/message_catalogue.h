// The message catalogue: every user-visible text, asked for by its MessageKey.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "message_keys.h"

// Loads string `id` into `buffer` with LoadStringA's contract: at most
// capacity - 1 bytes plus a terminator; returns the byte count, 0 for none.
using StringLoader = std::function<int(uint32_t id, char* buffer, int capacity)>;

// All texts of a string table, loaded into one block on the first lookup and
// kept until the catalogue goes. Row i of `rows` describes string id i; the
// rows must be sorted ascending by group, then number.
class MessageCatalogue {
 public:
  // Size of the buffer each string is measured in before the block exists.
  static constexpr int kScratchSize = 4100;

  MessageCatalogue();  // the program's own string table and key table
  MessageCatalogue(StringLoader loader, std::span<const StringTableRow> rows);
  MessageCatalogue(const MessageCatalogue&) = delete;
  MessageCatalogue& operator=(const MessageCatalogue&) = delete;

  // The NUL-terminated text of `key`, valid as long as the catalogue, or null
  // when the table holds no string for it, no string at all, or the key's
  // group is above 12. A key of groups 0 to 12 that is not in the key table is
  // a fault of the program: the user is told and the process ends with -1.
  [[nodiscard]] const char* LookupText(MessageKey key);

  [[nodiscard]] bool loaded() const { return loaded_; }
  // Bytes in the text block: every loaded string with its terminator; 0 when
  // no block exists.
  [[nodiscard]] uint32_t blockSize() const { return blockSize_; }

 private:
  void Load();

  StringLoader loader_;
  std::span<const StringTableRow> rows_;
  std::vector<const char*> texts_;  // by row; null until loaded or when absent
  std::unique_ptr<char[]> block_;
  uint32_t blockSize_ = 0;
  bool loaded_ = false;
};

// LookupText on the process-wide catalogue of the program's own string table.
// The first call, whichever it is, loads it; the texts live until the process
// ends. Loaded on the start-up thread, it is read without a lock afterwards.
[[nodiscard]] const char* LookupText(MessageKey key);
