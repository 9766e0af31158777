// SPDX-License-Identifier: MIT
// Image: one library image object behind tessel.Image, with its undo store, its lock and the
// coefficient views it has handed out.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "python/src/Failure.h"
#include "python/src/Text.h"
#include "tessel/tessel.h"

namespace pytessel {

// Where an image comes from: a file, or bytes that stay valid for the call.
struct Source {
  std::optional<FilePath> path;
  const uint8_t* data = nullptr;
  int64_t size = 0;
};

// The settings of tessel.open beside the source.
struct OpenOptions {
  bool headerOnly = false;
  bool undo = true;                  // keep undo records in memory
  bool allowDamaged = false;         // open a stream the decoder found damaged
  std::optional<int64_t> threads;    // TSL_OPTION_THREADS
  std::optional<int64_t> maxMemory;  // TSL_OPTION_MAX_MEMORY
};

// The keyword arguments of save and to_bytes.
struct SaveArgs {
  bool optimize = true;
  bool keepMetadata = true;
  bool keepComments = true;
  bool keepTimes = false;
  int32_t thumbnailMode = 1;  // 0 strip, 1 keep, 2 new
  int32_t thumbnailSize = 160;
  std::optional<int32_t> quality;  // re-encode the rendering at this quality
  bool subsample = true;           // re-encoding: 4:2:0
};

// What an edit is, for the reason of a refusal the library did not explain.
enum class EditKind { kRotate, kFlipH, kFlipV, kTranspose, kTransverse, kCrop, kOther };

class Image {
 public:
  Image();
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  // Called with the GIL held, like every method below; each releases it around the library.
  void Open(const Source& source, const OpenOptions& options);
  void Close();
  bool Closed();

  // Geometry and description.
  int32_t Width();
  int32_t Height();
  std::pair<int32_t, int32_t> Mcu();
  TesselImageInfo Info();
  std::optional<TesselDamage> Damage();

  // Edits (ImageEdits.cpp); each is one step of undo.
  void Rotate(int32_t degrees, bool keepPartial);
  void Flip(const std::string& direction, bool keepPartial);
  void Transpose();
  void Transverse(bool keepPartial);
  void Crop(int32_t left, int32_t top, int32_t right, int32_t bottom, bool extend);
  void Grayscale();
  void Levels(int32_t offset0, int32_t offset1, int32_t offset2);
  // Turns and flips the image upright after its Exif orientation (setting it to 1); false when
  // it is upright already.
  bool Autorotate(bool keepPartial);
  bool Reconstruct(int32_t passes, const pybind11::object& progress);
  Statistics Apply(const pybind11::array& rgb, bool force);
  void Undo();
  bool CanUndo();

  // Pixels and coefficients (ImagePixels.cpp).
  pybind11::array_t<uint8_t> Render(bool fullMCU);
  pybind11::array Coefficients(std::optional<int32_t> component, const pybind11::object& owner);
  void SetCoefficients(std::optional<int32_t> component, const pybind11::array& values);

  // Draws a JPEG file into a box of RGB pixels (rows 3 x width bytes apart); uses no open
  // image (ImagePixels.cpp).
  void DrawFileThumbnail(const FilePath& file, uint8_t* bits, int32_t width, int32_t height,
                         int32_t red, int32_t green, int32_t blue, int32_t flags);

  // Output (ImageOutput.cpp).
  void Save(const FilePath& path, const SaveArgs& args);
  pybind11::bytes ToBytes(const SaveArgs& args);

  // Metadata (ImageMetadata.cpp).
  std::u16string Caption(const std::u16string& templ, uint32_t locale,
                         const std::u16string& datePicture, const std::u16string& timePicture,
                         bool subSeconds, bool fileDate);
  std::string InfoJson();
  uint16_t Orientation();
  void SetOrientation(uint16_t orientation);
  TesselThumbnailSize ExifThumbnailSize();
  const std::u16string& Name() const { return name_; }

 private:
  friend class ViewExport;

  // Runs `call` with the GIL released and this image's lock held. A call from the thread that
  // holds the lock (a progress function using the image it reports on) raises RuntimeError
  // instead of waiting for itself.
  template <typename Call>
  auto Locked(Call&& call) -> decltype(call()) {
    if (owner_.load() == std::this_thread::get_id()) {
      throw std::runtime_error(
          "the image is busy on this thread: a progress function cannot use the image it "
          "reports on");
    }
    pybind11::gil_scoped_release release;
    std::lock_guard<std::mutex> lock(mutex_);
    const OwnerMark mark(owner_);
    return call();
  }

  // Marks the thread holding the lock for as long as it holds it.
  class OwnerMark {
   public:
    explicit OwnerMark(std::atomic<std::thread::id>& owner) : owner_(owner) {
      owner_.store(std::this_thread::get_id());
    }
    ~OwnerMark() { owner_.store(std::thread::id()); }
    OwnerMark(const OwnerMark&) = delete;
    OwnerMark& operator=(const OwnerMark&) = delete;

   private:
    std::atomic<std::thread::id>& owner_;
  };

  // Checks made with the lock held.
  void RequireOpen() const;     // open, header only or in full
  void RequireFull() const;     // open in full: pixels and coefficients are there
  void RequireNoViews() const;  // no coefficient view could be left pointing at freed memory

  // One library edit call, recorded as one record of the undo store; false when it failed.
  bool Recorded(const std::function<TSL_BOOL()>& call);
  // Takes back the newest library edit (a step that failed half-way).
  void TakeBack();
  // Runs the library calls of one edit as one step of undo, or raises with the reason.
  void Step(EditKind kind, std::initializer_list<std::function<TSL_BOOL()>> calls,
            bool keepPartial = false);
  std::string RefusalReason(EditKind kind, bool keepPartial);
  TesselImageInfo InfoLocked();
  std::pair<int32_t, int32_t> RenderedSize(bool fullMCU);

  ITessel* image_ = nullptr;
  ITesselEx* ex_ = nullptr;
  tessel::MemoryUndoStore undo_;
  std::vector<int> steps_;  // library edit calls of each undoable step, oldest first
  bool undoOn_ = false;     // the undo store is set
  bool headerOnly_ = false;
  bool closed_ = false;
  std::u16string name_;  // the file opened, empty for bytes
  std::mutex mutex_;     // one call on the library object at a time
  std::atomic<std::thread::id> owner_{};
  std::atomic<int> views_{0};  // coefficient views alive
};

}  // namespace pytessel
