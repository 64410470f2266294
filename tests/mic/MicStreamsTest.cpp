// A link plays a stream that the synthetic publisher sends to nginx-rtmp on loopback, its frames reach
// the video view, and after the server went down and came back the link relinks.
#include "CameraSource.h"
#include "MicLink.h"
#include "MicStreamSources.h"
#include "MicTestSupport.h"
#include "Microphone.h"
#include "NginxRtmp.h"
#include "SyntheticCamera.h"
#include "Tesmar.h"
#include "VideoShowWnd.h"
#include "ZqModConfig.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace mic_test;

struct SlotOwner : IMicPublishReplayCallBack {
    CMicLink* link = nullptr;
    CVideoShowWnd* view = nullptr;
    std::atomic<int> drops{0};
    void OnLinkChange(int severity, std::string text) override {
        if (link->OnLinkChange(severity, text, view)) ++drops;
    }
    void OnVideoData(BYTE* rgb, BITMAPINFOHEADER* h) override { CMicLink::RouteVideo(rgb, h, view); }
    void OnAudioLevel(short*) override {}
};

TEST(MicStreams, LinkPlaysAndRelinksAfterTheServerCameBack) {
    ASSERT_TRUE(Win32Init());
    UseFreshConfig();
    UseFastLinksAndSyntheticSources();

    testenv::NginxRtmp nginx;
    std::string err;
    ASSERT_TRUE(nginx.Start(&err)) << err;
    auto pub = std::make_unique<SynthPublisher>(20);
    ASSERT_EQ(PUBLISH_SUCCESS, pub->Start(nginx.Url("slot1")));

    RecordingWnd window;
    HWND wnd = CreateWindowHandle(&window);
    CVideoShowWnd view;
    DuiLib::RECT rc;
    rc.right = 160, rc.bottom = 120;
    ASSERT_EQ(1, view.Create(nullptr, &rc, ""));
    auto adapter = std::make_shared<CMicPublishReplayAdapter>();
    CMicLink link(0, true, adapter);
    SlotOwner owner;
    owner.link = &link;
    owner.view = &view;
    adapter->SetOwner(&owner);
    link.SetWindow(wnd);
    link.SetMicUser(4242, "tone");
    adapter->SetParam(nginx.Url("slot1"), false, 3);

    auto playing = [&] {
        unsigned long n = view.PresentCount();
        return PumpUntil([&] { return !view.IsShowingBackground() && view.PresentCount() > n + 5; }, 20000);
    };
    link.StartLinkThread();
    ASSERT_TRUE(PumpUntil([&] { return window.ResultCount() == 1; }, 20000));
    ASSERT_EQ(1u, window.linkResults[0]);
    link.OnLinkResult(1, &view);
    EXPECT_TRUE(playing());

    // The server goes away: the drop arms the reconnect timer at once.
    nginx.Stop(true);
    ASSERT_TRUE(PumpUntil([&] { return window.timers >= 1; }, 20000)) << owner.drops.load();
    EXPECT_TRUE(view.IsShowingBackground());
    pub.reset();

    // Back with a fresh address, as a new live signature brings it.
    ASSERT_TRUE(nginx.Start(&err)) << err;
    pub = std::make_unique<SynthPublisher>(20);
    ASSERT_EQ(PUBLISH_SUCCESS, pub->Start(nginx.Url("slot1")));
    adapter->SetParam(nginx.Url("slot1"), false, 3);
    link.StartLinkThread();
    ASSERT_TRUE(PumpUntil([&] { return window.ResultCount() == 2; }, 20000));
    EXPECT_EQ(1u, window.linkResults[1]);
    link.OnLinkResult(1, &view);
    EXPECT_TRUE(playing());

    link.StopLinkThread();
    int drops = owner.drops;
    adapter->StopActive(true);  // a stop of our own is no dropped link
    EXPECT_EQ(drops, owner.drops.load());
    adapter->SetOwner(nullptr);
    view.Destroy();
    pub.reset();
    DestroyWindow(wnd);
    TesmarSetFactories({});
    capture::SelectSyntheticCamera(-1);
}

}  // namespace
