// File placement: directories with a retry question, the temporary file of
// each item moved over its destination, and copies of old files.
#include "engine/file_placement.h"

#include "engine/difference_applier.h"
#include "engine/patch_stages.h"
#include "engine/run_context.h"
#include "engine/safe_names.h"
#include "engine/temp_files.h"
#include "message_keys.h"
#include "platform/file_system.h"
#include "platform/file_times.h"
#include "platform/message_box.h"
#include "report/catalogue_text.h"
#include "report/log_file.h"
#include "report/progress_log.h"
#include "report/questions.h"
#include "startup/process_texts.h"

bool PathExists(const char* path, uint32_t* attributes) {
  return platform::ReadAttributes(path, attributes);
}

bool IsExistingFile(const char* path) {
  uint32_t attributes = 0;
  return PathExists(path, &attributes) && (attributes & platform::kAttributeDirectory) == 0;
}

bool IsExistingDirectory(const char* path) {
  uint32_t attributes = 0;
  return PathExists(path, &attributes) && (attributes & platform::kAttributeDirectory) != 0;
}

void ClearAttributes(const char* path) {
  if (PathExists(path)) static_cast<void>(platform::WriteAttributes(path, 0));
}

bool MakeDirectoryPath(const char* path) {
  TextBuffer directory(path);
  directory.StripTrailingSeparators();
  if (directory.empty()) return true;
  uint32_t attributes = 0;
  if (PathExists(directory.chars(), &attributes)) {
    return (attributes & platform::kAttributeDirectory) != 0;
  }
  const int32_t separator = LastSeparator(directory.chars(), directory.length());
  if (separator >= 0) {
    TextBuffer parent(directory.chars(), separator + 1);
    parent.StripTrailingSeparators();
    if (!MakeDirectoryPath(parent.chars())) return false;
  }
  return platform::CreateOneDirectory(directory.chars());
}

bool EnsureDirectory(RunContext& context, const char* path) {
  for (;;) {
    if (MakeDirectoryPath(path)) return true;
    if (!ReportError(context, CatalogueText(kMsgCannotCreateDirectory), path, true)) return false;
  }
}

bool MoveIntoPlace(const char* temporary, const char* destination) {
  return platform::MoveFileReplacing(temporary, destination);
}

void SetTimeFromEntry(const platform::File& file, const PackageEntry& entry) {
  platform::FileTime time = 0;
  if (!platform::DosStampToFileTime(entry.DosDate(), entry.DosTime(), &time)) return;
  static_cast<void>(platform::WriteLastWriteTime(file, time));
}

namespace {

bool IsOverwriteResult(uint32_t answer) { return answer == kOverwrite || answer == kOverwriteAll; }

// An overwrite answer that does not write: StageError, and StageStop too for
// Cancel.
void MarkDeclinedOverwrite(RunContext& context, uint32_t answer) {
  context.StageError = 1;
  if (answer == kCancel) context.StageStop = 1;
}

// Opens `path` with the sharing of the stages' old and destination files,
// asking Abort/Retry/Ignore with `format` while it fails.
platform::File OpenWithRetry(RunContext& context, const char* path, bool forWriting,
                             MessageKey format) {
  for (;;) {
    platform::File file = platform::File::OpenSharingAll(path, forWriting);
    if (file.IsOpen()) return file;
    if (!ReportError(context, CatalogueText(format), path, true)) return file;
  }
}

// Stamps a placed or kept file with the entry's attributes and time.
void StampFromEntry(const platform::File& file, const char* path, const PackageEntry& entry) {
  static_cast<void>(platform::WriteAttributes(path, entry.ExternalAttributes()));
  SetTimeFromEntry(file, entry);
}

}  // namespace

