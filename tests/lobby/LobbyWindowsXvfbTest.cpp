// The lobby dialogs as real windows on the test display: clicks and typing through the X server, screenshots
// under the build folder. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <glib.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <functional>
#include <filesystem>

#include "RoomEntryDlgs.h"
#include "UiTestSupport.h"
#include "UIBackendGtk.h"
#include "ZqMessageBox.h"
#include "TestUtil.h"

using namespace DuiLib;

using duitest::RunLater;

namespace {

const UINT kStuck = 99;  // close code of a window the watchdog had to close

class XvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testsupport::UseTestDisplay({"xdotool"}); !why.empty()) GTEST_SKIP() << why;
        Win32Init();
        ASSERT_TRUE(UIBackendGtkInit()) << "cannot open display " << getenv("DISPLAY");
        CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        std::filesystem::create_directories(ShotDir());
    }
    void TearDown() override { SetWindowBackendFactory(nullptr); }

    static std::string ShotDir() { return VARNET_BINARY_DIR "/screenshots"; }
};

// Closes a window that a failed step left open, so that a broken test fails instead of hanging.
class Watchdog {
public:
    explicit Watchdog(CWindowWnd* wnd, unsigned ms = 120000)
        : m_id(RunLater(ms, [wnd] {
              ADD_FAILURE() << "window still open, closed by the watchdog";
              wnd->Close(kStuck);
          })) {}
    ~Watchdog() { g_source_remove(m_id); }

private:
    unsigned m_id;
};

// Screen position of a control's centre.
bool ScreenPoint(CWindowWnd* wnd, const char* name, POINT& pt) {
    if (!UITest::CenterOf(wnd, name, pt)) return false;
    RECT rc = wnd->GetWindowRect();
    pt.x += rc.left;
    pt.y += rc.top;
    return true;
}

int Xdo(const std::string& args) {
    std::string cmd = "xdotool " + args + " >/dev/null 2>&1";
    return system(cmd.c_str());
}

// Runs xdotool while this process keeps handling its events: characters outside the keyboard map are
// typed through a key that xdotool maps for a moment, so they must be read while the mapping lasts.
int XdoPumped(const std::string& args) {
    gchar** argv = nullptr;
    if (!g_shell_parse_argv(("xdotool " + args).c_str(), nullptr, &argv, nullptr)) return -1;
    GPid pid;
    bool ok = g_spawn_async(nullptr, argv, nullptr,
                            (GSpawnFlags)(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL |
                                          G_SPAWN_STDERR_TO_DEV_NULL),
                            nullptr, nullptr, &pid, nullptr);
    g_strfreev(argv);
    if (!ok) return -1;
    struct Exit {
        bool done = false;
        int status = 0;
    } exit;
    g_child_watch_add(
        pid,
        [](GPid p, gint status, gpointer e) {
            static_cast<Exit*>(e)->done = true;
            static_cast<Exit*>(e)->status = status;
            g_spawn_close_pid(p);
        },
        &exit);
    while (!exit.done) PumpMessagesFor(10);
    return exit.status;
}

// Lets the X server map the window and GTK draw it.
void Settle(unsigned ms = 300) {
    gdk_display_sync(gdk_display_get_default());
    PumpMessagesFor(ms);
    gdk_display_sync(gdk_display_get_default());
}

void MoveTo(CWindowWnd* wnd, const char* name) {
    POINT pt;
    ASSERT_TRUE(ScreenPoint(wnd, name, pt)) << name;
    EXPECT_EQ(Xdo("mousemove " + std::to_string(pt.x) + " " + std::to_string(pt.y)), 0);
}

void ClickControl(CWindowWnd* wnd, const char* name) {
    MoveTo(wnd, name);
    EXPECT_EQ(Xdo("click 1"), 0);
}

