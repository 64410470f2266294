// The playback session's buffering rules, observed through stand-ins for the RTMP client, the wave-out
// player and the H.264 decoder: start-up buffers, the first audio packet, the trim, the queue caps,
// new sequence headers, and queue durations when timestamps go back.
#include "X264Headers.h"
#include "Ferrel.h"
#include "FakeFerrel.h"
#include "FlvBody.h"
#include "H264ParamSets.h"
#include "HeapInUse.h"
#include "PacketQueue.h"
#include "Pellac.h"
#include "Rondel.h"
#include "RtmpPeer.h"
#include "Tovel.h"
#include "Unpix.h"
#include "StreamHelpers.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

using namespace streams_test;

// An FLV byte stream under construction.
struct Flv {
    std::vector<uint8_t> bytes;
    Flv() { bytes = {'F', 'L', 'V', 1, 5, 0, 0, 0, 9, 0, 0, 0, 0}; }
    void Tag(int type, unsigned ts, const std::vector<uint8_t>& body) {
        std::vector<uint8_t> t(body.size() + 15);
        const int n = FlvWriteTag(type, ts, body.data(), int(body.size()), t.data(), int(t.size()));
        ASSERT_GT(n, 0);
        bytes.insert(bytes.end(), t.begin(), t.begin() + n);
    }
};

// AAC-LC sequence header and frames (FLV bodies) of a tone, from the project's encoder.
struct AacStream {
    std::vector<uint8_t> header;
    std::vector<std::vector<uint8_t>> frames;
};

AacStream EncodeAac(int rate, int channels, int count) {
    AacStream s;
    Pellac enc;
    AEncInfo info{};
    if (!enc.Init(rate, 64, channels, 16, 2, &info)) return s;
    s.header.resize(8);
    s.header.resize(size_t(std::max(0, FlvWriteAacSequenceHeader(info.profile, info.samplingFrequencyIndex,
                                                                 info.channelConfiguration, s.header.data(), 8))));
    std::vector<int16_t> pcm(size_t(info.frameLength) * size_t(channels));
    std::vector<uint8_t> adts(size_t(info.maxOutputBytes) + 16), body(adts.size() + 2);
    for (long n = 0; int(s.frames.size()) < count && n < count + 100; ++n) {
        for (size_t i = 0; i < pcm.size(); ++i) {
            pcm[i] =
                int16_t(6000 * std::sin(2 * M_PI * 440 * double(n * info.frameLength + long(i) / channels) / rate));
        }
        const int got = enc.EncodeFrame(pcm.data(), int(pcm.size() * 2), adts.data(), int(adts.size()));
        if (got <= 0) continue;
        const int len = FlvWriteAacFrame(adts.data(), got, body.data(), int(body.size()));
        if (len > 0) s.frames.emplace_back(body.begin(), body.begin() + len);
    }
    return s;
}

std::vector<uint8_t> AvcHeader(int width, int height, int fps) {
    X264Headers h = MakeX264Headers(width, height, fps, "baseline");
    std::vector<uint8_t> body(h.sps.size() + h.pps.size() + 32);
    body.resize(size_t(std::max(0, FlvWriteAvcSequenceHeader(h.sps.data(), int(h.sps.size()), h.pps.data(),
                                                             int(h.pps.size()), body.data(), int(body.size())))));
    return body;
}

// A video body carrying a slice of `bytes` bytes (at least 4) whose first two payload bytes number the frame.
std::vector<uint8_t> Slice(bool key, int index, size_t bytes = 4) {
    std::vector<uint8_t> nal(bytes);
    nal[0] = uint8_t(key ? 0x65 : 0x41);
    nal[1] = uint8_t(index >> 8);
    nal[2] = uint8_t(index);
    nal[3] = 0x80;
    std::vector<uint8_t> body(bytes + 32);
    body.resize(size_t(FlvWriteVideoFrame(key, nal.data(), int(nal.size()), body.data(), int(body.size()))));
    return body;
}

