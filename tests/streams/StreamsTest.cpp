// Tesmar publishes the synthetic camera and a tone to nginx-rtmp; Rondel plays it back.
#include "FakeFerrel.h"
#include "Ferrel.h"
#include "FlvBody.h"
#include "H264ParamSets.h"
#include "Microphone.h"
#include "NginxRtmp.h"
#include "Rondel.h"
#include "StreamHelpers.h"
#include "SyntheticCamera.h"
#include "Tesmar.h"
#include "UdpStreamReceiver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace {

using namespace streams_test;

class StreamsTest : public ::testing::Test {
protected:
    void SetUp() override {
        capture::SelectSyntheticCamera(1);
        std::string err;
        ASSERT_TRUE(nginx_.Start(&err)) << err;
    }
    void TearDown() override { capture::SelectSyntheticCamera(-1); }

    static ZQPublishParam PublishParam(const std::string& url) {
        ZQPublishParam p;
        snprintf(p.url, sizeof(p.url), "%s", url.c_str());
        p.timeout = p.recvTimeout = p.sendTimeout = 3;
        p.video.frameRate = 20;
        p.video.keyInterval = 10;
        return p;
    }
    static ZQReplayParam ReplayParam(const std::string& url) {
        ZQReplayParam p;
        snprintf(p.url, sizeof(p.url), "%s", url.c_str());
        p.timeout = p.recvTimeout = p.sendTimeout = 3;
        p.bufferTime = 1;
        return p;
    }
    testenv::NginxRtmp nginx_;
};

TEST_F(StreamsTest, PublishedStreamPlaysBackAndEndsWithTheConnectionLost) {
    Tesmar pub;
    PublishRecorder pubRec;
    ZQPublishParam pp = PublishParam(nginx_.Url("e2e"));
    ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &pubRec));
    EXPECT_TRUE(pub.IsConnected());
    EXPECT_EQ(1, pub.Init(&pp, &pubRec));  // already running

    Rondel player;
    ReplayRecorder rec;
    ZQReplayParam rp = ReplayParam(nginx_.Url("e2e"));
    ASSERT_EQ(REPLAY_SUCCESS, player.Init(&rp, &rec));
    EXPECT_EQ(1, player.Init(&rp, &rec));
    EXPECT_TRUE(player.IsConnected());
    EXPECT_TRUE(WaitFor([&] { return rec.FrameCount() >= 15 && rec.audioBuffers >= 5; }, 15000))
        << rec.FrameCount() << " frames, " << rec.audioBuffers << " audio buffers";
    EXPECT_GT(pubRec.videoPreviews.load(), 0);
    EXPECT_GT(pubRec.audioPreviews.load(), 0);
    {
        std::lock_guard<std::mutex> lock(pubRec.m);  // the capture thread still writes it
        EXPECT_EQ(320, pubRec.header.biWidth);
    }

    pub.Uint();
    EXPECT_TRUE(WaitFor([&] { return rec.StatusCount(REPLAY_CONNECTION_LOST) == 1; }, 5000));
    player.Uint();
    EXPECT_EQ(0, pubRec.StatusCount(PUBLISH_CONNECTION_LOST));  // a stop by the owner is no loss

    std::lock_guard<std::mutex> lock(rec.m);
    ASSERT_FALSE(rec.frames.empty());
    int lastCounter = -1;
    unsigned lastPts = 0;
    for (auto& f : rec.frames) {
        EXPECT_EQ(320, f.width);
        EXPECT_EQ(240, f.height);
        EXPECT_GT(f.pts, lastPts);
        lastPts = f.pts;
        EXPECT_GT(f.counter, lastCounter) << "frames out of order or damaged";
        lastCounter = f.counter;
    }
    EXPECT_EQ(1, rec.format.wFormatTag);
    EXPECT_EQ(44100u, rec.format.nSamplesPerSec);
    EXPECT_EQ(2, rec.format.nChannels);
}

