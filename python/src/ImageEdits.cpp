// SPDX-License-Identifier: MIT
// Image: the lossless edits, each one step of undo, and undo itself.
#include <cstring>

#include "python/src/Image.h"

namespace py = pybind11;

namespace pytessel {

namespace {

constexpr int32_t kMaxLevel = 100;  // levels offsets are percentages of full scale

Failure InvalidArgument(std::string reason) {
  return Failure(TSL_ERROR_INVALID_ARGUMENT, std::move(reason));
}

}  // namespace

bool Image::Recorded(const std::function<TSL_BOOL()>& call) {
  if (undoOn_) undo_.BeginEdit();
  const bool ok = call() != 0;
  if (undoOn_) undo_.EndEdit(ok);
  return ok;
}

void Image::TakeBack() {
  const bool undone = image_->Undo() != 0;
  if (undoOn_) undo_.EndUndo(undone);
}

std::string Image::RefusalReason(EditKind kind, bool keepPartial) {
  const bool turnsOrFlips = kind == EditKind::kRotate || kind == EditKind::kFlipH ||
                            kind == EditKind::kFlipV || kind == EditKind::kTransverse;
  if (turnsOrFlips && !keepPartial &&
      (image_->GetWidth() < image_->GetMCUWidth() ||
       image_->GetHeight() < image_->GetMCUHeight())) {
    return "the image is smaller than one MCU (" + std::to_string(image_->GetMCUWidth()) + "x" +
           std::to_string(image_->GetMCUHeight()) + "); pass keep_partial=True";
  }
  return "the library refused the edit (out of memory, or the image is too large for it)";
}

void Image::Step(EditKind kind, std::initializer_list<std::function<TSL_BOOL()>> calls,
                 bool keepPartial) {
  RequireFull();
  RequireNoViews();
  int done = 0;
  for (const std::function<TSL_BOOL()>& call : calls) {
    const ErrorProbe probe(ex_);
    if (Recorded(call)) {
      ++done;
      continue;
    }
    const Failure failure = probe.Or(TSL_ERROR_REFUSED, RefusalReason(kind, keepPartial));
    // A step is all or nothing: the calls it made so far are taken back.
    for (; done > 0; --done) TakeBack();
    throw failure;
  }
  if (undoOn_) steps_.push_back(done);
}

void Image::Rotate(int32_t degrees, bool keepPartial) {
  const int32_t turn = ((degrees % 360) + 360) % 360;
  if (turn % 90 != 0) {
    throw InvalidArgument("rotations are quarter turns: 90, 180 or 270 degrees, not " +
                          std::to_string(degrees));
  }
  const int32_t keep = keepPartial ? 1 : 0;
  Locked([&] {
    switch (turn) {
      case 90:
        return Step(EditKind::kRotate, {[&] { return image_->RotateRight(keep); }}, keepPartial);
      case 270:
        return Step(EditKind::kRotate, {[&] { return image_->RotateLeft(keep); }}, keepPartial);
      case 180:
        // A half turn is both mirrors.
        return Step(EditKind::kRotate,
                    {[&] { return image_->FlipH(keep); }, [&] { return image_->FlipV(keep); }},
                    keepPartial);
      default:
        RequireFull();  // a full turn changes nothing, on an image that is there
    }
  });
}

void Image::Flip(const std::string& direction, bool keepPartial) {
  const int32_t keep = keepPartial ? 1 : 0;
  if (direction == "h" || direction == "horizontal") {
    Locked([&] { Step(EditKind::kFlipH, {[&] { return image_->FlipH(keep); }}, keepPartial); });
  } else if (direction == "v" || direction == "vertical") {
    Locked([&] { Step(EditKind::kFlipV, {[&] { return image_->FlipV(keep); }}, keepPartial); });
  } else {
    throw InvalidArgument("flip direction is 'h' or 'v', not '" + direction + "'");
  }
}

void Image::Transpose() {
  Locked([&] { Step(EditKind::kTranspose, {[&] { return ex_->Transpose(); }}); });
}

void Image::Transverse(bool keepPartial) {
  const int32_t keep = keepPartial ? 1 : 0;
  Locked(
      [&] { Step(EditKind::kTransverse, {[&] { return ex_->Transverse(keep); }}, keepPartial); });
}

void Image::Crop(int32_t left, int32_t top, int32_t right, int32_t bottom, bool extend) {
  if (left < 0 || top < 0) {
    throw InvalidArgument(
        "the crop rectangle starts outside the image (left and top are 0 or "
        "more)");
  }
  if (right <= left || bottom <= top) {
    throw InvalidArgument(
        "the crop rectangle is empty (right must exceed left and bottom top; "
        "right and bottom are exclusive)");
  }
  Locked([&] {
    RequireFull();
    const int32_t width = image_->GetWidth(), height = image_->GetHeight();
    if (!extend && (right > width || bottom > height)) {
      throw InvalidArgument("the crop rectangle reaches outside the " + std::to_string(width) +
                            "x" + std::to_string(height) +
                            " image; pass extend=True to extend it with gray");
    }
    Step(EditKind::kCrop, {[&] { return image_->Crop(left, top, right, bottom); }});
  });
}

void Image::Grayscale() {
  Locked([&] {
    RequireFull();
    if (!image_->CanGrayscale()) {
      throw Failure(TSL_ERROR_REFUSED, image_->IsGrayscale()
                                           ? "the image is already grayscale"
                                           : "only YCbCr images with full-resolution luminance "
                                             "can be turned gray");
    }
    Step(EditKind::kOther, {[&] { return image_->Grayscale(); }});
  });
}

void Image::Levels(int32_t offset0, int32_t offset1, int32_t offset2) {
  for (const int32_t offset : {offset0, offset1, offset2}) {
    if (offset < -kMaxLevel || offset > kMaxLevel) {
      throw InvalidArgument("levels offsets are percentages from -100 to 100, not " +
                            std::to_string(offset));
    }
  }
  Locked([&] {
    RequireFull();
    if (!image_->CanLevels()) {
      throw Failure(TSL_ERROR_REFUSED, "levels work on grayscale and YCbCr images only");
    }
    Step(EditKind::kOther, {[&] { return image_->Levels(offset0, offset1, offset2); }});
  });
}

bool Image::Autorotate(bool keepPartial) {
  const int32_t keep = keepPartial ? 1 : 0;
  const auto flipH = [&] { return image_->FlipH(keep); };
  const auto flipV = [&] { return image_->FlipV(keep); };
  return Locked([&] {
    RequireFull();
    // The Exif orientations name the transform that shows the image upright.
    switch (image_->GetOrientation()) {
      case 2:
        Step(EditKind::kFlipH, {flipH}, keepPartial);
        break;
      case 3:
        Step(EditKind::kRotate, {flipH, flipV}, keepPartial);
        break;
      case 4:
        Step(EditKind::kFlipV, {flipV}, keepPartial);
        break;
      case 5:
        Step(EditKind::kTranspose, {[&] { return ex_->Transpose(); }});
        break;
      case 6:
        Step(EditKind::kRotate, {[&] { return image_->RotateRight(keep); }}, keepPartial);
        break;
      case 7:
        Step(EditKind::kTransverse, {[&] { return ex_->Transverse(keep); }}, keepPartial);
        break;
      case 8:
        Step(EditKind::kRotate, {[&] { return image_->RotateLeft(keep); }}, keepPartial);
        break;
      default:
        return false;
    }
    // Every transform above leaves orientation 1 behind it; this keeps that true.
    if (image_->GetOrientation() != 1) image_->SetOrientation(1);
    return true;
  });
}

namespace {

// What the filter's progress calls carry back to Python: the host's function, whether it asked
// to stop, and an exception it raised (or a signal such as Ctrl-C).
struct ProgressState {
  const py::object* callable = nullptr;  // None or a function of one int
  bool stopped = false;
  std::optional<py::error_already_set> error;
};

int32_t CallProgress(void* context, int32_t percent) {
  ProgressState& state = *static_cast<ProgressState*>(context);
  py::gil_scoped_acquire gil;
  try {
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    if (!state.callable->is_none()) {
      // Only False stops: a function that returns nothing (None) lets the filter go on.
      if ((*state.callable)(percent).is(py::bool_(false))) {
        state.stopped = true;
        return 0;
      }
    }
    return 1;
  } catch (py::error_already_set& error) {
    state.error = std::move(error);
    return 0;
  }
}

}  // namespace

bool Image::Reconstruct(int32_t passes, const py::object& progress) {
  if (passes < 0) throw InvalidArgument("passes is 0 or more, not " + std::to_string(passes));
  if (!progress.is_none() && !PyCallable_Check(progress.ptr())) {
    throw py::type_error("progress must be callable or None");
  }
  ProgressState state;
  state.callable = &progress;
  Locked([&] {
    Step(EditKind::kOther,
         {[&] { return ex_->ReconstructWithContext(passes, CallProgress, &state); }});
    // An exception in the progress function takes the partial edit back before it propagates.
    if (state.error && undoOn_) {
      TakeBack();
      steps_.pop_back();
    }
  });
  if (state.error) throw std::move(*state.error);
  return !state.stopped;
}

Statistics Image::Apply(const py::array& rgb, bool force) {
  if (rgb.ndim() != 3 || rgb.shape(2) != 3 || rgb.dtype().kind() != 'u' || rgb.itemsize() != 1) {
    throw InvalidArgument("apply takes an H x W x 3 uint8 RGB array");
  }
  // Rows in order, three bytes a pixel; a strided array is copied once here.
  const py::buffer_info pixels = py::array_t<uint8_t, py::array::c_style>::ensure(rgb).request();
  Statistics stats{};
  Locked([&] {
    RequireFull();
    const int32_t width = image_->GetWidth(), height = image_->GetHeight();
    if (pixels.shape[0] != height || pixels.shape[1] != width) {
      throw InvalidArgument("the array is " + std::to_string(pixels.shape[1]) + "x" +
                            std::to_string(pixels.shape[0]) + ", the image " +
                            std::to_string(width) + "x" + std::to_string(height));
    }
    // The library reads blue, green, red.
    std::vector<uint8_t> bgr(static_cast<size_t>(pixels.size));
    const uint8_t* in = static_cast<const uint8_t*>(pixels.ptr);
    for (size_t i = 0; i < bgr.size(); i += 3) {
      bgr[i] = in[i + 2];
      bgr[i + 1] = in[i + 1];
      bgr[i + 2] = in[i];
    }
    uint8_t* row0 = bgr.data();
    Step(EditKind::kOther,
         {[&] { return image_->ApplyBitmapChanges(&row0, 3 * width, force ? 1 : 0, &stats); }});
  });
  return stats;
}

void Image::Undo() {
  Locked([&] {
    RequireFull();
    if (!undoOn_) {
      throw Failure(TSL_ERROR_REFUSED, "undo is off for this image (opened with undo=False)");
    }
    if (steps_.empty()) throw Failure(TSL_ERROR_REFUSED, "nothing to undo");
    RequireNoViews();
    for (int& calls = steps_.back(); calls > 0; --calls) {
      const ErrorProbe probe(ex_);
      const bool undone = image_->Undo() != 0;
      undo_.EndUndo(undone);
      if (!undone) {
        throw probe.Or(TSL_ERROR_UNDO_STORE, "the edit could not be undone");
      }
    }
    steps_.pop_back();
  });
}

bool Image::CanUndo() {
  return Locked([&] { return !closed_ && !steps_.empty(); });
}

}  // namespace pytessel