// Serves the bytes released so far and waits for more until stopped.
class GatedFerrel : public Ferrel {
public:
    struct Gate {
        std::mutex m;
        std::condition_variable cv;
        std::vector<uint8_t> bytes;
        size_t pos = 0;
        bool waiting = false;  // a read waits with everything served
        bool stopped = false;
        void Release(const std::vector<uint8_t>& more) {
            std::lock_guard<std::mutex> lock(m);
            bytes.insert(bytes.end(), more.begin(), more.end());
            waiting = false;
            cv.notify_all();
        }
        // Until the reader has taken (and parsed) everything released.
        bool Drained() {
            std::unique_lock<std::mutex> lock(m);
            return cv.wait_for(lock, std::chrono::seconds(10), [this] { return waiting && pos == bytes.size(); });
        }
    };
    explicit GatedFerrel(std::shared_ptr<Gate> g) : g_(std::move(g)) {}
    bool Connect(const char*, int, int, int, bool) override { return true; }
    int ReadPacket(uint8_t* buf, int size) override {
        std::unique_lock<std::mutex> lock(g_->m);
        if (g_->pos == g_->bytes.size()) {
            g_->waiting = true;
            g_->cv.notify_all();
        }
        g_->cv.wait(lock, [this] { return g_->stopped || g_->pos < g_->bytes.size(); });
        if (g_->stopped) return 0;
        const size_t n = std::min(size_t(size), g_->bytes.size() - g_->pos);
        memcpy(buf, g_->bytes.data() + g_->pos, n);
        g_->pos += n;
        return int(n);
    }
    bool IsReadStopped() override { return g_->stopped; }
    void Stop() override {
        std::lock_guard<std::mutex> lock(g_->m);
        g_->stopped = true;
        g_->cv.notify_all();
    }
    void Close() override {}
    bool IsConnected() override { return !g_->stopped; }

private:
    std::shared_ptr<Gate> g_;
};

// A wave-out player that records what it is given; while `hold` is set a buffer waits to be taken.
struct PlayLog {
    std::mutex m;
    std::condition_variable cv;
    std::vector<unsigned> pts;
    std::vector<std::pair<unsigned, int>> formats;  // rate, channels of every open
    bool hold = false;
    bool aborted = false;
    size_t Played() {
        std::lock_guard<std::mutex> lock(m);
        return pts.size();
    }
    void Let() {
        std::lock_guard<std::mutex> lock(m);
        hold = false;
        cv.notify_all();
    }
};

class RecordingPlayer : public Tovel {
public:
    explicit RecordingPlayer(std::shared_ptr<PlayLog> log) : log_(std::move(log)) {}
    int Init(unsigned, WAVEFORMATEX* f, TovelCallback, void*) override {
        std::lock_guard<std::mutex> lock(log_->m);
        log_->formats.emplace_back(f->nSamplesPerSec, f->nChannels);
        log_->cv.notify_all();
        return 0;
    }
    int PlaySamples(const BYTE*, unsigned length, unsigned pts) override {
        std::unique_lock<std::mutex> lock(log_->m);
        log_->pts.push_back(pts);
        log_->cv.notify_all();
        log_->cv.wait(lock, [this] { return !log_->hold || log_->aborted; });
        return log_->aborted ? -1 : int(length);
    }
    void Abort() override {
        std::lock_guard<std::mutex> lock(log_->m);
        log_->aborted = true;
        log_->cv.notify_all();
    }
    void Uint() override {}
    void MuteSwitch(bool) override {}

private:
    std::shared_ptr<PlayLog> log_;
};

