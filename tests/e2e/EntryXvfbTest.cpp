// The real program on the test display, against the local stack, on the roads into and out of rooms: the
// password room from the home page, the directory and the search (the prompt, and again after a wrong
// password); the private-chat box of a guest; going from a room to one that does not exist, then to the
// password room; the favourite button; a session signed in elsewhere; quitting by SIGTERM and SIGINT.
// Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "E2eDriver.h"
#include "RoomNavListUI.h"

using namespace DuiLib;

using namespace e2e;

namespace {

constexpr int kBusy = testenv::Stack::kBusyRoom;
constexpr int kSecret = testenv::Stack::kQuietRoom;  // password "p&w"
constexpr int kMissing = 9999;

class Entry : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
        testenv::StackOptions options;
        options.binDir = VARNET_BINARY_DIR "/bin";
        ASSERT_TRUE(stack.Start(options, &why)) << why;
        ASSERT_TRUE(varnet.Start(stack));
    }
    void TearDown() override {
        if (HasFailure()) std::printf("the program's logs: %s/log\n", stack.DataDir().c_str());
    }
    // The lobby's skin with the home page shown.
    SkinLayout& LobbySkin() {
        if (!lobbySkin) {
            lobbySkin = std::make_unique<SkinLayout>("VarnetSkin.xml", lobby.Width(), lobby.Height());
            lobbySkin->Manager().FindControl("horLoadingWebUI")->SetVisible(false);
            lobbySkin->Manager().FindControl("horMainFrameHtml")->SetVisible(true);
            lobbySkin->Manager().UpdateLayout();
        }
        return *lobbySkin;
    }
    // The first link of the page the lobby shows (the home page's first room, or a room list's room).
    void ClickPageLink(int left = 10) {
        const RECT page = LobbySkin().Rect("horMainFrameHtml");
        const POINT link{page.left + left + 70, page.top + 10 + 30};
        RaiseAt(lobby, link);  // an open room's window may cover it
        Focus(lobby);
        Click(lobby, link);
    }
    // A room list in the lobby's page, then its link.
    void OpenListedRoom(const std::function<void()>& openList) {
        const int pages = stack.Web().Server().Count("/ZeqaShow/getWeekGiftList");
        openList();
        ASSERT_TRUE(WaitFor([&] { return stack.Web().Server().Count("/ZeqaShow/getWeekGiftList") > pages; }, 10000))
            << "no room list";
        usleep(1200000);  // loaded and drawn
        ClickPageLink();
    }
    void FromDirectory(int row) {
        const RECT list = LobbySkin().Rect("Roomlist");
        OpenListedRoom([&] {
            const POINT at{list.left + 60,
                           list.top + CRoomNavListUI::kRowHeight * row + CRoomNavListUI::kRowHeight / 2};
            RaiseAt(lobby, at);
            Focus(lobby);
            Click(lobby, at);
        });
    }
    void FromSearch(int room) {
        OpenListedRoom([&] {
            RaiseAt(lobby, LobbySkin().Center("SearchEdit"));
            Focus(lobby);
            Click(lobby, LobbySkin().Center("SearchEdit"));
            usleep(200000);
            Key("ctrl+a");
            TypeText(std::to_string(room));
            Click(lobby, LobbySkin().Center("SearchBTN"));
        });
    }
    // Types into the password prompt and presses Enter.
    void AnswerPrompt(const Window& prompt, const std::string& password) {
        SkinLayout skin("RoomPWSkin.xml", prompt.Width(), prompt.Height());
        Focus(prompt);
        Click(prompt, skin.Center("EnterRoomPWEdit"));
        usleep(200000);
        TypeText(password);
        Key("Return");
    }
    // The "close the open room?" prompt, answered yes.
    void ConfirmLeaving() {
        Window tip;
        ASSERT_TRUE(WaitWindow("^SoftCloseTipDlg$", tip, 10000)) << "no prompt to close the open room";
        usleep(300000);
        SkinLayout skin("SoftCloseTipSkin.xml", tip.Width(), tip.Height());
        Click(tip, skin.Center("btnOK"));
    }
    // The password prompt for the secret room, answered with `wrong` first when given, then right; the room
    // window opens.
    // (`wrong` holds no character that the query encodes.)
    void EnterSecretRoom(const char* road, const std::string& wrong = "") {
        Window prompt;
        ASSERT_TRUE(WaitWindow("^RoomPWConfirmDlg$", prompt, 15000)) << road << ": no password prompt";
        usleep(300000);
        if (!wrong.empty()) {
            AnswerPrompt(prompt, wrong);
            ASSERT_TRUE(WaitFor(
                [&] {
                    const auto sent = stack.Rooms().Queries("enterroom");
                    return !sent.empty() && sent.back().find("&pwd=" + wrong + "&") != std::string::npos;
                },
                10000))
                << road << ": the wrong password was not sent";
            const unsigned long first = prompt.id;
            ASSERT_TRUE(WaitFor([&] { return FindWindow("^RoomPWConfirmDlg$", prompt) && prompt.id != first; }, 15000))
                << road << ": no prompt after a wrong password";
            usleep(400000);
            Screenshot(prompt.rc, ShotDir() + "/entry-password-again.png");
        }
        AnswerPrompt(prompt, "p&w");
        Window room;
        ASSERT_TRUE(WaitWindow(RoomTitle(kSecret), room, 15000)) << road << ": the password room did not open";
        const std::string query = stack.Rooms().Queries("enterroom").back();
        EXPECT_NE(query.find("&pwd=p%26w&"), std::string::npos) << road << ": " << query;
        secretRoom = room;
    }
    void LeaveRoom(const Window& room, int id) {
        const int exits = stack.Rooms().RequestCount("exitroom");
        Focus(room);
        Click(room, {room.Width() - 10 - 16, 25});
        EXPECT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("exitroom") > exits; })) << "not left";
        EXPECT_TRUE(WaitFor([&] { return WindowGone(RoomTitle(id)); }, 10000));
        usleep(500000);
    }
    // A message box of the lobby: its text's place shot, then closed by its × button.
    bool CloseMessageBox(const std::string& shot) {
        Window box;
        if (!WaitWindow("^MessageBox$", box, 15000)) return false;
        usleep(400000);
        Screenshot(box.rc, ShotDir() + "/" + shot);
        Click(box, {box.Width() - 15, 15});
        return WaitFor([] { return WindowGone("^MessageBox$"); }, 10000);
    }
    void SignIn(const std::string& name, const std::string& password) {
        Window login;
        ASSERT_TRUE(WaitWindow(Utf8("^登录对话框$"), login));
        usleep(400000);
        SkinLayout skin("LoginSkin.xml", login.Width(), login.Height());
        Click(login, skin.Center("UserNameEdit"));
        Key("ctrl+a");
        TypeText(name);
        Click(login, skin.Center("PassWordEdit"));
        TypeText(password);
        Click(login, skin.Center("LoginBTN"));
        ASSERT_TRUE(WaitWindow(Utf8("^泽秀美女视频$"), lobby)) << "no lobby";
        ASSERT_TRUE(varnet.WaitLog("VarnetFrame.txt", "第一次加载成功，通知主窗体")) << "the home page did not load";
        usleep(800000);
    }
    // Sends `signal` and waits for the program to end in order.
    void QuitBySignal(int signal) {
        ASSERT_EQ(kill(varnet.Pid(), signal), 0);
        int status = -1;
        EXPECT_TRUE(varnet.WaitExit(20000, &status)) << "signal " << signal << ": no orderly end, status " << status;
        EXPECT_NE(varnet.Log("Speed.txt").find("WinMain shutdown done"), std::string::npos) << "signal " << signal;
    }

    testenv::Stack stack;
    Program varnet;
    Window lobby, secretRoom;
    std::unique_ptr<SkinLayout> lobbySkin;
};

