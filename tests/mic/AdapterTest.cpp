// The publish/replay adapter: status tables, parameter records from the configuration, meter samples
// and show switches.
#include "CameraSource.h"
#include "GlobalData.h"
#include "MicPublishReplayAdapter.h"
#include "MicTestSupport.h"
#include "SyntheticCamera.h"
#include "ZqModConfig.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace mic_test;

TEST(MicAdapter, StatusCodesMapToTextAndSeverity) {
    struct Row {
        bool publish;
        int code;
        int severity;
        const char* text;
    } rows[] = {
        {true, 0, 0, "发布成功"},
        {true, 2, 2, "打开麦克风失败"},
        {true, 5, 2, "启动摄像头失败"},
        {true, 8, 1, "连接rtmp服务失败"},
        {true, 9, 1, "与rtmp服务的连接中断"},
        {true, 10, 0, ""},
        {true, 12, 0, ""},
        {true, -1, 0, ""},
        {true, -100000, 0, ""},
        {false, 0, 0, "收看成功"},
        {false, 3, 1, "与rtmp服务连接中断"},
        {false, 4, 0, "没有读取到数据"},
        {false, 7, 0, "缓冲区已满"},
        {false, 8, 0, "缓冲区空了"},
        {false, 9, 0, ""},
        {false, -3, 0, ""},
    };
    for (const Row& r : rows) {
        std::string text = "stale";
        int sev = r.publish ? CMicPublishReplayAdapter::GetPublishStatusText(r.code, text)
                            : CMicPublishReplayAdapter::GetReplayStatusText(r.code, 0, text);
        EXPECT_EQ(r.severity, sev) << r.publish << " " << r.code;
        EXPECT_EQ(std::string(r.text), text) << r.publish << " " << r.code;
    }
}

TEST(MicAdapter, MeterSamplesNeedMoreThanNineFrames) {
    short pcm[40];
    for (int i = 0; i < 40; ++i) pcm[i] = static_cast<short>(i + 1);
    struct Row {
        int channels;
        long bytes;
        int firstStep;  // 0: zeros
    } rows[] = {{1, 18, 0}, {1, 20, 1}, {2, 36, 0}, {2, 38, 2}, {3, 80, 0}, {1, 0, 0}};
    for (const Row& r : rows) {
        WAVEFORMATEX f;
        f.nChannels = static_cast<WORD>(r.channels);
        short out[9];
        CMicPublishReplayAdapter::ExtractMeterSamples(reinterpret_cast<BYTE*>(pcm), r.bytes, &f, out);
        for (int i = 0; i < 9; ++i) EXPECT_EQ(r.firstStep ? 1 + i * r.firstStep : 0, out[i]) << r.channels << r.bytes;
    }
}

TEST(MicAdapter, RecordsComeFromTheConfigurationAndTheDeviceNames) {
    UseFreshConfig();
    capture::SelectSyntheticCamera(1);
    CMicPublishReplayAdapter a;
    a.SetParam("rtmp://127.0.0.1/vstar/s1", true, 2);
    IConfigManager* cfg = AfxGetConfigManager();

    ZQPublishParam p;
    a.FillPublishParam(p);
    EXPECT_STREQ("rtmp://127.0.0.1/vstar/s1", p.url);
    EXPECT_EQ(320, p.video.width);  // absent keys keep the defaults
    EXPECT_EQ(30, p.timeout);
    EXPECT_FALSE(p.audio.enable);
    EXPECT_TRUE(p.video.enable);

    cfg->SetString("RoomConfigMic", "CameraIndexSel", "No such camera");
    cfg->SetInt("RoomConfigMic", "MicWndW", 176);
    cfg->SetInt("RoomConfigMic", "MicPublishAudioFrameRate", 22050);
    cfg->SetInt("RoomConfigMic", "MicListenBufferTM", 4);
    ZQPublishParam q;
    a.FillPublishParam(q);
    EXPECT_EQ(0, q.video.deviceIndex);
    EXPECT_EQ(176, q.video.width);
    EXPECT_EQ(22050, q.audio.sampleRate);
    ZQReplayParam r;
    a.FillReplayParam(r);
    EXPECT_EQ(4, r.bufferTime);
    EXPECT_FALSE(r.audioShow);
    EXPECT_TRUE(r.videoShow);

    // The sound output device: the default unless configured; numbers a byte cannot hold are ignored.
    EXPECT_EQ(0, r.waveOutDevice);
    for (auto [stored, device] : {std::pair{2, 2}, std::pair{300, 0}, std::pair{-1, 0}}) {
        cfg->SetInt("RoomConfigMic", "MicListenWaveOutDevice", stored);
        ZQReplayParam fresh;
        a.FillReplayParam(fresh);
        EXPECT_EQ(device, fresh.waveOutDevice) << stored;
    }
    // A URL longer than the record is cut, terminated.
    a.SetParam(std::string(3000, 'u'), false, 3);
    a.FillReplayParam(r);
    EXPECT_EQ(1023u, strlen(r.url));
    capture::SelectSyntheticCamera(-1);
}

// While a stream connects its slot shows the linking picture, except the own stream without a camera, which
// has no pictures to wait for.
TEST(MicAdapter, TheOwnStreamWithoutACameraWaitsWithTheNoVideoPicture) {
    struct NoCameras : capture::CameraStandIn {
        std::vector<capture::CameraInfo> List() override { return {}; }
        std::unique_ptr<capture::CameraSource> Create(int) override { return nullptr; }
    } none;
    CMicPublishReplayAdapter a;
    capture::SelectSyntheticCamera(1);
    a.SetParam("rtmp://x/y/z", true, 3);
    EXPECT_EQ(a.WaitingBkPath(), GetLinkingVideoBkPath());
    capture::SetCameraStandIn(&none);
    EXPECT_EQ(a.WaitingBkPath(), GetNoVideoBkPath());
    a.SetParam("rtmp://x/y/z", false, 3);  // another performer's stream
    EXPECT_EQ(a.WaitingBkPath(), GetLinkingVideoBkPath());
    capture::SelectSyntheticCamera(-1);
}

TEST(MicAdapter, StartingStopsBothSidesAndSwitchesOnlyWhatDiffers) {
    UseFreshConfig();
    FakeScript player, publisher;
    player.codes = {4};
    CMicPublishReplayAdapter a(FakeFactory(&player, &publisher));
    a.SetParam("rtmp://x/y/z", false, 3);
    std::string text;
    EXPECT_EQ(0, a.StartLink(text));  // no data read counts as linked
    EXPECT_EQ(1, player.uints.load());
    EXPECT_EQ(1, publisher.uints.load());

    a.ApplyShowFlags();
    EXPECT_EQ(0, player.switches.load());
    a.SetParam("rtmp://x/y/z", false, 1);
    a.ApplyShowFlags();
    EXPECT_EQ(1, player.switches.load());
    EXPECT_FALSE(a.IsVideoShow());
    EXPECT_TRUE(a.IsAudioShow());
}

}  // namespace
