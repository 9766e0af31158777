// SPDX-License-Identifier: MIT
// Image: saving to a file and to bytes.
#include <cerrno>
#include <vector>

#include "python/src/Image.h"

namespace py = pybind11;

namespace pytessel {

namespace {

TesselSaveOptions OptionsFor(const SaveArgs& args) {
  TesselSaveOptions options = TSL_SAVE_OPTIONS_DEFAULT;
  options.bOptimize = args.optimize ? 1 : 0;
  options.bKeepMetadata = args.keepMetadata ? 1 : 0;
  options.bKeepComments = args.keepComments ? 1 : 0;
  options.bKeepFileTimes = args.keepTimes ? 1 : 0;
  options.iThumbnailMode = args.thumbnailMode;
  options.iThumbnailSize = args.thumbnailSize;
  if (args.quality) {
    options.iMode = 1;
    options.iQuality = *args.quality;
    options.bSubsample = args.subsample ? 1 : 0;
  }
  return options;
}

// The options SaveToMemory and GetFileSize write with.
bool AreDefault(const TesselSaveOptions& options) {
  const TesselSaveOptions d = TSL_SAVE_OPTIONS_DEFAULT;
  return options.iMode != 1 && options.bOptimize == d.bOptimize &&
         options.bKeepMetadata == d.bKeepMetadata && options.bKeepComments == d.bKeepComments &&
         options.iThumbnailMode == d.iThumbnailMode;
}

// What SaveToFunction writes, collected.
struct Sink {
  std::vector<uint8_t>* out;
  bool outOfMemory = false;
};

// Nothing may be thrown back through the library: a failed allocation stops the save instead.
int32_t Append(void* context, const uint8_t* data, size_t size) noexcept {
  Sink& sink = *static_cast<Sink*>(context);
  try {
    sink.out->insert(sink.out->end(), data, data + size);
  } catch (...) {
    sink.outOfMemory = true;
    return 0;
  }
  return 1;
}

// Re-encoding compresses the rendering of the current image; the library takes it as a bitmap
// in blue, green, red.
std::vector<uint8_t> RenderForReencoding(ITessel* image, TesselSaveOptions* options) {
  const int32_t width = image->GetWidth(), height = image->GetHeight();
  std::vector<uint8_t> bitmap(size_t{3} * static_cast<size_t>(width) * static_cast<size_t>(height));
  if (!image->GetBitmap(bitmap.data(), 3 * width, 0)) {
    throw Failure(TSL_ERROR_UNSUPPORTED, "the image cannot be rendered for re-encoding",
                  Operation::kSave);
  }
  options->iStride = 3 * width;
  return bitmap;
}

}  // namespace

void Image::Save(const FilePath& path, const SaveArgs& args) {
  Locked([&] {
    RequireFull();
    TesselSaveOptions options = OptionsFor(args);
    std::vector<uint8_t> bitmap;
    if (args.quality) {
      bitmap = RenderForReencoding(image_, &options);
      options.pBitmap = bitmap.data();
    }
    const ErrorProbe probe(ex_);
    errno = 0;
    if (image_->Save(path.wide.c_str(), &options)) return;
    const int error = errno;
    throw probe.Or(TSL_ERROR_IO, SaveFailureReason(error), Operation::kSave)
        .WithFile(path.wide)
        .WithErrno(error);
  });
}

py::bytes Image::ToBytes(const SaveArgs& args) {
  std::vector<uint8_t> out;
  Locked([&] {
    RequireFull();
    TesselSaveOptions options = OptionsFor(args);
    const ErrorProbe probe(ex_);
    if (AreDefault(options)) {
      // Counting first gives the exact size of the buffer.
      const int32_t size = image_->GetFileSize();
      if (size > 0) {
        out.resize(static_cast<size_t>(size));
        if (image_->SaveToMemory(out.data(), size)) return;
      }
      throw probe.Or(TSL_ERROR_REFUSED, "could not write the image", Operation::kSave);
    }
    std::vector<uint8_t> bitmap;
    if (args.quality) {
      bitmap = RenderForReencoding(image_, &options);
      options.pBitmap = bitmap.data();
    }
    Sink sink{&out};
    if (!ex_->SaveToFunction(&options, Append, &sink)) {
      if (sink.outOfMemory) {
        throw Failure(TSL_ERROR_OUT_OF_MEMORY, "out of memory for the saved bytes");
      }
      throw probe.Or(TSL_ERROR_REFUSED, "could not write the image", Operation::kSave);
    }
  });
  return py::bytes(reinterpret_cast<const char*>(out.data()), out.size());
}

}  // namespace pytessel
