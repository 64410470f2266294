#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include <fdk-aac/aacenc_lib.h>

#include "Dunmar.h"
#include "FlvBody.h"
#include "Pellac.h"

namespace {

std::vector<short> Tone(int rate, int channels, double seconds, double hz, double amplitude) {
    const size_t frames = size_t(rate * seconds);
    std::vector<short> pcm(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            pcm[i * size_t(channels) + size_t(c)] = short(amplitude * std::sin(2 * M_PI * hz * double(i) / rate));
    return pcm;
}

double Rms(const short* s, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += double(s[i]) * s[i];
    return n ? std::sqrt(sum / double(n)) : 0;
}

struct Encoded {
    AEncInfo info;
    std::vector<std::vector<BYTE>> frames;
    size_t samplesIn = 0;
};

Encoded Encode(int rate, int channels, int aot, const std::vector<short>& pcm) {
    Encoded e;
    Pellac enc;
    EXPECT_TRUE(enc.Init(rate, 48, channels, 16, aot, &e.info));
    const size_t chunk = size_t(e.info.frameLength) * size_t(channels);
    std::vector<BYTE> out(size_t(e.info.maxOutputBytes));
    for (size_t at = 0; at + chunk <= pcm.size(); at += chunk) {
        const int n = enc.EncodeFrame(const_cast<short*>(pcm.data() + at), int(chunk * 2), out.data(), int(out.size()));
        EXPECT_GE(n, 0);
        if (n > 0) e.frames.emplace_back(out.begin(), out.begin() + n);
        e.samplesIn += chunk;
    }
    return e;
}

}  // namespace

TEST(Pellac, InitReportsStreamConfiguration) {
    struct Row {
        int rate, channels, aot;
        bool ok;
        int profile, index, chcfg, frameLength, maxOut;
    };
    const Row rows[] = {
        {44100, 2, 2, true, 1, 4, 2, 1024, 1536}, {44100, 2, 29, true, 1, 7, 1, 2048, 1536},
        {44100, 1, 29, true, 1, 7, 1, 2048, 768}, {44100, 2, 5, true, 1, 7, 2, 2048, 1536},
        {22050, 1, 2, true, 1, 7, 1, 1024, 768},  {11025, 1, 29, false, 0, 0, 0, 0, 0},
        {44100, 3, 2, false, 0, 0, 0, 0, 0},      {44100, 0, 2, false, 0, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.rate << " Hz " << r.channels << " ch type " << r.aot);
        Pellac enc;
        AEncInfo info;
        ASSERT_EQ(enc.Init(r.rate, 48, r.channels, 16, r.aot, &info), r.ok);
        if (!r.ok) continue;
        EXPECT_EQ(info.profile, r.profile);
        EXPECT_EQ(info.samplingFrequencyIndex, r.index);
        EXPECT_EQ(info.channelConfiguration, r.chcfg);
        EXPECT_EQ(info.frameLength, r.frameLength);
        EXPECT_EQ(info.maxOutputBytes, r.maxOut);
    }
    Pellac enc;
    AEncInfo info;
    EXPECT_FALSE(enc.Init(44100, 48, 2, 8, 2, &info));
    BYTE out[16];
    short pcm[16] = {};
    EXPECT_EQ(0, enc.EncodeFrame(pcm, sizeof(pcm), out, sizeof(out)));
}

// PCM -> ADTS -> (FLV body and back) -> PCM, for the object types the publisher uses.
TEST(AacRoundTrip, LevelsAndLengths) {
    struct Row {
        int channels, aot, frameSize;
    };
    const Row rows[] = {{2, 2, 1024}, {2, 29, 2048}, {1, 29, 2048}, {1, 2, 1024}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.channels << " ch type " << r.aot);
        const std::vector<short> pcm = Tone(44100, r.channels, 2.0, 1000, 8000);
        const Encoded e = Encode(44100, r.channels, r.aot, pcm);
        ASSERT_GT(e.frames.size(), 20u);
        // The sequence header the publisher sends, read back as the player does.
        BYTE seq[4];
        ASSERT_EQ(4, FlvWriteAacSequenceHeader(e.info.profile, e.info.samplingFrequencyIndex,
                                               e.info.channelConfiguration, seq, 4));
        FlvAacConfig cfg;
        ASSERT_TRUE(FlvReadAacSequenceHeader(seq, 4, cfg));

        Dunmar dec;
        std::vector<short> decoded;
        int rate = 0, channels = 0, frameSize = 0;
        std::vector<BYTE> body(4096), adts(4096);
        std::vector<short> out(8192);
        for (size_t i = 0; i < e.frames.size(); ++i) {
            const int bl = FlvWriteAacFrame(e.frames[i].data(), int(e.frames[i].size()), body.data(), int(body.size()));
            ASSERT_GT(bl, 2);
            const int al = FlvBuildAdtsFrame(cfg, body.data(), bl, adts.data(), int(adts.size()));
            ASSERT_EQ(al, int(e.frames[i].size()));
            if (i == 0) {
                ASSERT_TRUE(dec.Init(adts.data(), al, rate, channels, frameSize));
                EXPECT_EQ(rate, 44100);
                EXPECT_EQ(frameSize, r.frameSize);
                EXPECT_EQ(channels, r.aot == 29 ? 2 : r.channels);  // SBR streams decode as stereo
                continue;                                           // the first frame configures only
            }
            bool got = false;
            const int used = dec.DecoderFrame(adts.data(), al, out.data(), int(out.size() * 2), got);
            ASSERT_EQ(used, al);
            ASSERT_TRUE(got);
            decoded.insert(decoded.end(), out.begin(), out.begin() + frameSize * channels);
        }
        // Every frame after the first comes out whole.
        EXPECT_EQ(decoded.size(), (e.frames.size() - 1) * size_t(frameSize) * size_t(channels));
        // Level of the steady part within 1.5 dB of the input.
        const size_t skip = decoded.size() / 4;
        const double inDb = 20 * std::log10(Rms(pcm.data(), pcm.size()));
        const double outDb = 20 * std::log10(Rms(decoded.data() + skip, decoded.size() / 2));
        EXPECT_NEAR(outDb, inDb, 1.5);
    }
}

