// SPDX-License-Identifier: MIT
// Which kind of saved segment a marker is: JFIF, Exif or Adobe, by code and signature.
#pragma once

#include <cstring>

#include "jpeg/Jpeg.h"

namespace marker_kinds {

inline bool Begins(const jpeg_marker_struct& m, const char* signature, size_t size) {
  return std::memcmp(m.data, signature, size) == 0;
}

// APP0 of at least 5 bytes beginning "JFIF\0".
inline bool IsJfif(const jpeg_marker_struct& m) {
  return m.marker == JPEG_APP0 && m.data_length >= 5 && Begins(m, "JFIF\0", 5);
}

// APP1 of at least 8 bytes (the signature and a byte order mark) beginning "Exif\0\0".
inline bool IsExif(const jpeg_marker_struct& m) {
  return m.marker == JPEG_APP0 + 1 && m.data_length >= 8 && Begins(m, "Exif\0\0", 6);
}

// APP14 of at least 5 bytes beginning "Adobe".
inline bool IsAdobe(const jpeg_marker_struct& m) {
  return m.marker == JPEG_APP0 + 14 && m.data_length >= 5 && Begins(m, "Adobe", 5);
}

}  // namespace marker_kinds
