// The playback library fed through a fake RTMP client: tag reading, malformed input, queues, pacing,
// and stopping while threads block.
#include "ChildProcess.h"
#include "FakeFerrel.h"
#include "FlvBody.h"
#include "PacketQueue.h"
#include "Rondel.h"
#include "Tovel.h"
#include "StreamHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

using namespace streams_test;

// A short FLV file from ffmpeg (x264 baseline 320x240 at 25 fps and AAC), or empty without ffmpeg.
const std::vector<uint8_t>& SampleFlv() {
    static const std::vector<uint8_t> data = [] {
        std::vector<uint8_t> d;
        char name[] = "/tmp/varnet-flv-XXXXXX";
        int fd = mkstemp(name);
        close(fd);
        const std::string out = std::string(name) + ".flv";
        testenv::ChildProcess p;
        if (p.Start({"ffmpeg",     "-loglevel", "error",    "-y",
                     "-f",         "lavfi",     "-i",       "testsrc=size=320x240:rate=25",
                     "-f",         "lavfi",     "-i",       "sine=frequency=440:sample_rate=44100",
                     "-t",         "3",         "-c:v",     "libx264",
                     "-profile:v", "baseline",  "-pix_fmt", "yuv420p",
                     "-g",         "25",        "-c:a",     "aac",
                     "-ac",        "2",         out}) &&
            p.Wait(30000) == 0) {
            std::ifstream in(out, std::ios::binary);
            d.assign(std::istreambuf_iterator<char>(in), {});
        }
        unlink(name);
        unlink(out.c_str());
        return d;
    }();
    return data;
}

std::vector<uint8_t> Tag(int type, unsigned ts, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out(body.size() + 15);
    int n = FlvWriteTag(type, ts, body.data(), int(body.size()), out.data(), int(out.size()));
    out.resize(size_t(std::max(n, 0)));
    return out;
}

std::vector<uint8_t> Header() {
    return {'F', 'L', 'V', 1, 5, 0, 0, 0, 9, 0, 0, 0, 0};
}

class PlaybackTest : public ::testing::Test {
protected:
    void TearDown() override { RondelSetFactories({}); }

    // Plays `bytes` through a fake client with the given chunking; returns after the stream ends.
    void Play(std::vector<uint8_t> bytes, std::vector<int> chunks, ZQReplayParam rp, ReplayRecorder& rec,
              int waitFrames = 0) {
        RondelFactories f;
        f.client = [bytes, chunks] { return std::make_unique<FakeFerrel>(bytes, chunks); };
        RondelSetFactories(f);
        Rondel player;
        ASSERT_EQ(REPLAY_SUCCESS, player.Init(&rp, &rec));
        EXPECT_TRUE(WaitFor([&] { return rec.StatusCount(REPLAY_CONNECTION_LOST) > 0; }, 5000));
        if (waitFrames > 0) {
            WaitFor([&] { return rec.FrameCount() >= size_t(waitFrames); }, 5000);
        }
        player.Uint();
    }
};

TEST_F(PlaybackTest, RecordedStreamInAnyChunkingGivesTheSamePictures) {
    if (SampleFlv().empty()) GTEST_SKIP() << "ffmpeg with x264 is not available";
    ZQReplayParam rp;
    rp.audioShow = false;  // pace video by its queue only; the whole file is queued at once
    for (const std::vector<int>& chunks : {std::vector<int>{5, 5, 4, 1, 2000, 333, 4096}, std::vector<int>{10240}}) {
        ReplayRecorder rec;
        Play(SampleFlv(), chunks, rp, rec, 40);
        EXPECT_EQ(1, rec.StatusCount(REPLAY_CONNECTION_LOST));
        std::lock_guard<std::mutex> lock(rec.m);
        EXPECT_GE(rec.frames.size(), 40u);  // 3 s at 25 fps; the first second is never shown
        for (auto& fr : rec.frames) {
            EXPECT_EQ(320, fr.width);
            EXPECT_EQ(240, fr.height);
            EXPECT_GT(fr.pts, 0u);
        }
    }
}

