// The real program's lobby and room window under a window manager (openbox) on the test display, as a user's
// desktop has one: maximised and restored by their own buttons, made smaller by the window manager down to
// the skin's minimum. Skipped without VARNET_TEST_DISPLAY or openbox.
#include <gtest/gtest.h>

#include <gdk/gdk.h>

#include <algorithm>
#include <cstdio>

#include "E2eDriver.h"

using namespace DuiLib;
using namespace e2e;

namespace {

// The window's size (and place) once it settled at what `want` accepts.
bool WaitGeometry(const std::string& title, Window& w, const std::function<bool(const Window&)>& want) {
    return WaitFor(
        [&] {
            Window now;
            if (!FindWindow(title, now)) return false;
            w = now;
            return want(now);
        },
        10000);
}

// The window manager is asked for the size (it may refuse or clamp it).
void Resize(const Window& w, int width, int height) {
    EXPECT_EQ(0, system(("xdotool windowsize " + std::to_string(w.id) + " " + std::to_string(width) + " " +
                         std::to_string(height) + " >/dev/null 2>&1")
                            .c_str()));
}

// The middle of one of the skin's two buttons, the other one hidden (they take turns in one place).
POINT ButtonOf(const char* skinFile, const Window& w, const char* show, const char* hide) {
    SkinLayout skin(skinFile, w.Width(), w.Height());
    skin.Manager().FindControl(hide)->SetVisible(false);
    skin.Manager().FindControl(show)->SetVisible(true);
    skin.Manager().UpdateLayout();
    return skin.Center(show);
}

std::string Size(const Window& w) {
    return std::to_string(w.Width()) + "x" + std::to_string(w.Height()) + "+" + std::to_string(w.rc.left) + "+" +
           std::to_string(w.rc.top);
}

// Maximise by its button, restore by its button, then the window manager makes it smaller: down to `min`,
// never below it. `maxBtn` and `restoreBtn` are the skin's buttons; a window that opened maximised is
// restored first.
void MaximiseRestoreShrink(const std::string& title, const char* skinFile, const char* maxBtn, const char* restoreBtn,
                           SIZE min, const std::string& shotPrefix) {
    const std::string shots = ShotDir();
    GdkRectangle wa;
    gdk_monitor_get_workarea(gdk_display_get_monitor(gdk_display_get_default(), 0), &wa);
    auto maximised = [&](const Window& w) { return w.Width() == wa.width && w.Height() == wa.height; };
    Window w;
    ASSERT_TRUE(FindWindow(title, w));
    if (maximised(w)) {  // opened maximised: restore first
        Click(w, ButtonOf(skinFile, w, restoreBtn, maxBtn));
        EXPECT_TRUE(WaitGeometry(title, w, [&](const Window& n) { return !maximised(n); }))
            << "the restore button left it at " << Size(w);
    }
    usleep(500000);
    const Window before = w;
    Click(w, ButtonOf(skinFile, w, maxBtn, restoreBtn));
    EXPECT_TRUE(WaitGeometry(title, w, maximised)) << "not maximised: " << Size(w);
    usleep(800000);
    Screenshot(w.rc, shots + "/" + shotPrefix + "-maximised.png");
    Click(w, ButtonOf(skinFile, w, restoreBtn, maxBtn));
    EXPECT_TRUE(WaitGeometry(
        title, w, [&](const Window& n) { return n.Width() == before.Width() && n.Height() == before.Height(); }))
        << "restored to " << Size(w) << ", was " << Size(before);
    EXPECT_EQ(before.rc.left, w.rc.left) << "restored elsewhere";
    EXPECT_EQ(before.rc.top, w.rc.top) << "restored elsewhere";
    usleep(800000);
    Screenshot(w.rc, shots + "/" + shotPrefix + "-restored.png");
    std::printf("%s: %s, maximised %dx%d, restored %s\n", shotPrefix.c_str(), Size(before).c_str(), wa.width, wa.height,
                Size(w).c_str());

    // The window manager makes it larger, smaller again, then below the minimum.
    const int bigW = std::min<int>(wa.width - 40, min.cx + 150), bigH = std::min<int>(wa.height - 40, min.cy + 120);
    Resize(w, bigW, bigH);
    EXPECT_TRUE(WaitGeometry(title, w, [&](const Window& n) { return n.Width() == bigW && n.Height() == bigH; }))
        << "not enlarged: " << Size(w);
    Resize(w, min.cx + 50, min.cy + 40);
    EXPECT_TRUE(
        WaitGeometry(title, w, [&](const Window& n) { return n.Width() == min.cx + 50 && n.Height() == min.cy + 40; }))
        << "not made smaller: " << Size(w);
    Resize(w, min.cx / 2, min.cy / 2);
    EXPECT_TRUE(WaitGeometry(title, w, [&](const Window& n) { return n.Width() == min.cx && n.Height() == min.cy; }))
        << "not at the minimum: " << Size(w);
    usleep(800000);
    Screenshot(w.rc, shots + "/" + shotPrefix + "-smallest.png");
}

// The room opens maximised on the work area (the window manager may do that only after the window showed):
// restored by its button, so that it can be moved and has its border; false when it stays maximised.
bool RestoreRoom(const std::string& title, Window& room) {
    GdkRectangle wa;
    gdk_monitor_get_workarea(gdk_display_get_monitor(gdk_display_get_default(), 0), &wa);
    if (!WaitGeometry(title, room, [&](const Window& n) { return n.Width() == wa.width && n.Height() == wa.height; }))
        return true;
    usleep(1500000);  // laid out and taking input
    const POINT restore = ButtonOf("RoomSkin.xml", room, "btnRestore", "btnMax");
    bool restored = false;
    for (int i = 0; i < 3 && !restored; ++i) {
        Click(room, restore);
        restored = WaitFor([&] { return FindWindow(title, room) && room.Height() < wa.height; }, 5000);
    }
    usleep(500000);
    return restored;
}

// Drags with the mouse from a screen point by (dx, dy) until the window is as `want` accepts (the window
// manager takes the pointer only once it saw the press, so the move is repeated until it follows).
bool DragBorder(const std::string& title, int x, int y, int dx, int dy, Window& w,
                const std::function<bool(const Window&)>& want) {
    const std::string to = std::to_string(x + dx) + " " + std::to_string(y + dy);
    const std::string near = std::to_string(x + dx + (dx ? 1 : 0)) + " " + std::to_string(y + dy + (dy ? 1 : 0));
    Shell("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " mousedown 1");
    bool ok = WaitFor(
        [&] {
            Shell("xdotool mousemove " + near + " mousemove " + to);
            Window now;
            if (!FindWindow(title, now)) return false;
            w = now;
            return want(now);
        },
        10000);
    Shell("xdotool mouseup 1");
    return ok;
}

// Each edge and two corners of the window dragged outwards by the mouse on the skin's resize border: the
// window grows on that side, the other sides stay; dragged inwards far, it stops at the skin's minimum.
void ResizeByEachBorder(const std::string& title, SIZE min, const std::string& shotPrefix) {
    Window w;
    ASSERT_TRUE(FindWindow(title, w));
    const int g = 60;
    struct Edge {
        const char* name;
        double fx, fy;  // where on the window (0 left or top, 1 right or bottom, 0.5 the middle)
        int dx, dy;     // outwards
    } edges[] = {{"left", 0, 0.5, -1, 0},  {"right", 1, 0.5, 1, 0},    {"top", 0.5, 0, 0, -1},
                 {"bottom", 0.5, 1, 0, 1}, {"top-left", 0, 0, -1, -1}, {"bottom-right", 1, 1, 1, 1}};
    for (const Edge& e : edges) {
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(FindWindow(title, w));
        const Window before = w;
        auto at = [](const Window& n, double f, bool horizontal) {
            const int lo = horizontal ? n.rc.left : n.rc.top, hi = horizontal ? n.rc.right : n.rc.bottom;
            return f == 0 ? lo + 1 : f == 1 ? hi - 2 : (lo + hi) / 2;
        };
        // The sides that move and those that stay, for a change of the size by d on each moving side.
        auto sized = [&](const Window& n, int d) {
            return n.rc.left == before.rc.left - (e.dx < 0 ? d : 0) &&
                   n.rc.right == before.rc.right + (e.dx > 0 ? d : 0) &&
                   n.rc.top == before.rc.top - (e.dy < 0 ? d : 0) &&
                   n.rc.bottom == before.rc.bottom + (e.dy > 0 ? d : 0);
        };
        EXPECT_TRUE(DragBorder(title, at(w, e.fx, true), at(w, e.fy, false), e.dx * g, e.dy * g, w,
                               [&](const Window& n) { return sized(n, g); }))
            << "not grown: " << Size(w) << ", was " << Size(before);
        usleep(300000);
        Screenshot(w.rc, ShotDir() + "/" + shotPrefix + "-" + e.name + ".png");
        // Inwards by far more than it grew: back at the minimum, never below.
        const Window grown = w;
        EXPECT_TRUE(DragBorder(title, at(grown, e.fx, true), at(grown, e.fy, false), -e.dx * 3 * g, -e.dy * 3 * g, w,
                               [&](const Window& n) { return sized(n, 0); }))
            << "not back at the minimum: " << Size(w) << ", was " << Size(before);
        EXPECT_EQ(w.Width(), min.cx);
        EXPECT_EQ(w.Height(), min.cy);
    }
}

TEST(WindowManager, LobbyAndRoomResizeByTheirBorder) {
    std::string why;
    if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
    WindowManager wm;
    if (!wm.Start(&why)) GTEST_SKIP() << why;
    testenv::Stack stack;
    Program varnet;
    ASSERT_TRUE(StartOnStack(stack, varnet, &why)) << why;
    Window lobby, room;
    ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    const std::string lobbyTitle = Utf8("^泽秀美女视频$");
    usleep(800000);
    ResizeByEachBorder(lobbyTitle, {800, 572}, "resize-lobby");
    ASSERT_TRUE(FindWindow(lobbyTitle, lobby));
    ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, stack, lobby, room, &why)) << why;
    ASSERT_TRUE(varnet.WaitLog("RoomManager.txt", "创建房间界面-end"));
    const std::string roomTitle = ".*[(]" + std::to_string(testenv::Stack::kBusyRoom) + "[)]";
    ASSERT_TRUE(RestoreRoom(roomTitle, room)) << "the room stays maximised";
    ResizeByEachBorder(roomTitle, {1024, 775}, "resize-room");
    EXPECT_EQ("", GtkComplaints(varnet.Output()));
}

