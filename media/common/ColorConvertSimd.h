// Vector kernels of the colour conversion, chosen at run time; each gives exactly the table results.
#pragma once

#include <cstddef>

#include "MediaTypes.h"

bool CpuHasAvx2();

// Converts the first columns of two rows sharing one chroma row, 16 at a time; returns the columns
// done (the caller finishes the rest).
size_t YuvToRgbRowPairAvx2(const BYTE* y0, const BYTE* y1, const BYTE* u, const BYTE* v, BYTE* d0, BYTE* d1,
                           size_t width);
