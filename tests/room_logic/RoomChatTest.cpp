// The room against the local chat server and room service on loopback: entering, notices, chat both ways,
// gifts, microphones, reconnection, refused logins, closing while things are in flight.
#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

#include "BrowserHtmlCheck.h"
#include "ChatServer.h"
#include "ChatSignature.h"
#include "GlobalData.h"
#include "MsgClientThread.h"
#include "PeerClient.h"
#include "RoomInfoMgr.h"
#include "RoomLogicTestEnv.h"
#include "RoomManager.h"
#include "RoomService.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqModConfig.h"

namespace {

using namespace roomlogictest;

constexpr uint32_t kRoom = 3003;
const std::string kMyChatId = "1001_chat";

// Another user's chat client, logged in with signatures made like the room service's.
class Peer : public IBaseNotifyMsg {
public:
    bool Join(int port, uint32_t uid, const std::string& encodedName = "bob") {
        std::string chatId = std::to_string(uid) + "_chat";
        return client.Connect("127.0.0.1", unsigned(port), 5) &&
               client.Login(testenv::ChatLoginSig(uid, 1), 1, chatId, encodedName) &&
               client.JoinChannel(kRoom, testenv::ChatJoinSig(kRoom, uid, 1), 1, chatId) && client.StartRecv(this);
    }
    void NotifySysMsg(std::string, std::string) override {}
    void NotifyPubMsg(std::string, std::string, std::string from, std::string, std::string text) override {
        Add("pub " + from + " " + UrlEncode::Decode(text));
    }
    void NotifyPriMsg(std::string, std::string from, std::string text) override {
        Add("pri " + from + " " + UrlEncode::Decode(text));
    }
    void NotifyNomMsg(std::string, std::string) override {}
    void ConectionStop() override {}
    bool Wait(const std::string& what) {
        std::unique_lock<std::mutex> hold(lock_);
        return cv_.wait_for(hold, std::chrono::seconds(5),
                            [&] { return std::find(seen_.begin(), seen_.end(), what) != seen_.end(); });
    }

private:
    void Add(std::string s) {
        std::lock_guard<std::mutex> hold(lock_);
        seen_.push_back(std::move(s));
        cv_.notify_all();
    }
    std::mutex lock_;
    std::condition_variable cv_;
    std::vector<std::string> seen_;

public:
    CPingla client;  // last: its receive thread ends before what it delivers into goes
};

class RoomChat : public ::testing::Test {
protected:
    void SetUp() override {
        roomlogictest::SetUp();
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
            a.uid = kSelf;
            a.sid = 7777;
            a.beautyid = 81001;
        });
        ASSERT_GT(chat.Start(), 0);
        ASSERT_GT(service.Start(), 0);
        service.SetCheckSignature(false);
        service.WithData([&](testenv::SvcData& d) {
            d.chatPort = chat.Port();
            d.users[1001].sid = 7777;
            d.users[1002].sid = 8888;
        });
        CMsgClientThread& worker = CMsgClientThread::GetInstance();
        worker.SetEndpoint(service.Endpoint());
        worker.SetRequestTimeout(3000);
        ASSERT_EQ(worker.Start(), 1);
        frame.Open();
        manager = std::make_unique<CRoomManager>(&ui);
        manager->Init(frame.GetHWND());
    }
    void TearDown() override {
        manager->RemoveAll();
        manager.reset();
        CMsgClientThread::GetInstance().Stop();
        chat.Stop();
        service.Stop();
    }

    // Enters the room as the frame and the room window would: the enter request, the window, the user list.
    void Enter() {
        CZQEnterRoomMsg enter;
        enter.uid = kSelf;
        enter.sid = 7777;
        enter.ctxInt[0] = int(kRoom);
        enter.ctxText[0] = "欢乐大厅";
        manager->ExpectEnter(kRoom);
        ASSERT_EQ(CMsgClientThread::GetInstance().PostRequest(&enter), 1);
        ASSERT_TRUE(frame.WaitCode(ROOM_NOTIFY_ENTER_RESULT));
        ASSERT_EQ(frame.enterResults.size(), 1u);
        ASSERT_EQ(frame.enterResults[0]->status, 1);
        manager->OnNotifyRoom(ROOM_NOTIFY_ENTER_RESULT, LPARAM(frame.enterResults[0].release()));
        ASSERT_NE(ui.GetHWND(), nullptr);
        EXPECT_EQ(ui.title, "欢乐大厅(3003)");
        RequestUserList();
        ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_USER_LIST));
        ASSERT_TRUE(WaitJoined());
    }
    void RequestUserList() {
        CZQGetRoomUserMsg users;
        users.uid = kSelf;
        users.sid = 7777;
        users.rid = kRoom;
        users.ctxInt[0] = int(kRoom);
        CMsgClientThread::GetInstance().PostRequest(&users);
    }
    bool WaitJoined() {
        return PumpUntil(
            [&] {
                auto m = chat.Members(kRoom);
                return manager->Logic().IsChatReady() && std::find(m.begin(), m.end(), kMyChatId) != m.end();
            },
            8000);
    }
    void Push(const std::string& cmd, const std::string& body) { chat.PushNotice(kRoom, cmd, body); }
    void UserEnters(uint32_t uid) {
        const std::string id = std::to_string(uid);
        Push("notifyenter", Body({{"id", id},
                                  {"nickname", "u"},
                                  {"chatid", id + "_chat"},
                                  {"level", "5"},
                                  {"beautyid", "1"},
                                  {"photoid", "0"},
                                  {"role", "0"},
                                  {"cnt", "2"}}));
    }
    // Bob (1002) in the room, his line taken by the window.
    void BobEnters() {
        UserEnters(1002);
        ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_USER_ENTER));
    }
    // Notices are dealt with in order: once Bob's name in the store is `name`, every notice pushed before it
    // was. Waits without pumping the UI thread, so what was posted is still queued.
    bool PushMarkerAndWait(const std::string& name) {
        Push("notifyuserinfo", Body({{"id", "1002"}, {"nickname", name}}));
        return testsupport::WaitUntil(
            [&] {
                RoomUserInfo bob;
                return CRoomInfoMgr::GetInstance().GetRoomUser(kRoom, 1002, bob) && bob.nickname == name;
            },
            std::chrono::seconds(60));
    }
    size_t LinesWithFlags(size_t from, int flags) {
        size_t n = 0;
        for (size_t i = from; i < ui.posted.size(); ++i)
            n += ui.posted[i].code == ROOM_NOTIFY_CHAT_LINE && ui.posted[i].flags == flags;
        return n;
    }

    testenv::ChatServer chat;
    testenv::RoomService service;
    RecordingWindow ui, frame;
    std::unique_ptr<CRoomManager> manager;
};

