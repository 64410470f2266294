// The real program in a room while its servers fail under it, on the test display: the chat server killed and
// started again, nginx-rtmp stopped and started, the room service stalling and then answering 500, the update
// service serving a broken catalogue; and quitting at any moment ends the process within seconds, in order.
// What is checked is what a user meets (views, windows, answers of the UI thread) and what the servers see.
// Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "E2eDriver.h"
#include "RoomNotify.h"

using namespace DuiLib;

using namespace e2e;
namespace fs = std::filesystem;

namespace {

constexpr int kRoom = testenv::Stack::kBusyRoom;
// The program ends within this after the quit is confirmed.
constexpr int kQuitMs = 8000;

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
    }
    // The stack with heartbeats every 5 s, the program, a guest in the lobby.
    void StartToLobby(const std::function<void()>& beforeProgram = nullptr) {
        testenv::StackOptions options;
        options.binDir = VARNET_BINARY_DIR "/bin";
        options.updateSettings = "RoomHeartBeat=5000";
        std::string why;
        ASSERT_TRUE(st->Start(options, &why)) << why;
        if (beforeProgram) beforeProgram();
        ASSERT_TRUE(varnet.Start(*st));
        ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    }
    void EnterRoom() {
        std::string why;
        ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, *st, lobby, room, &why)) << why;
        ASSERT_TRUE(st->Chat().WaitMembers(kRoom, 1, 20000)) << "the room's chat did not connect";
        ASSERT_TRUE(varnet.WaitLog("RoomManager.txt", "创建房间界面-end"));
        usleep(1000000);
    }
    // Quits through the lobby and checks the process ends in order within kQuitMs.
    void QuitInOrder(const char* when) {
        std::string why;
        std::chrono::steady_clock::time_point start;
        ASSERT_TRUE(QuitFromLobby(lobby, &why, &start)) << when << ": " << why;
        int status = -1;
        const bool ended = varnet.WaitExit(kQuitMs, &status);
        EXPECT_TRUE(ended) << when << ": Varnet did not end in order, status " << status;
        if (!ended) std::printf("%s: the program's output:\n%s\n", when, EndOfOutput(varnet.Output()).c_str());
        long ms = long(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        EXPECT_NE(varnet.Log("Speed.txt").find("WinMain shutdown done"), std::string::npos) << when;
        std::printf("quit %s: ended %ld ms after the confirmation\n", when, ms);
    }
    // A fresh stack and program (the old ones ended).
    void Fresh() {
        varnet.Kill();
        st.reset();
        st = std::make_unique<testenv::Stack>();
    }
    std::unique_ptr<testenv::Stack> st = std::make_unique<testenv::Stack>();
    Program varnet;
    Window lobby, room;
};

TEST_F(Faults, ChatServerKilledAndStartedAgainMidRoom) {
    StartToLobby();
    EnterRoom();
    SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());
    const RECT ownView = ToScreen(room, skin.Rect("webbroserMsgViewSelf"));
    const RECT publicView = ToScreen(room, skin.Rect("webbrowserMsgView"));
    auto before = Grab(ownView);
    st->StopChat();
    // The tip line in the own view.
    EXPECT_TRUE(WaitFor([&] { return Difference(before, Grab(ownView)) > 0.002; }, 15000)) << "no tip line";
    Screenshot(room.rc, ShotDir() + "/fault-chat-down.png");
    EXPECT_TRUE(PingMs(room.id) >= 0) << "the room window does not answer while the chat server is down";
    ASSERT_TRUE(st->StartChat());
    ASSERT_TRUE(st->Chat().WaitMembers(kRoom, 1, 60000)) << "the room did not reconnect to its chat";
    EXPECT_TRUE(varnet.WaitPaneLine(CHAT_VIEW_OWN, Utf8("聊天服务断开"))) << "no tip line in the own view";
    // Chat works again both ways.
    std::string why;
    std::unique_ptr<testenv::PeerClient> peer = st->Peer("dora", kRoom, &why);
    ASSERT_TRUE(peer) << why;
    auto pub = Grab(publicView);
    ASSERT_TRUE(peer->Say("又回来了"));
    EXPECT_TRUE(varnet.WaitPaneLine(CHAT_VIEW_PUBLIC, Utf8("又回来了")))
        << "the line after the reconnection is not shown";
    EXPECT_TRUE(WaitFor([&] { return Difference(pub, Grab(publicView)) > 0.002; }, 10000));
    ASSERT_TRUE(SendChatLine(room, Utf8("重连以后还能聊天")));
    const std::string sent = "重连以后还能聊天";
    EXPECT_TRUE(peer->WaitLine(
        [&](const testenv::PeerClient::Line& l) { return l.text.find(sent) != std::string::npos; }, 10000))
        << "the line after the reconnection did not arrive";
    Screenshot(room.rc, ShotDir() + "/fault-chat-back.png");
    QuitInOrder("after the chat server came back");
}

