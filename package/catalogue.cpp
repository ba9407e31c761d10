// Building the package catalogue: classifying entries, preparing and sorting
// item names.
#include "package/catalogue.h"

#include <algorithm>
#include <cstring>

#include "base/text_buffer.h"
#include "platform/code_page.h"
#include "platform/text_services.h"

namespace {

struct FolderPrefix {
  const char* text;
  uint32_t length;
  ItemKind kind;
};

// Tried in this order; the first that applies decides.
constexpr FolderPrefix kPrefixes[] = {
    {"Add/", 4, ItemKind::kAdd},
    {"Replace/", 8, ItemKind::kReplace},
    {"Update/", 7, ItemKind::kUpdate},
};

constexpr int kCompareEqual = 2;

bool EqualNoCase(const char* a, uint32_t lengthA, const char* b, uint32_t lengthB) {
  return platform::CompareLocaleText(a, static_cast<int32_t>(lengthA), b,
                                     static_cast<int32_t>(lengthB), true) == kCompareEqual;
}

// Items in processing order: by kind, then by name ignoring case.
bool ItemBefore(const PatchItem& a, const PatchItem& b) {
  if (a.kind != b.kind) return a.kind < b.kind;
  const int order = platform::CompareLocaleText(
      a.name, static_cast<int32_t>(std::strlen(a.name)), b.name,
      static_cast<int32_t>(std::strlen(b.name)), true);
  return order == 1;
}

}  // namespace

void PackageCatalogue::ReleaseItems() {
  items.reset();
  capacity = 0;
  names.reset();
  NamesSize = 0;
  ItemCount = 0;
  UpdateItemCount = 0;
  DelFilesCount = 0;
  DelDirsCount = 0;
  TotalSteps = 0;
}

void PrepareCatalogue(PackageCatalogue& catalogue, uint32_t entryCount) {
  catalogue.ReleaseItems();
  catalogue.controlEntries = ControlEntryTable{};
  catalogue.items = std::make_unique<PatchItem[]>(entryCount);
  catalogue.capacity = entryCount;
}

bool ClassifyEntry(PackageCatalogue& catalogue, const PackageEntry& entry) {
  const char* name = entry.NameBytes();
  const uint32_t length = entry.NameLength();

  for (int slot = 0; slot < kControlEntryCount; ++slot) {
    const char* control = kControlEntryNames[slot];
    if (EqualNoCase(name, length, control, static_cast<uint32_t>(std::strlen(control)))) {
      // A later entry of the same name replaces an earlier one.
      catalogue.controlEntries.slots[slot] = entry.localHeader;
      return true;
    }
  }

  const FolderPrefix* prefix = nullptr;
  for (const FolderPrefix& candidate : kPrefixes) {
    if (candidate.length < length &&
        EqualNoCase(name, candidate.length, candidate.text, candidate.length)) {
      prefix = &candidate;
      break;
    }
  }
  if (prefix == nullptr) return true;

  uint32_t nameLength = length - prefix->length;
  if (prefix->kind == ItemKind::kUpdate && !entry.IsDirectory()) {
    if (length <= prefix->length + 3 || !EqualNoCase(name + length - 3, 3, ".df", 3)) return true;
    nameLength -= 3;
  }
  // The array holds as many records as the end record announces entries, and
  // the walk visits no more than that; this only guards the bound.
  if (catalogue.ItemCount >= catalogue.capacity) return true;

  PatchItem& item = catalogue.items[catalogue.ItemCount];
  item.centralRecord = entry.centralRecord;
  item.localHeader = entry.localHeader;
  item.nameLength = nameLength;
  item.name = name + prefix->length;
  item.kind = prefix->kind;
  item.skip = 0;
  catalogue.NamesSize += nameLength + 1;
  ++catalogue.ItemCount;
  if (prefix->kind == ItemKind::kUpdate) ++catalogue.UpdateItemCount;
  return true;
}

void PrepareItemNames(PackageCatalogue& catalogue) {
  catalogue.names = std::make_unique<char[]>(catalogue.NamesSize);
  char* cursor = catalogue.names.get();
  for (PatchItem& item : catalogue) {
    platform::OemToAnsiText(item.name, cursor, item.nameLength);
    ToBackslashes(cursor, static_cast<int32_t>(item.nameLength));
    cursor[item.nameLength] = 0;
    item.name = cursor;
    cursor += item.nameLength + 1;
  }
}

void SortItems(PackageCatalogue& catalogue) {
  // A heap sort: in place, and it stays inside the array whatever the locale
  // comparison answers for odd names.
  std::make_heap(catalogue.begin(), catalogue.end(), ItemBefore);
  std::sort_heap(catalogue.begin(), catalogue.end(), ItemBefore);
}
