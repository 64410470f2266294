// Vector kernels of the colour conversion, chosen at run time; each gives exactly the table results.
#pragma once

#include <cstddef>

#include "MediaTypes.h"

bool CpuHasAvx2();
// AVX-512 with the byte and word instructions and the byte permutes (F, BW, VBMI).
bool CpuHasAvx512();

// Kernel levels: 0 the plain table path, 1 AVX2, 2 AVX-512.
enum { kColorScalar = 0, kColorAvx2 = 1, kColorAvx512 = 2 };
// The best level the processor offers.
int ColorConvertBestLevel();
// The level in use: the one set (default: the best), never above the best. Any thread; tests and
// benchmarks set it.
int ColorConvertLevel();
void SetColorConvertLevel(int level);

// Whether the conversions use vector kernels. Turning them off gives the plain table path, which tests
// compare against; turning them on selects the best level.
bool ColorConvertVectorsOn();
void SetColorConvertVectors(bool on);

// RGB24 -> I420 for two rows: the first columns, 16 (AVX2) or 32 (AVX-512) at a time; returns the
// columns done (the caller finishes the rest).
size_t RgbToYuvRowPairAvx2(const BYTE* s0, const BYTE* s1, BYTE* y0, BYTE* y1, BYTE* u, BYTE* v, size_t width);
size_t RgbToYuvRowPairAvx512(const BYTE* s0, const BYTE* s1, BYTE* y0, BYTE* y1, BYTE* u, BYTE* v, size_t width);

// Converts the first columns of two rows sharing one chroma row; returns the columns done.
size_t YuvToRgbRowPairAvx2(const BYTE* y0, const BYTE* y1, const BYTE* u, const BYTE* v, BYTE* d0, BYTE* d1,
                           size_t width);
size_t YuvToRgbRowPairAvx512(const BYTE* y0, const BYTE* y1, const BYTE* u, const BYTE* v, BYTE* d0, BYTE* d1,
                             size_t width);

// Packed 4:2:2 (Y0 U Y1 V) to RGB24 for one row: the first columns; returns the columns done.
size_t YuyvToRgbRowAvx2(const BYTE* yuyv, BYTE* d, size_t width);
size_t YuyvToRgbRowAvx512(const BYTE* yuyv, BYTE* d, size_t width);
