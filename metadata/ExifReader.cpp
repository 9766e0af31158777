// SPDX-License-Identifier: MIT
// CExif's reader: the scan of the saved markers, IFD0, the Exif thumbnail's size and the cut
// position that separates the kept Exif data from the thumbnail part.
#include "metadata/Exif.h"
#include "metadata/MarkerKinds.h"

namespace {

constexpr uint32_t kExifHeaderSize = 6;  // "Exif\0\0" before the TIFF data
constexpr uint32_t kMinTiffLength = 12;  // TIFF header (8) and the smallest directory (2 + 2)

constexpr uint16_t kTagMake = 0x010F;
constexpr uint16_t kTagModel = 0x0110;
constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTagExifIfd = 0x8769;
constexpr uint16_t kTagGpsIfd = 0x8825;
constexpr uint16_t kTagJpegInterchangeFormat = 0x0201;

// Byte size of one value of each TIFF type, BYTE (1) to SRATIONAL (10).
constexpr uint32_t lengths[11] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8};

// Position of entry `index` of the directory at `ifd`.
uint64_t EntryAt(uint32_t ifd, uint32_t index) {
  return uint64_t{ifd} + 2 + uint64_t{index} * TiffCursor::kEntrySize;
}

// A directory pointer stored at entry + 8; 0 (absent) when it cannot hold an entry count.
uint32_t DirectoryPointer(const TiffCursor& tiff, uint64_t entry) {
  const uint32_t offset = tiff.Get32(entry + 8);
  return tiff.Has(offset, 2) ? offset : 0;
}

}  // namespace

void CExif::ReadMarkers(jpeg_saved_marker_ptr markers) {
  SetEmptyState();
  for (jpeg_saved_marker_ptr m = markers; m != nullptr; m = m->next) {
    if (marker_kinds::IsJfif(*m)) {
      m_bHasJFIF = 1;
    } else if (marker_kinds::IsExif(*m)) {
      // Only the first Exif segment is read: the positions the writer and SetOrientation use
      // must all describe one segment in one byte order. Later ones are copied as they are.
      if (m_bHasExif == 0) ReadExifSegment(m);
      m_bHasExif = 1;
    } else if (m->marker == JPEG_COM) {
      m_strComment.assign(reinterpret_cast<const char*>(m->data), m->data_length);
    }
  }
}

void CExif::ReadExifSegment(jpeg_saved_marker_ptr segment) {
  m_iExifLength = segment->data_length - kExifHeaderSize;
  m_pExifPayload = segment->data;
  if (m_iExifLength < kMinTiffLength) return;
  const uint8_t* data = segment->data + kExifHeaderSize;
  if (data[0] == 'I' && data[1] == 'I') {
    m_bBigEndian = 0;
  } else if (data[0] == 'M' && data[1] == 'M') {
    m_bBigEndian = 1;
  } else {
    return;
  }
  const TiffCursor tiff(data, m_iExifLength, m_bBigEndian != 0);
  if (tiff.Get16(2) != 42) return;
  const uint32_t ifd0 = tiff.Get32(4);
  if (!tiff.Has(ifd0, 2)) return;

  uint32_t exifOffset = 0, gpsOffset = 0;
  ReadIfd0(tiff, ifd0, &exifOffset, &gpsOffset);
  if (exifOffset != 0) ReadExifIfd(tiff, exifOffset);
  if (gpsOffset != 0) ReadGpsIfd(tiff, gpsOffset);

  // The link is read at its payload position, so it must lie inside the TIFF data as such.
  if (!tiff.Has(m_iLinkPos, 4)) m_iLinkPos = 0;
  if (m_iLinkPos != 0) {
    uint32_t ifd1 = tiff.Get32(uint64_t{m_iLinkPos} - kExifHeaderSize);
    if (!tiff.Has(ifd1, 2)) ifd1 = 0;
    if (ifd1 != 0) {
      ReadThumbnailSize(tiff, ifd1);
      m_iCutPos = ifd1;
    }
  }
  // The directories the rebuilt segment keeps are kept whole, with all the data they point to:
  // a directory laid out after its data, or a GPS directory after the others, would otherwise
  // be cut off and its pointer left dangling.
  ExtendCutPos(tiff, ifd0);
  if (exifOffset != 0) ExtendCutPos(tiff, exifOffset);
  if (gpsOffset != 0) ExtendCutPos(tiff, gpsOffset);
}

