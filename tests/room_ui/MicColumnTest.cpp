// The room window's microphone column without a display: its slots, buttons and volume popups, the
// room's microphone notifications reaching the public and private slots, and the column's requests
// reaching the local room service.
#include <gtest/gtest.h>

#include <set>

#include "MenuClick.h"
#include "MicTestSupport.h"
#include "ChatHtml.h"
#include "MsgClientThread.h"
#include "RoomInfoMgr.h"
#include "RoomService.h"
#include "SharedRoomService.h"
#include "RoomTestEnv.h"
#include "RoomUiFakes.h"
#include "RoomWindow.h"
#include "TestKeys.h"
#include "TestUtil.h"
#include "Tovel.h"
#include "UIGiftPopups.h"
#include "UIlib.h"
#include "Win32Window.h"

using namespace DuiLib;

using namespace roomui;

namespace {

constexpr uint32_t kRoom = 7002;

class MicRightsHalvec : public roomtest::FakeHalvec {
public:
    std::set<int> rights{1, 2, 4, 5};
    bool HasRight(int r, int, int) override { return rights.count(r) != 0; }
};

using roomsvc::Service;

class Logic : public roomtest::NullRoomLogic {
public:
    bool chatReady = true;
    bool IsChatReady() override { return chatReady; }
    uint32_t GetRoomID() override { return kRoom; }
    std::string GetMyChatID() override { return "c1001"; }
    bool SendChatMsg(uint32_t, const std::string&, bool) override { return true; }
};

class MicColumn : public ::testing::Test {
protected:
    void SetUp() override {
        static bool done = [] {
            roomtest::UsePrivateFolders("varnet-miccol");
            Win32Init();
            roomtest::RegisterCatalogue(Halvec());
            // The column's requests go to the local room service.
            CGlobalDataApp::GetInstance().SetSignKeys(testenv::kRoomServiceKeyA, testenv::kRoomServiceKeyB);
            Service().Start(0);
            CMsgClientThread& w = CMsgClientThread::GetInstance();
            w.SetEndpoint(Service().Endpoint());
            w.SetRequestTimeout(5000);
            w.Start();
            return true;
        }();
        (void)done;
        Halvec().rights = {1, 2, 4, 5};
        CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        CMicSlot::SetMediaFactory(mic_test::FakeFactory(&player, &publisher));
        CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
        store.RemoveRoom(kRoom);
        store.InsertRoom(kRoom, ChatServerInfo{});
        for (uint32_t uid : {roomtest::kSelf, 2002u, 2003u, 2004u}) {
            RoomUserInfo u;
            u.uid = uid;
            u.nickname = "user" + std::to_string(uid);
            store.AddRoomUser(kRoom, u);
        }
    }
    void TearDown() override {
        if (ui.GetHWND()) ui.CloseRoomWindow();
        CMicSlot::SetMediaFactory({});
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.stealth = 0; });
    }
    void Open(int stealth) {
        CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) {
            a.uid = roomtest::kSelf;
            a.stealth = stealth;
        });
        ui.SetRoomID(kRoom);
        ui.SetRoomLogic(&logic);
        ASSERT_TRUE(ui.CreateRoomWindow("room(7002)"));
    }
    static MicUserInfo Entry(uint32_t uid, bool isPublic, uint32_t idx) {
        MicUserInfo m;
        m.user.uid = uid;
        m.stream.live = isPublic ? 1 : 0;
        m.stream.idx = idx;
        m.stream.micattr = 3;
        m.stream.url = "rtmp://127.0.0.1/vstar/" + std::to_string(uid);
        return m;
    }
    static MicRightsHalvec& Halvec() {
        static MicRightsHalvec halvec;
        return halvec;
    }
    // The queries of `cmd` that reach the service after `before` of them, once there are `count`.
    static std::vector<std::string> Sent(const char* cmd, size_t before, size_t count) {
        std::vector<std::string> q;
        PumpUntil([&] { return (q = Service().Queries(cmd)).size() >= before + count; }, 20000);
        return std::vector<std::string>(q.begin() + long(std::min(before, q.size())), q.end());
    }
    bool OwnViewHas(const std::string& html) {
        return PumpUntil([&] { return ui.OwnView().Text().find(html) != std::string::npos; }, 5000);
    }
    int JoinLeaveItem() {
        auto* tab = dynamic_cast<CTabLayoutUI*>(ui.m_PaintManager.FindControl("tablayout_joinleavemiclist"));
        return tab ? tab->GetCurSel() : -1;
    }

    mic_test::FakeScript player, publisher;
    Logic logic;
    CRoomUI ui;
};

