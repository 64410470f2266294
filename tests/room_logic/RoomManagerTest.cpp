// The room manager without a network: window creation and its heartbeat, closing, and the reply dispatch
// with reply objects built here.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "GlobalData.h"
#include "MsgClientThread.h"
#include "RoomInfoMgr.h"
#include "RoomLogicTestEnv.h"
#include "RoomManager.h"
#include "TestUtil.h"
#include "ZQCommands.h"
#include "ZqModConfig.h"

namespace {

using namespace roomlogictest;

constexpr uint32_t kRoom = 4004;

class RoomManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        roomlogictest::SetUp();
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
            a.uid = kSelf;
            a.sid = 1;
            a.level = 3;
            a.xiubi = 10;
            a.xiubiver = 5;
        });
        // A chat server that takes the connection and never answers: the login waits, nothing reconnects.
        silent_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        bind(silent_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(silent_, 16);
        getsockname(silent_, reinterpret_cast<sockaddr*>(&a), &len);
        silentPort_ = ntohs(a.sin_port);
        frame.Open();
        manager = std::make_unique<CRoomManager>(&ui);
        manager->Init(frame.GetHWND());
    }
    void TearDown() override {
        manager->RemoveAll();
        manager.reset();
        close(silent_);
    }
    // An enter-room reply as the worker hands it over (the chat server address leads nowhere).
    void Enter(int level = -1) {
        CZQEnterRoomMsg reply;
        reply.status = 1;
        reply.ctxInt[0] = int(kRoom);
        reply.ctxText[0] = "房间";
        reply.ctxText[1] = "pw";
        reply.chatid = "1001_x";
        reply.level = level;
        reply.chatServer.ip = "127.0.0.1";
        reply.chatServer.port = uint32_t(silentPort_);
        size_t before = frame.Count(ROOM_NOTIFY_ENTER_RESULT);
        manager->ExpectEnter(kRoom);
        manager->OnZQMessageNotify(&reply, nullptr);
        ASSERT_TRUE(frame.WaitCode(ROOM_NOTIFY_ENTER_RESULT, before + 1));
    }
    void Open() { manager->OnNotifyRoom(ROOM_NOTIFY_ENTER_RESULT, LPARAM(frame.enterResults.back().release())); }

    RecordingWindow ui, frame;
    std::unique_ptr<CRoomManager> manager;
    int silent_ = -1;
    int silentPort_ = 1;
};

TEST_F(RoomManagerTest, WindowHeartbeatAndClosing) {
    CMsgClientThread& worker = CMsgClientThread::GetInstance();
    const struct {
        const char* setting;  // "" = none
        uint32_t uid;
        size_t heartbeats;
    } rows[] = {{"", kSelf, 1}, {"3000", kSelf, 1}, {"", 0, 0}};
    for (auto& r : rows) {
        if (*r.setting) AfxGetConfigManager()->SetString("UpdateSetting", "RoomHeartBeat", r.setting, 1);
        CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) { a.uid = r.uid; });
        Enter();
        Open();
        EXPECT_NE(ui.GetHWND(), nullptr);
        EXPECT_EQ(ui.GetRoomID(), kRoom);
        EXPECT_EQ(ui.title, "房间(4004)");
        EXPECT_EQ(worker.HeartBeatCount(), r.heartbeats);
        size_t queued = worker.QueueSize();
        manager->OnNotifyRoom(ROOM_NOTIFY_CLOSE_ROOM, 0);  // no exit request from here
        EXPECT_EQ(worker.QueueSize(), queued);
        EXPECT_EQ(worker.HeartBeatCount(), 0u);
        EXPECT_EQ(ui.GetHWND(), nullptr);
        EXPECT_EQ(manager->CurrentRoom(), 0u);
    }
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.uid = kSelf; });
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetLevel(), 3u);  // level -1 leaves it

    // RemoveAll before the window opened still leaves the room at the service and clears the store; the
    // enter result then opens nothing. With no room it queues nothing.
    Enter(9);
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetLevel(), 9u);
    size_t queued = worker.QueueSize();
    manager->RemoveAll();
    EXPECT_EQ(worker.QueueSize(), queued + 1);
    EXPECT_EQ(CRoomInfoMgr::GetInstance().GetRoomName(kRoom), "");
    Open();
    EXPECT_EQ(ui.GetHWND(), nullptr);
    manager->RemoveAll();
    EXPECT_EQ(worker.QueueSize(), queued + 1);
    // With a window it queues one.
    Enter();
    Open();
    manager->RemoveAll();
    EXPECT_EQ(worker.QueueSize(), queued + 2);

    // A failed or missing result creates no window.
    CZQEnterRoomMsg refused;
    refused.status = 7;
    refused.statusdesc = "房间密码错误";
    manager->OnZQMessageNotify(&refused, nullptr);
    ASSERT_TRUE(frame.WaitCode(ROOM_NOTIFY_ENTER_RESULT, frame.Count(ROOM_NOTIFY_ENTER_RESULT) + 1));
    Open();
    manager->OnNotifyRoom(ROOM_NOTIFY_ENTER_RESULT, 0);
    EXPECT_EQ(ui.GetHWND(), nullptr);
}

