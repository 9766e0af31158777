// SPDX-License-Identifier: MIT
// Date and time text through ICU: locale identifiers, picture codes, quoting and validation.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/DateFormat.h"

namespace {

constexpr DateRecord kJune30{2015, 6, 0, 30, 14, 5, 9, 0};
constexpr uint32_t kEnglishUk = 0x0809;
constexpr uint32_t kGerman = 0x0407;
constexpr uint32_t kEnglishUs = 0x0409;

std::u16string U(const char* s) { return std::u16string(s, s + std::char_traits<char>::length(s)); }

// The text, or "<failed>" when the call fails.
std::string Formatted(uint32_t lcid, const DateRecord& date, const char* picture,
                      PictureKind kind) {
  std::u16string out = u"[";
  if (!AppendFormattedDate(lcid, date, U(picture), kind, &out)) return "<failed>";
  std::string narrow;
  for (char16_t c : out.substr(1)) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

TEST(DateFormat, LocaleIdentifiers) {
  EXPECT_EQ(LocaleForIdentifier(kEnglishUk), "en_GB");
  EXPECT_EQ(LocaleForIdentifier(kGerman), "de_DE");
  EXPECT_EQ(LocaleForIdentifier(kLocaleInvariant), "en_US_POSIX");
  EXPECT_EQ(LocaleForIdentifier(0x1234), std::nullopt);
}

TEST(DateFormat, DefaultLocaleComesFromTheEnvironment) {
  const char* saved = std::getenv("LC_ALL");
  const std::string keep = saved ? saved : "";
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  for (uint32_t lcid : {0u, kLocaleUserDefault, kLocaleSystemDefault}) {
    EXPECT_EQ(LocaleForIdentifier(lcid), "de_DE") << lcid;
    EXPECT_EQ(Formatted(lcid, kJune30, "dddd", PictureKind::kDate), "Dienstag");
  }
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(LocaleForIdentifier(0), "en_US_POSIX");
  if (saved) {
    setenv("LC_ALL", keep.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

TEST(DateFormat, NamesInTheLocalesLanguage) {
  EXPECT_EQ(Formatted(kEnglishUk, kJune30, "dddd d MMMM yyyy", PictureKind::kDate),
            "Tuesday 30 June 2015");
  EXPECT_EQ(Formatted(kGerman, kJune30, "dddd d MMMM yyyy", PictureKind::kDate),
            "Dienstag 30 Juni 2015");
}

TEST(DateFormat, DatePictureCodes) {
  const DateRecord jan5{2009, 1, 0, 5, 3, 7, 2, 0};
  struct Case {
    const char* picture;
    const char* expected;
  } cases[] = {
      {"d/dd", "5/05"},
      {"ddd dddd", "Mon Monday"},
      {"M/MM/MMM/MMMM", "1/01/Jan/January"},
      {"y yy yyyy", "9 09 2009"},
      {"gg", "AD"},
      {"yyyy-MM-dd", "2009-01-05"},
      {"hh:mm:ss tt", "hh:mm:ss tt"},             // time codes are text in a date picture
      {"'day' d 'of' MMMM", "day 5 of January"},  // quoted text is copied
      {"d''M", "5'1"},                            // two quotes stand for one
      {"'it''s' d", "it's 5"},
      {"d 'open", "5 open"},  // an unclosed quote runs to the end
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Formatted(kEnglishUs, jan5, c.picture, PictureKind::kDate), c.expected) << c.picture;
}

TEST(DateFormat, TimePictureCodes) {
  const DateRecord evening{2015, 6, 0, 30, 21, 5, 9, 0};
  struct Case {
    const char* picture;
    const char* expected;
  } cases[] = {
      {"h:m:s", "9:5:9"},           {"hh:mm:ss", "09:05:09"}, {"H HH", "21 21"},
      {"hh:mm tt", "09:05 PM"},     {"h t", "9 P"},           {"HH:mm:ss.50", "21:05:09.50"},
      {"dd MM yyyy", "dd MM yyyy"},  // date codes are text in a time picture
  };
  for (const Case& c : cases)
    EXPECT_EQ(Formatted(kEnglishUs, evening, c.picture, PictureKind::kTime), c.expected)
        << c.picture;
}

TEST(DateFormat, RecordsTheFormattersRejectAppendNothing) {
  const DateRecord bad[] = {
      {},                             // year 0: no date
      {1600, 12, 0, 31, 0, 0, 0, 0},  // before 1601
      {30828, 1, 0, 1, 0, 0, 0, 0},   // after 30827
      {2015, 13, 0, 1, 0, 0, 0, 0},   // month 13
      {2015, 2, 0, 29, 0, 0, 0, 0},   // not a leap year
      {2015, 6, 0, 0, 0, 0, 0, 0},    // day 0
      {2015, 6, 0, 30, 24, 0, 0, 0},  // hour 24
      {2015, 6, 0, 30, 0, 60, 0, 0},  // minute 60
      {2015, 6, 0, 30, 0, 0, 60, 0},  // second 60
  };
  for (const DateRecord& d : bad) {
    std::u16string out = u"kept";
    EXPECT_FALSE(AppendFormattedDate(kEnglishUs, d, u"yyyy", PictureKind::kDate, &out))
        << d.wYear << "-" << d.wMonth << "-" << d.wDay;
    EXPECT_EQ(out, u"kept");
  }
  const DateRecord good[] = {
      {1601, 1, 0, 1, 0, 0, 0, 0}, {30827, 12, 0, 31, 23, 59, 59, 0}, {2016, 2, 0, 29, 0, 0, 0, 0}};
  for (const DateRecord& d : good) EXPECT_TRUE(IsFormattableDate(d)) << d.wYear;
  EXPECT_EQ(
      Formatted(kEnglishUs, DateRecord{1601, 1, 0, 1, 0, 0, 0, 0}, "dddd yyyy", PictureKind::kDate),
      "Monday 1601");
}

TEST(DateFormat, UnknownLocaleFails) {
  std::u16string out = u"kept";
  EXPECT_FALSE(AppendFormattedDate(0x1234, kJune30, u"yyyy", PictureKind::kDate, &out));
  EXPECT_EQ(out, u"kept");
}

}  // namespace
