// A video view shown through its GTK presenter inside a real window on the test display. Skipped without
// VARNET_TEST_DISPLAY.
#include "MicTestSupport.h"
#include "PrivateMicWnd.h"
#include "PublicMicWnd.h"
#include "UIBackendGtk.h"
#include "UIlib.h"
#include "VideoGtkPresenter.h"
#include "VideoShowWnd.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <gtk/gtk.h>

namespace {

// Counts its paintings that reach into `under`.
class OwnerWnd : public DuiLib::CWindowWnd {
public:
    const char* GetWindowClassName() const override { return "MicOwnerWnd"; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_PAINT && lParam) {
            const auto* rc = reinterpret_cast<const DuiLib::RECT*>(lParam);
            if (rc->left < under.right && under.left < rc->right && rc->top < under.bottom && under.top < rc->bottom)
                ++paintsUnder;
        }
        return CWindowWnd::HandleMessage(msg, wParam, lParam);
    }
    DuiLib::RECT under{};
    int paintsUnder = 0;
};

TEST(MicVideoXvfb, FramesAreDrawnInTheNativeChild) {
    if (std::string why = testsupport::UseTestDisplay(); !why.empty()) GTEST_SKIP() << why;
    Win32Init();
    ASSERT_TRUE(DuiLib::UIBackendGtkInit());
    {
        OwnerWnd owner;
        ASSERT_TRUE(owner.Create(nullptr, "owner", 0, 0, 100, 100, 320, 240));
        owner.ShowWindow(true, true);
        CVideoShowWnd view;
        DuiLib::RECT rc;
        rc.left = 10, rc.top = 10, rc.right = 170, rc.bottom = 130;
        ASSERT_EQ(1, view.Create(owner.GetHWND(), &rc, ""));
        auto presenter = CVideoGtkPresenter::Create(view.GetHWND());
        ASSERT_TRUE(presenter);
        owner.GetBackend()->PlaceNativeWidget(presenter->Widget(), rc, true);
        view.SetPresenter(presenter);

        std::vector<BYTE> frame(32 * 24 * 3, 0);
        for (size_t k = 0; k < frame.size(); k += 3) frame[k + 1] = 180;  // green
        view.SetFrameFormat(32, 24, 24);
        ASSERT_TRUE(PumpUntil(
            [&] {
                view.InputFrame(static_cast<long>(frame.size()), frame.data());
                return presenter->LastCentre() == 0xFF00B400u;
            },
            10000))
            << std::hex << presenter->LastCentre();

        // New pictures over the window: the window does not paint what they cover. The area grown past the
        // picture: the window paints under it again.
        auto drawFrames = [&](unsigned long count) {
            const unsigned long until = presenter->DrawCount() + count;
            return PumpUntil(
                [&] {
                    view.InputFrame(static_cast<long>(frame.size()), frame.data());
                    return presenter->DrawCount() >= until;
                },
                10000);
        };
        owner.under = rc;
        ASSERT_TRUE(drawFrames(2));
        owner.paintsUnder = 0;
        ASSERT_TRUE(drawFrames(5));
        EXPECT_EQ(0, owner.paintsUnder);
        DuiLib::RECT wider = rc;
        wider.right += 20;
        owner.GetBackend()->PlaceNativeWidget(presenter->Widget(), wider, true);
        ASSERT_TRUE(drawFrames(5));
        EXPECT_GE(owner.paintsUnder, 3);

        view.SetPresenter(nullptr);
        view.Destroy();
        owner.GetBackend()->RemoveNativeWidget(presenter->Widget());
        presenter.reset();
        DestroyWindow(owner.GetHWND());
        PumpMessagesFor(50);
    }
    DuiLib::SetWindowBackendFactory(nullptr);
}

struct DeskRoom : IRoomUI {
    HWND hwnd = nullptr;
    HWND GetHWND() override { return hwnd; }
    uint32_t GetRoomID() override { return 7001; }
    void SetRoomID(uint32_t) override {}
    IRoomLogic* GetRoomLogic() override { return nullptr; }
    void SetRoomLogic(IRoomLogic*) override {}
    bool GetDealUI(int, IRoomDealUI**) override { return false; }
    bool CreateRoomWindow(const std::string&) override { return true; }
    void CloseRoomWindow() override {}
    bool IsWindowVisible() override { return true; }
    bool IsIconic() override { return false; }
    void RestoreMaximized() override {}
    void BringToFront() override {}
    bool IsForeground() override { return true; }
};

struct Picks : IMicRoomActions {
    std::vector<uint32_t> selected;
    void SelectGiftTarget(uint32_t uid) override { selected.push_back(uid); }
    void LocateUser(uint32_t) override {}
    void SetChatTarget(uint32_t) override {}
    void OpenStampDialog(uint32_t) override {}
    void PushModalWnd(HWND) override {}
    void PopModalWnd(HWND) override {}
    void ContinueModalCancel() override {}
};

