// The real program under a window manager on the test display, against the local stack, with other people:
// a user who enters after the program and leaves again, a session taken over while in a room, a second copy
// of the program on the same data folder; and what a user meets on the way: the login tips, the lobby's search,
// the settings dialog, paid answers, a microphone taken without a camera. Skipped without VARNET_TEST_DISPLAY
// or openbox.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "E2eDriver.h"
#include "JsonSafe.h"
#include "LobbyMessages.h"
#include "Win32Ipc.h"

using namespace DuiLib;
using namespace e2e;

namespace {

constexpr int kBusy = testenv::Stack::kBusyRoom;
constexpr uint32_t kCarol = 1003;
constexpr int kPublicPane = 1, kOwnPane = 2;

// The share of a rectangle's pixels (RGB) that `is` accepts.
double Share(const RECT& rc, const std::function<bool(int, int, int)>& is) {
    const std::vector<unsigned char> px = Grab(rc);
    size_t n = 0;
    for (size_t i = 0; i + 2 < px.size(); i += 3) n += is(px[i], px[i + 1], px[i + 2]) ? 1 : 0;
    return px.empty() ? 0 : double(n) / double(px.size() / 3);
}

class People : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
        if (!wm.Start(&why)) GTEST_SKIP() << why;
        testenv::StackOptions options;
        options.binDir = VARNET_BINARY_DIR "/bin";
        ASSERT_TRUE(stack.Start(options, &why)) << why;
        // carol is not in the busy room until she enters it.
        stack.Rooms().WithData([](testenv::SvcData& d) { d.rooms[kBusy].users.erase(kCarol); });
        ASSERT_TRUE(varnet.Start(stack));
    }
    void TearDown() override {
        if (HasFailure()) std::printf("the program's logs: %s/log\n", stack.DataDir().c_str());
    }
    void SignIn(const std::string& name, const std::string& password) {
        Window login;
        ASSERT_TRUE(WaitWindow(Utf8("^登录对话框$"), login));
        usleep(400000);
        SkinLayout skin("LoginSkin.xml", login.Width(), login.Height());
        Focus(login);
        Click(login, skin.Center("UserNameEdit"));
        Key("ctrl+a");
        TypeText(name);
        Click(login, skin.Center("PassWordEdit"));
        Key("ctrl+a");
        TypeText(password);
        Click(login, skin.Center("LoginBTN"));
        ASSERT_TRUE(WaitWindow(Utf8("^泽秀美女视频$"), lobby)) << "no lobby";
        ASSERT_TRUE(varnet.WaitLog("VarnetFrame.txt", "第一次加载成功，通知主窗体")) << "the home page did not load";
        usleep(800000);
    }
    void EnterBusyRoom() {
        std::string why;
        ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, stack, lobby, room, &why)) << why;
        ASSERT_TRUE(varnet.WaitLog("RoomManager.txt", "创建房间界面-end"));
        usleep(1500000);
        ASSERT_TRUE(WaitWindow(RoomTitle(kBusy), room));
    }
    // The members' list of the room window (the tab it opens with).
    RECT MemberList() {
        SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());
        if (auto* tab = dynamic_cast<CTabLayoutUI*>(skin.Manager().FindControl("RightUserListTab"))) tab->SelectItem(1);
        skin.Manager().UpdateLayout();
        return ToScreen(room, skin.Rect("UserMemberList"));
    }
    int MessageBoxes() {
        return atoi(Shell("xdotool search --onlyvisible --name '^MessageBox$' 2>/dev/null | wc -l").c_str());
    }
    // Opens the menu a button of the room window opens (it waits for the chat to be ready) and picks its row.
    bool PickFromRoomMenu(const char* button, int row) {
        SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());
        Window menu;
        for (int i = 0; i < 5 && !menu.id; ++i) {
            RaiseAt(room, skin.Center(button));
            Focus(room);
            Click(room, skin.Center(button));
            WaitWindow("^ZqMenu$", menu, 5000);
        }
        if (!menu.id) return false;
        usleep(300000);
        Click(menu, {40, MenuRowY(row)});
        return WaitFor([] { return WindowGone("^ZqMenu$"); }, 10000);
    }

    WindowManager wm;
    testenv::Stack stack;
    Program varnet;
    Window lobby, room;
};

