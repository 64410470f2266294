// Test helpers for sound that went through a real path: a speech-like signal, raw and WAV files, and the
// comparison of what came out with what went in by cross-correlation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sound_test {

// Syllables of a gliding voice (harmonics under two moving formants) with short pauses, never
// periodic, so that one delay alone matches. Mono, peak about `peak`.
std::vector<int16_t> SpeechLike(double seconds, int rate, unsigned seed, double peak = 6000.0);

// Interleaved 16-bit samples, every channel the same signal, between `leadSeconds` and `tailSeconds` of
// silence.
std::vector<int16_t> ToInterleaved(const std::vector<int16_t>& mono, int channels, int rate, double leadSeconds,
                                   double tailSeconds = 0);
bool WriteRaw(const std::string& path, const std::vector<int16_t>& samples);
bool WriteWav(const std::string& path, const std::vector<int16_t>& interleaved, int channels, int rate);
// The first channel of an interleaved raw file.
std::vector<int16_t> ReadRawChannel(const std::string& path, int channels);

struct Segment {
    long lag = 0;           // where the segment was found in the output (samples after its place in `in`)
    double similarity = 0;  // normalised correlation there, -1..1
    double gain = 0;        // least-squares gain of the output against the input there
    double outEnergy = 0;   // sum of squares of the output there
};

struct Comparison {
    bool found = false;
    long lag = 0;                   // delay of the output against the input, samples
    double similarity = 0;          // over the probe (the first `probeSeconds` of the input)
    std::vector<Segment> segments;  // consecutive pieces of the input, each searched near the last lag
};

// Finds `in` (from sample `from`, `probeSeconds` long) in `out`, then follows the rest of `in` in
// `segmentSeconds` pieces, each allowed to move `slackSeconds` from the previous one's lag (an
// output that fell behind by a buffer still matches).
Comparison Compare(const std::vector<int16_t>& in, size_t from, const std::vector<int16_t>& out, int rate,
                   double probeSeconds, double segmentSeconds, double slackSeconds);

}  // namespace sound_test
