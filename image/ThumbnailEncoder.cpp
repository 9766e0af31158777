// SPDX-License-Identifier: MIT
// The Exif thumbnail encoder: size rule, area averaging and compression into 16 KB.
#include "image/ThumbnailEncoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "jpeg/Destinations.h"
#include "jpeg/ErrorRecord.h"
#include "jpeg/Jpeg.h"
#include "pixels/DCT.h"

namespace {

// A float sample rounded to the nearest byte. The weights of a sample sum to 1, so only
// rounding error could carry it past 255.
uint8_t ToByte(float value) {
  const int rounded = static_cast<int>(value + 0.5f);
  return static_cast<uint8_t>(rounded > 255 ? 255 : (rounded < 0 ? 0 : rounded));
}

// Moves to the next source row while there is one; past the last row the last stays in use.
struct RowCursor {
  ThumbnailSource& source;
  int32_t height;
  int32_t next = 0;
  const uint8_t* current = nullptr;
  void Fetch() {
    if (next < height) current = source.Row(next++);
  }
};

void PutUnscaled(RowCursor& cursor, int32_t width, uint8_t* output, ThumbnailSink& sink) {
  cursor.Fetch();
  const uint8_t* in = cursor.current;
  for (int32_t x = 0; x < width; ++x, in += 3) {
    output[3 * x] = in[2];
    output[3 * x + 1] = in[1];
    output[3 * x + 2] = in[0];
  }
  sink.Put(output);
}

// Area averaging along the row: every source pixel spreads its weight scaleX over the output
// pixels it covers. Emits exactly `thumbWidth` pixels (rounding can neither add nor drop one).
void ScaleHorizontally(const uint8_t* vertical, int32_t width, int32_t thumbWidth, float scaleX,
                       uint8_t* output) {
  int32_t x = 0;
  float roomX = 1.0f;
  float newpix[3] = {0.0f, 0.0f, 0.0f};
  const auto emit = [&]() {
    if (x < thumbWidth) {
      // Blue, green, red in; red, green, blue out.
      output[3 * x] = ToByte(newpix[2]);
      output[3 * x + 1] = ToByte(newpix[1]);
      output[3 * x + 2] = ToByte(newpix[0]);
    }
    ++x;
    roomX = 1.0f;
    newpix[0] = newpix[1] = newpix[2] = 0.0f;
  };
  for (int32_t s = 0; s < width; ++s) {
    const uint8_t* pixel = vertical + 3 * static_cast<ptrdiff_t>(s);
    float remX = scaleX;
    while (remX >= roomX) {
      for (int c = 0; c < 3; ++c) newpix[c] += roomX * pixel[c];
      remX -= roomX;
      emit();
    }
    if (remX > 0.0f) {
      for (int c = 0; c < 3; ++c) newpix[c] += remX * pixel[c];
      roomX -= remX;
    }
  }
  if (x < thumbWidth) {
    const uint8_t* last = vertical + 3 * static_cast<ptrdiff_t>(width - 1);
    for (int c = 0; c < 3; ++c) newpix[c] += roomX * last[c];
    emit();
  }
}

// Hands each thumbnail row to the compressor.
class CompressorSink final : public ThumbnailSink {
 public:
  explicit CompressorSink(j_compress_ptr cinfo) : cinfo_(cinfo) {}
  void Put(const uint8_t* rgb) override {
    JSAMPROW row = const_cast<JSAMPROW>(rgb);
    jpeg_write_scanlines(cinfo_, &row, 1);
  }

