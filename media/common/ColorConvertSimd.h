// Vector kernels of the colour conversion, chosen at run time; each gives exactly the table results.
#pragma once

#include <cstddef>

#include "MediaTypes.h"

bool CpuHasAvx2();

// Whether the conversions use the vector kernels (default: where the processor has AVX2). Turning
// them off gives the plain table path, which tests compare against.
bool ColorConvertVectorsOn();
void SetColorConvertVectors(bool on);

// RGB24 -> I420 for two rows: the first columns, 16 at a time; returns the columns done.
size_t RgbToYuvRowPairAvx2(const BYTE* s0, const BYTE* s1, BYTE* y0, BYTE* y1, BYTE* u, BYTE* v, size_t width);

// Converts the first columns of two rows sharing one chroma row, 16 at a time; returns the columns
// done (the caller finishes the rest).
size_t YuvToRgbRowPairAvx2(const BYTE* y0, const BYTE* y1, const BYTE* u, const BYTE* v, BYTE* d0, BYTE* d1,
                           size_t width);
