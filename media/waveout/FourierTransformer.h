// Decibel helpers behind the level meters.
#pragma once

#include "MediaExport.h"

class VARNET_MEDIA_EXPORT FourierTransformer {
public:
    // Each 16-bit sample (taken as signed) as a level: 0 -> 0, else 20 * log10(|x| / 32768) + 100.
    // Writes min(count, outCount) values and returns that count.
    static int FFTDb(unsigned short* samples, int count, float* out, int outCount);
    // Spectrum in dB (10 * log10 of each bin's magnitude; an empty bin gives 0) of `count` samples,
    // count a power of two: writes min(count / 2, outCount) bins and returns count / 2, or -1 when
    // count is not a power of two.
    static int FFTDb(double* in, int count, double* out, int outCount);
    // The low `bits` bits of `value` in reverse order.
    static int BitReverse(int value, int bits);
};