// Someone who enters after the program is listed and greeted, talks under the name and id the service
// gives, and is gone from the list once they left. The title names the room as the service does, whatever
// the page's link called it.
TEST_F(People, ALaterUserEntersTalksAndLeaves) {
    std::string why;
    ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    EnterBusyRoom();
    if (HasFatalFailure()) return;
    EXPECT_TRUE(FindWindow(Utf8("^欢乐大厅[(]3003[)]$"), room)) << "the title is not the room's name";
    const RECT list = MemberList();
    const auto before = Grab(list);

    auto carol = std::make_unique<testenv::PeerClient>(stack.Rooms().Endpoint());
    ASSERT_TRUE(carol->SignIn("carol", "pw") && carol->EnterRoom(kBusy)) << carol->LastError();
    EXPECT_TRUE(varnet.WaitPaneLine(kPublicPane, Utf8("卡罗尔"))) << "no greeting for the newcomer";
    EXPECT_TRUE(WaitFor([&] { return Difference(before, Grab(list)) > 0.005; }, 10000)) << "not listed";
    const auto listed = Grab(list);
    ASSERT_TRUE(carol->Say("晚上好"));
    EXPECT_TRUE(varnet.WaitPaneLine(kPublicPane, Utf8("卡罗尔(81003)")));
    usleep(600000);
    Screenshot(room.rc, ShotDir() + "/people-later-user-talks.png");

    carol.reset();  // leaves the room
    EXPECT_TRUE(varnet.WaitPaneLine(kPublicPane, Utf8("卡罗尔 离开房间")));
    EXPECT_TRUE(WaitFor([&] { return Difference(listed, Grab(list)) > 0.005; }, 10000)) << "still listed";
    EXPECT_TRUE(WaitFor([&] { return Difference(before, Grab(list)) < 0.002; }, 10000))
        << "the list is not as before she came";
    usleep(400000);
    Screenshot(room.rc, ShotDir() + "/people-later-user-left.png");

    // The font chooser of the input has its title.
    SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());
    RaiseAt(room, skin.Center("btnChatChooseFont"));
    Focus(room);
    Click(room, skin.Center("btnChatChooseFont"));
    Window font;
    EXPECT_TRUE(WaitWindow(Utf8("^字体$"), font, 10000)) << "the font chooser has no title";
    if (font.id) {
        usleep(500000);
        Screenshot(font.rc, ShotDir() + "/people-font-chooser.png");
        Key("Escape");
        EXPECT_TRUE(WaitFor([] { return WindowGone(Utf8("^字体$")); }, 10000));
    }

    // The settings dialog's photo page: the catalogue's pictures in whole rows, the page marked.
    RaiseAt(room, skin.Center("VideoSetupBTN"));
    Focus(room);
    Click(room, skin.Center("VideoSetupBTN"));
    Window settings;
    ASSERT_TRUE(WaitWindow(Utf8("^房间设置对话框$"), settings, 10000));
    usleep(500000);
    SkinLayout settingsSkin("RoomConfigSet.xml", settings.Width(), settings.Height());
    Click(settings, settingsSkin.Center("PhotoSetingBTN"));
    Shell("xdotool mousemove " + std::to_string(settings.rc.right - 5) + " " + std::to_string(settings.rc.bottom - 5));
    usleep(800000);
    Screenshot(settings.rc, ShotDir() + "/people-photo-page.png");
    EXPECT_GT(Share(ToScreen(settings, settingsSkin.Rect("PhotoSetingBTN")),
                    [](int R, int G, int B) { return R == 0xDC && G == 0xE9 && B == 0xF8; }),
              0.5)
        << "the photo page's button is not marked";
    // Below the label: a row of the six men's pictures, one of the four women's, nothing else.
    const RECT tab = ToScreen(settings, settingsSkin.Rect("RoomConfigOptionTab"));
    const RECT tiles{tab.left + 14, tab.top + 10 + 22, tab.right - 14, tab.bottom};
    const std::vector<unsigned char> px = Grab(tiles);
    const int w = tiles.right - tiles.left;
    std::vector<int> rows;  // the width each band of pictures takes
    bool inBand = false;
    for (size_t y = 0; (y + 1) * w * 3 <= px.size(); ++y) {
        int lo = w, hi = -1;
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = &px[(y * w + x) * 3];
            if (p[0] < 250 || p[1] < 250 || p[2] < 250) lo = std::min(lo, x), hi = x;
        }
        if (hi >= 0 && !inBand) rows.push_back(0);
        inBand = hi >= 0;
        if (inBand) rows.back() = std::max(rows.back(), hi - lo + 1);
    }
    ASSERT_EQ(rows.size(), 2u) << "the pictures are not in two rows";
    EXPECT_NEAR(rows[0] * 4.0 / 6.0, rows[1], 3) << "not six pictures above four";
    Click(settings, settingsSkin.Center("RoomConfigCancelBTN"));
    EXPECT_TRUE(WaitFor([&] { return WindowGone(Utf8("^房间设置对话框$")); }, 10000));
}

