// SPDX-License-Identifier: MIT
// CDllImage: construction, IUnknown, opening, closing and the small queries of ITessel.
#include "image/DllImage.h"

#include <cstring>
#include <new>

#include "actions/DllActionApplyBitmapChanges.h"
#include "actions/DllActionCrop.h"
#include "actions/DllActionFlipH.h"
#include "actions/DllActionFlipV.h"
#include "actions/DllActionGrayscale.h"
#include "actions/DllActionLevels.h"
#include "actions/DllActionReconstruct.h"
#include "actions/DllActionRotateLeft.h"
#include "actions/DllActionRotateRight.h"
#include "image/CoefficientLoader.h"
#include "image/Save.h"
#include "jpeg/Guarded.h"
#include "jpeg/Sources.h"
#include "pixels/FileThumbnail.h"
#include "pixels/Render.h"

namespace {

constexpr int kJcsGrayscale = 1;
constexpr int kJcsYCbCr = 3;

bool SameIID(const TesselIID& a, const TesselIID& b) {
  return std::memcmp(&a, &b, sizeof(TesselIID)) == 0;
}

}  // namespace

CDllImage::CDllImage() : m_info{}, m_errors{}, m_undo(this) {}

CDllImage::~CDllImage() { Close(); }

TSL_HRESULT CDllImage::QueryInterface(const TesselIID& riid, void** ppv) {
  if (ppv == nullptr) return TSL_E_POINTER;
  if (SameIID(riid, TSL_IID_IUnknown) || SameIID(riid, TSL_IID_ITessel)) {
    *ppv = static_cast<ITessel*>(this);
    AddRef();
    return TSL_S_OK;
  }
  if (SameIID(riid, TSL_IID_ITesselEx)) {
    *ppv = static_cast<ITesselEx*>(this);
    AddRef();
    return TSL_S_OK;
  }
  *ppv = nullptr;
  return TSL_E_NOINTERFACE;
}

TSL_ULONG CDllImage::AddRef() { return static_cast<TSL_ULONG>(++m_iRefCount); }

TSL_ULONG CDllImage::Release() {
  const int32_t count = --m_iRefCount;
  if (count != 0) return static_cast<TSL_ULONG>(count);
  delete this;
  return 0;
}

TSL_BOOL CDllImage::Open(const char16_t* path, TSL_BOOL headerOnly) {
  return Guarded(TSL_BOOL{0}, [&]() -> TSL_BOOL {
    Close();
    FILE* file = OpenForReading(path);
    if (file == nullptr) return 0;
    const std::u16string name(path);
    m_exif.SetOpenName(name);
    m_exif.SetFileName(name);
    FileTimes times;
    if (ReadFileTimes(file, &times)) m_times = times;
    m_exif.SetFileDate(FileDateRecord(m_times));
    Source source;
    source.file = file;
    const TSL_BOOL ok = OpenSource(source, headerOnly);
    std::fclose(file);
    return ok;
  });
}

TSL_BOOL CDllImage::OpenFromMemory(const uint8_t* data, int32_t size, TSL_BOOL headerOnly) {
  return Guarded(TSL_BOOL{0}, [&]() -> TSL_BOOL {
    Close();
    if (data == nullptr || size < 0) return 0;
    m_exif.SetOpenName(std::u16string());
    m_exif.SetFileName(std::u16string());
    m_exif.SetFileDate(DateRecord{});
    Source source;
    source.data = data;
    source.size = size;
    return OpenSource(source, headerOnly);
  });
}

TSL_BOOL CDllImage::OpenSource(const Source& source, TSL_BOOL headerOnly) {
  if (!ReadHeaderAndStore(source, headerOnly)) return 0;
  m_iWidth = static_cast<int32_t>(m_info.image_width);
  m_iHeight = static_cast<int32_t>(m_info.image_height);
  m_exif.ReadMarkers(m_info.marker_list);
  if (headerOnly) {
    m_headerOnlyInfo = DescribeImage();
    DestroyHeaderDecompressor();
  }
  return 1;
}