TEST_F(RoomChat, UsersChatGiftsAndMicrophones) {
    Enter();
    EXPECT_TRUE(CRoomInfoMgr::GetInstance().HasUser(kRoom, kSelf));

    // Another user comes in.
    Peer bob;
    ASSERT_TRUE(bob.Join(chat.Port(), 1002));
    Push("notifyenter", Body({{"id", "1002"},
                              {"nickname", UrlEncode::Encode("鲍勃")},
                              {"chatid", "1002_chat"},
                              {"level", "5"},
                              {"beautyid", "81002"},
                              {"photoid", "0"},
                              {"role", "0"},
                              {"cnt", "2"}}));
    ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_USER_ENTER));
    EXPECT_TRUE(ui.WaitLine("鲍勃"));

    // Public and private messages both ways, GBK text; my public line comes back only through the echo.
    const std::string hello = "你好 world";
    ASSERT_EQ(bob.client.SendPubMsg(kRoom, "", UrlEncode::EncodeQuery(hello)), 0);
    ASSERT_TRUE(ui.WaitLine(hello));
    EXPECT_EQ(ui.FindLine(hello)->flags, CHAT_VIEW_PUBLIC);
    const std::string answer = "欢迎 <b>bob</b>";
    ASSERT_TRUE(manager->Logic().SendChatMsg(0, answer, true));
    EXPECT_TRUE(bob.Wait("pub 1001_chat " + answer));
    ASSERT_TRUE(ui.WaitLine(answer));
    EXPECT_EQ(ui.FindLine(answer)->flags, CHAT_VIEW_OWN);
    ASSERT_EQ(bob.client.SendPriMsg(5, kMyChatId, UrlEncode::EncodeQuery("悄悄话")), 0);
    ASSERT_TRUE(ui.WaitLine("悄悄话"));
    EXPECT_EQ(ui.FindLine("悄悄话")->flags, CHAT_VIEW_OWN);
    ASSERT_TRUE(manager->Logic().SendChatMsg(1002, "私聊", false));
    EXPECT_TRUE(bob.Wait("pri 1001_chat 私聊"));

    // A gift of three units is paced one line at a time (once the room's listed gift of 10 units has played).
    ASSERT_TRUE(PumpUntil([&] { return manager->Logic().GiftShows().PendingUnits() == 0; }, 5000));
    size_t mark = ui.posted.size();
    Push("notifygift", Body({{"fid", "1002"}, {"tid", "1001"}, {"gid", "501"}, {"cnt", "3"}, {"hiscnt", "0"}}));
    EXPECT_TRUE(PumpUntil([&] { return LinesWithFlags(mark, CHAT_VIEW_PUBLIC) >= 3; }, 5000));
    EXPECT_EQ(manager->Logic().GiftShows().PendingUnits(), 0u);

    // A global gift reaches the banner.
    Push("notifyglobalgift", Body({{"fname", "a"},
                                   {"tname", "b"},
                                   {"gid", "502"},
                                   {"cnt", "2"},
                                   {"fbeautyid", "1"},
                                   {"tbeautyid", "2"},
                                   {"rid", "1"},
                                   {"flevel", "1"},
                                   {"tlevel", "1"},
                                   {"tm", "0"}}));
    ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_GLOBAL_GIFT));
    EXPECT_EQ(ui.posted.back().code == ROOM_NOTIFY_GLOBAL_GIFT ? ui.posted.back().banner.priority : 160u, 160u);

    // A public microphone: the column's code, then the live signature as code 3. The service refuses it, so
    // the microphone comes from the request's context: it must say public.
    testenv::RoomServiceFault refuse;
    refuse.kind = testenv::RoomServiceFault::Refuse;
    service.SetFault("getlivesig", refuse);
    Push("notifymicon", Body({{"tid", "1002"}, {"type", "1"}, {"fid", "1002"}, {"idx", "0"}}));
    ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_MIC_STATE));
    ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_MIC_STREAM));
    for (auto& p : ui.posted)
        if (p.code == ROOM_NOTIFY_MIC_STREAM) {
            EXPECT_EQ(p.uid, 1002u);
            EXPECT_TRUE(p.stream.isPublic);
            EXPECT_NE(p.stream.status, 1);
            EXPECT_EQ(p.stream.requestType, 20);
        }
    Push("notifymicoff", Body({{"tid", "1002"}, {"fid", "1002"}, {"idx", "0"}, {"type", "1"}}));
    ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_MIC_OFF));

    // He leaves.
    Push("notifyexit", Body({{"id", "1002"}, {"cnt", "1"}}));
    ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_USER_LEAVE));
    EXPECT_FALSE(manager->Logic().IsUserInRoom(1002));
}

