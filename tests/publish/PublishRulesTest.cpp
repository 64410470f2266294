// The publishing session's rules: the pacing clock, Init's failure codes, a camera of another size,
// and the show switches (silence when audio is hidden, the last picture when video is hidden), read
// back by decoding what was sent.
#include "Dunmar.h"
#include "Ferrel.h"
#include "FlvBody.h"
#include "Grabbel.h"
#include "Micrel.h"
#include "Microphone.h"
#include "PacingClock.h"
#include "SyntheticCamera.h"
#include "Tesmar.h"
#include "Unpix.h"
#include "StreamHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

using namespace streams_test;

TEST(PacingClock, StepsByTheMeanAndPullsTowardTheWallClock) {
    struct Row {
        const char* name;
        uint32_t start;
        std::vector<std::pair<uint32_t, uint32_t>> calls;  // now, expected timestamp
    };
    const Row rows[] = {
        // On time: the mean interval each call.
        {"steady", 1000, {{1050, 50}, {1070, 70}, {1090, 90}}},
        // Calls bunched after a gap: once the stream is ahead of the wall clock, half the mean.
        {"ahead", 0, {{0, 0}, {100, 100}, {101, 150}, {102, 167}}},
        // A long gap: more than two means behind, one and a half means.
        {"behind", 0, {{0, 0}, {10, 10}, {100, 60}, {300, 210}}},
        // The tick counter wraps.
        {"wrap", 0xFFFFFFF0u, {{0x10, 0x20}, {0x30, 0x40}}},
    };
    for (const Row& r : rows) {
        CPacingClock clock;
        clock.Reset(r.start);
        for (auto [now, want] : r.calls) EXPECT_EQ(want, clock.Next(now)) << r.name << " at " << now;
    }
}

// What a fake RTMP client was given.
struct Sent {
    std::mutex m;
    _RTMPMetadata meta;
    bool haveMeta = false;
    std::vector<std::vector<uint8_t>> audio, video;
    size_t Video() {
        std::lock_guard<std::mutex> lock(m);
        return video.size();
    }
    size_t Audio() {
        std::lock_guard<std::mutex> lock(m);
        return audio.size();
    }
};

class KeepingFerrel : public Ferrel {
public:
    explicit KeepingFerrel(std::shared_ptr<Sent> s) : s_(std::move(s)) {}
    bool Connect(const char*, int, int, int, bool) override { return true; }
    void Stop() override {}
    void Close() override {}
    bool IsConnected() override { return true; }
    bool SendMetadata(const _RTMPMetadata* meta) override {
        std::lock_guard<std::mutex> lock(s_->m);
        s_->meta = *meta;
        s_->haveMeta = true;
        return true;
    }
    bool SendH264Packet(const uint8_t* body, int len, bool, unsigned) override {
        std::lock_guard<std::mutex> lock(s_->m);
        s_->video.emplace_back(body, body + len);
        return true;
    }
    bool SendAACPacket(const uint8_t* body, int len, bool, unsigned) override {
        std::lock_guard<std::mutex> lock(s_->m);
        s_->audio.emplace_back(body, body + len);
        return true;
    }

private:
    std::shared_ptr<Sent> s_;
};

// A microphone that opens and starts as told.
class ScriptedMicrophone : public Micrel {
public:
    ScriptedMicrophone(bool opens, bool starts) : opens_(opens), starts_(starts) {}
    bool OpenMicrophone(int, int, int, int) override { return opens_; }
    bool StartCapture() override { return starts_; }
    void SetBuffCB(IBaseAudioCB*) override {}
    int StopCapture() override { return 0; }
    void CloseMicrophone() override {}

private:
    bool opens_, starts_;
};

class PublishRules : public ::testing::Test {
protected:
    void SetUp() override { capture::SelectSyntheticCamera(1); }
    void TearDown() override {
        TesmarSetFactories({});
        capture::SelectSyntheticCamera(-1);
    }
    std::shared_ptr<Sent> Install(std::function<std::unique_ptr<Micrel>()> mic) {
        auto sent = std::make_shared<Sent>();
        TesmarFactories f;
        f.client = [sent] { return std::make_unique<KeepingFerrel>(sent); };
        f.microphone = std::move(mic);
        TesmarSetFactories(f);
        return sent;
    }
    static ZQPublishParam Param() {
        ZQPublishParam p;
        snprintf(p.url, sizeof(p.url), "rtmp://127.0.0.1:1/vstar/rules");
        p.video.frameRate = 20;
        p.video.keyInterval = 10;
        return p;
    }
};