TEST_F(Faults, RtmpServerStoppedAndStartedEverySlotRelinks) {
    StartToLobby();
    if (!st->HasRtmp()) GTEST_SKIP() << "nginx with its RTMP module is not installed";
    EnterRoom();
    ASSERT_TRUE(st->WaitPerformersLive(20000));
    auto moving = [&] { return MovingMicWindows(room); };
    int before = 0;
    WaitFor([&] { return (before = moving()) == 3; }, 10000);
    EXPECT_EQ(before, 3) << "the performers are not all shown before the stop";
    st->StopRtmp();
    EXPECT_TRUE(WaitFor([&] { return st->PerformersLive() == 0; }, 15000)) << "the performers did not see the stop";
    EXPECT_GE(PingMs(room.id), 0) << "the room window does not answer with the RTMP server gone";
    ASSERT_TRUE(st->StartRtmp());
    EXPECT_TRUE(st->WaitPerformersLive(30000)) << st->PerformersLive() << " performers publish again";
    // Every window that played before plays again.
    int after = 0;
    EXPECT_TRUE(WaitFor([&] { return (after = moving()) >= before; }, 30000))
        << before << " microphone windows moved before the restart, " << after << " after";
    std::printf("RTMP restart: %d performers publish again; microphone windows moving before %d, after %d of 3\n",
                st->PerformersLive(), before, after);
    Screenshot(room.rc, ShotDir() + "/fault-rtmp-back.png");
    QuitInOrder("after the RTMP server came back");
}

TEST_F(Faults, RoomServiceStallsThenAnswers500) {
    StartToLobby();
    EnterRoom();
    auto heartbeats = [&] { return st->Rooms().RequestCount("heartbeat"); };
    ASSERT_TRUE(WaitFor([&] { return heartbeats() >= 1; }, 15000)) << "no heartbeat";
    testenv::RoomServiceFault stall;
    stall.kind = testenv::RoomServiceFault::Stall;
    stall.stallMs = 3000;
    st->Rooms().SetFault("", stall);
    int at = heartbeats();
    EXPECT_TRUE(WaitFor([&] { return heartbeats() >= at + 2; }, 25000))
        << "heartbeats stopped while the service stalls";
    long stalledPing = PingMs(room.id);
    EXPECT_GE(stalledPing, 0);
    EXPECT_LT(stalledPing, 1000) << "the UI thread waits on the stalled service";
    testenv::RoomServiceFault broken;
    broken.kind = testenv::RoomServiceFault::Http500;
    st->Rooms().SetFault("", broken);
    at = heartbeats();
    EXPECT_TRUE(WaitFor([&] { return heartbeats() >= at + 2; }, 25000)) << "heartbeats stopped after answers of 500";
    // A request of the user fails cleanly: leaving the room closes its window although exitroom fails.
    SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());
    Raise(room);
    Click(room, {room.Width() - 10 - 16, 25});
    EXPECT_TRUE(WaitFor([&] { return WindowGone(".*[(]" + std::to_string(kRoom) + "[)]"); }, 10000));
    EXPECT_GE(PingMs(lobby.id), 0);
    Screenshot(lobby.rc, ShotDir() + "/fault-service-500.png");
    // Quit while every answer stalls far longer than the quit may take.
    stall.stallMs = 30000;
    st->Rooms().SetFault("", stall);
    QuitInOrder("with the room service stalled");
    st->Rooms().ClearFaults();
}

