// SPDX-License-Identifier: MIT
// CExif's writer: the saved markers go into a written stream, with the Exif segment's pixel
// dimensions patched and its thumbnail kept, removed or replaced.
//
// Everything here may be left by the JPEG library's error exit (a longjmp), so no function
// holds an object with a destructor and bytes leave only through the library's marker writers.
#include "metadata/Exif.h"
#include "metadata/MarkerKinds.h"

namespace {

constexpr uint32_t kExifHeaderSize = 6;  // "Exif\0\0" before the TIFF data
constexpr uint32_t kMaxPayload = 65533;  // a segment's length field counts itself (2 bytes)
constexpr uint32_t kNewIfd1Size = 94;    // count, six entries, link and two rationals
constexpr uint16_t kNewIfd1Entries = 6;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeRational = 5;
constexpr uint16_t kCompressionJpeg = 6;
constexpr uint16_t kResolutionUnitInch = 2;
constexpr uint32_t kResolution = 72;

constexpr uint16_t kTagCompression = 0x0103;
constexpr uint16_t kTagXResolution = 0x011A;
constexpr uint16_t kTagYResolution = 0x011B;
constexpr uint16_t kTagResolutionUnit = 0x0128;
constexpr uint16_t kTagJpegInterchangeFormat = 0x0201;
constexpr uint16_t kTagJpegInterchangeFormatLength = 0x0202;

void EmitBytes(j_compress_ptr cinfo, const uint8_t* bytes, uint64_t count) {
  for (uint64_t i = 0; i < count; ++i) jpeg_write_m_byte(cinfo, bytes[i]);
}

// What the writer does with one saved marker.
enum class Action { kSkip, kCopy, kRebuildWithout, kRebuildWith };

}  // namespace

int32_t CExif::WantJfifHeader(int32_t bKeepMetadata) const {
  const bool exifKept = bKeepMetadata != 0 && m_bHasExif != 0;
  return m_bHasJFIF == 0 && !exifKept ? 1 : 0;
}

void CExif::WriteMarkers(jpeg_saved_marker_ptr markers, j_compress_ptr cinfo, int32_t bKeepComments,
                         int32_t bKeepMetadata, int32_t iThumbnailMode, const uint8_t* thumbnail,
                         uint32_t thumbnailLength) {
  if (bKeepMetadata != 0) PatchPixelDimensions(cinfo);
  const bool newThumbnail = iThumbnailMode == 2 && thumbnail != nullptr && thumbnailLength > 0;
  for (jpeg_saved_marker_ptr m = markers; m != nullptr; m = m->next) {
    const int code = m->marker;
    Action action = Action::kCopy;
    if (code == JPEG_COM && bKeepComments == 0) {
      action = Action::kSkip;
    } else if (code >= JPEG_APP0 + 1 && code <= JPEG_APP0 + 14 && bKeepMetadata == 0) {
      action = Action::kSkip;
    } else if (marker_kinds::IsJfif(*m) && bKeepMetadata != 0 && m_bHasExif != 0) {
      action = Action::kSkip;  // the Exif segment stands for the file's metadata
    } else if (marker_kinds::IsAdobe(*m) && cinfo->write_Adobe_marker) {
      action = Action::kSkip;  // the library writes its own
    } else if (marker_kinds::IsExif(*m) && (iThumbnailMode == 0 || newThumbnail) &&
               m->data == m_pExifPayload) {
      if (m_iLinkPos == 0 || m_iCutPos == 0) {
        action = Action::kSkip;
      } else if (IsRebuildable(*m)) {
        action = newThumbnail ? Action::kRebuildWith : Action::kRebuildWithout;
      }
    }
    switch (action) {
      case Action::kSkip:
        break;
      case Action::kCopy:
        jpeg_write_marker(cinfo, code, m->data, m->data_length);
        break;
      case Action::kRebuildWithout:
        EmitExifWithoutThumbnail(cinfo, *m);
        break;
      case Action::kRebuildWith:
        EmitExifWithThumbnail(cinfo, *m, thumbnail, thumbnailLength);
        break;
    }
  }
}

// The entries stay LONG with count 1 whatever type they had: a cropped or turned image may be
// wider than a SHORT holds.
void CExif::PatchPixelDimensions(j_compress_ptr cinfo) {
  if (m_pPixelXDim == nullptr || m_pPixelYDim == nullptr) return;
  const uint32_t sizes[2] = {cinfo->image_width, cinfo->image_height};
  uint8_t* const types[2] = {m_pPixelXDim, m_pPixelYDim};
  for (int i = 0; i < 2; ++i) {
    Put16(types[i], kTypeLong);
    Put32(types[i] + 2, 1);
    Put32(types[i] + 6, sizes[i]);
  }
}

