// The settings dialog as a real window on the test display; screenshots under the build folder.
// Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "GlobalData.h"
#include "RoomConfigSetDlg.h"
#include "CameraSource.h"
#include "SyntheticCamera.h"
#include "UiTestSupport.h"
#include "UIBackendGtk.h"
#include "Win32.h"
#include "WindowShot.h"
#include "ZqLib.h"
#include "ZqModConfig.h"
#include "NullHalvec.h"
#include "TestUtil.h"
#include "XvfbDesktop.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace {
struct NoCameras : capture::CameraStandIn {
    std::vector<capture::CameraInfo> List() override { return {}; }
    std::unique_ptr<capture::CameraSource> Create(int) override { return nullptr; }
};
}  // namespace

using desktoptest::Shot;

TEST(SettingsXvfb, PersonalAndVideoPagesScreenshot) {
    if (std::string why = testsupport::UseTestDisplay(); !why.empty()) GTEST_SKIP() << why;
    capture::SelectSyntheticCamera(1);
    ASSERT_TRUE(desktoptest::OpenWindowLibrary("room_popups_xvfb")) << "cannot open display " << getenv("DISPLAY");
    const std::string dir = desktoptest::ScreenshotDir();
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
        a.uid = 1001;
        a.level = 200;
        a.nickname = "爱丽丝";
        a.sex = 2;
        a.birth = "2000-02-15";
    });
    {
        CRoomConfigSetDlg dlg;
        ASSERT_NE(dlg.Create(nullptr, "房间设置对话框", UI_WS_POPUP, 0, 0, 0, 500, 373), nullptr);
        dlg.CenterWindow();
        CControlUI* noCamera = dlg.m_PaintManager.FindControl("NoCameraTipLabel");
        ASSERT_NE(noCamera, nullptr);
        CControlUI* photoPage = dlg.m_PaintManager.FindControl("PhotoSetingBTN");
        ASSERT_NE(photoPage, nullptr);
        for (int page : {0, 1, 3}) {
            dlg.OpenPage(page);
            dlg.ShowWindow(true);
            Shot(dlg, dir + "/settings_page" + std::to_string(page) + ".png");
            EXPECT_EQ(photoPage->GetBkColor() != 0, page == 0) << "the photo page is marked only when open";
        }
        // The catalogue's six pictures of each list: one row each, not five and one.
        dlg.OpenPage(0);
        for (int i = 1; i <= 6; ++i)
            dlg.m_PaintManager.FindControl(("SelMenPhotoBTN" + std::to_string(i)).c_str())->SetVisible(true);
        dlg.m_PaintManager.UpdateLayout();
        EXPECT_EQ(dlg.m_PaintManager.FindControl("SelMenPhotoBTN6")->GetPos().top,
                  dlg.m_PaintManager.FindControl("SelMenPhotoBTN1")->GetPos().top);
        EXPECT_FALSE(noCamera->IsVisible());
        CControlUI* quality = dlg.m_PaintManager.FindControl("ImageQualityRegulateBTN");
        ASSERT_NE(quality, nullptr);
        EXPECT_TRUE(quality->IsEnabled());
        // Without a camera the video page says so, and offers no picture settings.
        NoCameras none;
        capture::SetCameraStandIn(&none);
        dlg.OpenPage(3);
        EXPECT_TRUE(noCamera->IsVisible());
        EXPECT_FALSE(quality->IsEnabled());
        EXPECT_EQ(static_cast<CComboUI*>(dlg.m_PaintManager.FindControl("SelVideoDeviceCombo"))->GetCount(), 0);
        Shot(dlg, dir + "/settings_no_camera.png");
        capture::SelectSyntheticCamera(1);
        dlg.CloseDialog(2);
        ::DestroyWindow(dlg.GetHWND());
    }
    SetWindowBackendFactory(nullptr);
}

namespace {
// The provinces of the shipped catalogue file (its first column).
struct ShippedProvinces : testsupport::NullHalvec {
    void GetCityList(std::vector<CityInfo*>& out) override {
        std::ifstream f(VARNET_SOURCE_DIR "/res/city.conf");
        for (std::string line; std::getline(f, line);)
            if (size_t end = line.find('"', 1); line.size() > 1 && line[0] == '"' && end != std::string::npos)
                out.push_back(new CityInfo{Charset::Utf8ToGbk(line.substr(1, end - 1)), {}});
    }
};

void Xdo(const std::string& args) {
    EXPECT_EQ(system(("xdotool " + args + " >/dev/null 2>&1").c_str()), 0) << args;
}
std::string At(int x, int y) {
    return std::to_string(x) + " " + std::to_string(y);
}
}  // namespace

