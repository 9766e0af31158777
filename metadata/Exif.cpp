// SPDX-License-Identifier: MIT
// CExif: file names, file date, the empty state and the orientation accessors.
#include "metadata/Exif.h"

#include <cstring>

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
  m_wThumbWidth = 0;
  m_wThumbHeight = 0;
  m_iOrientation = 1;
  ForgetMarkerPositions();
  m_bHasJFIF = 0;
  m_bHasExif = 0;
  m_iLinkPos = 0;
  m_iCutPos = 0;
}

void CExif::ForgetMarkerPositions() {
  m_pOrientation = nullptr;
  m_pPixelXDim = nullptr;
  m_pPixelYDim = nullptr;
}

// Notes the JFIF marker for now; the Exif segment's values are read by the full reader.
void CExif::ReadMarkers(jpeg_saved_marker_ptr markers) {
  SetEmptyState();
  for (jpeg_saved_marker_ptr m = markers; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 && m->data_length >= 5 && std::memcmp(m->data, "JFIF\0", 5) == 0) {
      m_bHasJFIF = 1;
    }
  }
}

void CExif::SetOrientation(uint16_t orientation) {
  if (m_pOrientation == nullptr) return;
  m_iOrientation = orientation;
}
