// The deletion lists: the line walker and the actions of the backup and
// application stages.
#include "engine/list_walker.h"

#include "base/text_buffer.h"
#include "engine/file_placement.h"
#include "engine/run_context.h"
#include "engine/safe_names.h"
#include "message_keys.h"
#include "platform/file_system.h"
#include "report/catalogue_text.h"
#include "report/progress_log.h"
#include "startup/process_texts.h"

bool WalkList(RunContext& context, char* text, ListAction action) {
  if (text == nullptr) return true;
  char* position = text;
  while (context.AbortRequested.load(std::memory_order_relaxed) == 0) {
    char* name = const_cast<char*>(SkipBlanks(position));
    if (*name == 0) return true;
    char* lineEnd = const_cast<char*>(LineEnd(name));
    // The line holds at least the non-blank character at `name`.
    const int32_t last = LastNonBlank(name, static_cast<int32_t>(lineEnd - name) - 1);
    char* nameEnd = name + last + 1;
    const char saved = *nameEnd;
    *nameEnd = 0;
    const bool goOn = action(name);
    *nameEnd = saved;
    if (!goOn) return false;
    position = lineEnd;
  }
  // A walk the user aborted is not a failure.
  return true;
}

uint32_t CountListLines(RunContext& context, char* text) {
  CountListLine counter;
  static_cast<void>(WalkList(context, text, counter));
  return counter.count;
}

namespace {

// A listed name that would lead out of the folders: its line is written with
// the name as it stands and "失败", the stage is marked as failed, and the
// name is passed over.
bool RefuseUnsafeName(RunContext& context, const char* label, const char* name) {
  if (IsSafeRelativeName(name)) return false;
  LogText(context, label);
  LogItem(context, name);
  LogVerdict(context, false);
  context.StageError = 1;
  return true;
}

TextBuffer JoinPath(const TextBuffer& folder, const char* name) {
  return TextBuffer::Concat(folder, name);
}

}  // namespace

bool BackupListedDirectory(RunContext& context, const char* name) {
  const char* label = GetProcessTexts().creatingDirectory;
  if (!RefuseUnsafeName(context, label, name)) {
    const TextBuffer path = JoinPath(context.settings.BackupPath, name);
    LogText(context, label);
    LogItem(context, path.chars());
    LogVerdict(context, EnsureDirectory(context, path.chars()));
  }
  ProgressStep(context);
  return context.StageStop == 0;
}

bool BackupListedFile(RunContext& context, const char* name) {
  if (!RefuseUnsafeName(context, CatalogueText(kMsgCopyingFile), name)) {
    static_cast<void>(CopyOldFile(context, context.settings.BackupPath.chars(), name, true));
  }
  ProgressStep(context);
  return context.StageStop == 0;
}

bool DeleteListedFile(RunContext& context, const char* name) {
  const char* label = CatalogueText(kMsgDeletingFile);
  if (!RefuseUnsafeName(context, label, name)) {
    const TextBuffer path = JoinPath(context.settings.DestinationFolder, name);
    if (PathExists(path.chars())) {
      LogText(context, label);
      LogItem(context, path.chars());
      ClearAttributes(path.chars());
      LogVerdict(context, platform::DeleteOneFile(path.chars()));
    }
  }
  ProgressStep(context);
  return true;
}

bool RemoveListedDirectory(RunContext& context, const char* name) {
  const char* label = CatalogueText(kMsgDeletingDirectory);
  if (!RefuseUnsafeName(context, label, name)) {
    const TextBuffer path = JoinPath(context.settings.DestinationFolder, name);
    if (PathExists(path.chars())) {
      LogText(context, label);
      LogItem(context, path.chars());
      if (IsDirectoryEmpty(path.chars())) {
        ClearAttributes(path.chars());
        LogVerdict(context, platform::RemoveEmptyDirectory(path.chars()));
      } else {
        LogLine(context, CatalogueText(kMsgIsEmpty));
      }
    }
  }
  ProgressStep(context);
  return true;
}

bool IsDirectoryEmpty(const char* path) {
  return platform::ProbeDirectory(path) != platform::DirectoryContent::kHasEntries;
}
