#include "SoundCompare.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace sound_test {

namespace {

using Complex = std::complex<double>;

void Fft(std::vector<Complex>& a, bool inverse) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = 2 * M_PI / double(len) * (inverse ? 1 : -1);
        const Complex step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            Complex w(1);
            for (size_t k = 0; k < len / 2; ++k) {
                const Complex u = a[i + k];
                const Complex v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
    if (inverse) {
        for (auto& x : a) x /= double(n);
    }
}

// Correlation and gain of in[from, from+len) against out[at, at+len).
Segment Measure(const std::vector<int16_t>& in, size_t from, size_t len, const std::vector<int16_t>& out, long at) {
    Segment s;
    s.lag = at - long(from);
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i < len; ++i) {
        const double x = in[from + i];
        const double y = out[size_t(at) + i];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    s.outEnergy = yy;
    s.gain = xx > 0 ? xy / xx : 0;
    s.similarity = (xx > 0 && yy > 0) ? xy / std::sqrt(xx * yy) : 0;
    return s;
}

}  // namespace

std::vector<int16_t> SpeechLike(double seconds, int rate, unsigned seed, double peak) {
    std::mt19937 rng(seed);
    auto uniform = [&rng](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    std::vector<double> v(size_t(seconds * rate), 0.0);
    size_t pos = 0;
    double phase = 0;
    while (pos < v.size()) {
        const size_t length = size_t(uniform(0.12, 0.24) * rate);
        const double f0a = uniform(110, 240), f0b = uniform(110, 240);
        const double f1 = uniform(300, 900), f2 = uniform(1000, 2600);
        for (size_t i = 0; i < length && pos + i < v.size(); ++i) {
            const double t = double(i) / double(length);
            const double f0 = f0a + (f0b - f0a) * t;
            phase += 2 * M_PI * f0 / rate;
            double x = 0;
            for (int h = 1; h * f0 < 3800; ++h) {
                const double f = h * f0;
                const double w =
                    std::exp(-std::pow((f - f1) / 250, 2)) + 0.6 * std::exp(-std::pow((f - f2) / 350, 2)) + 0.05;
                x += w * std::sin(h * phase);
            }
            v[pos + i] = x * 0.5 * (1 - std::cos(2 * M_PI * t));  // a Hann envelope a syllable
        }
        pos += length + size_t(uniform(0.02, 0.05) * rate);
    }
    double top = 0;
    for (double x : v) top = std::max(top, std::fabs(x));
    std::vector<int16_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i) out[i] = int16_t(top > 0 ? v[i] / top * peak : 0);
    return out;
}

std::vector<int16_t> ToInterleaved(const std::vector<int16_t>& mono, int channels, int rate, double leadSeconds,
                                   double tailSeconds) {
    const size_t lead = size_t(leadSeconds * rate);
    std::vector<int16_t> out((lead + mono.size() + size_t(tailSeconds * rate)) * size_t(channels), 0);
    for (size_t i = 0; i < mono.size(); ++i) {
        for (int c = 0; c < channels; ++c) out[(lead + i) * size_t(channels) + size_t(c)] = mono[i];
    }
    return out;
}

bool WriteRaw(const std::string& path, const std::vector<int16_t>& samples) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * 2));
    return bool(f);
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& interleaved, int channels, int rate) {
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&f](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&f](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t bytes = uint32_t(interleaved.size() * 2);
    f.write("RIFF", 4);
    u32(36 + bytes);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(uint16_t(channels));
    u32(uint32_t(rate));
    u32(uint32_t(rate * channels * 2));
    u16(uint16_t(channels * 2));
    u16(16);
    f.write("data", 4);
    u32(bytes);
    f.write(reinterpret_cast<const char*>(interleaved.data()), std::streamsize(bytes));
    return bool(f);
}

std::vector<int16_t> ReadRawChannel(const std::string& path, int channels) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), {});
    const size_t frames = bytes.size() / (2 * size_t(channels));
    std::vector<int16_t> out(frames);
    for (size_t i = 0; i < frames; ++i) std::memcpy(&out[i], bytes.data() + i * 2 * size_t(channels), 2);
    return out;
}

Comparison Compare(const std::vector<int16_t>& in, size_t from, const std::vector<int16_t>& out, int rate,
                   double probeSeconds, double segmentSeconds, double slackSeconds) {
    Comparison c;
    const size_t probe = std::min(size_t(probeSeconds * rate), in.size() - std::min(in.size(), from));
    if (probe == 0 || out.size() < probe) return c;
    // Correlation at every lag through the FFT, normalised by the output's sliding energy.
    size_t n = 1;
    while (n < out.size() + probe) n <<= 1;
    std::vector<Complex> a(n), b(n);
    for (size_t i = 0; i < probe; ++i) a[i] = in[from + i];
    for (size_t i = 0; i < out.size(); ++i) b[i] = out[i];
    Fft(a, false);
    Fft(b, false);
    for (size_t i = 0; i < n; ++i) a[i] = std::conj(a[i]) * b[i];
    Fft(a, true);
    std::vector<double> energy(out.size() + 1, 0);
    for (size_t i = 0; i < out.size(); ++i) energy[i + 1] = energy[i] + double(out[i]) * out[i];
    double xx = 0;
    for (size_t i = 0; i < probe; ++i) xx += double(in[from + i]) * in[from + i];
    double best = -2;
    long bestAt = 0;
    for (size_t k = 0; k + probe <= out.size(); ++k) {
        const double yy = energy[k + probe] - energy[k];
        if (yy <= 0 || xx <= 0) continue;
        const double r = a[k].real() / std::sqrt(xx * yy);
        if (r > best) {
            best = r;
            bestAt = long(k);
        }
    }
    if (best <= -2) return c;
    c.found = true;
    c.lag = bestAt - long(from);
    c.similarity = best;

    const size_t seg = size_t(segmentSeconds * rate);
    const long slack = long(slackSeconds * rate);
    long lag = c.lag;
    for (size_t start = 0; seg > 0 && start + seg <= in.size(); start += seg) {
        Segment bestSeg;
        bestSeg.similarity = -2;
        for (long l = lag - slack; l <= lag + slack; ++l) {
            const long at = long(start) + l;
            if (at < 0 || size_t(at) + seg > out.size()) continue;
            Segment s = Measure(in, start, seg, out, at);
            if (s.similarity > bestSeg.similarity) bestSeg = s;
        }
        if (bestSeg.similarity <= -2) break;  // the output ended
        if (bestSeg.outEnergy > 0) lag = bestSeg.lag;
        c.segments.push_back(bestSeg);
    }
    return c;
}

}  // namespace sound_test
