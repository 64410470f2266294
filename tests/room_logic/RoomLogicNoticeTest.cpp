// The notice dispatch and the chat-message callbacks against the room store and a recording room window.
#include <gtest/gtest.h>

#include "MsgClientThread.h"
#include "NoticeReader.h"
#include "RoomInfoMgr.h"
#include "RoomLogic.h"
#include "RoomLogicTestEnv.h"
#include "ZqLib.h"

namespace {

using namespace roomlogictest;

constexpr uint32_t kRoom = 3003;

class RoomNotices : public ::testing::Test {
protected:
    void SetUp() override {
        roomlogictest::SetUp();
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
            a.uid = kSelf;
            a.beautyid = 51001;
            a.xiubi = 100;
            a.xiubiver = 5;
        });
        CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
        ChatServerInfo chat;
        chat.joinId = 77;
        store.InsertRoom(kRoom, chat);
        for (uint32_t uid : {kSelf, 1002u, 1003u}) {
            RoomUserInfo u;
            u.uid = uid;
            u.nickname = "u" + std::to_string(uid);
            u.chatid = std::to_string(uid) + "_c";
            u.beautyid = 50000 + uid;
            u.role = uid == 1003 ? 20 : 0;
            store.AddRoomUser(kRoom, u);
        }
        ui.Open();
        ui.SetRoomID(kRoom);
        frame.Open();
        logic.SetTickSource([this] { return now.load(); });
        logic.SetRoomUI(&ui);
        logic.Init(frame.GetHWND(), kRoom);
    }
    void TearDown() override {
        logic.UnInit();
        CRoomInfoMgr::GetInstance().RemoveRoom(kRoom);
        roomtest::SetUpOnce();
    }
    void Notice(const std::string& cmd, const std::string& body) {
        logic.DealChatSysMsg(cmd, ReadNoticeBody(cmd, body));
    }
    std::vector<int> Settle(RecordingWindow& w) {
        PumpMessagesFor(30);
        return w.Codes();
    }

    std::atomic<uint32_t> now{100000};
    RecordingWindow ui, frame;
    CRoomLogic logic;
};

TEST_F(RoomNotices, UsersComeAndGo) {
    // My own exit closes the room and touches nothing else.
    Notice("notifyexit", Body({{"id", "1001"}, {"cnt", "3"}}));
    EXPECT_EQ(Settle(frame), std::vector<int>{ROOM_NOTIFY_CLOSE_ROOM});
    EXPECT_EQ(frame.posted[0].value, LPARAM(kRoom));
    EXPECT_TRUE(Settle(ui).empty());

    // An exit, then an enter before the sweep: 17, then 16, and the user stays.
    Notice("notifyexit", Body({{"id", "1002"}, {"cnt", "2"}}));
    EXPECT_FALSE(logic.IsUserInRoom(1002));
    Notice("notifyenter", Body({{"id", "1002"},
                                {"nickname", "%C4%E3"},
                                {"chatid", "1002_c"},
                                {"level", "1"},
                                {"beautyid", "51002"},
                                {"photoid", "0"},
                                {"role", "0"},
                                {"cnt", "3"}}));
    std::vector<int> codes = Settle(ui);
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(codes[0], ROOM_NOTIFY_USER_LEAVE);
    EXPECT_EQ(ui.posted[0].number, 2);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), ROOM_NOTIFY_USER_ENTER), 1);
    EXPECT_TRUE(logic.IsUserInRoom(1002));
    RoomUserInfo u;
    ASSERT_TRUE(CRoomInfoMgr::GetInstance().GetRoomUser(kRoom, 1002, u));
    EXPECT_EQ(u.nickname, "\xC4\xE3");

    // A leave is swept between 10 and 20 seconds later, across a wrap of the tick count.
    now = 0xFFFFF000u;
    Notice("notifyexit", Body({{"id", "1003"}, {"cnt", "2"}}));
    EXPECT_EQ(logic.PendingLeaveCount(), 1u);
    now += 20001;
    EXPECT_TRUE(PumpUntil([&] { return logic.PendingLeaveCount() == 0; }, 3000));
    EXPECT_FALSE(CRoomInfoMgr::GetInstance().HasUser(kRoom, 1003));

    // Other letter cases are no command.
    size_t before = Settle(ui).size();
    Notice("NotifyEnter", Body({{"id", "1004"},
                                {"nickname", "x"},
                                {"chatid", "1004"},
                                {"level", "1"},
                                {"beautyid", "1"},
                                {"photoid", "0"},
                                {"role", "0"},
                                {"cnt", "3"}}));
    EXPECT_EQ(Settle(ui).size(), before);
    EXPECT_FALSE(CRoomInfoMgr::GetInstance().HasUser(kRoom, 1004));
}

