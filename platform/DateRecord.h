// SPDX-License-Identifier: MIT
// The date record: a calendar date and time in eight 16-bit fields.
#pragma once

#include <cstdint>

// Fields in this order: year, month (1..12), day of week (0 = Sunday), day (1..31), hour,
// minute, second, milliseconds. A year of 0 means "no date".
struct DateRecord {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;
  uint16_t wDayOfWeek = 0;
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;
  bool operator==(const DateRecord&) const = default;
};

// Converts seconds and nanoseconds since 1970-01-01 UTC into a UTC date record (no time-zone
// shift). Times before 1601 or after 30827 give an all-zero record.
DateRecord UtcDateRecord(int64_t seconds, int64_t nanoseconds);
