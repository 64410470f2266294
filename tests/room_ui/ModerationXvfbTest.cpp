// The real program on the test display against the local room, web and chat services: the owner signs in,
// enters the room, right-clicks another user's row in the members list, opens the user's details, mutes him
// and kicks him; the other user is a chat client of this test and sees both. Screenshots of the menu and of
// the details popup go under the build folder. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "ChatServer.h"
#include "ChatTestClient.h"
#include "Pingla.h"
#include "ProgramDesktop.h"
#include "RoomService.h"
#include "UpdateService.h"
#include "UserListUI.h"
#include "WebService.h"
#include "TestUtil.h"

using namespace DuiLib;
using namespace desktoptest;

namespace {

// The program's own controls only take their place, but for the members list.
CControlUI* MakeControl(const char* cls) {
    if (std::string(cls) == "CUserListUI") return new roomui::CUserListUI;
    return new CControlUI;
}

// Offsets in the user menu: 2 px inset, 28 px items, 9 px group breaks (after ids 1, 4, 8 and 12).
int MenuItemY(int id) {
    int breaks = (id > 1) + (id > 4) + (id > 8) + (id > 12);
    return 2 + id * 28 + breaks * 9 + 14;
}

class ModerationProgram : public ProgramTest {};

}  // namespace

TEST_F(ModerationProgram, OwnerMutesAndKicksAnotherClientWhoSeesIt) {
    // The stack: the room service's moderation notices go out through the chat server.
    testenv::ChatServer chat;
    int chatPort = chat.Start(0);
    ASSERT_NE(chatPort, 0);
    testenv::RoomService service;
    service.SetNoticeSink([&chat](int rid, const std::string& cmd, const std::string& body) {
        chat.PushNotice(uint32_t(rid), cmd, body);
    });
    service.WithData([chatPort](testenv::SvcData& d) {
        d.chatPort = chatPort;
        d.users[1002].sid = 7002;
        d.users[1002].level = 300;
        testenv::SvcRoom& room = d.rooms[3003];
        room.users = {1002};
        room.mics.clear();
        room.roles = {{1001, 40}};
    });
    ASSERT_NE(service.Start(0), 0);
    testenv::WebService web;
    ASSERT_TRUE(web.Start());
    testenv::UpdateService updates;
    updates.SetConfigText(updates.ConfigIni("Varnet_1.0.0.1_release", ""));
    ASSERT_TRUE(updates.Start());

    // Bob, the other user: a chat client in the room's channel.
    CPingla bob;
    testsupport::ChatInbox inbox;
    ASSERT_TRUE(testsupport::JoinRoomChat(service, bob, inbox, 1002, 7002, 3003, "1002_chat"));

    const std::string data = testsupport::MakeTempDir("varnet-moderation");
    ASSERT_FALSE(data.empty());
    WriteUserIni(data, service, web, false);
    {
        std::ofstream cfg(data + "/config.ini");
        cfg << updates.ConfigIni("Varnet_1.0.0.1_release", "");
    }
    namespace fs = std::filesystem;
    const fs::path install = data + "-install";
    MakeInstall(install);
    Program program;
    ASSERT_TRUE(program.Start(data, install));
    auto log = [&](const char* file) { return program.Log(file); };

    // Sign in as the owner.
    RECT login;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("登录对话框"), login); })) << "no login dialog";
    usleep(400000);
    SignIn(login, "alice", "secret");
    ASSERT_TRUE(WaitFor([&] { return service.RequestCount("login") >= 1; })) << "no login request";
    RECT lobby;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("泽秀美女视频"), lobby); })) << "no lobby";
    ASSERT_TRUE(WaitFor([&] { return HomePageLoaded(program); })) << "the home page did not load";
    usleep(500000);

    // The first room link of the home page enters room 3003.
    SkinLayout lobbySkin("VarnetSkin.xml", MakeControl);
    ClickRested(lobby, FirstRoomLink(lobbySkin));
    ASSERT_TRUE(chat.WaitMembers(3003, 2, 20000)) << "the owner's room did not join the chat";
    RECT room;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(".*[(]3003[)]", room); })) << "no room window";
    ASSERT_TRUE(WaitFor([&] { return service.RequestCount("getroomuser") >= 1; }));
    usleep(1500000);  // maximised, the lists filled and drawn
    ASSERT_TRUE(FindTitle(".*[(]3003[)]", room));

    // Bob's row: the second of the members list (the owner's rank comes first).
    SkinLayout roomSkin("RoomSkin.xml", MakeControl);
    roomSkin.LayOut(room.right - room.left, room.bottom - room.top);
    if (auto* tab = dynamic_cast<CTabLayoutUI*>(roomSkin.Find("RightUserListTab"))) tab->SelectItem(1);
    roomSkin.LayOut(room.right - room.left, room.bottom - room.top);
    RECT list = roomSkin.Rect("UserMemberList");
    ASSERT_GT(list.bottom - list.top, 50);
    const POINT bobRow{list.left + 60, list.top + 25 + 12};
    auto menu = [&](int id, const char* shot) {
        // The test display has no window manager: the keyboard focus goes back to the room window (after a
        // menu or a popup went) as a desktop would give it back; a menu ends when it loses the focus.
        Xdo("search --onlyvisible --name '.*[(]3003[)]$' windowfocus --sync");
        usleep(200000);
        ClickRested(room, bobRow, 3);
        RECT m;
        bool shown = WaitFor([&] { return FindTitle("ZqMenu", m); }, 5000);
        if (!shown) Screenshot(RECT{0, 0, 1280, 1024}, shots + "/right_column_no_menu.png");
        ASSERT_TRUE(shown) << "no menu";
        usleep(300000);
        if (shot) {
            RECT both{room.left + list.left - 20, room.top + list.top - 40, m.right + 10, m.bottom + 10};
            Screenshot(both, shots + "/" + shot);
        }
        ClickRested(m, {60, MenuItemY(id)});
        EXPECT_TRUE(WaitFor([&] { return !FindTitle("ZqMenu", m); }, 5000)) << "the menu stayed";
    };

    // The details of the right-clicked user.
    menu(13, "right_column_menu.png");
    RECT card;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("查看他人信息对话框"), card); })) << "no details popup";
    EXPECT_EQ(service.RequestCount("getuserinfo"), 1);
    EXPECT_NE(service.Queries("getuserinfo").at(0).find("tid=1002"), std::string::npos);
    usleep(500000);
    Screenshot(card, shots + "/right_column_user_details.png");
    ClickRested(card, At("CheckUserInfoWnd.xml", 350, 260, "UserInfoOK", MakeControl));
    EXPECT_TRUE(WaitFor([&] { return !FindTitle(Utf8("查看他人信息对话框"), card); }, 5000)) << "the popup stayed";

    // Mute: the service holds it and bob's client is told.
    menu(5, nullptr);
    EXPECT_TRUE(WaitFor([&] { return inbox.Has("notifyop type=2\ntid=1002\nfid=1001"); }))
        << "bob was not told of the mute";
    bool muted = false;
    service.WithData([&](testenv::SvcData& d) { muted = d.rooms[3003].muted.count(1002) > 0; });
    EXPECT_TRUE(muted);
    EXPECT_TRUE(WaitFor([&] { return log("RoomLogic.txt").find("cmd=notifyop") != std::string::npos; }))
        << "the owner's room did not get the notice";

    // Kick: bob is told and leaves the room; the owner's list drops him.
    menu(7, nullptr);
    EXPECT_TRUE(WaitFor([&] { return inbox.Has("notifyop type=1\ntid=1002\nfid=1001"); }))
        << "bob was not told of the kick";
    EXPECT_TRUE(WaitFor([&] { return inbox.Has("notifyexit id=1002\n"); }));
    bool gone = false;
    service.WithData([&](testenv::SvcData& d) { gone = d.rooms[3003].users.count(1002) == 0; });
    EXPECT_TRUE(gone);
    EXPECT_EQ(service.RequestCount("oproomuserchat"), 1);
    EXPECT_EQ(service.RequestCount("kickroom"), 1);
    EXPECT_EQ(service.BadSignatures(), 0);
    usleep(800000);
    Screenshot(room, shots + "/right_column_after_kick.png");

    // Leave the room and quit.
    ClickRested(room, {room.right - room.left - 17, 26});
    EXPECT_TRUE(WaitFor([&] { return service.RequestCount("exitroom") == 1; })) << "the room was not left";
    usleep(300000);
    ASSERT_TRUE(QuitFromLobby(lobby, lobbySkin)) << "no close prompt";
    EXPECT_TRUE(WaitFor([&] { return program.Exited(); }, 20000)) << "Varnet did not end";
    bob.Close();
    updates.Stop();
    fs::remove_all(data);
    fs::remove_all(install);
    printf("screenshots: %s/right_column_menu.png, %s/right_column_user_details.png, %s/right_column_after_kick.png\n",
           shots.c_str(), shots.c_str(), shots.c_str());
}