ItemResult PlaceItem(RunContext& context, PatchItem& item) {
  const PatchSettings& settings = context.settings;
  const TextBuffer& source = context.placement.SourcePath;
  const TextBuffer& destination = context.placement.DestinationPath;
  const PackageEntry entry = item.entry();

  // Stages refuse such names before they get here; this keeps placement safe
  // whoever calls it.
  if (!IsSafeRelativeName(item.name)) {
    context.StageError = 1;
    return kItemFailed;
  }

  // 1. Directories.
  if (item.IsDirectory()) {
    return EnsureDirectory(context, destination.chars()) ? kItemDone : kItemFailed;
  }
  TextBuffer folder;
  FolderPart(destination, folder);
  if (!EnsureDirectory(context, folder.chars())) return kItemFailed;

  // 2, 3. The old file, or the overwrite question.
  const bool destinationExists = PathExists(destination.chars());
  ItemResult result = kItemDone;
  platform::File oldFile;
  if (item.kind == ItemKind::kUpdate) {
    oldFile = OpenWithRetry(context, source.chars(), settings.SameFolder != 0,
                            kMsgCannotOpenUpdated);
    if (!oldFile.IsOpen()) return kItemFailed;
  } else if (item.kind == ItemKind::kAdd && destinationExists) {
    uint32_t& remembered = context.placement.AddOverwriteAnswer;
    if (remembered == kSkipAll) return kSkipAll;
    if (remembered == kOverwriteAll) {
      result = kOverwriteAll;
    } else {
      TextBuffer caption;
      QuestionCaption(context, caption);
      const uint32_t answer = static_cast<uint32_t>(AskOverwrite(
          context, caption.chars(), CatalogueText(kMsgAddedFileExists), destination.chars()));
      remembered = answer;
      if (!IsOverwriteResult(answer)) {
        MarkDeclinedOverwrite(context, answer);
        return answer;
      }
      result = answer;
    }
  }

  // 4. The temporary file, in the destination folder itself.
  const bool emptyUpdate = item.kind == ItemKind::kUpdate && entry.UncompressedSize() == 0;
  platform::File temporary;
  if (!emptyUpdate) {
    temporary = CreateTempFile(context, settings.DestinationFolder.chars());
    if (!temporary.IsOpen()) {
      const TextBuffer reason = TextBuffer::SystemErrorText();
      AskUser(context, reason.chars(), kAskErrorOk);
      context.StageError = 1;
      context.StageStop = 1;
      return kItemFailed;
    }
  }

  // 5. Inflating.
  ExtractedBlock difference;
  const bool extracted =
      item.kind == ItemKind::kUpdate
          ? ExtractToMemory(context.archive, item.localHeader, &difference, 0)
          : ExtractToFile(context.archive, item.localHeader, &temporary);
  if (!extracted) {
    context.StageError = 1;
    if (AskDamagedEntry(context, item.name) != platform::kIdYes) context.StageStop = 1;
    return kItemFailed;
  }

  // 6. Update items.
  if (item.kind == ItemKind::kUpdate) {
    if (difference.length != 0) {
      TextBuffer error;
      if (!ApplyDifference(context.questionHost, oldFile, difference.bytes.get(),
                           difference.length, &temporary, error)) {
        const TextBuffer reason = error.empty() ? TextBuffer::SystemErrorText() : error;
        context.StageError = 1;
        if (AskPatchFailed(context, destination.chars(), reason.chars()) != platform::kIdYes) {
          context.StageStop = 1;
        }
        return kItemFailed;
      }
    } else if (settings.SameFolder != 0) {
      // The content stays; only the attributes and the time change.
      StampFromEntry(oldFile, source.chars(), entry);
      return kItemDone;
    } else {
      oldFile.Close();
      if (!CopyOldFile(context, settings.DestinationFolder.chars(), item.name, true)) {
        return kItemFailed;
      }
      const platform::File placed =
          OpenWithRetry(context, destination.chars(), true, kMsgCannotOpenForAttributes);
      if (!placed.IsOpen()) return kItemFailed;
      StampFromEntry(placed, destination.chars(), entry);
      return kItemDone;
    }
  }

  // 7. Finishing: stamp the temporary file and move it over the destination.
  oldFile.Close();
  SetTimeFromEntry(temporary, entry);
  static_cast<void>(
      platform::WriteAttributes(context.TempFileName.chars(), entry.ExternalAttributes()));
  temporary.Close();
  for (;;) {
    ClearAttributes(destination.chars());
    if (MoveIntoPlace(context.TempFileName.chars(), destination.chars())) return result;
    if (!ReportError(context, CatalogueText(kMsgCannotUpdateFile), destination.chars(), true)) {
      return kItemFailed;
    }
  }
}