TEST_F(PublishRules, InitReportsTheStepThatFailedAndLeavesNothingOpen) {
    struct Row {
        const char* name;
        int code;
        bool micOpens, micStarts;
        std::function<void(ZQPublishParam&)> change;
    };
    const Row rows[] = {
        {"microphone does not open", PUBLISH_OPEN_MIC_FAILED, false, true, [](ZQPublishParam&) {}},
        {"microphone does not start", PUBLISH_START_MIC_FAILED, true, false, [](ZQPublishParam&) {}},
        {"no such camera", PUBLISH_OPEN_CAMERA_FAILED, true, true, [](ZQPublishParam& p) { p.video.deviceIndex = 7; }},
        {"AAC encoder refuses", PUBLISH_AAC_ENCODER_FAILED, true, true,
         [](ZQPublishParam& p) { p.audio.channels = 3; }},
        {"H.264 encoder refuses", PUBLISH_H264_ENCODER_FAILED, true, true,
         [](ZQPublishParam& p) { p.video.bitRate = 0; }},
    };
    for (const Row& r : rows) {
        Install([&r] { return std::make_unique<ScriptedMicrophone>(r.micOpens, r.micStarts); });
        PublishRecorder rec;  // outlives the session
        Tesmar pub;
        ZQPublishParam pp = Param();
        r.change(pp);
        EXPECT_EQ(r.code, pub.Init(&pp, &rec)) << r.name;
        EXPECT_FALSE(pub.IsConnected()) << r.name;
        // Released: the same object starts a session that works.
        Install([] { return std::make_unique<ScriptedMicrophone>(true, true); });
        ZQPublishParam good = Param();
        EXPECT_EQ(PUBLISH_SUCCESS, pub.Init(&good, &rec)) << r.name;
        pub.Uint();
    }
}

TEST_F(PublishRules, ACameraOfAnotherSizeSetsTheEncoderAndTheMetadata) {
    capture::SelectSyntheticCamera(1, {{640, 480}, {352, 288}});
    auto sent = Install([] { return publish::CreateToneMicrophone(); });
    PublishRecorder rec;  // outlives the session
    Tesmar pub;
    ZQPublishParam pp = Param();  // asks for 320x240
    ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &rec));
    ASSERT_TRUE(WaitFor([&] { return sent->Video() >= 3 && rec.videoPreviews > 0; }, 30000));
    unsigned w = 0, h = 0;
    pub.GetRatio(w, h);
    pub.Uint();
    EXPECT_EQ(352u, w);
    EXPECT_EQ(288u, h);
    std::lock_guard<std::mutex> lock(sent->m);
    EXPECT_EQ(352, sent->meta.width);
    EXPECT_EQ(288, sent->meta.height);
    // The preview header describes the frames handed with it.
    EXPECT_EQ(352, rec.header.biWidth);
    EXPECT_EQ(288, rec.header.biHeight);
    // The encoder's pictures are of the real size too.
    Unpix dec;
    ASSERT_EQ(0, dec.Initialize());
    std::vector<uint8_t> unit = {0, 0, 0, 1};
    unit.insert(unit.end(), sent->meta.sps, sent->meta.sps + sent->meta.spsLen);
    std::vector<uint8_t> pic(1 << 20);
    int size = int(pic.size());
    bool got = false;
    dec.Decode(unit.data(), int(unit.size()), pic.data(), size, got);
    unit.assign({0, 0, 0, 1});
    unit.insert(unit.end(), sent->meta.pps, sent->meta.pps + sent->meta.ppsLen);
    dec.Decode(unit.data(), int(unit.size()), pic.data(), size, got);
    std::vector<uint8_t> annexB(sent->video[0].size());
    const int n =
        FlvVideoToStartCode(sent->video[0].data(), int(sent->video[0].size()), annexB.data(), int(annexB.size()));
    size = int(pic.size());
    dec.Decode(annexB.data(), n, pic.data(), size, got);
    ASSERT_TRUE(got);
    EXPECT_EQ(352, dec.Width());
    EXPECT_EQ(288, dec.Height());
    dec.Destroy();
}