// Signed in elsewhere while in a room: the next request the room makes is refused for the session, the user
// is told once and the login dialog comes back.
TEST_F(People, ASessionTakenOverInTheRoomLeadsBackToTheLoginOnce) {
    SignIn("alice", "secret");
    if (HasFatalFailure()) return;
    EnterBusyRoom();
    if (HasFatalFailure()) return;
    testenv::PeerClient elsewhere(stack.Rooms().Endpoint());
    ASSERT_TRUE(elsewhere.SignIn("alice", "secret")) << elsewhere.LastError();

    // The room's favourite button (left of the title bar's buttons) asks the service.
    const int favs = stack.Rooms().RequestCount("opfavroom");
    for (int i = 0; i < 3 && stack.Rooms().RequestCount("opfavroom") == favs; ++i) {
        RaiseAt(room, {room.Width() / 2, 25});
        Focus(room);
        Shell("xdotool mousemove 0 0");
        usleep(300000);
        const POINT fav = TitleButton(room);
        Screenshot(room.rc, ShotDir() + "/people-room-before-favourite.png");
        ASSERT_GE(fav.x, 0) << "no favourite button";
        Click(room, fav);
        WaitFor([&] { return stack.Rooms().RequestCount("opfavroom") > favs; }, 5000);
    }
    ASSERT_GT(stack.Rooms().RequestCount("opfavroom"), favs) << "the favourite button sent nothing";
    Window box;
    ASSERT_TRUE(WaitWindow("^MessageBox$", box, 15000)) << "the user was not told";
    usleep(400000);
    Screenshot(box.rc, ShotDir() + "/people-session-taken-over.png");
    EXPECT_TRUE(varnet.LogHas("VarnetFrame.txt", "会话无效，重新登录"));
    // More refused replies come while the box is up (the room's exit among them): still one box.
    usleep(1500000);
    EXPECT_EQ(MessageBoxes(), 1);
    Click(box, {box.Width() - 15, 15});
    ASSERT_TRUE(WaitFor([] { return WindowGone("^MessageBox$"); }, 10000));
    Window login;
    ASSERT_TRUE(WaitWindow(Utf8("^登录对话框$"), login, 15000)) << "no login dialog";
    EXPECT_TRUE(WindowGone(RoomTitle(kBusy))) << "the room stayed open";
    usleep(2000000);
    EXPECT_EQ(MessageBoxes(), 0) << "told more than once";
    Screenshot(login.rc, ShotDir() + "/people-login-again.png");

    // Tab from the account field reaches 登录 over the password, its focus shown.
    SkinLayout skin("LoginSkin.xml", login.Width(), login.Height());
    Focus(login);
    Click(login, skin.Center("UserNameEdit"));
    usleep(300000);
    const RECT button = ToScreen(login, skin.Rect("LoginBTN"));
    const auto unfocused = Grab(button);
    Key("Tab");
    usleep(200000);
    Key("Tab");
    EXPECT_TRUE(WaitFor([&] { return Difference(unfocused, Grab(button)) > 0.01; }, 5000)) << "no visible focus";
    Screenshot(login.rc, ShotDir() + "/people-login-tab-focus.png");
}