// An H.264 decoder that records the units it is given (NAL type, frame number); it makes pictures of
// the size of the last SPS when `pictures` is set, and waits while `hold` is set.
struct DecodeLog {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<int, int>> units;
    bool hold = false;
    bool pictures = false;
    void Let() {
        std::lock_guard<std::mutex> lock(m);
        hold = false;
        cv.notify_all();
    }
    bool Saw(int frame, int ms = 10000) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::milliseconds(ms), [&] {
            return std::any_of(units.begin(), units.end(), [&](auto& u) { return u.second == frame; });
        });
    }
    std::vector<int> Frames() {
        std::lock_guard<std::mutex> lock(m);
        std::vector<int> f;
        for (auto& u : units)
            if (u.second >= 0) f.push_back(u.second);
        return f;
    }
    int Count(int type) {
        std::lock_guard<std::mutex> lock(m);
        return int(std::count_if(units.begin(), units.end(), [type](auto& u) { return u.first == type; }));
    }
};

class RecordingDecoder : public Unpix {
public:
    explicit RecordingDecoder(std::shared_ptr<DecodeLog> log) : log_(std::move(log)) {}
    int Initialize() override { return 0; }
    void Destroy() override {}
    int Decode(const uint8_t* data, int length, uint8_t* out, int& outSize, bool& got) override {
        got = false;
        const int sc = NalStartCodeLength(data, length);
        if (sc <= 0 || sc >= length) return length;
        const int type = data[sc] & 0x1F;
        std::unique_lock<std::mutex> lock(log_->m);
        if (type == 7) {
            SPS sps{};
            if (ReadSps(data + sc, length - sc, sps) == 0) {
                width_ = SpsWidth(sps);
                height_ = SpsHeight(sps);
            }
        }
        const bool slice = type == 1 || type == 5;
        log_->units.emplace_back(type, slice && length - sc >= 3 ? (data[sc + 1] << 8) | data[sc + 2] : -1);
        log_->cv.notify_all();
        log_->cv.wait(lock, [this] { return !log_->hold; });
        if (slice && log_->pictures && width_ > 0 && width_ * height_ * 3 / 2 <= outSize) {
            outSize = width_ * height_ * 3 / 2;
            memset(out, 0x80, size_t(outSize));
            got = true;
        }
        return length;
    }

private:
    std::shared_ptr<DecodeLog> log_;
    int width_ = 0;
    int height_ = 0;
};

class PlaybackRules : public ::testing::Test {
protected:
    void SetUp() override {
        gate_ = std::make_shared<GatedFerrel::Gate>();
        play_ = std::make_shared<PlayLog>();
        decode_ = std::make_shared<DecodeLog>();
        RondelFactories f;
        f.client = [g = gate_] { return std::make_unique<GatedFerrel>(g); };
        f.audioOut = [p = play_] { return std::make_unique<RecordingPlayer>(p); };
        f.decoder = [d = decode_] { return std::make_unique<RecordingDecoder>(d); };
        RondelSetFactories(f);
    }
    void TearDown() override {
        play_->Let();
        decode_->Let();
        player_.Uint();
        RondelSetFactories({});
    }
    bool WaitPlayed(size_t n) {
        std::unique_lock<std::mutex> lock(play_->m);
        return play_->cv.wait_for(lock, std::chrono::seconds(15), [&] { return play_->pts.size() >= n; });
    }
    bool WaitPlayedPts(unsigned pts) {
        std::unique_lock<std::mutex> lock(play_->m);
        return play_->cv.wait_for(lock, std::chrono::seconds(15),
                                  [&] { return !play_->pts.empty() && play_->pts.back() >= pts; });
    }

    std::shared_ptr<GatedFerrel::Gate> gate_;
    std::shared_ptr<PlayLog> play_;
    std::shared_ptr<DecodeLog> decode_;
    ReplayRecorder rec_;
    Rondel player_;
};

