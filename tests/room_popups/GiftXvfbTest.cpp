// The real program on the test display against the local stack: sign in as an account, enter room 3003,
// choose the second of two receivers who share one nickname in the gift panel, click a gift; the service
// charges the balance for that receiver, the chat server pushes the gift back and the room shows it as the
// paced gift line. The cheque gift opens its popup. Screenshots of the gift panel and the cheque under the
// build folder. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ChatServer.h"
#include "PickerControls.h"
#include "ProgramDesktop.h"
#include "RoomService.h"
#include "TestUtil.h"
#include "UpdateService.h"
#include "WebService.h"

using namespace DuiLib;
using namespace desktoptest;

namespace {

// The program's own controls are plain controls here (their size comes from the skin's attributes alone).
CControlUI* MakeControl(const char*) {
    return new CContainerUI;
}

class GiftProgram : public ProgramTest {};

// The centre of the k-th cell of a gift page, as the panel's grid lays its cells out over the pages' place.
POINT GiftCell(SkinLayout& skin, int k) {
    auto* pages = dynamic_cast<CContainerUI*>(skin.Find("tablayout_GiftType"));
    if (!pages) return {0, 0};
    if (pages->GetCount() == 0) {
        auto* grid = new roomui::CControlGiftSelect;
        grid->SetItemSize(SIZE{59, 57});
        grid->EnableScrollBar(true, false);
        for (int i = 0; i < 8; ++i) {
            auto* cell = new roomui::CControlGiftSelectItem;
            cell->SetFixedWidth(59);
            cell->SetFixedHeight(57);
            grid->Add(cell);
        }
        pages->Add(grid);
        skin.LayOut(0, 0);  // laid out again at the size it has
    }
    auto* grid = static_cast<CContainerUI*>(pages->GetItemAt(0));
    RECT cell = grid->GetItemAt(k)->GetPos();
    return {(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
}

}  // namespace

TEST_F(GiftProgram, PanelGiftReachesTheChosenUserAndComesBackAsThePacedLine) {
    // The stack: the chat server gets the service's announcements.
    testenv::ChatServer chat;
    int chatPort = chat.Start(0);
    ASSERT_NE(chatPort, 0);
    testenv::RoomService service;
    service.SetNoticeSink(
        [&chat](uint32_t room, const std::string& cmd, const std::string& body) { chat.PushNotice(room, cmd, body); });
    // Alice pays; the two performers on the microphones are both named "鲍勃".
    service.WithData([chatPort](testenv::SvcData& d) {
        d.chatPort = chatPort;
        for (uint32_t uid : {1001u, 1002u, 1003u}) d.users[uid].level = 300;
        d.users[1003].nickname = "鲍勃";
        d.rooms[3003].mics[1003] = testenv::SvcMic{1, 0, "publish"};
    });
    ASSERT_NE(service.Start(0), 0);
    testenv::WebService web;
    ASSERT_TRUE(web.Start());
    testsupport::TempDir dataDir("varnet-giftxvfb");  // removed at the end
    ASSERT_FALSE(dataDir.path().empty());
    const std::string data = dataDir.path();
    namespace fs = std::filesystem;
    const fs::path bin = VARNET_BINARY_DIR "/bin", install = data + "/install";
    MakeInstall(install);
    testenv::UpdateService updates;  // nothing newer than the installed catalogue
    updates.SetCatalogueFolder((bin / "res").string());
    ASSERT_TRUE(updates.Start());
    updates.SetConfigText(updates.ConfigIni("Varnet_1.0.0.1_release", ""));
    WriteUserIni(data, service, web, true);
    {
        std::ofstream cfg(data + "/config.ini");
        cfg << updates.ConfigIni("Varnet_1.0.0.1_release", "");
    }
    Program program;
    // The chat lines go to the room window's log.
    ASSERT_TRUE(program.Start(data, install.string(), {{"VARNET_LOG_DEBUG", "1"}}));
    auto log = [&](const char* file) { return program.Log(file); };

    // Sign in as alice.
    RECT login;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("登录对话框"), login); })) << "no login dialog";
    usleep(400000);
    SignIn(login, "alice", "secret");
    RECT lobby;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("泽秀美女视频"), lobby); })) << "no lobby";
    EXPECT_EQ(service.RequestCount("login"), 1);
    ASSERT_TRUE(WaitFor([&] { return HomePageLoaded(program); })) << "the home page did not load";
    usleep(500000);

    // The first room link of the home page enters room 3003.
    SkinLayout lobbySkin("VarnetSkin.xml", MakeControl);
    ClickRested(lobby, FirstRoomLink(lobbySkin));
    ASSERT_TRUE(chat.WaitMembers(3003, 1, 20000)) << "the room logic did not join the room's chat";
    RECT room;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(".*[(]3003[)]", room); })) << "no room window";
    ASSERT_TRUE(WaitFor([&] { return log("RoomManager.txt").find(Utf8("更新用户列表")) != std::string::npos; }))
        << "no user list";
    usleep(800000);  // maximised and drawn
    ASSERT_TRUE(FindTitle(".*[(]3003[)]", room));
    SkinLayout roomSkin("RoomSkin.xml", MakeControl);
    roomSkin.LayOut(room.right - room.left, room.bottom - room.top);

    // The second "鲍勃" of the receiver combo (user 1003), then the first gift of the first page (玫瑰, 10 coins).
    RECT combo = roomSkin.Rect("GiftToPeopleComBo");
    ClickRested(room, Mid(combo));
    usleep(500000);
    ClickRested(room, {combo.left + 30, combo.bottom + CZqMenuUI::kItemHeight + CZqMenuUI::kItemHeight / 2});
    usleep(300000);
    RECT pages = roomSkin.Rect("tablayout_GiftType");
    uint64_t before = 0;
    service.WithData([&](testenv::SvcData& d) { before = d.users[1001].xiubi; });
    ClickRested(room, GiftCell(roomSkin, 0));
    ASSERT_TRUE(WaitFor([&] { return service.RequestCount("sendgift") == 1; }, 10000)) << "no gift sent";
    std::string query = service.Queries("sendgift")[0];
    EXPECT_NE(query.find("&tid=1003&gid=10001&cnt=1&"), std::string::npos) << query;
    uint64_t after = 0;
    service.WithData([&](testenv::SvcData& d) { after = d.users[1001].xiubi; });
    EXPECT_EQ(before - after, 10u);
    // The client took the new balance from the answer, and the announcement came back as the paced line.
    EXPECT_TRUE(WaitFor([&] { return log("HttpRequest.txt").find(std::to_string(after)) != std::string::npos; }, 10000))
        << "the answer with the balance did not arrive";
    EXPECT_TRUE(WaitFor(
        [&] { return log("RoomLogic.txt").find(Utf8("爱丽丝(1001)给鲍勃(1003)送了1个玫瑰")) != std::string::npos; },
        10000))
        << "the gift notice did not come back";
    EXPECT_TRUE(WaitFor(
        [&] {
            std::string ui = log("RoomUI.txt");
            size_t at = ui.find("CRoomUI::DealChatLine");
            for (; at != std::string::npos; at = ui.find("CRoomUI::DealChatLine", at + 1)) {
                std::string line = ui.substr(at, ui.find('\n', at) - at);
                if (line.find(Utf8("玫瑰")) != std::string::npos && line.find(Utf8("鲍勃")) != std::string::npos)
                    return true;
            }
            return false;
        },
        10000))
        << "no paced gift line";
    usleep(500000);
    Screenshot(room, shots + "/gift_room.png");
    RECT right = roomSkin.Rect("ContainerRight");
    Screenshot({room.left + right.left, room.top + right.top, room.left + right.right, room.top + right.bottom},
               shots + "/gift_panel.png");

    // Resting on a gift shows its card beside the pages; leaving the cells hides it.
    const POINT second = GiftCell(roomSkin, 1);
    std::string move =
        "xdotool mousemove " + std::to_string(room.left + second.x) + " " + std::to_string(room.top + second.y);
    EXPECT_EQ(system((move + " >/dev/null 2>&1").c_str()), 0);
    EXPECT_TRUE(WaitFor([&] { return log("RoomUI.txt").find(Utf8("礼物预览 gid=")) != std::string::npos; }, 10000))
        << "no gift card";
    usleep(400000);
    Screenshot(
        {room.left + right.left - 240, room.top + pages.top - 10, room.left + right.right, room.top + pages.bottom},
        shots + "/gift_card.png");

    // The cheque of the second category (its third gift) opens the cheque popup for the same receiver.
    // Under load the category may not have been switched when the cell is clicked: then both clicks again,
    // with more time between them.
    RECT categories = roomSkin.Rect("containerGiftCategory");
    RECT cheque;
    bool chequeShown = false;
    for (int attempt = 1; attempt <= 3 && !chequeShown; ++attempt) {
        ClickRested(room, {categories.left + 1 + 40 + 1 + 20, (categories.top + categories.bottom) / 2});
        usleep(300000 * attempt);
        ClickRested(room, GiftCell(roomSkin, 2));
        chequeShown = WaitFor([&] { return FindTitle(Utf8("支票对话框"), cheque); }, 5000);
    }
    ASSERT_TRUE(chequeShown) << "no cheque popup";
    usleep(500000);
    Screenshot(cheque, shots + "/gift_cheque.png");
    SkinLayout chequeSkin("PopWndCheque.xml", MakeControl);
    chequeSkin.LayOut(cheque.right - cheque.left, cheque.bottom - cheque.top);
    ClickRested(cheque, Mid(chequeSkin.Rect("btnClose")));
    EXPECT_TRUE(WaitFor(
        [&] {
            RECT r;
            return !FindTitle(Utf8("支票对话框"), r);
        },
        5000))
        << "the cheque stayed";

    // The group gift (the first gift of the third category) opens its popup with the room's users.
    ClickRested(room, {categories.left + 2 * (1 + 40) + 1 + 20, (categories.top + categories.bottom) / 2});
    usleep(300000);
    ClickRested(room, GiftCell(roomSkin, 0));
    RECT group;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("群刷道具"), group); }, 10000)) << "no group gift popup";
    usleep(500000);
    Screenshot(group, shots + "/gift_group.png");
    EXPECT_EQ(service.RequestCount("sendgift"), 1);
    printf("screenshots: %s/gift_room.png, gift_panel.png, gift_card.png, gift_cheque.png, gift_group.png\n",
           shots.c_str());
    updates.Stop();
    kill(program.Pid(), SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return program.Exited(); }, 10000)) << "Varnet did not end";
}
