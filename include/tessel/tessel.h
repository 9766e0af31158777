/* SPDX-License-Identifier: MIT */
/* The public interface of libtessel: the factory, ITessel, IUndoStore and their records. */
#ifndef TESSEL_TESSEL_H
#define TESSEL_TESSEL_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

/*
 * Conventions
 *
 * TSL_BOOL is a 32-bit integer: 1 for success, 0 for failure. TSL_HRESULT follows the COM
 * result codes below. Wide strings are NUL-terminated UTF-16 (char16_t); paths are turned into
 * UTF-8 for the file system.
 *
 * Bitmaps are 24 bits a pixel, bytes blue, green, red; pixel (x, y) is at
 * row0 + y * stride + 3 * x with a signed stride (negative for bottom-up buffers).
 *
 * C++ hosts call ITessel's methods directly. C hosts see ITessel as a struct whose first member
 * points to a table of the same 36 functions, each taking the object as its first argument:
 *     obj->lpVtbl->Open(obj, path, 0);
 */

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t TSL_BOOL;
typedef int32_t TSL_HRESULT;
typedef uint32_t TSL_ULONG;

#define TSL_TRUE 1
#define TSL_FALSE 0

#define TSL_S_OK ((TSL_HRESULT)0)
#define TSL_E_NOINTERFACE ((TSL_HRESULT)0x80004002u)
#define TSL_E_POINTER ((TSL_HRESULT)0x80004003u)
#define TSL_E_OUTOFMEMORY ((TSL_HRESULT)0x8007000Eu)

/* A 16-byte interface identifier, compared as raw bytes. */
typedef struct TesselIID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} TesselIID;