TEST_F(PlaybackRules, AudioStartsAfterMoreThanTheBufferTimeAndTheFirstPacketIsNotPlayed) {
    const AacStream aac = EncodeAac(44100, 2, 43);
    ASSERT_EQ(43u, aac.frames.size());
    Flv s;
    s.Tag(8, 0, aac.header);
    for (int i = 0; i <= 41; ++i) s.Tag(8, unsigned(i * 25), aac.frames[size_t(i)]);
    ZQReplayParam rp;
    rp.bufferTime = 1;
    rp.videoEnable = false;
    ASSERT_EQ(REPLAY_SUCCESS, player_.Init(&rp, &rec_));
    gate_->Release(s.bytes);
    ASSERT_TRUE(gate_->Drained());
    {
        std::unique_lock<std::mutex> lock(play_->m);
        ASSERT_TRUE(play_->cv.wait_for(lock, std::chrono::seconds(10), [&] { return !play_->formats.empty(); }));
        EXPECT_EQ(std::make_pair(44100u, 2), play_->formats[0]);
    }
    // Frames 1-41 span exactly one second: not more than the buffer time. No condition to wait for.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(0u, play_->Played());
    Flv more;
    more.bytes.clear();
    more.Tag(8, 42 * 25, aac.frames[42]);
    gate_->Release(more.bytes);
    ASSERT_TRUE(WaitPlayed(42));
    std::lock_guard<std::mutex> lock(play_->m);
    EXPECT_EQ(25u, play_->pts.front());  // frame 0 opened the decoder and the player
    EXPECT_EQ(42u * 25, play_->pts.back());
}

TEST_F(PlaybackRules, EveryHundredthPacketTrimsAQueueLongerThanTheMaximumToTheBufferTime) {
    const AacStream aac = EncodeAac(44100, 2, 200);
    ASSERT_EQ(200u, aac.frames.size());
    Flv s;
    s.Tag(8, 0, aac.header);
    for (int i = 0; i < 200; ++i) s.Tag(8, unsigned(i * 100), aac.frames[size_t(i)]);
    play_->hold = true;
    ZQReplayParam rp;  // buffer 2 s, at most 5 s
    rp.videoEnable = false;
    ASSERT_EQ(REPLAY_SUCCESS, player_.Init(&rp, &rec_));
    gate_->Release(s.bytes);
    ASSERT_TRUE(gate_->Drained());
    ASSERT_TRUE(WaitPlayed(1));
    play_->Let();
    ASSERT_TRUE(WaitPlayedPts(19900));
    std::lock_guard<std::mutex> lock(play_->m);
    // Packets 1-100 play; the 100th finds 9.8 s queued and leaves the last 2 whole seconds.
    ASSERT_EQ(130u, play_->pts.size());
    EXPECT_EQ(10000u, play_->pts[99]);
    EXPECT_EQ(17000u, play_->pts[100]);
}

TEST_F(PlaybackRules, AudioBeyondTwoHundredQueuedPacketsIsDropped) {
    const AacStream aac = EncodeAac(44100, 2, 300);
    ASSERT_EQ(300u, aac.frames.size());
    Flv s;
    s.Tag(8, 0, aac.header);
    for (int i = 0; i < 300; ++i) s.Tag(8, unsigned(i * 25), aac.frames[size_t(i)]);
    play_->hold = true;
    ZQReplayParam rp;
    rp.bufferTime = 1;
    rp.maxBufferTime = 100;  // no trim
    rp.videoEnable = false;
    ASSERT_EQ(REPLAY_SUCCESS, player_.Init(&rp, &rec_));
    gate_->Release(s.bytes);
    ASSERT_TRUE(gate_->Drained());
    ASSERT_TRUE(WaitPlayed(1));
    play_->Let();
    // The queue held 200 packets at most; how many the audio thread had taken by then varies by one.
    ASSERT_TRUE(WaitPlayed(199));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // nothing more may come
    std::lock_guard<std::mutex> lock(play_->m);
    EXPECT_GE(play_->pts.size(), 199u);
    EXPECT_LE(play_->pts.size(), 202u);
    // Under load the audio thread may take one more packet while the tail arrives, so a later packet can
    // follow the dropped ones; what was kept is the head of the stream, in order.
    for (size_t i = 0; i < play_->pts.size(); ++i) {
        if (i < 198) EXPECT_EQ(unsigned(i + 1) * 25, play_->pts[i]);
        else EXPECT_GT(play_->pts[i], play_->pts[i - 1]);
    }
}