// What a peer and the chat server may send to harm the room: texts of a megabyte of unclosed picture tags are
// judged in time linear in their length (the next line follows them), and notice addresses whose refused scheme
// is written with character references reach the line as the text they are, not as the scheme.
TEST_F(RoomChat, HostileTextsAndNoticeAddresses) {
    Enter();
    Peer bob;
    ASSERT_TRUE(bob.Join(chat.Port(), 1002));
    std::string tags;  // as much as a chat frame carries URL-encoded ("%3Cimage+")
    while (tags.size() < 700 * 1024) tags += "<image ";
    for (int i = 0; i < 8; ++i) ASSERT_EQ(bob.client.SendPubMsg(kRoom, "", UrlEncode::EncodeQuery(tags)), 0);
    ASSERT_EQ(bob.client.SendPubMsg(kRoom, "", UrlEncode::EncodeQuery("随后一句")), 0);
    // A judge quadratic in the length spent some fifteen seconds on each of them.
    EXPECT_TRUE(ui.WaitLine("随后一句", 60000));

    auto stored = [](const std::string& text, const std::string& link, const std::string& picture) {
        char head[16];
        std::snprintf(head, sizeof head, "%04zu%04zu", text.size(), text.size() + link.size());
        return head + text + link + picture;
    };
    const std::string pictures[] = {"file&#58;///etc/passwd",  "&#102;ile:///etc/passwd",  "file&colon;///etc/passwd",
                                    "fi&Tab;le:///etc/passwd", "javascript&#x3a;alert(1)", "data&#58;image/png,x"};
    for (const std::string& picture : pictures) {
        SCOPED_TRACE(picture);
        size_t mark = ui.posted.size();
        Push("notifyroominfo",
             Body({{"id", "3003"}, {"msg2", UrlEncode::Encode(stored("看图", "&#106;avascript:x()", picture))}}));
        ASSERT_TRUE(PumpUntil([&] { return LinesWithFlags(mark, CHAT_VIEW_PUBLIC | CHAT_VIEW_OWN) >= 1; }, 5000));
        for (size_t i = mark; i < ui.posted.size(); ++i)
            if (ui.posted[i].code == ROOM_NOTIFY_CHAT_LINE) EXPECT_EQ(browsercheck::Find(ui.posted[i].text), "");
    }
}