TEST_F(PlaybackTest, MalformedTagsAreDroppedWithoutHarm) {
    std::vector<uint8_t> s = Header();
    auto add = [&](const std::vector<uint8_t>& t) { s.insert(s.end(), t.begin(), t.end()); };
    add(Tag(8, 0, {0xAF, 0x01, 0x11}));        // AAC frame before the sequence header
    add(Tag(8, 0, {0xAF}));                    // too short to classify
    add(Tag(8, 0, {0xAF, 0x00, 0x12, 0x10}));  // AAC sequence header
    add(Tag(8, 10, {0xAF, 0x01}));             // empty AAC frame
    add(Tag(9, 0, {0x17, 0x01, 0, 0, 0}));     // a NAL tag before any configuration
    // AVC configurations whose lengths lie: SPS length past the tag, no PPS, zero counts.
    add(Tag(9, 0, {0x17, 0x00, 0, 0, 0, 0x01, 0x42, 0xc0, 0x0b, 0xff, 0xe1, 0x10, 0x00, 0x67}));
    add(Tag(9, 0, {0x17, 0x00, 0, 0, 0, 0x01, 0x42, 0xc0, 0x0b, 0xff, 0xe1, 0x00, 0x02, 0x67, 0x42}));
    add(Tag(9, 0, {0x17, 0x00, 0, 0, 0, 0x01, 0x42, 0xc0, 0x0b, 0xff, 0xe0, 0x00}));
    add(Tag(9, 2000, {0x27, 0x01, 0, 0, 0, 0, 0, 0, 5}));  // L <= 9
    add(Tag(18, 0, {0x02, 0x00}));
    add(Tag(77, 0, {1, 2, 3}));
    ZQReplayParam rp;
    ReplayRecorder rec;
    Play(s, {3}, rp, rec);
    EXPECT_EQ(0u, rec.FrameCount());
    EXPECT_EQ(1, rec.StatusCount(REPLAY_CONNECTION_LOST));
}

TEST_F(PlaybackTest, TagLargerThanTheParseBufferEndsTheSession) {
    std::vector<uint8_t> s = Header();
    // Type 9, L = 2 MiB: can never be held.
    const uint8_t big[] = {9, 0x20, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0x17, 0x01};
    s.insert(s.end(), big, big + sizeof(big));
    s.resize(s.size() + 1200000, 0x55);
    RondelFactories f;
    f.client = [s] { return std::make_unique<FakeFerrel>(s, std::vector<int>{10240}, true); };
    RondelSetFactories(f);
    Rondel player;
    ReplayRecorder rec;
    ZQReplayParam rp;
    ASSERT_EQ(REPLAY_SUCCESS, player.Init(&rp, &rec));
    EXPECT_TRUE(WaitFor([&] { return rec.StatusCount(REPLAY_CONNECTION_LOST) == 1; }, 5000));
    player.Uint();
    EXPECT_EQ(1, rec.StatusCount(REPLAY_CONNECTION_LOST));
}

