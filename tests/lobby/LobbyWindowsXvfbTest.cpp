// The lobby dialogs as real windows on the test display: clicks and typing through the X server, screenshots
// under the build folder. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <glib.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>

#include "RoomEntryDlgs.h"
#include "TestSupport.h"
#include "UIBackendGtk.h"
#include "ZqMessageBox.h"

using duitest::RunLater;

namespace {

const UINT kStuck = 99;  // close code of a window the watchdog had to close

class XvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* display = getenv("VARNET_TEST_DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "VARNET_TEST_DISPLAY is not set";
        setenv("DISPLAY", display, 1);
        Win32Init();
        ASSERT_TRUE(UIBackendGtkInit()) << "cannot open display " << display;
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

// Lets the X server map the window and GTK draw it.
void Settle(unsigned ms = 300) {
    gdk_display_sync(gdk_display_get_default());
    PumpMessagesFor(ms);
    gdk_display_sync(gdk_display_get_default());
}

void MoveTo(CWindowWnd* wnd, const char* name) {
    POINT pt;
    ASSERT_TRUE(ScreenPoint(wnd, name, pt)) << name;
    EXPECT_EQ(Xdo("mousemove --sync " + std::to_string(pt.x) + " " + std::to_string(pt.y)), 0);
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

}  // namespace

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
            Xdo(std::string("type --delay 20 '") + r.typed + "'");
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