// Counts on which thread the desktop is asked for attention.
class ThreadDesktop : public IDesktopWindows {
public:
    bool Flash(const FLASHWINFO&) override {
        (IsUIThread() ? onUi : offUi)++;
        return true;
    }
    std::atomic<int> onUi{0}, offUi{0};
};

TEST_F(RoomChat, ALineToMeFlashesTheRoomWindowOnTheUiThread) {
    Enter();
    Peer bob;
    ASSERT_TRUE(bob.Join(chat.Port(), 1002));
    ThreadDesktop desktop;
    SetDesktopWindows(&desktop);
    ui.foreground = false;
    ASSERT_EQ(bob.client.SendPubMsg(kRoom, kMyChatId, UrlEncode::EncodeQuery("看这里")), 0);
    EXPECT_TRUE(ui.WaitLine("看这里"));
    EXPECT_TRUE(PumpUntil([&] { return desktop.onUi > 0; }, 5000));
    EXPECT_EQ(desktop.offUi, 0);
    SetDesktopWindows(nullptr);
    ui.foreground = true;
}

// The service announces who comes in after me and who leaves; a line from a user the store does not know yet
// names its sender as the chat frame does.
TEST_F(RoomChat, LaterUsersAreAnnouncedAndUnknownSendersNamedFromTheFrame) {
    service.SetNoticeSink(
        [&](int rid, const std::string& cmd, const std::string& body) { chat.PushNotice(uint32_t(rid), cmd, body); });
    service.WithData([](testenv::SvcData& d) { d.rooms[int(kRoom)].users.erase(1003); });
    Enter();
    {
        testenv::PeerClient carol(service.Endpoint());
        ASSERT_TRUE(carol.SignIn("carol", "pw") && carol.EnterRoom(kRoom)) << carol.LastError();
        ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_USER_ENTER));
        EXPECT_TRUE(CRoomInfoMgr::GetInstance().HasUser(kRoom, 1003));
        ASSERT_TRUE(carol.Say("我来了"));
        ASSERT_TRUE(ui.WaitLine("我来了"));
        EXPECT_NE(ui.FindLine("我来了")->text.find("卡罗尔(81003)"), std::string::npos) << ui.FindLine("我来了")->text;
    }
    ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_USER_LEAVE));

    const struct {
        std::string frameName, shown;
    } cases[] = {{UrlEncode::Encode("陌生人(81099)"), "陌生人(81099)<"},
                 {UrlEncode::Encode("无号"), "无号(1099)<"},
                 {UrlEncode::Encode("<b>x</b>(12)"), "&lt;b&gt;x&lt;/b&gt;(12)"}};
    for (const auto& c : cases) {
        Peer stranger;
        ASSERT_TRUE(stranger.Join(chat.Port(), 1099, c.frameName));
        ASSERT_EQ(stranger.client.SendPubMsg(kRoom, "", UrlEncode::EncodeQuery("hi " + c.frameName)), 0);
        ASSERT_TRUE(ui.WaitLine("hi " + c.frameName));
        EXPECT_NE(ui.FindLine("hi " + c.frameName)->text.find(c.shown), std::string::npos)
            << ui.FindLine("hi " + c.frameName)->text;
        ASSERT_EQ(stranger.client.SendPriMsg(5, kMyChatId, UrlEncode::EncodeQuery("pst " + c.frameName)), 0);
        ASSERT_TRUE(ui.WaitLine("pst " + c.frameName));
        EXPECT_NE(ui.FindLine("pst " + c.frameName)->text.find(c.shown), std::string::npos);
    }
}

