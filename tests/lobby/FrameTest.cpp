// The lobby frame headless against the local room service: the directory, the messages and timers it owns,
// and entering a room with its checks and prompts, through the real room manager to the chat server.
#include <gtest/gtest.h>

#include <glib.h>

#include "LobbyMessages.h"
#include "LobbyTestEnv.h"
#include "PickerControls.h"
#include "RoomInfoMgr.h"
#include "RoomConfigSetDlg.h"
#include "RoomWindow.h"
#include "SettingsPreview.h"
#include "SyntheticCamera.h"
#include "UIChatFaceSelectPanel.h"
#include "UiTestSupport.h"
#include "VarnetFrameWnd.h"
#include "ZQCommands.h"

// Last: the HTTP library's system headers define names that the lock header uses.
#include "HttpTestServer.h"

using namespace DuiLib;

using duitest::RunLater;
using lobbytest::RecordingRoomManager;

namespace {

class TestFrame : public CVarnetFrameWnd {
public:
    explicit TestFrame(RecordingRoomManager* rm) : CVarnetFrameWnd(std::unique_ptr<CRoomManager>(rm)) {}
    explicit TestFrame(std::unique_ptr<CRoomManager> rm) : CVarnetFrameWnd(std::move(rm)) {}
    std::vector<std::string> messages;
    std::vector<std::string> dialogs;              // window class names of the modal dialogs run
    std::function<UINT(WindowImplBase&)> onModal;  // default: closes with 2
    bool messageOnUiThread = true;
    int menuChoice = CZqMenuUI::kNone;
    std::function<void()> whileMessage;  // runs as the box would be up

protected:
    int ShowMessage(const char* text, const char*) override {
        messages.push_back(text ? text : "");
        messageOnUiThread = messageOnUiThread && IsUIThread();
        if (whileMessage) whileMessage();
        return 1;
    }
    UINT RunModal(WindowImplBase& dlg) override {
        dialogs.push_back(dlg.GetWindowClassName());
        if (onModal) return onModal(dlg);
        RunLater(10, [&dlg] { dlg.Close(2); });
        return dlg.ShowModal();
    }
    int PopupMenu(const std::vector<ZqMenuItem>&, const RECT&) override { return menuChoice; }
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        service = &lobbytest::SetUpOnce();
        service->ClearFaults();
        lobbytest::SignOut();
        rm = new RecordingRoomManager;
        frame = std::make_unique<TestFrame>(rm);
    }
    void TearDown() override {
        if (frame && ::IsWindow(frame->GetHWND())) ::DestroyWindow(frame->GetHWND());
        frame.reset();
    }
    void SignInAs(uint32_t uid, uint32_t sid, const char* nick, uint32_t beautyid, uint32_t level = 5, int type = 0) {
        CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) {
            a.uid = uid;
            a.sid = sid;
            a.nickname = nick;
            a.beautyid = beautyid;
            a.level = level;
            a.loginType = type;
        });
    }
    // A signed-in guest of the service, and the frame with its directory loaded.
    void Open() {
        uint32_t uid = 0, sid = 0;
        lobbytest::GuestSession(uid, sid);
        SignInAs(uid, sid, "游客", uid, 100, 1);
        ASSERT_NE(frame->Create(nullptr, "frame", 0x10000000u, 0, 0, 0, 800, 572), nullptr);
        ASSERT_TRUE(PumpUntil([&] { return frame->GetRoomList() && frame->GetRoomList()->GetCount() > 0; }, 10000));
    }
    CDuiString Text(const char* name) {
        CControlUI* c = UITest::Find(frame.get(), name);
        return c ? c->GetText() : CDuiString("<missing>");
    }
    CItemNode* RowOf(const char* text) {
        CRoomNavListUI* list = frame->GetRoomList();
        for (int i = 0; i < list->GetCount(); ++i) {
            auto* n = reinterpret_cast<CItemNode*>(list->GetItemAt(i)->GetTag());
            if (n && n->text == text) return n;
        }
        return nullptr;
    }
    bool WaitHanded(size_t n) {
        return PumpUntil([&] { return rm->entered.size() >= n; }, 10000);
    }

    testenv::RoomService* service = nullptr;
    RecordingRoomManager* rm = nullptr;
    std::unique_ptr<TestFrame> frame;
};

}  // namespace

