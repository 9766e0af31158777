// SPDX-License-Identifier: MIT
// CExif: the image's metadata: file names and date, the Exif values read from the saved
// markers, the information text, and the writer that puts the markers back into a saved file.
#pragma once

#include <cstdint>
#include <string>

#include "jpeg/Jpeg.h"
#include "metadata/TiffCursor.h"
#include "platform/DateRecord.h"

// The code is split by role: Exif.cpp (names, empty state, orientation), ExifReader.cpp (the
// marker scan, IFD0, the thumbnail size, the cut position), ExifValues.cpp (the EXIF and GPS
// directories and their texts), ExifWriter.cpp (the markers of a saved file) and ExifInfo.cpp
// (the information text).
//
// Two kinds of position appear below: a TIFF position counts from the first byte of the TIFF
// header (the byte after "Exif\0\0"); a payload position counts from the first byte of the APP1
// payload, so it is the TIFF position plus 6.
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

  // Scans the saved marker list of a header just read. Never fails: malformed metadata only
  // leaves values empty.
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

  // Expands a caption template (codes %M, %d, %GLt, ...) into m_strResult and returns it; the
  // pointer stays valid until the next call or the object's destruction.
  const char16_t* FormatInfo(const std::u16string& templ, uint32_t useFileDate, uint32_t locale,
                             const std::u16string& datePicture, const std::u16string& timePicture,
                             int32_t withSubSeconds);

  uint16_t GetOrientation() const { return static_cast<uint16_t>(m_iOrientation); }
  // Stores a new orientation in the saved Exif data, so that the next save writes it; does
  // nothing when the file has no Orientation entry (or its markers are gone).
  void SetOrientation(uint16_t orientation);
  uint16_t ThumbnailWidth() const { return m_wThumbWidth; }
  uint16_t ThumbnailHeight() const { return m_wThumbHeight; }

  const std::u16string& OpenName() const { return m_strOpenName; }
  const std::u16string& OpenTitle() const { return m_strOpenTitle; }
  const std::u16string& FileName() const { return m_strFileName; }
  const std::u16string& FileTitle() const { return m_strFileTitle; }
  const DateRecord& FileDate() const { return m_stFileDate; }

  // The values read, for the library's own callers and its tests.
  bool HasJfif() const { return m_bHasJFIF != 0; }
  bool HasExif() const { return m_bHasExif != 0; }
  bool BigEndian() const { return m_bBigEndian != 0; }
  uint32_t LinkPos() const { return m_iLinkPos; }
  uint32_t CutPos() const { return m_iCutPos; }
  const std::string& Comment() const { return m_strComment; }
  const std::string& Make() const { return m_strMake; }
  const std::string& Model() const { return m_strModel; }
  const DateRecord& DateTaken() const { return m_stDateTaken; }
  const std::string& SubSec() const { return m_strSubSec; }
  const std::string& ExposureTime() const { return m_strExposureTime; }
  const std::string& FNumber() const { return m_strFNumber; }
  const std::string& ISO() const { return m_strISO; }
  const std::string& ShutterSpeed() const { return m_strShutterSpeed; }
  const std::string& Aperture() const { return m_strAperture; }
  const std::string& FocalLength() const { return m_strFocalLength; }
  const std::u16string& UserComment() const { return m_strUserComment; }
  const std::string& FocalLength35() const { return m_strFocalLength35; }
  const std::string& LatitudeRef() const { return m_strLatitudeRef; }
  double Latitude() const { return m_dLatitude; }
  const std::string& LongitudeRef() const { return m_strLongitudeRef; }
  double Longitude() const { return m_dLongitude; }
  uint8_t AltitudeRef() const { return m_byAltitudeRef; }
  double Altitude() const { return m_dAltitude; }
  bool HasOrientationEntry() const { return m_pOrientation != nullptr; }
  bool HasPixelDimensions() const { return m_pPixelXDim != nullptr && m_pPixelYDim != nullptr; }

 private:
  void SetEmptyState();

  // The reader (ExifReader.cpp).
  void ReadExifSegment(jpeg_saved_marker_ptr segment);
  // Walks IFD0: its values, the EXIF and GPS directory positions and the link position.
  void ReadIfd0(const TiffCursor& tiff, uint32_t ifd0, uint32_t* exifOffset, uint32_t* gpsOffset);
  void ReadThumbnailSize(const TiffCursor& tiff, uint32_t ifd1);
  // Moves m_iCutPos past the out-of-line data of the directory at `ifd`.
  void ExtendCutPos(const TiffCursor& tiff, uint32_t ifd);

  // The EXIF and GPS directories (ExifValues.cpp).
  void ReadExifIfd(const TiffCursor& tiff, uint32_t position);
  void ReadGpsIfd(const TiffCursor& tiff, uint32_t position);
  void ReadDateTaken(const TiffCursor& tiff, uint64_t entry);
  void ReadUserComment(const TiffCursor& tiff, uint64_t entry);
  uint8_t* Writable(const TiffCursor& tiff, uint64_t position, uint64_t count) const;

  // The writer (ExifWriter.cpp).
  void Put16(uint8_t* place, uint16_t value) const;
  void Put32(uint8_t* place, uint32_t value) const;
  void PatchPixelDimensions(j_compress_ptr cinfo);
  bool IsRebuildable(const jpeg_marker_struct& segment) const;
  void EmitExifWithThumbnail(j_compress_ptr cinfo, const jpeg_marker_struct& segment,
                             const uint8_t* thumbnail, uint32_t thumbnailLength) const;
  void EmitExifWithoutThumbnail(j_compress_ptr cinfo, const jpeg_marker_struct& segment) const;
  void EmitHead(j_compress_ptr cinfo, const jpeg_marker_struct& segment, uint32_t link) const;
  void Emit16(j_compress_ptr cinfo, uint32_t value) const;
  void Emit32(j_compress_ptr cinfo, uint32_t value) const;
  void EmitShortEntry(j_compress_ptr cinfo, uint16_t tag, uint16_t value) const;
  void EmitLongEntry(j_compress_ptr cinfo, uint16_t tag, uint16_t type, uint32_t value) const;

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
  std::string m_strComment;           // payload of the last COM marker, every byte
  std::string m_strMake;              // Make (IFD0)
  std::string m_strModel;             // Model (IFD0)
  DateRecord m_stDateTaken;           // DateTimeOriginal; year 0 when absent
  std::string m_strSubSec;            // SubSecTimeOriginal
  std::string m_strExposureTime;      // "1/250s", "2.5s"
  std::string m_strFNumber;           // "F2.8", "F4.00"
  std::string m_strISO;               // "ISO100"
  std::string m_strShutterSpeed;      // from the APEX time value: "1/125s", "2s"
  std::string m_strAperture;          // from the APEX aperture value: "F5.7"
  std::string m_strFocalLength;       // "6.3mm"
  std::u16string m_strUserComment;    // UserComment, ASCII widened or UNICODE units
  std::string m_strFocalLength35;     // "28mm"
  std::string m_strLatitudeRef;       // "N " or "S " (the stored letter and a space)
  double m_dLatitude = 0.0;           // decimal degrees, never negative
  std::string m_strLongitudeRef;      // "E " or "W "
  double m_dLongitude = 0.0;          // decimal degrees, never negative
  uint8_t m_byAltitudeRef = 0;        // 1: below sea level
  double m_dAltitude = 0.0;           // metres
  std::u16string m_strResult;         // result buffer of the information text
  uint16_t m_wThumbWidth = 0;         // Exif thumbnail width from its SOF0; 0 if none
  uint16_t m_wThumbHeight = 0;        // Exif thumbnail height; 0 if none
  int32_t m_iOrientation = 1;         // orientation 1..8; 1 when the file has none
  uint8_t* m_pOrientation = nullptr;  // value field of IFD0's Orientation entry, or null
  uint8_t* m_pPixelXDim = nullptr;    // type field of PixelXDimension, or null
  uint8_t* m_pPixelYDim = nullptr;    // type field of PixelYDimension, or null
  // Payload of the Exif segment that was read (the first one): the only one the writer
  // rebuilds, since the link and cut positions describe it alone; null with the positions.
  const uint8_t* m_pExifPayload = nullptr;
};
