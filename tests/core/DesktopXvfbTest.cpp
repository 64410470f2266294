// The attention request and the program icon on real windows of the test display. Skipped without
// VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <cstdlib>
#include <thread>

#include "GlobalData.h"
#include "UIBackendGtk.h"
#include "UIlib.h"
#include "TestUtil.h"

namespace {

class PlainWnd : public DuiLib::CWindowWnd {
public:
    const char* GetWindowClassName() const override { return "PlainWnd"; }
};

GtkWindow* GtkOf(HWND hwnd) {
    GtkWindow* found = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next)
        if (g_object_get_data(G_OBJECT(l->data), "varnet-hwnd") == hwnd) found = GTK_WINDOW(l->data);
    g_list_free(all);
    return found;
}

class DesktopXvfb : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testsupport::UseTestDisplay(); !why.empty()) GTEST_SKIP() << why;
        Win32Init();
        ASSERT_TRUE(DuiLib::UIBackendGtkInit()) << "cannot open display " << getenv("DISPLAY");
    }
    void TearDown() override {
        DuiLib::SetWindowBackendFactory(nullptr);
        SetDesktopWindows(nullptr);
    }
};

TEST_F(DesktopXvfb, FlashMarksABackgroundWindowUrgentAndTheIconIsShown) {
    PlainWnd back, front;
    ASSERT_TRUE(back.Create(nullptr, "back", 0, 0, 10, 10, 200, 120));
    ASSERT_TRUE(front.Create(nullptr, "front", 0, 0, 260, 10, 200, 120));
    back.ShowWindow(true, false);
    front.ShowWindow(true, true);
    GtkWindow* gtkBack = GtkOf(back.GetHWND());
    ASSERT_NE(nullptr, gtkBack);
    PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(gtkBack)); }, 3000);

    EXPECT_TRUE(FlashWindowUntilForeground(back.GetHWND()));
    ASSERT_FALSE(gtk_window_is_active(gtkBack));
    EXPECT_TRUE(gtk_window_get_urgency_hint(gtkBack));
    // Coming to the foreground answers the request.
    back.ShowWindow(true, true);
    EXPECT_TRUE(PumpUntil([&] { return !gtk_window_get_urgency_hint(gtkBack); }, 3000));
    EXPECT_TRUE(FlashWindowUntilForeground(back.GetHWND()));  // in the foreground: nothing to ask for
    EXPECT_FALSE(gtk_window_get_urgency_hint(gtkBack));
    EXPECT_FALSE(FlashWindowUntilForeground(nullptr));

    CGlobalDataApp& g = CGlobalDataApp::GetInstance();
    g.LoadAppIcon();
    ::SendMessage(back.GetHWND(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g.AppIcon()));
    GdkPixbuf* icon = gtk_window_get_icon(gtkBack);
    ASSERT_NE(nullptr, icon);
    EXPECT_EQ(48, gdk_pixbuf_get_width(icon));
    // The small icon is the same picture: the window keeps the one it has.
    ::SendMessage(back.GetHWND(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g.AppIcon()));
    EXPECT_EQ(icon, gtk_window_get_icon(gtkBack));

    DestroyWindow(front.GetHWND());
    DestroyWindow(back.GetHWND());
}

// The chat client's receive thread asks for attention: the request is carried out on the UI thread.
TEST_F(DesktopXvfb, FlashFromAWorkerThreadRunsOnTheUiThread) {
    PlainWnd back, front;
    ASSERT_TRUE(back.Create(nullptr, "back", 0, 0, 10, 10, 200, 120));
    ASSERT_TRUE(front.Create(nullptr, "front", 0, 0, 260, 10, 200, 120));
    back.ShowWindow(true, false);
    front.ShowWindow(true, true);
    GtkWindow* gtkBack = GtkOf(back.GetHWND());
    ASSERT_NE(nullptr, gtkBack);
    PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(gtkBack)); }, 3000);
    ASSERT_FALSE(gtk_window_get_urgency_hint(gtkBack));

    bool queued = false;
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i) queued = FlashWindowUntilForeground(back.GetHWND());
    });
    worker.join();
    EXPECT_TRUE(queued);
    EXPECT_TRUE(PumpUntil([&] { return gtk_window_get_urgency_hint(gtkBack) == TRUE; }, 5000));

    // A request for a window that closed before the UI thread got to it does nothing.
    HWND gone = front.GetHWND();
    std::thread late([&] { FlashWindowUntilForeground(gone); });
    late.join();
    DestroyWindow(front.GetHWND());
    PumpMessagesFor(50);
    DestroyWindow(back.GetHWND());
}

}  // namespace