TEST(Dunmar, TruncatedFramesAndSmallBuffers) {
    const std::vector<short> pcm = Tone(44100, 2, 0.5, 440, 10000);
    const Encoded e = Encode(44100, 2, 2, pcm);
    ASSERT_GT(e.frames.size(), 5u);
    Dunmar dec;
    int rate, ch, fs;
    ASSERT_TRUE(dec.Init(const_cast<BYTE*>(e.frames[0].data()), int(e.frames[0].size()), rate, ch, fs));
    std::vector<short> out(4096 + 16, 0x5A5A);
    bool got = true;
    // Half a frame: taken, no frame, no failure.
    std::vector<BYTE> f = e.frames[1];
    EXPECT_EQ(int(f.size() / 2), dec.DecoderFrame(f.data(), int(f.size() / 2), out.data(), 8192, got));
    EXPECT_FALSE(got);
    // A buffer one sample short of a frame is refused and not overrun.
    Dunmar dec2;
    ASSERT_TRUE(dec2.Init(const_cast<BYTE*>(e.frames[0].data()), int(e.frames[0].size()), rate, ch, fs));
    f = e.frames[2];
    std::fill(out.begin(), out.end(), short(0x5A5A));
    EXPECT_EQ(-1, dec2.DecoderFrame(f.data(), int(f.size()), out.data(), 2 * (1024 * 2 - 1), got));
    EXPECT_FALSE(got);
    for (size_t i = 1024 * 2 - 1; i < out.size(); ++i) ASSERT_EQ(out[i], short(0x5A5A)) << i;
    // Garbage never configures; calls without a decoder fail.
    std::vector<BYTE> junk(300, 0x11);
    Dunmar dec3;
    EXPECT_FALSE(dec3.Init(junk.data(), int(junk.size()), rate, ch, fs));
    EXPECT_EQ(-1, dec3.DecoderFrame(junk.data(), 300, out.data(), 8192, got));
    EXPECT_FALSE(dec3.Init(nullptr, 10, rate, ch, fs));
}