// A colour bar's answer carries the balance after its charge, as the other paid answers do; a stamp costs
// what the catalogue says.
TEST_F(RoomChat, PaidAnswersCarryTheBalance) {
    Enter();
    auto coins = [] { return CGlobalDataApp::GetInstance().GetAccount().xiubi; };
    auto balance = [&] {
        uint64_t x = 0;
        service.WithData([&](testenv::SvcData& d) { x = d.users[1001].xiubi; });
        return x;
    };
    const uint64_t start = balance();
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.xiubiver = 0; });
    CZQSendColorBarMsg bar;
    bar.uid = kSelf;
    bar.sid = 7777;
    bar.rid = int(kRoom);
    bar.tid = 1002;
    bar.cid = 1;
    bar.ctxInt[0] = int(kRoom);
    ASSERT_EQ(CMsgClientThread::GetInstance().PostRequest(&bar), 1);
    EXPECT_TRUE(PumpUntil([&] { return coins() == start - 1; }, 5000)) << coins();
    CZQSendTagMsg stamp;
    stamp.uid = kSelf;
    stamp.sid = 7777;
    stamp.rid = int(kRoom);
    stamp.tid = 1002;
    stamp.tagid = 2;
    stamp.ctxInt[0] = int(kRoom);
    ASSERT_EQ(CMsgClientThread::GetInstance().PostRequest(&stamp), 1);
    EXPECT_TRUE(PumpUntil([&] { return coins() == start - 1 - 200; }, 5000)) << coins();
}

// The user's own request for a microphone, refused, is told as the microphone windows tell it, not in the
// words for moderating others.
TEST_F(RoomChat, AnOwnMicrophoneRequestRefusedIsToldAsSuch) {
    Enter();
    testenv::RoomServiceFault refuse;
    refuse.kind = testenv::RoomServiceFault::Refuse;
    refuse.status = 2;
    refuse.desc = "等级不够";
    service.SetFault("opmic", refuse);
    CZQOpMicMsg mic;
    mic.uid = kSelf;
    mic.sid = 7777;
    mic.rid = int(kRoom);
    mic.tid = int(kSelf);
    mic.optype = 1;
    mic.mictype = 2;
    mic.ctxInt[0] = int(kRoom);
    mic.ctxInt[1] = int(kSelf);
    ASSERT_EQ(CMsgClientThread::GetInstance().PostRequest(&mic), 1);
    EXPECT_TRUE(ui.WaitLine("上麦失败(等级不够)"));
    for (const auto& p : ui.posted) EXPECT_EQ(p.text.find("抱上/抱下"), std::string::npos) << p.text;
}

// A chat client whose receive thread cannot be started the first `fail` times.
class NoRecvPingla : public CPingla {
public:
    explicit NoRecvPingla(int fail) : fail_(fail) {}
    bool StartRecv(IBaseNotifyMsg* sink) override {
        if (fail_.fetch_sub(1) > 0) return false;
        return CPingla::StartRecv(sink);
    }

private:
    std::atomic<int> fail_;
};