TEST_F(MicColumn, SlotsJoinButtonAndVolumePopups) {
    Open(1);
    for (int i = 0; i < CPublicMicWndMgr::kSlots; ++i) {
        CPublicMicWnd* w = ui.Left().Public().Slot(i);
        ASSERT_TRUE(w && w->GetHWND()) << i;
        RECT rc = w->GetWindowRect();
        EXPECT_EQ(2, rc.left);
        EXPECT_EQ(55 + 208 * i, rc.top);
        EXPECT_EQ(236, rc.right - rc.left);
        EXPECT_EQ(208, rc.bottom - rc.top);
    }
    CControlUI* join = ui.m_PaintManager.FindControl("btn_joinmiclist");
    ASSERT_NE(join, nullptr);
    EXPECT_FALSE(join->IsEnabled());
    EXPECT_EQ(std::string("隐身状态下不能上麦"), join->GetToolTip().c_str());
    // The pointer on the speaker button brings its slider above it.
    TNotifyUI enter;
    enter.sType = "mouseenter";
    enter.pSender = ui.m_PaintManager.FindControl("option_volume");
    ASSERT_NE(enter.pSender, nullptr);
    ui.Notify(enter);
    CUIWndMicAudioSlider& slider = ui.Left().Slider(1);
    EXPECT_TRUE(slider.IsWindowVisible());
    RECT o = enter.pSender->GetPos(), s = slider.GetWindowRect();
    EXPECT_EQ(o.left - 1, s.left);
    EXPECT_EQ(o.bottom - 125, s.top);
    EXPECT_FALSE(ui.Left().Slider(2).IsWindowVisible());
    // Presses and drags on the popup's slider reach the sound output; the mute toggle sits at its foot.
    PumpMessagesFor(20);
    auto press = [&](UINT msg, int x, int y) { ::SendMessage(slider.GetHWND(), msg, 0, LPARAM((y << 16) | x)); };
    struct Drag {
        int fromY, toY, volume;
    } drags[] = {{54, 54, 50}, {54, 10, 100}, {98, 98, 0}, {30, 76, 25}};
    for (const Drag& d : drags) {
        press(WM_LBUTTONDOWN, 12, d.fromY);
        press(WM_MOUSEMOVE, 12, (d.fromY + d.toY) / 2);
        press(WM_LBUTTONUP, 12, d.toY);
        EXPECT_NEAR(Tovel::m_dVolume.load(), d.volume / 100.0 * 1.5, 0.03) << d.fromY << "->" << d.toY;
    }
    CControlUI* toggle = slider.m_PaintManager.FindControl("option_mic");
    ASSERT_NE(toggle, nullptr);
    RECT t = toggle->GetPos();
    EXPECT_EQ(23, t.right - t.left);
    EXPECT_EQ(20, t.bottom - t.top);
    EXPECT_GE(t.top, 100);
    press(WM_LBUTTONDOWN, (t.left + t.right) / 2, (t.top + t.bottom) / 2);
    press(WM_LBUTTONUP, (t.left + t.right) / 2, (t.top + t.bottom) / 2);
    EXPECT_DOUBLE_EQ(Tovel::m_dVolume.load(), 0.0);
    // Muting from the slider marks the button.
    EXPECT_TRUE(dynamic_cast<COptionUI*>(enter.pSender)->IsSelected());
}