/* {00000000-0000-0000-C000-000000000046} */
static const TesselIID TSL_IID_IUnknown = {
    0x00000000u, 0x0000u, 0x0000u, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
/* {163753F0-D70F-4EDA-B3DC-A68E7E75B31D} */
static const TesselIID TSL_IID_ITessel = {
    0x163753F0u, 0xD70Fu, 0x4EDAu, {0xB3, 0xDC, 0xA6, 0x8E, 0x7E, 0x75, 0xB3, 0x1D}};

/* What Save writes and how; fields in this order, 56 bytes on a 64-bit system. */
typedef struct TesselSaveOptions {
  int32_t iMode;           /* 1: re-encode pBitmap; anything else: lossless from the coefficients */
  int32_t iQuality;        /* re-encoding quality, 0..100 */
  TSL_BOOL bSubsample;     /* re-encoding: first component 2x2 (non-zero) or 1x1 (zero) */
  TSL_BOOL bKeepFileTimes; /* give the new file the times captured by the last Open */
  TSL_BOOL bOptimize;      /* compute optimal Huffman tables */
  TSL_BOOL bKeepComments;  /* copy COM markers */
  TSL_BOOL bKeepMetadata;  /* copy APP1..APP14 and update the Exif data */
  int32_t iThumbnailMode;  /* Exif thumbnail: 0 remove, 1 keep, 2 make a new one */
  int32_t iThumbnailSize;  /* longest side of a new thumbnail, limited to 32..256 */
  uint8_t* pBitmap;        /* row 0 of a 24-bit bitmap of the current image, or null */
  int32_t iStride;         /* byte distance between pBitmap rows, negative for bottom-up */
} TesselSaveOptions;

/* The default save options, as an initializer: TesselSaveOptions o = TSL_SAVE_OPTIONS_DEFAULT; */
#define TSL_SAVE_OPTIONS_DEFAULT \
  { 0, 75, 1, 0, 1, 1, 1, 1, 160, NULL, 0 }

/* Counts filled by ApplyBitmapChanges. */
typedef struct Statistics {
  int32_t iMCUs;          /* every MCU of the image */
  int32_t iBlocks;        /* blocks that cover the image (filler blocks not counted) */
  int32_t iChangedMCUs;   /* MCUs found changed */
  int32_t iChangedBlocks; /* blocks re-encoded */
} Statistics;

/* Size of the embedded Exif thumbnail, returned by value. */
typedef struct TesselThumbnailSize {
  uint16_t wWidth;
  uint16_t wHeight;
} TesselThumbnailSize;

/* Progress of Reconstruct: receives a percentage, returns 0 to stop. */
typedef int32_t (*TesselProgressFunc)(int32_t percent);

/* Flags of DrawFileThumbnail. */
#define TSL_THUMB_WHITE_FRAME 1
#define TSL_THUMB_GREY_FRAME 2
#define TSL_THUMB_SHADOW 4

/*
 * ITesselEx: what the library offers beyond the 36 slots of ITessel.
 *
 * ITessel's table never changes. Everything added later lives in this one extension interface,
 * which the same object hands out: QueryInterface(TSL_IID_ITesselEx, &p). Both interfaces share
 * one reference count, and QueryInterface on either reaches the other.
 */

/* {6A0C3E51-2B7D-4F19-9E84-51D7C2A9F03B} */
static const TesselIID TSL_IID_ITesselEx = {
    0x6A0C3E51u, 0x2B7Du, 0x4F19u, {0x9E, 0x84, 0x51, 0xD7, 0xC2, 0xA9, 0xF0, 0x3B}};

#define TSL_E_INVALIDARG ((TSL_HRESULT)0x80070057u)

/* Why the most recent failing call on an object failed (ITesselEx::GetLastError). A call that
 * succeeds leaves the code and text of an earlier failure as they were. */
#define TSL_ERROR_NONE 0             /* no call has failed since the object was made */
#define TSL_ERROR_INVALID_ARGUMENT 1 /* a null pointer, a value out of range, a bad option */
#define TSL_ERROR_NOT_OPEN 2         /* the call needs an open image (a full open for edits) */
#define TSL_ERROR_IO 3               /* the file could not be opened, read or written */
#define TSL_ERROR_NOT_JPEG 4         /* the bytes are not a JPEG stream */
#define TSL_ERROR_UNSUPPORTED 5      /* a JPEG stream this library does not handle (12-bit...) */
#define TSL_ERROR_DAMAGED 6          /* the stream is damaged beyond what the call accepts */
#define TSL_ERROR_TOO_LARGE 7        /* over a limit: memory, scans, markers */
#define TSL_ERROR_OUT_OF_MEMORY 8    /* memory could not be had */
#define TSL_ERROR_REFUSED 9          /* the edit or save does not apply to this image */
#define TSL_ERROR_STOPPED 10         /* the progress function asked to stop */
#define TSL_ERROR_UNDO_STORE 11      /* the undo store refused to write or read */

/* Settings of one image object (ITesselEx::SetOption / GetOption). Values are 64-bit. */
#define TSL_OPTION_MAX_MEMORY 1     /* bytes the store and any whole-image buffer may take */
#define TSL_OPTION_MAX_SCANS 2      /* scans a stream may have */
#define TSL_OPTION_MAX_MARKERS 3    /* APPn and COM segments a stream may have */
#define TSL_OPTION_THREADS 4        /* threads one call may use: 0 as many as processors, 1 none */
#define TSL_OPTION_EXIF_THUMBNAIL 5 /* 1: edits transform the embedded Exif thumbnail too */
#define TSL_OPTION_THUMBNAIL_ORIENT 6 /* 1: DrawFileThumbnail draws after the Exif orientation */

/* What ITesselEx::GetDamage reports about the stream of the last Open. */
#define TSL_DAMAGE_TRUNCATED 1    /* the entropy-coded data ends before the image does */
#define TSL_DAMAGE_CORRUPT_DATA 2 /* corrupt entropy-coded data (bad Huffman code, bad marker) */
#define TSL_DAMAGE_OUT_OF_RANGE 4 /* a coefficient times its quantizer leaves 16 bits */

typedef struct TesselDamage {
  int32_t iFlags;    /* TSL_DAMAGE_* bits; 0 for an undamaged stream */
  int32_t iWarnings; /* warnings the decoder raised while reading the stream */
  int32_t iPermille; /* share of the image the data reached before it ended, 0..1000 */
  int32_t iReserved; /* zero */
} TesselDamage;

/* Pixel orders of ITesselEx::GetPixels. */
#define TSL_PIXELS_BGR 0 /* blue, green, red: the order of GetBitmap */
#define TSL_PIXELS_RGB 1 /* red, green, blue */

/* One component of the open image, as ITesselEx::GetImageInfo describes it. */
typedef struct TesselComponentInfo {
  int32_t iHSampling;   /* horizontal sampling factor, 1..4 */
  int32_t iVSampling;   /* vertical sampling factor, 1..4 */
  int32_t iBlocksWide;  /* blocks a row of the store holds for this component (whole MCUs) */
  int32_t iBlocksHigh;  /* block rows of the store for this component (whole MCUs) */
  int64_t iStoreOffset; /* index of the component's first value in the coefficient store */
  uint16_t awQuant[64]; /* quantization table, natural order */
} TesselComponentInfo;

/* The open image: colour space and components. */
typedef struct TesselImageInfo {
  int32_t iWidth;       /* pixels */
  int32_t iHeight;      /* pixels */
  int32_t iColorSpace;  /* libjpeg's J_COLOR_SPACE code of the stream: 1 gray, 2 RGB, 3 YCbCr, 4
                           CMYK, 5 YCCK */
  int32_t iComponents;  /* components, 1..4 */
  int32_t iMCUWidth;    /* pixels */
  int32_t iMCUHeight;   /* pixels */
  int32_t bProgressive; /* the stream was progressive */
  int32_t bArithmetic;  /* the stream was arithmetic-coded */
  TesselComponentInfo aComponents[4];
} TesselImageInfo;

/* Receives the saved stream in pieces: returns 0 to stop the save (it then fails). */
typedef int32_t (*TesselWriteFunc)(void* context, const uint8_t* data, size_t size);
/* Progress with the host's context: receives a percentage, returns 0 to stop. */
typedef int32_t (*TesselProgressCallback)(void* context, int32_t percent);

#ifdef __cplusplus
} /* extern "C" */
#endif

