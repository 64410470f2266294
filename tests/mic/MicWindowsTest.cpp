// The microphone windows and their managers without a display: index checks, one window per private slot,
// frames following the pop-out, and the rules of the controls.
#include "MicTestSupport.h"
#include "PrivateMicWnd.h"
#include "PublicMicWnd.h"
#include "RoomUI.h"
#include "UIlib.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace mic_test;

struct FakeRoom : IRoomUI {
    RecordingWnd wnd;
    HWND hwnd = nullptr;
    HWND GetHWND() override { return hwnd; }
    uint32_t GetRoomID() override { return 7001; }
    void SetRoomID(uint32_t) override {}
    IRoomLogic* GetRoomLogic() override { return nullptr; }
    void SetRoomLogic(IRoomLogic*) override {}
    bool GetDealUI(int, IRoomDealUI**) override { return false; }
    bool CreateRoomWindow(const std::string&) override { return true; }
    void CloseRoomWindow() override {}
    bool IsWindowVisible() override { return true; }
    bool IsIconic() override { return false; }
    void RestoreMaximized() override {}
    void BringToFront() override {}
    bool IsForeground() override { return true; }
};

struct Actions : IMicRoomActions {
    std::vector<uint32_t> selected;
    void SelectGiftTarget(uint32_t uid) override { selected.push_back(uid); }
    void LocateUser(uint32_t) override {}
    void SetChatTarget(uint32_t) override {}
    void OpenStampDialog(uint32_t) override {}
    void PushModalWnd(HWND) override {}
    void PopModalWnd(HWND) override {}
    void ContinueModalCancel() override {}
};

class MicWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Win32Init());
        UseFreshConfig();
        DuiLib::CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        CMicSlot::SetMediaFactory(FakeFactory(&player, &publisher));
        room.hwnd = CreateWindowHandle(&room.wnd);
    }
    void TearDown() override {
        CMicSlot::SetMediaFactory({});
        DestroyWindow(room.hwnd);
    }
    static RoomUserInfo User(uint32_t uid) {
        RoomUserInfo u;
        u.uid = uid;
        u.nickname = "performer";
        return u;
    }
    static RoomMicStream Stream(int idx, int status, int request, uint32_t uid) {
        RoomMicStream s;
        s.idx = idx;
        s.status = status;
        s.requestType = request;
        s.uid = uid;
        s.url = "rtmp://127.0.0.1/vstar/a";
        s.micattr = 3;
        return s;
    }

    FakeScript player, publisher;
    FakeRoom room;
    Actions actions;
};

TEST_F(MicWindowsTest, SlotIndexesOutsideTheSlotsAreRefused) {
    CPublicMicWndMgr pub;
    pub.Init(&room, &actions);
    CPrivateMicWndMgr priv;
    priv.Init(&room, &actions);
    for (int bad : {-1, -2147483647 - 1, 3, 1000}) {
        pub.AddPublicMic(bad, User(5005), "rtmp://x/a", 3);
        pub.LeaveMic(bad);
        pub.DealMicAttrChange(0, bad);
        RoomMicStream s = Stream(bad, 1, 20, 5005);
        pub.DealGetLiveSig(&s);
        EXPECT_EQ(nullptr, pub.Slot(bad));
    }
    for (int bad : {-1, -2147483647 - 1, 8, 1000}) {
        RoomMicStream s = Stream(bad, 255, 20, 5005);
        priv.AddPrivateMic(bad, User(5005), "rtmp://x/a", 3, false);
        priv.DealGetLiveSig(&s);
        priv.DealMicAttrChange(0, bad);
        priv.RemovePrivateMicByIndex(bad);
        EXPECT_EQ(nullptr, priv.Slot(bad));
    }
    for (int i = 0; i < CPublicMicWndMgr::kSlots; ++i) EXPECT_EQ(0u, pub.Slot(i)->GetMicUid()) << i;
    EXPECT_EQ(0, priv.WindowsCreated());
    // Inside the range the same calls act.
    RoomMicStream ok = Stream(2, 1, 20, 5005);
    pub.DealGetLiveSig(&ok);
    EXPECT_EQ(5005u, pub.Slot(2)->GetMicUid());
    pub.LeaveMic(2);
    EXPECT_EQ(0u, pub.Slot(2)->GetMicUid());
}