// The whole test display, as build/screenshots/<name>.
void SaveScreen(const std::string& name) {
    std::filesystem::create_directories(VARNET_BINARY_DIR "/screenshots");
    gdk_display_sync(gdk_display_get_default());
    GdkWindow* root = gdk_get_default_root_window();
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
    ASSERT_NE(pb, nullptr);
    EXPECT_TRUE(gdk_pixbuf_save(pb, (VARNET_BINARY_DIR "/screenshots/" + name).c_str(), "png", nullptr, nullptr));
    g_object_unref(pb);
}

// A left click of the pointer at screen point (x, y), as the user's.
void ClickAt(int x, int y) {
    std::string cmd = "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " sleep 0.2 click 1";
    EXPECT_EQ(0, system((cmd + " >/dev/null 2>&1").c_str())) << cmd;
}

TEST(MicVideoXvfb, PressesOnTheVideoSelectThePerformerAndADoubleClickActsOnce) {
    if (std::string why = testsupport::UseTestDisplay({"xdotool"}); !why.empty()) GTEST_SKIP() << why;
    Win32Init();
    ASSERT_TRUE(DuiLib::UIBackendGtkInit());
    mic_test::UseFreshConfig();
    DuiLib::CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    mic_test::FakeScript player, publisher;
    CMicSlot::SetMediaFactory(mic_test::FakeFactory(&player, &publisher));
    {
        OwnerWnd roomWnd;
        ASSERT_TRUE(roomWnd.Create(nullptr, "room", 0, 0, 0, 0, 1024, 775));
        roomWnd.ShowWindow(true, true);
        DeskRoom room;
        room.hwnd = roomWnd.GetHWND();
        Picks picks;
        CPublicMicWndMgr pub;
        CPrivateMicWndMgr priv;
        pub.Init(&room, &picks);
        priv.Init(&room, &picks);
        RoomUserInfo a, b;
        a.uid = 5005;
        b.uid = 5006;
        pub.AddPublicMic(1, b, "rtmp://127.0.0.1/vstar/b", 3);
        priv.AddPrivateMic(0, a, "rtmp://127.0.0.1/vstar/a", 3, true);
        CPrivateMicWnd* w = priv.Slot(0);
        ASSERT_TRUE(w->HasWindow());
        ASSERT_NE(nullptr, w->DesktopPresenter());
        PumpMessagesFor(300);
        auto picked = [&](size_t n) { return PumpUntil([&] { return picks.selected.size() >= n; }, 10000); };

        // The middle of a public slot's video (above its button strip): the strip's window selects.
        DuiLib::RECT rr = roomWnd.GetWindowRect(), pr = pub.Slot(1)->GetWindowRect();
        ClickAt(rr.left + pr.left + 100, rr.top + pr.top + 80);
        ASSERT_TRUE(picked(1));
        EXPECT_EQ(5006u, picks.selected[0]);
        // The private window's video: the press goes through to the window.
        DuiLib::RECT wr = w->GetWindowRect();
        ClickAt(wr.left + 118, wr.top + 100);
        ASSERT_TRUE(picked(2));
        EXPECT_EQ(5005u, picks.selected[1]);
        // The pop-out's video likewise.
        w->PopOut();
        ASSERT_TRUE(w->Pop().HasWindow());
        PumpMessagesFor(300);
        SaveScreen("mic_slots_linking.png");
        DuiLib::RECT po = w->Pop().GetWindowRect();
        ClickAt(po.left + 150, po.top + 120);
        ASSERT_TRUE(picked(3));
        EXPECT_EQ(5005u, picks.selected[2]);

        // A double click on the public slot's pop-out button opens its pop-out once: the second press is
        // the double click only, which the strip ignores. (A click on the room's empty part first ends
        // what the press on the pop-out left going without a window manager.)
        ASSERT_EQ(0, system("xdotool mousemove 600 600 click 1 >/dev/null 2>&1"));
        PumpMessagesFor(300);
        auto* area = static_cast<GtkWidget*>(pub.Slot(1)->DesktopPresenter()->Widget());
        int ox = 0, oy = 0;
        gdk_window_get_origin(gtk_widget_get_window(area), &ox, &oy);
        std::string cmd = "xdotool mousemove " + std::to_string(ox + gtk_widget_get_allocated_width(area) - 57) + " " +
                          std::to_string(oy + gtk_widget_get_allocated_height(area) - 9) +
                          " sleep 0.2 click --repeat 2 --delay 80 1 >/dev/null 2>&1";
        ASSERT_EQ(0, system(cmd.c_str()));
        EXPECT_TRUE(PumpUntil([&] { return pub.Slot(1)->IsPoppedOut(); }, 10000));
        PumpMessagesFor(500);
        EXPECT_TRUE(pub.Slot(1)->IsPoppedOut());

        priv.UnInit();
        pub.UnInit();
        DestroyWindow(roomWnd.GetHWND());
        PumpMessagesFor(50);
    }
    CMicSlot::SetMediaFactory({});
    DuiLib::SetWindowBackendFactory(nullptr);
}

}  // namespace
