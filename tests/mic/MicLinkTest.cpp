// The link thread and reconnect timer with a fake media pair and a fake clock.
#include "MicLink.h"
#include "MicTestSupport.h"
#include "RoomInfoMgr.h"
#include "VideoShowVoiceWnd.h"
#include "VideoShowWnd.h"
#include "ZqModConfig.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace mic_test;

std::atomic<DWORD> g_now{1000};
DWORD FakeTick() {
    return g_now.load();
}
void FakeSleep(DWORD ms) {
    g_now += ms;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

class MicLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Win32Init());
        UseFreshConfig();
        g_now = 1000;
        CMicLink::SetClockForTest(FakeTick, FakeSleep);
        player.clock = FakeTick;
        wnd = CreateWindowHandle(&window);
        room = CreateWindowHandle(&roomWindow);
        adapter = std::make_shared<CMicPublishReplayAdapter>(FakeFactory(&player, &publisher));
        adapter->SetParam("rtmp://127.0.0.1/vstar/a", false, 3);
    }
    void TearDown() override {
        link.reset();
        CMicLink::SetClockForTest(nullptr, nullptr);
        DestroyWindow(wnd);
        DestroyWindow(room);
    }
    void MakeLink(bool isPublic = true) {
        link = std::make_unique<CMicLink>(1, isPublic, adapter);
        link->SetWindow(wnd);
        link->SetRoom(room, 7001);
        link->SetMicUser(5005, "performer");
    }
    bool WaitResult(size_t n) {
        return PumpUntil([&] { return window.ResultCount() >= n; }, 10000);
    }

    FakeScript player, publisher;
    RecordingWnd window, roomWindow;
    HWND wnd = nullptr, room = nullptr;
    std::shared_ptr<CMicPublishReplayAdapter> adapter;
    std::unique_ptr<CMicLink> link;
};

TEST_F(MicLinkTest, RetriesAtGrowingPausesThenFailsAndArmsTheTimerAtOnce) {
    player.codes = {2, 2, 2};
    MakeLink();
    link->StartLinkThread();
    ASSERT_TRUE(WaitResult(1));
    EXPECT_EQ(0u, window.linkResults[0]);
    auto ticks = player.Attempts();
    ASSERT_EQ(3u, ticks.size());
    EXPECT_EQ(3000u, ticks[1] - ticks[0]);
    EXPECT_EQ(6000u, ticks[2] - ticks[1]);
    EXPECT_EQ(1, link->GetReconnectCount());  // armed with 0 ms
    EXPECT_TRUE(PumpUntil([&] { return window.timers >= 1; }, 5000));
    EXPECT_EQ(10000, link->SetReconnectTimer());
    EXPECT_EQ(20000, link->SetReconnectTimer());
    EXPECT_TRUE(roomWindow.notices.empty());
}

TEST_F(MicLinkTest, ConfiguredCountsAndSuccessEndings) {
    AfxGetConfigManager()->SetInt("RoomLink", "RTMPInitMaxCount", 0);
    MakeLink();
    link->StartLinkThread();
    ASSERT_TRUE(WaitResult(1));
    EXPECT_EQ(0u, window.linkResults[0]);
    EXPECT_TRUE(player.Attempts().empty());
    EXPECT_EQ(1, link->GetReconnectCount());

    AfxGetConfigManager()->SetInt("RoomLink", "RTMPInitMaxCount", 3);
    player.codes = {1, 4};  // failed, then "no data read", which counts as linked
    link->StartLinkThread();
    ASSERT_TRUE(WaitResult(2));
    EXPECT_EQ(1u, window.linkResults[1]);
    EXPECT_EQ(g_now.load(), link->GetLastSuccessTick());
}

