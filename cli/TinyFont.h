// SPDX-License-Identifier: MIT
// A 5x7 bitmap font for short labels in the tool's pictures (printable ASCII).
#pragma once

#include <cstdint>
#include <string>

namespace cli {

// Cell of one character: 5 columns of ink and one of space, 7 rows of ink.
inline constexpr int kGlyphAdvance = 6;
inline constexpr int kGlyphHeight = 7;

// Text fitted into at most `maxChars` characters: non-ASCII characters (UTF-8 sequences)
// become '?', and a longer text keeps its start and ends in "..".
std::string FitLabel(const std::string& utf8, int maxChars);

// Draws `text` (printable ASCII; anything else as '?') with its top-left corner at (x, y) into
// a 24-bit bitmap of width x height pixels (blue, green, red; row distance `stride`), in the
// colour red, green, blue. Ink outside the bitmap is clipped.
void DrawLabel(uint8_t* row0, int32_t stride, int width, int height, int x, int y,
               const std::string& text, uint8_t red, uint8_t green, uint8_t blue);

}  // namespace cli