TEST_F(MicWindowsTest, APrivateWindowIsNeverCreatedTwice) {
    CPrivateMicWndMgr priv;
    priv.Init(&room, &actions);
    // Retry-later replies for a new performer, before and after the window exists, and a signed one.
    RoomMicStream later = Stream(5, 255, 20, 5005);
    priv.DealGetLiveSig(&later);
    ASSERT_TRUE(priv.Slot(5)->HasWindow());
    HWND first = priv.Slot(5)->GetHWND();
    priv.DealGetLiveSig(&later);
    RoomMicStream signed_ = Stream(5, 1, 20, 5005);
    priv.DealGetLiveSig(&signed_);
    priv.AddPrivateMic(5, User(5005), "rtmp://x/b", 3, false);
    EXPECT_EQ(1, priv.WindowsCreated());
    EXPECT_EQ(first, priv.Slot(5)->GetHWND());
    // Closed, it may come again: once more.
    priv.RemovePrivateMicByIndex(5);
    EXPECT_FALSE(priv.Slot(5)->HasWindow());
    priv.DealGetLiveSig(&later);
    EXPECT_EQ(2, priv.WindowsCreated());
    // A refreshed list without the slot closes it; the same performer without a window stays closed.
    priv.UpdatePrivateMicList({});
    EXPECT_FALSE(priv.Slot(5)->HasWindow());
    std::map<int, MicUserInfo> again;
    again[5].user = User(5005);
    priv.UpdatePrivateMicList(again);
    EXPECT_FALSE(priv.Slot(5)->HasWindow());
    EXPECT_EQ(2, priv.WindowsCreated());
}