// The video queue's bounds, at every packet: the frame that finds the queue full (by count or by bytes) and
// the frames after it are dropped up to the next key frame that finds room (key frame 110 still finds it full).
TEST_F(PlaybackRules, AFrameFindingTheVideoQueueFullDropsVideoUntilAKeyFrameFindsRoom) {
    struct Row {
        const char* what;
        size_t frameBytes;  // each frame's packet: 4 start-code bytes and the slice
        int sent;           // frames 0 to sent - 1 come while the decoder holds the first parameter set
        int lastKept;
    };
    const Row rows[] = {
        {"100 packets: the parameter set after the one in the decoder and frames 0-98", 8, 120, 98},
        {"16 MiB: the parameter set and frames 0-30 of 512 KiB", 512 << 10, 40, 30},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        decode_->hold = true;
        auto frames = [&](int from, int to) {
            Flv f;
            f.bytes.clear();
            for (int i = from; i < to; ++i)
                f.Tag(9, unsigned(1000 + i * 100), Slice(i == 0 || i == 110 || i == 120, i, row.frameBytes - 4));
            return f.bytes;
        };
        Flv s;
        s.Tag(9, 0, AvcHeader(320, 240, 10));
        ZQReplayParam rp;
        rp.audioEnable = false;
        ASSERT_EQ(REPLAY_SUCCESS, player_.Init(&rp, &rec_));
        gate_->Release(s.bytes);
        gate_->Release(frames(0, 21));  // two seconds: the video thread takes the first parameter set
        ASSERT_TRUE(WaitFor([&] { return decode_->Count(7) == 1; }, 10000));
        gate_->Release(frames(21, row.sent));
        Flv other;  // a new configuration finds the queue full: its parameter sets wait for key frame 120
        other.bytes.clear();
        other.Tag(9, 0, AvcHeader(160, 128, 10));
        gate_->Release(other.bytes);
        ASSERT_TRUE(gate_->Drained());
        decode_->Let();
        ASSERT_TRUE(decode_->Saw(row.lastKept));
        gate_->Release(frames(120, 130));
        ASSERT_TRUE(decode_->Saw(129));
        std::vector<int> want;
        for (int i = 0; i <= row.lastKept; ++i) want.push_back(i);
        for (int i = 120; i < 130; ++i) want.push_back(i);
        EXPECT_EQ(want, decode_->Frames());
        std::lock_guard<std::mutex> lock(decode_->m);
        const auto key = std::find(decode_->units.begin(), decode_->units.end(), std::make_pair(5, 120));
        ASSERT_GE(key - decode_->units.begin(), 2);
        EXPECT_EQ(7, (key - 2)->first);
        EXPECT_EQ(8, (key - 1)->first);
    }
}

