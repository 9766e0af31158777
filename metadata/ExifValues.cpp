// SPDX-License-Identifier: MIT
// CExif's EXIF and GPS directories: capture date, exposure texts, focal lengths, user comment,
// the pixel dimension entries and the GPS position.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "metadata/Exif.h"

namespace {

constexpr uint16_t kTagExposureTime = 0x829A;
constexpr uint16_t kTagFNumber = 0x829D;
constexpr uint16_t kTagIsoSpeedRatings = 0x8827;
constexpr uint16_t kTagDateTimeOriginal = 0x9003;
constexpr uint16_t kTagShutterSpeedValue = 0x9201;
constexpr uint16_t kTagApertureValue = 0x9202;
constexpr uint16_t kTagFocalLength = 0x920A;
constexpr uint16_t kTagUserComment = 0x9286;
constexpr uint16_t kTagSubSecTimeOriginal = 0x9291;
constexpr uint16_t kTagPixelXDimension = 0xA002;
constexpr uint16_t kTagPixelYDimension = 0xA003;
constexpr uint16_t kTagFocalLengthIn35mmFilm = 0xA405;

constexpr uint16_t kTagGpsLatitudeRef = 1;
constexpr uint16_t kTagGpsLatitude = 2;
constexpr uint16_t kTagGpsLongitudeRef = 3;
constexpr uint16_t kTagGpsLongitude = 4;
constexpr uint16_t kTagGpsAltitudeRef = 5;
constexpr uint16_t kTagGpsAltitude = 6;

// "YYYY:MM:DD HH:MM:SS"
constexpr uint32_t kDateLength = 19;
// The character code that opens a user comment.
constexpr uint32_t kCommentCodeLength = 8;
// Three RATIONALs: degrees, minutes, seconds.
constexpr uint32_t kCoordinateLength = 24;

// Shutter speeds of the APEX time values 0 to 11, as the denominators photographers know.
constexpr const char* astrSpeed[12] = {"1",  "2",   "4",   "8",   "15",   "30",
                                       "60", "125", "250", "500", "1000", "2000"};

using Rational = TiffCursor::Rational;

// The parts one after another. (Appending, rather than chains of +, also keeps GCC 12's
// -Wrestrict false positive on literal + string away.)
template <typename... Parts>
std::string Concat(const Parts&... parts) {
  std::string text;
  (text.append(parts), ...);
  return text;
}

// `value` in fixed notation with `decimals` digits after the point.
std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

float Quotient(const Rational& r) {
  return static_cast<float>(r.numerator) / static_cast<float>(r.denominator);
}

std::optional<std::string> ExposureTimeText(const Rational& r) {
  if (r.numerator == 0 || r.denominator == 0) return std::nullopt;
  if (r.denominator > r.numerator) {
    const float inverse = static_cast<float>(r.denominator) / static_cast<float>(r.numerator);
    return Concat("1/", Fixed(inverse, 0), "s");
  }
  return Concat(Fixed(Quotient(r), 1), "s");
}

std::optional<std::string> FNumberText(const Rational& r) {
  if (r.denominator == 0) return std::nullopt;
  return Concat("F", Fixed(Quotient(r), r.denominator == 10 ? 1 : 2));
}

// The APEX time value Tv, truncated to whole stops: Tv >= 0 is 1/2^Tv seconds, a negative one
// 2^-Tv seconds. Divided in 64 bits, so the most negative numerator cannot overflow.
std::optional<std::string> ShutterSpeedText(const Rational& r) {
  const int64_t numerator = static_cast<int32_t>(r.numerator);
  const int64_t denominator = static_cast<int32_t>(r.denominator);
  if (denominator == 0) return std::nullopt;
  const int64_t tv = numerator / denominator;
  const int64_t k = tv < 0 ? -tv : tv;
  if (k >= 12) return std::nullopt;
  return tv >= 0 ? Concat("1/", astrSpeed[k], "s") : Concat(astrSpeed[k], "s");
}

// The APEX aperture value Av gives the f-number 2^(Av/2).
std::optional<std::string> ApertureText(const Rational& r) {
  if (r.denominator == 0) return std::nullopt;
  return Concat("F", Fixed(std::pow(2.0f, Quotient(r) / 2.0f), 1));
}

std::optional<std::string> FocalLengthText(const Rational& r) {
  if (r.denominator == 0) return std::nullopt;
  return Concat(Fixed(Quotient(r), 1), "mm");
}

// A decimal field of the date: leading blanks skipped, digits up to the first other character.
// Nothing when the field holds no digit (the Exif way of saying "unknown").
std::optional<uint16_t> DateField(const std::string& text, size_t start, size_t length) {
  size_t i = start;
  const size_t end = start + length;
  while (i < end && text[i] == ' ') ++i;
  if (i == end || text[i] < '0' || text[i] > '9') return std::nullopt;
  uint32_t value = 0;
  for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
  return static_cast<uint16_t>(value);
}

// Degrees, minutes and seconds in decimal degrees. Nothing when the degrees have no
// denominator; minutes or seconds without one count as 0, so the value stays finite.
std::optional<double> Coordinate(const TiffCursor& tiff, uint32_t offset) {
  if (!tiff.Has(offset, kCoordinateLength)) return std::nullopt;
  double parts[3];
  for (uint32_t i = 0; i < 3; ++i) {
    const double numerator = tiff.Get32(uint64_t{offset} + 8 * i);
    const uint32_t denominator = tiff.Get32(uint64_t{offset} + 8 * i + 4);
    if (denominator == 0 && i == 0) return std::nullopt;
    parts[i] = denominator == 0 ? 0.0 : numerator / denominator;
  }
  return parts[0] + parts[1] / 60 + parts[2] / 60 / 60;
}

// Entry `index` of the directory at `ifd`.
uint64_t EntryAt(uint32_t ifd, uint32_t index) {
  return uint64_t{ifd} + 2 + uint64_t{index} * TiffCursor::kEntrySize;
}

// Replaces `member` when a text could be made.
void Keep(std::string& member, std::optional<std::string> text) {
  if (text) member = std::move(*text);
}

}  // namespace

