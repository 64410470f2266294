// The microphone windows and their managers without a display: index checks, one window per private slot,
// frames following the pop-out, and the rules of the controls.
#include "GlobalData.h"
#include "MenuClick.h"
#include "MicTestSupport.h"
#include "PrivateMicWnd.h"
#include "PublicMicWnd.h"
#include "RoomUI.h"
#include "UITestDriver.h"
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
    std::vector<HWND> modal;
    void SelectGiftTarget(uint32_t uid) override { selected.push_back(uid); }
    void LocateUser(uint32_t) override {}
    void SetChatTarget(uint32_t) override {}
    void OpenStampDialog(uint32_t) override {}
    void PushModalWnd(HWND wnd) override { modal.push_back(wnd); }
    void PopModalWnd(HWND) override {}
    void ContinueModalCancel() override {}
};

using menutest::ChooseMenuItem;
using Task = menutest::LoopTask;

// Clicks the performer menu's button of a slot window.
void OpenPerformerMenu(DuiLib::WindowImplBase& w) {
    DuiLib::TNotifyUI click;
    click.sType = DUI_MSGTYPE_CLICK;
    click.pSender = w.m_PaintManager.FindControl("btnArrows");
    ASSERT_NE(nullptr, click.pSender);
    w.Notify(click);
}

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
    // A press on the video outside the buttons selects the performer only while there is one.
    auto press = [&] {
        ::SendMessage(w->ControlView().GetHWND(), WM_LBUTTONDOWN, 0, MAKELPARAM(100, 80));
        ::SendMessage(w->ControlView().GetHWND(), WM_LBUTTONUP, 0, MAKELPARAM(100, 80));
    };
    press();
    EXPECT_TRUE(actions.selected.empty());
    w->SetMicUser(User(5006), "rtmp://127.0.0.1/vstar/b", 3);
    press();
    EXPECT_EQ(std::vector<uint32_t>{5006}, actions.selected);
}

TEST_F(MicWindowsTest, TheRoomClosingUnderAPerformerMenuWaitsForItsLoop) {
    // The managers let their windows go while the menu of a public, then of a private slot runs.
    for (bool isPublic : {true, false}) {
        SCOPED_TRACE(isPublic ? "public" : "private");
        CPublicMicWndMgr pub;
        CPrivateMicWndMgr priv;
        pub.Init(&room, &actions);
        priv.Init(&room, &actions);
        RoomMicStream s = Stream(3, 1, 20, 5005);
        s.isPublic = isPublic;
        if (isPublic) {
            s.idx = 1;
            pub.DealGetLiveSig(&s);
        } else {
            priv.DealGetLiveSig(&s);
        }
        DuiLib::WindowImplBase* w = isPublic ? static_cast<DuiLib::WindowImplBase*>(pub.Slot(1)) : priv.Slot(3);
        ASSERT_TRUE(w && w->GetHWND());
        Task task;
        HWND taskWnd = CreateWindowHandle(&task);
        actions.modal.clear();
        task.fn = [&] {
            isPublic ? pub.UnInit() : priv.UnInit();
            // As the user would: an item chosen after the room went (reads freed memory unless deferred).
            if (!actions.modal.empty() && IsWindow(actions.modal.back())) ChooseMenuItem(actions.modal.back(), 0);
        };
        ::PostMessage(taskWnd, WM_USER + 1, 0, 0);
        OpenPerformerMenu(*w);
        EXPECT_EQ(1u, actions.modal.size());
        EXPECT_TRUE(actions.selected.empty());
        PumpMessagesFor(50);  // the deferred deletion
        DestroyWindow(taskWnd);
    }
}

TEST_F(MicWindowsTest, APerformerMenuActsOnlyOnThePerformerItWasOpenedFor) {
    struct Row {
        uint32_t holderAtTheEnd;
        std::vector<uint32_t> selected;
    } rows[] = {{5005, {5005}}, {5006, {}}, {0, {}}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.holderAtTheEnd);
        CPublicMicWndMgr pub;
        pub.Init(&room, &actions);
        pub.AddPublicMic(0, User(5005), "rtmp://127.0.0.1/vstar/a", 3);
        actions.selected.clear();
        actions.modal.clear();
        Task task;
        HWND taskWnd = CreateWindowHandle(&task);
        task.fn = [&] {
            if (r.holderAtTheEnd == 0) pub.LeaveMic(0);
            else if (r.holderAtTheEnd != 5005) pub.AddPublicMic(0, User(r.holderAtTheEnd), "rtmp://x/b", 3);
            ASSERT_EQ(1u, actions.modal.size());
            ChooseMenuItem(actions.modal.back(), 0);
        };
        ::PostMessage(taskWnd, WM_USER + 1, 0, 0);
        OpenPerformerMenu(*pub.Slot(0));
        EXPECT_EQ(r.selected, actions.selected);
        DestroyWindow(taskWnd);
    }
}

