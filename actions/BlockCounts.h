// SPDX-License-Identifier: MIT
// The per-component block counts of the header decompressor, kept by geometric edits so that
// their undo gives back exactly the counts the image had.
#pragma once

#include "jpeg/Jpeg.h"

struct BlockCounts {
  int components = 0;
  JDIMENSION width[MAX_COMPONENTS] = {};   // width_in_blocks of each component
  JDIMENSION height[MAX_COMPONENTS] = {};  // height_in_blocks of each component

  void Capture(const jpeg_decompress_struct& info) {
    components = info.num_components < MAX_COMPONENTS ? info.num_components : MAX_COMPONENTS;
    for (int c = 0; c < components; ++c) {
      width[c] = info.comp_info[c].width_in_blocks;
      height[c] = info.comp_info[c].height_in_blocks;
    }
  }
  void Restore(jpeg_decompress_struct& info) const {
    for (int c = 0; c < components; ++c) {
      info.comp_info[c].width_in_blocks = width[c];
      info.comp_info[c].height_in_blocks = height[c];
    }
  }
};
