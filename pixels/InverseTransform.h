// SPDX-License-Identifier: MIT
// The inverse DCT of one coefficient block into 8 x 8 samples, in a plain implementation and
// an AVX2 one that gives identical samples for every input, and the choice between them.
#pragma once

#include <cstdint>

namespace dct {

// Coefficients in natural order, used as they are; samples row after row, 8 bytes a row.
// Pass 1 works down the columns, pass 2 along the rows; a column or row whose AC inputs are
// zero takes the short formula, and a block with only a DC value is filled in one step.
void InverseTransformPlain(const int16_t* in, uint8_t* out);

// True when the processor runs InverseTransformWide.
bool WideInverseSupported();

// The same transform on eight columns, then eight rows, at once. Requires AVX2.
void InverseTransformWide(const int16_t* in, uint8_t* out);

// The fastest implementation the processor has.
void InverseTransform(const int16_t* in, uint8_t* out);

}  // namespace dct
