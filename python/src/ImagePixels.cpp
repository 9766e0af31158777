// SPDX-License-Identifier: MIT
// Image: pixels as numpy arrays, and the coefficient store as read-only views without a copy.
#include <cstring>
#include <limits>

#include "python/src/Image.h"

namespace py = pybind11;

namespace pytessel {

namespace {

constexpr int32_t kBlockValues = 64;  // coefficients of one 8x8 block, natural order

int32_t RoundUp(int32_t value, int32_t multiple) {
  return multiple > 0 ? (value + multiple - 1) / multiple * multiple : value;
}

Failure InvalidArgument(std::string reason) {
  return Failure(TSL_ERROR_INVALID_ARGUMENT, std::move(reason));
}

// A shape as Python writes it: "(4, 5, 8, 8)", "(100,)".
std::string ShapeText(const std::vector<py::ssize_t>& shape) {
  std::string text;
  for (const py::ssize_t n : shape) text += (text.empty() ? "" : ", ") + std::to_string(n);
  return "(" + text + (shape.size() == 1 ? ",)" : ")");
}

// Where a view starts in the store and how it is laid out.
struct ViewLayout {
  int16_t* first = nullptr;
  std::vector<py::ssize_t> shape;
  std::vector<py::ssize_t> strides;  // bytes
};

// The values of one component: blocks_high x blocks_wide blocks of 8 x 8, rows of blocks in
// whole MCUs, as the store holds them. Refuses a description that does not fit in the store.
ViewLayout ComponentLayout(int16_t* store, int32_t count, const TesselImageInfo& info,
                           int32_t component) {
  if (component < 0 || component >= info.iComponents) {
    throw InvalidArgument("component " + std::to_string(component) + " of an image with " +
                          std::to_string(info.iComponents));
  }
  const TesselComponentInfo& c = info.aComponents[component];
  const int64_t values = int64_t{c.iBlocksWide} * c.iBlocksHigh * kBlockValues;
  if (c.iBlocksWide <= 0 || c.iBlocksHigh <= 0 || c.iStoreOffset < 0 ||
      c.iStoreOffset + values > count) {
    throw Failure(TSL_ERROR_DAMAGED, "the image's description does not match its store");
  }
  constexpr py::ssize_t kValue = sizeof(int16_t);
  ViewLayout layout;
  layout.first = store + c.iStoreOffset;
  layout.shape = {c.iBlocksHigh, c.iBlocksWide, 8, 8};
  layout.strides = {py::ssize_t{c.iBlocksWide} * kBlockValues * kValue, kBlockValues * kValue,
                    8 * kValue, kValue};
  return layout;
}

}  // namespace

// Counts one coefficient view for as long as numpy keeps it, and keeps the image object alive
// with it: the capsule that owns it is the base of the array.
class ViewExport {
 public:
  ViewExport(Image* image, py::object owner) : image_(image), owner_(std::move(owner)) {}
  ~ViewExport() { --image_->views_; }
  ViewExport(const ViewExport&) = delete;
  ViewExport& operator=(const ViewExport&) = delete;

