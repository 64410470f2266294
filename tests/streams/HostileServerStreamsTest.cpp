// The publishing and playback sessions against a server that nests its commands or metadata without
// end: Init fails on the owner's thread, and a playing session reports the loss, without a crash.
#include "Microphone.h"
#include "Rondel.h"
#include "RtmpPeer.h"
#include "StreamHelpers.h"
#include "SyntheticCamera.h"
#include "Tesmar.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace streams_test;
using Session = testenv::RtmpPeer::Session;

const std::string& DeepStatus() {
    static const std::string body =
        testenv::AmfString("onStatus") + testenv::AmfNumber(0) + testenv::AmfNull() + testenv::AmfDeepObject(200000);
    return body;
}

// Answers up to the play or publish command, then sends `type` with `body` (after the start status
// when `started`).
void Script(Session& s, bool publish, bool started, uint8_t type, const std::string& body) {
    if (!s.Handshake()) return;
    double txn = s.WaitCommand("connect");
    if (txn < 0) return;
    s.AnswerConnect(txn);
    txn = s.WaitCommand("createStream");
    if (txn < 0) return;
    s.AnswerCreateStream(txn);
    if (s.WaitCommand(publish ? "publish" : "play") < 0) return;
    if (started) s.SendStatus("status", publish ? "NetStream.Publish.Start" : "NetStream.Play.Start");
    s.SetChunkSize(65536);
    s.Send(5, type, 1, 0, body);
}

TEST(HostileServerSessions, DeeplyNestedAnswersFailInitOrEndPlayback) {
    {
        testenv::RtmpPeer peer([](Session& s) { Script(s, false, false, 20, DeepStatus()); });
        Rondel player;
        ReplayRecorder rec;
        ZQReplayParam rp;
        snprintf(rp.url, sizeof(rp.url), "%s", peer.Url("s").c_str());
        rp.timeout = rp.recvTimeout = rp.sendTimeout = 5;
        EXPECT_EQ(REPLAY_CONNECT_FAILED, player.Init(&rp, &rec));
        player.Uint();
    }
    {
        capture::SelectSyntheticCamera(1);
        TesmarFactories tone;
        tone.microphone = [] { return publish::CreateToneMicrophone(); };
        TesmarSetFactories(tone);
        testenv::RtmpPeer peer([](Session& s) { Script(s, true, false, 20, DeepStatus()); });
        Tesmar pub;
        PublishRecorder rec;
        ZQPublishParam pp;
        snprintf(pp.url, sizeof(pp.url), "%s", peer.Url("s").c_str());
        pp.timeout = pp.recvTimeout = pp.sendTimeout = 5;
        EXPECT_EQ(PUBLISH_CONNECT_FAILED, pub.Init(&pp, &rec));
        pub.Uint();
        TesmarSetFactories({});
        capture::SelectSyntheticCamera(-1);
    }
    for (const bool metadata : {true, false}) {
        SCOPED_TRACE(metadata ? "onMetaData" : "onStatus");
        const std::string body =
            metadata ? testenv::AmfString("onMetaData") + testenv::AmfDeepObject(200000) : DeepStatus();
        testenv::RtmpPeer peer([&](Session& s) { Script(s, false, true, metadata ? 18 : 20, body); });
        Rondel player;
        ReplayRecorder rec;
        ZQReplayParam rp;
        snprintf(rp.url, sizeof(rp.url), "%s", peer.Url("s").c_str());
        rp.timeout = rp.recvTimeout = rp.sendTimeout = 5;
        ASSERT_EQ(REPLAY_SUCCESS, player.Init(&rp, &rec));
        EXPECT_TRUE(WaitFor([&] { return rec.StatusCount(REPLAY_CONNECTION_LOST) == 1; }, 10000));
        player.Uint();
    }
}

// A server that takes the published stream and then reads nothing more: at a small stream (320 x 240 at
// 20 frames a second, a tone) its kernel acknowledges into the receive buffer for far longer than the
// send time-out, yet the publisher reports the loss soon, once.
TEST(HostileServerSessions, APublisherAtALowBitrateIsLostSoonAfterItsServerStopsReading) {
    capture::SelectSyntheticCamera(1, {{320, 240}});
    TesmarFactories tone;
    tone.microphone = [] { return publish::CreateToneMicrophone(); };
    TesmarSetFactories(tone);
    {
        testenv::RtmpPeer peer([](Session& s) { s.AcceptStream(true); });
        Tesmar pub;
        PublishRecorder rec;
        ZQPublishParam pp;
        snprintf(pp.url, sizeof(pp.url), "%s", peer.Url("s").c_str());
        pp.timeout = pp.recvTimeout = pp.sendTimeout = 3;
        pp.video.width = 320;
        pp.video.height = 240;
        pp.video.frameRate = 20;
        ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &rec));
        EXPECT_TRUE(WaitFor([&] { return rec.StatusCount(PUBLISH_CONNECTION_LOST) > 0; }, 20000));
        EXPECT_FALSE(pub.IsConnected());
        pub.Uint();
        EXPECT_EQ(1, rec.StatusCount(PUBLISH_CONNECTION_LOST));
    }
    TesmarSetFactories({});
    capture::SelectSyntheticCamera(-1);
}

}  // namespace
