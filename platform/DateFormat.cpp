// SPDX-License-Identifier: MIT
// Date and time text through ICU: locale identifiers, picture translation and validation.
#include "platform/DateFormat.h"

#include <unicode/udat.h>
#include <unicode/uloc.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int kMinYear = 1601;
constexpr int kMaxYear = 30827;
constexpr int32_t kMaxText = 512;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Milliseconds since 1970-01-01 UTC of the record taken as a UTC time.
UDate ToUDate(const DateRecord& d) {
  const int64_t days = DaysFromCivil(d.wYear, d.wMonth, d.wDay);
  const int64_t seconds = days * 86400 + d.wHour * 3600 + d.wMinute * 60 + d.wSecond;
  return static_cast<UDate>(seconds * 1000 + d.wMilliseconds);
}

// The process's locale as the C library would pick it for times, in ICU's form.
std::string ProcessLocale() {
  const char* names[] = {"LC_ALL", "LC_TIME", "LANG"};
  std::string value;
  for (const char* name : names) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') {
      value = v;
      break;
    }
  }
  // "de_DE.UTF-8@euro": the code set and modifier say nothing about names and orders.
  value = value.substr(0, value.find_first_of(".@"));
  if (value.empty() || value == "C" || value == "POSIX") return "en_US_POSIX";
  return value;
}

struct DateFormatCloser {
  void operator()(UDateFormat* f) const { udat_close(f); }
};
using DateFormatPtr = std::unique_ptr<UDateFormat, DateFormatCloser>;

DateFormatPtr OpenFormatter(const std::string& locale, const std::u16string& pattern) {
  UErrorCode status = U_ZERO_ERROR;
  UDateFormat* format = udat_open(UDAT_PATTERN, UDAT_PATTERN, locale.c_str(), u"UTC", -1,
                                  pattern.data(), static_cast<int32_t>(pattern.size()), &status);
  if (U_FAILURE(status)) {
    if (format != nullptr) udat_close(format);
    return nullptr;
  }
  return DateFormatPtr(format);
}

std::optional<std::u16string> Format(const std::string& locale, const std::u16string& pattern,
                                     UDate when) {
  DateFormatPtr format = OpenFormatter(locale, pattern);
  if (!format) return std::nullopt;
  char16_t text[kMaxText];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = udat_format(format.get(), when, text, kMaxText, nullptr, &status);
  if (U_FAILURE(status) || length > kMaxText) return std::nullopt;
  return std::u16string(text, static_cast<size_t>(length));
}

// Builds the ICU pattern of a picture. Copied text gathers in one pending literal, so that two
// pieces of text in a row never meet as two quoted runs (ICU would read the '' between them as
// a quote character). The year without century and the one-letter AM/PM mark have no ICU
// field, so they come as literal text made for this record.
class Translator {
 public:
  Translator(PictureKind kind, const DateRecord& date, const std::string& locale)
      : kind_(kind), date_(date), locale_(locale) {}

  bool IsCode(char16_t c) const {
    if (kind_ == PictureKind::kDate) return c == u'd' || c == u'M' || c == u'y' || c == u'g';
    return c == u'h' || c == u'H' || c == u'm' || c == u's' || c == u't';
  }

  void Text(char16_t c) { literal_ += c; }
  void Text(std::u16string_view text) { literal_ += text; }

  // One run of a code letter.
  bool Code(char16_t code, size_t run) {
    switch (code) {
      case u'd':
        Field(run == 1 ? u"d" : run == 2 ? u"dd" : run == 3 ? u"EEE" : u"EEEE");
        break;
      case u'M':
        Field(std::u16string(run > 4 ? 4 : run, u'M'));
        break;
      case u'y':
        if (run == 1) {
          const std::string year = std::to_string(date_.wYear % 100);
          Text(std::u16string(year.begin(), year.end()));
        } else {
          Field(run == 2 ? u"yy" : u"yyyy");
        }
        break;
      case u'g':
        Field(u"G");
        break;
      case u't': {
        if (run >= 2) {
          Field(u"a");
          break;
        }
        const std::optional<std::u16string> mark = Format(locale_, u"a", ToUDate(date_));
        if (!mark) return false;
        Text(std::u16string_view(*mark).substr(0, 1));
        break;
      }
      default:  // h H m s: one or two letters mean the same in both syntaxes
        Field(std::u16string(run > 2 ? 2 : run, code));
        break;
    }
    return true;
  }