// The province and birth-year lists are taller than the room under their box: they open on the screen and
// scroll, and the last item is chosen by the wheel and by the keys, with the pointer and keyboard of the X
// server.
TEST(SettingsXvfb, LongListsScrollToTheirLastItem) {
    if (std::string why = testsupport::UseTestDisplay({"xdotool"}); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(desktoptest::OpenWindowLibrary("room_popups_lists")) << "cannot open display " << getenv("DISPLAY");
    const std::string dir = desktoptest::ScreenshotDir();
    ShippedProvinces catalogue;
    AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &catalogue);
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
        a.uid = 1001;
        a.level = 200;
        a.birth = "1990-02-15";
        a.province = "";
    });
    CRoomConfigSetDlg dlg;
    ASSERT_NE(dlg.Create(nullptr, "房间设置对话框", UI_WS_POPUP, 0, 0, 0, 500, 373), nullptr);
    dlg.CenterWindow();
    dlg.OpenPage(1);
    dlg.ShowWindow(true);
    struct Row {
        const char* combo;
        bool wheel;  // else the keys
    } rows[] = {{"AddressProvinceCombo", true},
                {"AddressProvinceCombo", false},
                {"BirthdayYearCombo", true},
                {"BirthdayYearCombo", false}};
    for (const Row& r : rows) {
        const std::string what = std::string(r.combo) + (r.wheel ? " by the wheel" : " by the keys");
        auto* combo = static_cast<CComboUI*>(dlg.m_PaintManager.FindControl(r.combo));
        ASSERT_NE(combo, nullptr);
        ASSERT_GT(combo->GetCount(), 30) << what;
        const int last = combo->GetCount() - 1, from = combo->GetCurSel();
        combo->SelectItem(-1);
        if (r.wheel) combo->SelectItem(from < 0 ? 0 : from);
        Shot(dlg, dir + "/settings_lists_before.png");
        const RECT wnd = dlg.GetWindowRect(), box = combo->GetPos();
        // The list's own loop runs inside the click: the steps run from there, once its window is up.
        RECT list{};
        int tries = 0;
        std::function<void()> step = [&] {
            if (!desktoptest::FindWindow("^ZqMenu$", list)) {
                if (++tries < 400) duitest::RunLater(50, step);
                return;
            }
            gdk_display_sync(gdk_display_get_default());
            PumpMessagesFor(200);
            const int x = (list.left + list.right) / 2;
            if (r.wheel) {
                Xdo("mousemove " + At(x, (list.top + list.bottom) / 2) + " click --repeat 120 --delay 5 5");
            } else {
                const int sel = combo->GetCurSel();
                Xdo("key --repeat " + std::to_string(sel < 0 ? last + 1 : last - sel) + " --delay 5 Down");
            }
            PumpMessagesFor(600);
            gdk_display_sync(gdk_display_get_default());
            desktoptest::Screenshot(list, dir + "/settings_list_" + r.combo + (r.wheel ? "_wheel" : "_keys") + ".png");
            if (r.wheel) Xdo("mousemove " + At(x, list.bottom - 3 - CZqMenuUI::kItemHeight / 2) + " click 1");
            else Xdo("key Return");
        };
        duitest::RunLater(50, step);
        Xdo("mousemove " + At(wnd.left + (box.left + box.right) / 2, wnd.top + (box.top + box.bottom) / 2) +
            " click 1");
        EXPECT_TRUE(desktoptest::WaitFor([&] {
            PumpMessagesFor(20);
            return combo->GetCurSel() == last && !desktoptest::FindWindow("^ZqMenu$", list);
        })) << what
            << ": chose " << combo->GetCurSel() << " of " << last + 1;
        // The list lay on the screen.
        EXPECT_GE(list.top, 0) << what;
        EXPECT_LE(list.bottom, 1024) << what;
        EXPECT_GT(list.right - list.left, 0) << what;
    }
    Shot(dlg, dir + "/settings_lists_after.png");
    dlg.CloseDialog(2);
    ::DestroyWindow(dlg.GetHWND());
    AfxGetDataManager()->UnregisterModule(HALVEC_MODULE_NAME);
    SetWindowBackendFactory(nullptr);
}
