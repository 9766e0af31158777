// SPDX-License-Identifier: MIT
// The re-encoding writer: bitmap rows in blue, green, red order to a new JPEG stream.
#include "image/ReencodeWriter.h"

#include <cstddef>

#include "jpeg/ErrorRecord.h"
#include "jpeg/Jpeg.h"
#include "metadata/Exif.h"

namespace {

// Output sampling: the first component 2x2 (4:2:0 for YCbCr) or 1x1, every other one 1x1. A
// one-component output keeps the library's 1x1.
void SetSampling(j_compress_ptr cinfo, int headerComponents, bool subsample) {
  if (headerComponents <= 1) return;
  const int count =
      headerComponents < cinfo->num_components ? headerComponents : cinfo->num_components;
  for (int ci = 0; ci < count; ++ci) {
    const int factor = (ci == 0 && subsample) ? 2 : 1;
    cinfo->comp_info[ci].h_samp_factor = factor;
    cinfo->comp_info[ci].v_samp_factor = factor;
  }
}

// Hands the bitmap to the compressor from its top row down, each pixel turned from blue, green,
// red into red, green, blue. Calls the library, so it owns nothing with a destructor.
void WriteRows(j_compress_ptr cinfo, const uint8_t* row0, int32_t stride) {
  const JDIMENSION width = cinfo->image_width;
  JSAMPARRAY buffer =
      (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, 3 * width, 1);
  for (JDIMENSION y = 0; y < cinfo->image_height; ++y) {
    const uint8_t* in = row0 + static_cast<ptrdiff_t>(y) * stride;
    JSAMPROW out = buffer[0];
    for (JDIMENSION x = 0; x < width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
    jpeg_write_scanlines(cinfo, buffer, 1);
  }
}

}  // namespace

bool WriteReencoded(const StoreView& image, CExif& exif, FILE* file,
                    const TesselSaveOptions& options, const uint8_t* thumbnail,
                    int32_t thumbnailLength) {
  if (!image.HasStore() || options.pBitmap == nullptr || file == nullptr) return false;
  const jpeg_decompress_struct* header = image.header;

  ErrorRecord errors;
  jpeg_compress_struct cinfo{};
  cinfo.err = PrepareErrorRecord(errors);
  if (TSL_ARM_ERRORS(errors)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  // The output keeps the opened file's colour space: grayscale stays grayscale.
  jpeg_set_colorspace(&cinfo, header->jpeg_color_space);
  cinfo.optimize_coding = static_cast<boolean>(options.bOptimize & 0xFF);
  // jpeg_set_colorspace asks for a JFIF marker only where JFIF allows the colour space
  // (grayscale, YCbCr): a JFIF marker on an RGB stream would make readers take it for YCbCr.
  const bool jfifAllowed = cinfo.write_JFIF_header != FALSE;
  cinfo.write_JFIF_header =
      jfifAllowed && exif.WantJfifHeader(options.bKeepMetadata) ? TRUE : FALSE;
  jpeg_set_quality(&cinfo, options.iQuality, TRUE);
  SetSampling(&cinfo, header->num_components, options.bSubsample != 0);
  jpeg_stdio_dest(&cinfo, file);
  jpeg_start_compress(&cinfo, TRUE);
  exif.WriteMarkers(
      header->marker_list, &cinfo, options.bKeepComments, options.bKeepMetadata,
      options.iThumbnailMode, thumbnail,
      thumbnail != nullptr && thumbnailLength > 0 ? static_cast<uint32_t>(thumbnailLength) : 0);
  WriteRows(&cinfo, options.pBitmap, options.iStride);
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}
