// SPDX-License-Identifier: MIT
// CDllImage: the slots of ITesselEx, the extension interface beyond ITessel's 36.
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <utility>

#include "image/DllImage.h"
#include "jpeg/CoefficientStore.h"

namespace {

// Every option is a whole number in a range of its own.
bool InRange(int64_t value, int64_t low, int64_t high) { return value >= low && value <= high; }

constexpr int64_t kMaxThreads = 256;

// Components a TesselImageInfo has room for.
constexpr int kDescribedComponents = static_cast<int>(std::size(TesselImageInfo{}.aComponents));

// The quantization table a component names, or null when the stream has no such table (a
// header-only open accepts that; a full open does not).
const JQUANT_TBL* QuantTable(const jpeg_decompress_struct& info, int number) {
  return number >= 0 && number < NUM_QUANT_TBLS ? info.quant_tbl_ptrs[number] : nullptr;
}

// One component's sampling factors and quantizers, from the header.
TesselComponentInfo DescribeComponent(const jpeg_decompress_struct& info, int c) {
  const jpeg_component_info& comp = info.comp_info[c];
  TesselComponentInfo out{};
  out.iHSampling = comp.h_samp_factor;
  out.iVSampling = comp.v_samp_factor;
  // libjpeg keeps quantizers in natural order, as the store's blocks are.
  if (const JQUANT_TBL* table = QuantTable(info, comp.quant_tbl_no)) {
    std::copy(std::begin(table->quantval), std::end(table->quantval), std::begin(out.awQuant));
  }
  return out;
}

// The pixels GetBitmap writes: the image, or whole MCUs of it.
struct PixelArea {
  int64_t width = 0;
  int64_t height = 0;
};

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

TSL_BOOL CDllImage::GetImageInfo(TesselImageInfo* info) {
  if (info == nullptr)
    return Fail(TSL_ERROR_INVALID_ARGUMENT, "no place for the image information");
  if (IsOpen()) return DeliverImageInfo(DescribeImage(), info);
  if (m_headerOnlyInfo) return DeliverImageInfo(*m_headerOnlyInfo, info);
  return Fail(TSL_ERROR_NOT_OPEN, "no image is open");
}

// Everything the header says, even what the interface cannot carry: iComponents is the stream's
// count. Each plane holds whole MCUs of its component, one plane after another. The planes are
// worked out in 64 bits without the store's 32-bit limit, since a header-only open describes
// frames whose store could never be made.
TesselImageInfo CDllImage::DescribeImage() const {
  TesselImageInfo out{};
  out.iWidth = m_iWidth;
  out.iHeight = m_iHeight;
  out.iColorSpace = m_info.jpeg_color_space;
  out.iComponents = m_info.num_components;
  out.iMCUWidth = 8 * m_info.max_h_samp_factor;
  out.iMCUHeight = 8 * m_info.max_v_samp_factor;
  out.bProgressive = m_info.progressive_mode ? 1 : 0;
  out.bArithmetic = m_info.arith_code ? 1 : 0;
  const int64_t mcuColumns = CeilDiv(m_iWidth, out.iMCUWidth);
  const int64_t mcuRows = CeilDiv(m_iHeight, out.iMCUHeight);
  int64_t offset = 0;
  const int described = std::min(m_info.num_components, kDescribedComponents);
  for (int c = 0; c < described; ++c) {
    TesselComponentInfo& plane = out.aComponents[c];
    plane = DescribeComponent(m_info, c);
    plane.iBlocksWide = static_cast<int32_t>(mcuColumns * plane.iHSampling);
    plane.iBlocksHigh = static_cast<int32_t>(mcuRows * plane.iVSampling);
    plane.iStoreOffset = offset;
    offset += int64_t{64} * plane.iBlocksWide * plane.iBlocksHigh;
  }
  return out;
}

TSL_BOOL CDllImage::DeliverImageInfo(const TesselImageInfo& described, TesselImageInfo* out) {
  if (described.iComponents > kDescribedComponents) {
    return Fail(TSL_ERROR_UNSUPPORTED, "the image has more than four components");
  }
  *out = described;
  return 1;
}

// The slots below are filled in by the work that needs them; until then they fail plainly.

TSL_BOOL CDllImage::GetDamage(TesselDamage*) {
  return Fail(TSL_ERROR_UNSUPPORTED, "not available yet");
}

TSL_BOOL CDllImage::Transpose() { return Fail(TSL_ERROR_UNSUPPORTED, "not available yet"); }

TSL_BOOL CDllImage::Transverse(int32_t) { return Fail(TSL_ERROR_UNSUPPORTED, "not available yet"); }

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