#ifdef __cplusplus

/* The host's undo store: keeps the bytes an edit destroys and gives them back on Undo. */
class IUndoStore {
 public:
  virtual TSL_BOOL Write(const void* data, uint32_t size) = 0;
  virtual TSL_BOOL Read(void* data, uint32_t size) = 0;
};

/* The image object. Slot order is part of the binary interface. */
class ITessel {
 public:
  virtual TSL_HRESULT QueryInterface(const TesselIID& riid, void** ppv) = 0;
  virtual TSL_ULONG AddRef() = 0;
  virtual TSL_ULONG Release() = 0;
  virtual TSL_BOOL Open(const char16_t* path, TSL_BOOL headerOnly) = 0;
  virtual TSL_BOOL OpenFromMemory(const uint8_t* data, int32_t size, TSL_BOOL headerOnly) = 0;
  virtual void Close() = 0;
  virtual TSL_BOOL IsOpen() = 0;
  virtual int32_t GetWidth() = 0;
  virtual int32_t GetHeight() = 0;
  virtual int32_t GetMCUWidth() = 0;
  virtual int32_t GetMCUHeight() = 0;
  virtual TSL_BOOL Reconstruct(int32_t passes, TesselProgressFunc progress) = 0;
  virtual TSL_BOOL GetBitmap(uint8_t* bits, int32_t stride, int32_t fullMCU) = 0;
  virtual int32_t GetFileSize() = 0;
  virtual TSL_BOOL Save(const char16_t* path, const TesselSaveOptions* options) = 0;
  virtual TSL_BOOL SaveToMemory(uint8_t* buffer, int32_t capacity) = 0;
  virtual TSL_BOOL DrawFileThumbnail(const char16_t* path, uint8_t* bits, int32_t boxWidth,
                                     int32_t boxHeight, int32_t stride, int32_t red, int32_t green,
                                     int32_t blue, int32_t* outWidth, int32_t* outHeight,
                                     int32_t flags) = 0;
  virtual TSL_BOOL Crop(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  virtual TSL_BOOL FlipH(int32_t keepPartial) = 0;
  virtual TSL_BOOL FlipV(int32_t keepPartial) = 0;
  virtual TSL_BOOL RotateLeft(int32_t keepPartial) = 0;
  virtual TSL_BOOL RotateRight(int32_t keepPartial) = 0;
  virtual TSL_BOOL ApplyBitmapChanges(uint8_t** ppBits, int32_t stride, int32_t force,
                                      Statistics* stats) = 0;
  virtual TSL_BOOL Grayscale() = 0;
  virtual TSL_BOOL CanGrayscale() = 0;
  virtual TSL_BOOL Levels(int32_t offset0, int32_t offset1, int32_t offset2) = 0;
  virtual TSL_BOOL CanLevels() = 0;
  virtual void SetUndoStore(IUndoStore* store) = 0;
  virtual TSL_BOOL Undo() = 0;
  virtual const char16_t* FormatExifInfo(const char16_t* templ, uint32_t useFileDate,
                                         uint32_t locale, const char16_t* datePicture,
                                         const char16_t* timePicture, int32_t withSubSeconds) = 0;
  virtual uint16_t GetOrientation() = 0;
  virtual void SetOrientation(uint16_t orientation) = 0;
  virtual TesselThumbnailSize GetExifThumbnailSize() = 0;
  virtual TSL_BOOL IsGrayscale() = 0;
  virtual void GetCoefficients(int16_t** ppCoefficients, int32_t* pCount) = 0;
  virtual TSL_BOOL SetCoefficients(const int16_t* coefficients, int32_t count) = 0;
};

/* The extension interface of the image object; see TSL_IID_ITesselEx. Slot order is part of the
 * binary interface: new methods are only ever added at the end. */
class ITesselEx {
 public:
  virtual TSL_HRESULT QueryInterface(const TesselIID& riid, void** ppv) = 0;
  virtual TSL_ULONG AddRef() = 0;
  virtual TSL_ULONG Release() = 0;
  /* The TSL_ERROR_* code of the most recent failing call, and its reason as one line of UTF-8
   * (valid until the next call on the object). */
  virtual int32_t GetLastError() = 0;
  virtual const char* GetLastErrorText() = 0;
  /* Settings: TSL_OPTION_*. E_INVALIDARG for an unknown option or a value out of range. */
  virtual TSL_HRESULT SetOption(int32_t option, int64_t value) = 0;
  virtual TSL_HRESULT GetOption(int32_t option, int64_t* value) = 0;
  /* What the last Open found wrong with the stream; FALSE when nothing is open. */
  virtual TSL_BOOL GetDamage(TesselDamage* report) = 0;
  /* Lossless transforms about the diagonals: transpose (top-left to bottom-right) trims nothing;
   * transverse (top-right to bottom-left) moves both partial edges, like a half turn. */
  virtual TSL_BOOL Transpose() = 0;
  virtual TSL_BOOL Transverse(int32_t keepPartial) = 0;
  /* The open image's colour space and components. */
  virtual TSL_BOOL GetImageInfo(TesselImageInfo* info) = 0;
  /* GetBitmap with a choice of pixel order (TSL_PIXELS_*). */
  virtual TSL_BOOL GetPixels(uint8_t* bits, int32_t stride, int32_t fullMCU, int32_t order) = 0;
  /* Save with options into a function of the host's instead of a file. */
  virtual TSL_BOOL SaveToFunction(const TesselSaveOptions* options, TesselWriteFunc write,
                                  void* context) = 0;
  /* Reconstruct with a progress function that receives the host's context. */
  virtual TSL_BOOL ReconstructWithContext(int32_t passes, TesselProgressCallback progress,
                                          void* context) = 0;
  /* The image and its metadata as one JSON object in UTF-8 (schema in the README), valid until
   * the next call on the object; empty when nothing is open. */
  virtual const char* GetInfoJson() = 0;
};

#else /* C */

typedef struct ITessel ITessel;
typedef struct IUndoStore IUndoStore;

typedef struct IUndoStoreVtbl {
  TSL_BOOL (*Write)(IUndoStore* self, const void* data, uint32_t size);
  TSL_BOOL (*Read)(IUndoStore* self, void* data, uint32_t size);
} IUndoStoreVtbl;

struct IUndoStore {
  const IUndoStoreVtbl* lpVtbl;
};

typedef struct ITesselVtbl {
  TSL_HRESULT (*QueryInterface)(ITessel* self, const TesselIID* riid, void** ppv);
  TSL_ULONG (*AddRef)(ITessel* self);
  TSL_ULONG (*Release)(ITessel* self);
  TSL_BOOL (*Open)(ITessel* self, const char16_t* path, TSL_BOOL headerOnly);
  TSL_BOOL (*OpenFromMemory)(ITessel* self, const uint8_t* data, int32_t size, TSL_BOOL headerOnly);
  void (*Close)(ITessel* self);
  TSL_BOOL (*IsOpen)(ITessel* self);
  int32_t (*GetWidth)(ITessel* self);
  int32_t (*GetHeight)(ITessel* self);
  int32_t (*GetMCUWidth)(ITessel* self);
  int32_t (*GetMCUHeight)(ITessel* self);
  TSL_BOOL (*Reconstruct)(ITessel* self, int32_t passes, TesselProgressFunc progress);
  TSL_BOOL (*GetBitmap)(ITessel* self, uint8_t* bits, int32_t stride, int32_t fullMCU);
  int32_t (*GetFileSize)(ITessel* self);
  TSL_BOOL (*Save)(ITessel* self, const char16_t* path, const TesselSaveOptions* options);
  TSL_BOOL (*SaveToMemory)(ITessel* self, uint8_t* buffer, int32_t capacity);
  TSL_BOOL(*DrawFileThumbnail)
  (ITessel* self, const char16_t* path, uint8_t* bits, int32_t boxWidth, int32_t boxHeight,
   int32_t stride, int32_t red, int32_t green, int32_t blue, int32_t* outWidth, int32_t* outHeight,
   int32_t flags);
  TSL_BOOL (*Crop)(ITessel* self, int32_t left, int32_t top, int32_t right, int32_t bottom);
  TSL_BOOL (*FlipH)(ITessel* self, int32_t keepPartial);
  TSL_BOOL (*FlipV)(ITessel* self, int32_t keepPartial);
  TSL_BOOL (*RotateLeft)(ITessel* self, int32_t keepPartial);
  TSL_BOOL (*RotateRight)(ITessel* self, int32_t keepPartial);
  TSL_BOOL(*ApplyBitmapChanges)
  (ITessel* self, uint8_t** ppBits, int32_t stride, int32_t force, Statistics* stats);
  TSL_BOOL (*Grayscale)(ITessel* self);
  TSL_BOOL (*CanGrayscale)(ITessel* self);
  TSL_BOOL (*Levels)(ITessel* self, int32_t offset0, int32_t offset1, int32_t offset2);
  TSL_BOOL (*CanLevels)(ITessel* self);
  void (*SetUndoStore)(ITessel* self, IUndoStore* store);
  TSL_BOOL (*Undo)(ITessel* self);
  const char16_t* (*FormatExifInfo)(ITessel* self, const char16_t* templ, uint32_t useFileDate,
                                    uint32_t locale, const char16_t* datePicture,
                                    const char16_t* timePicture, int32_t withSubSeconds);
  uint16_t (*GetOrientation)(ITessel* self);
  void (*SetOrientation)(ITessel* self, uint16_t orientation);
  TesselThumbnailSize (*GetExifThumbnailSize)(ITessel* self);
  TSL_BOOL (*IsGrayscale)(ITessel* self);
  void (*GetCoefficients)(ITessel* self, int16_t** ppCoefficients, int32_t* pCount);
  TSL_BOOL (*SetCoefficients)(ITessel* self, const int16_t* coefficients, int32_t count);
} ITesselVtbl;

struct ITessel {
  const ITesselVtbl* lpVtbl;
};

typedef struct ITesselEx ITesselEx;

typedef struct ITesselExVtbl {
  TSL_HRESULT (*QueryInterface)(ITesselEx* self, const TesselIID* riid, void** ppv);
  TSL_ULONG (*AddRef)(ITesselEx* self);
  TSL_ULONG (*Release)(ITesselEx* self);
  int32_t (*GetLastError)(ITesselEx* self);
  const char* (*GetLastErrorText)(ITesselEx* self);
  TSL_HRESULT (*SetOption)(ITesselEx* self, int32_t option, int64_t value);
  TSL_HRESULT (*GetOption)(ITesselEx* self, int32_t option, int64_t* value);
  TSL_BOOL (*GetDamage)(ITesselEx* self, TesselDamage* report);
  TSL_BOOL (*Transpose)(ITesselEx* self);
  TSL_BOOL (*Transverse)(ITesselEx* self, int32_t keepPartial);
  TSL_BOOL (*GetImageInfo)(ITesselEx* self, TesselImageInfo* info);
  /* clang-format 14 alternates between two layouts of these long entries. */
  /* clang-format off */
  TSL_BOOL (*GetPixels)(ITesselEx* self, uint8_t* bits, int32_t stride, int32_t fullMCU,
                        int32_t order);
  TSL_BOOL (*SaveToFunction)(ITesselEx* self, const TesselSaveOptions* options,
                             TesselWriteFunc write, void* context);
  TSL_BOOL (*ReconstructWithContext)(ITesselEx* self, int32_t passes,
                                     TesselProgressCallback progress, void* context);
  /* clang-format on */
  const char* (*GetInfoJson)(ITesselEx* self);
} ITesselExVtbl;

struct ITesselEx {
  const ITesselExVtbl* lpVtbl;
};

#endif /* __cplusplus */

#ifdef __cplusplus
#include <cstring>
#include <new>
#include <vector>

namespace tessel {

/*
 * MemoryUndoStore: a ready-made IUndoStore that keeps undo records in memory.
 *
 * The library never says where one edit's bytes begin or end; the host knows, because it makes
 * the calls. Each record is the bytes written during one successful edit call (possibly none);
 * records are undone last in, first out, and each is read back from its start in the order it
 * was written. Use it like this:
 *
 *     tessel::MemoryUndoStore undo;
 *     image->SetUndoStore(&undo);
 *
 *     undo.BeginEdit();                      // before every edit call
 *     TSL_BOOL ok = image->RotateRight(0);
 *     undo.EndEdit(ok);                      // a failed call's bytes are discarded
 *
 *     TSL_BOOL undone = image->Undo();       // reads the newest record from its start
 *     undo.EndUndo(undone);                  // drops it (kept when Undo returned FALSE)
 *
 *     image->Close();  undo.Clear();         // opening or closing discards the history
 *
 * Edit calls are Crop, FlipH, FlipV, RotateLeft, RotateRight, Grayscale, Levels, Reconstruct and
 * ApplyBitmapChanges. Writes outside BeginEdit/EndEdit are refused (Write returns FALSE), and a
 * Write that cannot get memory returns FALSE; the library then carries on and a later undo
 * restores zeros where bytes are missing. Read returns FALSE, delivering nothing, when the
 * newest record holds fewer unread bytes than asked for. Nothing here throws.
 *
 * Keep the store alive, at the same address, as long as the image may undo an edit made with
 * it. One store serves one image object.
 */
class MemoryUndoStore final : public IUndoStore {
 public:
  MemoryUndoStore() = default;
  MemoryUndoStore(const MemoryUndoStore&) = delete;
  MemoryUndoStore& operator=(const MemoryUndoStore&) = delete;

