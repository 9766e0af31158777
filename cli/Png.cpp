// SPDX-License-Identifier: MIT
// PNG and PPM files for the tool.
#include "cli/Png.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/Common.h"

namespace cli {
namespace {

struct FileCloser {
  void operator()(FILE* file) const {
    if (file != nullptr) std::fclose(file);
  }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

bool WritePpm(FILE* file, const RgbImage& image) {
  std::fprintf(file, "P6\n%d %d\n255\n", image.width, image.height);
  return std::fwrite(image.pixels.data(), 1, image.pixels.size(), file) == image.pixels.size();
}

// libpng reports errors through longjmp; this function owns no object with a destructor
// between its setjmp and the library calls.
bool WritePng(FILE* file, const RgbImage& image) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t rowBytes = static_cast<size_t>(image.width) * 3;
  for (int y = 0; y < image.height; ++y) {
    png_write_row(png, image.pixels.data() + rowBytes * static_cast<size_t>(y));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

// Reads the header and pixels of a PNG already checked to be 8-bit RGB.
bool ReadPngInto(FILE* file, RgbImage* image, std::string* error) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = "not a PNG file it can read";
    return false;
  }
  png_init_io(png, file);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int depth = png_get_bit_depth(png, info);
  const int type = png_get_color_type(png, info);
  const int interlace = png_get_interlace_type(png, info);
  if (depth != 8 || type != PNG_COLOR_TYPE_RGB || interlace != PNG_INTERLACE_NONE || width == 0 ||
      height == 0 || width > 65535 || height > 65535) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = "not an 8-bit RGB PNG without alpha (got bit depth " + std::to_string(depth) +
             ", colour type " + std::to_string(type) + ")";
    return false;
  }
  image->width = static_cast<int>(width);
  image->height = static_cast<int>(height);
  image->pixels.resize(size_t{width} * height * 3);
  for (png_uint_32 y = 0; y < height; ++y) {
    png_read_row(png, image->pixels.data() + size_t{width} * 3 * y, nullptr);
  }
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

bool WriteImageFile(const std::string& path, const RgbImage& image, std::string* error) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    *error = std::strerror(errno);
    return false;
  }
  const bool ok =
      EndsWith(path, ".ppm") ? WritePpm(file.get(), image) : WritePng(file.get(), image);
  if (!ok || std::fclose(file.release()) != 0) {
    *error = "could not write the image";
    return false;
  }
  return true;
}

bool ReadRgbPng(const std::string& path, RgbImage* image, std::string* error) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *error = errno == ENOENT ? "no such file" : std::strerror(errno);
    return false;
  }
  uint8_t signature[8] = {};
  if (std::fread(signature, 1, 8, file.get()) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
    *error = "not a PNG file";
    return false;
  }
  std::rewind(file.get());
  return ReadPngInto(file.get(), image, error);
}

void BitmapToRgb(const uint8_t* row0, int32_t stride, RgbImage* image) {
  image->pixels.resize(static_cast<size_t>(image->width) * image->height * 3);
  uint8_t* out = image->pixels.data();
  for (int y = 0; y < image->height; ++y) {
    const uint8_t* in = row0 + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < image->width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
}

void RgbToBitmap(const RgbImage& image, uint8_t* row0, int32_t stride) {
  const uint8_t* in = image.pixels.data();
  for (int y = 0; y < image.height; ++y) {
    uint8_t* out = row0 + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < image.width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
}

}  // namespace cli
