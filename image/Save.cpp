// SPDX-License-Identifier: MIT
// Saving to a file, measuring the lossless output and saving into the host's memory.
#include "image/Save.h"

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/DllImage.h"
#include "image/LosslessWriter.h"
#include "image/ReencodeWriter.h"
#include "image/ThumbnailEncoder.h"
#include "jpeg/Destinations.h"
#include "platform/Files.h"
#include "platform/SafeFile.h"

namespace {

constexpr TesselSaveOptions kDefaultOptions = TSL_SAVE_OPTIONS_DEFAULT;
// The counting destination's scratch buffer: bytes are counted, never kept.
constexpr int32_t kCountingScratch = 1024;

// A new Exif thumbnail for iThumbnailMode 2: the bytes of a complete JPEG stream made from the
// image, or none. None is not a failure: the Exif segment is then written as in mode 1.
std::vector<uint8_t> NewExifThumbnail(CDllImage& image, const TesselSaveOptions& options) {
  const EncodedThumbnail thumbnail = MakeThumbnail(image.View(), options);
  if (thumbnail.bytes == nullptr) return {};
  return std::vector<uint8_t>(thumbnail.bytes.get(), thumbnail.bytes.get() + thumbnail.length);
}

// The re-encoding writer for iMode 1: encodes options.pBitmap into `file`.
TSL_BOOL RunReencodingWriter(CDllImage& image, FILE* file, const TesselSaveOptions& options,
                             const uint8_t* thumbnail, int32_t thumbnailLength) {
  return WriteReencoded(image.View(), image.Exif(), file, options, thumbnail, thumbnailLength) ? 1
                                                                                               : 0;
}

// The path a save writes to: the given one, or the saved path for an empty one.
std::optional<std::u16string> ChooseTarget(CDllImage& image, const char16_t* path) {
  if (path == nullptr) return std::nullopt;
  std::u16string target(path);
  if (target.empty()) target = image.SavedPath();
  if (target.empty()) return std::nullopt;
  return target;
}

// Runs the writer the options ask for into `file`, with a new thumbnail when one is wanted.
TSL_BOOL RunWriter(CDllImage& image, FILE* file, const TesselSaveOptions& options) {
  std::vector<uint8_t> thumbnail;
  if (options.bKeepMetadata && options.iThumbnailMode == 2) {
    thumbnail = NewExifThumbnail(image, options);
  }
  const uint8_t* bytes = thumbnail.empty() ? nullptr : thumbnail.data();
  const auto length = static_cast<int32_t>(thumbnail.size());
  if (options.iMode == 1) return RunReencodingWriter(image, file, options, bytes, length);
  return WriteLossless(image.View(), image.Exif(), image.Errors(), file, nullptr, options, bytes,
                       length);
}

}  // namespace

TSL_BOOL SaveImageFile(CDllImage& image, const char16_t* path, const TesselSaveOptions* options) {
  errno = 0;
  const std::optional<std::u16string> target = ChooseTarget(image, path);
  if (!target || options == nullptr || !image.IsOpen()) return 0;
  const std::optional<std::string> utf8 = Utf16ToUtf8(target->c_str());
  if (!utf8) {
    errno = EINVAL;
    return 0;
  }
  SafeFile file(*utf8);
  if (!file.Create()) return 0;
  if (!RunWriter(image, file.Stream(), *options)) {
    // A write error of the stream says why; any other failure is not the file system's.
    errno = std::ferror(file.Stream()) ? (errno != 0 ? errno : EIO) : 0;
    return 0;
  }
  if (!file.Commit(options->bKeepFileTimes ? &image.Times() : nullptr)) return 0;
  image.SetSavedPath(*target);
  image.Exif().SetFileName(*target);
  return 1;
}

int32_t LosslessFileSize(CDllImage& image) {
  JOCTET scratch[kCountingScratch];
  CountingDestination dest{};
  InitCountingDestination(&dest, scratch, kCountingScratch);
  if (!WriteLossless(image.View(), image.Exif(), image.Errors(), nullptr, &dest.mgr,
                     kDefaultOptions, nullptr, 0)) {
    return 0;
  }
  if (dest.total > INT32_MAX) return 0;
  return static_cast<int32_t>(dest.total);
}

TSL_BOOL SaveLosslessToMemory(CDllImage& image, uint8_t* buffer, int32_t capacity) {
  if (buffer == nullptr || capacity <= 0) return 0;
  MemoryDestination dest{};
  InitMemoryDestination(&dest, buffer, capacity);
  return WriteLossless(image.View(), image.Exif(), image.Errors(), nullptr, &dest.mgr,
                       kDefaultOptions, nullptr, 0);
}
