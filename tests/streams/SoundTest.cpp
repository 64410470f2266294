// Real sound end to end: a speech-like signal is the publisher's microphone (SDL's disk driver reads it
// from a file in real time), goes through the encoder, nginx-rtmp and the player, and comes out of the
// viewer's sound device (the disk driver writes it to a file). What came out is compared with what went
// in by cross-correlation.
#include "ChildProcess.h"
#include "NginxRtmp.h"
#include "Rondel.h"
#include "SoundCompare.h"
#include "StreamHelpers.h"
#include "SyntheticCamera.h"
#include "Tesmar.h"
#include "Tovel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

using namespace streams_test;
using namespace sound_test;

constexpr int kRate = 44100;
constexpr int kChannels = 2;

std::string TempName(const char* stem) {
    char name[128];
    snprintf(name, sizeof(name), "/tmp/varnet-%s-%d-XXXXXX", stem, int(getpid()));
    close(mkstemp(name));
    return name;
}

// Played buffers as the viewer's owner sees them.
struct Listener : IBaseReplayNotify {
    std::atomic<unsigned> lastPts{0};
    std::atomic<int> buffers{0};
    std::atomic<int> lost{0};
    std::mutex m;
    WAVEFORMATEX format{};
    void OnReplayStatus(int code) override { lost += code == REPLAY_CONNECTION_LOST; }
    void OnReplayVideo(BYTE*, BITMAPINFOHEADER*, unsigned) override {}
    void OnReplayAudio(void*, int, WAVEFORMATEX* f, unsigned pts) override {
        {
            std::lock_guard<std::mutex> lock(m);
            format = *f;
        }
        lastPts = std::max(lastPts.load(), pts);
        ++buffers;
    }
};

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        in_ = TempName("mic-in");
        out_ = TempName("speaker-out");
        // The disk driver: capture from in_, output to out_, both paced in real time.
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILEIN", in_.c_str(), 1);
        setenv("SDL_DISKAUDIOFILE", out_.c_str(), 1);
        capture::SelectSyntheticCamera(1);
        std::string err;
        ASSERT_TRUE(nginx_.Start(&err)) << err;
    }
    void TearDown() override {
        capture::SelectSyntheticCamera(-1);
        Tovel::SetVolume(100);
        unlink(in_.c_str());
        unlink(out_.c_str());
    }
    ZQReplayParam ReplayParam(const std::string& url) {
        ZQReplayParam p;
        snprintf(p.url, sizeof(p.url), "%s", url.c_str());
        p.timeout = p.recvTimeout = p.sendTimeout = 5;
        p.bufferTime = 1;
        p.videoEnable = false;  // sound only: pictures play no part here
        return p;
    }
    std::vector<int16_t> Output() { return ReadRawChannel(out_, kChannels); }

    std::string in_, out_;
    testenv::NginxRtmp nginx_;
};

// Segment gains in order: the full gain, then half of it, then exactly nothing.
void ExpectFullThenHalfThenSilence(const Comparison& c) {
    ASSERT_GE(c.segments.size(), 20u);
    std::vector<double> first;
    for (size_t i = 1; i < 8; ++i) first.push_back(c.segments[i].gain);
    std::sort(first.begin(), first.end());
    const double full = first[first.size() / 2];
    ASSERT_GT(full, 0.3);
    std::string trace;
    int phase = 0, half = 0, silent = 0, transitions = 0;
    for (size_t i = 1; i < c.segments.size(); ++i) {
        const Segment& s = c.segments[i];
        const double ratio = s.gain / full;
        char cell[48];
        snprintf(cell, sizeof(cell), "%.2f/%.2f ", ratio, s.similarity);
        trace += cell;
        const int kind =
            s.outEnergy == 0 ? 2 : (std::fabs(ratio - 0.5) < 0.12 ? 1 : (std::fabs(ratio - 1) < 0.2 ? 0 : -1));
        if (kind == phase) {
            half += kind == 1;
            silent += kind == 2;
        } else if (kind > phase) {
            phase = kind;  // the volume changed between buffers already queued
            half += kind == 1;
            silent += kind == 2;
        } else {
            ++transitions;  // a segment that straddles a change
        }
    }
    EXPECT_LE(transitions, 4) << trace;
    EXPECT_GE(half, 3) << trace;
    EXPECT_GE(silent, 3) << trace;
    EXPECT_EQ(2, phase) << trace;
}