void CExif::ReadExifIfd(const TiffCursor& tiff, uint32_t position) {
  const uint32_t count = tiff.Get16(position);
  if (count < 2) return;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = EntryAt(position, i);
    if (!tiff.Has(entry, TiffCursor::kEntrySize)) return;
    const std::optional<Rational> rational = tiff.GetRational(entry);
    switch (tiff.Get16(entry)) {
      case kTagExposureTime:
        if (rational) Keep(m_strExposureTime, ExposureTimeText(*rational));
        break;
      case kTagFNumber:
        if (rational) Keep(m_strFNumber, FNumberText(*rational));
        break;
      case kTagIsoSpeedRatings:
        m_strISO = Concat("ISO", std::to_string(tiff.Get16(entry + 8)));
        break;
      case kTagDateTimeOriginal:
        ReadDateTaken(tiff, entry);
        break;
      case kTagShutterSpeedValue:
        if (rational) Keep(m_strShutterSpeed, ShutterSpeedText(*rational));
        break;
      case kTagApertureValue:
        if (rational) Keep(m_strAperture, ApertureText(*rational));
        break;
      case kTagFocalLength:
        if (rational) Keep(m_strFocalLength, FocalLengthText(*rational));
        break;
      case kTagUserComment:
        ReadUserComment(tiff, entry);
        break;
      case kTagSubSecTimeOriginal:
        Keep(m_strSubSec, tiff.GetAscii(entry));
        break;
      case kTagPixelXDimension:
        m_pPixelXDim = Writable(tiff, entry + 2, TiffCursor::kEntrySize - 2);
        break;
      case kTagPixelYDimension:
        m_pPixelYDim = Writable(tiff, entry + 2, TiffCursor::kEntrySize - 2);
        break;
      case kTagFocalLengthIn35mmFilm:
        m_strFocalLength35 = Concat(std::to_string(tiff.Get16(entry + 8)), "mm");
        break;
      default:
        break;
    }
  }
}

void CExif::ReadDateTaken(const TiffCursor& tiff, uint64_t entry) {
  // The date is always read at the offset, whatever the entry's count says.
  const std::optional<std::string> text = tiff.Bytes(tiff.Get32(entry + 8), kDateLength);
  if (!text || (*text)[0] == '0') return;
  const auto year = DateField(*text, 0, 4), month = DateField(*text, 5, 2),
             day = DateField(*text, 8, 2), hour = DateField(*text, 11, 2),
             minute = DateField(*text, 14, 2), second = DateField(*text, 17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return;
  DateRecord date;
  date.wYear = *year;
  date.wMonth = *month;
  date.wDay = *day;
  date.wHour = *hour;
  date.wMinute = *minute;
  date.wSecond = *second;
  m_stDateTaken = date;
}

void CExif::ReadUserComment(const TiffCursor& tiff, uint64_t entry) {
  const uint32_t count = tiff.Get32(entry + 4);
  if (count <= kCommentCodeLength) return;
  const std::optional<std::string> bytes = tiff.Bytes(tiff.Get32(entry + 8), count);
  if (!bytes) return;
  const std::string code = bytes->substr(0, kCommentCodeLength).c_str();
  const std::string text = bytes->substr(kCommentCodeLength);
  if (code == "ASCII" || code.empty()) {
    // One character per byte, NULs included; bytes above 0x7F stand for themselves (Latin-1).
    m_strUserComment.assign(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i)
      m_strUserComment[i] = static_cast<char16_t>(static_cast<uint8_t>(text[i]));
  } else if (code == "UNICODE") {
    // Little-endian units whatever the TIFF byte order: that is how writers store them.
    m_strUserComment.assign(text.size() / 2, u'\0');
    for (size_t i = 0; i < m_strUserComment.size(); ++i) {
      const uint8_t low = static_cast<uint8_t>(text[2 * i]);
      const uint8_t high = static_cast<uint8_t>(text[2 * i + 1]);
      m_strUserComment[i] = static_cast<char16_t>(high << 8 | low);
    }
  }
}

void CExif::ReadGpsIfd(const TiffCursor& tiff, uint32_t position) {
  const uint32_t count = tiff.Get16(position);
  if (count < 2) return;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = EntryAt(position, i);
    if (!tiff.Has(entry, TiffCursor::kEntrySize)) return;
    switch (tiff.Get16(entry)) {
      case kTagGpsLatitudeRef:
        if (auto text = tiff.GetAscii(entry)) m_strLatitudeRef = Concat(*text, " ");
        break;
      case kTagGpsLatitude:
        if (auto value = Coordinate(tiff, tiff.Get32(entry + 8))) m_dLatitude = *value;
        break;
      case kTagGpsLongitudeRef:
        if (auto text = tiff.GetAscii(entry)) m_strLongitudeRef = Concat(*text, " ");
        break;
      case kTagGpsLongitude:
        if (auto value = Coordinate(tiff, tiff.Get32(entry + 8))) m_dLongitude = *value;
        break;
      case kTagGpsAltitudeRef:
        m_byAltitudeRef = tiff.Byte(entry + 8);
        break;
      case kTagGpsAltitude: {
        const std::optional<Rational> r = tiff.GetRational(entry);
        if (r && r->denominator != 0)
          m_dAltitude = static_cast<double>(r->numerator) / r->denominator;
        break;
      }
      default:
        break;
    }
  }
}
