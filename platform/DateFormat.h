// SPDX-License-Identifier: MIT
// Locale-aware date and time text for a date record, from Windows locale identifiers and
// Windows date and time pictures, through ICU.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/DateRecord.h"

// Locale identifiers with a meaning of their own.
inline constexpr uint32_t kLocaleUserDefault = 0x0400;
inline constexpr uint32_t kLocaleSystemDefault = 0x0800;
inline constexpr uint32_t kLocaleInvariant = 0x007F;

// The ICU locale of a Windows locale identifier: 0, 0x0400 and 0x0800 give the process's
// default (LC_ALL, LC_TIME or LANG), 0x007F the invariant en_US_POSIX. Nothing for an
// identifier ICU does not know.
std::optional<std::string> LocaleForIdentifier(uint32_t lcid);

// Whether the record holds a date the formatters accept: year 1601..30827, month 1..12, a day
// the month has, hour <= 23, minute and second <= 59, milliseconds <= 999.
bool IsFormattableDate(const DateRecord& date);

// Which codes a picture knows: a date picture d dd ddd dddd M MM MMM MMMM y yy yyyy g gg, a
// time picture h hh H HH m mm s ss t tt. Everything else, and text in single quotes (two quotes
// stand for one), is copied.
enum class PictureKind { kDate, kTime };

// Appends the record, formatted with the picture in the locale, to `out` as it stands (UTC, no
// time-zone shift). Returns false, and appends nothing, for an unknown locale or a record that
// IsFormattableDate rejects.
bool AppendFormattedDate(uint32_t lcid, const DateRecord& date, std::u16string_view picture,
                         PictureKind kind, std::u16string* out);