TEST_F(FrameTest, DirectoryFromTheServiceAndItsRefresh) {
    Open();
    EXPECT_EQ(Text("OnlineNumLabel"), "同时在线人数：14人");  // official 12 + rooms 2 + 0
    ASSERT_NE(RowOf("     官方房间"), nullptr);
    EXPECT_EQ(RowOf("     官方房间")->countText, "[12]");
    EXPECT_EQ(RowOf("房间分类")->countText, "[2]");
    EXPECT_TRUE(RowOf("欢乐大厅")->row->IsVisible());  // top-level folders start open
    EXPECT_EQ(RowOf("新年活动")->icon, "IENormal.png");
    EXPECT_EQ(RowOf("欢乐大厅")->selectedIcon, "MusicClick.png");
    EXPECT_EQ(RowOf("我的房间"), nullptr);  // no favourites for guests
    EXPECT_EQ(Text("NickNameLabel"), CDuiString::Format("游客(%u)", CGlobalDataApp::GetInstance().GetUid()));
    // Timer 5 asks for the counts; the official category keeps the count of the refresh.
    service->WithData([](testenv::SvcData& d) { d.rooms[3004].users = {1, 2, 3}; });
    TNotifyUI t;
    t.sType = "timer";
    t.pSender = UITest::Find(frame.get(), "HallBTN");
    t.wParam = CVarnetFrameWnd::kTimerOnlineCount;
    int before = service->RequestCount("getcatelist");
    frame->OnTimer(t);
    ASSERT_TRUE(PumpUntil([&] { return RowOf("私密房间")->countText == "[3]"; }, 10000));
    EXPECT_EQ(service->RequestCount("getcatelist"), before + 1);
    EXPECT_EQ(RowOf("房间分类")->countText, "[5]");
    EXPECT_EQ(Text("OnlineNumLabel"),
              CDuiString::Format("同时在线人数：%d人", 5 + frame->GetNavData().categories[0].count));
    // Without a user id the timer sends nothing.
    lobbytest::SignOut();
    frame->OnTimer(t);
    PumpMessagesFor(100);
    EXPECT_EQ(service->RequestCount("getcatelist"), before + 1);
    // A click on a folder closes and opens it.
    CItemNode* cat = RowOf("房间分类");
    TNotifyUI click;
    click.sType = "itemclick";
    click.pSender = cat->row;
    frame->OnItemClickMsg(click);
    EXPECT_FALSE(RowOf("欢乐大厅")->row->IsVisible());
}

TEST_F(FrameTest, DirectoryFailureIsShownOnTheUiThread) {
    testenv::RoomServiceFault refuse;
    refuse.kind = testenv::RoomServiceFault::Refuse;
    refuse.desc = "维护中";
    service->SetFault("getallnav", refuse);
    SignInAs(1001, 1, "a", 0);
    ASSERT_NE(frame->Create(nullptr, "frame", 0, 0, 0, 0, 800, 572), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !frame->messages.empty(); }, 10000));
    EXPECT_EQ(frame->messages[0], "获取导航栏信息失败! 失败原因:维护中");
    EXPECT_TRUE(frame->messageOnUiThread);
}

TEST_F(FrameTest, MessagesItOwns) {
    // A 20-byte nickname with a six-digit id is cut to 16 bytes on a whole character; 18 bytes fit.
    SignInAs(1001, 1, "一二三四五六七八九十", 123456);  // 20 bytes of GBK
    ASSERT_NE(frame->Create(nullptr, "frame", 0, 0, 0, 0, 800, 572), nullptr);
    EXPECT_EQ(Text("NickNameLabel"), "一二三四五六七八...(123456)");
    SignInAs(1001, 1, "a一二三四五六七八九", 123456);  // 19 bytes: the cut falls inside a character
    ::SendMessage(frame->GetHWND(), WM_UPDATE_MY_INFO, 0, 0);
    EXPECT_EQ(Text("NickNameLabel"), "a一二三四五六七...(123456)");
    SignInAs(1001, 1, "一二三四五六七八九", 123456);  // 18 bytes
    ::SendMessage(frame->GetHWND(), WM_UPDATE_MY_INFO, 0, 0);
    EXPECT_EQ(Text("NickNameLabel"), "一二三四五六七八九(123456)");

    // Forced update: the frame hides and runs the prompt; progress reaches it.
    frame->onModal = [&](WindowImplBase& dlg) {
        RunLater(10, [&] {
            struct Row {
                WPARAM percent;
                LPARAM seconds;
                const char* text;
            } rows[] = {
                {75, 59, "还需 59秒"}, {80, 60, "还需 1分钟"}, {90, 119, "还需 1分钟"}, {95, 600, "还需 10分钟"}};
            for (const Row& r : rows) {
                ::SendMessage(frame->GetHWND(), WM_FORCE_UPDATE_PROGRESS, r.percent, r.seconds);
                auto* p = static_cast<CProgressUI*>(UITest::Find(&dlg, "UpdateSoftProgress"));
                EXPECT_EQ(p ? p->GetValue() : -1, (int)r.percent);
                EXPECT_EQ(UITest::Find(&dlg, "TimeSurplusLabel")->GetText(), r.text);
            }
            ::SendMessage(frame->GetHWND(), WM_FORCE_UPDATE, 1, 0);  // already open: only hides
            ::PostMessage(frame->GetHWND(), WM_FORCE_UPDATE, 0, 0);  // the updater ends it
        });
        return dlg.ShowModal();
    };
    frame->ShowWindow(true, true);
    ::SendMessage(frame->GetHWND(), WM_FORCE_UPDATE, 1, 0);
    EXPECT_EQ(frame->dialogs, (std::vector<std::string>{"CForceUpdateTipDlg"}));
    EXPECT_FALSE(frame->IsWindowVisible());
    frame->onModal = nullptr;

    // The home page's first load swaps the panels, only with wParam 0.
    CControlUI* loading = UITest::Find(frame.get(), "horLoadingWebUI");
    ::SendMessage(frame->GetHWND(), WM_HOME_PAGE_LOADED, 1, 0);
    EXPECT_TRUE(loading->IsVisible());
    ::SendMessage(frame->GetHWND(), WM_HOME_PAGE_LOADED, 0, 0);
    EXPECT_FALSE(loading->IsVisible());
    EXPECT_TRUE(UITest::Find(frame.get(), "horMainFrameHtml")->IsVisible());

    // Room notifications: the frame's part, then the room manager's; payloads freed after both.
    ::SendMessage(frame->GetHWND(), WM_CLOSE_ALL_ROOMS, 0, 0);
    EXPECT_EQ(rm->removeAll, 1);
    auto change = std::make_unique<RoomUserChange>();
    change->value = 8;
    ::PostMessageOwned(frame->GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_USER_CHANGED, std::move(change));
    ::PostMessage(frame->GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_SERVER_RESTART, 0);
    ::PostMessage(frame->GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_ROOM_FULL, 1001);
    auto failed = std::make_unique<EnterRoomResult>();
    failed->roomId = 3004;
    failed->status = 7;
    failed->statusText = "房间密码错误";
    ::PostMessageOwned(frame->GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_ENTER_RESULT, std::move(failed));
    ::PostMessageOwned(frame->GetHWND(), WM_WEB_COMMAND, 0, std::make_unique<std::string>("openroom"));  // no fields
    PumpUntil([&] { return rm->codes.size() >= 4; }, 2000);
    PumpMessagesFor(50);
    EXPECT_EQ(rm->codes, (std::vector<int>{19, 35, 36, 0}));
    EXPECT_EQ(rm->changeValues, std::vector<int>{8});
    EXPECT_EQ(rm->removeAll, 3);
    EXPECT_EQ(frame->messages,
              (std::vector<std::string>{"服务器正在重启，请稍等10秒钟再进房间!",
                                        "非常抱歉，该房间人数达到上限\n成为会员继续观看", "房间密码错误"}));
    EXPECT_EQ(service->RequestCount("enterroom"), 0);
}