// Audio the decoder can open plays in the stream's own layout; audio it cannot is reported once.
TEST_F(PlaybackTest, AudioPlaysInItsChannelLayoutOrIsReportedUndecodable) {
    std::vector<uint8_t> sixChannels;
    {
        char name[] = "/tmp/varnet-six-XXXXXX";
        close(mkstemp(name));
        const std::string out = std::string(name) + ".flv";
        testenv::ChildProcess p;
        if (p.Start({"ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000",
                     "-t", "3", "-ac", "6", "-c:a", "aac", out}) &&
            p.Wait(30000) == 0) {
            std::ifstream in(out, std::ios::binary);
            sixChannels.assign(std::istreambuf_iterator<char>(in), {});
        }
        unlink(name);
        unlink(out.c_str());
    }
    if (sixChannels.empty()) GTEST_SKIP() << "ffmpeg is not available";
    std::vector<uint8_t> undecodable = Header();
    auto add = [&](const std::vector<uint8_t>& t) { undecodable.insert(undecodable.end(), t.begin(), t.end()); };
    add(Tag(8, 0, {0xAF, 0x00, 0x12, 0x10}));  // AAC-LC, 44.1 kHz, stereo
    std::vector<uint8_t> frame(200, 0xA5);
    frame[0] = 0xAF;
    frame[1] = 0x01;
    for (unsigned ts = 0; ts < 3000; ts += 23) add(Tag(8, ts, frame));
    struct Row {
        const char* what;
        const std::vector<uint8_t>& stream;
        int channels;  // of the played audio; 0: none plays, the failure is reported
    };
    const Row rows[] = {{"six channels", sixChannels, 6}, {"frames that do not decode", undecodable, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RondelFactories f;
        const std::vector<uint8_t> bytes = row.stream;
        f.client = [bytes] { return std::make_unique<FakeFerrel>(bytes, std::vector<int>{4096}, true); };
        RondelSetFactories(f);
        Rondel player;
        ReplayRecorder rec;
        ZQReplayParam rp;
        rp.bufferTime = 1;
        rp.videoEnable = false;
        ASSERT_EQ(REPLAY_SUCCESS, player.Init(&rp, &rec));
        if (row.channels > 0) {
            EXPECT_TRUE(WaitFor([&] { return rec.audioBuffers > 0; }, 10000));
            std::lock_guard<std::mutex> lock(rec.m);
            EXPECT_EQ(row.channels, rec.format.nChannels);
            EXPECT_EQ(48000u, rec.format.nSamplesPerSec);
        } else {
            EXPECT_TRUE(WaitFor([&] { return rec.StatusCount(REPLAY_AAC_DECODER_FAILED) > 0; }, 10000));
        }
        player.Uint();
        EXPECT_EQ(row.channels > 0 ? 0 : 1, rec.StatusCount(REPLAY_AAC_DECODER_FAILED));
    }
}

std::vector<uint8_t> EncodeFlv(const std::string& size) {
    std::vector<uint8_t> d;
    char name[] = "/tmp/varnet-flv-XXXXXX";
    close(mkstemp(name));
    const std::string out = std::string(name) + ".flv";
    testenv::ChildProcess p;
    if (p.Start({"ffmpeg",
                 "-loglevel",
                 "error",
                 "-y",
                 "-f",
                 "lavfi",
                 "-i",
                 "testsrc=size=" + size + ":rate=25",
                 "-t",
                 "3",
                 "-c:v",
                 "libx264",
                 "-profile:v",
                 "baseline",
                 "-pix_fmt",
                 "yuv420p",
                 "-x264-params",
                 "repeat-headers=1",
                 "-g",
                 "25",
                 out}) &&
        p.Wait(30000) == 0) {
        std::ifstream in(out, std::ios::binary);
        d.assign(std::istreambuf_iterator<char>(in), {});
    }
    unlink(name);
    unlink(out.c_str());
    return d;
}

// The tags of an FLV file after its header, each with its previous-tag size.
std::vector<std::vector<uint8_t>> FlvTags(const std::vector<uint8_t>& f) {
    std::vector<std::vector<uint8_t>> tags;
    for (size_t at = 13; at + 15 <= f.size();) {
        const size_t len = (size_t(f[at + 1]) << 16) | (size_t(f[at + 2]) << 8) | f[at + 3];
        if (at + 15 + len > f.size()) break;
        tags.emplace_back(f.begin() + long(at), f.begin() + long(at + 15 + len));
        at += 15 + len;
    }
    return tags;
}

// Pictures larger than the stream's configuration said (in-band parameter sets of another size) are
// dropped, and said once.
TEST_F(PlaybackTest, PicturesOfAnotherSizeAreDroppedAndLoggedOnce) {
    const std::vector<uint8_t> big = EncodeFlv("320x240");
    const std::vector<uint8_t> small = EncodeFlv("160x120");
    if (big.empty() || small.empty()) GTEST_SKIP() << "ffmpeg with x264 is not available";
    auto isConfig = [](const std::vector<uint8_t>& t) { return t[0] == 9 && t[11] == 0x17 && t[12] == 0; };
    std::vector<uint8_t> stream = Header();
    std::vector<uint8_t> smallConfig;
    for (auto& t : FlvTags(small))
        if (isConfig(t)) smallConfig = t;
    ASSERT_FALSE(smallConfig.empty());
    for (auto& t : FlvTags(big)) {
        const std::vector<uint8_t>& use = isConfig(t) ? smallConfig : t;
        stream.insert(stream.end(), use.begin(), use.end());
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // In a fresh process, so that the progress lines are on from the start and go to a file.
            char log[] = "/tmp/varnet-log-XXXXXX";
            const int fd = mkstemp(log);
            setenv("VARNET_LOG_DEBUG", "1", 1);
            dup2(fd, 2);
            auto drops = [&] {
                std::ifstream in(log);
                std::string line;
                int n = 0;
                while (std::getline(in, line)) n += line.find("dropped") != std::string::npos;
                return n;
            };
            RondelFactories f;
            f.client = [stream] { return std::make_unique<FakeFerrel>(stream, std::vector<int>{4096}, true); };
            RondelSetFactories(f);
            Rondel player;
            ReplayRecorder rec;
            ZQReplayParam rp;
            rp.audioEnable = false;
            player.Init(&rp, &rec);
            const bool once =
                WaitFor([&] { return drops() >= 1; }, 10000) && !WaitFor([&] { return drops() > 1; }, 1000);
            player.Uint();
            unlink(log);
            _exit(once && rec.FrameCount() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(PlaybackTest, WithoutDecodingTheStreamIsDumpedButNotParsed) {
    if (SampleFlv().empty()) GTEST_SKIP() << "ffmpeg with x264 is not available";
    char dump[] = "/tmp/varnet-dump-XXXXXX";
    close(mkstemp(dump));
    ZQReplayParam rp;
    rp.audioEnable = rp.videoEnable = false;
    rp.dumpStream = true;
    snprintf(rp.dumpPath, sizeof(rp.dumpPath), "%s", dump);
    ReplayRecorder rec;
    Play(SampleFlv(), {777}, rp, rec);
    EXPECT_EQ(0u, rec.FrameCount());
    EXPECT_EQ(0, rec.audioBuffers.load());
    std::ifstream in(dump, std::ios::binary);
    std::vector<uint8_t> written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(SampleFlv(), written);
    unlink(dump);
}

// A sound output that never completes a buffer: PlaySamples blocks until Abort.
struct StuckAudioOut : Tovel {
    std::mutex m;
    std::condition_variable cv;
    bool aborted = false;
    std::atomic<int> blocked{0};
    int Init(unsigned, WAVEFORMATEX*, TovelCallback, void*) override { return 0; }
    int PlaySamples(const BYTE*, unsigned, unsigned) override {
        ++blocked;
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [this] { return aborted; });
        return -1;
    }
    void Abort() override {
        std::lock_guard<std::mutex> lock(m);
        aborted = true;
        cv.notify_all();
    }
    void Uint() override {}
};

TEST_F(PlaybackTest, UintReturnsWhileTheAudioThreadIsStuckInTheOutput) {
    if (SampleFlv().empty()) GTEST_SKIP() << "ffmpeg with x264 is not available";
    std::atomic<StuckAudioOut*> out{nullptr};
    RondelFactories f;
    auto bytes = SampleFlv();
    f.client = [bytes] { return std::make_unique<FakeFerrel>(bytes, std::vector<int>{4096}, true); };
    f.audioOut = [&out] {
        auto o = std::make_unique<StuckAudioOut>();
        out = o.get();
        return o;
    };
    RondelSetFactories(f);
    Rondel player;
    ReplayRecorder rec;
    ZQReplayParam rp;
    rp.bufferTime = 1;
    ASSERT_EQ(REPLAY_SUCCESS, player.Init(&rp, &rec));
    EXPECT_TRUE(WaitFor([&] { return out.load() && out.load()->blocked > 0; }, 5000));
    player.Uint();  // the output never completes a buffer: returning at all is the point
}

TEST_F(PlaybackTest, UintReturnsDuringTheStartUpWaitsWithNoDataAtAll) {
    RondelFactories f;
    f.client = [] { return std::make_unique<FakeFerrel>(Header(), std::vector<int>{13}, true); };
    RondelSetFactories(f);
    for (bool audioShow : {true, false}) {
        Rondel player;
        ReplayRecorder rec;
        ZQReplayParam rp;
        rp.audioShow = audioShow;
        ASSERT_EQ(REPLAY_SUCCESS, player.Init(&rp, &rec));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        player.Uint();  // the fake client blocks until stopped: returning at all is the point
        player.Uint();  // twice is harmless
    }
    Rondel idle;
    idle.Uint();
    EXPECT_FALSE(idle.IsConnected());
}

TEST(RondelPacing, FactorTable) {
    struct Row {
        unsigned v, a;
        float q;
        bool audio;
        double factor;
    };
    const Row rows[] = {
        {1300, 1000, 0, true, 1.2}, {1100, 1000, 0, true, 1.4}, {1000, 1300, 0, true, 0.8}, {1000, 1500, 0, true, 0.6},
        {1000, 1000, 0, true, 0},   {1200, 1000, 0, true, 1.4}, {1400, 1000, 0, true, 1.4}, {1000, 1200, 0, true, 0.6},
        {1000, 1399, 0, true, 0.8}, {5000, 0, 0.5f, false, 0},  {5000, 0, 2, false, 0.8},   {5000, 0, 5, false, 0.6},
        {5000, 0, 9, false, 0.6},   {5000, 0, 1, false, 0.8},
    };
    for (const Row& r : rows) {
        EXPECT_DOUBLE_EQ(r.factor, RondelPacingFactor(r.v, r.a, r.q, r.audio, 200, 400, 5))
            << r.v << " " << r.a << " " << r.q;
    }
}

TEST(PacketQueueTest, OrderDurationTrimAndWakeUp) {
    PacketQueue q;
    PacketPtr p;
    EXPECT_EQ(0, packet_queue_get(&q, &p));  // inactive: returns at once
    packet_queue_init(&q);
    EXPECT_EQ(0.0f, packet_queue_duration(&q));
    for (unsigned pts = 0; pts <= 5000; pts += 500) {
        PacketPtr pkt = packet_alloc(4);
        pkt->pts = pts;
        packet_queue_put(&q, std::move(pkt));
    }
    EXPECT_EQ(11, packet_queue_count(&q));
    EXPECT_FLOAT_EQ(5.0f, packet_queue_duration(&q));
    packet_queue_skip_frame(&q, 2);
    EXPECT_LE(packet_queue_duration(&q), 3.0f);  // whole seconds: at most 2
    ASSERT_EQ(1, packet_queue_get(&q, &p));
    EXPECT_EQ(2500u, p->pts);
    packet_queue_clear(&q);
    EXPECT_EQ(0, packet_queue_get(&q, &p));  // the event left signalled by the puts: one empty return
    std::atomic<int> got{-1};
    std::thread t([&] {
        PacketPtr x;
        got = packet_queue_get(&q, &x);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(-1, got.load());
    packet_queue_wakeup(&q);
    t.join();
    EXPECT_EQ(0, got.load());
    // The start-up wait: returns 0 on a wake-up, 1 once a put makes the span exceed the limit.
    std::thread waiter([&] { got = packet_queue_wait_duration(&q, 1.0f); });
    packet_queue_wakeup(&q);
    waiter.join();
    EXPECT_EQ(0, got.load());
    got = -1;
    // A span over the limit answers 1 before any wake-up left from above is looked at.
    for (unsigned pts : {0u, 1000u, 1001u}) {
        PacketPtr pkt = packet_alloc(4);
        pkt->pts = pts;
        packet_queue_put(&q, std::move(pkt));
    }
    waiter = std::thread([&] { got = packet_queue_wait_duration(&q, 1.0f); });
    waiter.join();
    EXPECT_EQ(1, got.load());
    packet_queue_flush(&q);
    EXPECT_EQ(0, packet_queue_wait_duration(&q, 0.0f));  // inactive: at once
    packet_queue_put(&q, packet_alloc(1));               // dropped on an inactive queue
    EXPECT_EQ(0, packet_queue_count(&q));
    EXPECT_EQ(nullptr, packet_alloc(0));
}

}  // namespace
