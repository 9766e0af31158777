// SPDX-License-Identifier: MIT
// The process-wide range-limit table: clamping to 0..255 by lookup instead of comparisons.
#pragma once

#include <cstdint>

// Size of the table in bytes.
inline constexpr int kRangeLimitBytes = 1408;

// Clamp view: entry kClampCentre + x is x limited to 0..255, for every x from -256 to 639.
inline constexpr int kClampCentre = 256;

// Transform view: entry kTransformCentre + (v & kTransformMask) is clamp(v' + 128, 0, 255),
// where v' is the low ten bits of v read as a signed number. The inverse DCT adds its level
// shift of 128 through this view, and outputs far outside the sample range wrap modulo 1024
// before the clamp.
inline constexpr int kTransformCentre = 384;
inline constexpr int kTransformMask = 1023;

// The table, by index from its first byte:
//   0..255     0         (clamp view below zero)
//   256..511   0..255    (the identity part)
//   512..895   255       (clamp view above 255, and transform outputs 128..511)
//   896..1279  0         (transform outputs -512..-129)
//   1280..1407 0..127    (transform outputs -128..-1)
// Built at compile time, so it exists before any use and is never written.
const uint8_t* RangeLimitTable();