// The password room from every road: the prompt opens when the service asks for the password, and again
// after a wrong one; no log holds the password.
TEST_F(Entry, PasswordRoomAsksOnEveryRoad) {
    std::string why;
    ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    ClickPageLink(160);  // the home page's second room
    EnterSecretRoom("home page", "abc");
    if (HasFatalFailure()) return;
    Screenshot(secretRoom.rc, ShotDir() + "/entry-password-room.png");
    LeaveRoom(secretRoom, kSecret);
    FromDirectory(3);  // the category's second room
    EnterSecretRoom("directory");
    if (HasFatalFailure()) return;
    LeaveRoom(secretRoom, kSecret);
    FromSearch(kSecret);
    EnterSecretRoom("search", "xyz9");
    if (HasFatalFailure()) return;
    LeaveRoom(secretRoom, kSecret);
    // Cancelling the prompt enters nothing.
    const int enters = stack.Rooms().RequestCount("enterroom");
    ClickPageLink();
    Window prompt;
    ASSERT_TRUE(WaitWindow("^RoomPWConfirmDlg$", prompt, 15000));
    usleep(300000);
    SkinLayout skin("RoomPWSkin.xml", prompt.Width(), prompt.Height());
    Click(prompt, skin.Center("CancelBTN"));
    EXPECT_TRUE(WaitFor([] { return WindowGone("^RoomPWConfirmDlg$"); }, 10000));
    usleep(1000000);
    EXPECT_EQ(stack.Rooms().RequestCount("enterroom"), enters + 1) << "the cancelled prompt sent a request";
    EXPECT_TRUE(WindowGone("^MessageBox$")) << "a message box came after the cancel";
    ASSERT_TRUE(QuitFromLobby(lobby, &why)) << why;
    EXPECT_TRUE(varnet.WaitExit(20000));
    for (const std::string& leak : SecretsInLogs(stack.DataDir(), {"p&w", "p%26w", "pwd=abc", "pwd=xyz9"}))
        ADD_FAILURE() << "the room password in " << leak;
}

