// SPDX-License-Identifier: MIT
// Layouts of the two per-MCU sample areas shared by CDCT and the colour converters.
#pragma once

#include <cstdint>

// Decode sample area: what DecodeRect fills with inverse-transformed blocks for ToPixels.
// Component k (0 to 3) owns kDecodeComponentBytes bytes, laid out as a fixed grid of 4 x 4
// sample blocks whatever its sampling factors (JPEG allows factors 1 to 4): block row l,
// block column m starts at kDecodeComponentBytes x k + kDecodeBlockRowBytes x l + 64 x m.
// Blocks a component does not have are left as they were.
inline constexpr int kMaxComponents = 4;
inline constexpr int kMaxDecodeFactor = 4;
inline constexpr int kDecodeBlockRowBytes = 64 * kMaxDecodeFactor;
inline constexpr int kDecodeComponentBytes = kDecodeBlockRowBytes * kMaxDecodeFactor;
inline constexpr int kDecodeAreaBytes = kDecodeComponentBytes * kMaxComponents;

// Byte of block (l, m) of component k.
constexpr int DecodeBlockOffset(int k, int l, int m) {
  return kDecodeComponentBytes * k + kDecodeBlockRowBytes * l + 64 * m;
}

// Byte of sample (sx, sy) of component k, sx and sy from 0 to 8 x 4 - 1.
constexpr int DecodeSampleOffset(int k, int sx, int sy) {
  return DecodeBlockOffset(k, sy >> 3, sx >> 3) + 8 * (sy & 7) + (sx & 7);
}

// Encode sample area (CDCT's m_aiMCU): what FromPixels fills for ForwardBlock. Component k
// owns 256 bytes from 256k and holds its v x h blocks packed in row-major order: block row l,
// block column m starts at 256k + 64 x (l x h + m). Encoding handles factors up to 2.
inline constexpr int kMaxEncodeFactor = 2;
inline constexpr int kEncodeComponentBytes = 256;
inline constexpr int kEncodeAreaBytes = kEncodeComponentBytes * kMaxComponents;

constexpr int EncodeBlockOffset(int k, int l, int m, int h) {
  return kEncodeComponentBytes * k + 64 * (l * h + m);
}
