// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary bytes as the payload of an Exif segment, through the reader, the
// caption text, the orientation and the metadata writer in every thumbnail mode. The payload
// sits in its own buffer of exactly its size, so any access beyond it is caught.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "jpeg/ErrorRecord.h"
#include "metadata/Exif.h"

namespace {

const uint8_t kThumbnail[] = {0xFF, 0xD8, 0xFF, 0xD9};

// Writes a 8x8 gray image with the one saved marker, as the writers do.
void WriteWith(CExif& exif, jpeg_saved_marker_ptr markers, int32_t mode) {
  // Room for any output, so that the library never replaces the buffer by one of its own that
  // an error would leave behind.
  constexpr unsigned long kRoom = 1 << 18;
  unsigned char* const buffer = static_cast<unsigned char*>(std::malloc(kRoom));
  if (buffer == nullptr) return;
  ErrorRecord errors{};
  jpeg_compress_struct cinfo{};
  unsigned char* out = buffer;
  unsigned long size = kRoom;
  cinfo.err = PrepareErrorRecord(errors);
  if (TSL_ARM_ERRORS(errors)) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = 8;
  cinfo.image_height = 8;
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  cinfo.write_JFIF_header = exif.WantJfifHeader(1) ? TRUE : FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  exif.WriteMarkers(markers, &cinfo, 1, 1, mode, kThumbnail, sizeof kThumbnail);
  JSAMPLE row[8] = {};
  JSAMPROW rows[1] = {row};
  while (cinfo.next_scanline < cinfo.image_height) jpeg_write_scanlines(&cinfo, rows, 1);
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65533 - 6) return 0;
  std::vector<uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), data, data + size);
  payload.shrink_to_fit();
  jpeg_marker_struct marker{};
  marker.marker = JPEG_APP0 + 1;
  marker.original_length = static_cast<unsigned int>(payload.size());
  marker.data_length = static_cast<unsigned int>(payload.size());
  marker.data = payload.data();
  CExif exif;
  exif.ReadMarkers(&marker);
  exif.FormatInfo(u"%M%m%d%t%e%f%i%l%L%u%c%GLt%GLg%GAl", 1, 0x0409, u"dddd d MMMM yyyy",
                  u"hh:mm:ss tt", 1);
  exif.SetOrientation(6);
  for (int32_t mode = 0; mode <= 2; ++mode) WriteWith(exif, &marker, mode);
  return 0;
}