 private:
  Image* image_;
  py::object owner_;  // the Python tessel.Image
};

std::pair<int32_t, int32_t> Image::RenderedSize(bool fullMCU) {
  int32_t width = image_->GetWidth(), height = image_->GetHeight();
  if (fullMCU) {
    width = RoundUp(width, image_->GetMCUWidth());
    height = RoundUp(height, image_->GetMCUHeight());
  }
  return {width, height};
}

py::array_t<uint8_t> Image::Render(bool fullMCU) {
  // The array is made with the GIL held, the pixels written without it; should another thread
  // change the size in between, the array is made again.
  while (true) {
    const auto size = Locked([&] {
      RequireFull();
      return RenderedSize(fullMCU);
    });
    py::array_t<uint8_t> pixels(
        {py::ssize_t{size.second}, py::ssize_t{size.first}, py::ssize_t{3}});
    uint8_t* row0 = pixels.mutable_data();
    const bool rendered = Locked([&] {
      RequireFull();
      if (RenderedSize(fullMCU) != size) return false;
      const ErrorProbe probe(ex_);
      if (!ex_->GetPixels(row0, 3 * size.first, fullMCU ? 1 : 0, TSL_PIXELS_RGB)) {
        throw probe.Or(TSL_ERROR_UNSUPPORTED, "the image cannot be rendered");
      }
      return true;
    });
    if (rendered) return pixels;
  }
}

py::array Image::Coefficients(std::optional<int32_t> component, const py::object& owner) {
  const ViewLayout layout = Locked([&] {
    RequireFull();
    int16_t* store = nullptr;
    int32_t count = 0;
    image_->GetCoefficients(&store, &count);
    ViewLayout whole{store, {count}, {sizeof(int16_t)}};
    const ViewLayout chosen =
        component ? ComponentLayout(store, count, InfoLocked(), *component) : whole;
    // Counted before the lock is let go, so that no edit can free the store meanwhile.
    ++views_;
    return chosen;
  });
  std::unique_ptr<ViewExport> view;
  try {
    view = std::make_unique<ViewExport>(this, owner);
  } catch (...) {
    --views_;
    throw;
  }
  py::capsule base(view.get(), [](void* p) { delete static_cast<ViewExport*>(p); });
  view.release();
  py::array array(py::dtype::of<int16_t>(), layout.shape, layout.strides, layout.first, base);
  // The store is the library's: it changes only through set_coefficients and the edits.
  array.attr("setflags")(py::arg("write") = false);
  return array;
}

void Image::SetCoefficients(std::optional<int32_t> component, const py::array& values) {
  if (values.dtype().kind() != 'i' && values.dtype().kind() != 'u') {
    throw InvalidArgument("coefficients are integers");
  }
  // Values beyond 16 bits would wrap silently in the conversion.
  if (values.size() > 0) {
    const py::module_ np = py::module_::import("numpy");
    const int64_t low = np.attr("min")(values).cast<int64_t>();
    const int64_t high = np.attr("max")(values).cast<int64_t>();
    if (low < std::numeric_limits<int16_t>::min() || high > std::numeric_limits<int16_t>::max()) {
      throw InvalidArgument("coefficients are 16-bit: " + std::to_string(low) + ".." +
                            std::to_string(high) + " is out of range");
    }
  }
  const auto converted =
      py::array_t<int16_t, py::array::c_style | py::array::forcecast>::ensure(values);
  const py::buffer_info given = converted.request();
  std::vector<py::ssize_t> shape = given.shape;
  Locked([&] {
    RequireFull();
    int16_t* store = nullptr;
    int32_t count = 0;
    image_->GetCoefficients(&store, &count);
    const ViewLayout target = component ? ComponentLayout(store, count, InfoLocked(), *component)
                                        : ViewLayout{store, {count}, {sizeof(int16_t)}};
    if (shape != target.shape) {
      throw InvalidArgument("the values have the shape " + ShapeText(shape) + ", the store " +
                            ShapeText(target.shape));
    }
    // The store's own layout is contiguous within a component, so one copy places the values.
    std::vector<int16_t> next(store, store + count);
    std::memcpy(next.data() + (target.first - store), given.ptr,
                static_cast<size_t>(given.size) * sizeof(int16_t));
    const ErrorProbe probe(ex_);
    if (!image_->SetCoefficients(next.data(), count)) {
      throw probe.Or(TSL_ERROR_REFUSED, "the library refused the coefficients");
    }
  });
}

void Image::DrawFileThumbnail(const FilePath& file, uint8_t* bits, int32_t width, int32_t height,
                              int32_t red, int32_t green, int32_t blue, int32_t flags) {
  Locked([&] {
    const int32_t stride = 3 * width;
    int32_t fileWidth = 0, fileHeight = 0;
    const ErrorProbe probe(ex_);
    if (image_->DrawFileThumbnail(file.wide.c_str(), bits, width, height, stride, red, green, blue,
                                  &fileWidth, &fileHeight, flags)) {
      // The library draws blue, green, red.
      for (int64_t i = 0; i < int64_t{stride} * height; i += 3) std::swap(bits[i], bits[i + 2]);
      return;
    }
    int error = 0;
    const std::optional<std::string> problem = FileProblem(file.bytes, &error);
    Failure failure = problem ? probe.Or(TSL_ERROR_IO, *problem)
                              : probe.Or(TSL_ERROR_NOT_JPEG, "not a JPEG file it can read");
    throw failure.WithFile(file.wide).WithErrno(failure.code() == TSL_ERROR_IO ? error : 0);
  });
}

}  // namespace pytessel