// The room management dialog: the stored sample notice shows its text; the notice text wraps inside its
// box; the link is drawn inside its own box while typed.
TEST_F(People, RoomManagementNoticeFields) {
    SignIn("alice", "secret");
    if (HasFatalFailure()) return;
    EnterBusyRoom();
    if (HasFatalFailure()) return;
    Window dlg;
    for (int i = 0; i < 3 && !FindWindow(Utf8("^房间管理$"), dlg); ++i) {
        RaiseAt(room, {room.Width() / 2, 25});
        Focus(room);
        Shell("xdotool mousemove 0 0");
        usleep(300000);
        const POINT manage = TitleButton(room, 1);
        ASSERT_GE(manage.x, 0) << "no room management button";
        Click(room, manage);
        WaitWindow(Utf8("^房间管理$"), dlg, 8000);
    }
    ASSERT_TRUE(FindWindow(Utf8("^房间管理$"), dlg)) << "no room management dialog";
    usleep(400000);
    SkinLayout skin("RoomManagerWnd.xml", dlg.Width(), dlg.Height());
    if (auto* tabs = dynamic_cast<CTabLayoutUI*>(skin.Manager().FindControl("RoomSetNoticeTabLayout")))
        tabs->SelectItem(1);
    skin.Manager().UpdateLayout();
    Click(dlg, skin.Center("RoomManageNoticeOption"));
    usleep(400000);
    Click(dlg, skin.Center("NoticeBTN1"));  // the first stored notice into the fields
    usleep(600000);
    const RECT text = ToScreen(dlg, skin.Rect("NoticeContentRichEdit"));
    const RECT link = ToScreen(dlg, skin.Rect("NoticeLinkEdit"));
    Screenshot(dlg.rc, ShotDir() + "/people-manager-notice.png");
    const RECT firstLine{text.left + 3, text.top + 3, text.left + 120, text.top + 19};
    EXPECT_GT(Ink(firstLine), 0.02) << "the sample notice shows no text";

    // A long text wraps: its first line stays at the top, the rest goes on below it.
    Click(dlg, {skin.Center("NoticeContentRichEdit").x, skin.Rect("NoticeContentRichEdit").top + 10});
    Key("ctrl+a");
    TypeText(std::string(3, ' ') + Utf8("今天晚上八点有精彩的节目，欢迎大家准时来到欢乐大厅一起唱歌聊天"));
    usleep(500000);
    Screenshot(dlg.rc, ShotDir() + "/people-manager-notice-typed.png");
    const RECT secondLine{text.left + 3, text.top + 22, text.right - 3, text.top + 40};
    EXPECT_GT(Ink(firstLine), 0.02) << "the first line is not at the top";
    EXPECT_GT(Ink(secondLine), 0.02) << "the text does not wrap";

    // The link is drawn inside its box, nothing below it.
    Click(dlg, skin.Center("NoticeLinkEdit"));
    EXPECT_TRUE(WaitFor(
        [&] {
            const auto px = Grab({link.left + 8, link.top, link.left + 9, link.top + 1});
            return px.size() >= 3 && px[0] == 0x2F && px[1] == 0x7F && px[2] == 0xE8;  // the focus border
        },
        10000))
        << "the link box took no focus";
    TypeText("http://127.0.0.1/notice/page");
    usleep(500000);
    Screenshot(dlg.rc, ShotDir() + "/people-manager-link-typed.png");
    EXPECT_GT(Ink({link.left + 2, link.top + 2, link.right - 2, link.bottom - 2}), 0.02) << "the link is not shown";
    EXPECT_LT(Ink({link.left, link.bottom + 1, link.right, link.bottom + 5}), 0.001) << "text below the link box";
    Key("Escape");
}

