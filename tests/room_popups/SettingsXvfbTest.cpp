// The settings dialog as a real window on the test display; screenshots under the build folder.
// Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>

#include "GlobalData.h"
#include "RoomConfigSetDlg.h"
#include "CameraSource.h"
#include "SyntheticCamera.h"
#include "UiTestSupport.h"
#include "UIBackendGtk.h"
#include "Win32.h"
#include "WindowShot.h"
#include "ZqModConfig.h"
#include "TestUtil.h"

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
    setenv("VARNET_DATA_DIR", duitest::TempDir("room_popups_xvfb").c_str(), 1);
    AfxReleaseConfigManager();
    Win32Init();
    ASSERT_TRUE(UIBackendGtkInit()) << "cannot open display " << getenv("DISPLAY");
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    const std::string dir = VARNET_BINARY_DIR "/screenshots";
    std::filesystem::create_directories(dir);
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
        for (int page : {1, 3}) {
            dlg.OpenPage(page);
            dlg.ShowWindow(true);
            Shot(dlg, dir + "/settings_page" + std::to_string(page) + ".png");
        }
        EXPECT_FALSE(noCamera->IsVisible());
        // Without a camera the video page says so.
        NoCameras none;
        capture::SetCameraStandIn(&none);
        dlg.OpenPage(3);
        EXPECT_TRUE(noCamera->IsVisible());
        EXPECT_EQ(static_cast<CComboUI*>(dlg.m_PaintManager.FindControl("SelVideoDeviceCombo"))->GetCount(), 0);
        Shot(dlg, dir + "/settings_no_camera.png");
        capture::SelectSyntheticCamera(1);
        dlg.CloseDialog(2);
        ::DestroyWindow(dlg.GetHWND());
    }
    SetWindowBackendFactory(nullptr);
}