TEST_F(MicColumn, MicNotificationsReachTheSlots) {
    Open(0);
    // A refreshed list with two entries for one public index shows the larger user id.
    auto* list = new MicUserMap;
    (*list)[2002] = Entry(2002, true, 1);
    (*list)[2003] = Entry(2003, true, 1);
    (*list)[2004] = Entry(2004, false, 4);
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_MIC_LIST, reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(2003u, ui.Left().Public().Slot(1)->GetMicUid());
    EXPECT_EQ(0u, ui.Left().Public().Slot(0)->GetMicUid());
    ASSERT_TRUE(ui.Left().Private().Slot(4)->HasWindow());
    EXPECT_EQ(0, JoinLeaveItem());
    // The own stream's signature turns the tab to "leave".
    auto* own = new RoomMicStream;
    own->kind = 1;
    own->uid = roomtest::kSelf;
    own->isPublic = true;
    own->idx = 2;
    own->micattr = 3;
    own->url = "rtmp://127.0.0.1/vstar/self";
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_MIC_STREAM, reinterpret_cast<LPARAM>(own));
    EXPECT_EQ(roomtest::kSelf, ui.Left().Public().Slot(2)->GetMicUid());
    EXPECT_TRUE(ui.Left().Public().Slot(2)->Adapter().IsPublish());
    EXPECT_EQ(1, JoinLeaveItem());
    // Another user's private slot taken away: that window closes, the tab stays.
    auto* off = new RoomMicOff;
    off->idx = 4;
    off->uid = 2004;
    off->isPublic = false;
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_MIC_OFF, reinterpret_cast<LPARAM>(off));
    EXPECT_FALSE(ui.Left().Private().Slot(4)->HasWindow());
    EXPECT_EQ(1, JoinLeaveItem());
    // Indexes from the server outside the slots change nothing.
    auto* bad = new RoomMicAttr;
    bad->isPublic = 1;
    bad->idx = -1;
    bad->micattr = 0;
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_MIC_ATTR, reinterpret_cast<LPARAM>(bad));
    // Three performers on the public microphones: no room for the user, nothing is sent.
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    for (uint32_t uid : {2002u, 2003u, 2004u}) store.SetUserMicState(kRoom, uid, 1);
    ui.Left().JoinPublicMic();
    EXPECT_NE(ui.OwnView().Text().find(BuildSysMsgHtml("公麦窗口已满，无法上麦")), std::string::npos);
}

using menutest::ChooseMenuItem;
using Task = menutest::LoopTask;

TEST_F(MicColumn, ThePerformerMenuStampsThroughTheGiftPanel) {
    Open(0);
    ui.Left().Public().AddPublicMic(0, Entry(2002, true, 0).user, "rtmp://127.0.0.1/vstar/2002", 3);
    CPublicMicWnd* w = ui.Left().Public().Slot(0);
    Task task;
    HWND taskWnd = CreateWindowHandle(&task);
    // Inside the menu's loop: the menu is the room's top modal window; its item 3 is "给Ta盖章".
    task.fn = [&] {
        CControlUI* stamp = menutest::MenuItem(ui.TopModalWnd(), 3);
        ASSERT_NE(nullptr, stamp);
        EXPECT_EQ(std::string("   给Ta盖章"), stamp->GetText().c_str());
        ChooseMenuItem(ui.TopModalWnd(), 3);
    };
    ::PostMessage(taskWnd, WM_USER + 1, 0, 0);
    TNotifyUI arrows;
    arrows.sType = DUI_MSGTYPE_CLICK;
    arrows.pSender = w->m_PaintManager.FindControl("btnArrows");
    ASSERT_NE(nullptr, arrows.pSender);
    w->Notify(arrows);
    ASSERT_NE(nullptr, ui.Gifts().Stamps());
    EXPECT_EQ(2002u, ui.Gifts().Stamps()->Target());
    EXPECT_TRUE(ui.Gifts().Stamps()->IsWindowVisible());
    DestroyWindow(taskWnd);
}