TEST_F(RoomChat, AReceiveThreadThatDoesNotStartIsAFailedConnection) {
    manager->RemoveAll();
    manager = std::make_unique<CRoomManager>(&ui, std::make_unique<NoRecvPingla>(4));
    manager->Init(frame.GetHWND());
    CZQEnterRoomMsg enter;
    enter.uid = kSelf;
    enter.sid = 7777;
    enter.ctxInt[0] = int(kRoom);
    manager->ExpectEnter(kRoom);
    ASSERT_EQ(CMsgClientThread::GetInstance().PostRequest(&enter), 1);
    ASSERT_TRUE(frame.WaitCode(ROOM_NOTIFY_ENTER_RESULT));
    manager->OnNotifyRoom(ROOM_NOTIFY_ENTER_RESULT, LPARAM(frame.enterResults[0].release()));
    // Three joins with nothing receiving are a lost connection: the reconnect cycle follows, then receives.
    ASSERT_TRUE(ui.WaitLine("聊天服务断开", 15000));
    EXPECT_TRUE(PumpUntil([&] { return service.RequestCount("getchatsig") >= 1; }, 8000));
    ASSERT_TRUE(WaitJoined());
    Peer bob;
    ASSERT_TRUE(bob.Join(chat.Port(), 1002));
    ASSERT_EQ(bob.client.SendPubMsg(kRoom, "", UrlEncode::EncodeQuery("收到了")), 0);
    EXPECT_TRUE(ui.WaitLine("收到了"));
}

TEST_F(RoomChat, ADroppedConnectionReconnectsWithTheSameChatId) {
    Enter();
    size_t mark = ui.posted.size();
    ASSERT_EQ(chat.Drop(kMyChatId), 1);
    ASSERT_TRUE(ui.WaitLine("聊天服务断开"));
    EXPECT_TRUE(PumpUntil([&] { return service.RequestCount("getchatsig") >= 1; }, 5000));
    ASSERT_TRUE(WaitJoined());
    EXPECT_EQ(service.RequestCount("getchatsig"), 1);
    EXPECT_EQ(chat.Members(kRoom), std::vector<std::string>{kMyChatId});
    size_t tips = 0;
    for (size_t i = mark; i < ui.posted.size(); ++i)
        tips += ui.posted[i].text.find("聊天服务断开") != std::string::npos;
    EXPECT_EQ(tips, 1u);
}

TEST_F(RoomChat, RefusedLoginsAreTriedAgainThenTheHostFromDnsLookupIsUsed) {
    // Three tries: two refusals still connect.
    chat.RefuseLogins(2);
    Enter();
    EXPECT_EQ(chat.Refused(), 2);
    EXPECT_EQ(service.RequestCount("getchatsig"), 0);

    // The room service now hands out an address nobody listens on; after the failure the address stored by
    // the DNS pre-resolution of the default chat host is used.
    AfxGetConfigManager()->SetString("ZqServerList", "DefaultChatHost", "chat.test", 1);
    AfxGetConfigManager()->SetString("DnsLookup", "chat.test", "127.0.0.1", 1);
    service.WithData([&](testenv::SvcData& d) { d.chatIp = "127.0.0.2"; });
    CRoomLogic::SetChatHostFlag(true);
    chat.RefuseLogins(3);
    ASSERT_EQ(chat.Drop(kMyChatId), 1);  // all three tries refused: a signature, then the service's address
    EXPECT_TRUE(PumpUntil([&] { return service.RequestCount("getchatsig") >= 2; }, 8000));
    ASSERT_TRUE(WaitJoined());
    EXPECT_FALSE(CRoomLogic::ChatHostFlag());
    EXPECT_EQ(chat.Refused(), 5);
    AfxGetConfigManager()->SetString("ZqServerList", "DefaultChatHost", nullptr, 1);
}

TEST_F(RoomChat, ClosingWhileLoginIsBlockedReturnsPromptlyAndNothingFollows) {
    chat.SetAnswerDelay(30000);
    CZQEnterRoomMsg enter;
    enter.uid = kSelf;
    enter.sid = 7777;
    enter.ctxInt[0] = int(kRoom);
    manager->ExpectEnter(kRoom);
    ASSERT_EQ(CMsgClientThread::GetInstance().PostRequest(&enter), 1);
    ASSERT_TRUE(frame.WaitCode(ROOM_NOTIFY_ENTER_RESULT));
    manager->OnNotifyRoom(ROOM_NOTIFY_ENTER_RESULT, LPARAM(frame.enterResults[0].release()));
    ASSERT_TRUE(PumpUntil([&] { return chat.Connections() >= 1; }, 5000));
    PumpMessagesFor(200);  // the login waits for its answer
    DWORD start = GetTickCount();
    manager->OnNotifyRoom(ROOM_NOTIFY_CLOSE_ROOM, 0);
    EXPECT_LT(GetTickCount() - start, 10000u);  // far below the 30 s the answer would take
    EXPECT_FALSE(manager->Logic().IsChatReady());
    EXPECT_TRUE(PumpUntil([&] { return chat.Connections() == 0; }, 5000));
    size_t after = ui.posted.size();
    int logins = chat.Logins();
    chat.SetAnswerDelay(0);
    PumpMessagesFor(300);
    EXPECT_EQ(ui.posted.size(), after);
    EXPECT_EQ(chat.Logins(), logins);  // nothing tried again
    EXPECT_EQ(chat.Connections(), 0);
}