// The demo's gwen may set welcome words: the menu beside the send button offers them and the service takes
// the chosen one. A lucky gift that wins shows its tip in the room.
TEST_F(People, WelcomeWordsOfTheDemoAccountAndALuckyGift) {
    SignIn("gwen", "pw");
    if (HasFatalFailure()) return;
    EnterBusyRoom();
    if (HasFatalFailure()) return;
    SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());
    const int words = stack.Rooms().RequestCount("updatewelword");
    RaiseAt(room, skin.Center("btnChatSendDropDowm"));
    Focus(room);
    Click(room, skin.Center("btnChatSendDropDowm"));
    Window menu;
    ASSERT_TRUE(WaitWindow("^ZqMenu$", menu, 10000)) << "no welcome-words menu";
    usleep(300000);
    Screenshot({menu.rc.left - 10, menu.rc.top - 10, menu.rc.right + 10, menu.rc.bottom + 10},
               ShotDir() + "/people-welcome-menu.png");
    Window sub;
    auto opened = [&] {
        const std::string ids = Shell("xdotool search --onlyvisible --name '^ZqMenu$' 2>/dev/null");
        for (size_t at = 0; at < ids.size();) {
            const size_t end = ids.find('\n', at);
            const unsigned long id = std::strtoul(ids.substr(at, end - at).c_str(), nullptr, 10);
            if (id && id != menu.id && FindWindow("^ZqMenu$", sub)) {
                sub.id = id;
                const std::string geo = Shell("xdotool getwindowgeometry --shell " + std::to_string(id));
                auto val = [&](const char* k) {
                    const size_t p = geo.find(k);
                    return p == std::string::npos ? 0 : atoi(geo.c_str() + p + strlen(k));
                };
                sub.rc = {val("X="), val("Y="), val("X=") + val("WIDTH="), val("Y=") + val("HEIGHT=")};
                return true;
            }
            if (end == std::string::npos) break;
            at = end + 1;
        }
        return false;
    };
    Shell("xdotool mousemove " + std::to_string(menu.rc.left + 60) + " " + std::to_string(menu.rc.top + MenuRowY(0)));
    if (!WaitFor(opened, 3000)) Click(menu, {60, MenuRowY(0)});
    ASSERT_TRUE(WaitFor(opened, 10000)) << "迎宾语 opens no list of words (not allowed?)";
    usleep(300000);
    Screenshot({menu.rc.left - 10, std::min(menu.rc.top, sub.rc.top) - 10, sub.rc.right + 10,
                std::max(menu.rc.bottom, sub.rc.bottom) + 10},
               ShotDir() + "/people-welcome-words-menu.png");
    Click(sub, {60, MenuRowY(0)});
    ASSERT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("updatewelword") > words; }, 10000));
    EXPECT_TRUE(WaitFor(
        [&] {
            bool set = false;
            stack.Rooms().WithData(
                [&](testenv::SvcData& d) { set = d.rooms[kBusy].welcome.count(testenv::Stack::kWelcomeUid) > 0; });
            return set;
        },
        10000))
        << "the service did not take the words";

    // Three lucky gifts from another user: the third wins, the room shows its tip.
    std::string why;
    auto dora = stack.Peer("dora", kBusy, &why);
    ASSERT_TRUE(dora) << why;
    const RECT tip = ToScreen(room, skin.Rect("GlobalGiftInform"));
    const RECT tipRow{tip.left, tip.top, tip.right, tip.top + 20};
    usleep(1000000);  // the gift banner of the entry has moved on
    const auto before = Grab(tipRow);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(stack.PeerGift(*dora, 1002, testenv::Stack::kLuckyGift, 1));
    EXPECT_TRUE(varnet.WaitLog("RoomLogic.txt", "幸运礼物"));
    EXPECT_TRUE(WaitFor([&] { return Difference(before, Grab(tipRow)) > 0.02; }, 10000)) << "no lucky-gift tip";
    usleep(300000);
    Screenshot(room.rc, ShotDir() + "/people-lucky-gift.png");
}

// A second copy on the same data folder publishes its window beside the first one's; the updater's link
// reaches the first while it runs, then the second.
TEST_F(People, ASecondCopyPublishesItsWindowToo) {
    std::string why;
    ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    const std::string run = stack.DataDir() + "/run";
    ASSERT_TRUE(WaitFor([&] { return access((run + "/VarnetMainWnd.sock").c_str(), F_OK) == 0; }));

    Program second;
    ASSERT_TRUE(second.Start(stack));
    Window login;
    ASSERT_TRUE(WaitWindow(Utf8("^登录对话框$"), login)) << "the second copy shows no login dialog";
    usleep(400000);
    SkinLayout skin("LoginSkin.xml", login.Width(), login.Height());
    Click(login, skin.Center("AnonyUserBTN"));
    const std::string beside = run + "/VarnetMainWnd." + std::to_string(second.Pid()) + ".sock";
    EXPECT_TRUE(WaitFor([&] { return access(beside.c_str(), F_OK) == 0; }))
        << "the second copy did not publish its window";
    EXPECT_EQ(second.Output().find("cannot bind"), std::string::npos);

    setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    EXPECT_EQ(FindWindowPropertySocket(kMainWndProperty), run + "/VarnetMainWnd.sock");
    kill(varnet.Pid(), SIGTERM);
    EXPECT_TRUE(varnet.WaitExit(20000));
    EXPECT_EQ(FindWindowPropertySocket(kMainWndProperty), beside);
    EXPECT_TRUE(PostMessageToProperty(kMainWndProperty, WM_RES_CHANGED, 0x40000000, 0));
    EXPECT_TRUE(second.WaitLog("VarnetFrame.txt", "资源更新 mask=0x40000000")) << "the second copy was not reached";
    Window lobby2;
    if (WaitWindow(Utf8("^泽秀美女视频$"), lobby2)) Screenshot(lobby2.rc, ShotDir() + "/people-second-copy.png");
    kill(second.Pid(), SIGTERM);
    EXPECT_TRUE(second.WaitExit(20000));
}

