// SPDX-License-Identifier: MIT
// Image: creating, opening and closing the library object, and what describes the image.
#include "python/src/Image.h"

#include <climits>

namespace py = pybind11;

namespace pytessel {

namespace {

constexpr int64_t kMaxMemoryBytes = INT32_MAX;  // OpenFromMemory counts in 32 bits

// Why the bytes of a stream could not be opened, when the library did not say.
std::string BytesProblem(const Source& source) {
  if (source.size < 2 || source.data[0] != 0xFF || source.data[1] != 0xD8) {
    return "not a JPEG stream (no start-of-image marker)";
  }
  return "not a JPEG stream it can read";
}

// The damage the decoder found, in words: "the data ends after 37% of the image".
std::string DamageText(const TesselDamage& damage) {
  std::string text;
  const auto add = [&](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
  if (damage.iFlags & TSL_DAMAGE_TRUNCATED) {
    add("the data ends after " + std::to_string(damage.iPermille / 10) + "% of the image");
  }
  if (damage.iFlags & TSL_DAMAGE_CORRUPT_DATA) add("corrupt entropy-coded data");
  if (damage.iFlags & TSL_DAMAGE_OUT_OF_RANGE) add("coefficients out of range");
  return "damaged: " + text + " (pass allow_damaged=True to open it anyway)";
}

// Applies one SetOption, raising with the library's reason when it refuses the value.
void SetOption(ITesselEx* ex, int32_t option, int64_t value, const char* name) {
  const ErrorProbe probe(ex);
  if (ex->SetOption(option, value) != TSL_S_OK) {
    throw probe.Or(TSL_ERROR_INVALID_ARGUMENT,
                   std::string(name) + " " + std::to_string(value) + " is out of range");
  }
}

}  // namespace

Image::Image() {
  if (CreateTesselObject(&image_) != TSL_S_OK || image_ == nullptr) {
    throw Failure(TSL_ERROR_OUT_OF_MEMORY, "out of memory");
  }
  void* ex = nullptr;
  if (image_->QueryInterface(TSL_IID_ITesselEx, &ex) != TSL_S_OK) {
    image_->Release();
    throw Failure(TSL_ERROR_UNSUPPORTED, "the library has no extension interface");
  }
  ex_ = static_cast<ITesselEx*>(ex);
}

Image::~Image() {
  // Nothing else can hold the lock: every call holds a reference to the Python object. The
  // image is closed while the undo store its edits wrote to is still here.
  image_->Close();
  ex_->Release();
  image_->Release();
}

void Image::Open(const Source& source, const OpenOptions& options) {
  if (!source.path && source.size > kMaxMemoryBytes) {
    throw Failure(TSL_ERROR_TOO_LARGE,
                  std::to_string(source.size) + " bytes; at most 2147483647 open from memory");
  }
  Locked([&] {
    if (options.threads) SetOption(ex_, TSL_OPTION_THREADS, *options.threads, "threads");
    if (options.maxMemory) SetOption(ex_, TSL_OPTION_MAX_MEMORY, *options.maxMemory, "max_memory");
    const ErrorProbe probe(ex_);
    const TSL_BOOL headerOnly = options.headerOnly ? 1 : 0;
    const TSL_BOOL opened =
        source.path
            ? image_->Open(source.path->wide.c_str(), headerOnly)
            : image_->OpenFromMemory(source.data, static_cast<int32_t>(source.size), headerOnly);
    if (!opened) {
      if (!source.path) throw probe.Or(TSL_ERROR_NOT_JPEG, BytesProblem(source));
      int error = 0;
      const std::optional<std::string> problem = FileProblem(source.path->bytes, &error);
      Failure failure = problem ? probe.Or(TSL_ERROR_IO, *problem)
                                : probe.Or(TSL_ERROR_NOT_JPEG, "not a JPEG file it can read");
      throw failure.WithFile(source.path->wide)
          .WithErrno(failure.code() == TSL_ERROR_IO ? error : 0);
    }
    // An object that cannot report damage (GetDamage fails) gives no reason to refuse.
    TesselDamage damage{};
    if (!options.headerOnly && !options.allowDamaged && ex_->GetDamage(&damage) &&
        damage.iFlags != 0) {
      image_->Close();
      Failure failure(TSL_ERROR_DAMAGED, DamageText(damage));
      if (source.path) failure.WithFile(source.path->wide);
      throw failure;
    }
    headerOnly_ = options.headerOnly;
    undoOn_ = options.undo && !options.headerOnly;
    image_->SetUndoStore(undoOn_ ? &undo_ : nullptr);
    name_ = source.path ? source.path->wide : std::u16string();
  });
}

void Image::Close() {
  Locked([&] {
    if (closed_) return;
    closed_ = true;
    // A live coefficient view still reads the store; it goes with the object once they are gone.
    if (views_.load() > 0) return;
    image_->Close();
    undo_.Clear();
    steps_.clear();
  });
}

bool Image::Closed() {
  return Locked([&] { return closed_; });
}

void Image::RequireOpen() const {
  if (closed_) throw Failure(TSL_ERROR_NOT_OPEN, "the image is closed");
}

void Image::RequireFull() const {
  RequireOpen();
  if (!image_->IsOpen()) {
    throw Failure(TSL_ERROR_NOT_OPEN,
                  headerOnly_ ? "the image was opened with header_only=True; open it in full "
                                "for pixels, coefficients, edits and saving"
                              : "no image is open");
  }
}

void Image::RequireNoViews() const {
  const int views = views_.load();
  if (views > 0) {
    throw py::buffer_error(
        "the image has " + std::to_string(views) +
        " live coefficient view(s), which this call could leave pointing at freed memory; "
        "delete them or keep copies (coefficients(...).copy()) instead");
  }
}

int32_t Image::Width() {
  return Locked([&] {
    RequireOpen();
    return image_->GetWidth();
  });
}

int32_t Image::Height() {
  return Locked([&] {
    RequireOpen();
    return image_->GetHeight();
  });
}

std::pair<int32_t, int32_t> Image::Mcu() {
  return Locked([&] {
    RequireOpen();
    return std::make_pair(image_->GetMCUWidth(), image_->GetMCUHeight());
  });
}

TesselImageInfo Image::InfoLocked() {
  TesselImageInfo info{};
  const ErrorProbe probe(ex_);
  if (!ex_->GetImageInfo(&info)) {
    throw probe.Or(TSL_ERROR_UNSUPPORTED, "the image's description is not available");
  }
  return info;
}

TesselImageInfo Image::Info() {
  return Locked([&] {
    RequireOpen();
    return InfoLocked();
  });
}

std::optional<TesselDamage> Image::Damage() {
  return Locked([&]() -> std::optional<TesselDamage> {
    RequireFull();
    TesselDamage damage{};
    const ErrorProbe probe(ex_);
    if (!ex_->GetDamage(&damage)) {
      throw probe.Or(TSL_ERROR_UNSUPPORTED, "the damage report is not available");
    }
    if (damage.iFlags == 0) return std::nullopt;
    return damage;
  });
}

}  // namespace pytessel
