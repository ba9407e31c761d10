// Paths on disk: attributes, directories, deletion, moving and copying files
// into place, and whether a directory holds anything.
#pragma once

#include <cstdint>

namespace platform {

// The Windows attribute word. Elsewhere a path reads as kAttributeDirectory
// for a directory, kAttributeReadOnly for a file without write permission and
// kAttributeNormal for any other file; only the read-only bit can be written.
inline constexpr uint32_t kAttributeReadOnly = 0x1;
inline constexpr uint32_t kAttributeHidden = 0x2;
inline constexpr uint32_t kAttributeSystem = 0x4;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;
inline constexpr uint32_t kAttributeNormal = 0x80;
inline constexpr uint32_t kAttributeCompressed = 0x800;

// Paths may use '/' and '\' as separators. Every function sets the last
// error when it fails.

// The attributes of `path`; false when it does not exist or cannot be asked.
[[nodiscard]] bool ReadAttributes(const char* path, uint32_t* attributes);
// Sets the attributes of `path` (0 clears them all).
[[nodiscard]] bool WriteAttributes(const char* path, uint32_t attributes);

// Creates one directory whose parent exists.
[[nodiscard]] bool CreateOneDirectory(const char* path);
// Removes an empty directory.
[[nodiscard]] bool RemoveEmptyDirectory(const char* path);
// Deletes a file (never a directory).
[[nodiscard]] bool DeleteOneFile(const char* path);

// Moves the file `from` to `to`, replacing an existing `to`, across volumes by
// copying and deleting when a rename cannot do it.
[[nodiscard]] bool MoveFileReplacing(const char* from, const char* to);

// Copies the file `from` over `to` (created or replaced), keeping the
// source's attributes and last-write time. On failure no partial `to` is left
// behind, though a replaced `to` may be gone.
[[nodiscard]] bool CopyFileOver(const char* from, const char* to);

enum class DirectoryContent : uint8_t {
  kEmpty,        // nothing but "." and ".."
  kHasEntries,
  kCannotList,   // the listing could not start
};
[[nodiscard]] DirectoryContent ProbeDirectory(const char* path);

// True on the old Windows family (the version word's top bit), where files
// are moved into place by copying and deleting. False elsewhere.
[[nodiscard]] bool IsLegacyWindows();

}  // namespace platform
