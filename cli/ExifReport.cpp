// SPDX-License-Identifier: MIT
// The Exif values the tool shows, and which metadata segments a file holds.
#include "cli/ExifReport.h"

#include <algorithm>
#include <string_view>

#include "cli/Common.h"
#include "platform/Files.h"

namespace cli {
namespace {

constexpr uint32_t kInvariantLocale = 0x007F;

// JPEG marker codes the segment walk knows.
constexpr uint8_t kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kTEM = 0x01, kRST0 = 0xD0, kRST7 = 0xD7;
constexpr uint8_t kAPP0 = 0xE0, kAPP1 = 0xE1;

struct Segments {
  bool jfif = false;
  bool exif = false;
};

bool Begins(const uint8_t* data, size_t size, std::string_view signature) {
  return size >= signature.size() && std::equal(signature.begin(), signature.end(), data);
}

// Notes a JFIF APP0 or an Exif APP1 segment.
void Note(uint8_t code, const uint8_t* payload, size_t size, Segments* found) {
  using namespace std::string_view_literals;
  if (code == kAPP0 && Begins(payload, size, "JFIF\0"sv)) found->jfif = true;
  if (code == kAPP1 && Begins(payload, size, "Exif\0\0"sv)) found->exif = true;
}

// Walks the segments of the header, from SOI up to the first SOS, as the JPEG library reads
// them: bytes that are not a marker where one is due are skipped up to the next 0xFF, and fill
// bytes (0xFF) before a code are passed over. Every length is checked against the data.
Segments ReadSegments(const std::vector<uint8_t>& bytes) {
  Segments found;
  const size_t size = bytes.size();
  if (size < 2 || bytes[0] != 0xFF || bytes[1] != kSOI) return found;
  size_t pos = 2;
  while (true) {
    while (pos < size && bytes[pos] != 0xFF) ++pos;
    while (pos < size && bytes[pos] == 0xFF) ++pos;
    if (pos >= size) return found;
    const uint8_t code = bytes[pos++];
    if (code == 0x00 || code == kTEM || (code >= kRST0 && code <= kRST7)) continue;
    if (code == kSOS || code == kEOI || pos + 2 > size) return found;
    const size_t length = size_t{bytes[pos]} << 8 | bytes[pos + 1];
    if (length < 2 || length > size - pos) return found;
    Note(code, bytes.data() + pos + 2, length - 2, &found);
    pos += length;
  }
}

std::string TrimEnd(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

std::string Caption(ITessel* image, const char16_t* templ, int32_t subSeconds = 0) {
  const char16_t* text =
      image->FormatExifInfo(templ, 0, kInvariantLocale, u"yyyy-MM-dd", u"HH:mm:ss", subSeconds);
  if (text == nullptr) return std::string();
  return TrimEnd(Utf16ToUtf8(text).value_or(std::string()));
}

}  // namespace

ExifReport ReadExifReport(ITessel* image, const std::vector<uint8_t>& bytes) {
  ExifReport r;
  const Segments segments = ReadSegments(bytes);
  r.jfif = segments.jfif;
  r.exif = segments.exif;
  r.make = Caption(image, u"%M");
  r.model = Caption(image, u"%m");
  r.dateTaken = Caption(image, u"%d %t", 1);
  r.exposure = Caption(image, u"%e");
  r.fNumber = Caption(image, u"%f");
  r.iso = Caption(image, u"%i");
  r.focalLength = Caption(image, u"%l");
  r.focalLength35 = Caption(image, u"%L");
  r.userComment = Caption(image, u"%u");
  // Without GPS data the position texts start with the bare number: no hemisphere letter.
  const std::string latitude = Caption(image, u"%GLt");
  if (!latitude.empty() && !(latitude[0] >= '0' && latitude[0] <= '9')) {
    r.latitude = latitude;
    r.longitude = Caption(image, u"%GLg");
    r.altitude = Caption(image, u"%GAl");
  }
  r.orientation = image->GetOrientation();
  const TesselThumbnailSize size = image->GetExifThumbnailSize();
  r.thumbnailWidth = size.wWidth;
  r.thumbnailHeight = size.wHeight;
  return r;
}

std::string FormatExif(ITessel* image, const std::string& templ, uint32_t locale,
                       const std::string& datePicture, const std::string& timePicture,
                       bool withSubSeconds, bool useFileDate) {
  const char16_t* text = image->FormatExifInfo(Wide(templ).c_str(), useFileDate ? 1 : 0, locale,
                                               Wide(datePicture).c_str(), Wide(timePicture).c_str(),
                                               withSubSeconds ? 1 : 0);
  return text == nullptr ? std::string() : Utf16ToUtf8(text).value_or(std::string());
}

std::optional<uint32_t> ParseLocale(const std::string& text) {
  try {
    size_t used = 0;
    const unsigned long value = std::stoul(text, &used, 0);
    if (used != text.size() || value > 0xFFFFFFFFul) return std::nullopt;
    return static_cast<uint32_t>(value);
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace cli
