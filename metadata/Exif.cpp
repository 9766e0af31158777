// SPDX-License-Identifier: MIT
// CExif: file names, file date, the empty state and the orientation.
#include "metadata/Exif.h"

namespace {

// The part of a path after its last '\', '/' or ':'.
std::u16string FileNameOf(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"\\/:");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

// A file name up to its last '.'; the whole name when it has none.
std::u16string TitleOf(const std::u16string& name) {
  const size_t dot = name.find_last_of(u'.');
  return dot == std::u16string::npos ? name : name.substr(0, dot);
}

}  // namespace

void CExif::SetOpenName(std::u16string path) {
  m_strOpenName = FileNameOf(path);
  m_strOpenTitle = TitleOf(m_strOpenName);
}

void CExif::SetFileName(std::u16string path) {
  m_strFileName = FileNameOf(path);
  m_strFileTitle = TitleOf(m_strFileName);
}

void CExif::SetEmptyState() {
  m_strComment.clear();
  m_strMake.clear();
  m_strModel.clear();
  m_stDateTaken = DateRecord{};
  m_strSubSec.clear();
  m_strExposureTime.clear();
  m_strFNumber.clear();
  m_strISO.clear();
  m_strShutterSpeed.clear();
  m_strAperture.clear();
  m_strFocalLength.clear();
  m_strUserComment.clear();
  m_strFocalLength35.clear();
  m_strLatitudeRef.clear();
  m_dLatitude = 0.0;
  m_strLongitudeRef.clear();
  m_dLongitude = 0.0;
  m_byAltitudeRef = 0;
  m_dAltitude = 0.0;
  m_wThumbWidth = 0;
  m_wThumbHeight = 0;
  m_iOrientation = 1;
  ForgetMarkerPositions();
  m_bHasJFIF = 0;
  m_bHasExif = 0;
}

// The link and cut positions describe the bytes of the saved Exif segment as much as the
// pointers do, so they go with them: a writer handed other markers rebuilds nothing.
void CExif::ForgetMarkerPositions() {
  m_pOrientation = nullptr;
  m_pPixelXDim = nullptr;
  m_pPixelYDim = nullptr;
  m_pExifPayload = nullptr;
  m_iLinkPos = 0;
  m_iCutPos = 0;
}

void CExif::SetOrientation(uint16_t orientation) {
  if (m_pOrientation == nullptr) return;
  m_iOrientation = orientation;
  Put16(m_pOrientation, orientation);
}
