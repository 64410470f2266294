// A newcomer's walk through the real program Varnet against the whole local service stack, driven from
// outside with xdotool on the test display: the login dialog, a guest login, the lobby with its directory and
// home page, a room entered from the directory, its performers, other users' chat, a Chinese line with an
// emoticon sent, the settings dialog, the settings dialog used while gift effects play, another program's
// window over the chat panes, leaving, an account login, then the room again with the account (a
// whisper, a gift to a receiver chosen in the gift panel, a user's details, a microphone popped out), quitting;
// the updater runs beside it. Every step checks what the user sees (a window, a change in a view, a line in a
// pane, what the other users receive) and saves a screenshot under build/screenshots/e2e. Skipped without
// VARNET_TEST_DISPLAY; VARNET_E2E_DATA names a data folder to keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "E2eDriver.h"
#include "RoomNotify.h"
#include "UserListUI.h"
#include "UserMenuModel.h"
#include "VideoShowVoiceWnd.h"

using namespace DuiLib;

using namespace e2e;

namespace {

// The program of the walk, checked after every step.
Program* g_walker = nullptr;

// Prints one line of the walk's report; every window of the program lies inside the work area, it printed no
// GTK warning or critical, and no chat pane laid out its lines wider than it shows them (as measured so far).
void Step(const char* what, const std::string& shot = "") {
    std::printf("walk: %s%s%s\n", what, shot.empty() ? "" : "  ", shot.c_str());
    std::fflush(stdout);
    if (!g_walker) return;
    EXPECT_EQ("", OffWorkArea(g_walker->Pid())) << "windows off the work area after: " << what;
    EXPECT_EQ("", GtkComplaints(g_walker->Output())) << "GTK complained by: " << what;
    static size_t checked = 0;  // each measurement is judged once
    std::vector<std::string> widths = g_walker->PaneWidths();
    if (widths.size() < checked) checked = 0;  // another program's log
    EXPECT_EQ("", WiderPanes({widths.begin() + long(checked), widths.end()})) << "a chat pane is wider after: " << what;
    checked = widths.size();
}

// Where the rows of the room's user lists and menus are: the program's own order and layout.
class RoomPlaces {
public:
    RoomPlaces(testenv::Stack& stack, const Window& room) : skin_("RoomSkin.xml", room.Width(), room.Height()) {
        // The members' tab, which the room window opens with.
        if (auto* tab = dynamic_cast<CTabLayoutUI*>(skin_.Manager().FindControl("RightUserListTab")))
            tab->SelectItem(1);
        skin_.Manager().UpdateLayout();
        stack.Rooms().WithData([&](testenv::SvcData& d) {
            const testenv::SvcRoom& r = d.rooms[testenv::Stack::kBusyRoom];
            for (uint32_t uid : r.users) {
                const testenv::SvcUser& u = d.users[uid];
                roomui::UserListItemInfo row;
                row.uid = uid;
                auto role = r.roles.find(uid);
                row.role = role == r.roles.end() ? 0 : int(role->second);
                row.levelCode = u.level;
                row.beautyId = u.beautyid;
                members_.push_back(row);
                users_[uid] = u;
            }
            for (const auto& [uid, mic] : r.mics)
                if (mic.type == 1) micHolders_.push_back(uid);  // the gift panel's receivers, by id
        });
        std::sort(members_.begin(), members_.end(), roomui::UserOrderLess);
    }
    SkinLayout& Skin() { return skin_; }
    // The middle of a user's row in the members' list (25-pixel rows from its top).
    POINT MemberRow(uint32_t uid) {
        const RECT list = skin_.Rect("UserMemberList");
        for (size_t i = 0; i < members_.size(); ++i)
            if (members_[i].uid == uid) return {list.left + 60, list.top + 25 * int(i) + 12};
        return {-1, -1};
    }
    // The row of `id` in the menu the user list opens on another user.
    int UserMenuRow(uint32_t me, uint32_t target, int id) {
        struct NoRights : roomui::IUserRights {
            bool Ask(int, int, int, int) override { return false; }
        } rights;
        roomui::UserMenuInput in;
        in.me.uid = me;
        in.target.uid = target;
        int items = 0, breaks = 0;
        for (const roomui::UserMenuEntry& e : roomui::BuildUserMenu(in, rights)) {
            if (!e.separator && e.id == id) return MenuRowY(items, breaks);
            (e.separator ? breaks : items)++;
        }
        return -1;
    }
    // The receiver's place in the gift panel's list: the other users on the public microphones, by id.
    int GiftReceiverIndex(uint32_t me, uint32_t uid) {
        int i = 0;
        for (uint32_t holder : micHolders_) {
            if (holder == uid) return i;
            if (holder != me) ++i;
        }
        return -1;
    }
    std::string Nickname(uint32_t uid) { return users_[uid].nickname; }  // GBK

private:
    SkinLayout skin_;
    std::vector<roomui::UserListItemInfo> members_;
    std::map<uint32_t, testenv::SvcUser> users_;
    std::vector<uint32_t> micHolders_;
};

// The place of a top-level window in the stacking, bottom first; -1 when it is not there.
int Level(unsigned long window) {
    const std::vector<unsigned long> s = Stacking();
    auto at = std::find(s.begin(), s.end(), FrameOf(window));
    return at == s.end() ? -1 : int(at - s.begin());
}

// Effects playing (gifts from dora to the guest) while the settings dialog is used: the dialog lies above the
// effect, the effect just above the room and taking no input; a tab of the dialog over the effect's place
// takes its click; the cancel button closes the dialog.
void EffectWhileADialogIsUsed(testenv::Stack& stack, const Window& roomWnd, testenv::PeerClient& dora, uint32_t me,
                              const std::string& shots) {
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(stack.PeerGift(dora, me, testenv::Stack::kEffectGift, 1));
    Window effect;
    ASSERT_TRUE(WaitWindow("^VarnetGiftEffect$", effect, 10000)) << "no gift effect";
    SkinLayout skin("RoomSkin.xml", roomWnd.Width(), roomWnd.Height());
    Click(roomWnd, skin.Center("VideoSetupBTN"));
    Window settings;
    ASSERT_TRUE(WaitWindow(Utf8("^房间设置对话框$"), settings, 10000)) << "the video button opened no dialog";
    usleep(800000);
    EXPECT_TRUE(FindWindow("^VarnetGiftEffect$", effect)) << "the effects ended too soon";
    EXPECT_GT(Level(settings.id), Level(effect.id)) << "the dialog lies under the effect";
    EXPECT_EQ(Level(effect.id), Level(roomWnd.id) + 1) << "the effect is not just above the room";
    EXPECT_EQ(0, InputRectangles(effect.id)) << "the effect takes input";
    SkinLayout settingsSkin("RoomConfigSet.xml", settings.Width(), settings.Height());
    const auto before = Grab(settings.rc);
    Click(settings, settingsSkin.Center("VoiceSetingOption"));
    EXPECT_TRUE(WaitFor([&] { return Difference(before, Grab(settings.rc)) > 0.01; }, 5000))
        << "the dialog's tab took no click";
    usleep(300000);
    Screenshot({0, 0, 1280, 1024}, shots + "/08b-effect-under-dialog.png");
    Click(settings, settingsSkin.Center("RoomConfigCancelBTN"));
    EXPECT_TRUE(WaitFor([&] { return WindowGone(Utf8("^房间设置对话框$")); }, 10000)) << "the dialog stayed";
    Step("used the settings dialog while gift effects played: it stayed above them, its tab took the click",
         shots + "/08b-effect-under-dialog.png");
    // The effects end before the next step looks at the panes.
    EXPECT_TRUE(WaitFor([] { return WindowGone("^VarnetGiftEffect$"); }, 60000)) << "the effects did not end";
}

// A window of another program over each chat pane, then gone: each pane shows what it showed before.
void ForeignWindowOverThePanes(const Window& roomWnd, const std::string& shots) {
    SkinLayout skin("RoomSkin.xml", roomWnd.Width(), roomWnd.Height());
    // The pointer away from the panes (a pane under it shows its hover buttons).
    Shell("xdotool mousemove " + std::to_string(roomWnd.rc.left + 20) + " " + std::to_string(roomWnd.rc.bottom - 20));
    for (const char* name : {"webbrowserMsgView", "webbroserMsgViewSelf", "WebBrowserTrumpet"}) {
        const RECT pane = ToScreen(roomWnd, skin.Rect(name));
        std::vector<unsigned char> before = Grab(pane), now;
        WaitFor(
            [&] {
                usleep(300000);
                now = Grab(pane);
                bool still = now == before;
                before = now;
                return still;
            },
            10000);
        const int w = pane.right - pane.left, h = pane.bottom - pane.top;
        CoverWindow cover;
        EXPECT_TRUE(cover.Show({pane.left + w / 4, pane.top + h / 8, pane.right - w / 4, pane.top + h / 2})) << name;
        cover.Hide();
        EXPECT_TRUE(WaitFor([&] { return Grab(pane) == before; }, 5000))
            << name << ": not redrawn where the window went";
    }
    Screenshot(roomWnd.rc, shots + "/08c-panes-uncovered.png");
    Step("another program's window over each chat pane and gone: each pane shows what it showed",
         shots + "/08c-panes-uncovered.png");
}

// Signed in as alice: the busy room from the directory again, a whisper to dora, a gift to a receiver
// chosen in the gift panel, dora's details from the user list's menu, the first microphone popped out
// and back, and leaving.
void AliceInTheBusyRoom(Program& varnet, testenv::Stack& stack, const Window& lobby, testenv::PeerClient& dora,
                        const std::string& shots) {
    const int room = testenv::Stack::kBusyRoom;
    const uint32_t alice = testenv::Stack::kAccountUid;
    const uint32_t bob = 1002;  // on the first microphone
    std::string why;
    const std::string listed = Utf8("更新用户列表");
    auto count = [&](const std::string& text, const std::string& in) {
        int n = 0;
        for (size_t at = in.find(text); at != std::string::npos; at = in.find(text, at + 1)) ++n;
        return n;
    };
    const int lists = count(listed, varnet.Log("RoomManager.txt"));
    Window roomWnd;
    ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, stack, lobby, roomWnd, &why)) << why;
    ASSERT_TRUE(stack.Chat().WaitMembers(room, 2, 20000)) << "alice's room did not join the chat";
    ASSERT_TRUE(WaitFor([&] { return count(listed, varnet.Log("RoomManager.txt")) > lists; })) << "no user list";
    usleep(1500000);  // laid out and drawn
    ASSERT_TRUE(WaitWindow(".*[(]" + std::to_string(room) + "[)]", roomWnd));
    Screenshot(roomWnd.rc, shots + "/12-room-alice.png");
    Step("signed in, alice entered the room again from the directory", shots + "/12-room-alice.png");
    RoomPlaces places(stack, roomWnd);
    SkinLayout& skin = places.Skin();
    const POINT doraRow = places.MemberRow(dora.Uid());
    ASSERT_GE(doraRow.y, 0) << "dora is not in the room's list";

    // The user list's menu on dora's row; the chosen entry closes it.
    auto userMenu = [&](int id, const char* shot) {
        Focus(roomWnd);
        usleep(200000);
        ClickButton(roomWnd, doraRow, 3);
        Window menu;
        if (!WaitWindow("^ZqMenu$", menu, 10000)) return false;
        usleep(300000);
        EXPECT_EQ("", OffWorkArea(varnet.Pid())) << "the user menu is off the work area";
        if (shot)
            Screenshot({roomWnd.rc.left + doraRow.x - 80, menu.rc.top - 40, menu.rc.right + 10, menu.rc.bottom + 10},
                       shots + "/" + shot);
        Click(menu, {60, places.UserMenuRow(alice, dora.Uid(), id)});
        return WaitFor([] { return WindowGone("^ZqMenu$"); }, 10000);
    };

    // A user's details: the card with her nickname and id, from the service's record.
    const int infos = stack.Rooms().RequestCount("getuserinfo");
    EXPECT_TRUE(userMenu(roomui::kMenuProfile, "13-user-menu.png")) << "the user menu did not open or close";
    Window card;
    if (WaitWindow(Utf8("^查看他人信息对话框$"), card, 10000)) {
        EXPECT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("getuserinfo") > infos; }, 10000));
        const auto asked = stack.Rooms().Queries("getuserinfo");
        EXPECT_TRUE(!asked.empty() && asked.back().find("tid=" + std::to_string(dora.Uid())) != std::string::npos)
            << "the details asked were not dora's";
        usleep(600000);
        SkinLayout cardSkin("CheckUserInfoWnd.xml", card.Width(), card.Height());
        EXPECT_TRUE(WaitFor([&] { return Ink(ToScreen(card, cardSkin.Rect("ChkUserNickNameLabel"))) > 0.01; }, 10000))
            << "the card shows no nickname";
        EXPECT_GT(Ink(ToScreen(card, cardSkin.Rect("UserIDEdit"))), 0.01) << "the card shows no id";
        Screenshot(card.rc, shots + "/14-user-details.png");
        Click(card, cardSkin.Center("UserInfoOK"));
        EXPECT_TRUE(WaitFor([&] { return WindowGone(Utf8("^查看他人信息对话框$")); }, 10000)) << "the card stayed";
        Step("opened dora's details from the user list's menu: her card, then closed it",
             shots + "/14-user-details.png");
    } else {
        ADD_FAILURE() << "the menu did not open the user's details";
    }

    // A whisper: dora as the chat target (the menu), the private box ticked, a line sent; dora gets it as a
    // private line, the own view shows it.
    EXPECT_TRUE(userMenu(roomui::kMenuChatTarget, nullptr)) << "the user menu did not open or close";
    Focus(roomWnd);
    Click(roomWnd, skin.Center("checkboxPrivateTalk"));
    usleep(300000);
    const std::string whisper = "小美，悄悄告诉你";
    const RECT ownView = ToScreen(roomWnd, skin.Rect("webbroserMsgViewSelf"));
    const auto ownBefore = Grab(ownView);
    EXPECT_TRUE(SendChatLine(roomWnd, Utf8(whisper.c_str())));
    EXPECT_TRUE(dora.WaitLine(
        [&](const testenv::PeerClient::Line& l) { return !l.isPublic && l.text.find(whisper) != std::string::npos; },
        10000))
        << "dora did not get the whisper as a private line";
    EXPECT_TRUE(WaitFor([&] { return Difference(ownBefore, Grab(ownView)) > 0.002; }, 10000))
        << "the whisper's echo did not show in the own view";
    usleep(500000);
    Screenshot(roomWnd.rc, shots + "/15-whisper.png");
    Step("whispered to dora: she got it as a private line, the own view shows it", shots + "/15-whisper.png");

    // A gift to a chosen user: bob picked in the gift panel's receiver list (the last receiver added is the
    // one chosen at first), then the first gift of the first page (a rose, 10 coins); the service charges
    // alice for it and names bob, the paced line comes back.
    const RECT combo = skin.Rect("GiftToPeopleComBo");
    const int receiver = places.GiftReceiverIndex(alice, bob);
    ASSERT_GE(receiver, 0);
    Focus(roomWnd);
    Click(roomWnd, {(combo.left + combo.right) / 2, (combo.top + combo.bottom) / 2});
    Window receivers;
    if (WaitWindow("^ZqMenu$", receivers, 10000)) {
        usleep(300000);
        Screenshot({receivers.rc.left - 40, receivers.rc.top - 30, receivers.rc.right + 10, receivers.rc.bottom + 10},
                   shots + "/16-gift-receivers.png");
        Click(receivers, {60, MenuRowY(receiver)});
        EXPECT_TRUE(WaitFor([] { return WindowGone("^ZqMenu$"); }, 10000)) << "the receiver list stayed";
    } else {
        ADD_FAILURE() << "the receiver list did not open";
    }
    usleep(300000);
    uint64_t before = 0, after = 0;
    stack.Rooms().WithData([&](testenv::SvcData& d) { before = d.users[alice].xiubi; });
    const int gifts = stack.Rooms().RequestCount("sendgift");
    const RECT pages = skin.Rect("tablayout_GiftType");
    // The first cell (59 x 57, its picture at 10,9-50,49) shows a picture, also when it is the gift the
    // updater brought.
    EXPECT_GT(Ink(ToScreen(roomWnd, RECT{pages.left + 14, pages.top + 13, pages.left + 46, pages.top + 45})), 0.2)
        << "the first gift of the panel shows no picture";
    Click(roomWnd, {pages.left + 30, pages.top + 28});
    ASSERT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("sendgift") > gifts; }, 10000)) << "no gift sent";
    const std::string query = stack.Rooms().Queries("sendgift").back();
    EXPECT_NE(query.find("&tid=" + std::to_string(bob) + "&"), std::string::npos) << query;
    EXPECT_NE(query.find("&cnt=1&"), std::string::npos) << query;
    const size_t gidAt = query.find("&gid=");
    const uint32_t gid = gidAt == std::string::npos ? 0 : uint32_t(atoi(query.c_str() + gidAt + 5));
    uint64_t price = 0;
    stack.Rooms().WithData([&](testenv::SvcData& d) { price = d.giftPrices.count(gid) ? d.giftPrices[gid] : 0; });
    EXPECT_GT(price, 0u) << "gift " << gid << " has no price at the service";
    EXPECT_TRUE(WaitFor(
        [&] {
            stack.Rooms().WithData([&](testenv::SvcData& d) { after = d.users[alice].xiubi; });
            return before - after == price;
        },
        10000))
        << "alice was charged " << before - after << " for gift " << gid << " of price " << price;
    // "爱丽丝(81001) 送给 鲍勃(81002)：1个玫瑰" as the gift line says it.
    const std::string bobName = Utf8(places.Nickname(bob).c_str()), aliceName = Utf8(places.Nickname(alice).c_str());
    EXPECT_TRUE(WaitFor(
        [&] {
            for (const std::string& l : varnet.PaneLines(CHAT_VIEW_PUBLIC | CHAT_VIEW_OWN)) {
                size_t from = l.find(aliceName), to = l.find(bobName);
                if (from != std::string::npos && to != std::string::npos && from < to &&
                    l.find(Utf8("送给")) != std::string::npos)
                    return true;
            }
            return false;
        },
        10000))
        << "no paced gift line from alice to bob";
    usleep(500000);
    Screenshot(roomWnd.rc, shots + "/17-gift-to-bob.png");
    Step("sent bob, chosen in the gift panel, a rose: alice paid for it, the paced line showed",
         shots + "/17-gift-to-bob.png");

    // The first microphone popped out from its control strip: its own window shows moving pictures; its
    // close button puts the picture back in the slot, which plays on.
    if (stack.HasRtmp()) {
        // The slot's window at (2, 55) of the room, its view at (1, 1)-(233, 183) of it; the strip along the
        // view's bottom edge holds three buttons counted from the right, the pop-out the third.
        const int viewLeft = 2 + 1, viewTop = 55 + 1, viewW = 232, viewH = 182;
        int popX = -1;
        for (int x = 0; x < viewW; ++x)
            if (CVideoShowControlWnd::HitTest(x, viewH - 9, viewW, viewH, 3) == 2) {
                popX = x + 3;  // a few pixels inside
                break;
            }
        ASSERT_GE(popX, 0);
        const POINT button{viewLeft + popX, viewTop + viewH - 9};
        Window pop;
        const int popW = 324, popH = 279;  // the pop-out's size when it opens
        bool popped = false;
        for (int attempt = 0; attempt < 3 && !popped; ++attempt) {  // the strip answers once the pointer moved in
            Focus(roomWnd);
            Shell("xdotool mousemove " + std::to_string(roomWnd.rc.left + button.x - 20) + " " +
                  std::to_string(roomWnd.rc.top + button.y - 40));
            usleep(200000);
            ClickButton(roomWnd, button, 1);
            popped = WaitFor([&] { return FindWindowOfSize("^$", popW, popH, pop); }, 5000);
        }
        if (popped) {
            const RECT picture = ToScreen(pop, RECT{2, 19, popW - 2, popH - 20});
            auto a = Grab(picture);
            bool moving = WaitFor(
                [&] {
                    auto b = Grab(picture);
                    bool changed = Difference(a, b) > 0.001;
                    a = b;
                    return changed;
                },
                10000);
            EXPECT_TRUE(moving) << "the popped-out microphone shows no moving pictures";
            usleep(300000);
            Screenshot(pop.rc, shots + "/18-mic-popped-out.png");
            SkinLayout popSkin("VideoShowPublicMicPopup.xml", popW, popH);
            Click(pop, popSkin.Center("btnCloseWnd"));
            EXPECT_TRUE(WaitFor([&] { return !FindWindowOfSize("^$", popW, popH, pop); }, 10000))
                << "the pop-out stayed";
            int playing = 0;
            EXPECT_TRUE(WaitFor([&] { return (playing = MovingMicWindows(roomWnd)) == 3; }, 10000))
                << "only " << playing << " of the 3 microphone windows play after the pop-out closed";
            Step("popped the first microphone out: its window showed moving pictures; closed, the slot plays on",
                 shots + "/18-mic-popped-out.png");
        } else {
            Screenshot(roomWnd.rc, shots + "/18-no-pop-out.png");
            ADD_FAILURE() << "the microphone's pop-out button opened no window";
        }
    }

    // Leaving again.
    const int exits = stack.Rooms().RequestCount("exitroom");
    Focus(roomWnd);
    Click(roomWnd, {roomWnd.Width() - 10 - 16, 25});
    EXPECT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("exitroom") > exits; })) << "alice did not leave";
    EXPECT_TRUE(WaitFor([&] { return WindowGone(".*[(]" + std::to_string(room) + "[)]"); }, 10000));
    Step("alice left the room");
}

