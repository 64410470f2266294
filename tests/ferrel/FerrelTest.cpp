// The RTMP client against nginx-rtmp on loopback.
#include "Ferrel.h"
#include "NginxRtmp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Tag {
    int type;
    unsigned ts;
    std::vector<uint8_t> body;
};

// Cuts an FLV byte stream into tags (after the 13-byte header).
struct FlvCutter {
    std::vector<uint8_t> buf;
    bool header = false;
    std::vector<Tag> tags;
    void Feed(const uint8_t* p, int n) {
        buf.insert(buf.end(), p, p + n);
        if (!header) {
            if (buf.size() < 13) return;
            EXPECT_EQ(0, memcmp(buf.data(), "FLV\x01", 4));
            buf.erase(buf.begin(), buf.begin() + 13);
            header = true;
        }
        while (buf.size() >= 11) {
            size_t len = (size_t(buf[1]) << 16) | (size_t(buf[2]) << 8) | buf[3];
            if (buf.size() < len + 15) return;
            unsigned ts = (unsigned(buf[4]) << 16) | (unsigned(buf[5]) << 8) | buf[6] | (unsigned(buf[7]) << 24);
            tags.push_back({buf[0], ts, std::vector<uint8_t>(buf.begin() + 11, buf.begin() + 11 + len)});
            buf.erase(buf.begin(), buf.begin() + long(len + 15));
        }
    }
};

_RTMPMetadata MakeMeta() {
    _RTMPMetadata m;
    const uint8_t sps[] = {0x67, 0x42, 0xc0, 0x0b, 0xda, 0x05, 0x07, 0xe8, 0x40, 0x00, 0x00,
                           0x03, 0x00, 0x40, 0x00, 0x00, 0x05, 0x03, 0xc5, 0x0a, 0xa8};
    const uint8_t pps[] = {0x68, 0xce, 0x3c, 0x80};
    m.hasVideo = 1;
    m.width = 320;
    m.height = 240;
    m.frameRate = 10;
    m.spsLen = sizeof(sps);
    memcpy(m.sps, sps, sizeof(sps));
    m.ppsLen = sizeof(pps);
    memcpy(m.pps, pps, sizeof(pps));
    m.hasAudio = 1;
    m.audioProfile = 1;
    m.audioSampleRateIndex = 7;
    m.audioChannels = 1;
    return m;
}

class FerrelTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string err;
        ASSERT_TRUE(nginx_.Start(&err)) << err;
    }
    testenv::NginxRtmp nginx_;
};

TEST_F(FerrelTest, SequenceHeadersHaveTheSharedLayout) {
    _RTMPMetadata m;
    m.spsLen = 10;
    m.sps[1] = 0x42;
    m.sps[2] = 0xc0;
    m.sps[3] = 0x0b;
    m.ppsLen = 4;
    std::string avc = Ferrel::AvcSequenceHeader(m);
    ASSERT_EQ(30u, avc.size());
    EXPECT_EQ(std::string("\x17\x00\x00\x00\x00\x01\x42\xc0\x0b\xff\xe1\x00\x0a", 13), avc.substr(0, 13));
    m.audioProfile = 1;
    m.audioSampleRateIndex = 4;
    m.audioChannels = 2;
    EXPECT_EQ(std::string("\xAF\x00\x0A\x10", 4), Ferrel::AacSequenceHeader(m));
    m.spsLen = 5000;  // a lying length is bounded
    m.ppsLen = -3;
    EXPECT_TRUE(Ferrel::AvcSequenceHeader(m).empty());
}