// Creates the header decompressor, reads the header with every COM and APPn marker saved and,
// unless only the header is wanted, loads the coefficient store. On failure the header
// decompressor is destroyed and no store exists.
TSL_BOOL CDllImage::ReadHeaderAndStore(const Source& source, TSL_BOOL headerOnly) {
  MemorySource memory{};
  m_info = jpeg_decompress_struct{};
  m_info.err = PrepareErrorRecord(m_errors);
  if (TSL_ARM_ERRORS(m_errors)) {
    DestroyHeaderDecompressor();
    return 0;
  }
  jpeg_create_decompress(&m_info);
  m_bInfoAlive = true;
  const JpegInput input{source.file, source.data, source.size};
  AttachJpegInput(&m_info, input, &memory);
  jpeg_save_markers(&m_info, JPEG_COM, 0xFFFF);
  for (int code = JPEG_APP0; code <= JPEG_APP0 + 15; ++code)
    jpeg_save_markers(&m_info, code, 0xFFFF);
  jpeg_read_header(&m_info, TRUE);
  // The source only lives for this call; the header decompressor is never read from again.
  m_info.src = nullptr;
  if (headerOnly) return 1;
  // An image whose store could not be counted in 32 bits is refused before anything is
  // allocated (the library's own coefficient arrays included).
  if (!StoreGeometry::ForImage(m_info, m_info.image_width, m_info.image_height) ||
      !LoadCoefficients(m_info, input, &m_pCoefficients, &m_iCoefficientCount)) {
    DestroyHeaderDecompressor();
    return 0;
  }
  return 1;
}

void CDllImage::DestroyHeaderDecompressor() {
  // The Exif model points into the saved markers, which go with the decompressor.
  m_exif.ForgetMarkerPositions();
  if (!m_bInfoAlive) return;
  m_info.src = nullptr;
  jpeg_destroy_decompress(&m_info);
  m_bInfoAlive = false;
}

void CDllImage::Close() {
  m_undo.Clear();
  m_headerOnlyInfo.reset();
  if (m_pCoefficients != nullptr) {
    m_pCoefficients.reset();
    m_iCoefficientCount = 0;
    DestroyHeaderDecompressor();
  }
  m_strSavedPath.clear();
}

TSL_BOOL CDllImage::IsOpen() { return m_pCoefficients != nullptr ? 1 : 0; }

int32_t CDllImage::GetWidth() { return m_iWidth; }

int32_t CDllImage::GetHeight() { return m_iHeight; }

int32_t CDllImage::GetMCUWidth() { return 8 * m_info.max_h_samp_factor; }

int32_t CDllImage::GetMCUHeight() { return 8 * m_info.max_v_samp_factor; }

void CDllImage::ReplaceStore(CoefficientArray values, int32_t count) {
  m_pCoefficients = std::move(values);
  m_iCoefficientCount = count;
}

TSL_BOOL CDllImage::Reconstruct(int32_t passes, TesselProgressFunc progress) {
  return Guarded<TSL_BOOL>(
      0, [&] { return m_undo.DoAction(new CDllActionReconstruct(passes, progress)); });
}

TSL_BOOL CDllImage::GetBitmap(uint8_t* bits, int32_t stride, int32_t fullMCU) {
  return RenderBitmap(View(), bits, stride, fullMCU);
}

int32_t CDllImage::GetFileSize() {
  return Guarded(int32_t{0}, [&]() -> int32_t { return LosslessFileSize(*this); });
}

TSL_BOOL CDllImage::Save(const char16_t* path, const TesselSaveOptions* options) {
  return Guarded(TSL_BOOL{0}, [&]() -> TSL_BOOL { return SaveImageFile(*this, path, options); });
}

TSL_BOOL CDllImage::SaveToMemory(uint8_t* buffer, int32_t capacity) {
  return Guarded(TSL_BOOL{0},
                 [&]() -> TSL_BOOL { return SaveLosslessToMemory(*this, buffer, capacity); });
}

TSL_BOOL CDllImage::DrawFileThumbnail(const char16_t* path, uint8_t* bits, int32_t boxWidth,
                                      int32_t boxHeight, int32_t stride, int32_t red, int32_t green,
                                      int32_t blue, int32_t* outWidth, int32_t* outHeight,
                                      int32_t flags) {
  return Guarded(TSL_BOOL{0}, [&]() -> TSL_BOOL {
    return ::DrawFileThumbnail(path, bits, boxWidth, boxHeight, stride, red, green, blue, outWidth,
                               outHeight, flags);
  });
}

// Every edit slot creates its action and hands it to the undo manager, which owns it from then
// on; a failed allocation of the action is a failed edit.
TSL_BOOL CDllImage::Crop(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return Guarded(TSL_BOOL{0},
                 [&] { return m_undo.DoAction(new CDllActionCrop(left, top, right, bottom)); });
}

TSL_BOOL CDllImage::FlipH(int32_t keepPartial) {
  return Guarded(TSL_BOOL{0}, [&] { return m_undo.DoAction(new CDllActionFlipH(keepPartial)); });
}

