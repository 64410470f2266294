// Outside peers: ffmpeg publishes and Rondel plays; Tesmar publishes and ffmpeg/ffprobe read it.
#include "ChildProcess.h"
#include "NginxRtmp.h"
#include "Rondel.h"
#include "StreamHelpers.h"
#include "SyntheticCamera.h"
#include "Tesmar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace {

using namespace streams_test;

bool HaveFfmpeg() {
    return access("/usr/bin/ffmpeg", X_OK) == 0 && access("/usr/bin/ffprobe", X_OK) == 0;
}

std::string TempName(const char* stem) {
    char name[128];
    snprintf(name, sizeof(name), "/tmp/varnet-%s-%d-XXXXXX", stem, int(getpid()));
    int fd = mkstemp(name);
    close(fd);
    return name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct PeerCase {
    const char* name;
    std::vector<std::string> codecArgs;
    unsigned sampleRate;
};

void PrintTo(const PeerCase& c, std::ostream* os) {
    *os << c.name;
}

class FfmpegPublishes : public ::testing::TestWithParam<PeerCase> {};

TEST_P(FfmpegPublishes, RondelPlaysIt) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const PeerCase& c = GetParam();
    testenv::NginxRtmp nginx;
    std::string err;
    ASSERT_TRUE(nginx.Start(&err)) << err;
    const std::string url = nginx.Url(c.name);
    std::vector<std::string> args = {
        "ffmpeg", "-loglevel", "error", "-re",
        "-f",     "lavfi",     "-i",    "testsrc=size=320x240:rate=25",
        "-f",     "lavfi",     "-i",    "sine=frequency=440:sample_rate=" + std::to_string(c.sampleRate),
        "-t",     "6"};
    args.insert(args.end(), c.codecArgs.begin(), c.codecArgs.end());
    for (const char* a : {"-c:a", "aac", "-ac", "2", "-f", "flv"}) args.push_back(a);
    args.push_back(url);
    const std::string log = TempName("ffmpeg-pub");
    testenv::ChildProcess ffmpeg;
    ASSERT_TRUE(ffmpeg.Start(args, "", log));

    Rondel player;
    ReplayRecorder rec;
    ZQReplayParam rp;
    snprintf(rp.url, sizeof(rp.url), "%s", url.c_str());
    rp.timeout = rp.recvTimeout = rp.sendTimeout = 3;
    rp.bufferTime = 1;
    // The publisher needs a moment to reach the server: an unpublished stream refuses the player.
    bool playing = WaitFor(
        [&] {
            if (player.Init(&rp, &rec) == REPLAY_SUCCESS) return true;
            player.Uint();
            return false;
        },
        8000);
    ASSERT_TRUE(playing) << ReadFile(log);
    EXPECT_TRUE(WaitFor([&] { return rec.FrameCount() >= 15 && rec.audioBuffers >= 5; }, 10000))
        << rec.FrameCount() << " frames, " << rec.audioBuffers << " audio buffers; " << ReadFile(log);
    player.Uint();
    ffmpeg.Stop();
    unlink(log.c_str());
    std::lock_guard<std::mutex> lock(rec.m);
    unsigned last = 0;
    for (auto& f : rec.frames) {
        EXPECT_EQ(320, f.width);
        EXPECT_EQ(240, f.height);
        EXPECT_GT(f.pts, last);
        last = f.pts;
    }
    EXPECT_EQ(c.sampleRate, rec.format.nSamplesPerSec);
    EXPECT_EQ(2, rec.format.nChannels);
}

INSTANTIATE_TEST_SUITE_P(Streams, FfmpegPublishes,
                         ::testing::Values(PeerCase{"baseline",
                                                    {"-c:v", "libx264", "-preset", "veryfast", "-tune", "zerolatency",
                                                     "-g", "25", "-pix_fmt", "yuv420p"},
                                                    44100},
                                           PeerCase{"bframes",
                                                    {"-c:v", "libx264", "-preset", "veryfast", "-profile:v", "main",
                                                     "-bf", "2", "-g", "25", "-pix_fmt", "yuv420p"},
                                                    44100},
                                           PeerCase{"stereo48k",
                                                    {"-c:v", "libx264", "-preset", "veryfast", "-tune", "zerolatency",
                                                     "-g", "25", "-pix_fmt", "yuv420p"},
                                                    48000}),
                         [](const ::testing::TestParamInfo<PeerCase>& i) { return std::string(i.param.name); });

TEST(TesmarPublishes, FfprobeAndFfmpegReadAndDecodeIt) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    capture::SelectSyntheticCamera(1);
    testenv::NginxRtmp nginx;
    std::string err;
    ASSERT_TRUE(nginx.Start(&err)) << err;
    const std::string url = nginx.Url("tesmar");
    Tesmar pub;
    PublishRecorder pubRec;
    ZQPublishParam pp;
    snprintf(pp.url, sizeof(pp.url), "%s", url.c_str());
    pp.timeout = pp.recvTimeout = pp.sendTimeout = 3;
    pp.video.frameRate = 20;
    pp.video.keyInterval = 10;
    ASSERT_EQ(PUBLISH_SUCCESS, pub.Init(&pp, &pubRec));

    const std::string probeOut = TempName("probe");
    testenv::ChildProcess probe;
    ASSERT_TRUE(probe.Start({"ffprobe", "-v", "error", "-show_entries",
                             "stream=codec_type,codec_name,width,height,sample_rate", "-of", "default=nw=1", url},
                            probeOut));
    const std::string video = TempName("video");
    const std::string audio = TempName("audio");
    testenv::ChildProcess decode;
    ASSERT_TRUE(decode.Start({"ffmpeg",    "-v",          "error",     "-y", "-i", url,        "-map",     "0:v",
                              "-fps_mode", "passthrough", "-frames:v", "10", "-f", "rawvideo", "-pix_fmt", "bgr24",
                              video,       "-map",        "0:a",       "-t", "1",  "-f",       "s16le",    audio}));
    EXPECT_EQ(0, probe.Wait(90000));
    EXPECT_EQ(0, decode.Wait(90000));
    pub.Uint();
    capture::SelectSyntheticCamera(-1);

    const std::string probed = ReadFile(probeOut);
    EXPECT_NE(std::string::npos, probed.find("codec_name=h264")) << probed;
    EXPECT_NE(std::string::npos, probed.find("codec_name=aac")) << probed;
    EXPECT_NE(std::string::npos, probed.find("width=320")) << probed;
    EXPECT_NE(std::string::npos, probed.find("height=240")) << probed;
    EXPECT_NE(std::string::npos, probed.find("sample_rate=44100")) << probed;

    const std::string frames = ReadFile(video);
    const size_t frameBytes = 320 * 240 * 3;
    ASSERT_EQ(10 * frameBytes, frames.size());
    int last = -1;
    for (size_t i = 0; i < 10; ++i) {
        int counter =
            capture::synthetic::ReadCounter(reinterpret_cast<const uint8_t*>(frames.data()) + i * frameBytes, 320, 240);
        EXPECT_GT(counter, last);
        last = counter;
    }
    // Decoded samples (ffmpeg may end the audio output early once the video output is done).
    EXPECT_GT(ReadFile(audio).size(), 44100u * 2 * 2 / 5);
    for (auto* f : {&probeOut, &video, &audio}) unlink(f->c_str());
}

}  // namespace
