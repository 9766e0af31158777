// SPDX-License-Identifier: MIT
// The Exif values the tool shows, and which metadata segments a file holds.
#include "cli/ExifReport.h"

#include <csetjmp>
#include <cstdio>

#include "cli/Common.h"
#include "jpeg/Jpeg.h"
#include "platform/Files.h"

namespace cli {
namespace {

constexpr uint32_t kInvariantLocale = 0x007F;

struct Errors {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

[[noreturn]] void Exit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<Errors*>(cinfo->err)->jump, 1);
}
void Silent(j_common_ptr) {}

struct Segments {
  bool jfif = false;
  bool exif = false;
};

// Scans the APP0 and APP1 segments of the file's header with the JPEG library.
Segments ReadSegments(const std::string& path) {
  Segments found;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return found;
  Errors errors{};
  jpeg_decompress_struct cinfo{};
  cinfo.err = jpeg_std_error(&errors.mgr);
  errors.mgr.error_exit = Exit;
  errors.mgr.output_message = Silent;
  if (setjmp(errors.jump) == 0) {
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_save_markers(&cinfo, JPEG_APP0, 16);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 16);
    jpeg_read_header(&cinfo, TRUE);
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
      const auto begins = [m](const char* sig, unsigned size) {
        return m->data_length >= size && std::equal(sig, sig + size, m->data);
      };
      if (m->marker == JPEG_APP0 && begins("JFIF\0", 5)) found.jfif = true;
      if (m->marker == JPEG_APP0 + 1 && begins("Exif\0\0", 6)) found.exif = true;
    }
  }
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
  return found;
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

ExifReport ReadExifReport(ITessel* image, const std::string& path) {
  ExifReport r;
  const Segments segments = ReadSegments(path);
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
