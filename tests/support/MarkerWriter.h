// SPDX-License-Identifier: MIT
// Test harness of the metadata writer: a source header read as the image reads it, and a real
// compression object that writes a new image with the saved markers into memory.
#pragma once

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdlib>
#include <functional>

#include "jpeg/ErrorRecord.h"
#include "metadata/Exif.h"
#include "tests/support/JpegFixtures.h"

namespace fixtures {

struct WriteOptions {
  int32_t keepComments = 1;
  int32_t keepMetadata = 1;
  int32_t thumbnailMode = 1;
  const Bytes* thumbnail = nullptr;
  int width = 16;
  int height = 16;
  bool adobe = false;  // the library writes its own Adobe marker
};

// The source's header as the image keeps it: a decompression object with every marker saved.
class SourceHeader {
 public:
  explicit SourceHeader(const Bytes& jpeg) : jpeg_(jpeg) {
    info_.err = PrepareErrorRecord(errors_);
    if (TSL_ARM_ERRORS(errors_)) {
      ok_ = false;
      return;
    }
    jpeg_create_decompress(&info_);
    alive_ = true;
    jpeg_mem_src(&info_, jpeg_.data(), static_cast<unsigned long>(jpeg_.size()));
    jpeg_save_markers(&info_, JPEG_COM, 0xFFFF);
    for (int code = JPEG_APP0; code <= JPEG_APP0 + 15; ++code)
      jpeg_save_markers(&info_, code, 0xFFFF);
    jpeg_read_header(&info_, TRUE);
    ok_ = true;
  }
  ~SourceHeader() {
    if (alive_) jpeg_destroy_decompress(&info_);
  }
  bool ok() const { return ok_; }
  jpeg_saved_marker_ptr markers() { return info_.marker_list; }

 private:
  Bytes jpeg_;
  ErrorRecord errors_{};
  jpeg_decompress_struct info_{};
  bool alive_ = false;
  bool ok_ = false;
};

// Writes a new gray image of the asked size with the markers, as the writers do: the JFIF
// decision, the start of the output, then the markers. False when the library failed.
inline bool WriteWithMarkers(CExif& exif, jpeg_saved_marker_ptr markers, const WriteOptions& o,
                             Bytes* out) {
  ErrorRecord errors{};
  jpeg_compress_struct cinfo{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  cinfo.err = PrepareErrorRecord(errors);
  if (TSL_ARM_ERRORS(errors)) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(o.width);
  cinfo.image_height = static_cast<JDIMENSION>(o.height);
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  cinfo.write_JFIF_header = exif.WantJfifHeader(o.keepMetadata) ? TRUE : FALSE;
  if (o.adobe) cinfo.write_Adobe_marker = TRUE;
  jpeg_start_compress(&cinfo, TRUE);
  const Bytes* thumbnail = o.thumbnail;
  exif.WriteMarkers(markers, &cinfo, o.keepComments, o.keepMetadata, o.thumbnailMode,
                    thumbnail ? thumbnail->data() : nullptr,
                    thumbnail ? static_cast<uint32_t>(thumbnail->size()) : 0);
  JSAMPLE row[4096] = {};
  JSAMPROW rows[1] = {row};
  while (cinfo.next_scanline < cinfo.image_height) jpeg_write_scanlines(&cinfo, rows, 1);
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  out->assign(buffer, buffer + size);
  std::free(buffer);
  return true;
}

// Reads `source`, lets `edit` change the Exif model, and writes with the options.
inline Bytes Rewrite(const Bytes& source, const WriteOptions& o,
                     const std::function<void(CExif&)>& edit = nullptr, bool* ok = nullptr) {
  SourceHeader header(source);
  EXPECT_TRUE(header.ok());
  CExif exif;
  exif.ReadMarkers(header.markers());
  if (edit) edit(exif);
  Bytes out;
  const bool written = WriteWithMarkers(exif, header.markers(), o, &out);
  if (ok != nullptr) *ok = written;
  return out;
}

}  // namespace fixtures
