// The real program on the test display against the local room and web services and the chat server: sign
// in as a guest by clicking, see the lobby with the directory and the home page, click a room link in the
// page and see the room manager enter it (its room logic joins the room's chat channel), quit
// and see the process end after its shutdown; a second start meanwhile ends at once. Screenshots of the
// login dialog and the lobby go under the build folder. Beside it runs the local update service with a
// changed gift catalogue: the updater that the program starts finds it and the lobby reloads it. Skipped
// without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ChatServer.h"
#include "ProgramDesktop.h"
#include "RoomNavListUI.h"
#include "RoomService.h"
#include "UpdateService.h"
#include "WebService.h"
#include "TestUtil.h"

using namespace DuiLib;
using namespace desktoptest;

namespace {

class VarnetProgram : public ProgramTest {};

}  // namespace

TEST_F(VarnetProgram, GuestLobbyRoomEntryAndQuit) {
    testenv::ChatServer chat;
    int chatPort = chat.Start(0);
    ASSERT_NE(chatPort, 0);
    testenv::RoomService service;
    service.WithData([chatPort](testenv::SvcData& d) { d.chatPort = chatPort; });
    ASSERT_NE(service.Start(0), 0);
    testenv::WebService web;
    ASSERT_TRUE(web.Start());
    const std::string data = testsupport::MakeTempDir("varnet-xvfb");
    ASSERT_FALSE(data.empty());
    WriteUserIni(data, service, web, true);
    namespace fs = std::filesystem;
    const fs::path bin = VARNET_BINARY_DIR "/bin", install = data + "-install";
    MakeInstall(install);
    // The update service holds back its catalogue version until the lobby is up, so that the lobby is the
    // window the updater tells.
    testenv::UpdateService updates;
    ASSERT_TRUE(testenv::PrepareChangedGiftCatalogue((bin / "res").string(), data + "-served"));
    updates.SetCatalogueFolder(data + "-served");
    ASSERT_TRUE(updates.Start());
    std::atomic<bool> lobbyUp{false};
    updates.Http().Get("/conf/version.conf", [&](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 120 && !lobbyUp; ++i) updates.Http().Sleep(100);
        std::string text = ReadFile(data + "-served/version.conf");
        const std::string from = testenv::UpdateService::kPlaceholderHost;
        for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), updates.BaseUrl());
        res.set_content(text, "text/plain");
    });
    updates.SetConfigText(updates.ConfigIni("Varnet_1.0.0.1_release", ""));
    {
        std::ofstream ini(data + "/config.ini");
        ini << updates.ConfigIni("Varnet_1.0.0.1_release", "");
    }
    Program program;
    ASSERT_TRUE(program.Start(data, install.string()));
    auto log = [&](const char* file) { return program.Log(file); };

    RECT login;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("登录对话框"), login); })) << "no login dialog";
    POINT guest = At("LoginSkin.xml", 410, 315, "AnonyUserBTN");
    usleep(400000);  // drawn
    Screenshot(login, shots + "/varnet_login.png");
    Click(login, guest);

    RECT lobby;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("泽秀美女视频"), lobby); })) << "no lobby";
    ASSERT_TRUE(WaitFor([&] {
        return log("VarnetFrame.txt").find(Utf8("主窗口更新栏目条目信息_完成")) != std::string::npos;
    })) << "the directory did not arrive";
    ASSERT_TRUE(WaitFor([&] { return HomePageLoaded(program); })) << "the home page did not load";
    EXPECT_TRUE(WaitFor([&] { return log("VarnetFrame.txt").find("ParamGot?uid=") != std::string::npos; }))
        << "the home page did not get the user's parameters";
    usleep(800000);  // drawn
    Screenshot(lobby, shots + "/varnet_lobby.png");
    EXPECT_EQ(service.RequestCount("getanonyuser"), 1);
    EXPECT_EQ(service.RequestCount("getallnav"), 1);
    // The updater started with the program finds the changed gift catalogue; the lobby reloads it.
    lobbyUp = true;
    EXPECT_TRUE(WaitFor([&] { return log("VarnetFrame.txt").find(Utf8("资源更新 mask=0x2")) != std::string::npos; }))
        << "the lobby was not told of the changed catalogue";
    EXPECT_TRUE(fs::exists(install / "res/gift/19999.png"));
    std::string trenby = log("Trenby.txt");
    EXPECT_EQ(updates.StatLines().size(), 1u);
    // A second start with the same user data is no silent exit: it runs (its login dialog) until ended.
    std::string second =
        Shell("VARNET_DATA_DIR=" + data + " VARNET_INSTALL_DIR=" + install.string() + " XDG_RUNTIME_DIR=" + data +
              "/run timeout 4 " VARNET_BINARY_DIR "/bin/Varnet; echo rc=$?");
    EXPECT_NE(second.find("rc=124"), std::string::npos) << second;

    // The first room link of the home page (at 10,10 of the page, 140 x 60) enters room 3003.
    SkinLayout lobbySkin("VarnetSkin.xml", [&](const char* cls) -> CControlUI* {
        return EqualNoCase(cls, "Roomlist") ? new CRoomNavListUI(&lobbySkin.m_PaintManager) : nullptr;
    });
    Click(lobby, FirstRoomLink(lobbySkin));
    EXPECT_TRUE(chat.WaitMembers(3003, 1, 20000)) << "the room logic did not join the room's chat";
    EXPECT_TRUE(WaitFor([&] { return log("RoomManager.txt").find(Utf8("创建房间界面-end")) != std::string::npos; }))
        << "the room manager did not take the enter result";
    EXPECT_EQ(service.RequestCount("enterroom"), 1);

    // The room window opens in front of the lobby; its close button leaves the room.
    RECT room;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(".*[(]3003[)]", room); })) << "no room window";
    usleep(500000);
    Screenshot(room, shots + "/varnet_room.png");
    Click(room, {room.right - room.left - 17, 26});
    EXPECT_TRUE(WaitFor([&] { return service.RequestCount("exitroom") == 1; })) << "the room was not left";
    EXPECT_TRUE(chat.WaitMembers(3003, 0, 10000)) << "leaving the room did not end its chat";
    usleep(300000);

    // Quit: the close button asks first.
    ASSERT_TRUE(QuitFromLobby(lobby, lobbySkin)) << "no close prompt";
    ASSERT_TRUE(WaitFor([&] { return program.Exited(); }, 20000)) << "Varnet did not end";
    EXPECT_TRUE(WIFEXITED(program.Status()) && WEXITSTATUS(program.Status()) == 0);
    std::string speed = log("Speed.txt");
    EXPECT_NE(speed.find("WinMain request worker stopped"), std::string::npos);
    EXPECT_NE(speed.find("WinMain shutdown done"), std::string::npos);
    EXPECT_EQ(service.RequestCount("logout"), 1);  // sent by the stopping worker before it ended
    EXPECT_TRUE(chat.WaitMembers(3003, 0, 5000));  // the chat connection ended with the program
    updates.Stop();
    std::filesystem::remove_all(data);
    std::filesystem::remove_all(install);
    std::filesystem::remove_all(data + "-served");
    printf("screenshots: %s/varnet_login.png, %s/varnet_lobby.png, %s/varnet_room.png\n", shots.c_str(), shots.c_str(),
           shots.c_str());
    for (const char* what : {"的资源需要更新", "本地需要删除", "发送"})
        for (size_t at = 0; (at = trenby.find(Utf8(what), at)) != std::string::npos; ++at) {
            size_t begin = trenby.rfind('\n', at);
            std::string line = trenby.substr(begin == std::string::npos ? 0 : begin + 1);
            line = line.substr(0, line.find('\n'));
            size_t text = line.find(": ");  // after "<time> [<thread>] <level> <module>"
            printf("updater: %s\n", line.substr(text == std::string::npos ? 0 : text + 2).c_str());
        }
}

