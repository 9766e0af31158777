// SPDX-License-Identifier: MIT
// CDllImage: the image object behind ITessel. It owns the coefficient store, the header
// decompressor, the error record, the Exif model and the undo manager.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "actions/DllUndoMan.h"
#include "actions/EditableImage.h"
#include "image/ImageSettings.h"
#include "jpeg/CoefficientStore.h"
#include "jpeg/ErrorRecord.h"
#include "jpeg/Jpeg.h"
#include "metadata/Exif.h"
#include "platform/Files.h"
#include "tessel/tessel.h"

class CDllImage final : public ITessel, public ITesselEx, public EditableImage {
 public:
  CDllImage();
  virtual ~CDllImage();
  CDllImage(const CDllImage&) = delete;
  CDllImage& operator=(const CDllImage&) = delete;

  // ITessel, in slot order.
  TSL_HRESULT QueryInterface(const TesselIID& riid, void** ppv) override;
  TSL_ULONG AddRef() override;
  TSL_ULONG Release() override;
  TSL_BOOL Open(const char16_t* path, TSL_BOOL headerOnly) override;
  TSL_BOOL OpenFromMemory(const uint8_t* data, int32_t size, TSL_BOOL headerOnly) override;
  void Close() override;
  TSL_BOOL IsOpen() override;
  int32_t GetWidth() override;
  int32_t GetHeight() override;
  int32_t GetMCUWidth() override;
  int32_t GetMCUHeight() override;
  TSL_BOOL Reconstruct(int32_t passes, TesselProgressFunc progress) override;
  TSL_BOOL GetBitmap(uint8_t* bits, int32_t stride, int32_t fullMCU) override;
  int32_t GetFileSize() override;
  TSL_BOOL Save(const char16_t* path, const TesselSaveOptions* options) override;
  TSL_BOOL SaveToMemory(uint8_t* buffer, int32_t capacity) override;
  TSL_BOOL DrawFileThumbnail(const char16_t* path, uint8_t* bits, int32_t boxWidth,
                             int32_t boxHeight, int32_t stride, int32_t red, int32_t green,
                             int32_t blue, int32_t* outWidth, int32_t* outHeight,
                             int32_t flags) override;
  TSL_BOOL Crop(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  TSL_BOOL FlipH(int32_t keepPartial) override;
  TSL_BOOL FlipV(int32_t keepPartial) override;
  TSL_BOOL RotateLeft(int32_t keepPartial) override;
  TSL_BOOL RotateRight(int32_t keepPartial) override;
  TSL_BOOL ApplyBitmapChanges(uint8_t** ppBits, int32_t stride, int32_t force,
                              Statistics* stats) override;
  TSL_BOOL Grayscale() override;
  TSL_BOOL CanGrayscale() override;
  TSL_BOOL Levels(int32_t offset0, int32_t offset1, int32_t offset2) override;
  TSL_BOOL CanLevels() override;
  void SetUndoStore(IUndoStore* store) override;
  TSL_BOOL Undo() override;
  const char16_t* FormatExifInfo(const char16_t* templ, uint32_t useFileDate, uint32_t locale,
                                 const char16_t* datePicture, const char16_t* timePicture,
                                 int32_t withSubSeconds) override;
  uint16_t GetOrientation() override;
  void SetOrientation(uint16_t orientation) override;
  TesselThumbnailSize GetExifThumbnailSize() override;
  TSL_BOOL IsGrayscale() override;
  void GetCoefficients(int16_t** ppCoefficients, int32_t* pCount) override;
  TSL_BOOL SetCoefficients(const int16_t* coefficients, int32_t count) override;

  // ITesselEx, in slot order after the three of IUnknown above (image/DllImageExtension.cpp).
  int32_t GetLastError() override;
  const char* GetLastErrorText() override;
  TSL_HRESULT SetOption(int32_t option, int64_t value) override;
  TSL_HRESULT GetOption(int32_t option, int64_t* value) override;
  TSL_BOOL GetDamage(TesselDamage* report) override;
  TSL_BOOL Transpose() override;
  TSL_BOOL Transverse(int32_t keepPartial) override;
  TSL_BOOL GetImageInfo(TesselImageInfo* info) override;
  TSL_BOOL GetPixels(uint8_t* bits, int32_t stride, int32_t fullMCU, int32_t order) override;
  TSL_BOOL SaveToFunction(const TesselSaveOptions* options, TesselWriteFunc write,
                          void* context) override;
  TSL_BOOL ReconstructWithContext(int32_t passes, TesselProgressCallback progress,
                                  void* context) override;
  const char* GetInfoJson() override;

  // Operations for the other parts of the library (not part of the interfaces).

  // The settings made with SetOption.
  const ImageSettings& Settings() const { return m_settings; }

  // EditableImage: what the actions read and change (actions/EditableImage.h).
  jpeg_decompress_struct* HeaderDecompressor() override { return &m_info; }
  int16_t* Coefficients() override { return m_pCoefficients.get(); }
  int32_t CoefficientCount() const override { return m_iCoefficientCount; }
  void ReplaceStore(CoefficientArray values, int32_t count) override;
  int32_t Width() const override { return m_iWidth; }
  int32_t Height() const override { return m_iHeight; }
  void SetSize(int32_t width, int32_t height) override {
    m_iWidth = width;
    m_iHeight = height;
  }
  uint16_t ExifOrientation() const override { return m_exif.GetOrientation(); }
  void SetExifOrientation(uint16_t orientation) override { m_exif.SetOrientation(orientation); }
  // Records why the current call fails (TSL_ERROR_* and one line of text) and returns FALSE,
  // so that a failure path reads `return Fail(TSL_ERROR_REFUSED, "...")`.
  TSL_BOOL Fail(int32_t code, std::string text) override;
  int32_t Threads() const override { return m_settings.threads; }

  // What rendering and the writers read: the header decompressor, the store and the size.
  StoreView View() const {
    return StoreView{&m_info, m_pCoefficients.get(), m_iCoefficientCount, m_iWidth, m_iHeight};
  }
  // The error record shared by the header decompressor and the lossless writer.
  ErrorRecord& Errors() { return m_errors; }
  CExif& Exif() { return m_exif; }
  // The times captured by the last Open (zero on a new object).
  const FileTimes& Times() const { return m_times; }
  // Path of the most recent successful Save; empty after construction and Close.
  const std::u16string& SavedPath() const { return m_strSavedPath; }
  void SetSavedPath(std::u16string path) { m_strSavedPath = std::move(path); }

 private:
  // Where an open reads from: a file or the caller's bytes.
  struct Source {
    FILE* file = nullptr;
    const uint8_t* data = nullptr;
    int32_t size = 0;
  };
  TSL_BOOL OpenSource(const Source& source, TSL_BOOL headerOnly);
  TSL_BOOL ReadHeaderAndStore(const Source& source, TSL_BOOL headerOnly);
  void DestroyHeaderDecompressor();
  // The image as the header decompressor and the current size describe it (see
  // image/DllImageExtension.cpp); needs a live header decompressor.
  TesselImageInfo DescribeImage() const;
  // Copies a description to the host's `out`, or fails when it does not fit the interface.
  TSL_BOOL DeliverImageInfo(const TesselImageInfo& described, TesselImageInfo* out);

  int32_t m_iRefCount = 0;                // the factory raises it to 1
  std::u16string m_strSavedPath;          // path of the most recent successful Save
  FileTimes m_times;                      // creation, last access, last write of the last Open
  int32_t m_iWidth = 0;                   // current image width in pixels
  int32_t m_iHeight = 0;                  // current image height in pixels
  CExif m_exif;                           // metadata of the opened image
  jpeg_decompress_struct m_info;          // the header decompressor (zeroed when never created)
  bool m_bInfoAlive = false;              // m_info is created and not yet destroyed
  ErrorRecord m_errors;                   // error record of m_info and the lossless writer
  CoefficientArray m_pCoefficients;       // the coefficient store; null when no image is open
  int32_t m_iCoefficientCount = 0;        // number of values in the store
  CDllUndoMan m_undo;                     // the undo manager
  ImageSettings m_settings;               // options set through ITesselEx
  int32_t m_iLastError = TSL_ERROR_NONE;  // code of the most recent failing call
  std::string m_strLastError;             // its reason, one line of UTF-8
  // GetImageInfo's answer after a header-only open, whose header decompressor is gone.
  std::optional<TesselImageInfo> m_headerOnlyInfo;
};