TEST_F(MicColumn, ColumnButtonsAndRoomEventsActOnTheirSlots) {
    Open(0);
    // The join menu while the chat is not connected: a tip, no menu.
    logic.chatReady = false;
    TNotifyUI join;
    join.sType = DUI_MSGTYPE_CLICK;
    join.pSender = ui.m_PaintManager.FindControl("btn_joinmiclist");
    ui.Notify(join);
    EXPECT_EQ(nullptr, ui.TopModalWnd());
    EXPECT_NE(ui.OwnView().Text().find(BuildSysMsgHtml("正在连接聊天服务，请稍后重试")), std::string::npos);
    logic.chatReady = true;

    CPrivateMicWndMgr& priv = ui.Left().Private();
    CPublicMicWndMgr& pub = ui.Left().Public();
    priv.AddPrivateMic(2, Entry(2003, false, 2).user, "rtmp://127.0.0.1/vstar/2003", 3, true);
    priv.AddPrivateMic(3, Entry(2004, false, 3).user, "rtmp://127.0.0.1/vstar/2004", 3, true);
    priv.AddPrivateMic(5, Entry(roomtest::kSelf, false, 5).user, "rtmp://127.0.0.1/vstar/self", 3, true);
    pub.AddPublicMic(0, Entry(2002, true, 0).user, "rtmp://127.0.0.1/vstar/2002", 3);

    // A new nickname reaches the public or private slot that shows the user.
    for (auto [uid, slot] : {std::pair<uint32_t, CMicSlotWnd*>{2002, pub.Slot(0)}, {2003, priv.Slot(2)}}) {
        RoomUserInfo renamed = Entry(uid, true, 0).user;
        renamed.nickname = "新名字" + std::to_string(uid);
        ASSERT_TRUE(CRoomInfoMgr::GetInstance().UpdateRoomUser(kRoom, renamed));
        ui.Left().UpdateUserNickName(uid);
        EXPECT_EQ(renamed.nickname, slot->GetMicUser().nickname);
        CControlUI* label = slot->m_PaintManager.FindControl("labelNickName");
        ASSERT_NE(nullptr, label);
        EXPECT_EQ(renamed.nickname, label->GetText().c_str());
    }

    // A platform switch stops the slots' links and asks for a fresh signature for each of them.
    const size_t sigs = Service().Queries("getlivesig").size();
    ui.Left().OnPlatformSwitch();
    EXPECT_FALSE(pub.Slot(0)->Link().LinkThreadRunning());
    EXPECT_FALSE(priv.Slot(2)->Link().LinkThreadRunning());
    EXPECT_EQ(4u, Sent("getlivesig", sigs, 4).size());

    // Leaving the microphone with the user's own private window: that window closes, the others stay, and
    // the service is asked to take the user off.
    CRoomInfoMgr::GetInstance().SetUserMicState(kRoom, roomtest::kSelf, 2);
    const size_t ops = Service().Queries("opmic").size();
    TNotifyUI leave;
    leave.sType = DUI_MSGTYPE_CLICK;
    leave.pSender = ui.m_PaintManager.FindControl("btn_leavemiclist");
    ASSERT_NE(nullptr, leave.pSender);
    ui.Notify(leave);
    EXPECT_FALSE(priv.Slot(5)->HasWindow());
    EXPECT_TRUE(priv.Slot(2)->HasWindow());
    std::vector<std::string> off = Sent("opmic", ops, 1);
    ASSERT_EQ(1u, off.size());
    EXPECT_NE(off[0].find("&tid=1001&optype=2&mictype=2"), std::string::npos) << off[0];

    // "全关" of a private window closes every private window.
    TNotifyUI all;
    all.sType = DUI_MSGTYPE_CLICK;
    all.pSender = priv.Slot(2)->m_PaintManager.FindControl("btnCloseMicAll");
    ASSERT_NE(nullptr, all.pSender);
    priv.Slot(2)->Notify(all);
    EXPECT_TRUE(PumpUntil([&] { return !priv.Slot(2)->HasWindow() && !priv.Slot(3)->HasWindow(); }, 5000));
}