// The window as the X server shows it.
void Screenshot(CWindowWnd* wnd, const std::string& file) {
    RECT rc = wnd->GetWindowRect();
    GdkWindow* root = gdk_get_default_root_window();
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(root, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    ASSERT_NE(pb, nullptr);
    EXPECT_TRUE(gdk_pixbuf_save(pb, file.c_str(), "png", nullptr, nullptr));
    g_object_unref(pb);
}

// A window with a plain edit box.
class EditWnd : public WindowImplBase {
public:
    const char* GetWindowClassName() const override { return "EditWnd"; }
    void OnClick(TNotifyUI& msg) override {
        if (msg.pSender->GetName() != "ok") return;
        text = m_PaintManager.FindControl("e")->GetText();
        Close(1);
    }
    void OnTextChanged(TNotifyUI&) { ++changes; }
    int changes = 0;
    CDuiString text;

protected:
    DUI_DECLARE_MESSAGE_MAP()
    CDuiString GetSkinFolder() override { return ""; }
    CDuiString GetSkinFile() override {
        return R"(<Window size="240,90"><VerticalLayout bkcolor="#FFFFFFFF" inset="10,10,10,10" childpadding="10">
            <Edit name="e" height="28" bordersize="1" bordercolor="#FFC4CEDB"/>
            <Button name="ok" height="30" text="OK" bkcolor="#FF2F7FE8" textcolor="#FFFFFFFF"/>
            </VerticalLayout></Window>)";
    }
};
DUI_BEGIN_MESSAGE_MAP(EditWnd, WindowImplBase)
DUI_ON_MSGTYPE("click", EditWnd::OnClick)
DUI_ON_MSGTYPE("textchanged", EditWnd::OnTextChanged)
DUI_END_MESSAGE_MAP()

// One list item, in a window of the given class style.
class ListWnd : public WindowImplBase {
public:
    explicit ListWnd(UINT classStyle) : m_style(classStyle) {}
    const char* GetWindowClassName() const override { return "ListWnd"; }
    UINT GetClassStyle() const override { return m_style; }
    void Notify(TNotifyUI& msg) override {
        if (msg.sType == DUI_MSGTYPE_ITEMCLICK) ++clicks;
        if (msg.sType == DUI_MSGTYPE_ITEMACTIVATE) ++activations;
        WindowImplBase::Notify(msg);
    }
    int clicks = 0, activations = 0;

protected:
    CDuiString GetSkinFolder() override { return ""; }
    CDuiString GetSkinFile() override {
        return R"(<Window size="200,100"><VerticalLayout bkcolor="#FFFFFFFF"><List name="list">
            <ListLabelElement name="item" text="item" height="40"/></List></VerticalLayout></Window>)";
    }

private:
    UINT m_style;
};

}  // namespace

TEST_F(XvfbTest, EditTakesChineseTextThroughTheNativeEntry) {
    EditWnd w;
    ASSERT_NE(w.Create(nullptr, "Edit", 0x80000000, 0, 100, 100, 0, 0), nullptr);
    Watchdog dog(&w);
    RunLater(50, [&] {
        Settle();
        ClickControl(&w, "e");
        Settle(200);
        // Characters outside the keymap need a remap each; give the window time to take every new map.
        XdoPumped("type --delay 250 '" + GbkToUtf8("房间") + "'");
        Settle(200);
        XdoPumped("type --delay 50 ' abc'");
        Settle();
        Screenshot(&w, ShotDir() + "/edit_chinese.png");
        ClickControl(&w, "ok");
    });
    EXPECT_EQ((int)w.ShowModal(), 1);
    EXPECT_EQ(w.text, "房间 abc");  // GBK, as the rest of the program reads it
    EXPECT_GT(w.changes, 0);
}

// A double click on a list item: a window of the double-click class takes the second press as the double
// click only (one click, one activation); any other window takes two presses.
TEST_F(XvfbTest, TheSecondPressOfADoubleClickIsTheDoubleClickOnlyInAWindowOfThatClass) {
    struct {
        UINT style;
        int clicks, activations;
    } rows[] = {{0x8 /* CS_DBLCLKS */, 1, 1}, {0, 2, 0}};
    for (const auto& r : rows) {
        ListWnd w(r.style);
        ASSERT_NE(w.Create(nullptr, "List", 0x80000000, 0, 100, 100, 0, 0), nullptr);
        Watchdog dog(&w);
        RunLater(50, [&] {
            Settle();
            MoveTo(&w, "item");
            Xdo("click --repeat 2 --delay 80 1");
            Settle();
            w.Close(1);
        });
        w.ShowModal();
        EXPECT_EQ(r.clicks, w.clicks) << r.style;
        EXPECT_EQ(r.activations, w.activations) << r.style;
    }
}

