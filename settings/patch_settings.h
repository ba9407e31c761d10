// The patch settings: what the package says about the product and how the
// update is applied, with their defaults, read from the control entries.
#pragma once

#include <cstdint>
#include <memory>

#include "base/text_buffer.h"
#include "platform/bitmap.h"

struct RunContext;

// A deletion list as extracted: the entry's bytes with every '/' turned into
// '\' and a NUL after them. Absent when the package has no such entry or it
// could not be extracted.
struct DeletionList {
  std::unique_ptr<char[]> text;
  uint32_t length = 0;  // bytes of the entry, without the NUL

  [[nodiscard]] bool present() const { return text != nullptr; }
  void Release() {
    text.reset();
    length = 0;
  }
};

// Switches are signed 32-bit values where any non-zero value means on.
struct PatchSettings {
  // From the `product` entry, section PRODUCT. The first three start as the
  // catalogue's "<未知>" (SetUnknownProductTexts).
  TextBuffer ProductName;
  TextBuffer OldVersion;
  TextBuffer NewVersion;
  TextBuffer Web;
  TextBuffer EMail;
  TextBuffer Copyright;
  // "%s %s 到 %s 升级" filled with the three texts above; always computed.
  TextBuffer Title;

  // From the `install` entry; the initial value is the default.
  int32_t ApplyToSrc = 1;        // INSTALL
  int32_t SimulateApplying = 1;  // INSTALL
  int32_t SilentMode = 0;        // WIZARD: read and stored, nothing depends on it
  int32_t ShowLicense = 0;       // WIZARD
  int32_t ShowNotes = 0;         // WIZARD
  int32_t ShowAppFolder = 1;     // WIZARD
  int32_t ShowOptions = 1;       // WIZARD
  int32_t ExecuteBackup = 0;     // BACKUP
  int32_t WarningOnDel = 1;      // BACKUP
  int32_t WriteLog = 1;          // LOG
  int32_t OverwriteLog = 0;      // LOG

  // Set by no control entry.
  int32_t ApplyUpdate = 1;  // the application stage runs
  int32_t SameFolder = 1;   // (ApplyToSrc != 0) once `install` is read

  // Folders are normalised and have no trailing separator until the stage
  // driver adds one.
  TextBuffer SourceFolder;
  TextBuffer DestinationFolder;
  TextBuffer BackupPath;
  TextBuffer LogFileName;

  TextBuffer LicenceText;  // `license.rtf`
  TextBuffer NotesText;    // `notes.rtf`
  DeletionList DelFilesList;
  DeletionList DelDirsList;
  platform::Bitmap Picture;  // `rtpic.bmp`
};

// Puts `unknown` ("<未知>") into ProductName, OldVersion and NewVersion, as
// start-up does.
void SetUnknownProductTexts(PatchSettings& settings, const char* unknown);

// Size of the area every text value is read into: at most 4095 characters.
inline constexpr uint32_t kSettingTextSize = 4096;

// Reads `key` of `section` from the INI file `file`. When the value has at
// least one character, `field` is assigned it and then its %NAME% references
// are expanded, and the answer is true; otherwise `field` is unchanged.
bool ReadSettingText(const char* file, const char* section, const char* key, TextBuffer& field);

// Fills context.settings from the control entries of context.catalogue, in
// this order: product texts and Title, the switches and folders of
// `install`, the notes, both deletion lists, the licence, the picture.
// Missing or unreadable entries and keys leave defaults; always true.
bool ReadPatchSettings(RunContext& context);