TEST_F(MicWindowsTest, FramesFollowThePopOutAndAHiddenPopOutDropsThem) {
    CPublicMicWndMgr pub;
    pub.Init(&room, &actions);
    CPublicMicWnd* w = pub.Slot(0);
    ASSERT_TRUE(w && w->GetHWND());
    w->SetMicUser(User(5005), "rtmp://127.0.0.1/vstar/a", 3);

    std::vector<BYTE> frame(32 * 24 * 3, 90);
    BITMAPINFOHEADER h{};
    h.biWidth = 32;
    h.biHeight = 24;
    h.biBitCount = 24;
    std::atomic<bool> run{true};
    std::atomic<int> sent{0};
    std::thread media([&] {
        while (run) {
            w->OnVideoData(frame.data(), &h);
            ++sent;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    // Popped out: the pop-out's view takes the frames, the slot's own view shows its picture.
    w->OnClickControl(2);
    ASSERT_TRUE(w->IsPoppedOut());
    ASSERT_TRUE(w->Pop().HasWindow());
    EXPECT_TRUE(PumpUntil([&] { return !w->Pop().View().IsShowingBackground(); }, 10000));
    EXPECT_TRUE(w->ControlView().IsShowingBackground());
    // Hidden: the pop-out's view is gone and the frames come back to the slot.
    w->OnClickControl(2);
    EXPECT_FALSE(w->IsPoppedOut());
    EXPECT_EQ(nullptr, w->Pop().View().GetHWND());
    EXPECT_TRUE(PumpUntil([&] { return !w->ControlView().IsShowingBackground(); }, 10000));
    // Out and back again and again while frames keep coming, then closed with the slot cleared.
    for (int i = 0; i < 20; ++i) {
        w->OnClickControl(2);
        PumpMessagesFor(2);
    }
    ::SendMessage(w->GetHWND(), WM_MIC_POPUP_CLOSED, 0, 0);
    EXPECT_FALSE(w->IsPoppedOut());
    w->OnClickControl(2);
    pub.LeaveMic(0);
    EXPECT_FALSE(w->IsPoppedOut());
    EXPECT_FALSE(w->Pop().HasWindow());
    run = false;
    media.join();
    EXPECT_GT(sent.load(), 0);
    // A press outside the buttons selects the performer only while there is one.
    w->OnClickControl(-1);
    EXPECT_TRUE(actions.selected.empty());
    w->SetMicUser(User(5006), "rtmp://127.0.0.1/vstar/b", 3);
    w->OnClickControl(-1);
    EXPECT_EQ(std::vector<uint32_t>{5006}, actions.selected);
}

TEST_F(MicWindowsTest, PopOutSizesStepBetweenTheirEnds) {
    CPublicMicWndMgr pub;
    pub.Init(&room, &actions);
    CPublicMicWnd* w = pub.Slot(1);
    w->SetMicUser(User(5005), "rtmp://127.0.0.1/vstar/a", 3);
    w->OnClickControl(2);
    CPublicMicPopWnd& pop = w->Pop();
    ASSERT_TRUE(pop.HasWindow());
    for (int i = 0; i < 6; ++i) pop.Larger();
    EXPECT_EQ(5, pop.GetSizeMode());
    DuiLib::RECT rc = pop.GetWindowRect();
    EXPECT_EQ(644, rc.right - rc.left);
    EXPECT_EQ(519, rc.bottom - rc.top);
    EXPECT_EQ(640, pop.View().GetClientRect().right - pop.View().GetClientRect().left);
    for (int i = 0; i < 7; ++i) pop.Smaller();
    EXPECT_EQ(0, pop.GetSizeMode());
    rc = pop.GetWindowRect();
    EXPECT_EQ(236, rc.right - rc.left);
    EXPECT_EQ(221, rc.bottom - rc.top);
}

TEST(MicWindowRules, MenuStripAndGrid) {
    struct {
        bool own;
        uint32_t tag;
        bool stealth, mayTakeOff;
        std::vector<bool> greyed;
    } menus[] = {
        {true, 0, false, true, {true, true, false, true, false}},
        {false, 7, false, true, {false, false, false, true, false}},
        {false, 0, true, true, {false, false, false, false, true}},
        {false, 0, false, false, {false, false, false, false, true}},
    };
    for (const auto& m : menus) {
        auto items = micwnd::PerformerMenu(m.own, m.tag, m.stealth, m.mayTakeOff);
        ASSERT_EQ(5u, items.size());
        for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(m.greyed[i], items[i].greyed) << m.own << " " << i;
    }
    struct {
        int button;
        bool on, enabled;
        int hover;
        bool pressed;
        int x, y;
    } cells[] = {
        {0, true, true, 0, false, 18, 0},  {0, true, true, 0, true, 36, 0},   {0, false, false, -1, false, 54, 18},
        {1, true, true, 2, false, 0, 36},  {1, false, true, 1, true, 36, 54}, {2, true, true, 2, false, 18, 18},
        {2, false, true, -1, false, 0, 0},
    };
    for (const auto& c : cells) {
        micwnd::Cell got = micwnd::StripCell(c.button, c.on, c.enabled, c.hover, c.pressed);
        EXPECT_EQ(c.x, got.x) << c.button;
        EXPECT_EQ(c.y, got.y) << c.button;
    }
    DuiLib::RECT r5 = micwnd::PrivateMicRect(5);
    EXPECT_EQ(476, r5.left);
    EXPECT_EQ(418, r5.top);
    EXPECT_EQ(236, r5.right - r5.left);
    // The top-left 80 x 20 and the bottom-right 20 x 20 corners do not select.
    EXPECT_FALSE(micwnd::PrivateSelects(10, 5, 236, 218));
    EXPECT_FALSE(micwnd::PrivateSelects(230, 210, 236, 218));
    EXPECT_TRUE(micwnd::PrivateSelects(100, 5, 236, 218));
    EXPECT_TRUE(micwnd::PrivateSelects(10, 100, 236, 218));
    EXPECT_TRUE(micwnd::PrivateSelects(10, 210, 236, 218));
}

}  // namespace
