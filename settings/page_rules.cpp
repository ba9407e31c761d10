// The folder and options pages' validation rules, in the order the pages
// check and ask.
#include "settings/page_rules.h"

#include "base/text_buffer.h"
#include "engine/run_context.h"
#include "message_keys.h"
#include "platform/message_box.h"
#include "report/log_file.h"
#include "report/questions.h"
#include "startup/message_catalogue.h"

namespace {

constexpr uint32_t kRejectStyle = platform::kMbIconError;  // MB_OK | MB_ICONHAND
constexpr uint32_t kForceBackupStyle =
    platform::kMbYesNoCancel | platform::kMbIconQuestion | platform::kMbDefButton2;
constexpr uint32_t kDeleteWithoutBackupStyle = platform::kMbYesNoCancel | platform::kMbIconWarning;

const char* Text(MessageKey key) {
  const char* text = LookupText(key);
  return text != nullptr ? text : "";
}

void ShowRejection(RunContext& context, const char* text) {
  static_cast<void>(AskUser(context, text, kRejectStyle));
}

// "输入 %s!" naming the label of the field at fault.
void ShowEnterValue(RunContext& context, PageControls& page, uint16_t labelId) {
  TextBuffer label;
  page.ReadLabelText(labelId, label);
  TextBuffer message;
  message.Format(Text(kMsgEnterValue), label.chars());
  ShowRejection(context, message.chars());
}

// The form folders are compared in: normalised and upper-cased.
TextBuffer ComparisonForm(const TextBuffer& folder) {
  TextBuffer copy(folder);
  copy.NormaliseFolder();
  copy.ToUpper();
  return copy;
}

bool SameText(const TextBuffer& a, const TextBuffer& b) { return Compare(a, b, true) == 0; }

// One of the two forced-backup questions: Cancel rejects the page (false);
// otherwise ExecuteBackup follows the answer.
bool AskForceBackup(RunContext& context, PageControls& page, MessageKey question) {
  const int answer = AskUser(context, Text(question), kForceBackupStyle);
  if (answer == platform::kIdCancel) {
    page.FailValidation(kNoControl);
    return false;
  }
  context.settings.ExecuteBackup = answer == platform::kIdYes ? 1 : 0;
  return true;
}

}  // namespace

void CleanEditText(TextBuffer& text) {
  text.Trim();
  text.StripTrailingSeparators();
}

bool IsValidPathName(PageControls& page, const char* path) {
  return page.ProbePath(path) != PathKind::kInvalidName;
}

bool CheckPathName(RunContext& context, PageControls& page, const TextBuffer& path) {
  if (IsValidPathName(page, path.chars())) return true;
  TextBuffer message;
  message.Format(Text(kMsgInvalidDirectoryName), path.chars());
  ShowRejection(context, message.chars());
  return false;
}

bool PackageDeletesFiles(const RunContext& context) {
  const ControlEntryTable& table = context.catalogue.controlEntries;
  for (ControlEntry which : {ControlEntry::kDelFiles, ControlEntry::kDelDirs}) {
    const uint8_t* localHeader = table[which];
    if (localHeader != nullptr && PackageEntry{nullptr, localHeader}.UncompressedSize() != 0) {
      return true;
    }
  }
  return false;
}