// A wrong password's red tip goes when the registration fills in its new account; the lobby's search box
// shows its prompt again once another account signed in (the main menu's 换名登录).
TEST_F(People, RegistrationClearsTheTipAndANewAccountTheSearch) {
    Window login;
    ASSERT_TRUE(WaitWindow(Utf8("^登录对话框$"), login));
    usleep(400000);
    SkinLayout skin("LoginSkin.xml", login.Width(), login.Height());
    const RECT tips[] = {ToScreen(login, skin.Rect("lbeUserNameTips")), ToScreen(login, skin.Rect("lbePasswordTips"))};
    auto red = [&] {
        double r = 0;
        for (const RECT& t : tips) r += Share(t, [](int R, int G, int B) { return R > 180 && G < 120 && B < 120; });
        return r;
    };
    Focus(login);
    Click(login, skin.Center("UserNameEdit"));
    Key("ctrl+a");
    TypeText("alice");
    Click(login, skin.Center("PassWordEdit"));
    TypeText("wrong");
    Click(login, skin.Center("LoginBTN"));
    ASSERT_TRUE(WaitFor([&] { return red() > 0.01; }, 15000)) << "no red tip for the wrong password";
    Screenshot(login.rc, ShotDir() + "/people-login-wrong-password.png");

    Click(login, skin.Center("UserRegisterBTN"));
    Window reg;
    ASSERT_TRUE(WaitWindow(Utf8("^注册对话框$"), reg, 10000)) << "no registration dialog";
    // The page's form: its account field at the top left of the page; Return sends it.
    SkinLayout regSkin("RegisterSkin.xml", reg.Width(), reg.Height());
    const RECT page = ToScreen(reg, regSkin.Rect("webRegister"));
    ASSERT_TRUE(WaitFor(
        [&] {
            return Ink({page.left, page.top, page.left + 200, page.top + 40}) > 0.02;
        },
        30000))
        << "the registration page shows nothing";
    usleep(500000);
    Screenshot(reg.rc, ShotDir() + "/people-register-page.png");
    Click(reg, {page.left - reg.rc.left + 40, page.top - reg.rc.top + 18});
    usleep(300000);
    Key("Return");
    ASSERT_TRUE(WaitFor([] { return WindowGone(Utf8("^注册对话框$")); }, 15000)) << "the registration stayed";
    EXPECT_TRUE(WaitFor([&] { return red() == 0; }, 5000)) << "the red tip stayed after the registration";
    usleep(300000);
    Screenshot(login.rc, ShotDir() + "/people-login-after-registration.png");

    SignIn("alice", "secret");
    if (HasFatalFailure()) return;
    SkinLayout lobbySkin("VarnetSkin.xml", lobby.Width(), lobby.Height());
    const RECT search = ToScreen(lobby, lobbySkin.Rect("SearchEdit"));
    const RECT inside{search.left + 2, search.top + 2, search.right - 2, search.bottom - 2};
    const RECT button = ToScreen(lobby, lobbySkin.Rect("SearchBTN"));
    const auto prompt = Grab(inside), searchButton = Grab(button);
    Click(lobby, lobbySkin.Center("SearchEdit"));
    usleep(300000);
    TypeText("3004");
    ASSERT_TRUE(WaitFor([&] { return Difference(prompt, Grab(inside)) > 0.02; }, 5000)) << "the search was not typed";
    EXPECT_EQ(Difference(searchButton, Grab(button)), 0) << "the box being typed in covers 搜索";
    Screenshot(lobby.rc, ShotDir() + "/people-lobby-searched.png");
    Window again;
    for (int i = 0; i < 3 && !FindWindow(Utf8("^登录对话框$"), again); ++i) {
        Focus(lobby);
        Click(lobby, lobbySkin.Center("MainMenuBTN"));
        usleep(600000);
        Key("Down");
        usleep(200000);
        Key("Return");
        WaitWindow(Utf8("^登录对话框$"), again, 8000);
    }
    ASSERT_TRUE(again.id) << "换名登录 opened no login dialog";
    SignIn("carol", "pw");
    if (HasFatalFailure()) return;
    // The grey prompt again, no dark text of the search.
    auto dark = [&] { return Share(inside, [](int R, int G, int B) { return R < 90 && G < 90 && B < 90; }); };
    auto grey = [&] {
        return Share(inside, [](int R, int G, int B) {
            return R > 140 && R < 215 && std::abs(R - G) < 8 && std::abs(R - B) < 12;
        });
    };
    EXPECT_TRUE(WaitFor([&] { return dark() == 0 && grey() > 0.01; }, 10000)) << "the last account's search stayed";
    Screenshot(lobby.rc, ShotDir() + "/people-lobby-new-account.png");
}

