// SPDX-License-Identifier: MIT
// CDllImage: the slots of ITesselEx, the extension interface beyond ITessel's 36.
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>

#include "image/DllImage.h"

namespace {

// Every option is a whole number in a range of its own.
bool InRange(int64_t value, int64_t low, int64_t high) { return value >= low && value <= high; }

constexpr int64_t kMaxThreads = 256;

// The pixels GetBitmap writes: the image, or whole MCUs of it.
struct PixelArea {
  int64_t width = 0;
  int64_t height = 0;
};

int64_t RoundUp(int64_t value, int64_t multiple) {
  return multiple > 0 ? (value + multiple - 1) / multiple * multiple : value;
}

PixelArea RenderedArea(ITessel& image, bool fullMCU) {
  PixelArea area{image.GetWidth(), image.GetHeight()};
  if (fullMCU) {
    area.width = RoundUp(area.width, image.GetMCUWidth());
    area.height = RoundUp(area.height, image.GetMCUHeight());
  }
  return area;
}

// The renderer writes blue, green, red; turning that into red, green, blue afterwards costs one
// pass over rows that are still in the cache for small images.
void SwapRedAndBlue(uint8_t* bits, int32_t stride, const PixelArea& area) {
  for (int64_t y = 0; y < area.height; ++y) {
    uint8_t* pixel = bits + y * stride;
    for (int64_t x = 0; x < area.width; ++x, pixel += 3) std::swap(pixel[0], pixel[2]);
  }
}

// Reconstruct takes a plain progress function, so the host's function and context reach it
// through the calling thread: the filter calls progress on the thread that called Reconstruct.
struct ProgressTarget {
  TesselProgressCallback progress = nullptr;
  void* context = nullptr;
};
thread_local ProgressTarget t_progress;

int32_t ForwardProgress(int32_t percent) {
  const ProgressTarget target = t_progress;
  return target.progress != nullptr ? target.progress(target.context, percent) : 1;
}

// Installs a target for one call and puts back the one before it, so that a progress function
// may itself run the filter on another image.
class ScopedProgress {
 public:
  ScopedProgress(TesselProgressCallback progress, void* context) : m_previous(t_progress) {
    t_progress = ProgressTarget{progress, context};
  }
  ~ScopedProgress() { t_progress = m_previous; }
  ScopedProgress(const ScopedProgress&) = delete;
  ScopedProgress& operator=(const ScopedProgress&) = delete;

 private:
  ProgressTarget m_previous;
};

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

TSL_BOOL CDllImage::GetPixels(uint8_t* bits, int32_t stride, int32_t fullMCU, int32_t order) {
  if (!IsOpen()) return Fail(TSL_ERROR_NOT_OPEN, "no image is open in full");
  if (bits == nullptr) return Fail(TSL_ERROR_INVALID_ARGUMENT, "no pixel buffer");
  if (order != TSL_PIXELS_BGR && order != TSL_PIXELS_RGB) {
    return Fail(TSL_ERROR_INVALID_ARGUMENT, "unknown pixel order " + std::to_string(order));
  }
  const PixelArea area = RenderedArea(*this, fullMCU != 0);
  // Rows closer together than a row of pixels would overwrite each other.
  if (std::llabs(int64_t{stride}) < 3 * area.width) {
    return Fail(TSL_ERROR_INVALID_ARGUMENT, "stride " + std::to_string(stride) +
                                                " is shorter than a row of " +
                                                std::to_string(area.width) + " pixels");
  }
  if (!GetBitmap(bits, stride, fullMCU)) {
    return Fail(TSL_ERROR_UNSUPPORTED,
                "this image cannot be rendered (its colour space or sampling is not handled)");
  }
  if (order == TSL_PIXELS_RGB) SwapRedAndBlue(bits, stride, area);
  return 1;
}

TSL_BOOL CDllImage::SaveToFunction(const TesselSaveOptions*, TesselWriteFunc, void*) {
  return Fail(TSL_ERROR_UNSUPPORTED, "not available yet");
}

TSL_BOOL CDllImage::ReconstructWithContext(int32_t passes, TesselProgressCallback progress,
                                           void* context) {
  if (!IsOpen()) return Fail(TSL_ERROR_NOT_OPEN, "no image is open in full");
  const int32_t previousCode = m_iLastError;
  const std::string previousText = m_strLastError;
  TSL_BOOL done = 0;
  if (progress == nullptr) {
    done = Reconstruct(passes, nullptr);
  } else {
    const ScopedProgress scope(progress, context);
    done = Reconstruct(passes, &ForwardProgress);
  }
  // A failure the filter gave no reason of its own for still gets one.
  if (!done && m_iLastError == previousCode && m_strLastError == previousText) {
    return Fail(TSL_ERROR_REFUSED,
                "the filter cannot run on this image (more than four components or a missing "
                "quantization table) or memory ran out");
  }
  return done;
}

const char* CDllImage::GetInfoJson() { return ""; }