  const std::u16string& Pattern() {
    Flush();
    return pattern_;
  }

 private:
  void Field(std::u16string_view letters) {
    Flush();
    pattern_ += letters;
  }
  // ICU reserves the ASCII letters, so they go in quotes; a quote character is written as two
  // quotes, and everything else is copied as it is.
  void Flush() {
    bool quoted = false;
    for (char16_t c : literal_) {
      const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
      if (c == u'\'') {
        pattern_ += u"''";  // one quote character, inside quotes or outside
      } else if (letter && !quoted) {
        pattern_ += u'\'';
        quoted = true;
      }
      if (c != u'\'') pattern_ += c;
    }
    if (quoted) pattern_ += u'\'';
    literal_.clear();
  }

  PictureKind kind_;
  const DateRecord& date_;
  const std::string& locale_;
  std::u16string pattern_;
  std::u16string literal_;
};

// Copies the quoted text that starts at picture[i] (a quote) up to its closing quote, or to
// the end when it is not closed; two quotes stand for one, inside or outside. Returns the index
// after it.
size_t CopyQuoted(std::u16string_view picture, size_t i, Translator* translator) {
  ++i;
  if (i < picture.size() && picture[i] == u'\'') {
    translator->Text(u'\'');
    return i + 1;
  }
  while (i < picture.size()) {
    if (picture[i] != u'\'') {
      translator->Text(picture[i++]);
    } else if (i + 1 < picture.size() && picture[i + 1] == u'\'') {
      translator->Text(u'\'');
      i += 2;
    } else {
      return i + 1;
    }
  }
  return i;
}

}  // namespace

std::optional<std::string> LocaleForIdentifier(uint32_t lcid) {
  if (lcid == 0 || lcid == kLocaleUserDefault || lcid == kLocaleSystemDefault) {
    return ProcessLocale();
  }
  if (lcid == kLocaleInvariant) return std::string("en_US_POSIX");
  char name[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = uloc_getLocaleForLCID(lcid, name, sizeof name, &status);
  if (U_FAILURE(status) || length <= 0 || length >= static_cast<int32_t>(sizeof name)) {
    return std::nullopt;
  }
  return std::string(name, static_cast<size_t>(length));
}

bool IsFormattableDate(const DateRecord& d) {
  if (d.wYear < kMinYear || d.wYear > kMaxYear) return false;
  if (d.wMonth < 1 || d.wMonth > 12) return false;
  if (d.wDay < 1 || d.wDay > DaysInMonth(d.wYear, d.wMonth)) return false;
  return d.wHour <= 23 && d.wMinute <= 59 && d.wSecond <= 59 && d.wMilliseconds <= 999;
}

bool AppendFormattedDate(uint32_t lcid, const DateRecord& date, std::u16string_view picture,
                         PictureKind kind, std::u16string* out) {
  if (!IsFormattableDate(date)) return false;
  const std::optional<std::string> locale = LocaleForIdentifier(lcid);
  if (!locale) return false;
  Translator translator(kind, date, *locale);
  for (size_t i = 0; i < picture.size();) {
    const char16_t c = picture[i];
    if (c == u'\'') {
      i = CopyQuoted(picture, i, &translator);
    } else if (translator.IsCode(c)) {
      size_t run = 1;
      while (i + run < picture.size() && picture[i + run] == c) ++run;
      if (!translator.Code(c, run)) return false;
      i += run;
    } else {
      translator.Text(c);
      ++i;
    }
  }
  const std::u16string& pattern = translator.Pattern();
  if (pattern.empty()) return true;  // an empty picture gives an empty text
  const std::optional<std::u16string> text = Format(*locale, pattern, ToUDate(date));
  if (!text) return false;
  *out += *text;
  return true;
}
