// SPDX-License-Identifier: MIT
// The metadata writer: the saved markers go back into a written stream.
#include <cstring>

#include "metadata/Exif.h"

namespace {

bool IsJfif(const jpeg_marker_struct& m) {
  return m.marker == JPEG_APP0 && m.data_length >= 5 && std::memcmp(m.data, "JFIF\0", 5) == 0;
}

}  // namespace

// Until the Exif segment is rewritten, the JFIF marker follows the source file: the library
// writes one exactly when the source had none to copy.
int32_t CExif::WantJfifHeader(int32_t /*bKeepMetadata*/) const { return m_bHasJFIF ? 0 : 1; }

void CExif::WriteMarkers(jpeg_saved_marker_ptr markers, j_compress_ptr cinfo,
                         int32_t /*bKeepComments*/, int32_t /*bKeepMetadata*/,
                         int32_t /*iThumbnailMode*/, const uint8_t* /*thumbnail*/,
                         uint32_t /*thumbnailLength*/) {
  for (jpeg_saved_marker_ptr m = markers; m != nullptr; m = m->next) {
    if (IsJfif(*m) && cinfo->write_JFIF_header) continue;
    jpeg_write_marker(cinfo, m->marker, m->data, m->data_length);
  }
}
