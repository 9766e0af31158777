// SPDX-License-Identifier: MIT
// File thumbnails: scaled decoding with the library, fitting, centring, frames and shadow.
#include "pixels/FileThumbnail.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "jpeg/ErrorRecord.h"
#include "jpeg/Jpeg.h"
#include "jpeg/Sources.h"
#include "platform/Files.h"

namespace {

constexpr int32_t kWhiteFrame = 1;
constexpr int32_t kGreyFrame = 2;
constexpr int32_t kShadow = 4;
constexpr uint8_t kGreyLevel = 165;
// The room the shadow takes to the right of and below the picture.
constexpr int32_t kShadowWidth = 4;
// The shadow's lines from the innermost (darkest) outwards: each keeps factor/256 of the
// background, so the shadow reads as the background in shade on any colour.
constexpr uint32_t kShadowFactors[kShadowWidth] = {127, 159, 191, 223};
// The library reduces by 2, 4 or 8 while decoding; each halving doubles scale_denom.
constexpr int kMaxHalvings = 3;

struct Bgr {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
};

// The caller's box, addressed from its top row whatever the buffer's row order.
struct Box {
  uint8_t* row0;
  ptrdiff_t stride;
  int32_t width;
  int32_t height;

  uint8_t* Pixel(int32_t x, int32_t y) const {
    return row0 + static_cast<ptrdiff_t>(y) * stride + 3 * static_cast<ptrdiff_t>(x);
  }
  void Put(int32_t x, int32_t y, Bgr colour) const {
    uint8_t* pixel = Pixel(x, y);
    pixel[0] = colour.blue;
    pixel[1] = colour.green;
    pixel[2] = colour.red;
  }
  // Inclusive ranges, as the decorations are described by their first and last pixel.
  void Column(int32_t x, int32_t yFirst, int32_t yLast, Bgr colour) const {
    for (int32_t y = yFirst; y <= yLast; ++y) Put(x, y, colour);
  }
  void Row(int32_t y, int32_t xFirst, int32_t xLast, Bgr colour) const {
    for (int32_t x = xFirst; x <= xLast; ++x) Put(x, y, colour);
  }
  void Fill(Bgr colour) const {
    for (int32_t y = 0; y < height; ++y) Row(y, 0, width - 1, colour);
  }
};

// The picture's top-left pixel and size inside the box.
struct Placement {
  int32_t x0 = 0;
  int32_t y0 = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// Every decoration reserves room around the picture, on top of one pixel on each side.
int32_t Margin(int32_t flags) {
  int32_t margin = 2;
  if (flags & kWhiteFrame) margin += 2;
  if (flags & kGreyFrame) margin += 2;
  if (flags & kShadow) margin += kShadowWidth;
  return margin;
}

Box MakeBox(uint8_t* bits, int32_t width, int32_t height, int32_t stride) {
  Box box{bits, stride, width, height};
  // A bottom-up buffer is handed over by its lowest address: its top row is the last in memory.
  if (stride < 0) box.row0 = bits + static_cast<ptrdiff_t>(height - 1) * -box.stride;
  return box;
}

// Lets the library reduce a file much larger than the box while decoding (only while both
// sides stay above twice the box), then fits the rest into the room left by the decorations.
// A picture that already fits is not enlarged.
void ChooseSize(j_decompress_ptr cinfo, int32_t boxWidth, int32_t boxHeight, int64_t availWidth,
                int64_t availHeight, Placement* place) {
  int64_t w = cinfo->image_width;
  int64_t h = cinfo->image_height;
  for (int i = 0; i < kMaxHalvings; ++i) {
    if (w > 2 * int64_t{boxWidth} && h > 2 * int64_t{boxHeight}) {
      w /= 2;
      h /= 2;
      cinfo->scale_denom *= 2;
    }
  }
  if (w > availWidth || h > availHeight) {
    const double fx = static_cast<double>(w) / static_cast<double>(availWidth);
    const double fy = static_cast<double>(h) / static_cast<double>(availHeight);
    const double f = fx > fy ? fx : fy;
    w = static_cast<int64_t>(static_cast<double>(w) / f);
    h = static_cast<int64_t>(static_cast<double>(h) / f);
  }
  // A very long, thin file would otherwise shrink to no rows (or columns) at all.
  place->width = static_cast<int32_t>(w < 1 ? 1 : w);
  place->height = static_cast<int32_t>(h < 1 ? 1 : h);
}

// Centres the picture, leaving the shadow's room on the right and at the bottom.
void Centre(const Box& box, int32_t flags, Placement* place) {
  const int32_t shadow = (flags & kShadow) ? kShadowWidth : 0;
  place->x0 = (box.width - place->width - shadow) / 2;
  place->y0 = (box.height - place->height - shadow) / 2;
}

void DrawFrames(const Box& box, const Placement& place, int32_t flags, Bgr background) {
  const int32_t x0 = place.x0;
  const int32_t y0 = place.y0;
  const int32_t w = place.width;
  const int32_t h = place.height;
  int32_t frames = 0;
  if (flags & kWhiteFrame) {
    const Bgr white{255, 255, 255};
    box.Column(x0 - 1, y0 - 1, y0 + h, white);
    box.Column(x0 + w, y0 - 1, y0 + h, white);
    box.Row(y0 - 1, x0, x0 + w, white);
    box.Row(y0 + h, x0, x0 + w, white);
    ++frames;
  }
  if (flags & kGreyFrame) {
    const Bgr grey{kGreyLevel, kGreyLevel, kGreyLevel};
    const int32_t g = (flags & kWhiteFrame) ? 2 : 1;
    box.Column(x0 - g, y0 - g, y0 + h + g - 1, grey);
    box.Column(x0 + w + g - 1, y0 - g, y0 + h + g - 1, grey);
    box.Row(y0 - g, x0 - g + 1, x0 + w + g - 1, grey);
    box.Row(y0 + h + g - 1, x0 - g + 1, x0 + w + g - 1, grey);
    ++frames;
  }
  if (flags & kShadow) {
    // The darkest line touches the outermost frame (or the picture); each further line lies
    // one pixel further right and down.
    const int32_t x1 = x0 - frames + 1;
    const int32_t y1 = y0 - frames + 1;
    const int32_t x2 = x0 + w + frames;
    const int32_t y2 = y0 + h + frames;
    for (int32_t p = 0; p < kShadowWidth; ++p) {
      const uint32_t factor = kShadowFactors[p];
      const Bgr shade{static_cast<uint8_t>(background.blue * factor / 256),
                      static_cast<uint8_t>(background.green * factor / 256),
                      static_cast<uint8_t>(background.red * factor / 256)};
      box.Column(x2 + p, y1 + p, y2 + p - 1, shade);
      box.Row(y2 + p, x1 + p, x2 + p, shade);
    }
  }
}

// Writes one picture row from the library's line, sampling its pixels nearest-neighbour.
void WriteRow(j_decompress_ptr cinfo, JSAMPROW line, uint8_t* out, int32_t width) {
  const uint64_t lineWidth = cinfo->output_width;
  switch (cinfo->out_color_space) {
    case JCS_GRAYSCALE:
      for (int32_t j = 0; j < width; ++j, out += 3) {
        const uint8_t v = line[j * lineWidth / width];
        out[0] = v;
        out[1] = v;
        out[2] = v;
      }
      break;
    case JCS_RGB:
      for (int32_t j = 0; j < width; ++j, out += 3) {
        const JSAMPLE* px = line + 3 * (j * lineWidth / width);
        out[0] = px[2];
        out[1] = px[1];
        out[2] = px[0];
      }
      break;
    case JCS_CMYK:
      for (int32_t j = 0; j < width; ++j, out += 3) {
        const JSAMPLE* px = line + 4 * (j * lineWidth / width);
        const uint32_t k = px[3];
        out[0] = static_cast<uint8_t>(px[2] * k / 255);
        out[1] = static_cast<uint8_t>(px[1] * k / 255);
        out[2] = static_cast<uint8_t>(px[0] * k / 255);
      }
      break;
    default:
      // No conversion to a picture: the row stays background.
      break;
  }
}

// Reads only as far as the last line the picture samples; every picture row reads at least
// one line, and the library's line for row r is r x output_height / h.
void DrawPicture(j_decompress_ptr cinfo, const Box& box, const Placement& place, JSAMPROW line) {
  const uint64_t lines = cinfo->output_height;
  const uint64_t h = static_cast<uint64_t>(place.height);
  for (uint64_t r = 0; r < h && r < lines; ++r) {
    const uint64_t source = r * lines / h;
    do {
      if (jpeg_read_scanlines(cinfo, &line, 1) != 1) return;
    } while (cinfo->output_scanline - 1 < source);
    WriteRow(cinfo, line, box.Pixel(place.x0, place.y0 + static_cast<int32_t>(r)), place.width);
  }
}

}  // namespace

int32_t DrawFileThumbnail(const char16_t* path, uint8_t* bits, int32_t boxWidth, int32_t boxHeight,
                          int32_t stride, int32_t red, int32_t green, int32_t blue,
                          int32_t* outWidth, int32_t* outHeight, int32_t flags) {
  if (path == nullptr || bits == nullptr) return 0;
  const int32_t margin = Margin(flags);
  const int64_t availWidth = int64_t{boxWidth} - margin;
  const int64_t availHeight = int64_t{boxHeight} - margin;
  if (availWidth < 1 || availHeight < 1) return 0;
  // Rows closer than a row's bytes would overlap: the host's buffer cannot be that box.
  if (std::llabs(int64_t{stride}) < 3 * int64_t{boxWidth}) return 0;
  FILE* const file = OpenForReading(path);
  if (file == nullptr) return 0;

  const Box box = MakeBox(bits, boxWidth, boxHeight, stride);
  const Bgr background{static_cast<uint8_t>(blue), static_cast<uint8_t>(green),
                       static_cast<uint8_t>(red)};
  box.Fill(background);

  ErrorRecord errors;
  jpeg_decompress_struct cinfo{};
  cinfo.err = PrepareErrorRecord(errors);
  if (TSL_ARM_ERRORS(errors)) {
    // What has been drawn so far stays.
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return 0;
  }
  jpeg_create_decompress(&cinfo);
  AttachFileSource(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);
  cinfo.do_fancy_upsampling = FALSE;
  cinfo.dct_method = JDCT_IFAST;
  if (outWidth != nullptr) *outWidth = static_cast<int32_t>(cinfo.image_width);
  if (outHeight != nullptr) *outHeight = static_cast<int32_t>(cinfo.image_height);

  Placement place;
  ChooseSize(&cinfo, boxWidth, boxHeight, availWidth, availHeight, &place);
  jpeg_start_decompress(&cinfo);
  const size_t lineBytes = size_t{cinfo.output_width} * size_t(cinfo.output_components);
  auto* line = static_cast<JSAMPROW>(
      (*cinfo.mem->alloc_small)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, lineBytes));
  Centre(box, flags, &place);
  DrawFrames(box, place, flags, background);
  DrawPicture(&cinfo, box, place, line);

  // The rest of the file is never decoded.
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
  return 1;
}
