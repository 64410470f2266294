// The publishing library against a fake RTMP client: what is sent in which order, a send that blocks
// while the session stops, and a lost connection noticed by two threads at once.
#include "Ferrel.h"
#include "FlvBody.h"
#include "SyntheticCamera.h"
#include "Tesmar.h"
#include "StreamHelpers.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>

namespace {

using namespace streams_test;

// What the fake client saw; outlives the client, which the session deletes.
struct SendLog {
    struct Sent {
        char what;  // 'm' metadata, 'v' video, 'a' audio
        bool key;
        unsigned ts;
        std::vector<uint8_t> body;
    };
    std::mutex m;
    std::condition_variable cv;
    std::vector<Sent> sent;
    _RTMPMetadata meta;
    bool stopped = false;
    bool blocked = false;
    std::atomic<bool> dropped{false};
    int VideoCount() const {
        int n = 0;
        for (auto& s : sent) n += s.what == 'v';
        return n;
    }
};

// Records what is sent; from the `blockAt`-th video packet on, a send blocks until Stop.
class RecordingFerrel : public Ferrel {
public:
    RecordingFerrel(std::shared_ptr<SendLog> log, int blockAt) : m_log(std::move(log)), m_blockAt(blockAt) {}

    bool Connect(const char*, int, int, int, bool publish) override { return publish; }
    void Stop() override {
        std::lock_guard<std::mutex> lock(m_log->m);
        m_log->stopped = true;
        m_log->cv.notify_all();
    }
    void Close() override {}
    bool IsConnected() override {
        std::lock_guard<std::mutex> lock(m_log->m);
        return !m_log->stopped && !m_log->dropped;
    }
    bool SendMetadata(const _RTMPMetadata* meta) override {
        std::lock_guard<std::mutex> lock(m_log->m);
        if (meta) {
            m_log->meta = *meta;
        }
        m_log->sent.push_back({'m', false, 0, {}});
        return true;
    }
    bool SendH264Packet(const uint8_t* body, int len, bool key, unsigned ts) override {
        std::unique_lock<std::mutex> lock(m_log->m);
        if (m_blockAt >= 0 && m_log->VideoCount() >= m_blockAt) {
            m_log->blocked = true;
            m_log->cv.wait(lock, [this] { return m_log->stopped; });
            return false;
        }
        m_log->sent.push_back({'v', key, ts, std::vector<uint8_t>(body, body + len)});
        return !m_log->dropped;
    }
    bool SendAACPacket(const uint8_t* body, int len, bool, unsigned ts) override {
        std::lock_guard<std::mutex> lock(m_log->m);
        m_log->sent.push_back({'a', false, ts, std::vector<uint8_t>(body, body + len)});
        return !m_log->dropped;
    }

private:
    std::shared_ptr<SendLog> m_log;
    int m_blockAt;
};

class PublishTest : public ::testing::Test {
protected:
    void SetUp() override { capture::SelectSyntheticCamera(1); }
    void TearDown() override {
        TesmarSetFactories({});
        capture::SelectSyntheticCamera(-1);
    }
    std::shared_ptr<SendLog> Install(int blockAt = -1) {
        auto log = std::make_shared<SendLog>();
        TesmarFactories f;
        f.client = [log, blockAt] { return std::make_unique<RecordingFerrel>(log, blockAt); };
        TesmarSetFactories(f);
        return log;
    }
    static ZQPublishParam Param() {
        ZQPublishParam p;
        snprintf(p.url, sizeof(p.url), "rtmp://127.0.0.1:1/vstar/fake");
        p.video.frameRate = 20;
        p.video.keyInterval = 10;
        return p;
    }
};

TEST_F(PublishTest, MetadataFirstThenAKeyFrameThenForwardTime) {
    auto c = Install();
    Tesmar pub;
    PublishRecorder rec;
    ZQPublishParam pp = Param();
    ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &rec));
    EXPECT_TRUE(WaitFor(
        [&] {
            std::lock_guard<std::mutex> lock(c->m);
            return c->VideoCount() >= 25;
        },
        30000));
    pub.Uint();
    std::lock_guard<std::mutex> lock(c->m);
    ASSERT_FALSE(c->sent.empty());
    EXPECT_EQ('m', c->sent[0].what);
    EXPECT_EQ(320, c->meta.width);
    EXPECT_EQ(240, c->meta.height);
    // HE-AAC v2 signals its core: 22050 Hz mono (SBR and PS double both in the decoder).
    EXPECT_EQ(7, c->meta.audioSampleRateIndex);
    EXPECT_EQ(1, c->meta.audioChannels);
    EXPECT_EQ(1, std::count_if(c->sent.begin(), c->sent.end(), [](auto& s) { return s.what == 'm'; }));
    bool firstVideo = true;
    int keys = 0;
    unsigned lastVideo = 0, lastAudio = 0;
    for (auto& s : c->sent) {
        if (s.what == 'v') {
            const FlvBodyKind kind = FlvClassifyBody(9, s.body.data(), int(s.body.size()));
            EXPECT_EQ(s.key ? FlvBodyKind::AvcKeyFrame : FlvBodyKind::AvcFrame, kind);
            if (firstVideo) {
                EXPECT_TRUE(s.key) << "a player must start at a key frame";
            }
            firstVideo = false;
            keys += s.key;
            EXPECT_GE(s.ts, lastVideo);
            lastVideo = s.ts;
        } else if (s.what == 'a') {
            EXPECT_EQ(FlvBodyKind::AacFrame, FlvClassifyBody(8, s.body.data(), int(s.body.size())));
            EXPECT_GE(s.ts, lastAudio);
            lastAudio = s.ts;
        }
    }
    EXPECT_GE(keys, 2);  // one every ten frames
}

TEST_F(PublishTest, UintReturnsWhileASendBlocks) {
    auto c = Install(3);
    Tesmar pub;
    PublishRecorder rec;
    ZQPublishParam pp = Param();
    ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &rec));
    EXPECT_TRUE(WaitFor(
        [&] {
            std::lock_guard<std::mutex> lock(c->m);
            return c->blocked;
        },
        30000));
    pub.Uint();  // the send never returns by itself: returning at all is the point
    EXPECT_EQ(0, rec.StatusCount(PUBLISH_CONNECTION_LOST));
    EXPECT_FALSE(pub.IsConnected());
}

TEST_F(PublishTest, ALostConnectionIsReportedOnceWhoeverNoticesIt) {
    auto c = Install();
    Tesmar pub;
    PublishRecorder rec;
    ZQPublishParam pp = Param();
    ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &rec));
    EXPECT_TRUE(WaitFor(
        [&] {
            std::lock_guard<std::mutex> lock(c->m);
            return c->VideoCount() >= 3;
        },
        30000));
    c->dropped = true;
    // The owner polls while the send thread notices the same loss.
    std::vector<std::thread> pollers;
    for (int i = 0; i < 3; ++i) {
        pollers.emplace_back([&pub] {
            for (int k = 0; k < 200; ++k) {
                pub.IsConnected();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    for (auto& t : pollers) t.join();
    EXPECT_TRUE(WaitFor([&] { return rec.StatusCount(PUBLISH_CONNECTION_LOST) > 0; }, 10000));
    EXPECT_FALSE(pub.IsConnected());
    pub.Uint();
    EXPECT_EQ(1, rec.StatusCount(PUBLISH_CONNECTION_LOST));
    EXPECT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &rec));  // a new session after the loss
    pub.Uint();
}

}  // namespace