TEST_F(RoomNotices, UserRoomAndOperationNotices) {
    const struct {
        const char* cmd;
        std::string body;
        std::vector<int> room, frameCodes;
    } rows[] = {
        {"notifyuserinfo", Body({{"id", "1002"}, {"xiubi", "9"}, {"xiubiver", "9"}}), {ROOM_NOTIFY_USER_CHANGED}, {}},
        {"notifyuserinfo", Body({{"id", "1001"}, {"xiubi", "9"}, {"xiubiver", "4"}}), {}, {}},
        {"notifyroominfo", Body({{"id", "9999"}, {"name", "x"}}), {}, {}},
        {"notifyop", Body({{"type", "6"}, {"tid", "1002"}, {"fid", "1003"}}), {}, {}},
        {"notifyop", Body({{"type", "6"}, {"tid", "1001"}, {"fid", "1003"}}), {}, {ROOM_NOTIFY_ROOM_FULL}},
        {"notifyop", Body({{"type", "7"}, {"tid", "1002"}, {"fid", "1003"}}), {}, {}},
        {"notifyop", Body({{"type", "2"}, {"tid", "1002"}, {"fid", "1003"}}), {ROOM_NOTIFY_CHAT_LINE}, {}},
        {"notifyrole", Body({{"tid", "1003"}, {"fid", "1002"}, {"rid", "1"}, {"role", "20"}}), {}, {}},
        {"notifyrole",
         Body({{"tid", "1002"}, {"fid", "4242"}, {"rid", "1"}, {"role", "30"}}),
         {ROOM_NOTIFY_ROLE_CHANGED},
         {}},
        {"notifylogin", Body({{"id", "1001"}}), {}, {ROOM_NOTIFY_LOGIN_ELSEWHERE}},
        {"notifyrestart", "", {}, {ROOM_NOTIFY_SERVER_RESTART}},
        {"notifywelword", "wellist{\nwelword<uid|word>{\n1002|hi\n1003|yo\n}\n}\n", {}, {}},
    };
    for (auto& r : rows) {
        ui.posted.clear();
        frame.posted.clear();
        Notice(r.cmd, r.body);
        EXPECT_EQ(Settle(ui), r.room) << r.cmd << " " << r.body;
        EXPECT_EQ(frame.Codes(), r.frameCodes) << r.cmd << " " << r.body;
    }
    // Balances of another user are not stored in the room; my older coin version changes nothing.
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetAccount().xiubi, 100u);
    EXPECT_EQ(CRoomInfoMgr::GetInstance().GetUserMuteState(kRoom, 1002), 2u);
    EXPECT_EQ(CRoomInfoMgr::GetInstance().GetUserRole(kRoom, 1002), 30u);
    EXPECT_FALSE(CRoomInfoMgr::GetInstance().IsWelWordCoundFull(kRoom));
}

TEST_F(RoomNotices, MyOwnDetailsReachTheFrame) {
    Notice("notifyuserinfo", Body({{"id", "1001"}, {"xiubi", "9"}, {"xiubiver", "4"}}));
    PumpMessagesFor(30);
    ASSERT_EQ(frame.posted.size(), 1u);
    EXPECT_EQ(frame.posted[0].msg, WM_UPDATE_MY_INFO);
    EXPECT_TRUE(ui.posted.empty());
    Notice("notifyuserinfo", Body({{"id", "1001"}, {"level", "7"}, {"xiubi", "9"}, {"xiubiver", "6"}}));
    EXPECT_TRUE(ui.WaitCode(ROOM_NOTIFY_USER_CHANGED));
    EXPECT_EQ(ui.posted.back().number, USER_CHANGE_LEVEL | USER_CHANGE_COIN);
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    EXPECT_EQ(a.xiubi, 9u);
    EXPECT_EQ(a.level, 7u);
}