TEST(WindowManager, LobbyAndRoomRestoreAndShrink) {
    std::string why;
    if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
    WindowManager wm;
    if (!wm.Start(&why)) GTEST_SKIP() << why;
    testenv::Stack stack;
    Program varnet;
    ASSERT_TRUE(StartOnStack(stack, varnet, &why)) << why;
    Window lobby, room;
    ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    const std::string lobbyTitle = Utf8("^泽秀美女视频$");
    MaximiseRestoreShrink(lobbyTitle, "VarnetSkin.xml", "MaxBTN", "RestoreBTN", {800, 572}, "wm-lobby");
    EXPECT_EQ("", OffWorkArea(varnet.Pid()));

    ASSERT_TRUE(FindWindow(lobbyTitle, lobby));
    ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, stack, lobby, room, &why)) << why;
    ASSERT_TRUE(varnet.WaitLog("RoomManager.txt", "创建房间界面-end"));
    usleep(1500000);
    MaximiseRestoreShrink(".*[(]" + std::to_string(testenv::Stack::kBusyRoom) + "[)]", "RoomSkin.xml", "btnMax",
                          "btnRestore", {1024, 775}, "wm-room");
    EXPECT_EQ("", OffWorkArea(varnet.Pid()));
    EXPECT_EQ("", GtkComplaints(varnet.Output()));
}

}  // namespace