TEST_F(StreamsTest, ConnectFailuresForAClosedPortAndAnUnpublishedStream) {
    ReplayRecorder rec;
    const std::string closed = "rtmp://127.0.0.1:" + std::to_string(testenv::NginxRtmp::FreePort()) + "/vstar/x";
    for (const std::string& url : {closed, nginx_.Url("nobody")}) {
        Rondel player;
        ZQReplayParam rp = ReplayParam(url);
        EXPECT_EQ(REPLAY_CONNECT_FAILED, player.Init(&rp, &rec)) << url;
        EXPECT_EQ(REPLAY_INIT_FAILED, player.Init(&rp, &rec));  // the failed client stays until Uint
        player.Uint();
        EXPECT_FALSE(player.IsConnected());
    }
    PublishRecorder pubRec;  // outlives the sessions that call it
    PublishRecorder secondRec;
    Tesmar pub;
    ZQPublishParam pp = PublishParam(closed);
    EXPECT_EQ(PUBLISH_CONNECT_FAILED, pub.Init(&pp, &pubRec));
    EXPECT_FALSE(pub.IsConnected());
    pp = PublishParam(nginx_.Url("again"));
    EXPECT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &pubRec));  // nothing was left open by the failure
    // The test's sound driver opens one microphone at a time: the second publisher sings a tone.
    TesmarFactories tone;
    tone.microphone = [] { return publish::CreateToneMicrophone(); };
    TesmarSetFactories(tone);
    Tesmar second;
    EXPECT_EQ(PUBLISH_CONNECT_FAILED, second.Init(&pp, &secondRec));  // the stream name is taken
    TesmarSetFactories({});
    EXPECT_TRUE(pub.IsConnected());
    pub.Uint();
}

TEST_F(StreamsTest, StoppingTheServerMidPublishReportsTheLossOnce) {
    Tesmar pub;
    PublishRecorder pubRec;
    ZQPublishParam pp = PublishParam(nginx_.Url("kill"));
    pp.recvTimeout = pp.sendTimeout = 60;  // the loss must come from the reset, not a time-out
    ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &pubRec));
    // A second of pictures captured: past the encoder's delay, so frames are being sent.
    ASSERT_TRUE(WaitFor([&] { return pubRec.videoPreviews >= 20; }, 30000));
    nginx_.Stop(true);
    EXPECT_TRUE(WaitFor([&] { return pubRec.StatusCount(PUBLISH_CONNECTION_LOST) > 0; }, 30000));
    EXPECT_FALSE(pub.IsConnected());
    EXPECT_FALSE(pub.IsConnected());
    EXPECT_EQ(1, pubRec.StatusCount(PUBLISH_CONNECTION_LOST));
    auto t0 = Clock::now();
    pub.Uint();
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(30));  // far below the 60 s time-outs
    EXPECT_EQ(1, pubRec.StatusCount(PUBLISH_CONNECTION_LOST));
}

TEST_F(StreamsTest, UintReturnsWhileTheReadBlocksAndTheDumpStartsWithTheFlvHeader) {
    Ferrel idle;  // a publisher that sends nothing after its metadata
    ASSERT_TRUE(idle.Connect(nginx_.Url("idle").c_str(), 3, 3, 3, true));
    _RTMPMetadata meta;
    meta.hasAudio = 1;
    meta.audioProfile = 1;
    meta.audioSampleRateIndex = 4;
    meta.audioChannels = 2;
    ASSERT_TRUE(idle.SendMetadata(&meta));
    char dump[] = "/tmp/varnet-dump-XXXXXX";
    int fd = mkstemp(dump);
    close(fd);
    Rondel player;
    ReplayRecorder rec;
    ZQReplayParam rp = ReplayParam(nginx_.Url("idle"));
    rp.recvTimeout = 90;
    rp.dumpStream = true;
    snprintf(rp.dumpPath, sizeof(rp.dumpPath), "%s", dump);
    ASSERT_EQ(REPLAY_SUCCESS, player.Init(&rp, &rec));
    const uint8_t frame[] = {0xAF, 0x01, 0x21, 0x10, 0x04, 0x60, 0x8C, 0x1C};
    for (unsigned ts = 0; ts < 100; ts += 20) idle.SendAACPacket(frame, sizeof(frame), false, ts);
    // The player has read the stream's start when the dump holds the FLV header.
    EXPECT_TRUE(WaitFor([&] { return std::ifstream(dump, std::ios::ate | std::ios::binary).tellg() >= 13; }, 10000));
    auto t0 = Clock::now();
    player.Uint();
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(45));  // woken, not timed out
    EXPECT_EQ(0, rec.StatusCount(REPLAY_CONNECTION_LOST));
    std::ifstream in(dump, std::ios::binary);
    char head[13] = {};
    in.read(head, 13);
    EXPECT_EQ(13, in.gcount());
    EXPECT_EQ(0, memcmp(head, "FLV\x01", 4));
    unlink(dump);
}