TSL_BOOL CDllImage::FlipV(int32_t keepPartial) {
  return Guarded(TSL_BOOL{0}, [&] { return m_undo.DoAction(new CDllActionFlipV(keepPartial)); });
}

TSL_BOOL CDllImage::RotateLeft(int32_t keepPartial) {
  return Guarded(TSL_BOOL{0},
                 [&] { return m_undo.DoAction(new CDllActionRotateLeft(keepPartial)); });
}

TSL_BOOL CDllImage::RotateRight(int32_t keepPartial) {
  return Guarded(TSL_BOOL{0},
                 [&] { return m_undo.DoAction(new CDllActionRotateRight(keepPartial)); });
}

TSL_BOOL CDllImage::ApplyBitmapChanges(uint8_t** ppBits, int32_t stride, int32_t force,
                                       Statistics* stats) {
  return Guarded<TSL_BOOL>(0, [&] {
    return m_undo.DoAction(new CDllActionApplyBitmapChanges(ppBits, stride, force, stats));
  });
}

TSL_BOOL CDllImage::Grayscale() {
  return Guarded(TSL_BOOL{0}, [&] { return m_undo.DoAction(new CDllActionGrayscale()); });
}

TSL_BOOL CDllImage::CanGrayscale() {
  // The luminance alone is the image only when it is sampled at the largest factors.
  return IsOpen() && m_info.jpeg_color_space == kJcsYCbCr &&
                 m_info.comp_info[0].h_samp_factor == m_info.max_h_samp_factor &&
                 m_info.comp_info[0].v_samp_factor == m_info.max_v_samp_factor
             ? 1
             : 0;
}

TSL_BOOL CDllImage::Levels(int32_t offset0, int32_t offset1, int32_t offset2) {
  return Guarded(TSL_BOOL{0},
                 [&] { return m_undo.DoAction(new CDllActionLevels(offset0, offset1, offset2)); });
}

TSL_BOOL CDllImage::CanLevels() {
  const int space = m_info.jpeg_color_space;
  return IsOpen() && (space == kJcsGrayscale || space == kJcsYCbCr) ? 1 : 0;
}

void CDllImage::SetUndoStore(IUndoStore* store) { m_undo.SetUndoStore(store); }

TSL_BOOL CDllImage::Undo() {
  return Guarded(TSL_BOOL{0}, [&]() -> TSL_BOOL { return m_undo.Undo(); });
}

const char16_t* CDllImage::FormatExifInfo(const char16_t* templ, uint32_t useFileDate,
                                          uint32_t locale, const char16_t* datePicture,
                                          const char16_t* timePicture, int32_t withSubSeconds) {
  return Guarded(static_cast<const char16_t*>(u""), [&]() -> const char16_t* {
    if (templ == nullptr || datePicture == nullptr || timePicture == nullptr) return u"";
    return m_exif.FormatInfo(templ, useFileDate, locale, datePicture, timePicture, withSubSeconds);
  });
}

uint16_t CDllImage::GetOrientation() { return m_exif.GetOrientation(); }

void CDllImage::SetOrientation(uint16_t orientation) { m_exif.SetOrientation(orientation); }

TesselThumbnailSize CDllImage::GetExifThumbnailSize() {
  return TesselThumbnailSize{m_exif.ThumbnailWidth(), m_exif.ThumbnailHeight()};
}

TSL_BOOL CDllImage::IsGrayscale() { return m_info.jpeg_color_space == kJcsGrayscale ? 1 : 0; }

void CDllImage::GetCoefficients(int16_t** ppCoefficients, int32_t* pCount) {
  if (ppCoefficients != nullptr) *ppCoefficients = m_pCoefficients.get();
  if (pCount != nullptr) *pCount = m_pCoefficients != nullptr ? m_iCoefficientCount : 0;
}

TSL_BOOL CDllImage::SetCoefficients(const int16_t* coefficients, int32_t count) {
  if (!IsOpen() || coefficients == nullptr || count != m_iCoefficientCount) return 0;
  // The host may hand back the store's own array.
  std::memmove(m_pCoefficients.get(), coefficients, static_cast<size_t>(count) * sizeof(int16_t));
  return 1;
}

extern "C" TSL_EXPORT TSL_HRESULT CreateTesselObject(ITessel** ppObject) {
  if (ppObject == nullptr) return TSL_E_POINTER;
  CDllImage* image = new (std::nothrow) CDllImage();
  if (image == nullptr) return TSL_E_OUTOFMEMORY;
  *ppObject = image;
  image->AddRef();
  return TSL_S_OK;
}
