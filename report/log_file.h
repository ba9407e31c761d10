// The log file: a plain-text record of a run, with the progress log's text,
// the questions and answers, a header per run and the facts of each file
// before it is changed.
#pragma once

#include <cstdint>

#include "platform/file.h"
#include "platform/file_times.h"

// Not open at start, after a failed open and after closing; every write does
// nothing then. Each write is one unbuffered system write.
struct LogFile {
  platform::File file;
};

// Opens or creates `fileName` (emptied first when `overwrite`), shared for
// reading only, and appends the run header: the start line, then
// "[dd.mm.yyyy hh:mm]: " and `modulePath`. A file that cannot be opened
// leaves the log closed, without a message.
void OpenLogFile(LogFile& log, const char* fileName, bool overwrite, const char* modulePath);
void CloseLogFile(LogFile& log);

// The text's bytes up to its NUL, in one write; failures are ignored.
void LogWrite(LogFile& log, const char* text);
// Nothing for a null text; otherwise the text, then CR LF.
void LogWriteLine(LogFile& log, const char* text);
// The local date and time of a universal time: "%02u.%02u.%04u %02u:%02u".
void LogTimestamp(LogFile& log, platform::FileTime universal);
// A space and "rahs" with "-" for each attribute that is not set, then "c"
// when the compressed attribute is set.
void LogAttributes(LogFile& log, uint32_t attributes);
// The path, then " (doesn't exist)" or its attribute field and, for a file
// whose time can be read, a space and its last-write time; then CR LF.
void LogFileFacts(LogFile& log, const char* path);

// The run header's first line.
extern const char kLogStartLine[];
