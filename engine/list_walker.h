// The deletion lists: reading a list line by line and the four actions the
// backup and application stages run on its names.
#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>

struct RunContext;

// A list action: gets one name (the trimmed line, NUL-terminated) and answers
// true to go on with the next line or false to end the walk. Refers to the
// callable; it must outlive the walk.
class ListAction {
 public:
  template <typename Callable>
    requires(!std::is_same_v<std::remove_cvref_t<Callable>, ListAction>)
  ListAction(Callable&& callable)  // implicit: walks take lambdas
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
        call_([](void* object, const char* name) -> bool {
          return (*static_cast<std::remove_reference_t<Callable>*>(object))(name);
        }) {}

  bool operator()(const char* name) const { return call_(object_, name); }

 private:
  void* object_;
  bool (*call_)(void* object, const char* name);
};

// Walks `text` (a NUL-terminated list, or null for none): one name per line,
// lines ending at CR, LF or the end, blanks around a name dropped, blank
// lines skipped. Each name is terminated in place for the action and the text
// is restored afterwards. Checks the context's AbortRequested before every
// line. True when the end was reached, when there is no text, or when the user
// aborted; false when an action answered false.
[[nodiscard]] bool WalkList(RunContext& context, char* text, ListAction action);

// The counting action: adds one per name and always goes on.
struct CountListLine {
  uint32_t count = 0;
  bool operator()(const char*) {
    ++count;
    return true;
  }
};

// The number of names WalkList hands to an action: the non-blank lines.
[[nodiscard]] uint32_t CountListLines(RunContext& context, char* text);

// Backup stage: BackupPath + name made as a directory (with the Retry
// question), one line in the log; then a progress step. False when StageStop
// is set.
[[nodiscard]] bool BackupListedDirectory(RunContext& context, const char* name);
// Backup stage: SourceFolder + name copied to BackupPath + name when it is an
// existing file (CopyOldFile, only-if-present); a progress step. False when
// StageStop is set.
[[nodiscard]] bool BackupListedFile(RunContext& context, const char* name);
// Application stage: DestinationFolder + name deleted as a file when it
// exists; a failure is reported on its line only. Always true.
[[nodiscard]] bool DeleteListedFile(RunContext& context, const char* name);
// Application stage: DestinationFolder + name removed when it is an empty
// directory; a directory that still holds entries stays. Always true.
[[nodiscard]] bool RemoveListedDirectory(RunContext& context, const char* name);

// True when the directory holds nothing but "." and "..", and also when it
// cannot be listed at all.
[[nodiscard]] bool IsDirectoryEmpty(const char* path);
