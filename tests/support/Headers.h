// SPDX-License-Identifier: MIT
// Hand-made header decompressors for tests of the transforms and converters: just the fields
// they read (colour space, components, sampling factors, block counts).
#pragma once

#include <array>
#include <utility>
#include <vector>

#include "jpeg/Jpeg.h"

namespace fixtures {

struct Header {
  jpeg_decompress_struct info{};
  std::array<jpeg_component_info, 6> components{};

  // `sampling` gives (h, v) per component; the image is one MCU unless `mcuColumns` and
  // `mcuRows` say otherwise.
  Header(int colourSpace, std::vector<std::pair<int, int>> sampling, int mcuColumns = 1,
         int mcuRows = 1) {
    info.jpeg_color_space = static_cast<J_COLOR_SPACE>(colourSpace);
    info.num_components = static_cast<int>(sampling.size());
    info.comp_info = components.data();
    for (size_t k = 0; k < sampling.size() && k < components.size(); ++k) {
      auto [h, v] = sampling[k];
      components[k].h_samp_factor = h;
      components[k].v_samp_factor = v;
      components[k].width_in_blocks = static_cast<JDIMENSION>(h * mcuColumns);
      components[k].height_in_blocks = static_cast<JDIMENSION>(v * mcuRows);
      if (h > info.max_h_samp_factor) info.max_h_samp_factor = h;
      if (v > info.max_v_samp_factor) info.max_v_samp_factor = v;
    }
  }
  Header(const Header&) = delete;
  Header& operator=(const Header&) = delete;
};

}  // namespace fixtures