TEST_F(RoomChat, ClosingWithRepliesAndNoticesInFlight) {
    Enter();
    std::atomic<bool> run{true};
    std::thread pusher([&] {
        for (int i = 0; run && i < 400; ++i)
            chat.PushNotice(kRoom, "notifybroadcast",
                            Body({{"word", "w" + std::to_string(i)},
                                  {"id", "1002"},
                                  {"beautyid", "1"},
                                  {"nickname", "n"},
                                  {"level", "1"}}));
    });
    for (int i = 0; i < 5; ++i) RequestUserList();
    // A chat-signature answer that comes after the room was left starts nothing.
    testenv::RoomServiceFault stall;
    stall.kind = testenv::RoomServiceFault::Stall;
    stall.stallMs = 800;
    service.SetFault("getchatsig", stall);
    chat.Drop(kMyChatId);
    EXPECT_TRUE(PumpUntil([&] { return service.RequestCount("getchatsig") >= 1; }, 5000));
    manager->OnNotifyRoom(ROOM_NOTIFY_CLOSE_ROOM, 0);
    run = false;
    pusher.join();
    int logins = chat.Logins();
    size_t lists = ui.Count(ROOM_NOTIFY_USER_LIST);
    PumpMessagesFor(1500);
    EXPECT_EQ(chat.Logins(), logins);
    EXPECT_EQ(chat.Connections(), 0);
    EXPECT_EQ(ui.Count(ROOM_NOTIFY_USER_LIST), lists);
    EXPECT_EQ(manager->CurrentRoom(), 0u);
    EXPECT_FALSE(CRoomInfoMgr::GetInstance().HasUser(kRoom, kSelf));
}

// A burst of room-ending notices reaches the frame once per code; a flood of microphone notices naming users
// and slots the room does not have asks for nothing; cheque notices wait and post within the line bounds.
TEST_F(RoomChat, BurstsOfRoomEndingNoticesReachTheFrameOncePerRoom) {
    Enter();
    BobEnters();
    for (int i = 0; i < 5000; ++i) {
        Push("notifyrestart", "cmd=notifyrestart\n");
        Push("notifyop", Body({{"type", "6"}, {"tid", "1001"}, {"fid", "1002"}}));
        Push("notifylogin", Body({{"id", "1001"}}));
    }
    ASSERT_TRUE(PushMarkerAndWait("after-burst"));
    PumpMessagesFor(50);  // what was posted is queued already
    for (int code : {ROOM_NOTIFY_SERVER_RESTART, ROOM_NOTIFY_ROOM_FULL, ROOM_NOTIFY_LOGIN_ELSEWHERE})
        EXPECT_EQ(frame.Count(code), 1u) << code;
}

