// SPDX-License-Identifier: MIT
// The Exif thumbnail encoder: a small JPEG picture of the current image, made by area
// averaging and compressed into a fixed 16 KB buffer.
#pragma once

#include <cstdint>
#include <memory>

#include "jpeg/CoefficientStore.h"
#include "tessel/tessel.h"

// Size of the buffer the thumbnail is compressed into; the stream must leave a byte to spare,
// so it is at most 16383 bytes (what an Exif thumbnail may take).
inline constexpr int32_t kThumbnailBufferSize = 0x4000;
// Quality of every thumbnail.
inline constexpr int kThumbnailQuality = 75;
// Limits of the requested longest side.
inline constexpr int32_t kThumbnailMinSide = 32;
inline constexpr int32_t kThumbnailMaxSide = 256;

struct ThumbnailSize {
  int32_t width = 0;
  int32_t height = 0;
};

// The thumbnail of a width x height image whose longest side is at most `requested` (limited
// to 32..256): scaled in double precision and truncated, never enlarged. A side may come out
// 0 for a very long, thin image; no thumbnail is made then.
ThumbnailSize ThumbnailSizeFor(int32_t width, int32_t height, int32_t requested);

// Source rows of the image, 24-bit blue, green, red, asked for top to bottom, each once.
class ThumbnailSource {
 public:
  virtual const uint8_t* Row(int32_t row) = 0;
};

// Receives the thumbnail's rows, red, green, blue, top to bottom.
class ThumbnailSink {
 public:
  virtual void Put(const uint8_t* rgb) = 0;
};

// Working memory of the scaler, owned by the caller: `vertical` and `accumulators` hold
// 3 x source width values, `output` 3 x thumbnail width bytes. The accumulators start at 0.
struct ScaleBuffers {
  uint8_t* vertical;
  float* accumulators;
  uint8_t* output;
};

// Produces the `size.height` rows of the thumbnail from the `width` x `height` source. Without
// reduction each row is the source row; otherwise every output sample is the area average of
// the source samples it covers, in single precision, with weights that sum to 1. Holds no
// object with a destructor: a sink that calls the JPEG library may leave through longjmp.
void ScaleRows(ThumbnailSource& source, int32_t width, int32_t height, ThumbnailSize size,
               const ScaleBuffers& buffers, ThumbnailSink& sink);

// The JPEG stream of a thumbnail and its length; `bytes` is null when none was made.
struct EncodedThumbnail {
  std::unique_ptr<uint8_t[]> bytes;  // kThumbnailBufferSize bytes, the stream first
  int32_t length = 0;
};

// Makes the thumbnail of the image at its current size for options.iThumbnailSize, from the
// host's bitmap (options.pBitmap, options.iStride) when one is given, else from the
// coefficient store. Yields nothing when there is neither, when a side would be 0, when the
// stream does not fit in 16383 bytes or when the library fails.
EncodedThumbnail MakeThumbnail(const StoreView& image, const TesselSaveOptions& options);
