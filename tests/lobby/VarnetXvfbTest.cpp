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
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "ChatServer.h"
#include "ProgramDesktop.h"
#include "RoomNavListUI.h"
#include "RoomService.h"
#include "UpdateService.h"
#include "WebService.h"
#include "TestUtil.h"

#include <gio/gio.h>
#include <X11/Xlib.h>  // after the program's headers: Xlib's macros
#undef Status          // a macro of Xlib; Program::Status here

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

namespace {

// The program with user data and an installation (without the updater) against a room and web service.
struct Started {
    testenv::RoomService service;
    testenv::WebService web;
    std::string data;
    std::filesystem::path install;
    Program program;
    bool Start(const char* name, const std::string& arg, const std::vector<std::pair<std::string, std::string>>& env) {
        if (service.Start(0) == 0 || !web.Start()) return false;
        data = testsupport::MakeTempDir(name);
        if (data.empty()) return false;
        WriteUserIni(data, service, web, false);
        install = data + "-install";
        MakeInstall(install, false);
        return program.Start(data, install.string(), env, arg);
    }
    ~Started() {
        program.Stop();
        if (!data.empty()) {
            std::filesystem::remove_all(data);
            std::filesystem::remove_all(install);
        }
    }
};

// Every window titled `title`, shown or not.
int WindowsTitled(const std::string& title) {
    std::istringstream in(Shell("xdotool search --name '^" + title + "$'"));
    int n = 0;
    for (std::string id; in >> id;) ++n;
    return n;
}

}  // namespace

// "/trayrun" on a desktop without any tray shows the login dialog; Esc there (a cancelled login) ends the
// program through the whole shutdown, in order, without a lobby.
TEST_F(VarnetProgram, TrayRunWithoutATrayShowsTheLoginDialogAndEscEndsIt) {
    Started s;
    ASSERT_TRUE(s.Start("varnet-notray", "/trayrun", {}));
    RECT login;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("登录对话框"), login); })) << "no login dialog";
    usleep(400000);
    Screenshot(login, shots + "/varnet_trayrun_without_tray.png");
    ClickRested(login, At("LoginSkin.xml", 410, 315, "UserNameEdit"));
    Xdo("key Escape");
    ASSERT_TRUE(WaitFor([&] { return s.program.Exited(); }, 20000)) << "Varnet did not end";
    EXPECT_TRUE(WIFEXITED(s.program.Status()) && WEXITSTATUS(s.program.Status()) == 0);
    std::string speed = s.program.Log("Speed.txt");
    size_t result = speed.find("WinMain login result 2"), worker = speed.find("WinMain request worker stopped"),
           done = speed.find("WinMain shutdown done");
    ASSERT_NE(result, std::string::npos) << speed;
    ASSERT_NE(worker, std::string::npos) << speed;
    ASSERT_NE(done, std::string::npos) << speed;
    EXPECT_LT(result, worker);
    EXPECT_LT(worker, done);
    EXPECT_EQ(s.program.Log("VarnetFrame.txt").find(Utf8("主窗口构造")), std::string::npos);
    EXPECT_EQ(s.service.RequestCount("getanonyuser"), 0);
}

