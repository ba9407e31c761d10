// Time stamps: file times in universal time, local calendar times, MS-DOS
// stamps, and the last-write time of open files.
#pragma once

#include <cstdint>

#include "platform/file.h"

namespace platform {

// File times count 100-nanosecond ticks since 1601-01-01 00:00 UTC, as the
// Windows file system stores them.
using FileTime = uint64_t;

struct CalendarTime {
  uint16_t year = 0;
  uint16_t month = 0;   // 1 to 12
  uint16_t day = 0;     // 1 to 31
  uint16_t hour = 0;    // 0 to 23
  uint16_t minute = 0;
  uint16_t second = 0;
};

[[nodiscard]] FileTime CurrentFileTime();

// The local calendar time of a universal file time. False when it cannot be
// converted.
[[nodiscard]] bool ToLocalCalendar(FileTime universal, CalendarTime* local);

// The universal file time of an MS-DOS date and time, which are local time.
// False for a stamp that names no valid time.
[[nodiscard]] bool DosStampToFileTime(uint16_t dosDate, uint16_t dosTime, FileTime* universal);

// The last-write time of an open file.
[[nodiscard]] bool ReadLastWriteTime(const File& file, FileTime* universal);
// Sets the last-write time of an open file; the other times stay.
[[nodiscard]] bool WriteLastWriteTime(const File& file, FileTime universal);

}  // namespace platform