TEST_F(RoomNotices, UntrustedNoticeTextsPassTheWhitelist) {
    const struct {
        const char* cmd;
        std::string body;
        int flags;
        const char* shows;  // a part of the line, or null: the tip replaces it
    } rows[] = {
        {"notifyroominfo", Body({{"id", "3003"}, {"msg1", UrlEncode::Encode("00050005hello")}}), 3, "hello"},
        {"notifyroominfo", Body({{"id", "3003"}, {"msg2", UrlEncode::Encode("00200020<span onmouseover=x>a</span>")}}),
         3, nullptr},
        {"notifynotice", Body({{"content", UrlEncode::Encode("<b>up</b>")}, {"link", "http://a/\"x"}}), 4, "up"},
        {"notifynotice", Body({{"content", UrlEncode::Encode("<img src=x onerror=y>")}, {"link", ""}}), 4, nullptr},
        {"notifytmpnotice", Body({{"id", "1002"}, {"word", UrlEncode::Encode("<script>x</script>")}}), 2, nullptr},
        {"notifybroadcast",
         Body(
             {{"word", UrlEncode::Encode("hi")}, {"id", "1002"}, {"beautyid", "0"}, {"nickname", "n"}, {"level", "1"}}),
         4, "1002"},
    };
    for (auto& r : rows) {
        ui.posted.clear();
        Notice(r.cmd, r.body);
        ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_CHAT_LINE)) << r.cmd;
        const Posted& p = ui.posted.back();
        EXPECT_EQ(p.flags, r.flags) << r.cmd;
        if (r.shows) EXPECT_NE(p.text.find(r.shows), std::string::npos) << p.text;
        else EXPECT_NE(p.text.find("无效html标签"), std::string::npos) << p.text;
        EXPECT_EQ(p.text.find("\"x"), std::string::npos) << p.text;
    }
}

TEST_F(RoomNotices, GiftsStampsAndMicrophones) {
    ui.chatReady = false;  // paced and cheque lines wait
    auto gift = [&](const char* from, const char* to, const char* gid, const char* cnt) {
        ui.posted.clear();
        Notice("notifygift", Body({{"fid", from}, {"tid", to}, {"gid", gid}, {"cnt", cnt}, {"hiscnt", "0"}}));
        PumpMessagesFor(30);
        return ui.Count(ROOM_NOTIFY_CHAT_LINE);
    };
    EXPECT_EQ(gift("1002", "1001", "501", "98"), 0u);
    EXPECT_EQ(gift("1002", "1001", "501", "99"), 1u);
    EXPECT_EQ(gift("1002", "1001", "21012", "150"), 0u);
    EXPECT_EQ(gift("1002", "1003", "501", "150"), 0u);
    std::vector<RoomGiftRecord> received;
    CRoomInfoMgr::GetInstance().GetRecvGiftRecords(kRoom, received);
    EXPECT_EQ(received.size(), 3u);
    EXPECT_EQ(logic.GiftShows().PendingUnits(), 98u + 99 + 150);
    EXPECT_EQ(logic.GiftShows().PendingCheques(), 1u);

    // Stamps: nothing without the room id; tag 0 clears and posts 19 with 0x40.
    CRoomInfoMgr::GetInstance().SetUserTag(kRoom, 1002, 9);
    ui.posted.clear();
    Notice("notifytag", Body({{"tid", "1002"}, {"tagid", "0"}}));
    EXPECT_TRUE(Settle(ui).empty());
    Notice("notifytag", Body({{"tid", "1002"}, {"tagid", "0"}, {"rid", "3003"}}));
    EXPECT_EQ(Settle(ui), std::vector<int>{ROOM_NOTIFY_USER_CHANGED});
    EXPECT_EQ(ui.posted[0].number, USER_CHANGE_TAG);

    // Microphone off: 27, a line, then 39; on for me with op "listen": nothing.
    ui.posted.clear();
    Notice("notifymicoff", Body({{"tid", "1002"}, {"fid", "1002"}, {"idx", "1"}, {"type", "1"}}));
    EXPECT_EQ(Settle(ui), (std::vector<int>{ROOM_NOTIFY_MIC_OFF, ROOM_NOTIFY_CHAT_LINE, ROOM_NOTIFY_MIC_STATE}));
    ui.posted.clear();
    Notice("notifymicon", Body({{"tid", "1001"}, {"op", "listen"}, {"type", "1"}}));
    EXPECT_TRUE(Settle(ui).empty());
    Notice("notifymicon", Body({{"tid", "1001"},
                                {"op", "publish"},
                                {"type", "1"},
                                {"micattr", "3"},
                                {"idx", "0"},
                                {"url", "rtmp://x/live/a"},
                                {"tm", "1"},
                                {"md5", "m"},
                                {"fid", "1001"}}));
    std::vector<int> codes = Settle(ui);
    ASSERT_EQ(codes.back(), ROOM_NOTIFY_MIC_STREAM);
    EXPECT_EQ(ui.posted.back().stream.kind, 1);
    EXPECT_EQ(CRoomInfoMgr::GetInstance().GetUserMicState(kRoom, kSelf), 1u);

    // A global gift from a hidden sender: masked unless I am involved.
    for (const char* to : {"51003", "51001"}) {
        Notice("notifyglobalgift", Body({{"fname", "a"},
                                         {"tname", "b"},
                                         {"gid", "501"},
                                         {"cnt", "1"},
                                         {"fbeautyid", "60000"},
                                         {"tbeautyid", to},
                                         {"rid", "1"},
                                         {"flevel", "1"},
                                         {"tlevel", "1"},
                                         {"tm", "0"},
                                         {"fhide", "1"}}));
    }
    ui.posted.clear();
    for (int i = 0; i < 2; ++i) {
        ui.bannerIdle = true;
        ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_GLOBAL_GIFT, size_t(i + 1)));
    }
    std::vector<std::string> senders;
    for (auto& p : ui.posted)
        if (p.code == ROOM_NOTIFY_GLOBAL_GIFT) senders.push_back(p.banner.senderName);
    EXPECT_EQ(senders, (std::vector<std::string>{"神秘人", "a"}));
}