TEST_F(MicLinkTest, DeviceFailureGivesOneNoticeAndNoSecondAttempt) {
    publisher.codes = {2, 2, 2, 2};
    adapter->SetParam("rtmp://127.0.0.1/vstar/own", true, 3);
    MakeLink();
    link->StartLinkThread();
    ASSERT_TRUE(WaitResult(1));
    EXPECT_EQ(0u, window.linkResults[0]);
    EXPECT_EQ(1u, publisher.Attempts().size());
    ASSERT_TRUE(PumpUntil([&] { return roomWindow.notices.size() == 1; }, 5000));
    EXPECT_FALSE(roomWindow.notices[0].empty());
    // Relinks of the same performer (the fresh signature's reply) fail alike: no second notice, and the
    // reconnect pause keeps growing. Another performer is told again.
    for (size_t run = 2; run <= 3; ++run) {
        link->SetMicUser(5005, "performer");
        link->StartLinkThread();
        ASSERT_TRUE(WaitResult(run));
    }
    EXPECT_EQ(3, link->GetReconnectCount());
    link->SetMicUser(6006, "next");
    link->StartLinkThread();
    ASSERT_TRUE(WaitResult(4));
    EXPECT_EQ(4u, publisher.Attempts().size());
    ASSERT_TRUE(PumpUntil([&] { return roomWindow.notices.size() == 2; }, 5000));
    PumpMessagesFor(50);
    EXPECT_EQ(2u, roomWindow.notices.size());

    // The notice to a room window that is gone is freed by the runtime (ASan watches).
    EXPECT_FALSE(CMicLink::PostChatNotice(nullptr, "x"));
    EXPECT_FALSE(CMicLink::PostChatNotice(reinterpret_cast<HWND>(0x7777), "x"));
}

TEST_F(MicLinkTest, DropDelaysGrowUnlessTheLinkLivedLong) {
    MakeLink();
    link->StartLinkThread();  // succeeds at once
    ASSERT_TRUE(WaitResult(1));
    link->SetReconnectCount(2);
    CVideoShowWnd view;
    view.SetVideoEnabled(true);
    g_now += 5000;
    EXPECT_FALSE(link->OnLinkChange(0, "", &view));
    EXPECT_FALSE(link->OnLinkChange(2, "", &view));
    EXPECT_EQ(2, link->GetReconnectCount());
    EXPECT_TRUE(link->OnLinkChange(1, "", &view));
    EXPECT_EQ(3, link->GetReconnectCount());  // armed with 20000 ms
    EXPECT_FALSE(view.IsVideoEnabled());
    EXPECT_TRUE(view.IsShowingBackground());
    g_now += 40000;
    EXPECT_TRUE(link->OnLinkChange(1, "", &view));
    EXPECT_EQ(1, link->GetReconnectCount());  // reset, armed with 0 ms

    // Across the wrap of the tick counter.
    g_now = 0xFFFFF000u;
    link->StartLinkThread();
    ASSERT_TRUE(WaitResult(2));
    link->SetReconnectCount(4);
    g_now = 0x2000u;  // 12 s later
    EXPECT_TRUE(link->OnLinkChange(1, "", &view));
    EXPECT_EQ(5, link->GetReconnectCount());
}

TEST_F(MicLinkTest, StopDuringAPauseOrABlockedConnectReturnsInBoundedTime) {
    player.codes = {1};
    MakeLink(false);
    link->StartLinkThread();
    ASSERT_TRUE(PumpUntil([&] { return !player.Attempts().empty(); }, 5000));
    EXPECT_TRUE(link->StopLinkThread());  // ends in the pause: a stopped run reports nothing, arms nothing
    EXPECT_EQ(0u, window.ResultCount());
    EXPECT_EQ(0, link->GetReconnectCount());

    // A connect that blocks far beyond the stop wait: the thread is left behind and posts nothing.
    player.blockMs = 60000;
    player.codes = {0};
    CMicLink::SetClockForTest(nullptr, nullptr);
    link->StartLinkThread();
    ASSERT_TRUE(PumpUntil([&] { return player.Attempts().size() >= 2; }, 5000));
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(link->StopLinkThread());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(CMicLink::kStopWaitMs + 1000));
    link.reset();
    std::weak_ptr<CMicPublishReplayAdapter> held = adapter;
    adapter.reset();  // the abandoned thread still holds it
    EXPECT_FALSE(held.expired());
    player.cut = true;
    EXPECT_TRUE(PumpUntil([&] { return held.expired(); }, 5000));
    PumpMessagesFor(50);
    EXPECT_EQ(0u, window.ResultCount());
}