TEST_F(XvfbTest, MessageBoxButtonsAndEnterKey) {
    CZqMessageBox box;
    box.SetBoxType(1);
    bool shown = false;
    {
        Watchdog dog(&box);
        RunLater(50, [&] {
            Settle();
            shown = box.IsWindowVisible();
            Screenshot(&box, ShotDir() + "/message_box.png");
            ClickControl(&box, "MSG_ACTION_BTN_Cancel");
        });
        EXPECT_EQ(ShowZqMessageBox(&box, nullptr, "网络连接已断开，请检查网络后重试。", "提示"), 2);
    }
    EXPECT_TRUE(shown);

    // The same object again: a new window whose first button (OK) has the focus.
    box.SetBoxType(0);
    {
        Watchdog dog(&box);
        RunLater(50, [&] {
            Settle();
            MoveTo(&box, "MessageBox_TXT_Msg");
            Xdo("key Return");
        });
        EXPECT_EQ(ShowZqMessageBox(&box, nullptr, "ok?", "T"), 1);
    }

    CZqMessageBox yesNo;
    yesNo.SetBoxType(4);
    {
        Watchdog dog(&yesNo);
        RunLater(50, [&] {
            Settle();
            ClickControl(&yesNo, "MSG_ACTION_BTN_No");
        });
        EXPECT_EQ(ShowZqMessageBox(&yesNo, nullptr, "是否继续？", "提示"), 7);
    }
}

TEST_F(XvfbTest, MessageBoxDismissedFromOutside) {
    CZqMessageBox box;
    Watchdog dog(&box);
    RunLater(50, [&] {
        Settle();
        ::PostMessage(box.GetHWND(), WM_DISMISS_POPUP, 0, 0);
    });
    EXPECT_EQ(ShowZqMessageBox(&box, nullptr, "房间已关闭", "提示"), -2);
}

TEST_F(XvfbTest, PasswordDialogTypingAndApply) {
    struct Row {
        const char* what;
        const char* typed;
        const char* finish;  // control to click, or nullptr for the Return key
        int code;
        const char* password;
        const char* shot;
    } rows[] = {
        {"apply button", "pass123", "ApplyBTN", 1, "pass123", "room_password.png"},
        {"Enter key", "abc 9", nullptr, 1, "abc 9", nullptr},
        {"cancel button", "secret", "CancelBTN", 2, "", nullptr},
        {"close button", "secret", "CloseBTN", 2, "", nullptr},
    };
    for (const Row& r : rows) {
        CRoomPWConfirmDlg dlg;
        ASSERT_NE(dlg.Create(nullptr, "RoomPW", 0x80000000, 0, 0, 0, 0, 0), nullptr);
        Watchdog dog(&dlg);
        RunLater(50, [&] {
            Settle();
            ClickControl(&dlg, "EnterRoomPWEdit");
            Settle(200);
            XdoPumped(std::string("type --delay 50 '") + GbkToUtf8(r.typed) + "'");
            Settle();
            if (r.shot) Screenshot(&dlg, ShotDir() + "/" + r.shot);
            if (r.finish) ClickControl(&dlg, r.finish);
            else Xdo("key Return");
        });
        EXPECT_EQ((int)dlg.ShowModal(), r.code) << r.what;
        EXPECT_EQ(dlg.GetPassword(), r.password) << r.what;
    }

    CRoomPWConfirmDlg esc;
    ASSERT_NE(esc.Create(nullptr, "RoomPW", 0x80000000, 0, 0, 0, 0, 0), nullptr);
    Watchdog dog(&esc);
    RunLater(50, [&] {
        Settle();
        ClickControl(&esc, "EnterRoomPWEdit");
        Settle(200);
        Xdo("type x");
        Xdo("key Escape");
    });
    EXPECT_EQ((int)esc.ShowModal(), 2);
    EXPECT_EQ(esc.GetPassword(), "");
}

TEST_F(XvfbTest, CloseTipAndWaitDialog) {
    CSoftCloseTipDlg tip;
    ASSERT_NE(tip.Create(nullptr, "SoftCloseTip", 0x80000000, 0, 0, 0, 0, 0), nullptr);
    {
        Watchdog dog(&tip);
        RunLater(50, [&] {
            Settle();
            Screenshot(&tip, ShotDir() + "/soft_close_tip.png");
            ClickControl(&tip, "btnOK");
        });
        EXPECT_EQ((int)tip.ShowModal(), 1);
    }

    // The wait dialog is modeless; Escape leaves it open.
    CRoomCreateWaitDlg wait(nullptr);
    ASSERT_NE(wait.Create(nullptr, "RoomCreateWait", 0x80000000, 0, 0, 0, 0, 0), nullptr);
    wait.ShowWindow(true, true);
    wait.Start(true);
    Settle();
    MoveTo(&wait, "RoomCreateWaitText");
    Xdo("key Escape");
    Settle();
    EXPECT_TRUE(wait.IsWindowVisible());
    Screenshot(&wait, ShotDir() + "/room_create_wait.png");
    wait.Start(false);
    ::DestroyWindow(wait.GetHWND());
}

