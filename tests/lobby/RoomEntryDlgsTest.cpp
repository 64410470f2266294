// Room-entry dialogs: wait dialog timers, password prompt, close prompt.
#include <gtest/gtest.h>

#include "RoomEntryDlgs.h"
#include "UiTestSupport.h"

using namespace DuiLib;

using duitest::RunLater;

namespace {

class DlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        Win32Init();
        CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    }
};

// A window that records the messages it gets.
struct Sink : CWin32Window {
    std::vector<UINT> msgs;
    LRESULT HandleMessage(UINT m, WPARAM, LPARAM) override {
        msgs.push_back(m);
        return 0;
    }
};

const char kLoading[] = "正在全力加载，请稍后......";
const char kTimeout[] = "由于网络原因导致房间开启失败，请查看网络是否通畅!";

}  // namespace

TEST_F(DlgTest, WaitDialogTimesOutOnceAndStopsEarlySilently) {
    Sink sink;
    HWND notify = CreateWindowHandle(&sink);
    {
        CRoomCreateWaitDlg dlg(notify);
        dlg.SetPeriods(20, 80);
        ASSERT_NE(dlg.Create(nullptr, "wait", 0, 0, 0, 0, 0, 0), nullptr);
        auto* text = static_cast<CTextUI*>(dlg.m_PaintManager.FindControl("RoomCreateWaitText"));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->GetTextStyle() & 0x11u, 0x11u);
        dlg.Start(true);
        EXPECT_EQ(text->GetText(), kLoading);
        ASSERT_TRUE(PumpUntil([&] { return !sink.msgs.empty(); }, 3000));
        EXPECT_EQ(sink.msgs, std::vector<UINT>{WM_ROOM_OPEN_TIMEOUT});
        EXPECT_EQ(text->GetText(), kTimeout);
        PumpMessagesFor(150);  // both timers ran once only
        EXPECT_EQ(sink.msgs.size(), 1u);
        // Escape leaves it open.
        UITest::PressKey(&dlg, VK_ESCAPE);
        PumpMessagesFor(20);
        EXPECT_TRUE(::IsWindow(dlg.GetHWND()));
        // Stopped before the deadline: nothing is posted.
        sink.msgs.clear();
        dlg.Start(true);
        PumpMessagesFor(30);
        dlg.Start(false);
        PumpMessagesFor(150);
        EXPECT_TRUE(sink.msgs.empty());
        // Destroyed while running: the timers die with it.
        dlg.Start(true);
        ::DestroyWindow(dlg.GetHWND());
        PumpMessagesFor(150);
        EXPECT_TRUE(sink.msgs.empty());
    }
    ::DestroyWindow(notify);
}

TEST_F(DlgTest, PasswordDialogResults) {
    struct Row {
        const char* what;
        const char* typed;
        std::function<void(CRoomPWConfirmDlg&)> act;
        int code;
        const char* password;
    } rows[] = {
        {"apply", "s3cret", [](CRoomPWConfirmDlg& d) { UITest::Click(&d, "ApplyBTN"); }, 1, "s3cret"},
        {"empty apply", "", [](CRoomPWConfirmDlg& d) { UITest::Click(&d, "ApplyBTN"); }, 1, ""},
        {"enter key", "abc", [](CRoomPWConfirmDlg& d) { UITest::PressKey(&d, VK_RETURN); }, 1, "abc"},
        {"return notification", "xy",
         [](CRoomPWConfirmDlg& d) {
             d.m_PaintManager.SendNotify(d.m_PaintManager.FindControl("EnterRoomPWEdit"), "return");
         },
         1, "xy"},
        {"escape", "abc", [](CRoomPWConfirmDlg& d) { UITest::PressKey(&d, VK_ESCAPE); }, 2, ""},
        {"cancel", "abc", [](CRoomPWConfirmDlg& d) { UITest::Click(&d, "CancelBTN"); }, 2, ""},
        {"close", "abc", [](CRoomPWConfirmDlg& d) { UITest::Click(&d, "CloseBTN"); }, 2, ""},
    };
    for (auto& r : rows) {
        CRoomPWConfirmDlg dlg;
        ASSERT_NE(dlg.Create(nullptr, "pw", 0, 0, 0, 0, 300, 150), nullptr);
        std::string focus;
        CRoomPWConfirmDlg* pd = &dlg;
        auto act = r.act;
        const char* typed = r.typed;
        RunLater(10, [&, pd, act, typed] {
            CControlUI* f = pd->m_PaintManager.GetFocus();
            focus = f ? std::string(f->GetName()) : "";
            UITest::TypeText(pd, typed);
            act(*pd);
        });
        EXPECT_EQ((int)dlg.ShowModal(), r.code) << r.what;
        EXPECT_EQ(focus, "EnterRoomPWEdit");
        EXPECT_EQ(dlg.GetPassword(), r.password) << r.what;
    }
}

TEST_F(DlgTest, CloseTipTextsAndResults) {
    struct Row {
        bool custom;
        std::function<void(CSoftCloseTipDlg&)> act;
        int code;
    } rows[] = {
        {false, [](CSoftCloseTipDlg& d) { UITest::Click(&d, "btnOK"); }, 1},
        {true, [](CSoftCloseTipDlg& d) { UITest::Click(&d, "btnClose"); }, 2},
        {false, [](CSoftCloseTipDlg& d) { UITest::Click(&d, "CloseBTN"); }, 2},
        {true, [](CSoftCloseTipDlg& d) { UITest::PressKey(&d, VK_RETURN); }, 1},
        {false, [](CSoftCloseTipDlg& d) { UITest::PressKey(&d, VK_ESCAPE); }, 2},
        {false,
         [](CSoftCloseTipDlg& d) {
             UITest::Click(&d, "SoftCloseTipLabel");  // not a button: nothing happens
             d.Close(5);
         },
         5},
    };
    for (auto& r : rows) {
        CSoftCloseTipDlg custom("msg", "ok", "no");
        CSoftCloseTipDlg plain;
        CSoftCloseTipDlg& dlg = r.custom ? custom : plain;
        ASSERT_NE(dlg.Create(nullptr, "tip", 0, 0, 0, 0, 300, 150), nullptr);
        std::string label = dlg.m_PaintManager.FindControl("SoftCloseTipLabel")->GetText();
        std::string ok = dlg.m_PaintManager.FindControl("btnOK")->GetText();
        std::string no = dlg.m_PaintManager.FindControl("btnClose")->GetText();
        if (r.custom) {
            EXPECT_EQ(label, "msg");
            EXPECT_EQ(ok, "ok");
            EXPECT_EQ(no, "no");
        } else {  // the skin's texts stay
            EXPECT_FALSE(label.empty());
            EXPECT_EQ(ok, "退出");
            EXPECT_EQ(no, "取消");
        }
        CSoftCloseTipDlg* pd = &dlg;
        auto act = r.act;
        RunLater(10, [pd, act] { act(*pd); });
        EXPECT_EQ((int)dlg.ShowModal(), r.code);
    }
}
