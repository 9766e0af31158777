// SPDX-License-Identifier: MIT
// CExif: the image's metadata (file names and date, the saved markers' Exif values).
#pragma once

#include <cstdint>
#include <string>

#include "image/Jpeg.h"
#include "platform/DateRecord.h"

class CExif {
 public:
  CExif() = default;
  virtual ~CExif() = default;
  CExif(const CExif&) = delete;
  CExif& operator=(const CExif&) = delete;

  // The file name of `path` (after the last '\', '/' or ':') into m_strOpenName, and that name
  // without its extension into m_strOpenTitle.
  void SetOpenName(std::u16string path);
  // The same into m_strFileName and m_strFileTitle (the current file).
  void SetFileName(std::u16string path);
  void SetFileDate(const DateRecord& date) { m_stFileDate = date; }

  // Scans the saved marker list of a header just read. Never fails.
  void ReadMarkers(jpeg_saved_marker_ptr markers);
  // Forgets every position into the saved markers; called whenever the markers are released.
  void ForgetMarkerPositions();

  // Whether the JPEG library should write its own JFIF APP0 marker (write_JFIF_header).
  int32_t WantJfifHeader(int32_t bKeepMetadata) const;
  // Writes the saved markers into `cinfo` right after the library's SOI/JFIF/Adobe markers,
  // as the save options ask. Calls only the library's marker writers and holds no object with
  // a destructor: a library error may leave through longjmp.
  void WriteMarkers(jpeg_saved_marker_ptr markers, j_compress_ptr cinfo, int32_t bKeepComments,
                    int32_t bKeepMetadata, int32_t iThumbnailMode, const uint8_t* thumbnail,
                    uint32_t thumbnailLength);

  uint16_t GetOrientation() const { return static_cast<uint16_t>(m_iOrientation); }
  void SetOrientation(uint16_t orientation);
  uint16_t ThumbnailWidth() const { return m_wThumbWidth; }
  uint16_t ThumbnailHeight() const { return m_wThumbHeight; }

  const std::u16string& OpenName() const { return m_strOpenName; }
  const std::u16string& OpenTitle() const { return m_strOpenTitle; }
  const std::u16string& FileName() const { return m_strFileName; }
  const std::u16string& FileTitle() const { return m_strFileTitle; }
  const DateRecord& FileDate() const { return m_stFileDate; }

 private:
  void SetEmptyState();

  int32_t m_bBigEndian = 0;           // byte order of the TIFF data: 0 "II", 1 "MM"
  std::u16string m_strOpenName;       // file name given at open
  std::u16string m_strOpenTitle;      // m_strOpenName without its extension
  std::u16string m_strFileName;       // current file name (replaced after each save to a path)
  std::u16string m_strFileTitle;      // m_strFileName without its extension
  DateRecord m_stFileDate;            // file date given at open (UTC); all zero from memory
  int32_t m_bHasJFIF = 0;             // a JFIF APP0 segment was found
  int32_t m_bHasExif = 0;             // an APP1 "Exif\0\0" segment was found
  uint32_t m_iExifLength = 0;         // TIFF data length: APP1 payload length minus 6
  uint32_t m_iLinkPos = 0;            // payload position of IFD0's next-IFD link; 0 if none
  uint32_t m_iCutPos = 0;             // TIFF position where the thumbnail part begins; 0 if none
  std::string m_strComment;           // payload of the last COM marker
  std::string m_strMake;              // Make (IFD0)
  std::string m_strModel;             // Model (IFD0)
  DateRecord m_stDateTaken;           // DateTimeOriginal; year 0 when absent
  std::u16string m_strResult;         // result buffer of the information text
  uint16_t m_wThumbWidth = 0;         // Exif thumbnail width from its SOF0; 0 if none
  uint16_t m_wThumbHeight = 0;        // Exif thumbnail height; 0 if none
  int32_t m_iOrientation = 1;         // orientation 1..8; 1 when the file has none
  uint8_t* m_pOrientation = nullptr;  // value field of IFD0's Orientation entry, or null
  uint8_t* m_pPixelXDim = nullptr;    // type field of PixelXDimension, or null
  uint8_t* m_pPixelYDim = nullptr;    // type field of PixelYDimension, or null
};