TEST_F(MicWindowsTest, AClosedPrivateSlotStartsNothingAndRefusalsAreText) {
    CPrivateMicWndMgr priv;
    priv.Init(&room, &actions);
    RoomMicStream first = Stream(3, 1, 20, 5005);
    priv.DealGetLiveSig(&first);
    ASSERT_TRUE(priv.Slot(3)->HasWindow());
    priv.Slot(3)->DealClickClose();  // another performer's window: closed by the user
    ASSERT_TRUE(PumpUntil([&] { return !priv.Slot(3)->HasWindow(); }, 5000));
    for (int kind : {21, 22, 23}) {
        RoomMicStream again = Stream(3, 1, kind, 5005);
        priv.DealGetLiveSig(&again);
        EXPECT_FALSE(priv.Slot(3)->Link().LinkThreadRunning()) << kind;
        EXPECT_FALSE(priv.Slot(3)->HasWindow()) << kind;
    }

    // The service's refusal of the own stream: its text is text, cut on whole characters.
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.uid = 5005; });
    CPublicMicWndMgr pub;
    pub.Init(&room, &actions);
    RoomMicStream refused = Stream(0, 2, 21, 5005);
    refused.isPublic = true;
    refused.text = "<b>" + std::string(497, 'a') + "中";  // 502 bytes: the cut falls inside the last character
    pub.DealGetLiveSig(&refused);
    RoomMicStream refusedPrivate = refused;
    refusedPrivate.isPublic = false;
    refusedPrivate.idx = 3;
    priv.DealGetLiveSig(&refusedPrivate);
    ASSERT_TRUE(PumpUntil(
        [&] {
            std::lock_guard<std::mutex> lock(room.wnd.m);
            return room.wnd.notices.size() >= 2;
        },
        5000));
    const std::string want = "上麦失败(&lt;b&gt;" + std::string(497, 'a') + ")";
    std::lock_guard<std::mutex> lock(room.wnd.m);
    int found = 0;
    for (const std::string& n : room.wnd.notices) {
        EXPECT_EQ(std::string::npos, n.find("<b>"));
        if (n.find(want) != std::string::npos) ++found;
    }
    EXPECT_EQ(2, found);
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.uid = 0; });
}

// The user twice on a private slot with a camera that fails: the window of the first performance ends
// (its first reconnect comes at once and finds the user gone), and the second performance is told again
// and reconnects without a pause either.
TEST_F(MicWindowsTest, APrivateSlotWhoseWindowEndedStartsTheNextPerformanceClean) {
    publisher.codes = {PUBLISH_OPEN_CAMERA_FAILED};
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.uid = 5005; });
    CPrivateMicWndMgr priv;
    priv.Init(&room, &actions);
    for (size_t performance = 1; performance <= 2; ++performance) {
        SCOPED_TRACE(performance);
        RoomMicStream s = Stream(3, 1, 20, 5005);
        priv.DealGetLiveSig(&s);
        ASSERT_TRUE(priv.Slot(3)->HasWindow());
        EXPECT_TRUE(PumpUntil([&] { return !priv.Slot(3)->HasWindow(); }, 5000));
        std::lock_guard<std::mutex> lock(room.wnd.m);
        EXPECT_EQ(performance, room.wnd.notices.size());
    }
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.uid = 0; });
}

// The private window's video and sound buttons with and without their tab layouts in the skin: without,
// a click does nothing.
TEST_F(MicWindowsTest, PrivateVideoAndSoundButtonsActOnlyWithTheirTabLayout) {
    for (bool layouts : {true, false}) {
        SCOPED_TRACE(layouts ? "with the tab layouts" : "without");
        CPrivateMicWndMgr priv;
        priv.Init(&room, &actions);
        RoomMicStream s = Stream(2, 1, 20, 5005);
        priv.DealGetLiveSig(&s);
        CPrivateMicWnd* w = priv.Slot(2);
        ASSERT_TRUE(w->HasWindow());
        const char* buttons[] = {"btnCloseVideo", "btnCloseVolume"};
        if (!layouts) {
            // The buttons stand in the bar itself, as a skin without the layouts has them.
            for (const char* tabName : {"tablayout_OpenCloseVideo", "tablayout_OpenCloseMic"}) {
                auto* tab = static_cast<DuiLib::CContainerUI*>(w->m_PaintManager.FindControl(tabName));
                ASSERT_NE(nullptr, tab);
                auto* bar = static_cast<DuiLib::CContainerUI*>(tab->GetParent());
                DuiLib::CControlUI* first = tab->GetItemAt(0);
                tab->Remove(first, true);
                bar->AddAt(first, 0);
                bar->Remove(tab);
            }
            w->m_PaintManager.NeedUpdate();
            PumpMessagesFor(50);
        }
        const int before = player.switches;
        for (const char* b : buttons) ASSERT_TRUE(DuiLib::UITest::Click(w, b)) << b;
        EXPECT_EQ(layouts ? before + 2 : before, player.switches.load());
        priv.UnInit();
    }
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
