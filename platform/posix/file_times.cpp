// Time stamps for the native build: time_t and timespec against the Windows
// tick count, local time from the C library's time zone.
#include "platform/file_times.h"

#include <cerrno>
#include <ctime>
#include <sys/stat.h>

namespace platform {

namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 11'644'473'600;

FileTime FromTimespec(const struct timespec& time) {
  const int64_t seconds = static_cast<int64_t>(time.tv_sec) + kEpochDifference;
  if (seconds < 0) return 0;
  return static_cast<FileTime>(seconds) * kTicksPerSecond +
         static_cast<FileTime>(time.tv_nsec / 100);
}

struct timespec ToTimespec(FileTime time) {
  struct timespec result {};
  result.tv_sec = static_cast<time_t>(static_cast<int64_t>(time / kTicksPerSecond) - kEpochDifference);
  result.tv_nsec = static_cast<long>(time % kTicksPerSecond) * 100;
  return result;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

FileTime CurrentFileTime() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return FromTimespec(now);
}

bool ToLocalCalendar(FileTime universal, CalendarTime* local) {
  const time_t seconds = ToTimespec(universal).tv_sec;
  struct tm fields {};
  if (::localtime_r(&seconds, &fields) == nullptr) return false;
  local->year = static_cast<uint16_t>(fields.tm_year + 1900);
  local->month = static_cast<uint16_t>(fields.tm_mon + 1);
  local->day = static_cast<uint16_t>(fields.tm_mday);
  local->hour = static_cast<uint16_t>(fields.tm_hour);
  local->minute = static_cast<uint16_t>(fields.tm_min);
  local->second = static_cast<uint16_t>(fields.tm_sec);
  return true;
}

bool DosStampToFileTime(uint16_t dosDate, uint16_t dosTime, FileTime* universal) {
  const int year = 1980 + (dosDate >> 9);
  const int month = (dosDate >> 5) & 0xF;
  const int day = dosDate & 0x1F;
  const int hour = dosTime >> 11;
  const int minute = (dosTime >> 5) & 0x3F;
  const int second = (dosTime & 0x1F) * 2;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    errno = EINVAL;
    return false;
  }
  struct tm fields {};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_isdst = -1;
  const time_t seconds = ::mktime(&fields);
  if (seconds == static_cast<time_t>(-1)) {
    errno = EINVAL;
    return false;
  }
  *universal = FromTimespec({seconds, 0});
  return true;
}

bool ReadLastWriteTime(const File& file, FileTime* universal) {
  struct stat info;
  if (!file.IsOpen() || ::fstat(static_cast<int>(file.native()), &info) != 0) return false;
  *universal = FromTimespec(info.st_mtim);
  return true;
}

bool WriteLastWriteTime(const File& file, FileTime universal) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, ToTimespec(universal)};
  return file.IsOpen() && ::futimens(static_cast<int>(file.native()), times) == 0;
}

}  // namespace platform