namespace {

// A menu that records what ended it first: Escape, a click outside it, or its window losing the focus.
class WatchedMenu : public CZqMenuUI {
public:
    std::string endedBy;
    LRESULT HandleMessage(UINT msg, WPARAM w, LPARAM l) override {
        if (endedBy.empty() && msg == WM_KILLFOCUS && !GetSubMenu()) endedBy = w == kClickOutside ? "outside" : "focus";
        if (endedBy.empty() && msg == WM_KEYDOWN && w == VK_ESCAPE) endedBy = "Escape";
        return CZqMenuUI::HandleMessage(msg, w, l);
    }
};

// The toplevel of a window of this process holds the keyboard focus.
bool HasFocus(CWindowWnd& wnd) {
    bool focused = false;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next)
        if (g_object_get_data(G_OBJECT(l->data), "varnet-hwnd") == wnd.GetHWND())
            focused = gtk_window_has_toplevel_focus(GTK_WINDOW(l->data));
    g_list_free(all);
    return focused;
}

}  // namespace

TEST_F(XvfbTest, PopupMenuChoosesAnItemOrNothing) {
    CZqMessageBox owner;  // any window with a paint manager will do as the owner
    ASSERT_NE(owner.Create(nullptr, "Owner", 0x80000000, 0, 0, 0, 0, 0), nullptr);
    owner.ShowWindow(true, true);
    struct Row {
        const char* what;
        const char* click;  // item to click, "outside", or nullptr for the Escape key
        int result;
        const char* endedBy;  // for no choice: what ended the menu
    } rows[] = {{"an item of the submenu", "submenu", 52, nullptr},
                {"click on the second item", "menuitem_2", 42, nullptr},
                {"Escape", nullptr, -1, "Escape"},
                {"click outside", "outside", -1, "outside"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        WatchedMenu menu;
        ZqMenuItem more("更多", -1);
        more.vSubItems = {ZqMenuItem("迎宾", 51), ZqMenuItem("欢迎", 52)};
        menu.SetMenuItem({ZqMenuItem("公聊", 41), ZqMenuItem(), ZqMenuItem("私聊", 42, true), more});
        ASSERT_NE(menu.CreateMenu({200, 200}, owner.GetHWND()), nullptr);
        Watchdog dog(&menu);
        bool ran = false;
        std::function<void()> inSubmenu;
        const unsigned step = RunLater(50, [&] {
            ran = true;
            Settle();
            // Open, with the keyboard, and still open a moment later: what ends it now is what the row does.
            EXPECT_TRUE(PumpUntil([&] { return menu.IsWindowVisible() && HasFocus(menu); }, 20000)) << r.what;
            Settle();
            ASSERT_TRUE(menu.endedBy.empty()) << r.what << ": ended before the step, by " << menu.endedBy;
            if (r.click && std::string(r.click) == "submenu") {
                // Once the submenu runs (inside the click that opens it), its item is clicked.
                inSubmenu = [&] {
                    if (!menu.GetSubMenu()) {
                        RunLater(50, inSubmenu);
                        return;
                    }
                    Settle();
                    CZqMenuUI* sub = menu.GetSubMenu();
                    ASSERT_NE(sub, nullptr) << "no submenu";
                    RECT a = menu.GetWindowRect(), b = sub->GetWindowRect();
                    EXPECT_EQ(b.left, a.right - 2);  // beside its item
                    GdkPixbuf* pb = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), a.left, a.top,
                                                               b.right - a.left, b.bottom - a.top);
                    ASSERT_NE(pb, nullptr);
                    gdk_pixbuf_save(pb, (ShotDir() + "/popup_submenu.png").c_str(), "png", nullptr, nullptr);
                    g_object_unref(pb);
                    ClickControl(sub, "menuitem_1");
                };
                RunLater(50, inSubmenu);
                ClickControl(&menu, "menuitem_3");
            } else if (r.click && std::string(r.click) == "outside") {
                Xdo("mousemove 5 5 click 1");
            } else if (r.click) {
                Screenshot(&menu, ShotDir() + "/popup_menu.png");
                ClickControl(&menu, r.click);
            } else {
                MoveTo(&menu, "menuitem_0");
                Xdo("key Escape");
            }
        });
        EXPECT_EQ(menu.PopupMenuNoCreate(), r.result) << r.what;
        EXPECT_TRUE(ran) << r.what << ": ended before the step, by " << menu.endedBy;
        if (!ran) g_source_remove(step);
        if (r.endedBy) EXPECT_EQ(menu.endedBy, r.endedBy) << r.what;
    }
    ::DestroyWindow(owner.GetHWND());
}