// The stream-cloud path: Tesmar sends over UDP, the loopback receiver reassembles the tag bodies, and
// those tags, written out as an FLV stream, play in Rondel like the RTMP stream does.
TEST(StreamCloud, ReassembledTagsFormAStreamThatPlays) {
    capture::SelectSyntheticCamera(1);
    testenv::UdpStreamReceiver rx;
    ASSERT_TRUE(rx.Start());
    Tesmar::SetStreamCloudDomain("127.0.0.1");
    Tesmar pub;
    PublishRecorder pubRec;
    ZQPublishParam pp;
    const std::string url = "udp://" + rx.Address() + "/live/cloud";
    snprintf(pp.url, sizeof(pp.url), "%s", url.c_str());
    pp.video.frameRate = 20;
    pp.video.keyInterval = 10;
    ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &pubRec));
    EXPECT_TRUE(pub.IsConnected());
    auto count = [&rx](int type) {
        int n = 0;
        for (auto& t : rx.Tags()) n += t.type == type;
        return n;
    };
    EXPECT_TRUE(WaitFor([&] { return count(9) >= 60 && count(8) >= 60; }, 30000))
        << count(9) << " video, " << count(8) << " audio tags";
    pub.Uint();
    Tesmar::SetStreamCloudDomain("");
    capture::SelectSyntheticCamera(-1);
    EXPECT_TRUE(WaitFor([&] { return rx.LastStream().closed; }, 5000));
    EXPECT_EQ(0, pubRec.StatusCount(PUBLISH_CONNECTION_LOST));
    EXPECT_EQ(0, rx.BadDatagrams());

    const auto stream = rx.LastStream();
    EXPECT_EQ(320, stream.width);
    EXPECT_EQ(240, stream.height);
    FlvAvcConfig avc;
    ASSERT_TRUE(FlvReadAvcSequenceHeader(stream.avcHeader.data(), int(stream.avcHeader.size()), avc));
    SPS sps{};
    ASSERT_EQ(0, ReadSps(avc.sps.data(), int(avc.sps.size()), sps));
    EXPECT_EQ(320, SpsWidth(sps));
    EXPECT_EQ(240, SpsHeight(sps));
    FlvAacConfig aac;
    ASSERT_TRUE(FlvReadAacSequenceHeader(stream.aacHeader.data(), int(stream.aacHeader.size()), aac));
    EXPECT_EQ(7, aac.samplingFrequencyIndex);  // HE-AAC v2 signals its core: 22050 Hz mono
    EXPECT_EQ(1, aac.channelConfiguration);

    // Every tag is a whole body of its kind; the first picture is a key frame; time runs forward.
    const auto tags = rx.Tags();
    bool firstVideo = true;
    unsigned last[10] = {};
    for (auto& t : tags) {
        const FlvBodyKind kind = FlvClassifyBody(t.type, t.body.data(), int(t.body.size()));
        if (t.type == 8) {
            EXPECT_EQ(FlvBodyKind::AacFrame, kind);
        } else {
            EXPECT_TRUE(kind == FlvBodyKind::AvcKeyFrame || kind == FlvBodyKind::AvcFrame);
            EXPECT_EQ(t.key, kind == FlvBodyKind::AvcKeyFrame);
            if (firstVideo) {
                EXPECT_TRUE(t.key);
            }
            firstVideo = false;
        }
        EXPECT_GE(t.timestamp, last[t.type]);
        last[t.type] = t.timestamp;
    }

    std::vector<uint8_t> flv = {'F', 'L', 'V', 1, 5, 0, 0, 0, 9, 0, 0, 0, 0};
    auto add = [&flv](int type, unsigned ts, const std::vector<uint8_t>& body) {
        std::vector<uint8_t> tag(body.size() + 15);
        const int n = FlvWriteTag(type, ts, body.data(), int(body.size()), tag.data(), int(tag.size()));
        ASSERT_GT(n, 0);
        flv.insert(flv.end(), tag.begin(), tag.begin() + n);
    };
    add(9, 0, stream.avcHeader);
    add(8, 0, stream.aacHeader);
    for (auto& t : tags) add(t.type, t.timestamp, t.body);
    RondelFactories f;
    f.client = [flv] { return std::make_unique<FakeFerrel>(flv, std::vector<int>{4096}); };
    RondelSetFactories(f);
    ReplayRecorder rec;
    {
        Rondel player;
        ZQReplayParam rp;
        rp.audioShow = false;  // the whole stream is queued at once: pace pictures by their queue
        ASSERT_EQ(REPLAY_SUCCESS, player.Init(&rp, &rec));
        EXPECT_TRUE(WaitFor([&] { return rec.StatusCount(REPLAY_CONNECTION_LOST) == 1; }, 10000));
        EXPECT_TRUE(WaitFor([&] { return rec.FrameCount() >= 30; }, 20000)) << rec.FrameCount();
        player.Uint();
    }
    RondelSetFactories({});
    std::lock_guard<std::mutex> lock(rec.m);
    int lastCounter = -1;
    for (auto& fr : rec.frames) {
        EXPECT_EQ(320, fr.width);
        EXPECT_EQ(240, fr.height);
        EXPECT_GT(fr.counter, lastCounter) << "frames out of order or damaged";
        lastCounter = fr.counter;
    }
}

}  // namespace