void CExif::ReadIfd0(const TiffCursor& tiff, uint32_t ifd0, uint32_t* exifOffset,
                     uint32_t* gpsOffset) {
  const uint32_t count = tiff.Get16(ifd0);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = EntryAt(ifd0, i);
    // An entry beyond the data ends the walk and leaves no link: the writer then keeps the
    // segment away from any rebuild.
    if (!tiff.Has(entry, TiffCursor::kEntrySize)) return;
    switch (tiff.Get16(entry)) {
      case kTagMake:
        if (auto text = tiff.GetAscii(entry)) m_strMake = *text;
        break;
      case kTagModel:
        if (auto text = tiff.GetAscii(entry)) m_strModel = *text;
        break;
      case kTagOrientation:
        m_pOrientation = Writable(tiff, entry + 8, 2);
        m_iOrientation = tiff.Get16(entry + 8);
        break;
      case kTagExifIfd:
        *exifOffset = DirectoryPointer(tiff, entry);
        break;
      case kTagGpsIfd:
        *gpsOffset = DirectoryPointer(tiff, entry);
        break;
      default:
        break;
    }
  }
  if (count != 0) m_iLinkPos = static_cast<uint32_t>(EntryAt(ifd0, count) + kExifHeaderSize);
}

void CExif::ReadThumbnailSize(const TiffCursor& tiff, uint32_t ifd1) {
  const uint32_t count = tiff.Get16(ifd1);
  uint64_t thumbnail = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = EntryAt(ifd1, i);
    if (!tiff.Has(entry, TiffCursor::kEntrySize)) break;
    if (tiff.Get16(entry) == kTagJpegInterchangeFormat) thumbnail = tiff.Get32(entry + 8);
  }
  if (thumbnail == 0 || !tiff.Has(thumbnail, 2)) return;
  if (tiff.Byte(thumbnail) != 0xFF || tiff.Byte(thumbnail + 1) != 0xD8) return;
  // Walk the thumbnail's segments up to its frame header; only a baseline one gives a size.
  for (uint64_t p = thumbnail + 2; tiff.Has(p, 2) && tiff.Byte(p) == 0xFF;) {
    const uint8_t marker = tiff.Byte(p + 1);
    if (marker == 0xD9) return;
    if (marker == 0xC0) {
      if (!tiff.Has(p, 9)) return;
      m_wThumbHeight = tiff.GetBig16(p + 5);
      m_wThumbWidth = tiff.GetBig16(p + 7);
      return;
    }
    if (!tiff.Has(p, 4)) return;
    p += 2 + uint64_t{tiff.GetBig16(p + 2)};
  }
}

void CExif::ExtendCutPos(const TiffCursor& tiff, uint32_t ifd) {
  const uint32_t count = tiff.Get16(ifd);
  // The directory itself: entry count, entries and the link to the next directory.
  const uint64_t directoryEnd = EntryAt(ifd, count) + 4;
  if (directoryEnd > m_iCutPos && directoryEnd <= tiff.Length()) {
    m_iCutPos = static_cast<uint32_t>(directoryEnd);
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = EntryAt(ifd, i);
    if (!tiff.Has(entry, TiffCursor::kEntrySize)) return;
    const uint16_t type = tiff.Get16(entry + 2);
    if (type < 1 || type > 10) return;
    const uint64_t size = uint64_t{lengths[type]} * tiff.Get32(entry + 4);
    if (size <= 4) continue;  // the value sits in the entry itself
    const uint64_t end = uint64_t{tiff.Get32(entry + 8)} + size;
    if (end > m_iCutPos && end <= tiff.Length()) m_iCutPos = static_cast<uint32_t>(end);
  }
}

uint8_t* CExif::Writable(const TiffCursor& tiff, uint64_t position, uint64_t count) const {
  // The cursor reads the saved marker data, which the image owns and lets CExif edit in place.
  return const_cast<uint8_t*>(tiff.At(position, count));
}