  // Starts the record of one edit call. An unfinished record is discarded first.
  void BeginEdit() noexcept {
    if (open_) records_.pop_back();
    open_ = false;
    try {
      records_.emplace_back();
      open_ = true;
    } catch (...) {
    }
  }

  // Ends the record of the current edit call: kept when the call succeeded (an empty record
  // too: every successful edit is one step of undo), discarded when it failed.
  void EndEdit(bool succeeded) noexcept {
    if (!open_) return;
    open_ = false;
    if (!succeeded) records_.pop_back();
  }

  // After Undo: when it returned TRUE the newest record is spent and dropped; when it returned
  // FALSE it is kept and will be read from its start again.
  void EndUndo(bool undone) noexcept {
    if (records_.empty()) return;
    if (undone) {
      records_.pop_back();
    } else {
      records_.back().Rewind();
    }
  }

  // Forgets every record; call it after Close or a new Open of the image.
  void Clear() noexcept {
    records_.clear();
    open_ = false;
  }

  // Records kept (one per edit that can still be undone) and the bytes they hold.
  size_t Records() const noexcept { return records_.size(); }
  size_t Bytes() const noexcept {
    size_t total = 0;
    for (const Record& record : records_) total += record.bytes;
    return total;
  }

  TSL_BOOL Write(const void* data, uint32_t size) override {
    if (!open_) return TSL_FALSE;
    if (size == 0) return TSL_TRUE;
    Record& record = records_.back();
    try {
      const unsigned char* bytes = static_cast<const unsigned char*>(data);
      record.chunks.emplace_back(bytes, bytes + size);
    } catch (...) {
      return TSL_FALSE;
    }
    record.bytes += size;
    return TSL_TRUE;
  }