// A guest in the busy room: the private-chat box shows its tick and keeps it, and a whisper it may not send
// goes nowhere; going to a room that does not exist leaves the open room as it was, going to the password
// room closes it once that room let the guest in; SIGTERM then ends the program in order.
TEST_F(Entry, GuestWhisperRoomSwitchAndSigterm) {
    std::string why;
    ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    Window room;
    ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, stack, lobby, room, &why)) << why;
    ASSERT_TRUE(stack.Chat().WaitMembers(kBusy, 1, 20000));
    std::unique_ptr<testenv::PeerClient> dora = stack.Peer("dora", kBusy, &why);
    ASSERT_TRUE(dora) << why;
    ASSERT_TRUE(varnet.WaitLog("RoomManager.txt", "创建房间界面-end"));
    usleep(1500000);
    ASSERT_TRUE(WaitWindow(RoomTitle(kBusy), room));

    // The box: a tick once clicked; the whisper refused and sent to nobody; the tick stays.
    SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());
    const RECT box = ToScreen(room, skin.Rect("checkboxPrivateTalk"));
    Focus(room);
    const auto unticked = Grab(box);
    Click(room, skin.Center("checkboxPrivateTalk"));
    Shell("xdotool mousemove 0 0");  // no hover look
    EXPECT_TRUE(WaitFor([&] { return Difference(unticked, Grab(box)) > 0.01; }, 5000)) << "the box shows no tick";
    const std::string line = "只对你说的话";
    EXPECT_TRUE(SendChatLine(room, Utf8(line.c_str())));
    EXPECT_FALSE(dora->WaitLine(
        [&](const testenv::PeerClient::Line& l) { return l.text.find(line) != std::string::npos; }, 4000))
        << "the refused whisper was sent";
    Shell("xdotool mousemove 0 0");
    usleep(300000);
    EXPECT_GT(Difference(unticked, Grab(box)), 0.01) << "the box lost its tick";
    Screenshot(room.rc, ShotDir() + "/entry-whisper-refused.png");

    // A room that does not exist: asked, refused, and the open room stays open and in its chat.
    FromSearch(kMissing);
    ConfirmLeaving();
    ASSERT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("enterroom") >= 2; }, 10000));
    EXPECT_TRUE(CloseMessageBox("entry-missing-room.png")) << "the refusal was not shown";
    EXPECT_EQ(stack.Rooms().RequestCount("exitroom"), 0) << "the open room was left";
    Window still;
    EXPECT_TRUE(FindWindow(RoomTitle(kBusy), still)) << "the open room's window closed";
    EXPECT_TRUE(stack.Chat().WaitMembers(kBusy, 2, 5000)) << "the open room's chat ended";

    // The password room: asked to close the open room once, then the password; the open room closes only
    // when the new one answered.
    FromSearch(kSecret);
    ConfirmLeaving();
    EnterSecretRoom("search from a room");
    if (HasFatalFailure()) return;
    EXPECT_TRUE(WaitFor([&] { return WindowGone(RoomTitle(kBusy)); }, 10000)) << "the old room stayed";
    EXPECT_EQ(stack.Rooms().RequestCount("exitroom"), 1);
    EXPECT_TRUE(WindowGone("^SoftCloseTipDlg$"));
    usleep(1000000);
    Screenshot(secretRoom.rc, ShotDir() + "/entry-switched-room.png");

    // SIGTERM in the room: the room is left, the user signed out, the program ends in order.
    QuitBySignal(SIGTERM);
    EXPECT_EQ(stack.Rooms().RequestCount("exitroom"), 2);
    EXPECT_GE(stack.Rooms().RequestCount("logout"), 1);
}

