// SPDX-License-Identifier: MIT
// store_oracle IN.jpg OUT.bin: writes the coefficient store a correct open of IN produces, as
// libjpeg reads it (little-endian int16), and prints its layout as JSON, for the Python tests
// to compare the module's views and descriptions with.
#include <cstdio>
#include <string>

#include "tests/support/JpegFixtures.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: store_oracle IN.jpg OUT.bin\n");
    return 2;
  }
  fixtures::Coefficients coefficients;
  if (!fixtures::ReadCoefficients(fixtures::ReadFile(argv[1]), &coefficients)) {
    std::fprintf(stderr, "store_oracle: %s: libjpeg cannot read it\n", argv[1]);
    return 1;
  }
  const std::vector<int16_t> store = fixtures::ExpectedStore(coefficients);
  fixtures::Bytes bytes;
  bytes.reserve(store.size() * 2);
  for (const int16_t value : store) {
    const auto bits = static_cast<uint16_t>(value);
    bytes.push_back(static_cast<uint8_t>(bits & 0xFF));
    bytes.push_back(static_cast<uint8_t>(bits >> 8));
  }
  fixtures::WriteFile(argv[2], bytes);
  // Each component in whole MCUs, as the store lays them out one after another.
  const int mcuW = 8 * coefficients.maxH, mcuH = 8 * coefficients.maxV;
  const int across = (coefficients.width + mcuW - 1) / mcuW;
  const int down = (coefficients.height + mcuH - 1) / mcuH;
  std::string json = "{\"colour_space\": " + std::to_string(coefficients.colourSpace) +
                     ", \"progressive\": " + (coefficients.progressive ? "true" : "false") +
                     ", \"arithmetic\": " + (coefficients.arithmetic ? "true" : "false") +
                     ", \"components\": [";
  long long offset = 0;
  for (size_t i = 0; i < coefficients.components.size(); ++i) {
    const fixtures::Component& c = coefficients.components[i];
    const int wide = across * c.h, high = down * c.v;
    std::string quant;
    for (const uint16_t q : c.quant) quant += (quant.empty() ? "" : ", ") + std::to_string(q);
    json += std::string(i == 0 ? "" : ", ") + "{\"h\": " + std::to_string(c.h) +
            ", \"v\": " + std::to_string(c.v) + ", \"blocks_wide\": " + std::to_string(wide) +
            ", \"blocks_high\": " + std::to_string(high) +
            ", \"offset\": " + std::to_string(offset) + ", \"quantization\": [" + quant + "]}";
    offset += 64LL * wide * high;
  }
  std::printf("%s]}\n", json.c_str());
  return 0;
}