// The room window's dialogs leave the worker's listeners as it closes, so they wait for the listener lock,
// which a reply handler holds while it waits for the lifecycle lock: the window closes outside that lock.
TEST_F(RoomManagerTest, TheWindowClosesOutsideTheLifecycleLock) {
    const std::function<void()> closers[] = {
        [&] { manager->OnNotifyRoom(ROOM_NOTIFY_CLOSE_ROOM, 0); },
        [&] { manager->RemoveAll(); },
    };
    for (const auto& close : closers) {
        Enter();
        Open();
        std::atomic<bool> handled{false};
        bool handledWhileClosing = false;
        std::thread worker;
        ui.onClose = [&] {
            worker = std::thread([&] {
                CZQGetChatSigMsg stale;  // handled under the lifecycle lock, changes nothing
                stale.status = 1;
                stale.ctxInt[0] = 999;
                manager->OnZQMessageNotify(&stale, nullptr);
                handled = true;
            });
            handledWhileClosing = testsupport::WaitUntil([&] { return handled.load(); }, std::chrono::seconds(5));
        };
        close();
        ui.onClose = nullptr;
        if (worker.joinable()) worker.join();
        EXPECT_TRUE(handledWhileClosing);
        EXPECT_EQ(ui.GetHWND(), nullptr);
    }
}

TEST_F(RoomManagerTest, ReplyDispatch) {
    Enter();
    Open();
    ui.posted.clear();
    frame.posted.clear();
    auto coins = [](CoinReply& c, uint32_t ver) {
        c.xiubi = 77;
        c.xiubiver = ver;
    };
    CZQSendGiftMsg oldCoins;
    oldCoins.status = 1;
    coins(oldCoins.coin, 5);
    CZQSendGiftMsg newCoins;
    newCoins.status = 1;
    coins(newCoins.coin, 6);
    CZQBroadCastMsg poor;
    poor.status = 3;
    poor.statusdesc = "余额不足";
    CZQGetRoomInfoMsg closedRoom;
    closedRoom.status = 1;
    closedRoom.ctxInt[0] = 999;
    CZQKickRoomMsg kick;
    kick.status = 4;
    kick.statusdesc = "权限不够";
    // The service's texts are text: markup in them arrives escaped.
    CZQKickRoomMsg hostile;
    hostile.status = 4;
    hostile.statusdesc = "<span onclick=\"window.external.CallFuncEx('x')\">a&b</span>";
    CZQSendColorBarMsg hostileBar;
    hostileBar.status = 3;
    hostileBar.statusdesc = "<image src=x>";
    CZQGetChatSigMsg refused;
    refused.status = 2;
    refused.ctxInt[0] = int(kRoom);
    refused.statusdesc = "no";
    CZQGetChatSigMsg stale;
    stale.status = 1;
    stale.ctxInt[0] = 999;
    CZQGetCateListMsg unrelated;
    unrelated.status = 1;
    CZQGetRoomUserMsg otherRoomUsers;
    otherRoomUsers.status = 1;
    otherRoomUsers.ctxInt[0] = 999;
    const struct {
        const char* name;
        CZQMessage* reply;
        std::vector<int> room, frameCodes;
        const char* text;  // of the last room message, or null
    } rows[] = {
        {"coins not newer", &oldCoins, {}, {}, nullptr},
        {"coins newer", &newCoins, {ROOM_NOTIFY_USER_CHANGED}, {ROOM_NOTIFY_USER_CHANGED}, nullptr},
        {"broadcast without money", &poor, {ROOM_NOTIFY_SYS_TEXT, ROOM_NOTIFY_BROADCAST_RESULT}, {}, nullptr},
        {"room info of a closed room", &closedRoom, {}, {}, nullptr},
        {"failure line without a hint", &kick, {ROOM_NOTIFY_SYS_TEXT}, {}, "踢出房间失败(权限不够)"},
        {"failure line of markup",
         &hostile,
         {ROOM_NOTIFY_SYS_TEXT},
         {},
         "踢出房间失败(&lt;span onclick=&quot;window.external.CallFuncEx('x')&quot;&gt;a&amp;b&lt;/span&gt;)"},
        {"colour bar refused with markup", &hostileBar, {ROOM_NOTIFY_CHAT_LINE}, {}, "&lt;image src=x&gt;<br>"},
        {"chat signature refused", &refused, {ROOM_NOTIFY_SYS_TEXT}, {}, "获取聊天服务地址失败(no),请重新进入房间"},
        {"chat signature of another room", &stale, {}, {}, nullptr},
        {"user list of another room", &otherRoomUsers, {}, {}, nullptr},
        {"unrelated", &unrelated, {}, {}, nullptr},
    };
    for (auto& r : rows) {
        ui.posted.clear();
        frame.posted.clear();
        manager->OnZQMessageNotify(r.reply, nullptr);
        PumpMessagesFor(30);
        EXPECT_EQ(ui.Codes(), r.room) << r.name;
        EXPECT_EQ(frame.Codes(), r.frameCodes) << r.name;
        if (r.text)
            for (auto& p : ui.posted)
                if (p.code == ROOM_NOTIFY_SYS_TEXT || p.code == ROOM_NOTIFY_CHAT_LINE)
                    EXPECT_EQ(p.text, r.text) << r.name;
    }
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetAccount().xiubi, 77u);
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetAccount().xiubiver, 6u);
}