TEST_F(Faults, BrokenCatalogueReplacesNothing) {
    // A newer gift catalogue whose file is cut short, and a version file that is not JSON.
    struct Case {
        const char* file;
        const char* logLine;
    };
    const Case cases[] = {{"gift.conf", "解析返回的json串失败"}, {"version.conf", "获取最新的版本文件失败，退出更新"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        // The served copy is read at every request: cut it short before the program (and its updater) starts.
        StartToLobby([&] {
            const std::string served = st->DataDir() + "/served-res/";
            std::string text = ReadFile(served + c.file);
            std::ofstream(served + c.file, std::ios::binary | std::ios::trunc) << text.substr(0, text.size() / 2);
        });
        const std::string original = ReadFile(VARNET_BINARY_DIR "/bin/res/gift.conf");
        if (!varnet.WaitLog("Trenby.txt", c.logLine, 30000))
            std::printf("updater log: %s\n", varnet.Log("Trenby.txt").c_str());
        EXPECT_TRUE(varnet.LogHas("Trenby.txt", c.logLine));
        usleep(1000000);
        EXPECT_EQ(ReadFile(st->InstallDir() + "/res/gift.conf"), original) << "the gift catalogue was replaced";
        EXPECT_FALSE(fs::exists(st->InstallDir() + "/res/gift/19999.png"));
        EXPECT_FALSE(varnet.LogHas("VarnetFrame.txt", "资源更新 mask=")) << "the lobby was told of a change";
        EXPECT_GE(PingMs(lobby.id), 0);
        QuitInOrder("after the broken catalogue");
        Fresh();
    }
}

// Quitting at each moment of the walk: on the login dialog, in the lobby, while a room is being entered, in
// the room.
TEST_F(Faults, QuitAtAnyMomentEndsWithinSeconds) {
    {
        testenv::StackOptions options;
        options.binDir = VARNET_BINARY_DIR "/bin";
        std::string why;
        ASSERT_TRUE(st->Start(options, &why)) << why;
        ASSERT_TRUE(varnet.Start(*st));
        Window login;
        ASSERT_TRUE(WaitWindow(Utf8("^登录对话框$"), login));
        usleep(300000);
        SkinLayout skin("LoginSkin.xml", login.Width(), login.Height());
        Click(login, skin.Center("LoginCloseBTN"));
        int status = -1;
        EXPECT_TRUE(varnet.WaitExit(kQuitMs, &status)) << "closing the login dialog: status " << status;
        Fresh();
    }
    for (const char* when : {"lobby", "entering", "room"}) {
        SCOPED_TRACE(when);
        StartToLobby();
        if (std::string(when) == "entering") {
            // The room link of the home page, and the quit at once while the room opens.
            SkinLayout skin("VarnetSkin.xml", lobby.Width(), lobby.Height());
            skin.Manager().FindControl("horLoadingWebUI")->SetVisible(false);
            skin.Manager().FindControl("horMainFrameHtml")->SetVisible(true);
            skin.Manager().UpdateLayout();
            RECT page = skin.Rect("horMainFrameHtml");
            Click(lobby, {page.left + 10 + 70, page.top + 10 + 30});
            WaitFor([&] { return st->Rooms().RequestCount("enterroom") > 0; }, 10000);
        } else if (std::string(when) == "room") {
            EnterRoom();
        }
        QuitInOrder(when);
        Fresh();
    }
}

}  // namespace