TEST_F(FrameTest, EnteringRooms) {
    Open();
    // Closed room: reported, nothing sent; no id: nothing.
    EXPECT_TRUE(frame->OpenRoomForRoomID("openroom&id=3003&name=x&close=1"));
    EXPECT_FALSE(frame->OpenRoomForRoomID("openroom&name=x&secret=1"));
    EXPECT_FALSE(frame->OpenRoomForRoomID("openroom"));
    EXPECT_EQ(frame->messages, std::vector<std::string>{"房间已经关闭!"});
    EXPECT_EQ(service->RequestCount("enterroom"), 0);

    // Password room: cancelled sends nothing; a wrong password comes back refused and the prompt opens
    // again, saying so (cancelled here); the right one enters. Each prompt takes the next answer ("": cancel).
    std::vector<std::string> answers;
    std::vector<std::string> tips;
    frame->onModal = [&](WindowImplBase& dlg) {
        std::string typed = answers.empty() ? "" : answers.front();
        if (!answers.empty()) answers.erase(answers.begin());
        if (CControlUI* tip = UITest::Find(&dlg, "EnterRoomPWTip")) tips.push_back(tip->GetText().c_str());
        RunLater(10, [&dlg, typed] {
            if (typed.empty()) {
                UITest::Click(&dlg, "CancelBTN");
                return;
            }
            static_cast<CEditUI*>(UITest::Find(&dlg, "EnterRoomPWEdit"))->InputText(typed.c_str());
            UITest::Click(&dlg, "ApplyBTN");
        });
        return dlg.ShowModal();
    };
    EXPECT_TRUE(frame->OpenRoomForRoomID("openroom&id=3004&name=私密房间&secret=1"));
    EXPECT_EQ(service->RequestCount("enterroom"), 0);
    answers = {"wrong", ""};
    EXPECT_TRUE(frame->OpenRoomForRoomID("openroom&id=3004&name=私密房间&secret=1"));
    EXPECT_TRUE(frame->GetWaitDlg() && frame->GetWaitDlg()->IsWindowVisible());
    // While the room opens, further room commands are ignored.
    EXPECT_FALSE(frame->OpenRoomForRoomID("openroom&id=3003"));
    ASSERT_TRUE(WaitHanded(1));
    EXPECT_EQ(rm->entered[0].status, 7);
    EXPECT_TRUE(PumpUntil([&] { return tips.size() == 3; }, 10000)) << "no prompt after the wrong password";
    EXPECT_EQ(tips.back(), "房间密码错误，请重新输入：");
    EXPECT_EQ(frame->messages.size(), 1u) << "the refusal came as a message, not as the prompt";
    EXPECT_FALSE(frame->GetWaitDlg()->IsWindowVisible());
    EXPECT_EQ(service->RequestCount("enterroom"), 1);
    answers = {"p&w"};  // the query carries it whole
    EXPECT_TRUE(frame->OpenRoomForRoomID("openroom&id=3004&name=私密房间&secret=1&bStealth=1&bstealth=0"));
    ASSERT_TRUE(WaitHanded(2));
    EXPECT_EQ(rm->entered[1].status, 1);
    EXPECT_EQ(rm->entered[1].roomId, 3004u);
    // The room manager entered it: the room window was asked for, the chat joined the room's channel.
    EXPECT_EQ(rm->Window().title, "私密房间(3004)");
    EXPECT_TRUE(lobbytest::Chat().WaitMembers(3004, 1, 10000));
    EXPECT_TRUE(PumpUntil([&] { return rm->Logic().IsChatReady(); }, 10000));
    EXPECT_NE(service->Queries("enterroom").back().find("hide=1"), std::string::npos);
    EXPECT_EQ(frame->dialogs, std::vector<std::string>(4, "RoomPWConfirmDlg"));

    // Another room open: asked first; declined leaves it, accepted closes it and enters.
    frame->dialogs.clear();
    frame->onModal = nullptr;  // declines
    EXPECT_FALSE(frame->EnterRoom(3003, 0, "", "欢乐大厅"));
    EXPECT_EQ(rm->removeAll, 0);
    frame->onModal = [&](WindowImplBase& dlg) {
        EXPECT_EQ(UITest::Find(&dlg, "SoftCloseTipLabel")->GetText(),
                  "您正在私密房间(3004)房间内，是否关闭房间私密房间(3004)？");
        EXPECT_EQ(UITest::Find(&dlg, "btnOK")->GetText(), "是");
        RunLater(10, [&] { UITest::Click(&dlg, "btnOK"); });
        return dlg.ShowModal();
    };
    EXPECT_TRUE(frame->OpenRoomForRoomID("openroom&id=3003&name=欢乐大厅"));
    ASSERT_TRUE(WaitHanded(3));
    EXPECT_EQ(rm->removeAll, 0);  // the old room closed once the new one let the user in
    EXPECT_EQ(rm->entered[2].roomId, 3003u);
    EXPECT_EQ(rm->entered[2].status, 1);
    EXPECT_EQ(frame->dialogs, (std::vector<std::string>{"SoftCloseTipDlg", "SoftCloseTipDlg"}));
    EXPECT_TRUE(lobbytest::Chat().WaitMembers(3003, 1, 10000));
    EXPECT_TRUE(lobbytest::Chat().WaitMembers(3004, 0, 10000));
    EXPECT_TRUE(PumpUntil([&] { return service->RequestCount("exitroom") == 1; }, 10000));
    // The open room itself: only brought forward.
    int sent = service->RequestCount("enterroom");
    EXPECT_FALSE(frame->EnterRoom(3003, 0, "", ""));
    EXPECT_EQ(rm->activated, 1);
    EXPECT_EQ(service->RequestCount("enterroom"), sent);
}

