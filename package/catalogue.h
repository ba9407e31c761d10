// The package catalogue: the control entries found by name and the items to
// add, replace or update found by folder, with the counts the stages use.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "package/container_reader.h"

// The kind of an item; also the first sort key and the index of the per-kind
// texts.
enum class ItemKind : uint8_t {
  kAdd = 0,      // "Add/"
  kReplace = 1,  // "Replace/"
  kUpdate = 2,   // "Update/", a difference file ending in ".df"
};

// One item. Records are packed one after another in the catalogue's array.
struct PatchItem {
  const uint8_t* centralRecord = nullptr;  // attributes, directory bit
  const uint8_t* localHeader = nullptr;    // extraction, sizes, times
  // Length in bytes of the relative name: the entry name without its folder
  // prefix and, for an Update file, without ".df".
  uint32_t nameLength = 0;
  // While classifying: the raw OEM bytes in the image just after the prefix
  // (not terminated). After PrepareItemNames: a NUL-terminated ANSI copy in
  // the names block, with '\' separators.
  const char* name = nullptr;
  ItemKind kind = ItemKind::kAdd;
  // Set to 1 by the integrity check when the item's data is damaged and the
  // user chose to go on; later stages pass such items by.
  uint8_t skip = 0;

  [[nodiscard]] PackageEntry entry() const { return {centralRecord, localHeader}; }
  [[nodiscard]] bool IsDirectory() const { return entry().IsDirectory(); }
};

// The seven control entries, in table order.
enum class ControlEntry : uint8_t {
  kProduct = 0,
  kInstall,
  kNotes,
  kDelFiles,
  kDelDirs,
  kLicense,
  kPicture,
};
inline constexpr int kControlEntryCount = 7;

// The entry names, indexed by ControlEntry.
inline constexpr std::array<const char*, kControlEntryCount> kControlEntryNames = {
    "product", "install", "notes.rtf", "del.files", "del.dirs", "license.rtf", "rtpic.bmp"};

// The local header of each control entry found, or null.
struct ControlEntryTable {
  std::array<const uint8_t*, kControlEntryCount> slots{};

  [[nodiscard]] const uint8_t* operator[](ControlEntry which) const {
    return slots[static_cast<int>(which)];
  }
  [[nodiscard]] const uint8_t*& operator[](ControlEntry which) {
    return slots[static_cast<int>(which)];
  }
};

// The catalogue and its counts. The item array and the names block are owned
// here; every item's pointers lead into the package image or the names block.
struct PackageCatalogue {
  // Allocated for as many records as the end record announces entries.
  std::unique_ptr<PatchItem[]> items;
  uint32_t capacity = 0;
  // Every prepared name followed by NUL; NamesSize = sum of nameLength + 1.
  std::unique_ptr<char[]> names;
  uint32_t NamesSize = 0;

  ControlEntryTable controlEntries;

  uint32_t ItemCount = 0;        // records in use
  uint32_t UpdateItemCount = 0;  // records of kind Update: the last ones after sorting
  uint32_t DelFilesCount = 0;    // entries of the deletion lists
  uint32_t DelDirsCount = 0;
  uint32_t TotalSteps = 0;       // DelDirsCount + DelFilesCount + ItemCount

  [[nodiscard]] PatchItem* begin() { return items.get(); }
  [[nodiscard]] PatchItem* end() { return items.get() + ItemCount; }
  [[nodiscard]] const PatchItem* begin() const { return items.get(); }
  [[nodiscard]] const PatchItem* end() const { return items.get() + ItemCount; }

  // Drops the items, the names and the counts; the control entries stay.
  void ReleaseItems();
};

// Empties the catalogue and allocates the item array for `entryCount` records.
void PrepareCatalogue(PackageCatalogue& catalogue, uint32_t entryCount);

// The entry classifier: files one entry into the control entry table or as a
// new item, or ignores it. Always answers true (go on with the walk). An item
// beyond the array's capacity is ignored (the walk never visits more entries
// than the end record announces).
bool ClassifyEntry(PackageCatalogue& catalogue, const PackageEntry& entry);

// Allocates the names block and gives every item a NUL-terminated ANSI copy of
// its name (converted from the OEM code page) with '/' turned into '\'.
void PrepareItemNames(PackageCatalogue& catalogue);

// Sorts the items by kind (Add, Replace, Update), then by name with the
// locale comparison ignoring case. Names that differ only in case come in
// either order.
void SortItems(PackageCatalogue& catalogue);
