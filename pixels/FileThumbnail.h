// SPDX-License-Identifier: MIT
// File thumbnails: a framed, scaled-down picture of any JPEG file drawn into a host's box.
#pragma once

#include <cstdint>

// Draws the JPEG file at `path` into the caller's 24-bit box of boxWidth x boxHeight pixels:
// the box is filled with the background (red, green, blue: low bytes), the picture is reduced
// by the library's scaled decoder (1/2, 1/4 or 1/8) and nearest-neighbour sampling to fit the
// room the decorations leave, centred, and framed as `flags` ask (1 white frame, 2 grey
// frame, 4 shadow). `bits` is the buffer's lowest address; with a negative stride the box's
// top row is its last row in memory. The file's full size goes to outWidth and outHeight once
// its header has been read (either may be null). Returns 1 when the picture was drawn (or,
// for a colour space with no picture conversion, the background and decorations), 0 when the
// box is too small, the file cannot be opened or the library fails.
int32_t DrawFileThumbnail(const char16_t* path, uint8_t* bits, int32_t boxWidth, int32_t boxHeight,
                          int32_t stride, int32_t red, int32_t green, int32_t blue,
                          int32_t* outWidth, int32_t* outHeight, int32_t flags);