TEST_F(RoomNotices, ChatMessagesAreDecodedAndChecked) {
    EXPECT_EQ(CRoomLogic::ChatIdToUid("12345_x"), 12345u);
    EXPECT_EQ(CRoomLogic::ChatIdToUid(""), 0u);
    EXPECT_EQ(CRoomLogic::ChatIdToUid("4294967297"), 1u);

    const struct {
        std::string to, text;
        int flags;
        const char* shows;
    } rows[] = {
        {"", UrlEncode::EncodeQuery("hello world"), 1, "hello world"},
        {"1001_c", UrlEncode::EncodeQuery("\xC4\xE3\xBA\xC3"), 2, "\xC4\xE3\xBA\xC3"},
        {"1003_c", UrlEncode::EncodeQuery("<span onmouseover=\"x()\">a</span>"), 1, "无效html标签"},
    };
    for (auto& r : rows) {
        ui.posted.clear();
        logic.NotifyPubMsg("n", "m", "1002_c", r.to, r.text);
        ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_CHAT_LINE));
        EXPECT_EQ(ui.posted[0].flags, r.flags) << r.text;
        EXPECT_NE(ui.posted[0].text.find(r.shows), std::string::npos) << ui.posted[0].text;
    }
    ui.posted.clear();
    logic.NotifyPriMsg("n", "1002_c", UrlEncode::EncodeQuery("<b>psst</b>"));
    ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_CHAT_LINE));
    EXPECT_EQ(ui.posted[0].flags, CHAT_VIEW_OWN);
    EXPECT_NE(ui.posted[0].text.find("psst"), std::string::npos);

    // Not connected: a tip line and false; nothing else.
    ui.posted.clear();
    EXPECT_FALSE(logic.SendChatMsg(0, "x", true));
    ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_CHAT_LINE));
    EXPECT_EQ(ui.posted[0].flags, CHAT_VIEW_OWN);
}

