// The trumpet and exchange popups as real windows on the test display; screenshots under the build folder.
// Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>

#include "ChatNoticePopups.h"
#include "GlobalData.h"
#include "UiTestSupport.h"
#include "UIBackendGtk.h"
#include "UIExchange.h"
#include "Win32.h"
#include "WindowShot.h"
#include "ZqModConfig.h"
#include "TestUtil.h"

using namespace DuiLib;

using desktoptest::Shot;

TEST(ChatPopupsXvfb, TrumpetAndExchangeScreenshots) {
    if (std::string why = testsupport::UseTestDisplay(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(desktoptest::OpenWindowLibrary("chat_popups_xvfb")) << "cannot open display " << getenv("DISPLAY");
    const std::string dir = desktoptest::ScreenshotDir();
    {
        roompopups::CUISendTrumpet trumpet;
        ASSERT_TRUE(trumpet.ShowPopup(nullptr, trumpet.kWidth, trumpet.kHeight));
        trumpet.Input().Edit().InsertTextGbk("大家好，今晚八点不见不散！");
        EXPECT_TRUE(trumpet.Input().Edit().IsNative());
        Shot(trumpet, dir + "/popup_trumpet.png");
        trumpet.Destroy();
        roompopups::CUIExchange exchange;
        ASSERT_TRUE(exchange.ShowPopup(nullptr));
        Shot(exchange, dir + "/popup_exchange.png");
        exchange.Destroy();
    }
    SetWindowBackendFactory(nullptr);
}