namespace {

// The QQ and Weibo sign-in windows, titled after their platform, show their page at the size the page asks
// for (520 x 420).
TEST(SignIn, PlatformPagesShowAtTheirSize) {
    std::string why;
    if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
    testenv::Stack stack;
    Program varnet;
    ASSERT_TRUE(StartOnStack(stack, varnet, &why)) << why;
    Window login;
    ASSERT_TRUE(WaitWindow(Utf8("^登录对话框$"), login));
    usleep(400000);
    SkinLayout loginSkin("LoginSkin.xml", login.Width(), login.Height());
    const struct {
        const char* button;
        const char* title;
    } pages[] = {{"LoginQQBTN", "^QQ登录$"}, {"LoginBlogBTN", "^新浪微博登录$"}};
    for (const auto& [button, pageTitle] : pages) {
        Click(login, loginSkin.Center(button));
        Window page;
        const std::string title = Utf8(pageTitle);
        EXPECT_TRUE(WaitFor([&] { return FindWindow(title, page) && page.Width() == 520 && page.Height() == 420; }))
            << button << ": the window is " << page.Width() << "x" << page.Height();
        const std::string shot = ShotDir() + "/signin-" + button + ".png";
        // The page's form and text, under the title bar.
        EXPECT_TRUE(WaitFor(
            [&] {
                return Ink({page.rc.left + 2, page.rc.top + 33, page.rc.right - 2, page.rc.top + 120}) > 0.01;
            },
            20000))
            << button << ": the page is blank, see " << shot;
        usleep(500000);
        Screenshot(page.rc, shot);
        SkinLayout skin("ThirdPartLoginSkin.xml", page.Width(), page.Height());
        Click(page, skin.Center("ThirdPartLoginCloseBTN"));
        EXPECT_TRUE(WaitFor([&] { return WindowGone(title); }, 10000)) << button << ": the window stayed";
        usleep(300000);
    }
    EXPECT_EQ("", GtkComplaints(varnet.Output()));
}

}  // namespace