// With a legacy tray on the screen, "/trayrun" starts with the login dialog hidden and the status icon asks
// the tray to dock it.
TEST_F(VarnetProgram, TrayRunWithALegacyTrayStartsHidden) {
    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    Window tray = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 1, 1, 0, 0, 0);
    Atom selection = XInternAtom(x, ("_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(x))).c_str(), False);
    Atom opcode = XInternAtom(x, "_NET_SYSTEM_TRAY_OPCODE", False);
    XSetSelectionOwner(x, selection, tray, CurrentTime);
    XSync(x, False);
    ASSERT_EQ(XGetSelectionOwner(x, selection), tray);
    Started s;
    ASSERT_TRUE(s.Start("varnet-legacytray", "/trayrun", {}));
    bool docked = false;
    ASSERT_TRUE(WaitFor([&] {
        while (XPending(x)) {
            XEvent e;
            XNextEvent(x, &e);
            docked =
                docked || (e.type == ClientMessage && e.xclient.message_type == opcode && e.xclient.data.l[1] == 0);
        }
        return docked;
    })) << "no dock request";
    ASSERT_TRUE(WaitFor([&] { return WindowsTitled(Utf8("登录对话框")) > 0; })) << "no login dialog";
    usleep(500000);
    RECT login;
    EXPECT_FALSE(FindTitle(Utf8("登录对话框"), login));
    EXPECT_FALSE(s.program.Exited());
    XDestroyWindow(x, tray);
    XCloseDisplay(x);
}

// The icon docked in a panel at the bottom right of the screen: its right-click menu opens above the icon,
// on the screen.
TEST_F(VarnetProgram, TrayMenuOpensAboveTheIconOnTheScreen) {
    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    const int sw = DisplayWidth(x, DefaultScreen(x)), sh = DisplayHeight(x, DefaultScreen(x));
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.background_pixel = 0x404040;
    Window panel = XCreateWindow(x, DefaultRootWindow(x), 0, sh - 30, sw, 30, 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
    XMapRaised(x, panel);
    Atom selection = XInternAtom(x, ("_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(x))).c_str(), False);
    Atom opcode = XInternAtom(x, "_NET_SYSTEM_TRAY_OPCODE", False);
    XSetSelectionOwner(x, selection, panel, CurrentTime);
    XSync(x, False);
    Started s;
    ASSERT_TRUE(s.Start("varnet-traymenu", "/trayrun", {}));
    Window icon = 0;
    ASSERT_TRUE(WaitFor([&] {
        while (XPending(x)) {
            XEvent e;
            XNextEvent(x, &e);
            if (e.type == ClientMessage && e.xclient.message_type == opcode && e.xclient.data.l[1] == 0)
                icon = (Window)e.xclient.data.l[2];
        }
        return icon != 0;
    })) << "no dock request";
    // Docked: in the panel, 24 x 24, 3 px from its top.
    const RECT iconRc{sw - 40, sh - 27, sw - 16, sh - 3};
    XReparentWindow(x, icon, panel, sw - 40, 3);
    XResizeWindow(x, icon, 24, 24);
    XMapWindow(x, icon);
    XSync(x, False);
    usleep(800000);
    RECT menu{};
    for (int i = 0; i < 5 && !FindTitle("ZqMenu", menu); ++i) {
        Xdo("mousemove " + std::to_string(iconRc.left + 12) + " " + std::to_string(iconRc.top + 12) +
            " sleep 0.2 click 3");
        WaitFor([&] { return FindTitle("ZqMenu", menu); }, 5000);
    }
    ASSERT_TRUE(FindTitle("ZqMenu", menu)) << "no tray menu";
    usleep(300000);
    Screenshot({menu.left - 20, menu.top - 20, sw, sh}, shots + "/varnet_tray_menu.png");
    EXPECT_LE(menu.bottom, iconRc.top) << "over the icon";
    EXPECT_TRUE(menu.left >= 0 && menu.top >= 0 && menu.right <= sw && menu.bottom <= sh) << "off the screen";
    EXPECT_LE(menu.right, iconRc.right);
    Xdo("key Escape");
    EXPECT_TRUE(WaitFor([&] { return !FindTitle("ZqMenu", menu); }, 10000));
    XDestroyWindow(x, panel);
    XCloseDisplay(x);
}

namespace {

// A StatusNotifierItem watcher on a private session bus, answering on a thread of its own; it keeps the
// items that register.
class FakeWatcher {
public:
    bool Start() {
        const char* display = getenv("DISPLAY");
        const std::string shown = display ? display : "";
        m_bus = g_test_dbus_new(G_TEST_DBUS_NONE);
        g_test_dbus_up(m_bus);  // sets DBUS_SESSION_BUS_ADDRESS for this process and what it starts
        if (!shown.empty()) setenv("DISPLAY", shown.c_str(), 1);  // which it unsets
        m_address = g_test_dbus_get_bus_address(m_bus);
        m_context = g_main_context_new();
        m_loop = g_main_loop_new(m_context, FALSE);
        std::promise<bool> ready;
        m_thread = std::thread([this, &ready] {
            g_main_context_push_thread_default(m_context);
            GDBusConnection* c = Connect();
            ready.set_value(c != nullptr);
            if (c) g_main_loop_run(m_loop);
            if (c) {
                g_dbus_connection_close_sync(c, nullptr, nullptr);
                g_object_unref(c);
            }
            g_main_context_pop_thread_default(m_context);
        });
        return ready.get_future().get();
    }
    ~FakeWatcher() {
        if (m_loop) {
            g_main_context_invoke(
                m_context,
                [](gpointer loop) -> gboolean {
                    g_main_loop_quit(static_cast<GMainLoop*>(loop));
                    return G_SOURCE_REMOVE;
                },
                m_loop);
        }
        if (m_thread.joinable()) m_thread.join();
        if (m_loop) g_main_loop_unref(m_loop);
        if (m_context) g_main_context_unref(m_context);
        if (m_bus) {
            g_test_dbus_down(m_bus);
            g_object_unref(m_bus);
        }
        setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    }
    const std::string& Address() const { return m_address; }
    // The bus name and object path of the first item that registered; false while none has.
    bool Item(std::string& name, std::string& path) {
        std::lock_guard<std::mutex> g(m_lock);
        if (m_items.empty()) return false;
        name = m_items[0].first;
        path = m_items[0].second;
        return true;
    }

private:
    // The watcher's connection with its object and name; null when it could not be made.
    GDBusConnection* Connect() {
        GDBusConnection* c =
            g_dbus_connection_new_for_address_sync(m_address.c_str(),
                                                   GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                                   nullptr, nullptr, nullptr);
        bool ok = c != nullptr;
        guint object = 0;
        if (ok) {
            static const char kXml[] =
                "<node><interface name='org.kde.StatusNotifierWatcher'>"
                "<method name='RegisterStatusNotifierItem'><arg type='s' direction='in'/></method>"
                "<method name='RegisterStatusNotifierHost'><arg type='s' direction='in'/></method>"
                "<property name='RegisteredStatusNotifierItems' type='as' access='read'/>"
                "<property name='IsStatusNotifierHostRegistered' type='b' access='read'/>"
                "<property name='ProtocolVersion' type='i' access='read'/>"
                "<signal name='StatusNotifierItemRegistered'><arg type='s'/></signal>"
                "</interface></node>";
            GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kXml, nullptr);
            static const GDBusInterfaceVTable vtable = {&FakeWatcher::OnCall, &FakeWatcher::OnGet, nullptr, {}};
            object = g_dbus_connection_register_object(c, "/StatusNotifierWatcher", info->interfaces[0], &vtable, this,
                                                       nullptr, nullptr);
            g_dbus_node_info_unref(info);
            GVariant* r =
                g_dbus_connection_call_sync(c, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                            "RequestName", g_variant_new("(su)", "org.kde.StatusNotifierWatcher", 0u),
                                            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
            ok = object != 0 && r != nullptr;
            if (r) g_variant_unref(r);
        }
        if (!ok && c) {
            g_object_unref(c);
            c = nullptr;
        }
        return c;
    }
    static void OnCall(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
                       GVariant* params, GDBusMethodInvocation* call, gpointer self) {
        auto* w = static_cast<FakeWatcher*>(self);
        if (g_strcmp0(method, "RegisterStatusNotifierItem") == 0) {
            const gchar* path = nullptr;
            g_variant_get(params, "(&s)", &path);
            std::lock_guard<std::mutex> g(w->m_lock);
            w->m_items.emplace_back(sender ? sender : "", path ? path : "");
        }
        g_dbus_method_invocation_return_value(call, nullptr);
    }
    static GVariant* OnGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property, GError**,
                           gpointer) {
        if (g_strcmp0(property, "IsStatusNotifierHostRegistered") == 0) return g_variant_new_boolean(TRUE);
        if (g_strcmp0(property, "ProtocolVersion") == 0) return g_variant_new_int32(0);
        return g_variant_new_strv(nullptr, 0);
    }

    GTestDBus* m_bus = nullptr;
    std::string m_address;
    GMainContext* m_context = nullptr;
    GMainLoop* m_loop = nullptr;
    std::thread m_thread;
    std::mutex m_lock;
    std::vector<std::pair<std::string, std::string>> m_items;
};

}  // namespace

// With a StatusNotifierItem watcher on the session bus, "/trayrun" starts hidden with an application
// indicator carrying the program's title; its menu's 显示主窗口 shows the dialog, which in tray mode signs in
// as a guest and opens the lobby.
TEST_F(VarnetProgram, TrayRunWithAStatusNotifierWatcherUsesAnIndicator) {
    gchar* daemon = g_find_program_in_path("dbus-daemon");
    if (!daemon) GTEST_SKIP() << "no dbus-daemon";
    g_free(daemon);
    FakeWatcher watcher;
    ASSERT_TRUE(watcher.Start());
    Started s;
    ASSERT_TRUE(s.Start("varnet-sni", "/trayrun", {{"DBUS_SESSION_BUS_ADDRESS", watcher.Address()}}));
    std::string name, path;
    ASSERT_TRUE(WaitFor([&] { return watcher.Item(name, path); })) << "no item registered";
    GDBusConnection* c =
        g_dbus_connection_new_for_address_sync(watcher.Address().c_str(),
                                               GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                    G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                               nullptr, nullptr, nullptr);
    ASSERT_NE(c, nullptr);
    auto property = [&](const char* prop) {
        GVariant* r =
            g_dbus_connection_call_sync(c, name.c_str(), path.c_str(), "org.freedesktop.DBus.Properties", "Get",
                                        g_variant_new("(ss)", "org.kde.StatusNotifierItem", prop),
                                        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        std::string text;
        if (r) {
            GVariant* v = nullptr;
            g_variant_get(r, "(v)", &v);
            if (g_variant_is_of_type(v, G_VARIANT_TYPE_STRING) || g_variant_is_of_type(v, G_VARIANT_TYPE_OBJECT_PATH))
                text = g_variant_get_string(v, nullptr);
            g_variant_unref(v);
            g_variant_unref(r);
        }
        return text;
    };
    EXPECT_EQ(property("Title"), Utf8("泽嘉多人视频"));
    EXPECT_EQ(property("Status"), "Active");
    const std::string menu = property("Menu");
    ASSERT_FALSE(menu.empty());
    ASSERT_TRUE(WaitFor([&] { return WindowsTitled(Utf8("登录对话框")) > 0; })) << "no login dialog";
    RECT login;
    EXPECT_FALSE(FindTitle(Utf8("登录对话框"), login));  // hidden in the tray

    // The menu's item "显示主窗口", as the desktop's host clicks it.
    GVariant* layout = g_dbus_connection_call_sync(c, name.c_str(), menu.c_str(), "com.canonical.dbusmenu", "GetLayout",
                                                   g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)),
                                                   nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    ASSERT_NE(layout, nullptr);
    int show = -1;
    {
        GVariant* root = g_variant_get_child_value(layout, 1);
        GVariant* children = g_variant_get_child_value(root, 2);
        for (gsize i = 0; i < g_variant_n_children(children); ++i) {
            GVariant* boxed = g_variant_get_child_value(children, i);
            GVariant* item = g_variant_get_variant(boxed);
            gint32 id = 0;
            GVariant* props = g_variant_get_child_value(item, 1);
            g_variant_get_child(item, 0, "i", &id);
            const gchar* label = nullptr;
            if (g_variant_lookup(props, "label", "&s", &label) && label && Utf8("显示主窗口") == label) show = id;
            g_variant_unref(props);
            g_variant_unref(item);
            g_variant_unref(boxed);
        }
        g_variant_unref(children);
        g_variant_unref(root);
        g_variant_unref(layout);
    }
    ASSERT_GE(show, 0) << "no 显示主窗口 item";
    GVariant* r = g_dbus_connection_call_sync(c, name.c_str(), menu.c_str(), "com.canonical.dbusmenu", "Event",
                                              g_variant_new("(isvu)", show, "clicked", g_variant_new_int32(0), 0u),
                                              nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    EXPECT_NE(r, nullptr);
    if (r) g_variant_unref(r);
    RECT lobby;
    EXPECT_TRUE(WaitFor([&] { return FindTitle(Utf8("泽秀美女视频"), lobby); })) << "no lobby";
    EXPECT_EQ(s.service.RequestCount("getanonyuser"), 1);
    g_dbus_connection_close_sync(c, nullptr, nullptr);
    g_object_unref(c);
}