// Loudness (RMS) of the last `frames` AAC bodies sent, decoded.
double LoudnessOfLast(Sent& s, size_t frames) {
    std::lock_guard<std::mutex> lock(s.m);
    FlvAacConfig cfg;
    cfg.profile = s.meta.audioProfile;
    cfg.samplingFrequencyIndex = s.meta.audioSampleRateIndex;
    cfg.channelConfiguration = s.meta.audioChannels;
    Dunmar dec;
    std::vector<uint8_t> adts(8192);
    std::vector<int16_t> pcm(8 * 4096);
    double sum = 0;
    size_t count = 0;
    bool open = false;
    for (size_t i = 0; i < s.audio.size(); ++i) {
        const int n = FlvBuildAdtsFrame(cfg, s.audio[i].data(), int(s.audio[i].size()), adts.data(), int(adts.size()));
        if (n <= 0) continue;
        if (!open) {
            int rate = 0, ch = 0, fs = 0;
            open = dec.Init(adts.data(), n, rate, ch, fs);
            if (open) pcm.assign(size_t(fs) * size_t(ch), 0);
            continue;
        }
        bool got = false;
        dec.DecoderFrame(adts.data(), n, pcm.data(), int(pcm.size() * 2), got);
        if (!got || i + frames < s.audio.size()) continue;
        for (int16_t x : pcm) sum += double(x) * x;
        count += pcm.size();
    }
    return count ? std::sqrt(sum / double(count)) : -1;
}

TEST_F(PublishRules, HiddenAudioIsSentAsSilence) {
    for (bool hide : {false, true}) {
        auto sent = Install([] { return publish::CreateToneMicrophone(); });
        PublishRecorder rec;  // outlives the session
        Tesmar pub;
        ZQPublishParam pp = Param();
        ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &rec));
        if (hide) pub.AudioShowSwitch(false);
        EXPECT_EQ(hide ? 0 : 1, pub.IsAudioShow());
        ASSERT_TRUE(WaitFor([&] { return sent->Audio() >= 60; }, 30000));
        const int previews = rec.audioPreviews;
        pub.Uint();
        const double loudness = LoudnessOfLast(*sent, 20);
        if (hide) {
            EXPECT_LT(loudness, 30) << "hidden";
            EXPECT_LT(previews, 5);  // a few may come before the switch
        } else {
            EXPECT_GT(loudness, 1000) << "shown";
            EXPECT_GT(previews, 30);
        }
    }
}

TEST_F(PublishRules, HiddenVideoRepeatsTheLastPicture) {
    auto sent = Install([] { return publish::CreateToneMicrophone(); });
    PublishRecorder rec;  // outlives the session
    Tesmar pub;
    ZQPublishParam pp = Param();
    ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &rec));
    ASSERT_TRUE(WaitFor([&] { return sent->Video() >= 10; }, 30000));
    pub.VideoShowSwitch(false);
    EXPECT_EQ(0, pub.IsVideoShow());
    const size_t atSwitch = sent->Video();
    ASSERT_TRUE(WaitFor([&] { return sent->Video() >= atSwitch + 30; }, 30000));
    pub.Uint();

    // Decode everything sent and read the camera's frame counter from each picture.
    std::lock_guard<std::mutex> lock(sent->m);
    Unpix dec;
    ASSERT_EQ(0, dec.Initialize());
    std::vector<uint8_t> pic(1 << 20), rgb(320 * 240 * 3);
    auto feed = [&](const uint8_t* unit, int len) {
        int size = int(pic.size());
        bool got = false;
        dec.Decode(unit, len, pic.data(), size, got);
        if (!got) return -2;
        Grabbel::ConvertYUV2RGB(pic.data(), rgb.data(), 320, 240);
        return capture::synthetic::ReadCounter(rgb.data(), 320, 240);
    };
    for (auto [data, len] :
         {std::pair{sent->meta.sps, sent->meta.spsLen}, std::pair{sent->meta.pps, sent->meta.ppsLen}}) {
        std::vector<uint8_t> unit = {0, 0, 0, 1};
        unit.insert(unit.end(), data, data + len);
        feed(unit.data(), int(unit.size()));
    }
    std::vector<int> counters;
    for (auto& body : sent->video) {
        std::vector<uint8_t> unit(body.size());
        const int n = FlvVideoToStartCode(body.data(), int(body.size()), unit.data(), int(unit.size()));
        const int c = n > 0 ? feed(unit.data(), n) : -2;
        if (c != -2) counters.push_back(c);
    }
    dec.Destroy();
    ASSERT_GE(counters.size(), 30u);
    // Moving before the switch; the last ten pictures (well after it) all show the same frame.
    EXPECT_LT(counters[0], counters[5]);
    const std::vector<int> last(counters.end() - 10, counters.end());
    for (int c : last) EXPECT_EQ(last[0], c);
    EXPECT_GE(last[0], counters[5]);
}

}  // namespace