// Alice in the busy room, on a machine without a camera: 画质调节 is drawn disabled; the colour bar's charge
// shows in the balance at once; a stamp costs what 明细 lists; her refused request for a private microphone is
// told in her own words; on a free public microphone her slot shows the no-video picture, not the linking dots.
TEST_F(People, APerformerWithoutACamera) {
    stack.Rooms().WithData([](testenv::SvcData& d) { d.rooms[kBusy].mics.erase(1005); });  // erin's slot is free
    SignIn("alice", "secret");
    if (HasFatalFailure()) return;
    EnterBusyRoom();
    if (HasFatalFailure()) return;
    SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());

    // The settings dialog's video page: 画质调节 unlike 刷新 beside it.
    RaiseAt(room, skin.Center("VideoSetupBTN"));
    Focus(room);
    Click(room, skin.Center("VideoSetupBTN"));
    Window settings;
    ASSERT_TRUE(WaitWindow(Utf8("^房间设置对话框$"), settings, 10000));
    usleep(800000);
    SkinLayout settingsSkin("RoomConfigSet.xml", settings.Width(), settings.Height());
    if (auto* tab = dynamic_cast<CTabLayoutUI*>(settingsSkin.Manager().FindControl("RoomConfigOptionTab")))
        tab->SelectItem(3);
    settingsSkin.Manager().FindControl("NoCameraTipLabel")->SetVisible(true);  // no camera: told above the buttons
    settingsSkin.Manager().UpdateLayout();
    const RECT quality = ToScreen(settings, settingsSkin.Rect("ImageQualityRegulateBTN")),
               refresh = ToScreen(settings, settingsSkin.Rect("VideoRefreshBTN"));
    Shell("xdotool mousemove " + std::to_string(settings.rc.left + 5) + " " + std::to_string(settings.rc.bottom - 5));
    usleep(300000);
    // 刷新 has its white text; 画质调节's is greyed.
    auto white = [](const RECT& b) {
        return Share({b.left + 8, b.top + 5, b.right - 8, b.bottom - 5},  // inside the rounded corners
                     [](int R, int G, int B) { return R > 240 && G > 240 && B > 240; });
    };
    EXPECT_GT(white(refresh), 0.005) << "not on the video page";
    EXPECT_TRUE(WaitFor([&] { return white(quality) == 0; }, 5000)) << "画质调节 is drawn as enabled";
    Screenshot(settings.rc, ShotDir() + "/people-no-camera-settings.png");
    // Under the pointer it does not light up as a button that takes clicks does (#4A92F0).
    const POINT q = settingsSkin.Center("ImageQualityRegulateBTN");
    Shell("xdotool mousemove " + std::to_string(settings.rc.left + q.x) + " " + std::to_string(settings.rc.top + q.y));
    usleep(500000);
    EXPECT_EQ(Share(quality, [](int R, int G, int B) { return R == 0x4A && G == 0x92 && B == 0xF0; }), 0)
        << "画质调节 lights up under the pointer";
    Click(settings, settingsSkin.Center("RoomConfigCancelBTN"));
    EXPECT_TRUE(WaitFor([&] { return WindowGone(Utf8("^房间设置对话框$")); }, 10000));

    // A colour bar: the balance beside Z币 changes with its answer.
    const RECT money = ToScreen(room, skin.Rect("OwnerMoneyLabel"));
    const auto balance = Grab(money);
    const int bars = stack.Rooms().RequestCount("sendcolorbar");
    ASSERT_TRUE(PickFromRoomMenu("btnSendColorBar", 0)) << "no colour bar menu";
    ASSERT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("sendcolorbar") > bars; }, 10000))
        << "no colour bar sent";
    EXPECT_TRUE(WaitFor([&] { return Difference(balance, Grab(money)) > 0.01; }, 10000))
        << "the balance did not change with the colour bar";
    Screenshot(room.rc, ShotDir() + "/people-colour-bar-balance.png");

    // A stamp for 小美 from her menu (给Ta盖章, the 13th item, after three breaks): charged at the catalogue's
    // price, which 明细 lists.
    const RECT members = MemberList();
    ClickButton(room, {members.left - room.rc.left + 60, members.top - room.rc.top + 37}, 3);
    Window menu, stamps;
    ASSERT_TRUE(WaitWindow("^ZqMenu$", menu, 10000)) << "no user menu";
    usleep(300000);
    Click(menu, {40, MenuRowY(12, 3)});
    ASSERT_TRUE(WaitWindow(Utf8("^盖章对话框$"), stamps, 10000)) << "给Ta盖章 opened nothing";
    usleep(500000);
    uint64_t coins = 0, left = 0;
    stack.Rooms().WithData([&](testenv::SvcData& d) { coins = d.users[testenv::Stack::kAccountUid].xiubi; });
    const int tags = stack.Rooms().RequestCount("sendtag");
    SkinLayout stampSkin("PopWndABStempeln.xml", stamps.Width(), stamps.Height());
    const RECT grid = stampSkin.Rect("ABStempelnSelControl");
    Click(stamps, {grid.left + 28, grid.top + 21});  // the first stamp
    ASSERT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("sendtag") > tags; }, 10000)) << "no stamp sent";
    const std::string query = stack.Rooms().Queries("sendtag").back();
    const size_t at = query.find("&tagid=");
    const uint32_t tagId = at == std::string::npos ? 0 : uint32_t(atoi(query.c_str() + at + 7));
    uint32_t price = 0;
    Json::Value catalogue;
    ASSERT_TRUE(JsonSafe::Parse(ReadFile(VARNET_BINARY_DIR "/bin/res/tag.conf"), catalogue));
    for (const Json::Value& group : catalogue["taglist"])
        for (const Json::Value& tag : group["list"])
            if (tag["id"].asUInt() == tagId) price = tag["price"].asUInt();
    ASSERT_GT(price, 0u) << "stamp " << tagId << " is not in the catalogue";
    EXPECT_TRUE(WaitFor(
        [&] {
            stack.Rooms().WithData([&](testenv::SvcData& d) { left = d.users[testenv::Stack::kAccountUid].xiubi; });
            return coins - left == price;
        },
        10000))
        << "charged " << coins - left << " for stamp " << tagId << " of catalogue price " << price;
    RaiseAt(room, skin.Center("CustomDetailBTN"));
    Focus(room);
    Click(room, skin.Center("CustomDetailBTN"));
    Window detail;
    ASSERT_TRUE(WaitWindow(Utf8("^消费明细对话框$"), detail, 10000)) << "明细 opened nothing";
    usleep(500000);
    SkinLayout detailSkin("PopWndConsumeDetail.xml", detail.Width(), detail.Height());
    const RECT list = ToScreen(detail, detailSkin.Rect("SendGiftList"));
    EXPECT_GT(Ink({list.left + 2, list.top + 2, list.right - 2, list.top + 60}), 0.01) << "明细 lists nothing";
    Screenshot(detail.rc, ShotDir() + "/people-stamp-detail.png");
    Click(detail, detailSkin.Center("btnClose"));
    EXPECT_TRUE(WaitFor([] { return WindowGone(Utf8("^消费明细对话框$")); }, 10000));

    // 上私麦, refused by the service: the user is told in the words for the own request.
    testenv::RoomServiceFault refuse;
    refuse.kind = testenv::RoomServiceFault::Refuse;
    refuse.status = 2;
    refuse.desc = "等级不够";
    refuse.times = 1;
    stack.Rooms().SetFault("opmic", refuse);
    ASSERT_TRUE(PickFromRoomMenu("btn_joinmiclist", 1)) << "no join menu";
    EXPECT_TRUE(varnet.WaitPaneLine(kPublicPane | kOwnPane, Utf8("上麦失败(等级不够)"))) << "not told in the own words";
    usleep(300000);
    Screenshot(room.rc, ShotDir() + "/people-own-mic-refused.png");

    // 上公麦 on the free third slot: the no-video picture (its red stroke), no linking dots (blue).
    ASSERT_TRUE(PickFromRoomMenu("btn_joinmiclist", 0)) << "no join menu";
    const RECT slot = ToScreen(room, RECT{4, 55 + 208 * 2 + 3, 234, 55 + 208 * 2 + 181});  // its picture
    auto stroke = [&] { return Share(slot, [](int R, int G, int B) { return R > 170 && G < 110 && B < 110; }); };
    auto dots = [&] { return Share(slot, [](int R, int G, int B) { return B > 180 && R < 120 && B - G > 40; }); };
    EXPECT_TRUE(varnet.WaitLog("RoomLogic.txt", "上麦通知")) << "not put on the microphone";
    EXPECT_TRUE(WaitFor([&] { return stroke() > 0.005; }, 20000)) << "no no-video picture in the own slot";
    usleep(3000000);  // still so, once the publishing runs
    Screenshot(room.rc, ShotDir() + "/people-own-slot-no-camera.png");
    EXPECT_GT(stroke(), 0.005) << "the no-video picture went";
    EXPECT_EQ(dots(), 0) << "linking dots in the own slot";
}

}  // namespace