// A second user enters after the newcomer: she is greeted and listed, talks under her name, leaves, and the
// list is as before.
void ASecondUserEntersAndLeaves(Program& varnet, testenv::Stack& stack, const Window& roomWnd) {
    const std::string shots = ShotDir();
    SkinLayout skin("RoomSkin.xml", roomWnd.Width(), roomWnd.Height());
    if (auto* tab = dynamic_cast<CTabLayoutUI*>(skin.Manager().FindControl("RightUserListTab"))) tab->SelectItem(1);
    skin.Manager().UpdateLayout();
    const RECT list = ToScreen(roomWnd, skin.Rect("UserMemberList"));
    const auto before = Grab(list);
    auto gwen = std::make_unique<testenv::PeerClient>(stack.Rooms().Endpoint());
    ASSERT_TRUE(gwen->SignIn("gwen", "pw") && gwen->EnterRoom(testenv::Stack::kBusyRoom)) << gwen->LastError();
    EXPECT_TRUE(varnet.WaitPaneLine(CHAT_VIEW_PUBLIC, Utf8("小格(81006)"))) << "the second user is not greeted";
    EXPECT_TRUE(WaitFor([&] { return Difference(before, Grab(list)) > 0.005; }, 10000)) << "she is not listed";
    ASSERT_TRUE(gwen->Say("大家晚上好"));
    EXPECT_TRUE(varnet.WaitPaneLine(CHAT_VIEW_PUBLIC, Utf8("大家晚上好")));
    usleep(500000);
    Screenshot(roomWnd.rc, shots + "/04a-second-user-entered.png");
    Step("a second user entered after the newcomer: greeted, listed, her line under her name",
         shots + "/04a-second-user-entered.png");
    gwen.reset();  // leaves
    EXPECT_TRUE(varnet.WaitPaneLine(CHAT_VIEW_PUBLIC, Utf8("小格 离开房间"))) << "her leaving is not told";
    EXPECT_TRUE(WaitFor([&] { return Difference(before, Grab(list)) < 0.002; }, 10000)) << "she is still listed";
    usleep(300000);
    Screenshot(roomWnd.rc, shots + "/04b-second-user-left.png");
    Step("the second user left: told in the public view, gone from the list", shots + "/04b-second-user-left.png");
}

}  // namespace