// An account in the busy room: the favourite button turns into its opposite after each answer; signed in
// elsewhere, the next room tells the user and brings back the login dialog; SIGINT there ends the program.
TEST_F(Entry, FavouriteSessionElsewhereAndSigint) {
    SignIn("alice", "secret");
    if (HasFatalFailure()) return;
    std::string why;
    Window room;
    ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, stack, lobby, room, &why)) << why;
    ASSERT_TRUE(varnet.WaitLog("RoomManager.txt", "创建房间界面-end"));
    usleep(1500000);
    ASSERT_TRUE(WaitWindow(RoomTitle(kBusy), room));

    Shell("xdotool mousemove 0 0");
    usleep(300000);
    const POINT fav = TitleButton(room);
    ASSERT_GE(fav.x, 0) << "no favourite button";
    const RECT button = ToScreen(room, RECT{fav.x - 30, fav.y - 12, fav.x + 30, fav.y + 12});
    const auto add = Grab(button);
    for (int optype : {1, 2}) {
        RaiseAt(room, fav);
        Focus(room);
        Click(room, fav);
        Shell("xdotool mousemove 0 0");
        ASSERT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("opfavroom") == optype; }, 10000));
        const std::string query = stack.Rooms().Queries("opfavroom").back();
        EXPECT_NE(query.find("optype=" + std::to_string(optype)), std::string::npos) << query;
        EXPECT_TRUE(WaitFor([&] { return (Difference(add, Grab(button)) > 0.02) == (optype == 1); }, 10000))
            << (optype == 1 ? "the button did not turn into 取消收藏" : "the button did not turn back into 收藏");
        Screenshot(room.rc, ShotDir() + "/entry-favourite-" + std::to_string(optype) + ".png");
    }
    LeaveRoom(room, kBusy);

    // Signed in elsewhere: the next room is refused, the user told, the login dialog back.
    testenv::PeerClient elsewhere(stack.Rooms().Endpoint());
    ASSERT_TRUE(elsewhere.SignIn("alice", "secret")) << elsewhere.LastError();
    ClickPageLink();
    EXPECT_TRUE(CloseMessageBox("entry-session-elsewhere.png")) << "the user was not told";
    Window login;
    ASSERT_TRUE(WaitWindow(Utf8("^登录对话框$"), login, 15000)) << "no login dialog";
    usleep(400000);
    Screenshot(login.rc, ShotDir() + "/entry-login-again.png");
    EXPECT_FALSE(FindWindow(RoomTitle(kBusy), room)) << "a room window opened";

    QuitBySignal(SIGINT);
}

}  // namespace
