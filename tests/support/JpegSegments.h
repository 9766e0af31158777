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

// The payloads of every segment with `code`.
inline std::vector<Bytes> Payloads(const std::vector<Segment>& segments, int code) {
  std::vector<Bytes> out;
  for (const Segment& s : segments) {
    if (s.code == code) out.push_back(s.payload);
  }
  return out;
}

}  // namespace fixtures
