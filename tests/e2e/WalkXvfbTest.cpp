// A newcomer's walk through the real program Varnet against the whole local service stack, driven from
// outside with xdotool on the test display: the login dialog, a guest login, the lobby with its directory and
// home page, a room entered from the directory, its performers, other users' chat, a Chinese line with an
// emoticon sent, the settings dialog, leaving, an account login, quitting; the updater runs beside it. Every
// step checks what the user sees (a window, a change in a view, a line in a pane, what the other users
// receive) and saves a screenshot under build/screenshots/e2e. Skipped without VARNET_TEST_DISPLAY;
// VARNET_E2E_DATA names a data folder to keep.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "E2eDriver.h"
#include "RoomNotify.h"

using namespace DuiLib;

using namespace e2e;

namespace {

// Prints one line of the walk's report.
void Step(const char* what, const std::string& shot = "") {
    std::printf("walk: %s%s%s\n", what, shot.empty() ? "" : "  ", shot.c_str());
    std::fflush(stdout);
}

}  // namespace

TEST(Walk, NewcomerThroughEveryWindow) {
    std::string why;
    if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
    testenv::Stack stack;
    testenv::StackOptions options;
    options.binDir = VARNET_BINARY_DIR "/bin";
    if (const char* keep = getenv("VARNET_E2E_DATA")) options.dataDir = keep;  // kept, with the program's logs
    ASSERT_TRUE(stack.Start(options, &why)) << why;
    const int room = testenv::Stack::kBusyRoom;
    Program varnet;
    ASSERT_TRUE(varnet.Start(stack, true));  // what it plays goes to a file
    const std::string shots = ShotDir();

    // Start and a guest login: the lobby with its directory and its home page.
    Window lobby;
    ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    Step("the login dialog opened", shots + "/01-login.png");
    Screenshot(lobby.rc, shots + "/02-lobby.png");
    EXPECT_EQ(stack.Rooms().RequestCount("getanonyuser"), 1);
    EXPECT_EQ(stack.Rooms().RequestCount("getallnav"), 1);
    Step("signed in as a guest: the lobby shows the directory and the home page", shots + "/02-lobby.png");

    // A room from the directory: the category's room list in the page, then its link.
    Window roomWnd;
    ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, stack, lobby, roomWnd, &why)) << why;
    Step("the directory entry showed the category's rooms", shots + "/03-directory-room-list.png");
    ASSERT_TRUE(stack.Chat().WaitMembers(room, 1, 20000)) << "the room's chat did not connect";
    ASSERT_TRUE(varnet.WaitLog("RoomManager.txt", "创建房间界面-end"));
    usleep(1500000);  // laid out and drawn
    Screenshot(roomWnd.rc, shots + "/04-room.png");
    Step("entered the room from the directory: its window opened and its chat connected", shots + "/04-room.png");

    // The performers: three publishers on the room's microphones; their windows show moving pictures.
    SkinLayout skin("RoomSkin.xml", roomWnd.Width(), roomWnd.Height());
    if (stack.HasRtmp()) {
        EXPECT_TRUE(stack.WaitPerformersLive(20000)) << stack.PerformersLive() << " performers publish";
        // Each of the three microphone windows shows moving pictures once the room plays its streams.
        int moving = 0;
        WaitFor([&] { return (moving = MovingMicWindows(roomWnd)) == 3; }, 10000);
        EXPECT_EQ(moving, 3) << "only " << moving << " of the 3 performers are shown";
        if (moving < 3) {  // what the RTMP server saw of the players
            std::istringstream log(stack.Rtmp().ErrorLog());
            int plays = 0, publishes = 0;
            for (std::string line; std::getline(log, line);) {
                plays += line.find(" play: ") != std::string::npos ? 1 : 0;
                publishes += line.find(" publish: ") != std::string::npos ? 1 : 0;
            }
            std::printf("walk: the RTMP server saw %d publish and %d play requests\n", publishes, plays);
        }
        // Their tones reach the sound output.
        int peak = 0;
        EXPECT_TRUE(WaitFor([&] { return (peak = varnet.SoundPeak()) > 1000; }, 10000))
            << "the performers are not heard (peak " << peak << ")";
        std::printf("walk: performers publishing %d, microphone windows with moving pictures %d of 3, sound peak %d\n",
                    stack.PerformersLive(), moving, peak);
    }

    // Another user enters and talks, and gives the newcomer a gift: the public view shows the line, the
    // gift's effect plays.
    std::unique_ptr<testenv::PeerClient> dora = stack.Peer("dora", room, &why);
    ASSERT_TRUE(dora) << why;
    const RECT publicView = ToScreen(roomWnd, skin.Rect("webbrowserMsgView"));
    auto before = Grab(publicView);
    ASSERT_TRUE(dora->Say("大家好，欢迎来到欢乐大厅"));
    EXPECT_TRUE(varnet.WaitPaneLine(CHAT_VIEW_PUBLIC, Utf8("大家好，欢迎来到欢乐大厅")))
        << "another user's line is not shown";
    EXPECT_TRUE(WaitFor([&] { return Difference(before, Grab(publicView)) > 0.002; }, 10000))
        << "the public view did not change";
    uint32_t me = 0;
    stack.Rooms().WithData([&](testenv::SvcData& d) {
        for (uint32_t uid : d.rooms[room].users)
            if (d.users[uid].guest) me = uid;
    });
    ASSERT_NE(me, 0u);
    ASSERT_TRUE(stack.PeerGift(*dora, me, testenv::Stack::kEffectGift, 1)) << dora->LastError();
    Window effect;
    EXPECT_TRUE(WaitWindow("^VarnetGiftEffect$", effect, 10000)) << "no gift effect";
    usleep(300000);
    Screenshot(roomWnd.rc, shots + "/05-chat-and-gift.png");
    Step("another user's chat line showed in the public view; her gift's effect played",
         shots + "/05-chat-and-gift.png");

    // A Chinese line with an emoticon: typed into the input, the emoticon picked from its panel, sent.
    const RECT ownView = ToScreen(roomWnd, skin.Rect("webbroserMsgViewSelf"));
    Click(roomWnd, skin.Center("controlRichEditRect"));
    usleep(300000);
    EXPECT_TRUE(TypeText(Utf8("晚上好，主播")));
    Click(roomWnd, skin.Center("btnChatFace"));
    Window faces;
    if (WaitWindow("^VarnetChatFaceSelectPanel$", faces, 5000)) {
        usleep(800000);  // the pictures are loaded
        Screenshot(faces.rc, shots + "/06-emoticons.png");
        Click(faces, {6 + 16, 4 + 34 + 16});
        EXPECT_TRUE(varnet.WaitLog("RoomUI.txt", "聊天选择表情 表情id=", 5000));
    } else {
        ADD_FAILURE() << "the emoticon panel did not open";
    }
    usleep(300000);
    auto ownBefore = Grab(ownView);
    Click(roomWnd, skin.Center("btnChatSend"));
    const std::string sent = "晚上好，主播";
    EXPECT_TRUE(dora->WaitLine(
        [&](const testenv::PeerClient::Line& l) { return l.text.find(sent) != std::string::npos; }, 10000))
        << "the other users did not receive the line";
    EXPECT_TRUE(varnet.WaitPaneLine(CHAT_VIEW_OWN, Utf8("晚上好，主播"))) << "the sent line is not in the own view";
    EXPECT_TRUE(WaitFor([&] { return Difference(ownBefore, Grab(ownView)) > 0.002; }, 10000))
        << "the sent line did not show in the own view";
    usleep(500000);
    Screenshot(roomWnd.rc, shots + "/07-sent.png");
    Step("typed and sent a Chinese line with an emoticon: the other users got it", shots + "/07-sent.png");

    // The settings dialog from the microphone column's video button; its cancel button closes it.
    Raise(roomWnd);
    Click(roomWnd, skin.Center("VideoSetupBTN"));
    Window settings;
    if (WaitWindow(Utf8("^房间设置对话框$"), settings, 10000)) {
        usleep(800000);
        Screenshot(settings.rc, shots + "/08-settings.png");
        SkinLayout settingsSkin("RoomConfigSet.xml", settings.Width(), settings.Height());
        Click(settings, settingsSkin.Center("RoomConfigCancelBTN"));
        EXPECT_TRUE(WaitFor([&] { return WindowGone(Utf8("^房间设置对话框$")); }, 10000))
            << "the settings dialog stayed";
        Step("opened the settings dialog and closed it", shots + "/08-settings.png");
    } else {
        ADD_FAILURE() << "the video button did not open the settings dialog";
    }

    // Leaving: the room window's close button.
    Click(roomWnd, {roomWnd.Width() - 10 - 16, 25});
    EXPECT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("exitroom") == 1; })) << "the room was not left";
    EXPECT_TRUE(stack.Chat().WaitMembers(room, 1, 10000)) << "leaving the room did not end its chat";  // dora stays
    EXPECT_TRUE(WaitFor([&] { return WindowGone(".*[(]" + std::to_string(room) + "[)]"); }, 10000));
    Step("left the room: its window closed and its chat ended");

    // An account: the main menu's first entry opens the login dialog.
    usleep(500000);
    SkinLayout lobbySkin("VarnetSkin.xml", lobby.Width(), lobby.Height());
    Click(lobby, lobbySkin.Center("MainMenuBTN"));
    usleep(600000);
    Screenshot({0, 0, 1280, 1024}, shots + "/09-main-menu.png");
    Key("Down");
    usleep(200000);
    Key("Return");
    Window login;
    ASSERT_TRUE(WaitWindow(Utf8("^登录对话框$"), login, 10000)) << "the main menu did not open the login dialog";
    usleep(400000);
    SkinLayout loginSkin("LoginSkin.xml", login.Width(), login.Height());
    Click(login, loginSkin.Center("UserNameEdit"));
    Key("ctrl+a");
    TypeText("alice");
    Click(login, loginSkin.Center("PassWordEdit"));
    TypeText("secret");
    Screenshot(login.rc, shots + "/10-account-login.png");
    Click(login, loginSkin.Center("LoginBTN"));
    EXPECT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("login") >= 1; }, 10000)) << "no account login sent";
    EXPECT_TRUE(WaitFor([&] { return WindowGone(Utf8("^登录对话框$")); }, 10000)) << "the login dialog stayed";
    EXPECT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("getallnav") >= 2; }, 10000));
    usleep(1000000);
    Screenshot(lobby.rc, shots + "/11-lobby-alice.png");
    Step("signed in as alice: the lobby shows her name and balance", shots + "/11-lobby-alice.png");

    // The updater ran beside it: the newer gift catalogue is in the installation folder.
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(stack.InstallDir() + "/res/gift/19999.png"); }, 20000))
        << "the updater did not bring the newer catalogue";
    Step("the updater brought the newer gift catalogue (gift 19999)");

    // Quit: the close button asks first; the program ends in order.
    ASSERT_TRUE(QuitFromLobby(lobby, &why)) << why;
    int status = -1;
    EXPECT_TRUE(varnet.WaitExit(10000, &status)) << "Varnet did not end in order (status " << status << ")";
    EXPECT_NE(varnet.Log("Speed.txt").find("WinMain shutdown done"), std::string::npos);
    EXPECT_GE(stack.Rooms().RequestCount("logout"), 1);
    Step("quit: Varnet ended in order");
}