TEST_F(RoomManagerTest, EnterRoomGiftsAreRouted) {
    manager->Logic().SetTickSource([] { return 0u; });  // no unit is played meanwhile
    auto gift = [](uint32_t gid, uint32_t cnt, uint32_t tm) {
        auto g = std::make_unique<GiftHistoryInfo>();
        g->gid = gid;
        g->cnt = cnt;
        g->tm = tm;
        g->receiver.uid = 1002;
        g->sender.uid = 1003;
        return g;
    };
    // The first gift keeps min(N, 15 x (its time - server time)) units, compared unsigned: all of them when
    // its time lies in the past. Every later one plays in full, whatever its time.
    const struct {
        uint32_t firstTime;
        size_t firstUnits;
    } rows[] = {{1002, 30}, {1010, 100}, {1000, 0}, {999, 100}, {0, 100}};
    for (const auto& r : rows) {
        CZQEnterRoomMsg reply;
        reply.status = 1;
        reply.ctxInt[0] = int(kRoom);
        reply.systm = 1000;
        reply.globalMsg.gid = 501;
        reply.globalMsg.cnt = 1;
        reply.globalMsg.fname = "a";
        reply.globalMsg.hide = 1;
        reply.globalMsg.fbeautyid = 5;
        reply.globalMsg.tbeautyid = 6;
        reply.giftHistory.push_back(gift(501, 100, r.firstTime));
        reply.giftHistory.push_back(nullptr);
        reply.giftHistory.push_back(gift(21012, 3, 0));  // a cheque
        reply.giftHistory.push_back(gift(502, 4, 0));
        reply.giftHistory.push_back(gift(501, 7, 999));
        reply.giftHistory.push_back(gift(503, 10, 1000));
        reply.giftHistory.push_back(gift(502, 40, 1001));
        ui.chatReady = false;
        manager->ExpectEnter(kRoom);
        manager->OnZQMessageNotify(&reply, nullptr);
        CGiftShowManager& shows = manager->Logic().GiftShows();
        EXPECT_EQ(shows.PendingUnits(), r.firstUnits + 4 + 7 + 10 + 40) << r.firstTime;
        EXPECT_EQ(shows.PendingCheques(), 1u);
        ASSERT_EQ(shows.PendingBanners(), 1u);
    }
    ui.Open();
    manager->Logic().SetRoomUI(&ui);
    EXPECT_TRUE(ui.WaitCode(ROOM_NOTIFY_GLOBAL_GIFT));
    EXPECT_EQ(ui.posted.back().banner.senderName, "神秘人");
    EXPECT_EQ(ui.posted.back().banner.senderId, 0u);
}

}  // namespace