// A flooding chat server bounds nothing: the notices kept while the window is not ready (oldest dropped),
// the chat lines waiting for the window, the live-signature requests of one microphone.
TEST_F(RoomNotices, FloodsFromTheChatServerAreBounded) {
    const std::string pad(1 << 20, 'p');
    for (int i = 0; i < 24; ++i)
        logic.NotifySysMsg("notifybroadcast", Body({{"word", "w" + std::to_string(i) + "w"},
                                                    {"id", "1002"},
                                                    {"beautyid", "1"},
                                                    {"nickname", "n"},
                                                    {"level", "1"},
                                                    {"pad", pad}}));
    logic.SetRoomWindowReady(true);
    logic.SetUserListLoaded(true);
    ui.posted.clear();
    logic.NotifySysMsg("notifyrestart", "cmd=notifyrestart\n");
    PumpMessagesFor(50);
    std::string all;
    for (auto& p : ui.posted) all += p.text;
    EXPECT_LT(ui.Count(ROOM_NOTIFY_CHAT_LINE), 20u);
    EXPECT_NE(all.find("w23w"), std::string::npos);
    EXPECT_EQ(all.find("w0w"), std::string::npos);

    // Lines waiting for the window: at most the bound, and taken again once the window has caught up.
    ui.posted.clear();
    for (int i = 0; i < 3000; ++i) logic.NotifyPubMsg("a", "", "1002_c", "", "hello");
    PumpMessagesFor(50);
    EXPECT_EQ(ui.Count(ROOM_NOTIFY_CHAT_LINE), size_t(CRoomLogic::kMaxPendingLines));
    logic.NotifyPubMsg("a", "", "1002_c", "", "again");
    ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_CHAT_LINE, size_t(CRoomLogic::kMaxPendingLines) + 1));

    // A thousand microphone notices of one microphone ask for its live signature once.
    CMsgClientThread& worker = CMsgClientThread::GetInstance();
    size_t queued = worker.QueueSize();
    for (int i = 0; i < 1000; ++i)
        Notice("notifymicon", Body({{"tid", "1002"}, {"fid", "1002"}, {"type", "1"}, {"idx", "1"}}));
    EXPECT_LE(worker.QueueSize(), queued + 1);
}

TEST_F(RoomNotices, EarlyNoticesAreReplayedInOrderBeforeTheNextOne) {
    const std::string gbk = "\xC4\xE3\xBA\xC3\x5C";
    logic.NotifySysMsg("notifybroadcast",
                       Body({{"word", "first"}, {"id", "1002"}, {"beautyid", "1"}, {"nickname", gbk}, {"level", "1"}}));
    logic.NotifySysMsg("notifyrestart", "cmd=notifylogin\nid=1001\n");
    PumpMessagesFor(30);
    EXPECT_TRUE(ui.posted.empty());
    logic.SetRoomWindowReady(true);
    logic.SetUserListLoaded(true);
    PumpMessagesFor(30);
    EXPECT_TRUE(ui.posted.empty());  // the cache waits for the next notice
    logic.NotifySysMsg(
        "notifybroadcast",
        Body({{"word", "second"}, {"id", "1002"}, {"beautyid", "1"}, {"nickname", "n"}, {"level", "1"}}));
    ASSERT_TRUE(ui.WaitCode(ROOM_NOTIFY_CHAT_LINE, 2));
    EXPECT_NE(ui.posted[0].text.find("first"), std::string::npos);
    EXPECT_NE(ui.posted[0].text.find(gbk), std::string::npos);  // raw GBK bytes survive the cache
    EXPECT_NE(ui.posted[1].text.find("second"), std::string::npos);
    // The body's cmd line took over on replay: the second cached notice became notifylogin.
    EXPECT_EQ(Settle(frame), std::vector<int>{ROOM_NOTIFY_LOGIN_ELSEWHERE});
}

}  // namespace

namespace {

TEST_F(RoomNotices, AStopLeftFromThePreviousRoomStartsNoReconnect) {
    logic.UnInit();
    logic.SignalChatStopped();
    logic.SetRoomUI(&ui);
    logic.Init(frame.GetHWND(), kRoom);
    PumpMessagesFor(300);
    EXPECT_EQ(ui.FindLine("聊天服务断开"), nullptr);
    EXPECT_EQ(CMsgClientThread::GetInstance().QueueSize(), 0u);
    logic.SignalChatStopped();  // a stop in this room does
    EXPECT_TRUE(ui.WaitLine("聊天服务断开"));
}

}  // namespace