// Switching rooms: a close of the old room (code 1) or of all rooms that comes while the new room is awaited,
// before or after the service let the user in, cancels the switch: no window opens, and neither the store nor
// the service keeps the new room.
TEST_F(FrameTest, ACloseWhileSwitchingRoomsLeavesNothingBehind) {
    Open();
    const uint32_t me = CGlobalDataApp::GetInstance().GetUid();
    frame->onModal = [&](WindowImplBase& dlg) {
        RunLater(10, [&] { UITest::Click(&dlg, "btnOK"); });
        return dlg.ShowModal();
    };
    auto inRoom = [&](int room) {
        bool in = false;
        service->WithData([&](testenv::SvcData& d) { in = d.rooms[room].users.count(me) > 0; });
        return in;
    };
    const struct {
        const char* name;
        bool afterAnswer;  // the worker has handled the answer when the close comes
        UINT msg;
        WPARAM code;
    } rows[] = {
        {"old room closed before the answer", false, WM_ROOM_NOTIFY, ROOM_NOTIFY_CLOSE_ROOM},
        {"old room closed after the answer", true, WM_ROOM_NOTIFY, ROOM_NOTIFY_CLOSE_ROOM},
        {"all closed before the answer", false, WM_CLOSE_ALL_ROOMS, 0},
        {"all closed after the answer", true, WM_CLOSE_ALL_ROOMS, 0},
    };
    for (const auto& r : rows) {
        size_t handed = rm->entered.size();
        ASSERT_TRUE(frame->EnterRoom(3003, 0, "", "欢乐大厅")) << r.name;
        ASSERT_TRUE(WaitHanded(handed + 1)) << r.name;
        ASSERT_EQ(rm->Window().title, "欢乐大厅(3003)");
        testenv::RoomServiceFault stall;  // the answer comes after the close was handled
        stall.kind = testenv::RoomServiceFault::Stall;
        stall.stallMs = 800;  // within the worker's time-out
        stall.times = 1;
        if (!r.afterAnswer) service->SetFault("enterroom", stall);
        ASSERT_TRUE(frame->EnterRoom(3004, 0, "p&w", "私密房间")) << r.name;
        ::PostMessage(frame->GetHWND(), r.msg, r.code, 3003);
        if (r.afterAnswer) ASSERT_TRUE(testsupport::WaitUntil([&] { return rm->CurrentRoom() == 3004; })) << r.name;
        ASSERT_TRUE(WaitHanded(handed + 2)) << r.name;
        EXPECT_EQ(rm->Window().GetHWND(), nullptr) << r.name;
        EXPECT_EQ(rm->Window().title, "欢乐大厅(3003)") << r.name << ": another window was made";
        EXPECT_EQ(rm->CurrentRoom(), 0u) << r.name;
        EXPECT_EQ(CRoomInfoMgr::GetInstance().GetRoomName(3003), "") << r.name;
        EXPECT_EQ(CRoomInfoMgr::GetInstance().GetRoomName(3004), "") << r.name;
        EXPECT_TRUE(PumpUntil([&] { return !inRoom(3004); }, 10000)) << r.name << ": the new room was not left";
        // The old room's own window tells the service when the user closes it; all rooms closed, the frame does.
        if (r.msg == WM_CLOSE_ALL_ROOMS) EXPECT_TRUE(PumpUntil([&] { return !inRoom(3003); }, 10000)) << r.name;
        EXPECT_TRUE(lobbytest::Chat().WaitMembers(3004, 0, 10000)) << r.name;
    }
}