TEST(Walk, NewcomerThroughEveryWindow) {
    std::string why;
    if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
    WindowManager wm;  // a user's desktop has one
    if (!wm.Start(&why)) std::printf("the walk runs without a window manager: %s\n", why.c_str());
    testenv::Stack stack;
    testenv::StackOptions options;
    options.binDir = VARNET_BINARY_DIR "/bin";
    if (const char* keep = getenv("VARNET_E2E_DATA")) options.dataDir = keep;  // kept, with the program's logs
    ASSERT_TRUE(stack.Start(options, &why)) << why;
    const int room = testenv::Stack::kBusyRoom;
    Program varnet;
    ASSERT_TRUE(varnet.Start(stack, true));  // what it plays goes to a file
    g_walker = &varnet;
    struct Unset {
        ~Unset() { g_walker = nullptr; }
    } unset;
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
    ASecondUserEntersAndLeaves(varnet, stack, roomWnd);

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
    // A long word without a break, measured in the page once shown: the pane wraps it inside its width.
    auto publicWidths = [&] {
        int n = 0;
        for (const std::string& w : varnet.PaneWidths()) n += w.rfind("pane=public ", 0) == 0 ? 1 : 0;
        return n;
    };
    const int measured = publicWidths();
    const std::string longWord = "看这里" + std::string(160, 'w');
    ASSERT_TRUE(dora->Say(longWord));
    EXPECT_TRUE(varnet.WaitPaneLine(CHAT_VIEW_PUBLIC, std::string(160, 'w'))) << "the long line is not shown";
    EXPECT_TRUE(WaitFor([&] { return publicWidths() > measured; }, 10000)) << "the public pane was not measured";
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
    // A guest's own view gets the room's private-microphone tip once it and the user list are in: the picture
    // under the panel is taken once that line is shown (the view is blank before), the gift's effect has
    // gone and the view is still.
    EXPECT_TRUE(WaitFor([] { return WindowGone("^VarnetGiftEffect$"); }, 20000)) << "the gift effect did not end";
    std::vector<unsigned char> ownUnderPanel;
    EXPECT_TRUE(WaitFor(
        [&] {
            if (Ink(ownView) == 0.0) return false;
            const auto first = Grab(ownView);
            usleep(500000);
            ownUnderPanel = Grab(ownView);
            return Difference(first, ownUnderPanel) == 0.0;
        },
        10000))
        << "the own view did not show the tip and come to rest";
    Click(roomWnd, skin.Center("btnChatFace"));
    Window faces;
    if (WaitWindow("^VarnetChatFaceSelectPanel$", faces, 5000)) {
        usleep(800000);  // the pictures are loaded
        Screenshot(faces.rc, shots + "/06-emoticons.png");
        EXPECT_GT(Difference(ownUnderPanel, Grab(ownView)), 0.0) << "the emoticon panel is not over the own view";
        Click(faces, {6 + 16, 4 + 34 + 16});
        EXPECT_TRUE(varnet.WaitLog("RoomUI.txt", "聊天选择表情 表情id=", 5000));
        // Closed, it leaves the view under it as it was.
        EXPECT_TRUE(WaitFor([] { return WindowGone("^VarnetChatFaceSelectPanel$"); }, 5000));
        EXPECT_TRUE(WaitFor([&] { return Difference(ownUnderPanel, Grab(ownView)) == 0.0; }, 5000))
            << "the own view was not repainted where the emoticon panel was";
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

    // Effects playing while a dialog is used; another program's window over the panes.
    EffectWhileADialogIsUsed(stack, roomWnd, *dora, me, shots);
    ForeignWindowOverThePanes(roomWnd, shots);

    // Leaving: the room window's close button.
    const int exitsBefore = stack.Rooms().RequestCount("exitroom");  // the second user's among them
    Click(roomWnd, {roomWnd.Width() - 10 - 16, 25});
    EXPECT_TRUE(WaitFor([&] { return stack.Rooms().RequestCount("exitroom") == exitsBefore + 1; }))
        << "the room was not left";
    EXPECT_TRUE(stack.Chat().WaitMembers(room, 1, 10000)) << "leaving the room did not end its chat";  // dora stays
    EXPECT_TRUE(WaitFor([&] { return WindowGone(".*[(]" + std::to_string(room) + "[)]"); }, 10000));
    Step("left the room: its window closed and its chat ended");

    // An account: the main menu's first entry opens the login dialog.
    usleep(500000);
    SkinLayout lobbySkin("VarnetSkin.xml", lobby.Width(), lobby.Height());
    Click(lobby, lobbySkin.Center("MainMenuBTN"));
    usleep(600000);
    Screenshot({0, 0, 1280, 1024}, shots + "/09-main-menu.png");
    EXPECT_EQ("", OffWorkArea(varnet.Pid())) << "the main menu is off the work area";
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

    // Alice in the busy room again: whispering, a gift to a chosen user, a user's details, a microphone
    // popped out; then she leaves.
    AliceInTheBusyRoom(varnet, stack, lobby, *dora, shots);
    if (HasFatalFailure()) return;

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

    // No log holds a password, token or session id that was used.
    std::vector<std::string> secrets =
        SecretsSent(stack, {"login", "getmyinfo", "getuserinfo", "enterroom", "exitroom", "heartbeat", "getroomuser",
                            "getmicinfo", "getchatsig", "sendgift", "logout"});
    EXPECT_GE(secrets.size(), 4u) << "the walk used too few secrets to look for";
    secrets.push_back("secret");
    for (const std::string& leak : SecretsInLogs(stack.DataDir(), secrets)) ADD_FAILURE() << "a secret in " << leak;
    Step("the logs hold none of the passwords, tokens and session ids used");
}