void ApplyItem(RunContext& context, PatchItem& item) {
  const PatchSettings& settings = context.settings;
  PlacementState& placement = context.placement;
  context.TempFileName.Release();
  placement.SourcePath = TextBuffer::Concat(settings.SourceFolder, item.name);
  placement.DestinationPath = TextBuffer::Concat(settings.DestinationFolder, item.name);
  placement.SourcePath.StripTrailingSeparators();
  placement.DestinationPath.StripTrailingSeparators();

  const ProcessTexts& texts = GetProcessTexts();
  const char* label = texts.creatingDirectory;
  if (!item.IsDirectory()) {
    LogFile& log = context.logFile;
    LogWrite(log, "\r\n");
    if (item.kind == ItemKind::kUpdate) {
      LogWrite(log, "Old: ");
      LogFileFacts(log, placement.SourcePath.chars());
      LogWrite(log, "New: ");
    }
    LogFileFacts(log, placement.DestinationPath.chars());
    label = texts.itemAction[static_cast<int>(item.kind)];
  }

  const ItemResult result = PlaceItem(context, item);

  LogText(context, label);
  LogItem(context, placement.DestinationPath.chars());
  LogCopyResult(context, result);

  // The temporary file is gone when it was moved into place. One left behind
  // may carry the entry's read-only attribute, which would keep the system
  // from deleting it: clear it first.
  if (!context.TempFileName.empty()) ClearAttributes(context.TempFileName.chars());
  DeleteTempFile(context);
}

bool CopyOldFile(RunContext& context, const char* targetFolder, const char* relativeName,
                 bool onlyIfPresent) {
  if (!IsSafeRelativeName(relativeName)) {
    context.StageError = 1;
    return false;
  }
  const TextBuffer source = TextBuffer::Concat(context.settings.SourceFolder, relativeName);
  if (onlyIfPresent && !IsExistingFile(source.chars())) return true;
  const TextBuffer target = TextBuffer::Concat(TextBuffer(targetFolder), relativeName);

  LogWrite(context.logFile, "\r\n");
  LogFileFacts(context.logFile, source.chars());
  LogFileFacts(context.logFile, target.chars());
  LogText(context, CatalogueText(kMsgCopyingFile));
  LogLine(context, source.chars());
  LogText(context, CatalogueText(kMsgCopyTo));
  LogItem(context, target.chars());

  ItemResult result = kItemFailed;
  bool copy = false;
  TextBuffer folder;
  FolderPart(target, folder);
  if (EnsureDirectory(context, folder.chars())) {
    for (;;) {
      uint32_t attributes = 0;
      if (!PathExists(target.chars(), &attributes)) {
        result = kItemDone;
        copy = true;
      } else if ((attributes & platform::kAttributeDirectory) != 0) {
        if (ReportError(context, CatalogueText(kMsgCopyBlockedByDirectory), target.chars(), false)) {
          continue;
        }
        result = kItemFailed;
      } else {
        uint32_t& remembered = context.placement.CopyOverwriteAnswer;
        if (remembered == kSkipAll) {
          result = kSkipAll;
        } else if (remembered == kOverwriteAll) {
          result = kOverwriteAll;
          copy = true;
        } else {
          TextBuffer caption;
          QuestionCaption(context, caption);
          const uint32_t answer = static_cast<uint32_t>(AskOverwrite(
              context, caption.chars(), CatalogueText(kMsgFileExists), target.chars()));
          remembered = answer;
          result = answer;
          if (IsOverwriteResult(answer)) {
            copy = true;
          } else {
            MarkDeclinedOverwrite(context, answer);
          }
        }
      }
      break;
    }
  }

  while (copy) {
    ClearAttributes(target.chars());
    if (platform::CopyFileOver(source.chars(), target.chars())) break;
    if (!ReportError(context, CatalogueText(kMsgCopyError), source.chars(), true)) {
      result = kItemFailed;
      break;
    }
  }

  LogCopyResult(context, result);
  return result == kItemDone || IsOverwriteResult(result);
}