// The stream-server lookup of a room goes on when the room closes: the close does not wait for it, and its
// answer still comes in.
TEST_F(FrameTest, ClosingARoomDoesNotWaitForTheStreamServerLookup) {
    testenv::HttpTestServer ngb;
    ASSERT_TRUE(ngb.Start());
    std::atomic<bool> release{false};
    ngb.Get("/push", [&](const httplib::Request&, httplib::Response& res) {
        while (!release && ngb.Sleep(10)) {}
        res.set_content("rtmp://alt/push", "text/plain");
    });
    IConfigManager* cfg = AfxGetConfigManager();
    cfg->SetString("WsNgb", "NgbPush", ngb.Url("/push").c_str(), 1);
    Open();
    ASSERT_TRUE(frame->EnterRoom(3003, 0, "", "欢乐大厅"));
    ASSERT_TRUE(WaitHanded(1));
    ASSERT_TRUE(PumpUntil([&] { return ngb.Count("/push") == 1; }, 10000));
    ::SendMessage(frame->GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_CLOSE_ROOM, 3003);
    EXPECT_EQ(rm->Window().GetHWND(), nullptr);
    release = true;
    std::string pushed;
    EXPECT_TRUE(PumpUntil(
        [&] {
            cfg->GetString("WsNgb", "WsPush1", pushed);
            return pushed == "rtmp://alt/push";
        },
        10000))
        << "the close waited for the lookup, which gave up";
    cfg->SetString("WsNgb", "NgbPush", "", 1);
}

TEST_F(FrameTest, WaitDialogTimesOut) {
    Open();
    testenv::RoomServiceFault stall;
    stall.kind = testenv::RoomServiceFault::Stall;
    stall.stallMs = 800;  // answers after the wait dialog gave up, within the worker's time-out
    stall.times = 1;
    service->SetFault("enterroom", stall);
    frame->CreateRoomWaitDlg(false);
    frame->GetWaitDlg()->SetPeriods(50, 200);
    EXPECT_TRUE(frame->OpenRoomForRoomID("openroom&id=3003"));
    EXPECT_TRUE(frame->GetWaitDlg()->IsWindowVisible());
    ASSERT_TRUE(PumpUntil([&] { return !frame->GetWaitDlg()->IsWindowVisible(); }, 3000));
    EXPECT_EQ(UITest::Find(frame->GetWaitDlg(), "RoomCreateWaitText")->GetText(),
              "由于网络原因导致房间开启失败，请查看网络是否通畅!");
    EXPECT_TRUE(rm->entered.empty());
    // The late answer still enters the room; a new command is taken again once the dialog is hidden (the
    // room is open now, so it is brought forward).
    ASSERT_TRUE(WaitHanded(1));
    EXPECT_EQ(rm->entered[0].status, 1);
    EXPECT_TRUE(lobbytest::Chat().WaitMembers(3003, 1, 10000));
    EXPECT_TRUE(frame->OpenRoomForRoomID("openroom&id=3003"));
    EXPECT_EQ(rm->activated, 1);
}

