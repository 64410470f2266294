// The message box and the password dialog as real windows: clicks and typing through the X server.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>

#include "RoomEntryDlgs.h"
#include "TestSupport.h"
#include "UIBackendGtk.h"
#include "ZqMessageBox.h"

using duitest::RunLater;

namespace {

class XvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* display = getenv("VARNET_TEST_DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "VARNET_TEST_DISPLAY is not set";
        setenv("DISPLAY", display, 1);
        Win32Init();
        ASSERT_TRUE(UIBackendGtkInit());
        CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        std::filesystem::create_directories(ShotDir());
    }
    void TearDown() override { SetWindowBackendFactory(nullptr); }

    static std::string ShotDir() { return VARNET_BINARY_DIR "/screenshots"; }
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

void ClickControl(CWindowWnd* wnd, const char* name) {
    POINT pt;
    ASSERT_TRUE(ScreenPoint(wnd, name, pt)) << name;
    EXPECT_EQ(Xdo("mousemove " + std::to_string(pt.x) + " " + std::to_string(pt.y) + " click 1"), 0);
}

void Screenshot(CWindowWnd* wnd, const std::string& file) {
    RECT rc = wnd->GetWindowRect();
    GdkWindow* root = gdk_get_default_root_window();
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(root, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    ASSERT_NE(pb, nullptr);
    EXPECT_TRUE(gdk_pixbuf_save(pb, file.c_str(), "png", nullptr, nullptr));
    g_object_unref(pb);
}

// Lets the X server map the window and GTK draw it.
void Settle(unsigned ms = 300) {
    gdk_display_sync(gdk_display_get_default());
    PumpMessagesFor(ms);
}

}  // namespace

TEST_F(XvfbTest, MessageBoxButtonsAndEnterKey) {
    CZqMessageBox box;
    box.SetBoxType(1);
    bool shown = false;
    RunLater(50, [&] {
        Settle();
        shown = box.IsWindowVisible();
        Screenshot(&box, ShotDir() + "/message_box.png");
        ClickControl(&box, "MSG_ACTION_BTN_Cancel");
    });
    EXPECT_EQ(ShowZqMessageBox(&box, nullptr, "网络连接已断开，请检查网络后重试。", "提示"), 2);
    EXPECT_TRUE(shown);

    CZqMessageBox ok;
    RunLater(50, [&] {
        Settle();
        POINT pt;
        ASSERT_TRUE(ScreenPoint(&ok, "MessageBox_TXT_Msg", pt));
        Xdo("mousemove " + std::to_string(pt.x) + " " + std::to_string(pt.y));
        Xdo("key Return");  // the OK button has the focus
    });
    EXPECT_EQ(ShowZqMessageBox(&ok, nullptr, "ok?", "T"), 1);
}

TEST_F(XvfbTest, PasswordDialogTypingAndApply) {
    CRoomPWConfirmDlg dlg;
    ASSERT_NE(dlg.Create(nullptr, "pw", 0x80000000, 0, 0, 0, 300, 150), nullptr);
    RunLater(50, [&] {
        Settle();
        ClickControl(&dlg, "EnterRoomPWEdit");
        Settle(200);
        Xdo("type --delay 20 pass123");
        Settle(300);
        Screenshot(&dlg, ShotDir() + "/room_password.png");
        ClickControl(&dlg, "ApplyBTN");
    });
    EXPECT_EQ((int)dlg.ShowModal(), 1);
    EXPECT_EQ(dlg.GetPassword(), "pass123");

    CRoomPWConfirmDlg esc;
    ASSERT_NE(esc.Create(nullptr, "pw", 0x80000000, 0, 0, 0, 300, 150), nullptr);
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