bool CommitFolderPage(RunContext& context, PageControls& page) {
  PatchSettings& settings = context.settings;
  const bool oldFolderNeeded =
      settings.SimulateApplying != 0 || settings.ExecuteBackup != 0 || settings.ApplyUpdate != 0;

  page.ReadEditText(kOldFolderEdit, settings.SourceFolder);
  if (oldFolderNeeded) {
    if (settings.SourceFolder.empty()) {
      page.FailValidation(kOldFolderEdit);
      ShowEnterValue(context, page, kOldFolderLabel);
      return false;
    }
    // The name's own message comes before the page is brought forward.
    if (!CheckPathName(context, page, settings.SourceFolder)) {
      page.FailValidation(kOldFolderEdit);
      return false;
    }
    if (page.ProbePath(settings.SourceFolder.chars()) != PathKind::kDirectory) {
      page.FailValidation(kOldFolderEdit);
      TextBuffer message;
      message.Format(Text(kMsgFolderMissing), settings.SourceFolder.chars());
      ShowRejection(context, message.chars());
      return false;
    }
  }

  if (settings.ApplyToSrc == 0 && settings.ApplyUpdate != 0) {
    // The new folder need not exist: the update creates what is missing.
    page.ReadEditText(kNewFolderEdit, settings.DestinationFolder);
    if (settings.DestinationFolder.empty()) {
      page.FailValidation(kNewFolderEdit);
      ShowEnterValue(context, page, kNewFolderLabel);
      return false;
    }
    if (!CheckPathName(context, page, settings.DestinationFolder)) {
      page.FailValidation(kNewFolderEdit);
      return false;
    }
  }

  settings.SameFolder = settings.ApplyToSrc != 0 ? 1 : 0;
  if (settings.ApplyToSrc != 0) {
    settings.DestinationFolder.Assign(settings.SourceFolder);
  } else {
    settings.SameFolder = SameText(ComparisonForm(settings.SourceFolder),
                                   ComparisonForm(settings.DestinationFolder))
                              ? 1
                              : 0;
  }
  return true;
}

bool CommitOptionsPage(RunContext& context, PageControls& page) {
  PatchSettings& settings = context.settings;
  settings.SimulateApplying = page.IsChecked(kSimulateBox) ? 1 : 0;
  settings.ExecuteBackup = page.IsChecked(kBackupBox) ? 1 : 0;
  settings.ApplyUpdate = page.IsChecked(kApplyBox) ? 1 : 0;
  settings.WriteLog = page.IsChecked(kLogBox) ? 1 : 0;

  page.ReadEditText(kBackupEdit, settings.BackupPath);
  const TextBuffer backupForm = ComparisonForm(settings.BackupPath);

  if (settings.ExecuteBackup != 0) {
    if (settings.ApplyUpdate == 0 && !AskForceBackup(context, page, kMsgForceBackupNoChange)) {
      return false;
    }
    if (settings.ExecuteBackup != 0 && settings.SameFolder == 0 &&
        !AskForceBackup(context, page, kMsgForceBackupOtherFolder)) {
      return false;
    }
  }

  if (settings.ExecuteBackup != 0) {
    if (settings.BackupPath.empty()) {
      page.FailValidation(kBackupEdit);
      ShowRejection(context, Text(kMsgEnterBackupPath));
      return false;
    }
    if (!CheckPathName(context, page, settings.BackupPath)) {
      page.FailValidation(kBackupEdit);
      return false;
    }
    if (SameText(backupForm, ComparisonForm(settings.SourceFolder)) ||
        SameText(backupForm, ComparisonForm(settings.DestinationFolder))) {
      page.FailValidation(kBackupEdit);
      ShowRejection(context, Text(kMsgBackupPathClash));
      return false;
    }
  } else if (settings.WarningOnDel != 0 && settings.ApplyUpdate != 0 &&
             PackageDeletesFiles(context)) {
    if (AskUser(context, Text(kMsgDeleteWithoutBackup), kDeleteWithoutBackupStyle) !=
        platform::kIdYes) {
      page.FailValidation(kBackupEdit);
      return false;
    }
  }

  page.ReadEditText(kLogEdit, settings.LogFileName);
  if (settings.WriteLog != 0) {
    if (settings.LogFileName.empty()) {
      ShowRejection(context, Text(kMsgEnterLogFileName));
      page.FailValidation(kLogEdit);
      return false;
    }
    if (!CheckPathName(context, page, settings.LogFileName)) {
      page.FailValidation(kLogEdit);
      return false;
    }
    // A log file that cannot be opened is not reported: the run goes on
    // without one.
    OpenLogFile(context.logFile, settings.LogFileName.chars(), settings.OverwriteLog != 0,
                context.ModulePath.chars());
  }
  return true;
}
