// The log file: the run header, unbuffered writes, and the lines of file
// facts with attributes and local times.
#include "report/log_file.h"

#include <cstring>

#include "base/text_buffer.h"
#include "platform/file_system.h"

const char kLogStartLine[] = "====================== Start patch =========================";

void LogWrite(LogFile& log, const char* text) {
  if (!log.file.IsOpen() || text == nullptr) return;
  uint32_t written = 0;
  static_cast<void>(log.file.Write(text, static_cast<uint32_t>(std::strlen(text)), &written));
}

void LogWriteLine(LogFile& log, const char* text) {
  if (text == nullptr) return;
  LogWrite(log, text);
  LogWrite(log, "\r\n");
}

void LogTimestamp(LogFile& log, platform::FileTime universal) {
  platform::CalendarTime local;
  if (!platform::ToLocalCalendar(universal, &local)) return;
  TextBuffer text;
  text.Format("%02u.%02u.%04u %02u:%02u", unsigned{local.day}, unsigned{local.month},
              unsigned{local.year}, unsigned{local.hour}, unsigned{local.minute});
  LogWrite(log, text.chars());
}

void LogAttributes(LogFile& log, uint32_t attributes) {
  char field[7] = " ----";
  if ((attributes & platform::kAttributeReadOnly) != 0) field[1] = 'r';
  if ((attributes & platform::kAttributeArchive) != 0) field[2] = 'a';
  if ((attributes & platform::kAttributeHidden) != 0) field[3] = 'h';
  if ((attributes & platform::kAttributeSystem) != 0) field[4] = 's';
  if ((attributes & platform::kAttributeCompressed) != 0) field[5] = 'c';
  LogWrite(log, field);
}

void LogFileFacts(LogFile& log, const char* path) {
  LogWrite(log, path);
  uint32_t attributes = 0;
  if (!platform::ReadAttributes(path, &attributes)) {
    LogWrite(log, " (doesn't exist)");
  } else {
    LogAttributes(log, attributes);
    // A folder, or a file that cannot be opened, gets no time.
    const platform::File file = platform::File::OpenSharingAll(path, false);
    platform::FileTime written = 0;
    if (file.IsOpen() && platform::ReadLastWriteTime(file, &written)) {
      LogWrite(log, " ");
      LogTimestamp(log, written);
    }
  }
  LogWrite(log, "\r\n");
}

void OpenLogFile(LogFile& log, const char* fileName, bool overwrite, const char* modulePath) {
  // The system opens the log once per run; a second open replaces the first.
  CloseLogFile(log);
  log.file = platform::File::OpenForAppending(fileName, overwrite);
  if (!log.file.IsOpen()) return;
  LogWriteLine(log, kLogStartLine);
  const platform::FileTime now = platform::CurrentFileTime();
  LogWrite(log, "[");
  LogTimestamp(log, now);
  LogWrite(log, "]");
  LogWrite(log, ": ");
  LogWriteLine(log, modulePath);
}

void CloseLogFile(LogFile& log) { log.file.Close(); }