TEST_F(MicLinkTest, AReplacedOrAbandonedRunNeitherRelinksNorTouchesTheNewSession) {
    // A new performer while the old run pauses between attempts: no relink of the old run's.
    player.codes = {1, 0};
    MakeLink();
    link->StartLinkThread();
    ASSERT_TRUE(PumpUntil([&] { return !player.Attempts().empty(); }, 5000));
    link->SetMicUser(6006, "next");
    link->StartLinkThread();
    ASSERT_TRUE(WaitResult(1));
    EXPECT_EQ(1u, window.linkResults[0]);
    EXPECT_EQ(0, link->GetReconnectCount());

    // A run given up inside a blocked attempt: once that attempt returns, it makes no other one, even
    // though the next run has cleared the stop flag.
    {
        std::lock_guard<std::mutex> lock(player.m);
        player.codes = {1, 0};
        player.next = 0;
    }
    player.blockMs = 60000;
    size_t before = player.Attempts().size();
    link->StartLinkThread();
    ASSERT_TRUE(PumpUntil([&] { return player.Attempts().size() == before + 1; }, 5000));
    EXPECT_FALSE(link->StopLinkThread());
    player.blockMs = 0;
    link->StartLinkThread();
    player.cut = true;  // the abandoned attempt fails now
    ASSERT_TRUE(WaitResult(2));
    EXPECT_EQ(1u, window.linkResults[1]);
    int uints = player.uints;
    // Both threads have ended when only the link and the test hold the adapter.
    ASSERT_TRUE(PumpUntil([&] { return adapter.use_count() == 2; }, 10000));
    EXPECT_EQ(before + 2, player.Attempts().size());
    EXPECT_EQ(uints, player.uints.load());  // the new session was not torn down
    EXPECT_EQ(2u, window.ResultCount());
    EXPECT_EQ(0, link->GetReconnectCount());
}

struct DropCounter : IMicPublishReplayCallBack {
    std::atomic<int> changes{0};
    void OnLinkChange(int, std::string) override { ++changes; }
    void OnVideoData(BYTE*, BITMAPINFOHEADER*) override {}
    void OnAudioLevel(short*) override {}
};

TEST_F(MicLinkTest, UndecodableSoundKeepsThePictureAndALostLinkRelinks) {
    struct Forward : IMicPublishReplayCallBack {
        CMicLink* link = nullptr;
        CVideoShowWnd* view = nullptr;
        void OnLinkChange(int severity, std::string text) override { link->OnLinkChange(severity, text, view); }
        void OnVideoData(BYTE*, BITMAPINFOHEADER*) override {}
        void OnAudioLevel(short*) override {}
    } owner;
    MakeLink();
    CVideoShowWnd view;
    view.SetVideoEnabled(true);
    owner.link = link.get();
    owner.view = &view;
    adapter->SetOwner(&owner);
    adapter->OnReplayStatus(REPLAY_AAC_DECODER_FAILED);
    EXPECT_EQ(0, link->GetReconnectCount());
    EXPECT_TRUE(view.IsVideoEnabled());
    adapter->OnReplayStatus(REPLAY_CONNECTION_LOST);
    EXPECT_EQ(1, link->GetReconnectCount());
    EXPECT_FALSE(view.IsVideoEnabled());
    adapter->SetOwner(nullptr);
}

TEST_F(MicLinkTest, ReconnectTimerAsksForASignatureOnlyWhileThePerformerHoldsTheSlot) {
    player.lostOnStop = true;
    DropCounter owner;
    adapter->SetOwner(&owner);
    MakeLink(false);
    link->StartLinkThread();
    ASSERT_TRUE(WaitResult(1));
    CVideoShowVoiceWnd view;
    view.SetMeterVisible(true);
    view.SetVideoEnabled(true);
    int uints = player.uints;
    EXPECT_FALSE(link->OnReConnectTimer(&view));                         // not in the room's store: left the mic
    EXPECT_TRUE(PumpUntil([&] { return player.uints > uints; }, 5000));  // stopped on the session thread
    EXPECT_EQ(0, owner.changes.load());                                  // the adapter's own stop is no dropped link
    EXPECT_FALSE(view.IsVideoEnabled());
    EXPECT_FALSE(view.IsMeterVisible());

    CRoomInfoMgr& rooms = CRoomInfoMgr::GetInstance();
    rooms.InsertRoom(7001, {});
    RoomUserInfo user;
    user.uid = 5005;
    rooms.AddRoomUser(7001, user);
    rooms.SetUserMicState(7001, 5005, 1);  // a public slot's state: not this private slot's
    EXPECT_FALSE(link->OnReConnectTimer(&view));
    rooms.SetUserMicState(7001, 5005, 2);
    EXPECT_TRUE(link->OnReConnectTimer(&view));
    rooms.RemoveRoom(7001);
    adapter->SetOwner(nullptr);
}

}  // namespace