// Presses a control of a slot window through the window's pointer messages.
void Press(DuiLib::WindowImplBase& w, const char* name) {
    w.m_PaintManager.UpdateLayout();
    CControlUI* c = w.m_PaintManager.FindControl(name);
    ASSERT_NE(nullptr, c) << name;
    ASSERT_TRUE(c->IsVisible() && c->IsEnabled()) << name;
    RECT r = c->GetPos();
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::SendMessage(w.GetHWND(), WM_MOUSEMOVE, 0, at);
    ::SendMessage(w.GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessage(w.GetHWND(), WM_LBUTTONUP, 0, at);
}

TEST_F(MicColumn, TheJoinMenuTakesAPrivateMicrophoneWhenRightsAndRoomAllow) {
    Open(0);
    auto choose = [&](int item) {
        Task task;
        HWND taskWnd = CreateWindowHandle(&task);
        task.fn = [&] { ChooseMenuItem(ui.TopModalWnd(), item); };
        ::PostMessage(taskWnd, WM_USER + 1, 0, 0);
        TNotifyUI join;
        join.sType = DUI_MSGTYPE_CLICK;
        join.pSender = ui.m_PaintManager.FindControl("btn_joinmiclist");
        ui.Notify(join);
        DestroyWindow(taskWnd);
    };
    const size_t before = Service().Queries("opmic").size();
    choose(1);
    // Without right 4: the upgrade tip. Eight performers on the private microphones: full.
    Halvec().rights = {1, 2, 5};
    choose(1);
    EXPECT_TRUE(OwnViewHas(BuildPrivateMicUpgradeTip()));
    Halvec().rights = {1, 2, 4, 5};
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    for (uint32_t uid = 3001; uid <= 3008; ++uid) {
        RoomUserInfo u;
        u.uid = uid;
        store.AddRoomUser(kRoom, u);
        store.SetUserMicState(kRoom, uid, 2);
    }
    choose(1);
    EXPECT_TRUE(OwnViewHas(BuildSysMsgHtml("私麦窗口已满，无法上麦")));
    // The public item after them: only the first private join and this one reached the service.
    choose(0);
    std::vector<std::string> sent = Sent("opmic", before, 2);
    ASSERT_EQ(2u, sent.size());
    EXPECT_NE(sent[0].find("&tid=1001&optype=1&mictype=2"), std::string::npos) << sent[0];
    EXPECT_NE(sent[1].find("&tid=1001&optype=1&mictype=1"), std::string::npos) << sent[1];
}

TEST_F(MicColumn, PrivateWindowButtonsAndCloseReachTheService) {
    Open(0);
    CPrivateMicWndMgr& priv = ui.Left().Private();
    priv.AddPrivateMic(2, Entry(2003, false, 2).user, "rtmp://127.0.0.1/vstar/2003", 3, true);
    priv.AddPrivateMic(5, Entry(roomtest::kSelf, false, 5).user, "rtmp://127.0.0.1/vstar/self", 3, true);
    ASSERT_TRUE(priv.Slot(2)->HasWindow() && priv.Slot(5)->HasWindow());
    PumpMessagesFor(20);

    // The buttons switch the slot's side and its tab; the own window also tells the service.
    struct Step {
        const char* button;
        const char* tab;
        int item;
        bool video, audio;
        const char* sent;
    } steps[] = {
        {"btnCloseVideo", "tablayout_OpenCloseVideo", 1, false, true, "&optype=2&attr=2"},
        {"btnOpenVideo", "tablayout_OpenCloseVideo", 0, true, true, "&optype=1&attr=2"},
        {"btnCloseVolume", "tablayout_OpenCloseMic", 1, true, false, "&optype=2&attr=1"},
        {"btnOpenVolume", "tablayout_OpenCloseMic", 0, true, true, "&optype=1&attr=1"},
    };
    const size_t attrs = Service().Queries("opmicattr").size();
    for (int slot : {2, 5}) {
        CPrivateMicWnd* w = priv.Slot(slot);
        for (const Step& s : steps) {
            SCOPED_TRACE(std::to_string(slot) + " " + s.button);
            Press(*w, s.button);
            auto* tab = dynamic_cast<CTabLayoutUI*>(w->m_PaintManager.FindControl(s.tab));
            ASSERT_NE(nullptr, tab);
            EXPECT_EQ(s.item, tab->GetCurSel());
            EXPECT_EQ(s.video, w->Adapter().IsVideoShow());
            EXPECT_EQ(s.audio, w->Adapter().IsAudioShow());
        }
    }
    std::vector<std::string> sent = Sent("opmicattr", attrs, 4);
    ASSERT_EQ(4u, sent.size());
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NE(sent[i].find(std::string("&tid=1001") + steps[i].sent), std::string::npos) << sent[i];

    // The close button: the own window without right 5 stays with the refusal tip; another performer's
    // closes quietly; the own one with the right closes and takes the user off the microphone.
    const size_t ops = Service().Queries("opmic").size();
    Halvec().rights = {1, 2, 4};
    Press(*priv.Slot(5), "btnCloseMic");
    EXPECT_TRUE(OwnViewHas(BuildTipHtml("您没有下私麦的权限")));
    EXPECT_TRUE(priv.Slot(5)->HasWindow());
    Press(*priv.Slot(2), "btnCloseMic");
    EXPECT_TRUE(PumpUntil([&] { return !priv.Slot(2)->HasWindow(); }, 5000));
    Halvec().rights = {1, 2, 4, 5};
    Press(*priv.Slot(5), "btnCloseMic");
    EXPECT_TRUE(PumpUntil([&] { return !priv.Slot(5)->HasWindow(); }, 5000));
    sent = Sent("opmic", ops, 1);
    ASSERT_EQ(1u, sent.size());
    EXPECT_NE(sent[0].find("&tid=1001&optype=2&mictype=2"), std::string::npos) << sent[0];
}

}  // namespace