TEST_F(SoundTest, PublishedVoiceComesOutOfTheViewerAndVolumeAndMuteApply) {
    const double lead = 2.0;
    const std::vector<int16_t> voice = SpeechLike(11.0, kRate, 7);
    ASSERT_TRUE(WriteRaw(in_, ToInterleaved(voice, kChannels, kRate, lead)));

    PublishRecorder pubRec;  // outlives the session
    Tesmar pub;
    ZQPublishParam pp;
    snprintf(pp.url, sizeof(pp.url), "%s", nginx_.Url("voice").c_str());
    pp.timeout = pp.recvTimeout = pp.sendTimeout = 5;
    ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &pubRec));
    Listener ear;  // outlives the session
    Rondel player;
    ZQReplayParam rp = ReplayParam(nginx_.Url("voice"));
    ASSERT_EQ(REPLAY_SUCCESS, player.Init(&rp, &ear));

    // Timestamps count from the start of capture, where the file starts: switch inside the voice.
    const unsigned start = unsigned(lead * 1000);
    ASSERT_TRUE(WaitFor([&] { return ear.lastPts >= start + 4000; }, 60000)) << ear.buffers << " buffers";
    Tovel::SetVolume(50);
    ASSERT_TRUE(WaitFor([&] { return ear.lastPts >= start + 7500; }, 30000));
    Tovel::SetVolume(0);
    ASSERT_TRUE(WaitFor([&] { return ear.lastPts >= start + 11500; }, 30000));
    player.Uint();
    pub.Uint();
    EXPECT_EQ(0, pubRec.StatusCount(PUBLISH_CONNECTION_LOST));
    {
        std::lock_guard<std::mutex> lock(ear.m);
        EXPECT_EQ(unsigned(kRate), ear.format.nSamplesPerSec);
        EXPECT_EQ(kChannels, ear.format.nChannels);
    }

    const Comparison c = Compare(voice, 0, Output(), kRate, 3.0, 0.25, 0.02);
    ASSERT_TRUE(c.found);
    EXPECT_GT(c.lag, 0);
    EXPECT_GT(c.similarity, 0.7) << "lag " << c.lag;
    ExpectFullThenHalfThenSilence(c);
}

TEST_F(SoundTest, AFilePublishedByFfmpegComesOutOfTheViewer) {
    if (access("/usr/bin/ffmpeg", X_OK) != 0) GTEST_SKIP() << "ffmpeg is not installed";
    const double lead = 3.0;
    const std::vector<int16_t> voice = SpeechLike(6.0, kRate, 11);
    const std::string wav = TempName("voice") + ".wav";
    ASSERT_TRUE(WriteWav(wav, ToInterleaved(voice, kChannels, kRate, lead, 3.0), kChannels, kRate));
    const std::string url = nginx_.Url("file");
    const std::string log = TempName("ffmpeg-log");
    testenv::ChildProcess ffmpeg;
    ASSERT_TRUE(ffmpeg.Start(
        {"ffmpeg", "-loglevel", "error", "-re", "-i", wav, "-c:a", "aac", "-b:a", "128k", "-f", "flv", url}, "", log));
    Listener ear;  // outlives the session
    Rondel player;
    ZQReplayParam rp = ReplayParam(url);
    // The publisher needs a moment to reach the server: an unpublished stream refuses the player.
    ASSERT_TRUE(WaitFor(
        [&] {
            if (player.Init(&rp, &ear) == REPLAY_SUCCESS) return true;
            player.Uint();
            return false;
        },
        15000));
    // The file's timestamps start with it: wait until the voice has been played out.
    EXPECT_TRUE(WaitFor([&] { return ear.lastPts >= unsigned((lead + 6.5) * 1000); }, 60000))
        << ear.buffers << " buffers, last pts " << ear.lastPts;
    player.Uint();
    ffmpeg.Stop();
    unlink(wav.c_str());
    unlink(log.c_str());

    const Comparison c = Compare(voice, 0, Output(), kRate, 3.0, 0.25, 0.02);
    ASSERT_TRUE(c.found);
    EXPECT_GT(c.lag, 0);
    EXPECT_GT(c.similarity, 0.8) << "lag " << c.lag;
    int similar = 0;
    for (const Segment& s : c.segments) similar += s.similarity > 0.8;
    EXPECT_GE(similar, int(c.segments.size()) * 8 / 10);
}

}  // namespace
