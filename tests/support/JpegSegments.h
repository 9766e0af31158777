// SPDX-License-Identifier: MIT
// A plain walk over the segments of a JPEG stream, for tests that check its structure.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/JpegFixtures.h"

namespace fixtures {

// One marker of the stream: its code (0xD8 SOI, 0xC4 DHT, 0xDA SOS, 0xD0..0xD7 RSTn, ...) and
// its payload (after the length field; empty for markers without one).
struct Segment {
  int code = 0;
  Bytes payload;
};

// Every marker in stream order, restart markers inside entropy-coded data included. Stops at
// EOI or at the first byte that is not a marker where one is due.
inline std::vector<Segment> Segments(const Bytes& jpeg) {
  std::vector<Segment> out;
  size_t pos = 0;
  const size_t size = jpeg.size();
  while (pos + 1 < size) {
    if (jpeg[pos] != 0xFF) break;
    while (pos + 1 < size && jpeg[pos + 1] == 0xFF) ++pos;
    if (pos + 1 >= size) break;
    const int code = jpeg[pos + 1];
    pos += 2;
    Segment segment;
    segment.code = code;
    const bool standalone =
        code == 0xD8 || code == 0xD9 || code == 0x01 || (code >= 0xD0 && code <= 0xD7);
    if (!standalone) {
      if (pos + 2 > size) break;
      const size_t length = size_t{jpeg[pos]} << 8 | jpeg[pos + 1];
      if (length < 2 || pos + length > size) break;
      segment.payload.assign(jpeg.begin() + static_cast<long>(pos + 2),
                             jpeg.begin() + static_cast<long>(pos + length));
      pos += length;
    }
    out.push_back(segment);
    if (code == 0xD9) break;
    if (code == 0xDA || (code >= 0xD0 && code <= 0xD7)) {
      // Entropy-coded data: up to the next marker that is neither a stuffed zero nor a fill.
      while (pos + 1 < size &&
             !(jpeg[pos] == 0xFF && jpeg[pos + 1] != 0x00 && jpeg[pos + 1] != 0xFF)) {
        ++pos;
      }
    }
  }
  return out;
}

// Writes `width` and `height` into the baseline frame header (SOF0) of `jpeg`, for headers
// that claim more than the stream holds. False when the stream has no SOF0 before its data.
inline bool SetFrameSize(Bytes* jpeg, uint16_t width, uint16_t height) {
  Bytes& data = *jpeg;
  for (size_t pos = 2; pos + 9 < data.size() && data[pos] == 0xFF && data[pos + 1] != 0xDA;) {
    if (data[pos + 1] == 0xC0) {
      // Length (2 bytes) and precision (1) come first, then the height and the width.
      data[pos + 5] = static_cast<uint8_t>(height >> 8);
      data[pos + 6] = static_cast<uint8_t>(height);
      data[pos + 7] = static_cast<uint8_t>(width >> 8);
      data[pos + 8] = static_cast<uint8_t>(width);
      return true;
    }
    pos += 2 + (size_t{data[pos + 2]} << 8 | data[pos + 3]);
  }
  return false;
}

// The payloads of every segment with `code`.
inline std::vector<Bytes> Payloads(const std::vector<Segment>& segments, int code) {
  std::vector<Bytes> out;
  for (const Segment& s : segments) {
    if (s.code == code) out.push_back(s.payload);
  }
  return out;
}

}  // namespace fixtures