 private:
  j_compress_ptr cinfo_;
};

// Compresses the thumbnail into `out` (kThumbnailBufferSize bytes). Owns nothing with a
// destructor: a library error returns through the jump buffer and destroys the compressor.
bool Compress(ThumbnailSource& source, int32_t width, int32_t height, ThumbnailSize size,
              uint8_t* out, int32_t* length) {
  ErrorRecord errors;
  jpeg_compress_struct cinfo{};
  // Running out of room is fatal, so a thumbnail that would fill the buffer is not made at all.
  FixedDestination destination{};
  InitFixedDestination(&destination, out, kThumbnailBufferSize);
  cinfo.err = PrepareErrorRecord(errors);
  if (TSL_ARM_ERRORS(errors)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  cinfo.dest = &destination.mgr;
  cinfo.image_width = static_cast<JDIMENSION>(size.width);
  cinfo.image_height = static_cast<JDIMENSION>(size.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  cinfo.optimize_coding = TRUE;
  // The thumbnail lives inside the Exif segment, where a JFIF marker has no place.
  cinfo.write_JFIF_header = FALSE;
  jpeg_set_quality(&cinfo, kThumbnailQuality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);

  const auto common = reinterpret_cast<j_common_ptr>(&cinfo);
  const size_t rowBytes = 3 * static_cast<size_t>(width);
  ScaleBuffers buffers;
  buffers.vertical =
      static_cast<uint8_t*>((*cinfo.mem->alloc_small)(common, JPOOL_IMAGE, rowBytes));
  buffers.output = static_cast<uint8_t*>(
      (*cinfo.mem->alloc_small)(common, JPOOL_IMAGE, 3 * static_cast<size_t>(size.width)));
  buffers.accumulators =
      static_cast<float*>((*cinfo.mem->alloc_small)(common, JPOOL_IMAGE, rowBytes * sizeof(float)));
  std::fill_n(buffers.accumulators, rowBytes, 0.0f);
  CompressorSink sink(&cinfo);
  ScaleRows(source, width, height, size, buffers, sink);
  jpeg_finish_compress(&cinfo);
  *length = destination.Length();
  jpeg_destroy_compress(&cinfo);
  return true;
}

// Rows of the host's bitmap: row r at row 0 + r x stride.
class BitmapSource final : public ThumbnailSource {
 public:
  BitmapSource(const uint8_t* row0, int32_t stride) : row0_(row0), stride_(stride) {}
  const uint8_t* Row(int32_t row) override { return row0_ + static_cast<ptrdiff_t>(row) * stride_; }

 private:
  const uint8_t* row0_;
  int32_t stride_;
};

// Rows decoded from the coefficient store, one MCU row at a time into a buffer of whole MCUs.
class StoreSource final : public ThumbnailSource {
 public:
  StoreSource(const StoreView& image, CDCT& dct)
      : store_(image.values),
        dct_(dct),
        width_(image.width),
        mcuHeight_(8 * image.header->max_v_samp_factor) {
    const int64_t paddedWidth = RoundUp(width_, 8 * image.header->max_h_samp_factor);
    stride_ = static_cast<int32_t>(paddedWidth * 3);
    buffer_.resize(static_cast<size_t>(stride_) * static_cast<size_t>(mcuHeight_));
  }
  const uint8_t* Row(int32_t row) override {
    const int32_t inMcu = row % mcuHeight_;
    if (inMcu == 0) dct_.DecodeRect(store_, buffer_.data(), stride_, 0, row, width_, mcuHeight_);
    return buffer_.data() + static_cast<size_t>(inMcu) * static_cast<size_t>(stride_);
  }

 private:
  const int16_t* store_;
  CDCT& dct_;
  int32_t width_;
  int32_t mcuHeight_;
  int32_t stride_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace

ThumbnailSize ThumbnailSizeFor(int32_t width, int32_t height, int32_t requested) {
  int32_t side = requested;
  if (side > kThumbnailMaxSide) side = kThumbnailMaxSide;
  if (side < kThumbnailMinSide) side = kThumbnailMinSide;
  ThumbnailSize size{width, height};
  const int32_t longest = std::max(width, height);
  if (longest > side) {
    const double k = static_cast<double>(longest) / side;
    size.width = static_cast<int32_t>(width / k);
    size.height = static_cast<int32_t>(height / k);
  }
  return size;
}

void ScaleRows(ThumbnailSource& source, int32_t width, int32_t height, ThumbnailSize size,
               const ScaleBuffers& buffers, ThumbnailSink& sink) {
  RowCursor cursor{source, height};
  if (size.width == width && size.height == height) {
    for (int32_t y = 0; y < size.height; ++y) PutUnscaled(cursor, width, buffers.output, sink);
    return;
  }
  const size_t samples = 3 * static_cast<size_t>(width);
  const float scaleX = static_cast<float>(size.width) / static_cast<float>(width);
  const float scaleY = static_cast<float>(size.height) / static_cast<float>(height);
  float* accumulators = buffers.accumulators;
  float roomY = 1.0f;   // the part of the output row not yet filled
  float remY = scaleY;  // the weight of the current source row not yet spent
  bool need = true;     // the current source row is spent: fetch the next one first
  for (int32_t y = 0; y < size.height; ++y) {
    // Source rows that fit into the output row whole.
    while (roomY > remY) {
      if (need) cursor.Fetch();
      for (size_t i = 0; i < samples; ++i) accumulators[i] += remY * cursor.current[i];
      roomY -= remY;
      remY = scaleY;
      need = true;
    }
    // The row that completes it gives only the part that is left.
    if (need) {
      cursor.Fetch();
      need = false;
    }
    for (size_t i = 0; i < samples; ++i) {
      buffers.vertical[i] = ToByte(accumulators[i] + roomY * cursor.current[i]);
      accumulators[i] = 0.0f;
    }
    remY -= roomY;
    if (remY <= 0.0f) {
      remY = scaleY;
      need = true;
    }
    roomY = 1.0f;
    ScaleHorizontally(buffers.vertical, width, size.width, scaleX, buffers.output);
    sink.Put(buffers.output);
  }
}

EncodedThumbnail MakeThumbnail(const StoreView& image, const TesselSaveOptions& options) {
  EncodedThumbnail result;
  if (options.pBitmap == nullptr && !image.HasStore()) return result;
  const int32_t width = image.width;
  const int32_t height = image.height;
  const ThumbnailSize size = ThumbnailSizeFor(width, height, options.iThumbnailSize);
  if (size.width < 1 || size.height < 1) return result;
  auto bytes = std::make_unique<uint8_t[]>(kThumbnailBufferSize);
  int32_t length = 0;
  if (options.pBitmap != nullptr) {
    BitmapSource source(options.pBitmap, options.iStride);
    if (!Compress(source, width, height, size, bytes.get(), &length)) return result;
  } else {
    CDCT dct(image.header);
    // An image the transforms cannot show would give a blank picture: better none at all.
    if (!dct.CanDecode()) return result;
    StoreSource source(image, dct);
    if (!Compress(source, width, height, size, bytes.get(), &length)) return result;
  }
  result.bytes = std::move(bytes);
  result.length = length;
  return result;
}
