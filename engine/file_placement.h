// File placement: the file-system operations of the stages, placing one
// package item in the application stage, and copying an old file into
// another folder with the overwrite question.
#pragma once

#include <cstdint>

#include "base/text_buffer.h"
#include "platform/file.h"

struct PatchItem;
struct PackageEntry;
struct RunContext;

// The overwrite question's answers, numbered by the dialog's buttons, and
// kAsk for "no answer given yet".
enum OverwriteAnswer : uint32_t {
  kAsk = 1,
  kCancel = 2,
  kOverwriteAll = 1032,
  kSkip = 1033,
  kSkipAll = 1034,
  kOverwrite = 1037,
};

// The result of placing an item or copying a file: kItemDone, kItemFailed or
// one of the OverwriteAnswer values.
using ItemResult = uint32_t;
inline constexpr ItemResult kItemDone = 1;
inline constexpr ItemResult kItemFailed = 2;

struct PlacementState {
  // For added files whose destination exists; kept for the whole run.
  uint32_t AddOverwriteAnswer = kAsk;
  // For copies into existing targets; set back to kAsk when the backup and
  // the application stage begin.
  uint32_t CopyOverwriteAnswer = kAsk;
  // The item being applied: SourceFolder + name and DestinationFolder + name.
  TextBuffer SourcePath;
  TextBuffer DestinationPath;
};

// File-system operations; all take full paths.
[[nodiscard]] bool PathExists(const char* path, uint32_t* attributes = nullptr);
[[nodiscard]] bool IsExistingFile(const char* path);
[[nodiscard]] bool IsExistingDirectory(const char* path);
// Clears read-only, hidden, system and archive when the path exists.
void ClearAttributes(const char* path);
// Creates the directory and every missing parent; true when it exists after.
[[nodiscard]] bool MakeDirectoryPath(const char* path);
// MakeDirectoryPath with the Abort/Retry/Ignore question.
[[nodiscard]] bool EnsureDirectory(RunContext& context, const char* path);
// Replaces `destination` by the finished temporary file.
[[nodiscard]] bool MoveIntoPlace(const char* temporary, const char* destination);
// Sets the file's last-write time from the entry's DOS stamp (local time);
// nothing changes when the stamp names no valid time.
void SetTimeFromEntry(const platform::File& file, const PackageEntry& entry);

// Applies one item in the application stage: file facts to the log file,
// PlaceItem, the progress line, and the temporary file removed.
void ApplyItem(RunContext& context, PatchItem& item);
// Places one item; called by ApplyItem only.
[[nodiscard]] ItemResult PlaceItem(RunContext& context, PatchItem& item);
// Copies SourceFolder + name to targetFolder + name (both folders end in a
// separator), asking before it replaces an existing file. With onlyIfPresent,
// a source that is not an existing file is passed over silently. True when
// the work may go on (Done, Overwrite, OverwriteAll).
[[nodiscard]] bool CopyOldFile(RunContext& context, const char* targetFolder,
                               const char* relativeName, bool onlyIfPresent);