// Multichannel streams come from other publishers: encoded here with fdk-aac itself.
std::vector<std::vector<BYTE>> EncodeMultichannel(int channels, int mode, int aot) {
    HANDLE_AACENCODER h = nullptr;
    std::vector<std::vector<BYTE>> frames;
    if (aacEncOpen(&h, 0, UINT(channels)) != AACENC_OK) return frames;
    aacEncoder_SetParam(h, AACENC_AOT, UINT(aot));
    aacEncoder_SetParam(h, AACENC_SAMPLERATE, 48000);
    aacEncoder_SetParam(h, AACENC_CHANNELMODE, UINT(mode));
    aacEncoder_SetParam(h, AACENC_BITRATE, UINT(64000 * channels));
    aacEncoder_SetParam(h, AACENC_TRANSMUX, TT_MP4_ADTS);
    AACENC_InfoStruct info{};
    if (aacEncEncode(h, nullptr, nullptr, nullptr, nullptr) != AACENC_OK || aacEncInfo(h, &info) != AACENC_OK) {
        aacEncClose(&h);
        return frames;
    }
    const std::vector<short> pcm = Tone(48000, channels, 0.5, 500, 6000);
    std::vector<BYTE> out(info.maxOutBufBytes);
    const size_t chunk = size_t(info.frameLength) * size_t(channels);
    for (size_t at = 0; at + chunk <= pcm.size(); at += chunk) {
        void* inPtr = const_cast<short*>(pcm.data() + at);
        void* outPtr = out.data();
        INT inId = IN_AUDIO_DATA, inSize = INT(chunk * 2), inElem = 2, outId = OUT_BITSTREAM_DATA;
        INT outSize = INT(out.size()), outElem = 1;
        AACENC_BufDesc inDesc{1, &inPtr, &inId, &inSize, &inElem};
        AACENC_BufDesc outDesc{1, &outPtr, &outId, &outSize, &outElem};
        AACENC_InArgs inArgs{INT(chunk), 0};
        AACENC_OutArgs outArgs{};
        if (aacEncEncode(h, &inDesc, &outDesc, &inArgs, &outArgs) != AACENC_OK) break;
        if (outArgs.numOutBytes > 0) frames.emplace_back(out.begin(), out.begin() + outArgs.numOutBytes);
    }
    aacEncClose(&h);
    return frames;
}

TEST(Dunmar, MultichannelStreamsOpenAndDecodeWhole) {
    struct Row {
        int channels, mode, aot, frameSize;
    };
    const Row rows[] = {{6, 6, 2, 1024}, {6, 6, 5, 2048}, {2, 2, 5, 2048}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.channels << " ch type " << r.aot);
        const auto frames = EncodeMultichannel(r.channels, r.mode, r.aot);
        ASSERT_GT(frames.size(), 4u);
        Dunmar dec;
        int rate = 0, channels = 0, frameSize = 0;
        ASSERT_TRUE(dec.Init(const_cast<BYTE*>(frames[0].data()), int(frames[0].size()), rate, channels, frameSize));
        EXPECT_EQ(48000, rate);
        EXPECT_EQ(r.channels, channels);
        EXPECT_EQ(r.frameSize, frameSize);
        // A buffer of exactly one frame, as the player sizes it from what Init reported.
        std::vector<short> out(size_t(frameSize) * size_t(channels));
        std::vector<BYTE> f = frames[1];
        bool got = false;
        EXPECT_EQ(int(f.size()), dec.DecoderFrame(f.data(), int(f.size()), out.data(), int(out.size() * 2), got));
        EXPECT_TRUE(got);
    }
}

TEST(Pellac, OversizedInputIsKeptNotLost) {
    // Two frames' worth in one call: nothing is dropped, the second frame comes with the next call.
    const std::vector<short> pcm = Tone(44100, 2, 1.0, 1000, 8000);
    Pellac enc;
    AEncInfo info;
    ASSERT_TRUE(enc.Init(44100, 48, 2, 16, 2, &info));
    std::vector<BYTE> out(size_t(info.maxOutputBytes));
    const size_t frame = size_t(info.frameLength) * 2;
    int produced = 0;
    for (size_t at = 0; at + 2 * frame <= pcm.size(); at += 2 * frame) {
        if (enc.EncodeFrame(const_cast<short*>(pcm.data() + at), int(frame * 4), out.data(), int(out.size())) > 0)
            ++produced;
        short none = 0;
        if (enc.EncodeFrame(&none, 0, out.data(), int(out.size())) > 0) ++produced;
    }
    EXPECT_GE(produced, int(pcm.size() / frame) - 4);
}