// The kept part runs from after the link to the cut; a layout whose cut lies before the end of
// the link cannot be rebuilt and is copied as it is.
bool CExif::IsRebuildable(const jpeg_marker_struct& segment) const {
  const uint64_t keptEnd = uint64_t{m_iCutPos} + kExifHeaderSize;
  return keptEnd >= uint64_t{m_iLinkPos} + 4 && keptEnd <= segment.data_length;
}

void CExif::EmitHead(j_compress_ptr cinfo, const jpeg_marker_struct& segment, uint32_t link) const {
  EmitBytes(cinfo, segment.data, m_iLinkPos);
  Emit32(cinfo, link);
  const uint64_t keptStart = uint64_t{m_iLinkPos} + 4;
  EmitBytes(cinfo, segment.data + keptStart, uint64_t{m_iCutPos} + kExifHeaderSize - keptStart);
}

void CExif::EmitExifWithoutThumbnail(j_compress_ptr cinfo,
                                     const jpeg_marker_struct& segment) const {
  jpeg_write_m_header(cinfo, JPEG_APP0 + 1, m_iCutPos + kExifHeaderSize);
  EmitHead(cinfo, segment, 0);
}

void CExif::EmitExifWithThumbnail(j_compress_ptr cinfo, const jpeg_marker_struct& segment,
                                  const uint8_t* thumbnail, uint32_t thumbnailLength) const {
  const uint32_t cut = m_iCutPos;
  const uint64_t length = uint64_t{cut} + kExifHeaderSize + kNewIfd1Size + thumbnailLength;
  // The library refuses a payload above 65533 bytes and ends the save through its error exit;
  // a length that would not even fit its argument is refused the same way.
  jpeg_write_m_header(cinfo, JPEG_APP0 + 1,
                      static_cast<unsigned int>(length > kMaxPayload ? kMaxPayload + 1 : length));
  EmitHead(cinfo, segment, cut);
  Emit16(cinfo, kNewIfd1Entries);
  EmitShortEntry(cinfo, kTagCompression, kCompressionJpeg);
  EmitLongEntry(cinfo, kTagXResolution, kTypeRational, cut + 78);
  EmitLongEntry(cinfo, kTagYResolution, kTypeRational, cut + 86);
  EmitShortEntry(cinfo, kTagResolutionUnit, kResolutionUnitInch);
  EmitLongEntry(cinfo, kTagJpegInterchangeFormat, kTypeLong, cut + kNewIfd1Size);
  EmitLongEntry(cinfo, kTagJpegInterchangeFormatLength, kTypeLong, thumbnailLength);
  Emit32(cinfo, 0);
  for (int i = 0; i < 2; ++i) {
    Emit32(cinfo, kResolution);
    Emit32(cinfo, 1);
  }
  EmitBytes(cinfo, thumbnail, thumbnailLength);
}

void CExif::Put16(uint8_t* place, uint16_t value) const {
  const uint8_t high = static_cast<uint8_t>(value >> 8), low = static_cast<uint8_t>(value);
  place[0] = m_bBigEndian ? high : low;
  place[1] = m_bBigEndian ? low : high;
}

void CExif::Put32(uint8_t* place, uint32_t value) const {
  for (int i = 0; i < 4; ++i) {
    const uint8_t byte = static_cast<uint8_t>(value >> (8 * i));
    place[m_bBigEndian ? 3 - i : i] = byte;
  }
}

void CExif::Emit16(j_compress_ptr cinfo, uint32_t value) const {
  uint8_t bytes[2];
  Put16(bytes, static_cast<uint16_t>(value));
  EmitBytes(cinfo, bytes, 2);
}

void CExif::Emit32(j_compress_ptr cinfo, uint32_t value) const {
  uint8_t bytes[4];
  Put32(bytes, value);
  EmitBytes(cinfo, bytes, 4);
}

void CExif::EmitShortEntry(j_compress_ptr cinfo, uint16_t tag, uint16_t value) const {
  Emit16(cinfo, tag);
  Emit16(cinfo, kTypeShort);
  Emit32(cinfo, 1);
  Emit16(cinfo, value);
  Emit16(cinfo, 0);
}

void CExif::EmitLongEntry(j_compress_ptr cinfo, uint16_t tag, uint16_t type, uint32_t value) const {
  Emit16(cinfo, tag);
  Emit16(cinfo, type);
  Emit32(cinfo, 1);
  Emit32(cinfo, value);
}
