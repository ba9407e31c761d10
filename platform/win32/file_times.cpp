// Time stamps on Windows: FILETIME values, local time conversion and the
// MS-DOS stamp conversion of the kernel.
#include "platform/file_times.h"

#include <windows.h>

namespace platform {

namespace {

FILETIME ToFiletime(FileTime time) {
  FILETIME result;
  result.dwLowDateTime = static_cast<DWORD>(time);
  result.dwHighDateTime = static_cast<DWORD>(time >> 32);
  return result;
}

FileTime FromFiletime(const FILETIME& time) {
  return (static_cast<FileTime>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

HANDLE AsHandle(const File& file) { return reinterpret_cast<HANDLE>(file.native()); }

}  // namespace

FileTime CurrentFileTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return FromFiletime(now);
}

bool ToLocalCalendar(FileTime universal, CalendarTime* local) {
  const FILETIME utc = ToFiletime(universal);
  FILETIME localTime;
  SYSTEMTIME fields;
  if (!FileTimeToLocalFileTime(&utc, &localTime) || !FileTimeToSystemTime(&localTime, &fields)) {
    return false;
  }
  local->year = fields.wYear;
  local->month = fields.wMonth;
  local->day = fields.wDay;
  local->hour = fields.wHour;
  local->minute = fields.wMinute;
  local->second = fields.wSecond;
  return true;
}

bool DosStampToFileTime(uint16_t dosDate, uint16_t dosTime, FileTime* universal) {
  FILETIME localTime;
  FILETIME utc;
  if (!DosDateTimeToFileTime(dosDate, dosTime, &localTime) ||
      !LocalFileTimeToFileTime(&localTime, &utc)) {
    return false;
  }
  *universal = FromFiletime(utc);
  return true;
}

bool ReadLastWriteTime(const File& file, FileTime* universal) {
  FILETIME written;
  if (!file.IsOpen() || !GetFileTime(AsHandle(file), nullptr, nullptr, &written)) return false;
  *universal = FromFiletime(written);
  return true;
}

bool WriteLastWriteTime(const File& file, FileTime universal) {
  const FILETIME written = ToFiletime(universal);
  return file.IsOpen() && SetFileTime(AsHandle(file), nullptr, nullptr, &written) != FALSE;
}

}  // namespace platform