TEST_F(FrameTest, CloseAsksThenLogsOutAndQuits) {
    SignInAs(1001, 0, "a", 0);
    ASSERT_NE(frame->Create(nullptr, "frame", 0x10000000u, 0, 0, 0, 800, 572), nullptr);
    std::string asked;
    frame->onModal = [&](WindowImplBase& dlg) {
        asked = UITest::Find(&dlg, "SoftCloseTipLabel")->GetText().c_str();
        RunLater(10, [&dlg] { dlg.Close(2); });
        return dlg.ShowModal();
    };
    frame->OnBtnClickClose();  // declined: nothing happens
    EXPECT_EQ(frame->dialogs, std::vector<std::string>{"SoftCloseTipDlg"});
    EXPECT_EQ(asked, "确定要退出程序吗？");  // no room is open
    EXPECT_TRUE(frame->IsWindowVisible());
    frame->onModal = [&](WindowImplBase& dlg) {
        RunLater(10, [&] { UITest::Click(&dlg, "btnOK"); });
        return dlg.ShowModal();
    };
    int logouts = service->RequestCount("logout");
    ::PostMessage(frame->GetHWND(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(RunMessageLoop(), 0);  // the quit message ends the loop
    EXPECT_FALSE(frame->IsWindowVisible());
    EXPECT_EQ(rm->removeAll, 1);
    EXPECT_TRUE(PumpUntil([&] { return service->RequestCount("logout") == logouts + 1; }, 10000));
}

namespace {
struct RecordingHomePage : IHomePageView {
    std::vector<std::string> navigated;
    int refreshed = 0;
    bool home = true;
    void Navigate(const std::string& url) override { navigated.push_back(url); }
    void Refresh() override { ++refreshed; }
    bool IsHomePage() const override { return home; }
    bool HasBrowser() const override { return true; }
};
}  // namespace

TEST_F(FrameTest, HomePageForEveryLevelAndDirectoryClicks) {
    struct Row {
        uint32_t level;
        const char* url;
    } rows[] = {
        {100, "http://127.0.0.1/ZeqaShow/LiveIndex?funType=AutoRoom"},
        {200, "http://127.0.0.1/ZeqaShow/LiveIndex?funType=AutoRoom"},
        {201, "http://127.0.0.1/ZeqaShow/LiveIndex"},
    };
    for (const Row& r : rows) {
        RecordingHomePage page;
        auto* manager = new RecordingRoomManager;
        TestFrame f(manager);
        f.SetHomePageView(&page);
        SignInAs(1001, 1, "a", 0, r.level);
        ASSERT_NE(f.Create(nullptr, "frame", 0, 0, 0, 0, 800, 572), nullptr);
        EXPECT_EQ(page.navigated, std::vector<std::string>{r.url}) << r.level;
        // Timer 6 reloads the home page while it is shown.
        TNotifyUI t;
        t.sType = "timer";
        t.pSender = UITest::Find(&f, "HallBTN");
        t.wParam = CVarnetFrameWnd::kTimerWeb;
        f.OnTimer(t);
        ASSERT_EQ(page.navigated.size(), 2u);
        EXPECT_EQ(page.navigated[1].rfind("http://127.0.0.1/ZeqaShow/LiveIndex?r=0", 0), 0u);
        ::DestroyWindow(f.GetHWND());
    }
}

TEST_F(FrameTest, ReLoginClosesTheRoomsAndReloadsTheDirectory) {
    Open();
    int navs = service->RequestCount("getallnav");
    static_cast<CEditUI*>(UITest::Find(frame.get(), "SearchEdit"))->SetText("3003");  // the last account's search
    frame->onModal = [&](WindowImplBase& dlg) {
        RunLater(10, [&] {
            static_cast<CEditUI*>(UITest::Find(&dlg, "UserNameEdit"))->InputText("alice");
            static_cast<CEditUI*>(UITest::Find(&dlg, "PassWordEdit"))->InputText("secret");
            UITest::Click(&dlg, "LoginBTN");
        });
        return dlg.ShowModal();
    };
    EXPECT_TRUE(frame->ShowLoginDlg(frame->GetHWND(), 0));
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetUid(), 1001u);
    EXPECT_EQ(rm->removeAll, 2);  // the old session's logout, then the new login
    EXPECT_TRUE(PumpUntil([&] { return service->RequestCount("getallnav") == navs + 1 && RowOf("我的房间"); }, 10000));
    EXPECT_EQ(Text("NickNameLabel"), "爱丽丝(81001)");
    EXPECT_EQ(service->RequestCount("logout"), 1);
    EXPECT_EQ(Text("SearchEdit"), "输入房间ID");
}

// Code 44 from an open room: the old session leaves the room before it logs out, then the new account
// enters the room again.
TEST_F(FrameTest, ReLoginFromARoomLeavesWithTheOldSessionThenEntersAgain) {
    Open();
    const uint32_t guest = CGlobalDataApp::GetInstance().GetUid();
    EXPECT_TRUE(frame->EnterRoom(3003, 0, "", "欢乐大厅"));
    ASSERT_TRUE(WaitHanded(1));
    ASSERT_EQ(rm->entered[0].status, 1);
    ASSERT_TRUE(PumpUntil([&] { return rm->Logic().IsChatReady(); }, 10000));
    int exits = service->RequestCount("exitroom");
    bool roomOpenAtLogin = true;
    frame->onModal = [&](WindowImplBase& dlg) {
        if (std::string(dlg.GetWindowClassName()) != "LoginDlg") {
            RunLater(10, [&dlg] { dlg.Close(2); });
            return dlg.ShowModal();
        }
        RunLater(10, [&] {
            static_cast<CEditUI*>(UITest::Find(&dlg, "UserNameEdit"))->InputText("alice");
            static_cast<CEditUI*>(UITest::Find(&dlg, "PassWordEdit"))->InputText("secret");
            UITest::Click(&dlg, "LoginBTN");
            roomOpenAtLogin = rm->Window().GetHWND() != nullptr;
        });
        return dlg.ShowModal();
    };
    ASSERT_TRUE(rm->Logic().RequestLogin(nullptr));
    ASSERT_TRUE(WaitHanded(2));
    EXPECT_FALSE(roomOpenAtLogin);
    ASSERT_EQ(service->RequestCount("exitroom"), exits + 1);
    EXPECT_NE(service->Queries("exitroom").back().find("uid=" + std::to_string(guest)), std::string::npos);
    EXPECT_EQ(rm->entered[1].status, 1);
    EXPECT_NE(service->Queries("enterroom").back().find("uid=1001"), std::string::npos);
    EXPECT_TRUE(PumpUntil([&] { return rm->Logic().IsChatReady(); }, 10000));
    EXPECT_EQ(rm->Logic().GetRoomID(), 3003u);
}

TEST_F(FrameTest, WindowCommandsTrayAndLoginElsewhere) {
    SignInAs(1001, 1, "a", 0);
    ASSERT_NE(frame->Create(nullptr, "frame", 0x10000000u, 0, 0, 0, 800, 572), nullptr);
    // Maximise and restore swap the two buttons.
    ::SendMessage(frame->GetHWND(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    EXPECT_FALSE(UITest::Find(frame.get(), "MaxBTN")->IsVisible());
    EXPECT_TRUE(UITest::Find(frame.get(), "RestoreBTN")->IsVisible());
    ::SendMessage(frame->GetHWND(), WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(UITest::Find(frame.get(), "MaxBTN")->IsVisible());
    // A double click on the tray icon hides and shows the frame; another icon id does nothing.
    ::SendMessage(frame->GetHWND(), WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(frame->IsWindowVisible());
    ::SendMessage(frame->GetHWND(), WM_TRAY_NOTIFY, 7, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(frame->IsWindowVisible());
    ::SendMessage(frame->GetHWND(), WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(frame->IsWindowVisible());
    // The desktop's own tray menu (StatusNotifierItem): 显示主窗口 shows the frame.
    ::SendMessage(frame->GetHWND(), WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK);
    ::SendMessage(frame->GetHWND(), WM_TRAY_NOTIFY, kTrayIconId, kTrayMenuShow);
    EXPECT_TRUE(frame->IsWindowVisible());
    // Escape is swallowed.
    UITest::PressKey(frame.get(), VK_ESCAPE);
    EXPECT_TRUE(::IsWindow(frame->GetHWND()));
    // Logged in elsewhere: told, closed rooms, hidden, the program ends without a logout.
    int logouts = service->RequestCount("logout");
    ::PostMessage(frame->GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_LOGIN_ELSEWHERE, 1001);
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_EQ(frame->messages, std::vector<std::string>{"您的帐号已经在其它地方登录了，现在需要退出!"});
    EXPECT_FALSE(frame->IsWindowVisible());
    EXPECT_EQ(rm->removeAll, 1);
    PumpMessagesFor(200);
    EXPECT_EQ(service->RequestCount("logout"), logouts);
}

// A changed catalogue reaches the room side through the program's own room manager and room window: the
// emoticon picker that the frame made reloads its faces for the face mask only.
TEST_F(FrameTest, ChangedCataloguesReachTheRoomSide) {
    roomui::CRoomUI roomWindow;  // outlives the frame, as in the program
    auto real = std::make_unique<TestFrame>(std::make_unique<CRoomManager>(&roomWindow));
    SignInAs(1001, 1, "a", 0);
    ASSERT_NE(real->Create(nullptr, "frame", 0, 0, 0, 0, 800, 572), nullptr);
    roomui::CUIChatFaceSelectPanel& panel = roomui::CUIChatFaceSelectPanel::GetInstance();
    ASSERT_NE(panel.GetHWND(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !panel.IsLoading() && panel.Pages() && panel.Pages()->GetCount() > 0; }, 10000));
    const int pages = panel.Pages()->GetCount();
    for (WPARAM mask : {WPARAM(0x40 | 0x10), WPARAM(0x2)}) {
        ::SendMessage(real->GetHWND(), WM_RES_CHANGED, mask, 0);
        EXPECT_EQ(panel.Pages()->GetCount(), pages) << mask;
    }
    ::SendMessage(real->GetHWND(), WM_RES_CHANGED, 0x3, 0);
    EXPECT_EQ(panel.Pages()->GetCount(), 0);  // reloading
    EXPECT_TRUE(PumpUntil([&] { return !panel.IsLoading() && panel.Pages()->GetCount() == pages; }, 10000));
    real->GetRoomManager()->DestroyFacePicker();
    ::DestroyWindow(real->GetHWND());
    real.reset();
}

// The main menu's nickname and photo items open the settings dialog on pages 1 and 0; a nickname changed
// there reaches the service and the lobby's label. The level badge and the loading picture animate.
TEST_F(FrameTest, MainMenuSettingsAndAnimatedPictures) {
    service->WithData([](testenv::SvcData& d) { d.users[1002].sid = 78; });
    SignInAs(1002, 78, "鲍勃", 81002, 300);
    ASSERT_NE(frame->Create(nullptr, "frame", 0x10000000u, 0, 0, 0, 800, 572), nullptr);
    roomui::CControlGifBk* badge = frame->GetLevelBadge();
    ASSERT_NE(badge, nullptr);
    ASSERT_NE(badge->GetGif(), nullptr);
    EXPECT_GT(badge->GetGif()->GetFrameCount(), 1);
    auto* loading = static_cast<roomui::CControlGifBk*>(
        UITest::Find(frame.get(), "LoadWebWaitControl")->GetInterface("CControlGifBk"));
    ASSERT_NE(loading, nullptr);
    ASSERT_NE(loading->GetGif(), nullptr);
    EXPECT_EQ(loading->GetGif()->GetFrameCount(), 8);

    auto tab = [&] {
        return static_cast<CTabLayoutUI*>(UITest::Find(frame->GetSettingsDlg(), "RoomConfigOptionTab"))->GetCurSel();
    };
    CRoomConfigSetDlg::SetPreviewFactory(nullptr);  // no room window was opened before
    frame->menuChoice = 2;                          // 更换头像
    UITest::Click(frame.get(), "HeadPictureUI");
    ASSERT_NE(frame->GetSettingsDlg(), nullptr);
    CRoomConfigSetDlg& dlg = *frame->GetSettingsDlg();
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_EQ(tab(), 0);
    // Its video page shows the camera's picture.
    capture::SelectSyntheticCamera(1);
    UITest::Click(&dlg, "VideoAdjustOption");
    auto* preview = dynamic_cast<roomui::CVideoShowPreview*>(dlg.Preview());
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return preview->View().PresentCount() > 0; }, 10000));
    UITest::Click(&dlg, "PersonalInfoOption");
    capture::SelectSyntheticCamera(-1);
    // Hidden and shown with the frame.
    frame->ShowWindow(false, false);
    EXPECT_FALSE(dlg.IsWindowVisible());
    frame->ShowWindow(true, false);
    EXPECT_TRUE(dlg.IsWindowVisible());

    frame->menuChoice = 1;  // 修改昵称: the same window, page 1
    HWND first = dlg.GetHWND();
    UITest::Click(frame.get(), "MainMenuBTN");
    EXPECT_EQ(dlg.GetHWND(), first);
    EXPECT_EQ(tab(), 1);
    static_cast<CEditUI*>(UITest::Find(&dlg, "PersonalNickNameEdit"))->SetText("新鲍勃");
    UITest::Click(&dlg, "RoomConfigApplyBTN");
    ASSERT_TRUE(PumpUntil([&] { return Text("NickNameLabel") == "新鲍勃(81002)"; }, 10000)) << Text("NickNameLabel");
    EXPECT_FALSE(dlg.IsWindowVisible());
    service->WithData([](testenv::SvcData& d) { EXPECT_EQ(d.users[1002].nickname, "新鲍勃"); });

    // Without a user: told to sign in, no dialog opens.
    lobbytest::SignOut();
    UITest::Click(frame.get(), "MainMenuBTN");
    EXPECT_EQ(frame->messages, std::vector<std::string>{"请先登录再操作!"});
    EXPECT_FALSE(dlg.IsWindowVisible());

    // Closing the lobby ends the dialog's window.
    ::SendMessage(frame->GetHWND(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_EQ(RunMessageLoop(), 0);
}

// A chat server's burst of "server restarting", "room full" and "logged in elsewhere", replayed at once when
// the room's user list comes: one box at a time, and the program ends once after the boxes.
TEST_F(FrameTest, ABurstOfRoomEndingNoticesOpensOneBoxAtATime) {
    Open();
    const uint32_t me = CGlobalDataApp::GetInstance().GetUid();
    EXPECT_TRUE(frame->OpenRoomForRoomID("openroom&id=3003&name=欢乐大厅"));
    ASSERT_TRUE(WaitHanded(1));
    ASSERT_TRUE(lobbytest::Chat().WaitMembers(3003, 1, 10000));
    ASSERT_TRUE(PumpUntil([&] { return rm->Logic().IsChatReady(); }, 10000));
    // Kept until the user list is there (the notice cache's bound), then dealt with all at once.
    for (int i = 0; i < 2000; ++i) {
        lobbytest::Chat().PushNotice(3003, "notifyrestart", "cmd=notifyrestart\n");
        lobbytest::Chat().PushNotice(3003, "notifyop",
                                     roomlogictest::Body({{"type", "6"}, {"tid", std::to_string(me)}, {"fid", "1"}}));
        lobbytest::Chat().PushNotice(3003, "notifylogin", roomlogictest::Body({{"id", std::to_string(me)}}));
    }
    CZQGetRoomUserMsg users;
    users.uid = me;
    users.sid = CGlobalDataApp::GetInstance().GetSid();
    users.rid = 3003;
    users.ctxInt[0] = 3003;
    CMsgClientThread::GetInstance().PostRequest(&users);
    // Not pumping the UI thread from here on: what the room posts stays queued for the loop below.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return rm->Logic().IsUserListLoaded(); }, std::chrono::seconds(10)));
    // Notices are dealt with in order: once the own name changed, the burst was dealt with.
    lobbytest::Chat().PushNotice(3003, "notifyuserinfo",
                                 roomlogictest::Body({{"id", std::to_string(me)}, {"nickname", "after"}}));
    ASSERT_TRUE(testsupport::WaitUntil([] { return CGlobalDataApp::GetInstance().GetAccount().nickname == "after"; },
                                       std::chrono::seconds(60)));
    // Everything the room posted is queued now; each box's loop takes what comes next.
    int depth = 0, deepest = 0;
    frame->whileMessage = [&] {
        deepest = std::max(deepest, ++depth);
        if (depth < 3) PumpMessagesFor(200);
        --depth;
    };
    unsigned dog = RunLater(30000, [] { ::PostQuitMessage(1); });
    EXPECT_EQ(RunMessageLoop(), 0);
    g_source_remove(dog);
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(frame->messages, (std::vector<std::string>{"服务器正在重启，请稍等10秒钟再进房间!",
                                                         "您的帐号已经在其它地方登录了，现在需要退出!"}));
    EXPECT_FALSE(frame->IsWindowVisible());
}