namespace {

// Near the bottom of the work area, above a desktop's panel, the room's menus and lists open above their field
// (the gift count box, the right-clicked user row, the join button) and stay on the work area; the join menu
// is as wide as its text.
TEST(Menus, NearTheBottomTheyOpenAboveTheirField) {
    std::string why;
    if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
    WindowManager wm;
    if (!wm.Start(&why)) GTEST_SKIP() << why;
    BottomPanel panel;
    ASSERT_TRUE(panel.Start(40, &why)) << why;
    testenv::Stack stack;
    Program varnet;
    ASSERT_TRUE(StartOnStack(stack, varnet, &why)) << why;
    Window lobby, room;
    ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, stack, lobby, room, &why)) << why;
    ASSERT_TRUE(varnet.WaitLog("RoomManager.txt", "创建房间界面-end"));
    const std::string roomTitle = ".*[(]" + std::to_string(testenv::Stack::kBusyRoom) + "[)]";
    GdkRectangle wa;
    gdk_monitor_get_workarea(gdk_display_get_monitor(gdk_display_get_default(), 0), &wa);
    ASSERT_TRUE(RestoreRoom(roomTitle, room)) << "the room stays maximised";
    SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());
    // The members' tab, which the room window opens with.
    if (auto* tab = dynamic_cast<CTabLayoutUI*>(skin.Manager().FindControl("RightUserListTab"))) tab->SelectItem(1);
    skin.Manager().UpdateLayout();
    const RECT edit = skin.Rect("NumGiftToEdit"), count = skin.Rect("NumGiftToComBo"),
               members = skin.Rect("UserMemberList"), join = skin.Rect("btn_joinmiclist");
    struct Row {
        const char* what;
        RECT field;  // in the room window
        POINT at;
        int button;
    } rows[] = {
        {"count list", {edit.left, edit.top, count.right, count.bottom}, skin.Center("NumGiftToComBo"), 1},
        {"user menu",
         {members.left + 60, members.top, members.left + 60, members.top + 25},
         {members.left + 60, members.top + 12},
         3},
        {"join menu", join, skin.Center("btn_joinmiclist"), 1},
    };
    for (const Row& r : rows) {
        // The room moved down until its field ends 20 px above the bottom of the work area.
        const int top = wa.y + wa.height - 20 - r.field.bottom;
        Shell("xdotool windowmove " + std::to_string(room.id) + " " + std::to_string(room.rc.left) + " " +
              std::to_string(top));
        ASSERT_TRUE(WaitFor([&] { return FindWindow(roomTitle, room) && room.rc.top == top; }, 10000))
            << r.what << " wanted top " << top << " got " << room.rc.left << "," << room.rc.top << " " << room.Width()
            << "x" << room.Height() << " wa " << wa.y << "+" << wa.height;
        const RECT field = ToScreen(room, r.field);
        Window menu;
        for (int i = 0; i < 5 && !menu.id; ++i) {  // the join menu waits for the chat to be ready
            Focus(room);
            usleep(200000);
            ClickButton(room, r.at, r.button);
            WaitWindow("^ZqMenu$", menu, 6000);
        }
        ASSERT_NE(menu.id, 0u) << r.what << ": nothing opened";
        usleep(400000);
        ASSERT_TRUE(FindWindow("^ZqMenu$", menu));
        Screenshot({menu.rc.left - 20, menu.rc.top - 10, menu.rc.right + 20, field.bottom + 10},
                   ShotDir() + "/menu-near-bottom-" + std::to_string(&r - rows) + ".png");
        EXPECT_LE(menu.rc.bottom, field.top) << r.what << ": not above its field";
        EXPECT_TRUE(menu.rc.left >= wa.x && menu.rc.top >= wa.y && menu.rc.right <= wa.x + wa.width &&
                    menu.rc.bottom <= wa.y + wa.height)
            << r.what << ": off the work area";
        EXPECT_EQ(menu.rc.left, field.left) << r.what << ": not at its field's left edge";
        EXPECT_GE(menu.Width(), field.right - field.left) << r.what;
        if (std::string(r.what) == "join menu") {
            // The long item's text ends before the right padding: nothing of it is cut there.
            const int y = menu.rc.top + MenuRowY(1);
            EXPECT_EQ(0.0, Ink({menu.rc.right - 16, y - 8, menu.rc.right - 3, y + 8})) << "the join item is cut";
        }
        Key("Escape");
        EXPECT_TRUE(WaitFor([] { return WindowGone("^ZqMenu$"); }, 10000)) << r.what;
        usleep(300000);
    }
    EXPECT_EQ("", GtkComplaints(varnet.Output()));
}

}  // namespace
