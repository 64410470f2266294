#include <gtest/gtest.h>

#include <vector>

#include "FlvBody.h"

using Bytes = std::vector<BYTE>;

TEST(FlvBody, AvcSequenceHeaderLayout) {
    const Bytes sps = {0x67, 0x42, 0xC0, 0x0B, 1, 2, 3, 4, 5, 6};
    const Bytes pps = {0x68, 0xCE, 0x3C, 0x80};
    // Every capacity from 0 up: only 30 and more succeed, nothing is written past the capacity.
    for (int cap = 0; cap <= 32; ++cap) {
        Bytes out(size_t(cap) + 4, 0xEE);
        const int n = FlvWriteAvcSequenceHeader(sps.data(), 10, pps.data(), 4, out.data(), cap);
        EXPECT_EQ(n, cap >= 30 ? 30 : -1) << cap;
        for (size_t i = size_t(cap); i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << cap;
    }
    BYTE out[30];
    ASSERT_EQ(30, FlvWriteAvcSequenceHeader(sps.data(), 10, pps.data(), 4, out, 30));
    const Bytes head = {0x17, 0, 0, 0, 0, 1, 0x42, 0xC0, 0x0B, 0xFF, 0xE1, 0, 10};
    EXPECT_EQ(Bytes(out, out + 13), head);
    EXPECT_EQ(out[23], 1);
    EXPECT_EQ(out[24], 0);
    EXPECT_EQ(out[25], 4);

    FlvAvcConfig cfg;
    ASSERT_TRUE(FlvReadAvcSequenceHeader(out, 30, cfg));
    EXPECT_EQ(cfg.sps, sps);
    EXPECT_EQ(cfg.pps, pps);
    EXPECT_EQ(cfg.profile, 0x42);
    EXPECT_EQ(cfg.level, 0x0B);
    EXPECT_EQ(cfg.lengthSize, 3);
    // Every truncation is refused and leaves the record as it was.
    for (int len = 0; len < 30; ++len) {
        FlvAvcConfig c2;
        c2.profile = 99;
        EXPECT_FALSE(FlvReadAvcSequenceHeader(out, len, c2)) << len;
        EXPECT_EQ(c2.profile, 99);
    }
}

TEST(FlvBody, AvcSequenceHeaderInconsistentRecords) {
    const Bytes good = {0x17, 0, 0,    0,    0,    1,    0x42, 0xC0, 0x0B, 0xFF, 0xE1,
                        0,    4, 0x67, 0x42, 0xC0, 0x0B, 1,    0,    2,    0x68, 0xCE};
    FlvAvcConfig cfg;
    ASSERT_TRUE(FlvReadAvcSequenceHeader(good.data(), int(good.size()), cfg));
    struct Row {
        const char* what;
        size_t at;
        BYTE value;
    };
    const Row rows[] = {
        {"no SPS", 10, 0xE0},     {"SPS length beyond body", 12, 200}, {"empty SPS", 12, 0},
        {"no PPS", 17, 0},        {"PPS length beyond body", 19, 3},   {"not a header", 1, 1},
        {"not AVC key", 0, 0x27},
    };
    for (const Row& r : rows) {
        Bytes b = good;
        b[r.at] = r.value;
        EXPECT_FALSE(FlvReadAvcSequenceHeader(b.data(), int(b.size()), cfg)) << r.what;
    }
    // Two SPSs: the first is taken, the second skipped inside the record's bounds.
    Bytes two = {0x17, 0, 0, 0, 0, 1, 0x42, 0xC0, 0x0B, 0xFF, 0xE2, 0, 1, 0x67, 0, 2, 0x67, 0x68, 1, 0, 1, 0x68};
    ASSERT_TRUE(FlvReadAvcSequenceHeader(two.data(), int(two.size()), cfg));
    EXPECT_EQ(cfg.sps, Bytes{0x67});
    EXPECT_EQ(cfg.pps, Bytes{0x68});
    two[15] = 50;
    EXPECT_FALSE(FlvReadAvcSequenceHeader(two.data(), int(two.size()), cfg));
}

TEST(FlvBody, AacSequenceHeader) {
    struct Row {
        int profile, index, channels;
        BYTE b2, b3;
    };
    const Row rows[] = {{1, 4, 2, 0x0A, 0x10}, {1, 7, 1, 0x0B, 0x88}, {4, 3, 2, 0x21, 0x90}, {1, 11, 1, 0x0D, 0x88}};
    for (const Row& r : rows) {
        BYTE out[4];
        ASSERT_EQ(4, FlvWriteAacSequenceHeader(r.profile, r.index, r.channels, out, 4));
        EXPECT_EQ(Bytes(out, out + 4), (Bytes{0xAF, 0x00, r.b2, r.b3}));
        FlvAacConfig cfg;
        ASSERT_TRUE(FlvReadAacSequenceHeader(out, 4, cfg));
        EXPECT_EQ(cfg.profile, r.profile);
        EXPECT_EQ(cfg.samplingFrequencyIndex, r.index);
        EXPECT_EQ(cfg.channelConfiguration, r.channels);
        EXPECT_FALSE(FlvReadAacSequenceHeader(out, 3, cfg));
        EXPECT_EQ(-1, FlvWriteAacSequenceHeader(r.profile, r.index, r.channels, out, 3));
    }
}

TEST(FlvBody, AdtsRebuildAndStrip) {
    FlvAacConfig cfg{1, 4, 2};
    Bytes body(100);
    body[0] = 0xAF;
    body[1] = 0x01;
    for (size_t i = 2; i < body.size(); ++i) body[i] = BYTE(i);
    Bytes adts(105);
    ASSERT_EQ(105, FlvBuildAdtsFrame(cfg, body.data(), 100, adts.data(), 105));
    EXPECT_EQ(adts[0], 0xFF);
    EXPECT_EQ(adts[1], 0xF1);
    EXPECT_EQ(adts[2], (1 << 6) | (4 << 2) | 0);
    const int frameLen = ((adts[3] & 3) << 11) | (adts[4] << 3) | (adts[5] >> 5);
    EXPECT_EQ(frameLen, 105);
    EXPECT_EQ(adts[3] >> 6, 2);
    EXPECT_EQ(adts[6], 0xFC);
    EXPECT_EQ(Bytes(adts.begin() + 7, adts.end()), Bytes(body.begin() + 2, body.end()));
    EXPECT_EQ(-1, FlvBuildAdtsFrame(cfg, body.data(), 100, adts.data(), 104));
    // Bodies without frame bytes are dropped.
    EXPECT_EQ(-1, FlvBuildAdtsFrame(cfg, body.data(), 2, adts.data(), 105));
    EXPECT_EQ(-1, FlvBuildAdtsFrame(cfg, body.data(), 1, adts.data(), 105));
    // Strip back: the same body.
    Bytes back(100);
    ASSERT_EQ(100, FlvWriteAacFrame(adts.data(), 105, back.data(), 100));
    EXPECT_EQ(back, body);
    EXPECT_EQ(-1, FlvWriteAacFrame(adts.data(), 105, back.data(), 99));
    EXPECT_EQ(-1, FlvWriteAacFrame(adts.data(), 7, back.data(), 100));
}

TEST(FlvBody, VideoFrames) {
    const Bytes nal = {0x65, 0x88, 0x84, 0x21, 0xA0};
    BYTE body[14];
    ASSERT_EQ(14, FlvWriteVideoFrame(true, nal.data(), 5, body, 14));
    EXPECT_EQ(Bytes(body, body + 9), (Bytes{0x17, 1, 0, 0, 0, 0, 0, 0, 5}));
    EXPECT_EQ(-1, FlvWriteVideoFrame(true, nal.data(), 5, body, 13));
    ASSERT_EQ(14, FlvWriteVideoFrame(false, nal.data(), 5, body, 14));
    EXPECT_EQ(body[0], 0x27);
    EXPECT_EQ(FlvClassifyBody(FLV_TAG_VIDEO, body, 14), FlvBodyKind::AvcFrame);

    BYTE out[9];
    ASSERT_EQ(9, FlvVideoToStartCode(body, 14, out, 9));
    EXPECT_EQ(Bytes(out, out + 9), (Bytes{0, 0, 0, 1, 0x65, 0x88, 0x84, 0x21, 0xA0}));
    EXPECT_EQ(-1, FlvVideoToStartCode(body, 14, out, 8));
    // Too short to hold a unit.
    for (int len = 0; len <= 9; ++len) EXPECT_EQ(-1, FlvVideoToStartCode(body, len, out, 9)) << len;
    // A length that lies takes the rest of the body; two units both get start codes.
    body[8] = 200;
    ASSERT_EQ(9, FlvVideoToStartCode(body, 14, out, 9));
    EXPECT_EQ(out[3], 1);
    const Bytes two = {0x17, 1, 0, 0, 0, 0, 0, 0, 2, 0x67, 0x42, 0, 0, 0, 1, 0x68};
    BYTE out2[12];
    ASSERT_EQ(11, FlvVideoToStartCode(two.data(), int(two.size()), out2, 12));
    EXPECT_EQ(Bytes(out2, out2 + 11), (Bytes{0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68}));
}

TEST(FlvBody, Classify) {
    struct Row {
        int type;
        Bytes body;
        FlvBodyKind kind;
    };
    const Row rows[] = {
        {8, {0xAF, 0x00, 0x12, 0x10}, FlvBodyKind::AacSequenceHeader},
        {8, {0xAF, 0x00, 0x12}, FlvBodyKind::Ignored},
        {8, {0xAF, 0x01, 0x21}, FlvBodyKind::AacFrame},
        {8, {0xAF, 0x01}, FlvBodyKind::Ignored},
        {8, {0xAF}, FlvBodyKind::Ignored},
        {8, {0x2F, 0x01, 0x21}, FlvBodyKind::Ignored},
        {9, {0x17, 0x00}, FlvBodyKind::AvcSequenceHeader},
        {9, {0x17, 0x01, 0, 0, 0, 0, 0, 0, 1}, FlvBodyKind::Ignored},
        {9, {0x17, 0x01, 0, 0, 0, 0, 0, 0, 1, 0x65}, FlvBodyKind::AvcKeyFrame},
        {9, {0x27, 0x02, 0, 0, 0, 0, 0, 0, 1, 0x41}, FlvBodyKind::Ignored},
        {18, {}, FlvBodyKind::Script},
        {7, {0xAF, 0x01, 1}, FlvBodyKind::Ignored},
    };
    for (const Row& r : rows) EXPECT_EQ(FlvClassifyBody(r.type, r.body.data(), int(r.body.size())), r.kind);
}

namespace {
Bytes MakeStream(const std::vector<std::pair<int, Bytes>>& tags) {
    Bytes s(13);
    EXPECT_EQ(13, FlvWriteFileHeader(true, true, s.data(), 13));
    unsigned ts = 900;
    for (const auto& [type, body] : tags) {
        Bytes t(body.size() + 15);
        EXPECT_EQ(int(t.size()), FlvWriteTag(type, ts, body.data(), int(body.size()), t.data(), int(t.size())));
        s.insert(s.end(), t.begin(), t.end());
        ts += 0x01000000 / 2;  // exercises the extension byte
    }
    return s;
}
}  // namespace

TEST(FlvTagReader, CutsTagsWhateverThePieces) {
    const std::vector<std::pair<int, Bytes>> tags = {
        {18, Bytes(30, 2)}, {8, {0xAF, 0, 0x12, 0x10}}, {9, Bytes(500, 9)}, {8, Bytes(3, 1)}, {9, {}}};
    const Bytes stream = MakeStream(tags);
    for (size_t piece : {size_t(1), size_t(5), size_t(13), size_t(14), size_t(97), stream.size()}) {
        FlvTagReader reader(4096);
        std::vector<FlvTag> got;
        std::vector<Bytes> bodies;
        for (size_t at = 0; at < stream.size(); at += piece) {
            const size_t n = std::min(piece, stream.size() - at);
            ASSERT_TRUE(reader.Feed(stream.data() + at, n, [&](const FlvTag& t) {
                got.push_back(t);
                bodies.emplace_back(t.body, t.body + t.size);
            }));
        }
        ASSERT_EQ(got.size(), tags.size()) << piece;
        for (size_t i = 0; i < tags.size(); ++i) {
            EXPECT_EQ(got[i].type, tags[i].first);
            EXPECT_EQ(bodies[i], tags[i].second);
            EXPECT_EQ(got[i].timestamp, 900u + unsigned(i) * (0x01000000u / 2));
        }
        EXPECT_EQ(reader.Held(), 0u);
    }
}

TEST(FlvTagReader, HeaderNeedsFourteenBytes) {
    FlvTagReader reader(1024);
    const Bytes header(13, 0);
    int tags = 0;
    reader.Feed(header.data(), 13, [&](const FlvTag&) { ++tags; });
    EXPECT_EQ(reader.Held(), 13u);
    // A tag body bigger than the reader can ever hold breaks the stream instead of desynchronising it.
    const Bytes big = {9, 0x00, 0x04, 0x00, 0, 0, 0, 0, 0, 0, 0, 0x17};
    EXPECT_FALSE(reader.Feed(big.data(), big.size(), [&](const FlvTag&) { ++tags; }));
    EXPECT_TRUE(reader.Broken());
    EXPECT_EQ(tags, 0);
    reader.Reset();
    EXPECT_FALSE(reader.Broken());
}

TEST(FlvTagReader, LargeTagFitsExactly) {
    const size_t cap = 1048576;
    Bytes body(cap - 15, 7);
    const Bytes stream = MakeStream({{9, body}, {8, {0xAF, 1, 3}}});
    FlvTagReader reader(cap);
    size_t got = 0;
    for (size_t at = 0; at < stream.size(); at += 10240)
        ASSERT_TRUE(reader.Feed(stream.data() + at, std::min<size_t>(10240, stream.size() - at),
                                [&](const FlvTag& t) { got += size_t(t.size); }));
    EXPECT_EQ(got, body.size() + 3);
}