// A hostile RTMP server of the test's own, faster than the decoder (held): whatever video it sends, the heap
// grows by little more than the video queue's bounds. It ends its stream once all is sent.
TEST_F(PlaybackRules, AHostileServerCannotGrowTheVideoQueue) {
    auto text = [](const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); };
    const std::string large = text(AvcHeader(320, 240, 25)), small = text(AvcHeader(160, 128, 25));
    struct Row {
        const char* what;
        std::function<void(testenv::RtmpPeer::Session&)> send;
    };
    const Row rows[] = {
        {"30,000 inter frames after one key frame",
         [&](testenv::RtmpPeer::Session& s) {
             s.Send(6, 9, 1, 0, large);
             for (int i = 0; i < 30000 && s.Send(6, 9, 1, unsigned(1000 + i * 40), text(Slice(i == 0, i, 600))); ++i) {}
         }},
        {"100,000 sequence headers, two configurations in turn",
         [&](testenv::RtmpPeer::Session& s) {
             for (int i = 0; i < 100000 && s.Send(6, 9, 1, 0, i % 2 ? small : large); ++i) {}
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        RondelFactories f;  // the real RTMP client
        f.audioOut = [p = play_] { return std::make_unique<RecordingPlayer>(p); };
        f.decoder = [d = decode_] { return std::make_unique<RecordingDecoder>(d); };
        RondelSetFactories(f);
        decode_->hold = true;
        testenv::RtmpPeer peer([&](testenv::RtmpPeer::Session& s) {
            if (!s.AcceptStream(false)) return;
            row.send(s);
            shutdown(s.fd(), SHUT_WR);
        });
        ZQReplayParam rp;
        rp.audioEnable = false;
        snprintf(rp.url, sizeof rp.url, "%s", peer.Url("s").c_str());
        const size_t before = testsupport::HeapInUse();
        ASSERT_EQ(REPLAY_SUCCESS, player_.Init(&rp, &rec_));
        ASSERT_TRUE(WaitFor(
            [&] {
                std::lock_guard<std::mutex> lock(rec_.m);
                return std::count(rec_.statuses.begin(), rec_.statuses.end(), REPLAY_CONNECTION_LOST) > 0;
            },
            120000));
        const size_t after = testsupport::HeapInUse();
        EXPECT_LT(after > before ? after - before : 0, size_t(8) << 20);
        rec_.statuses.clear();
    }
}

TEST_F(PlaybackRules, VideoStartsAfterMoreThanOneSecondIsQueued) {
    Flv s;
    s.Tag(9, 0, AvcHeader(320, 240, 10));
    for (int i = 0; i <= 10; ++i) s.Tag(9, unsigned(1000 + i * 100), Slice(i == 0, i));  // pts 0 to 1000
    ZQReplayParam rp;
    rp.audioEnable = false;
    ASSERT_EQ(REPLAY_SUCCESS, player_.Init(&rp, &rec_));
    gate_->Release(s.bytes);
    ASSERT_TRUE(gate_->Drained());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a decision not to start: no condition
    EXPECT_EQ(0, decode_->Count(7));
    Flv more;
    more.bytes.clear();
    more.Tag(9, 2100, Slice(false, 11));
    gate_->Release(more.bytes);
    ASSERT_TRUE(decode_->Saw(11));
    EXPECT_EQ(1, decode_->Count(7));  // the parameter sets went first
}

// A second sequence header on the same stream: the same one is ignored, another reconfigures.
struct HeaderCase {
    const char* name;
    bool changed;
};

class SequenceHeaders : public PlaybackRules, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(SequenceHeaders, ReconfigureOnlyWhenTheyDiffer) {
    const bool changed = GetParam().changed;
    const AacStream first = EncodeAac(44100, 2, 40);
    const AacStream second = changed ? EncodeAac(22050, 1, 40) : first;
    ASSERT_EQ(40u, first.frames.size());
    ASSERT_EQ(40u, second.frames.size());
    decode_->pictures = true;
    Flv s;
    s.Tag(8, 0, first.header);
    s.Tag(9, 0, AvcHeader(320, 240, 50));
    for (int i = 0; i < 40; ++i) {
        s.Tag(8, unsigned(i * 25), first.frames[size_t(i)]);
        s.Tag(9, unsigned(1100 + i * 25), Slice(i == 0, i));
    }
    // A new publisher: its headers again, or other ones.
    s.Tag(8, 0, second.header);
    s.Tag(9, 0, changed ? AvcHeader(160, 128, 50) : AvcHeader(320, 240, 50));
    for (int i = 0; i < 40; ++i) {
        s.Tag(8, unsigned(1000 + i * 25), second.frames[size_t(i)]);
        s.Tag(9, unsigned(2100 + i * 25), Slice(i == 0, 40 + i));
    }
    ZQReplayParam rp;
    rp.bufferTime = 1;
    ASSERT_EQ(REPLAY_SUCCESS, player_.Init(&rp, &rec_));
    gate_->Release(s.bytes);
    ASSERT_TRUE(WaitPlayedPts(1000 + 39 * 25));
    ASSERT_TRUE(decode_->Saw(79));
    EXPECT_TRUE(WaitFor([&] { return rec_.FrameCount() >= 78; }, 15000)) << rec_.FrameCount();
    {
        std::lock_guard<std::mutex> lock(play_->m);
        // The first frame of a configuration opens the decoder and is not played.
        EXPECT_EQ(changed ? 78u : 79u, play_->pts.size());
        ASSERT_EQ(changed ? 2u : 1u, play_->formats.size());
        if (changed) {
            EXPECT_EQ(std::make_pair(22050u, 1), play_->formats[1]);
        }
    }
    EXPECT_EQ(changed ? 2 : 1, decode_->Count(7));
    std::lock_guard<std::mutex> lock(rec_.m);
    ASSERT_FALSE(rec_.frames.empty());
    EXPECT_EQ(changed ? 160 : 320, rec_.frames.back().width);
    EXPECT_EQ(changed ? 128 : 240, rec_.frames.back().height);
}

INSTANTIATE_TEST_SUITE_P(Playback, SequenceHeaders,
                         ::testing::Values(HeaderCase{"identical", false}, HeaderCase{"changed", true}),
                         [](const ::testing::TestParamInfo<HeaderCase>& i) { return std::string(i.param.name); });

// Queue durations and trims with timestamps that go back: measured from where they went back.
TEST(PacketQueueTime, AJumpBackRestartsTheMeasure) {
    struct Row {
        std::vector<unsigned> pts;
        float duration;
        int trimTo;
        std::vector<unsigned> left;
    };
    const Row rows[] = {
        {{0, 1000, 2500}, 2.5f, 1, {1000, 2500}},
        {{5000, 5100, 5200, 100, 200, 1300}, 1.2f, 1, {5000, 5100, 5200, 100, 200, 1300}},
        {{5000, 5100, 5200, 100, 200, 1300, 2500}, 2.4f, 1, {1300, 2500}},
        {{9000, 100, 8000, 200}, 0.0f, 0, {9000, 100, 8000, 200}},
    };
    for (const Row& r : rows) {
        PacketQueue q;
        packet_queue_init(&q);
        for (unsigned pts : r.pts) {
            PacketPtr p = packet_alloc(1);
            p->pts = pts;
            packet_queue_put(&q, std::move(p));
        }
        EXPECT_FLOAT_EQ(r.duration, packet_queue_duration(&q)) << r.pts.size();
        packet_queue_skip_frame(&q, r.trimTo);
        std::vector<unsigned> left;
        PacketPtr p;
        while (packet_queue_count(&q) > 0 && packet_queue_get(&q, &p) == 1) {
            left.push_back(p->pts);
        }
        EXPECT_EQ(r.left, left);
        packet_queue_flush(&q);
    }
    // Taking packets keeps the measure on the run still queued.
    PacketQueue q;
    packet_queue_init(&q);
    for (unsigned pts : {7000u, 100u, 600u}) {
        PacketPtr p = packet_alloc(1);
        p->pts = pts;
        packet_queue_put(&q, std::move(p));
    }
    PacketPtr p;
    ASSERT_EQ(1, packet_queue_get(&q, &p));
    EXPECT_FLOAT_EQ(0.5f, packet_queue_duration(&q));
    ASSERT_EQ(1, packet_queue_get(&q, &p));
    EXPECT_FLOAT_EQ(0.0f, packet_queue_duration(&q));
    packet_queue_flush(&q);
}

}  // namespace
