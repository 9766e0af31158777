// SPDX-License-Identifier: MIT
// CExif's information text: a caption template of short codes expanded with the metadata.
#include <cmath>
#include <cstdio>

#include "metadata/Exif.h"
#include "platform/DateFormat.h"

namespace {

constexpr char16_t kCopyright = u'\u00A9';
constexpr char16_t kDegree = u'\u00B0';

// One character per byte; bytes above 0x7F stand for themselves (Latin-1).
std::u16string Widen(const std::string& text) {
  std::u16string wide(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    wide[i] = static_cast<char16_t>(static_cast<uint8_t>(text[i]));
  return wide;
}

std::u16string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return Widen(text);
}

// "N 48° 51.396'": whole degrees and decimal minutes.
std::u16string Coordinate(const std::string& ref, double degrees) {
  const double whole = std::floor(degrees);
  return Widen(ref) + Fixed(whole, 0) + kDegree + u' ' + Fixed((degrees - whole) * 60, 3) + u'\'';
}

// The time picture with "." and the sub-seconds right after its last "s".
std::u16string WithSubSeconds(const std::u16string& picture, const std::string& subSec) {
  const size_t s = picture.find_last_of(u's');
  if (s == std::u16string::npos) return picture;
  std::u16string result = picture;
  result.insert(s + 1, u"." + Widen(subSec));
  return result;
}

}  // namespace

const char16_t* CExif::FormatInfo(const std::u16string& templ, uint32_t useFileDate,
                                  uint32_t locale, const std::u16string& datePicture,
                                  const std::u16string& timePicture, int32_t withSubSeconds) {
  const DateRecord& date = m_stDateTaken.wYear != 0 ? m_stDateTaken : m_stFileDate;
  const bool showDate = m_stDateTaken.wYear != 0 || useFileDate != 0;
  m_strResult.clear();
  std::u16string& out = m_strResult;
  for (size_t i = 0; i < templ.size();) {
    if (templ[i] != u'%') {
      out += templ[i++];
      continue;
    }
    if (i + 1 >= templ.size()) break;  // a lone "%" at the end is dropped
    const char16_t code = templ[i + 1];
    i += 2;
    switch (code) {
      case u'%':
        out += u'%';
        break;
      case u'C':
        out += kCopyright;
        break;
      case u'c':
        out += Widen(m_strComment);
        break;
      case u'd':
        if (showDate) AppendFormattedDate(locale, date, datePicture, PictureKind::kDate, &out);
        break;
      case u'e':
        out += Widen(m_strExposureTime.empty() ? m_strShutterSpeed : m_strExposureTime);
        break;
      case u'f':
        out += Widen(m_strFNumber.empty() ? m_strAperture : m_strFNumber);
        break;
      case u'G': {
        if (i + 2 > templ.size()) break;
        const std::u16string strSubkey = templ.substr(i, 2);
        i += 2;
        if (strSubkey == u"Lt") {
          out += Coordinate(m_strLatitudeRef, m_dLatitude);
        } else if (strSubkey == u"Lg") {
          out += Coordinate(m_strLongitudeRef, m_dLongitude);
        } else if (strSubkey == u"Al") {
          if (m_byAltitudeRef == 1) out += u'-';
          out += Fixed(m_dAltitude, 0) + u'm';
        }
        break;
      }
      case u'i':
        out += Widen(m_strISO);
        break;
      case u'L':
        out += Widen(m_strFocalLength35);
        break;
      case u'l':
        out += Widen(m_strFocalLength);
        break;
      case u'M':
        out += Widen(m_strMake);
        break;
      case u'm':
        out += Widen(m_strModel);
        break;
      case u't': {
        if (!showDate) break;
        const bool subSeconds = withSubSeconds != 0 && !m_strSubSec.empty();
        const std::u16string picture =
            subSeconds ? WithSubSeconds(timePicture, m_strSubSec) : timePicture;
        AppendFormattedDate(locale, date, picture, PictureKind::kTime, &out);
        break;
      }
      case u'u':
        out += m_strUserComment;
        break;
      case u'V':
        out += m_strOpenTitle;
        break;
      case u'v':
        out += m_strOpenName;
        break;
      case u'W':
        out += m_strFileTitle;
        break;
      case u'w':
        out += m_strFileName;
        break;
      default:
        break;
    }
  }
  return m_strResult.c_str();
}