TEST_F(FerrelTest, PublishedTagsReachAPlayerInOrder) {
    Ferrel pub;
    std::string url = nginx_.Url("s1") + "?opstr=publish&uid=42 live=1 conn=S:opstr=publish";
    ASSERT_TRUE(pub.Connect(url.c_str(), 5, 5, 5, true));
    ASSERT_TRUE(pub.IsConnected());
    _RTMPMetadata meta = MakeMeta();
    ASSERT_TRUE(pub.SendMetadata(&meta));

    Ferrel play;
    std::string purl = nginx_.Url("s1") + "?opstr=play&uid=7";
    ASSERT_TRUE(play.Connect(purl.c_str(), 5, 5, 5, false));

    std::atomic<bool> done{false};
    std::thread sender([&] {
        uint8_t video[200];
        uint8_t audio[50];
        memset(video, 0x11, sizeof(video));
        memset(audio, 0x22, sizeof(audio));
        audio[0] = 0xAF;
        audio[1] = 0x01;
        for (unsigned i = 0; i < 40 && !done; ++i) {
            video[0] = (i % 10 == 0) ? 0x17 : 0x27;
            video[1] = 0x01;
            video[9] = 0x65;
            pub.SendH264Packet(video, sizeof(video), i % 10 == 0, 100 * i);
            pub.SendAACPacket(audio, sizeof(audio), false, 100 * i + 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    FlvCutter cut;
    uint8_t buf[10240];
    auto end = Clock::now() + std::chrono::seconds(8);
    int videoFrames = 0;
    while (Clock::now() < end && videoFrames < 20) {
        int n = play.ReadPacket(buf, sizeof(buf));
        if (n > 0) cut.Feed(buf, n);
        else if (n < 0 || play.IsReadStopped()) break;
        videoFrames = 0;
        for (auto& t : cut.tags) videoFrames += (t.type == 9 && t.body.size() > 1 && t.body[1] == 1);
    }
    done = true;
    sender.join();
    ASSERT_TRUE(cut.header);
    bool avcHeader = false, aacHeader = false, script = false;
    unsigned lastVideoTs = 0;
    for (auto& t : cut.tags) {
        if (t.type == 18) script = true;
        if (t.type == 9 && t.body[0] == 0x17 && t.body[1] == 0) {
            avcHeader = true;
            EXPECT_EQ(16u + 21 + 4, t.body.size());
        }
        if (t.type == 8 && t.body[1] == 0) {
            aacHeader = true;
            EXPECT_EQ(std::vector<uint8_t>({0xAF, 0x00, 0x0B, 0x88}), t.body);
        }
        if (t.type == 9 && t.body[1] == 1) {
            EXPECT_TRUE(avcHeader);
            EXPECT_EQ(200u, t.body.size());
            EXPECT_GE(t.ts, lastVideoTs);
            lastVideoTs = t.ts;
        }
    }
    EXPECT_TRUE(script);
    EXPECT_TRUE(avcHeader);
    EXPECT_TRUE(aacHeader);
    EXPECT_GE(videoFrames, 20);
}

TEST_F(FerrelTest, StopWakesABlockedRead) {
    Ferrel pub;
    ASSERT_TRUE(pub.Connect(nginx_.Url("s2").c_str(), 5, 5, 5, true));
    Ferrel play;
    ASSERT_TRUE(play.Connect(nginx_.Url("s2").c_str(), 5, 90, 5, false));
    std::atomic<int> result{1};
    std::thread reader([&] {
        uint8_t buf[10240];
        int n;
        while ((n = play.ReadPacket(buf, sizeof(buf))) > 0) {}
        result = n;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto t0 = Clock::now();
    play.Stop();
    reader.join();
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(45));  // woken, not timed out
    EXPECT_LE(result.load(), 0);
    EXPECT_TRUE(play.IsReadStopped());
    EXPECT_FALSE(play.IsConnected());
    play.Close();
}

TEST_F(FerrelTest, PlayerSeesTheEndWhenThePublisherLeaves) {
    auto pub = std::make_unique<Ferrel>();
    ASSERT_TRUE(pub->Connect(nginx_.Url("s3").c_str(), 5, 5, 5, true));
    _RTMPMetadata meta = MakeMeta();
    ASSERT_TRUE(pub->SendMetadata(&meta));
    Ferrel play;
    ASSERT_TRUE(play.Connect(nginx_.Url("s3").c_str(), 5, 90, 5, false));
    pub.reset();
    auto t0 = Clock::now();
    uint8_t buf[10240];
    while (Clock::now() - t0 < std::chrono::seconds(60)) {
        int n = play.ReadPacket(buf, sizeof(buf));
        if (n < 0 || (n == 0 && play.IsReadStopped())) break;
    }
    EXPECT_TRUE(play.IsReadStopped());
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(45));  // told by the server, not timed out
}

TEST_F(FerrelTest, ConnectFailures) {
    Ferrel a;
    int closed = testenv::NginxRtmp::FreePort();
    std::string closedUrl = "rtmp://127.0.0.1:" + std::to_string(closed) + "/vstar/x";
    EXPECT_FALSE(a.Connect(closedUrl.c_str(), 2, 2, 2, false));
    EXPECT_FALSE(a.IsConnected());

    Ferrel b;  // nobody publishes this stream
    EXPECT_FALSE(b.Connect(nginx_.Url("nobody").c_str(), 3, 3, 3, false));
    Ferrel c;
    EXPECT_FALSE(c.Connect("not a url", 2, 2, 2, false));
    Ferrel d;
    EXPECT_FALSE(d.Connect("", 2, 2, 2, true));
    uint8_t buf[16];
    EXPECT_LT(d.ReadPacket(buf, sizeof(buf)), 0);
    EXPECT_FALSE(d.SendH264Packet(buf, sizeof(buf), true, 0));
}

TEST_F(FerrelTest, ServerStoppedMidPublishIsAConnectionLossNotACrash) {
    Ferrel pub;
    struct sigaction sa {};
    ASSERT_EQ(0, sigaction(SIGPIPE, nullptr, &sa));
    EXPECT_EQ(SIG_IGN, sa.sa_handler);  // a write to the dead socket must not end the process
    ASSERT_TRUE(pub.Connect(nginx_.Url("s4").c_str(), 5, 5, 5, true));
    _RTMPMetadata meta = MakeMeta();
    ASSERT_TRUE(pub.SendMetadata(&meta));
    nginx_.Stop(true);
    uint8_t body[3000];
    memset(body, 0x27, sizeof(body));
    auto t0 = Clock::now();
    while (pub.IsConnected() && Clock::now() - t0 < std::chrono::seconds(5)) {
        pub.SendH264Packet(body, sizeof(body), false, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(pub.IsConnected());
    EXPECT_FALSE(pub.SendH264Packet(body, sizeof(body), false, 20));
}

}  // namespace

namespace {

TEST_F(FerrelTest, StopWakesASendBlockedOnAServerThatStoppedReading) {
    Ferrel pub;
    ASSERT_TRUE(pub.Connect(nginx_.Url("stall").c_str(), 5, 90, 90, true));
    ASSERT_EQ(0, kill(nginx_.Pid(), SIGSTOP));
    std::vector<uint8_t> body(65536, 0x27);
    body[0] = 0x27;
    body[1] = 0x01;
    std::atomic<int> sent{0};
    std::atomic<bool> lastOk{true};
    std::thread sender([&] {
        while (lastOk) {
            lastOk = pub.SendH264Packet(body.data(), int(body.size()), false, unsigned(sent.load()));
            ++sent;
        }
    });
    // Blocked once the socket buffers are full: the count stops moving (or, under load, Stop comes anyway).
    int seen = -1;
    const auto settle = Clock::now() + std::chrono::seconds(20);
    while (seen != sent.load() && Clock::now() < settle) {
        seen = sent.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    auto t0 = Clock::now();
    pub.Stop();
    sender.join();
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(45));  // woken, not timed out
    EXPECT_FALSE(lastOk.load());
    EXPECT_FALSE(pub.IsConnected());
    kill(nginx_.Pid(), SIGCONT);
    pub.Close();
}

TEST_F(FerrelTest, SecondPublisherOfAStreamIsRefused) {
    Ferrel first;
    ASSERT_TRUE(first.Connect(nginx_.Url("twice").c_str(), 5, 5, 5, true));
    Ferrel second;  // refused by the server's answer, well before the 60 s time-out
    auto t0 = Clock::now();
    EXPECT_FALSE(second.Connect(nginx_.Url("twice").c_str(), 60, 60, 60, true));
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(30));
    EXPECT_FALSE(second.IsConnected());
    EXPECT_TRUE(first.IsConnected());
}

}  // namespace
