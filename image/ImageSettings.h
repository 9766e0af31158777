// SPDX-License-Identifier: MIT
// ImageSettings: the options a host sets on one image object through ITesselEx::SetOption.
#pragma once

#include <cstdint>

struct ImageSettings {
  int64_t maxMemory = 0;   // bytes the store and whole-image buffers may take; 0: default
  int64_t maxScans = 0;    // scans a stream may have; 0: default
  int64_t maxMarkers = 0;  // APPn and COM segments a stream may have; 0: default
  int32_t threads = 0;     // threads one call may use; 0: as many as processors
  bool exifThumbnailFollows = false;  // edits transform the embedded Exif thumbnail too
  bool thumbnailOrient = false;       // DrawFileThumbnail draws after the Exif orientation
};