  TSL_BOOL Read(void* data, uint32_t size) override {
    if (records_.empty()) return TSL_FALSE;
    Record& record = records_.back();
    if (record.bytes - record.consumed < size) return TSL_FALSE;
    unsigned char* out = static_cast<unsigned char*>(data);
    while (size > 0) {
      const std::vector<unsigned char>& chunk = record.chunks[record.chunk];
      const size_t take = chunk.size() - record.offset < size ? chunk.size() - record.offset : size;
      std::memcpy(out, chunk.data() + record.offset, take);
      out += take;
      size -= static_cast<uint32_t>(take);
      record.offset += take;
      record.consumed += take;
      if (record.offset == chunk.size()) {
        ++record.chunk;
        record.offset = 0;
      }
    }
    return TSL_TRUE;
  }

 private:
  // The bytes of one edit call, one chunk per Write, and how far an undo has read them.
  struct Record {
    std::vector<std::vector<unsigned char>> chunks;
    size_t bytes = 0;     // total bytes written
    size_t chunk = 0;     // next chunk to read
    size_t offset = 0;    // next byte in that chunk
    size_t consumed = 0;  // bytes read so far
    void Rewind() { chunk = offset = consumed = 0; }
  };

  std::vector<Record> records_;
  bool open_ = false;  // an edit call is running; Write adds to records_.back()
};

}  // namespace tessel
#endif /* __cplusplus */

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TSL_EXPORT __attribute__((visibility("default")))
#else
#define TSL_EXPORT
#endif

/* Creates an image object with one reference. E_POINTER for a null argument. */
TSL_EXPORT TSL_HRESULT CreateTesselObject(ITessel** ppObject);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TESSEL_TESSEL_H */
