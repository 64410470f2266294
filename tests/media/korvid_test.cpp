#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "FlvBody.h"
#include "H264ParamSets.h"
#include "Korvid.h"

namespace {

// A moving test picture in I420.
std::vector<BYTE> Picture(int w, int h, int n) {
    std::vector<BYTE> p(size_t(w * h * 3 / 2));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p[size_t(y * w + x)] = BYTE((x + y + n * 4) & 0xFF);
    for (size_t i = size_t(w * h); i < p.size(); ++i) p[i] = BYTE(128 + (n & 15));
    return p;
}

struct Decoder {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* ctx = nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int pictures = 0, width = 0, height = 0;
    std::vector<BYTE> firstLuma;  // rows of the first picture, without padding

    Decoder() {
        av_log_set_level(AV_LOG_QUIET);
        ctx = avcodec_alloc_context3(codec);
        ctx->thread_count = 1;
        ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
        ctx->apply_cropping = 0;
        avcodec_open2(ctx, codec, nullptr);
    }
    ~Decoder() {
        av_frame_free(&frame);
        av_packet_free(&pkt);
        avcodec_free_context(&ctx);
    }
    void Feed(const BYTE* data, int size) {
        std::vector<BYTE> buf(size_t(size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        memcpy(buf.data(), data, size_t(size));
        pkt->data = buf.data();
        pkt->size = size;
        avcodec_send_packet(ctx, pkt);
        while (avcodec_receive_frame(ctx, frame) == 0) {
            if (pictures == 0)
                for (int y = 0; y < frame->height; ++y)
                    firstLuma.insert(firstLuma.end(), frame->data[0] + y * frame->linesize[0],
                                     frame->data[0] + y * frame->linesize[0] + frame->width);
            ++pictures;
            width = frame->width;
            height = frame->height;
        }
    }
};

}  // namespace

TEST(Korvid, HeadersAndDelay) {
    Korvid enc;
    ASSERT_EQ(0, enc.Initialize(320, 240, 84, 10, 30));
    TNAL* nals = nullptr;
    int count = 0;
    ASSERT_EQ(0, enc.EncodeHeader(nals, count));
    ASSERT_EQ(count, 3);
    EXPECT_EQ(nals[0].type, 7);
    EXPECT_EQ(nals[1].type, 8);
    EXPECT_EQ(nals[2].type, 6);
    EXPECT_EQ(NalStartCodeLength(nals[0].data, nals[0].size), 4);
    Korvid::CleanNAL(nals, count);
    EXPECT_EQ(nals, nullptr);

    int calls = 0, firstOutput = 0, keyFrames = 0;
    for (int i = 0; i < 60; ++i) {
        std::vector<BYTE> pic = Picture(320, 240, i);
        ASSERT_EQ(0, enc.EncodeFrame(pic.data(), nals, count));
        ++calls;
        if (count > 0 && firstOutput == 0) {
            firstOutput = calls;
            EXPECT_EQ(nals[0].type, 5);
        }
        for (int k = 0; k < count; ++k) keyFrames += nals[k].type == 5;
        Korvid::CleanNAL(nals, count);
    }
    EXPECT_EQ(firstOutput, 12);
    EXPECT_EQ(enc.GetCurrentDelayedFrames(), 11);
    EXPECT_EQ(keyFrames, 2);
    EXPECT_EQ(0, enc.Destroy());
    EXPECT_EQ(enc.GetCurrentDelayedFrames(), 0);
    EXPECT_EQ(-1, enc.EncodeFrame(nullptr, nals, count));
}

TEST(Korvid, RefusesBadSettings) {
    Korvid enc;
    EXPECT_EQ(-1, enc.Initialize(0, 240, 84, 10, 30));
    EXPECT_EQ(-1, enc.Initialize(321, 240, 84, 10, 30));
    EXPECT_EQ(-1, enc.Initialize(320, 240, 84, 0, 30));
    TNAL* nals = nullptr;
    int count = 5;
    EXPECT_EQ(-1, enc.EncodeHeader(nals, count));
    EXPECT_EQ(count, 0);
}

// Pictures -> units -> FLV bodies -> start-code units -> libavcodec, at the size the SPS reader reports.
TEST(Korvid, UnitsDecodeAtTheReportedSize) {
    struct Row {
        int w, h, fps;
        int expW, expH;
    };
    const Row rows[] = {{320, 240, 10, 320, 240}, {160, 120, 15, 160, 128}, {640, 480, 25, 640, 480}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.w << "x" << r.h);
        Korvid enc;
        ASSERT_EQ(0, enc.Initialize(r.w, r.h, 300, r.fps, 30));
        TNAL* nals = nullptr;
        int count = 0;
        ASSERT_EQ(0, enc.EncodeHeader(nals, count));
        std::vector<BYTE> sps, pps;
        for (int i = 0; i < count; ++i) {
            const int sc = NalStartCodeLength(nals[i].data, nals[i].size);
            if (nals[i].type == 7) sps.assign(nals[i].data + sc, nals[i].data + nals[i].size);
            if (nals[i].type == 8) pps.assign(nals[i].data + sc, nals[i].data + nals[i].size);
        }
        Korvid::CleanNAL(nals, count);
        std::vector<BYTE> seq(sps.size() + pps.size() + 16);
        ASSERT_GT(FlvWriteAvcSequenceHeader(sps.data(), int(sps.size()), pps.data(), int(pps.size()), seq.data(),
                                            int(seq.size())),
                  0);
        FlvAvcConfig cfg;
        ASSERT_TRUE(FlvReadAvcSequenceHeader(seq.data(), int(seq.size()), cfg));
        SPS s;
        ASSERT_EQ(0, ReadSps(cfg.sps.data(), int(cfg.sps.size()), s));
        EXPECT_EQ(SpsWidth(s), r.expW);
        EXPECT_EQ(SpsHeight(s), r.expH);
        EXPECT_EQ(SpsFrameRate(s), unsigned(r.fps));

        Decoder dec;
        std::vector<BYTE> unit(4);
        unit = {0, 0, 0, 1};
        unit.insert(unit.end(), cfg.sps.begin(), cfg.sps.end());
        dec.Feed(unit.data(), int(unit.size()));
        unit = {0, 0, 0, 1};
        unit.insert(unit.end(), cfg.pps.begin(), cfg.pps.end());
        dec.Feed(unit.data(), int(unit.size()));
        int sent = 0;
        for (int i = 0; i < 40; ++i) {
            std::vector<BYTE> pic = Picture(r.w, r.h, i);
            ASSERT_EQ(0, enc.EncodeFrame(pic.data(), nals, count));
            for (int k = 0; k < count; ++k) {
                if (nals[k].type != 1 && nals[k].type != 5) continue;
                const int sc = NalStartCodeLength(nals[k].data, nals[k].size);
                std::vector<BYTE> body(size_t(nals[k].size) + 9);
                const int bl = FlvWriteVideoFrame(nals[k].type == 5, nals[k].data + sc, nals[k].size - sc, body.data(),
                                                  int(body.size()));
                ASSERT_GT(bl, 0);
                std::vector<BYTE> annexB(static_cast<size_t>(bl));
                const int al = FlvVideoToStartCode(body.data(), bl, annexB.data(), int(annexB.size()));
                ASSERT_EQ(al, bl - 5);
                dec.Feed(annexB.data(), al);
                ++sent;
            }
            Korvid::CleanNAL(nals, count);
        }
        enc.Destroy();
        EXPECT_EQ(sent, 40 - 11);
        EXPECT_EQ(dec.pictures, sent);
        EXPECT_EQ(dec.width, r.expW);
        EXPECT_EQ(dec.height, r.expH);
        // The first picture comes back as it went in (the encoder's plane copy and strides are right).
        ASSERT_EQ(dec.firstLuma.size(), size_t(r.expW) * size_t(r.expH));
        const std::vector<BYTE> first = Picture(r.w, r.h, 0);
        double err = 0;
        for (int y = 0; y < r.h; ++y)
            for (int x = 0; x < r.w; ++x) {
                const double d = double(dec.firstLuma[size_t(y * r.expW + x)]) - first[size_t(y * r.w + x)];
                err += d * d;
            }
        const double psnr = 10 * std::log10(255.0 * 255.0 / std::max(err / (r.w * r.h), 1e-9));
        EXPECT_GT(psnr, 30.0);
    }
}
