// SPDX-License-Identifier: MIT
// Conversion of POSIX times to UTC date records.
#include "platform/DateRecord.h"

namespace {

// Days from 1970-01-01 to the civil date; the inverse of the usual days-from-civil formula.
void CivilFromDays(int64_t days, int64_t* year, int64_t* month, int64_t* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = yoe + era * 400 + (*month <= 2 ? 1 : 0);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

DateRecord UtcDateRecord(int64_t seconds, int64_t nanoseconds) {
  seconds += FloorDiv(nanoseconds, 1000000000);
  nanoseconds -= FloorDiv(nanoseconds, 1000000000) * 1000000000;
  const int64_t days = FloorDiv(seconds, 86400);
  const int64_t secondOfDay = seconds - days * 86400;
  int64_t year = 0, month = 0, day = 0;
  CivilFromDays(days, &year, &month, &day);
  if (year < 1601 || year > 30827) return DateRecord{};
  DateRecord record;
  record.wYear = static_cast<uint16_t>(year);
  record.wMonth = static_cast<uint16_t>(month);
  record.wDayOfWeek = static_cast<uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  record.wDay = static_cast<uint16_t>(day);
  record.wHour = static_cast<uint16_t>(secondOfDay / 3600);
  record.wMinute = static_cast<uint16_t>(secondOfDay / 60 % 60);
  record.wSecond = static_cast<uint16_t>(secondOfDay % 60);
  record.wMilliseconds = static_cast<uint16_t>(nanoseconds / 1000000);
  return record;
}
