// The message catalogue: loading the string table into one block and the
// binary search by key.
#include "startup/message_catalogue.h"

#include <utility>

#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/string_resources.h"

namespace {

constexpr uint32_t kLastCheckedGroup = 12;

}  // namespace

MessageCatalogue::MessageCatalogue()
    : MessageCatalogue(platform::LoadResourceString, std::span<const StringTableRow>(kStringTableRows)) {}

MessageCatalogue::MessageCatalogue(StringLoader loader, std::span<const StringTableRow> rows)
    : loader_(std::move(loader)), rows_(rows), texts_(rows.size(), nullptr) {}

void MessageCatalogue::Load() {
  // Set first: a failed or empty load is never retried.
  loaded_ = true;

  // Measure every string so that the block is exactly their total.
  uint32_t total = 0;
  {
    char scratch[kScratchSize];
    for (uint32_t id = 0; id < rows_.size(); ++id) {
      const int length = loader_(id, scratch, kScratchSize);
      if (length > 0 && length < kScratchSize) total += static_cast<uint32_t>(length) + 1;
    }
  }
  if (total == 0) return;

  block_ = std::make_unique_for_overwrite<char[]>(total);
  blockSize_ = total;

  // Load straight into the block, offering what is left of it. Once the block
  // is full no loader is called, since there is no room even for a terminator
  // (the position would be one past the block). A length the offered room
  // cannot hold is taken as no text.
  uint32_t position = 0;
  for (uint32_t id = 0; id < rows_.size() && position < total; ++id) {
    const int capacity = static_cast<int>(total - position);
    const int length = loader_(id, block_.get() + position, capacity);
    if (length <= 0 || length >= capacity) continue;
    texts_[id] = block_.get() + position;
    position += static_cast<uint32_t>(length) + 1;
  }
}

const char* MessageCatalogue::LookupText(MessageKey key) {
  if (!loaded_) Load();
  if (!block_) return nullptr;

  const uint16_t group = static_cast<uint16_t>(key >> 16);
  const uint16_t number = static_cast<uint16_t>(key & 0xFFFF);
  if (group > kLastCheckedGroup) return nullptr;

  size_t low = 0;
  size_t high = rows_.size();
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const StringTableRow& row = rows_[middle];
    if (row.group == group && row.number == number) return texts_[middle];
    if (row.group < group || (row.group == group && row.number < number)) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }

  // Asking for a text that does not exist is a fault of the program itself.
  platform::ShowMessageBox("ENGTXT: Resource string not found!", nullptr, platform::kMbIconError);
  platform::ExitProcessNow(-1);
}

const char* LookupText(MessageKey key) {
  // Never destroyed: callers keep the texts for the life of the process.
  static MessageCatalogue& catalogue = *new MessageCatalogue();
  return catalogue.LookupText(key);
}
