// What the wizard's folder and options pages accept and which questions they
// ask, as plain functions over the pages' values; the wizard only moves the
// values between its controls and these rules.
#pragma once

#include <cstdint>

class TextBuffer;
struct RunContext;

// Control ids of the two pages that the rules read and reject.
inline constexpr uint16_t kOldFolderEdit = 1008;
inline constexpr uint16_t kNewFolderEdit = 1010;
inline constexpr uint16_t kOldFolderLabel = 1028;
inline constexpr uint16_t kNewFolderLabel = 1029;
inline constexpr uint16_t kVerifyBox = 1014;
inline constexpr uint16_t kSimulateBox = 1015;
inline constexpr uint16_t kApplyBox = 1016;
inline constexpr uint16_t kBackupBox = 1017;
inline constexpr uint16_t kBackupEdit = 1018;
inline constexpr uint16_t kLogBox = 1019;
inline constexpr uint16_t kLogEdit = 1020;
// FailValidation without a control to select: the page keeps its focus.
inline constexpr uint16_t kNoControl = 0xFFFF;

// What asking the system for a path's attributes tells.
enum class PathKind : uint8_t {
  kInvalidName,  // the system rejects the name itself
  kMissing,      // nothing there, or the attributes cannot be read
  kFile,
  kDirectory,
};

// A page's controls as the rules see them. The wizard implements it on the
// window that holds the page's controls at that moment; tests with a table.
class PageControls {
 public:
  virtual ~PageControls() = default;
  // ReadEditText: an empty edit empties `out` and is left alone; otherwise
  // `out` receives its text (at most 4095 characters) cleaned by
  // CleanEditText, and the cleaned text is written back into the edit.
  virtual void ReadEditText(uint16_t controlId, TextBuffer& out) = 0;
  // The text a label shows.
  virtual void ReadLabelText(uint16_t controlId, TextBuffer& out) = 0;
  // True for a ticked check box.
  [[nodiscard]] virtual bool IsChecked(uint16_t controlId) = 0;
  // Rejects the page: brings it forward and, unless kNoControl, selects the
  // whole text of the control and focuses it.
  virtual void FailValidation(uint16_t controlId) = 0;
  // What the system says about `path`.
  [[nodiscard]] virtual PathKind ProbePath(const char* path) = 0;
};

// Blanks around the text and trailing separators removed: " C:\App\ " gives
// "C:\App", and a drive root "C:\" gives "C:".
void CleanEditText(TextBuffer& text);

// IsValidPathName: false only when the system rejects the name; a path that
// does not exist is valid.
[[nodiscard]] bool IsValidPathName(PageControls& page, const char* path);

// CheckPathName: IsValidPathName, and when it fails "目录名“%s”不正确!" with
// the path is shown.
[[nodiscard]] bool CheckPathName(RunContext& context, PageControls& page, const TextBuffer& path);

// True when the package holds a `del.files` or `del.dirs` entry whose
// uncompressed size is not 0.
[[nodiscard]] bool PackageDeletesFiles(const RunContext& context);

// The folder page's commit: validates the old folder (when a stage needs it)
// and, for an update that is not applied in place, the new folder, stores
// both and decides SameFolder. False after a rejection, which has shown its
// message and called FailValidation.
bool CommitFolderPage(RunContext& context, PageControls& page);

// The options page's commit: stores the four switches, the backup path and
// the log file name, asks the backup and deletion questions, validates the
// backup path and the log file name, and opens the log file. False after a
// rejection; the switches and the backup path stay stored even then.
bool CommitOptionsPage(RunContext& context, PageControls& page);