TEST_F(RoomChat, MicrophoneNoticesAskOnlyForUsersAndSlotsTheRoomHas) {
    Enter();
    BobEnters();
    testenv::RoomServiceFault stall;  // answers come late: requests stay pending meanwhile
    stall.kind = testenv::RoomServiceFault::Stall;
    stall.stallMs = 1500;
    service.SetFault("getlivesig", stall);
    CMsgClientThread& worker = CMsgClientThread::GetInstance();
    const int asked = service.RequestCount("getlivesig");
    const size_t queued = worker.QueueSize();
    auto micOn = [&](uint32_t uid, const char* type, int idx) {
        Push("notifymicon", Body({{"tid", std::to_string(uid)},
                                  {"fid", std::to_string(uid)},
                                  {"type", type},
                                  {"idx", std::to_string(idx)}}));
    };
    for (int i = 0; i < 20000; ++i) micOn(5000 + uint32_t(i), i % 2 ? "1" : "0", i % 3);  // not in the room
    for (int idx : {-1, 3, 99}) micOn(1002, "1", idx);                                    // no such public slot
    for (int idx : {-1, 8}) micOn(1002, "0", idx);                                        // no such private slot
    ASSERT_TRUE(PushMarkerAndWait("after-unknown"));
    EXPECT_LE(worker.QueueSize() + size_t(service.RequestCount("getlivesig") - asked), queued);

    // Room users on every slot, many more than the slots: the pending requests stay bounded.
    for (uint32_t uid = 2000; uid < 2100; ++uid) UserEnters(uid);
    for (uint32_t uid = 2000; uid < 2100; ++uid) micOn(uid, "1", int(uid % kPublicMicSlots));
    ASSERT_TRUE(PushMarkerAndWait("after-known"));
    EXPECT_LE(worker.QueueSize() + size_t(service.RequestCount("getlivesig") - asked),
              queued + CRoomLogic::kMaxPendingLiveSigs);
    EXPECT_GE(worker.QueueSize() + size_t(service.RequestCount("getlivesig") - asked), queued + 1);
    service.ClearFaults();
}

TEST_F(RoomChat, ChequesWaitAndPostWithinTheLineBounds) {
    Enter();
    BobEnters();
    auto cheque = [&](int count) {
        Push(
            "notifygift",
            Body(
                {{"fid", "1002"}, {"tid", "1002"}, {"gid", "21012"}, {"cnt", std::to_string(count)}, {"hiscnt", "0"}}));
    };
    auto amount = [](int count) { return "\">" + std::to_string(count * 10) + "</SPAN>"; };
    // While the chat view is not ready the newest cheques wait, up to the bound.
    ui.chatReady = false;
    for (int i = 1; i <= 5000; ++i) cheque(i);
    ASSERT_TRUE(PushMarkerAndWait("cheques-waiting"));
    CGiftShowManager& gifts = manager->Logic().GiftShows();
    EXPECT_EQ(gifts.PendingCheques(), CGiftShowManager::kMaxCheques);
    size_t mark = ui.posted.size();
    ui.chatReady = true;
    ASSERT_TRUE(ui.WaitLine(amount(5000), 10000));
    EXPECT_TRUE(PumpUntil([&] { return gifts.PendingCheques() == 0 && manager->Logic().PendingLines() == 0; }, 10000));
    EXPECT_EQ(LinesWithFlags(mark, CHAT_VIEW_PUBLIC | CHAT_VIEW_OWN), CGiftShowManager::kMaxCheques);
    EXPECT_EQ(ui.FindLine(amount(5000 - int(CGiftShowManager::kMaxCheques))), nullptr);  // the oldest went

    // Cheque lines count with the others waiting for the window: a line after a full window's worth of
    // them is dropped. (Another line of the room, a tip, may take a place meanwhile: a cheque then waits.)
    for (int i = 0; i < CRoomLogic::kMaxPendingLines; ++i) cheque(7);
    ASSERT_TRUE(PushMarkerAndWait("cheques-posted"));
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return gifts.PendingCheques() == 0 || manager->Logic().PendingLines() >= CRoomLogic::kMaxPendingLines; },
        std::chrono::seconds(30)));
    chat.Say(kRoom, "bob", "1002_chat", "one-too-many");
    ASSERT_TRUE(PushMarkerAndWait("said"));
    mark = ui.posted.size();
    EXPECT_TRUE(PumpUntil(
        [&] {
            return gifts.PendingCheques() == 0 &&
                   LinesWithFlags(mark, CHAT_VIEW_PUBLIC | CHAT_VIEW_OWN) >= size_t(CRoomLogic::kMaxPendingLines);
        },
        10000));
    PumpMessagesFor(100);
    EXPECT_EQ(LinesWithFlags(mark, CHAT_VIEW_PUBLIC | CHAT_VIEW_OWN), size_t(CRoomLogic::kMaxPendingLines));
    EXPECT_EQ(ui.FindLine("one-too-many"), nullptr);
}

}  // namespace
