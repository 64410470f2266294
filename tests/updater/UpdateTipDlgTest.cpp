// The update reminder's close codes, headless.
#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "UITestDriver.h"
#include "UpdateTipDlg.h"
#include "Win32.h"

using namespace DuiLib;

TEST(UpdateTipDlg, ButtonsAndKeysGiveTheCloseCode) {
    ASSERT_TRUE(Win32Init());
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    struct Row {
        std::function<void(CUpdateTipDlg&)> act;
        int code;
    } rows[] = {
        {[](CUpdateTipDlg& d) { UITest::Click(&d, "ApplyBTN"); }, 1},
        {[](CUpdateTipDlg& d) { UITest::Click(&d, "UpdateTipCloseBTN"); }, 2},
        {[](CUpdateTipDlg& d) { UITest::Click(&d, "CancelBTN"); }, 2},
        {[](CUpdateTipDlg& d) { UITest::PressKey(&d, VK_RETURN); }, 1},
        {[](CUpdateTipDlg& d) { UITest::PressKey(&d, VK_ESCAPE); }, 2},
    };
    for (auto& r : rows) {
        CUpdateTipDlg dlg;
        RECT rc{0, 0, 0, 0};
        ASSERT_NE(dlg.Create(nullptr, "UpdateTipDlg", 0x96C80000, 0, rc), nullptr);
        ASSERT_NE(dlg.m_PaintManager.FindControl("ApplyBTN"), nullptr);
        CUpdateTipDlg* pd = &dlg;
        auto act = r.act;
        duitest::RunLater(10, [pd, act] { act(*pd); });
        EXPECT_EQ(static_cast<int>(dlg.ShowModal()), r.code);
    }
}
