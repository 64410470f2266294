#include "FourierTransformer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

int FourierTransformer::BitReverse(int value, int bits) {
    int r = 0;
    for (int i = 0; i < bits; ++i) {
        r = (r << 1) | (value & 1);
        value >>= 1;
    }
    return r;
}

int FourierTransformer::FFTDb(unsigned short* samples, int count, float* out, int outCount) {
    if (!samples || !out || count <= 0 || outCount <= 0) return 0;
    const int n = std::min(count, outCount);
    for (int i = 0; i < n; ++i) {
        const int x = static_cast<short>(samples[i]);
        out[i] = x == 0 ? 0.0f : float(20.0 * std::log10(std::abs(x) / 32768.0) + 100.0);
    }
    return n;
}

// In-place radix-2 with twiddles in bit-reversed order (natural input, bit-reversed output), then
// the reorder.
int FourierTransformer::FFTDb(double* in, int count, double* out, int outCount) {
    if (!in || count < 2 || (count & (count - 1)) != 0) return -1;
    int n = 0;
    while ((1 << n) < count) ++n;
    try {
        std::vector<double> re(in, in + count), im(size_t(count), 0.0);
        for (int i = 1; i <= n; ++i) {
            const int span = count >> i;
            for (int e = 0; e < count; e += 2 * span) {
                const double angle = 2.0 * M_PI * BitReverse(e >> (n - i), n) / count;
                const double c = std::cos(angle), s = std::sin(angle);
                for (int j = e; j < e + span; ++j) {
                    const int k = j + span;
                    const double tr = re[size_t(k)] * c + im[size_t(k)] * s;
                    const double ti = im[size_t(k)] * c - re[size_t(k)] * s;
                    re[size_t(k)] = re[size_t(j)] - tr;
                    im[size_t(k)] = im[size_t(j)] - ti;
                    re[size_t(j)] += tr;
                    im[size_t(j)] += ti;
                }
            }
        }
        const int bins = count / 2;
        if (out) {
            const int w = std::min(bins, std::max(outCount, 0));
            for (int j = 0; j < w; ++j) {
                const size_t r = size_t(BitReverse(j, n));
                const double mag = std::sqrt(re[r] * re[r] + im[r] * im[r]);
                out[j] = mag > 0 ? 10.0 * std::log10(mag) : 0.0;
            }
        }
        return bins;
    } catch (...) {
        return -1;
    }
}