// A crash in the lobby after the web engine (and the toolkit, the sound system) started: the crash handlers
// are still the program's, and the dump goes to the user-data folder.
TEST_F(VarnetProgram, CrashInTheLobbyIsReported) {
    testenv::RoomService service;
    ASSERT_NE(service.Start(0), 0);
    testenv::WebService web;
    ASSERT_TRUE(web.Start());
    const std::string data = testsupport::MakeTempDir("varnet-crash");
    ASSERT_FALSE(data.empty());
    WriteUserIni(data, service, web, false);
    const std::filesystem::path install = data + "-install";
    MakeInstall(install);
    Program program;
    ASSERT_TRUE(program.Start(data, install.string(), {{"VARNET_FAULTNOTE_ANSWER", "no"}}));
    RECT login, lobby;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("登录对话框"), login); })) << "no login dialog";
    usleep(400000);
    Click(login, At("LoginSkin.xml", 410, 315, "AnonyUserBTN"));
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("泽秀美女视频"), lobby); })) << "no lobby";
    ASSERT_TRUE(WaitFor([&] { return HomePageLoaded(program); })) << "the home page did not load";
    sleep(3);  // the handlers are put back within two seconds of any change
    kill(program.Pid(), SIGSEGV);
    ASSERT_TRUE(WaitFor([&] { return program.Exited(); }, 30000)) << "Varnet did not end";
    EXPECT_TRUE(WIFSIGNALED(program.Status()) && WTERMSIG(program.Status()) == SIGSEGV);
    size_t dumps = 0;
    for (const auto& e : std::filesystem::directory_iterator(data + "/dumps"))
        dumps += e.path().string().find("_Varnet.dmp") != std::string::npos;
    EXPECT_EQ(dumps, 1u);
    std::filesystem::remove_all(data);
    std::filesystem::remove_all(install);
}
