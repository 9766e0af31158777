// SPDX-License-Identifier: MIT
// The tessel._tessel extension module: tessel.open, tessel.Image and tessel.draw_thumbnail.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <string>

#include "python/src/Failure.h"
#include "python/src/Image.h"
#include "python/src/Text.h"

namespace py = pybind11;
using pytessel::Failure;
using pytessel::FilePath;
using pytessel::Image;

namespace {

constexpr int32_t kMinThumbnailSize = 32;
constexpr int32_t kMaxThumbnailSize = 256;
constexpr int32_t kMaxQuality = 100;

Failure InvalidArgument(std::string reason) {
  return Failure(TSL_ERROR_INVALID_ARGUMENT, std::move(reason));
}

// Library text is UTF-8; a stray byte must not turn an error into another one.
py::str Utf8(const std::string& text) {
  PyObject* decoded =
      PyUnicode_DecodeUTF8(text.data(), static_cast<py::ssize_t>(text.size()), "replace");
  if (decoded == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(decoded);
}

// Raises the tessel.Error subclass for a failure (see tessel/_errors.py).
void RaiseFailure(const Failure& failure) {
  try {
    const py::object filename =
        failure.file() ? py::object(pytessel::FromUtf16(*failure.file())) : py::none();
    const py::object errno_value =
        failure.error_number() != 0 ? py::object(py::int_(failure.error_number())) : py::none();
    const py::object operation = failure.operation() == pytessel::Operation::kSave
                                     ? py::object(py::str("save"))
                                     : py::none();
    const py::object error = py::module_::import("tessel._errors")
                                 .attr("_from_library")(failure.code(), Utf8(failure.reason()),
                                                        filename, errno_value, operation);
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  } catch (py::error_already_set& error) {
    error.restore();
  }
}

py::object Types() { return py::module_::import("tessel._types"); }

int32_t ThumbnailMode(const std::string& thumbnail) {
  if (thumbnail == "strip") return 0;
  if (thumbnail == "keep") return 1;
  if (thumbnail == "new") return 2;
  throw InvalidArgument("thumbnail is 'keep', 'strip' or 'new', not '" + thumbnail + "'");
}

pytessel::SaveArgs MakeSaveArgs(bool optimize, bool keepMetadata, bool keepComments, bool keepTimes,
                                const std::string& thumbnail, int32_t thumbnailSize,
                                std::optional<int32_t> quality, bool subsample) {
  if (thumbnailSize < kMinThumbnailSize || thumbnailSize > kMaxThumbnailSize) {
    throw InvalidArgument("thumbnail_size is 32 to 256, not " + std::to_string(thumbnailSize));
  }
  if (quality && (*quality < 0 || *quality > kMaxQuality)) {
    throw InvalidArgument("quality is 0 to 100, not " + std::to_string(*quality));
  }
  pytessel::SaveArgs args;
  args.optimize = optimize;
  args.keepMetadata = keepMetadata;
  args.keepComments = keepComments;
  args.keepTimes = keepTimes;
  args.thumbnailMode = ThumbnailMode(thumbnail);
  args.thumbnailSize = thumbnailSize;
  args.quality = quality;
  args.subsample = subsample;
  return args;
}

std::unique_ptr<Image> Open(const py::object& source, bool headerOnly, bool undo,
                            std::optional<int64_t> threads, std::optional<int64_t> maxMemory,
                            bool allowDamaged) {
  pytessel::OpenOptions options;
  options.headerOnly = headerOnly;
  options.undo = undo;
  options.threads = threads;
  options.maxMemory = maxMemory;
  options.allowDamaged = allowDamaged;
  auto image = std::make_unique<Image>();
  pytessel::Source from;
  // Bytes-like objects are the stream itself; their buffer is held for the call.
  if (!py::isinstance<py::str>(source) && PyObject_CheckBuffer(source.ptr())) {
    const py::buffer_info bytes = py::reinterpret_borrow<py::buffer>(source).request();
    if (bytes.ndim != 1 || bytes.itemsize != 1 || bytes.strides[0] != 1) {
      throw InvalidArgument("open takes a path or contiguous bytes");
    }
    from.data = static_cast<const uint8_t*>(bytes.ptr);
    from.size = bytes.size;
    image->Open(from, options);
    return image;
  }
  from.path = pytessel::PathFrom(source);
  image->Open(from, options);
  return image;
}

py::array_t<uint8_t> DrawThumbnail(const py::object& path, int32_t width, int32_t height,
                                   std::tuple<int32_t, int32_t, int32_t> background,
                                   bool whiteFrame, bool greyFrame, bool shadow) {
  const auto [red, green, blue] = background;
  for (const int32_t channel : {red, green, blue}) {
    if (channel < 0 || channel > 255) {
      throw InvalidArgument("background channels are 0 to 255");
    }
  }
  const int32_t flags = (whiteFrame ? TSL_THUMB_WHITE_FRAME : 0) |
                        (greyFrame ? TSL_THUMB_GREY_FRAME : 0) | (shadow ? TSL_THUMB_SHADOW : 0);
  const int32_t margin = 2 + (whiteFrame ? 2 : 0) + (greyFrame ? 2 : 0) + (shadow ? 4 : 0);
  if (width - margin < 1 || height - margin < 1 || width > 65535 || height > 65535) {
    throw InvalidArgument("the box is " + std::to_string(width) + "x" + std::to_string(height) +
                          "; it must be more than " + std::to_string(margin) +
                          " pixels each way for these decorations, and at most 65535");
  }
  const FilePath file = pytessel::PathFrom(path);
  py::array_t<uint8_t> pixels({py::ssize_t{height}, py::ssize_t{width}, py::ssize_t{3}});
  uint8_t* bits = pixels.mutable_data();
  Image drawer;  // the drawing uses no open image; a fresh object keeps calls independent
  drawer.DrawFileThumbnail(file, bits, width, height, red, green, blue, flags);
  return pixels;
}

}  // namespace

PYBIND11_MODULE(_tessel, m) {
  m.doc() = "The extension module behind tessel; import tessel instead.";
  m.attr("__version__") = TESSEL_VERSION;

  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const Failure& failure) {
      RaiseFailure(failure);
    }
  });

  py::class_<Image>(m, "Image", R"doc(
A JPEG image held as its DCT coefficients, edited without loss.

Made by tessel.open(); use it as a context manager, or call close(). Separate Image objects
may be used in separate threads at once; calls on one Image from several threads take turns.
)doc")
      .def_property_readonly("width", &Image::Width, "Width in pixels.")
      .def_property_readonly("height", &Image::Height, "Height in pixels.")
      .def_property_readonly("mcu", &Image::Mcu, "Size of a minimum coded unit: (width, height).")
      .def_property_readonly(
          "name",
          [](Image& image) -> py::object {
            if (image.Name().empty()) return py::none();
            return pytessel::FromUtf16(image.Name());
          },
          "The path the image was opened from; None for bytes.")
      .def_property_readonly(
          "colour_space",
          [](Image& image) {
            const int32_t code = image.Info().iColorSpace;
            const py::tuple names = Types().attr("COLOUR_SPACES");
            return code >= 0 && code < static_cast<int32_t>(names.size())
                       ? py::str(names[static_cast<size_t>(code)])
                       : py::str("code " + std::to_string(code));
          },
          "The stream's colour space: 'Grayscale', 'RGB', 'YCbCr', 'CMYK', 'YCCK' or "
          "'Unknown'.")
      .def_property_readonly(
          "components",
          [](Image& image) {
            const TesselImageInfo info = image.Info();
            py::list components;
            const py::object make = Types().attr("Component");
            for (int32_t i = 0; i < info.iComponents && i < 4; ++i) {
              const TesselComponentInfo& c = info.aComponents[i];
              py::tuple quant(64);
              for (size_t k = 0; k < 64; ++k) quant[k] = py::int_(c.awQuant[k]);
              components.append(
                  make(c.iHSampling, c.iVSampling, c.iBlocksWide, c.iBlocksHigh, quant));
            }
            return components;
          },
          "The components: a list of tessel.Component (sampling factors, block counts in the "
          "store, quantization table).")
      .def_property_readonly(
          "progressive", [](Image& image) { return image.Info().bProgressive != 0; },
          "Whether the stream was progressive.")
      .def_property_readonly(
          "arithmetic", [](Image& image) { return image.Info().bArithmetic != 0; },
          "Whether the stream was arithmetic-coded.")
      .def_property_readonly(
          "damage",
          [](Image& image) -> py::object {
            const std::optional<TesselDamage> damage = image.Damage();
            if (!damage) return py::none();
            return Types().attr("Damage")((damage->iFlags & TSL_DAMAGE_TRUNCATED) != 0,
                                          (damage->iFlags & TSL_DAMAGE_CORRUPT_DATA) != 0,
                                          (damage->iFlags & TSL_DAMAGE_OUT_OF_RANGE) != 0,
                                          damage->iWarnings, damage->iPermille);
          },
          "None for an undamaged stream, else a tessel.Damage saying what the decoder found.")
      .def_property(
          "orientation", &Image::Orientation, &Image::SetOrientation,
          "The Exif orientation, 1 to 8 (1 when the file has none). Setting it changes the "
          "value saved with the file, not the pixels; a file without an orientation entry "
          "refuses it. Edits that turn or flip the image set it to 1.")
      .def_property_readonly(
          "exif_thumbnail_size",
          [](Image& image) -> py::object {
            const TesselThumbnailSize size = image.ExifThumbnailSize();
            if (size.wWidth == 0 && size.wHeight == 0) return py::none();
            return py::make_tuple(size.wWidth, size.wHeight);
          },
          "(width, height) of the embedded Exif thumbnail, or None.")
      .def_property_readonly(
          "exif",
          [](Image& image) {
            const std::string json = image.InfoJson();
            return py::module_::import("json").attr("loads")(Utf8(json));
          },
          "The image and its metadata as a dict, with the keys and units of "
          "`tessel info --json`.")
      .def_property_readonly("closed", &Image::Closed, "Whether close() was called.")
      .def_property_readonly("can_undo", &Image::CanUndo, "Whether undo() has an edit to undo.")
      .def("render", &Image::Render, py::arg("full_mcu") = false, R"doc(
The current image as an H x W x 3 uint8 numpy array of red, green, blue.

With full_mcu=True the size is rounded up to whole MCUs.
)doc")
      .def(
          "coefficients",
          [](py::object self, std::optional<int32_t> component) {
            return self.cast<Image&>().Coefficients(component, self);
          },
          py::arg("component") = py::none(), R"doc(
A read-only numpy view of the coefficient store, without a copy.

coefficients(c) is component c as an int16 array of shape (blocks_high, blocks_wide, 8, 8):
dequantized DCT coefficients, natural order, rows of whole MCUs. coefficients() is the whole
store as one 1-D array. A view keeps the Image alive; while one exists, edits and undo raise
BufferError (they may free the store), so delete views or take copies before editing.
)doc")
      .def("set_coefficients", &Image::SetCoefficients, py::arg("component"), py::arg("values"),
           R"doc(
Writes coefficients into the store: set_coefficients(c, values) with values shaped like
coefficients(c), or set_coefficients(None, values) for the whole store. Values must fit in 16
bits. This is not an edit: undo does not take it back.
)doc")
      .def("rotate", &Image::Rotate, py::arg("degrees"), py::arg("keep_partial") = false, R"doc(
Turns the image clockwise by 90, 180 or 270 degrees, losslessly.

An edge that ends inside an MCU cannot stay partial once it moves to the left or top: it is
dropped, or with keep_partial=True kept whole (the image grows to whole MCUs).
)doc")
      .def("flip", &Image::Flip, py::arg("direction"), py::arg("keep_partial") = false, R"doc(
Mirrors the image losslessly: 'h' left to right, 'v' top to bottom.
)doc")
      .def("transpose", &Image::Transpose,
           "Mirrors the image about its top-left to bottom-right diagonal; trims nothing.")
      .def("transverse", &Image::Transverse, py::arg("keep_partial") = false,
           "Mirrors the image about its top-right to bottom-left diagonal.")
      .def("crop", &Image::Crop, py::arg("left"), py::arg("top"), py::arg("right"),
           py::arg("bottom"), py::arg("extend") = false, R"doc(
Crops to the rectangle in pixels (right and bottom exclusive), losslessly.

The left and top edges move down to the MCU grid. A rectangle reaching beyond the image raises
InvalidArgumentError unless extend=True, which extends the image with gray.
)doc")
      .def("grayscale", &Image::Grayscale, "Drops the colour of a YCbCr image, losslessly.")
      .def("levels", &Image::Levels, py::arg("offset0"), py::arg("offset1") = 0,
           py::arg("offset2") = 0, R"doc(
Shifts the brightness of component 0, component 1 and the rest by percentages of full scale
(-100 to 100), losslessly (DC offsets). Grayscale and YCbCr images only.
)doc")
      .def("autorotate", &Image::Autorotate, py::arg("keep_partial") = false, R"doc(
Turns and flips the image upright after its Exif orientation and sets the orientation to 1, as
one edit. Returns False, changing nothing, when the image is upright already (orientation 1 or
none).
)doc")
      .def("reconstruct", &Image::Reconstruct, py::arg("passes") = 1,
           py::arg("progress") = py::none(), R"doc(
Runs the reconstruction filter: smooths block edges while every coefficient keeps its
quantization level.

progress, if given, is called with a percentage after each block row of each pass (rising to
100 once a pass); returning False stops the filter and reconstruct returns False, keeping the
rows already done (undo() takes them back). An exception raised by progress (Ctrl-C too) stops
the filter, takes the partial edit back (unless the image was opened with undo=False) and
propagates. Returns True when every pass ran.
)doc")
      .def(
          "apply",
          [](Image& image, const py::array& rgb, bool force) {
            const Statistics s = image.Apply(rgb, force);
            return Types().attr("ApplyStatistics")(s.iMCUs, s.iBlocks, s.iChangedMCUs,
                                                   s.iChangedBlocks);
          },
          py::arg("rgb"), py::arg("force") = false, R"doc(
Brings the pixels changed in a rendering back into the image: re-encodes only the 8x8 blocks
under changed pixels (force=True: every block). rgb is an H x W x 3 uint8 array of the image's
size, as render() gives it. Returns tessel.ApplyStatistics.
)doc")
      .def("undo", &Image::Undo, "Undoes the newest edit; RefusedEditError when there is none.")
      .def(
          "save",
          [](Image& image, const py::object& path, bool optimize, bool keepMetadata,
             bool keepComments, bool keepTimes, const std::string& thumbnail, int32_t thumbnailSize,
             std::optional<int32_t> quality, bool subsample) {
            const pytessel::SaveArgs args =
                MakeSaveArgs(optimize, keepMetadata, keepComments, keepTimes, thumbnail,
                             thumbnailSize, quality, subsample);
            image.Save(pytessel::PathFrom(path), args);
          },
          py::arg("path"), py::kw_only(), py::arg("optimize") = true,
          py::arg("keep_metadata") = true, py::arg("keep_comments") = true,
          py::arg("keep_times") = false, py::arg("thumbnail") = "keep",
          py::arg("thumbnail_size") = 160, py::arg("quality") = py::none(),
          py::arg("subsample") = true, R"doc(
Saves the image to path, losslessly unless quality is given.

The file is written through a temporary file that replaces the target only when complete: on
failure (SaveError) the target is as it was. optimize computes Huffman tables for the image;
keep_metadata keeps APP1..APP14 (Exif updated), keep_comments the COM segments; keep_times
gives the file the times of the one opened; thumbnail 'keep', 'strip' or 'new' (of
thumbnail_size, 32 to 256) for the Exif thumbnail. quality (0 to 100) re-encodes the rendering
instead, 4:2:0 unless subsample=False.
)doc")
      .def(
          "to_bytes",
          [](Image& image, bool optimize, bool keepMetadata, bool keepComments,
             const std::string& thumbnail, int32_t thumbnailSize, std::optional<int32_t> quality,
             bool subsample) {
            return image.ToBytes(MakeSaveArgs(optimize, keepMetadata, keepComments, false,
                                              thumbnail, thumbnailSize, quality, subsample));
          },
          py::kw_only(), py::arg("optimize") = true, py::arg("keep_metadata") = true,
          py::arg("keep_comments") = true, py::arg("thumbnail") = "keep",
          py::arg("thumbnail_size") = 160, py::arg("quality") = py::none(),
          py::arg("subsample") = true, "The JPEG file save() would write, as bytes.")
      .def(
          "caption",
          [](Image& image, const py::str& templ, const py::object& locale,
             const py::str& dateFormat, const py::str& timeFormat, bool subseconds, bool fileDate) {
            const uint32_t id = Types().attr("locale_id")(locale).cast<uint32_t>();
            return pytessel::FromUtf16(
                image.Caption(pytessel::Utf16(templ), id, pytessel::Utf16(dateFormat),
                              pytessel::Utf16(timeFormat), subseconds, fileDate));
          },
          py::arg("template"), py::arg("locale") = "en-GB", py::kw_only(),
          py::arg("date_format") = "yyyy-MM-dd", py::arg("time_format") = "HH:mm:ss",
          py::arg("subseconds") = false, py::arg("file_date") = false, R"doc(
Expands a caption template: %M make, %m model, %d date and %t time taken, %e exposure,
%f f-number, %i ISO, %l and %L focal lengths, %u user comment, %c comment, %GLt %GLg %GAl GPS
latitude, longitude and altitude, %v %V %w %W file names, %C (c), %% a percent sign.

Dates follow locale (a name such as 'en-GB' or 'de-DE', a Windows locale number, or None for
the environment's) and the pictures date_format and time_format ('dddd d MMMM yyyy').
subseconds adds sub-seconds to the time; file_date takes the file's date when the photo has
none.
)doc")
      .def("close", &Image::Close,
           "Frees the image. Further calls raise NotOpenError; live coefficient views stay "
           "valid until they are deleted.")
      .def("__enter__", [](py::object self) { return self; })
      .def(
          "__exit__",
          [](Image& image, const py::object&, const py::object&, const py::object&) {
            image.Close();
          },
          py::arg("type"), py::arg("value"), py::arg("traceback"))
      .def("__repr__", [](Image& image) {
        if (image.Closed()) return std::string("<tessel.Image closed>");
        std::string text =
            "<tessel.Image " + std::to_string(image.Width()) + "x" + std::to_string(image.Height());
        if (!image.Name().empty()) {
          text += " " + py::repr(pytessel::FromUtf16(image.Name())).cast<std::string>();
        }
        return text + ">";
      });

  m.def("open", &Open, py::arg("source"), py::arg("header_only") = false, py::kw_only(),
        py::arg("undo") = true, py::arg("threads") = py::none(), py::arg("max_memory") = py::none(),
        py::arg("allow_damaged") = false, R"doc(
Opens a JPEG image from a path (str or os.PathLike) or from bytes (any bytes-like object).

header_only=True reads only the header and metadata: size, Exif, captions, but no pixels.
undo=False keeps no undo records (less memory for batch work). threads limits the threads one
call may use (0 as many as processors, 1 none); max_memory limits the bytes the store may take.
A stream the decoder found damaged raises DamagedError unless allow_damaged=True.
Raises ReadError, NotJpegError, UnsupportedError, DamagedError or TooLargeError.
)doc");

  m.def("draw_thumbnail", &DrawThumbnail, py::arg("path"), py::arg("width"), py::arg("height"),
        py::kw_only(), py::arg("background") = std::make_tuple(255, 255, 255),
        py::arg("white_frame") = false, py::arg("grey_frame") = false, py::arg("shadow") = false,
        R"doc(
Draws a JPEG file scaled down to fit a width x height box, centred on the background colour,
optionally inside a white frame, a grey frame and a shadow. Returns the box as an
H x W x 3 uint8 RGB array.
)doc");
}
