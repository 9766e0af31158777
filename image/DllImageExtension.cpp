// SPDX-License-Identifier: MIT
// CDllImage: the slots of ITesselEx, the extension interface beyond ITessel's 36.
#include <limits>
#include <string>
#include <utility>

#include "image/DllImage.h"

namespace {

// Every option is a whole number in a range of its own.
bool InRange(int64_t value, int64_t low, int64_t high) { return value >= low && value <= high; }

constexpr int64_t kMaxThreads = 256;

}  // namespace

TSL_BOOL CDllImage::Fail(int32_t code, std::string text) {
  m_iLastError = code;
  m_strLastError = std::move(text);
  return 0;
}

int32_t CDllImage::GetLastError() { return m_iLastError; }

const char* CDllImage::GetLastErrorText() { return m_strLastError.c_str(); }

TSL_HRESULT CDllImage::SetOption(int32_t option, int64_t value) {
  constexpr int64_t kUnbounded = std::numeric_limits<int64_t>::max();
  switch (option) {
    case TSL_OPTION_MAX_MEMORY:
      if (!InRange(value, 0, kUnbounded)) break;
      m_settings.maxMemory = value;
      return TSL_S_OK;
    case TSL_OPTION_MAX_SCANS:
      if (!InRange(value, 0, kUnbounded)) break;
      m_settings.maxScans = value;
      return TSL_S_OK;
    case TSL_OPTION_MAX_MARKERS:
      if (!InRange(value, 0, kUnbounded)) break;
      m_settings.maxMarkers = value;
      return TSL_S_OK;
    case TSL_OPTION_THREADS:
      if (!InRange(value, 0, kMaxThreads)) break;
      m_settings.threads = static_cast<int32_t>(value);
      return TSL_S_OK;
    case TSL_OPTION_EXIF_THUMBNAIL:
      if (!InRange(value, 0, 1)) break;
      m_settings.exifThumbnailFollows = value != 0;
      return TSL_S_OK;
    case TSL_OPTION_THUMBNAIL_ORIENT:
      if (!InRange(value, 0, 1)) break;
      m_settings.thumbnailOrient = value != 0;
      return TSL_S_OK;
    default:
      break;
  }
  Fail(TSL_ERROR_INVALID_ARGUMENT, "unknown option or value out of range");
  return TSL_E_INVALIDARG;
}

TSL_HRESULT CDllImage::GetOption(int32_t option, int64_t* value) {
  if (value == nullptr) return TSL_E_POINTER;
  switch (option) {
    case TSL_OPTION_MAX_MEMORY:
      *value = m_settings.maxMemory;
      return TSL_S_OK;
    case TSL_OPTION_MAX_SCANS:
      *value = m_settings.maxScans;
      return TSL_S_OK;
    case TSL_OPTION_MAX_MARKERS:
      *value = m_settings.maxMarkers;
      return TSL_S_OK;
    case TSL_OPTION_THREADS:
      *value = m_settings.threads;
      return TSL_S_OK;
    case TSL_OPTION_EXIF_THUMBNAIL:
      *value = m_settings.exifThumbnailFollows ? 1 : 0;
      return TSL_S_OK;
    case TSL_OPTION_THUMBNAIL_ORIENT:
      *value = m_settings.thumbnailOrient ? 1 : 0;
      return TSL_S_OK;
    default:
      Fail(TSL_ERROR_INVALID_ARGUMENT, "unknown option");
      return TSL_E_INVALIDARG;
  }
}

// The slots below are filled in by the work that needs them; until then they fail plainly.

TSL_BOOL CDllImage::GetDamage(TesselDamage*) {
  return Fail(TSL_ERROR_UNSUPPORTED, "not available yet");
}

TSL_BOOL CDllImage::Transpose() { return Fail(TSL_ERROR_UNSUPPORTED, "not available yet"); }

TSL_BOOL CDllImage::Transverse(int32_t) { return Fail(TSL_ERROR_UNSUPPORTED, "not available yet"); }

TSL_BOOL CDllImage::GetImageInfo(TesselImageInfo*) {
  return Fail(TSL_ERROR_UNSUPPORTED, "not available yet");
}

TSL_BOOL CDllImage::GetPixels(uint8_t*, int32_t, int32_t, int32_t) {
  return Fail(TSL_ERROR_UNSUPPORTED, "not available yet");
}

TSL_BOOL CDllImage::SaveToFunction(const TesselSaveOptions*, TesselWriteFunc, void*) {
  return Fail(TSL_ERROR_UNSUPPORTED, "not available yet");
}

TSL_BOOL CDllImage::ReconstructWithContext(int32_t, TesselProgressCallback, void*) {
  return Fail(TSL_ERROR_UNSUPPORTED, "not available yet");
}

const char* CDllImage::GetInfoJson() { return ""; }
