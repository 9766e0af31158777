// SPDX-License-Identifier: MIT
// Image: captions, the information JSON, orientation and the Exif thumbnail size.
#include "python/src/Image.h"

namespace pytessel {

std::u16string Image::Caption(const std::u16string& templ, uint32_t locale,
                              const std::u16string& datePicture, const std::u16string& timePicture,
                              bool subSeconds, bool fileDate) {
  // The library reads each text up to its first NUL.
  for (const std::u16string* text : {&templ, &datePicture, &timePicture}) {
    if (text->find(u'\0') != std::u16string::npos) {
      throw Failure(TSL_ERROR_INVALID_ARGUMENT, "embedded null character in a caption text");
    }
  }
  return Locked([&] {
    RequireOpen();
    const char16_t* text =
        image_->FormatExifInfo(templ.c_str(), fileDate ? 1 : 0, locale, datePicture.c_str(),
                               timePicture.c_str(), subSeconds ? 1 : 0);
    return std::u16string(text != nullptr ? text : u"");
  });
}

std::string Image::InfoJson() {
  return Locked([&] {
    RequireOpen();
    const ErrorProbe probe(ex_);
    const char* json = ex_->GetInfoJson();
    if (json == nullptr || *json == '\0') {
      throw probe.Or(TSL_ERROR_UNSUPPORTED, "the information JSON is not available");
    }
    return std::string(json);
  });
}

uint16_t Image::Orientation() {
  return Locked([&] {
    RequireOpen();
    return image_->GetOrientation();
  });
}

void Image::SetOrientation(uint16_t orientation) {
  if (orientation < 1 || orientation > 8) {
    throw Failure(TSL_ERROR_INVALID_ARGUMENT,
                  "orientation is 1 to 8, not " + std::to_string(orientation));
  }
  Locked([&] {
    RequireOpen();
    image_->SetOrientation(orientation);
    // The value lives in the file's orientation entry; a file without one keeps none.
    if (image_->GetOrientation() != orientation) {
      throw Failure(TSL_ERROR_REFUSED, "the image has no Exif orientation entry to change");
    }
  });
}

TesselThumbnailSize Image::ExifThumbnailSize() {
  return Locked([&] {
    RequireOpen();
    return image_->GetExifThumbnailSize();
  });
}

}  // namespace pytessel
