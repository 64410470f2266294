// The message box: close codes, button rows, dismissal, countdown, reuse.
#include <gtest/gtest.h>

#include <glib.h>

#include "UiTestSupport.h"
#include "ZqMessageBox.h"

using namespace DuiLib;

using duitest::RunLater;

namespace {

class MsgBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        Win32Init();
        CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    }
};

std::vector<std::string> RowButtons(CZqMessageBox& box) {
    std::vector<std::string> names;
    auto* row = static_cast<CContainerUI*>(box.m_PaintManager.FindControl("buttonrow"));
    if (!row) return names;
    for (int i = 0; i < row->GetCount(); ++i)
        if (row->GetItemAt(i)->GetInterface("Button")) names.push_back(row->GetItemAt(i)->GetName());
    return names;
}

}  // namespace

TEST_F(MsgBoxTest, CloseCodesByButton) {
    struct Row {
        int type;
        std::vector<std::string> buttons;
        const char* click;
        int code;
    } rows[] = {
        {0, {"MSG_ACTION_BTN_OK"}, "MSG_ACTION_BTN_OK", 1},
        {0, {"MSG_ACTION_BTN_OK"}, "MSG_ACTION_BTN_Close", 1},  // title-bar close is the same as OK
        {1, {"MSG_ACTION_BTN_OK", "MSG_ACTION_BTN_Cancel"}, "MSG_ACTION_BTN_Cancel", 2},
        {3, {"MSG_ACTION_BTN_Yes", "MSG_ACTION_BTN_No", "MSG_ACTION_BTN_Cancel"}, "MSG_ACTION_BTN_Yes", 6},
        {3, {"MSG_ACTION_BTN_Yes", "MSG_ACTION_BTN_No", "MSG_ACTION_BTN_Cancel"}, "MSG_ACTION_BTN_No", 7},
        {4, {"MSG_ACTION_BTN_Yes", "MSG_ACTION_BTN_No"}, "MSG_ACTION_BTN_No", 7},
    };
    for (auto& r : rows) {
        CZqMessageBox box;
        box.SetBoxType(r.type);
        std::vector<std::string> seen;
        std::string focused;
        CZqMessageBox* pb = &box;
        const char* click = r.click;
        RunLater(10, [&, pb, click] {
            seen = RowButtons(*pb);
            CControlUI* f = pb->m_PaintManager.GetFocus();
            focused = f ? std::string(f->GetName()) : "";
            EXPECT_TRUE(UITest::Click(pb, click)) << click;
        });
        EXPECT_EQ(ShowZqMessageBox(&box, nullptr, "text", "title"), r.code) << click;
        EXPECT_EQ(seen, r.buttons);
        EXPECT_EQ(focused, r.buttons.front());
    }
}

TEST_F(MsgBoxTest, LayoutTextsAndHiddenRow) {
    CZqMessageBox box;
    box.SetBoxType(9);
    bool rowHidden = false;
    std::string title, text;
    UINT style = 0;
    RECT rc{};
    RunLater(10, [&] {
        rowHidden = !box.m_PaintManager.FindControl("buttonrow")->IsVisible();
        title = box.m_PaintManager.FindControl("MessageBox_Title")->GetText();
        auto* msg = static_cast<CLabelUI*>(box.m_PaintManager.FindControl("MessageBox_TXT_Msg"));
        text = msg->GetText();
        style = msg->GetTextStyle();
        rc = box.GetWindowRect();
        box.Close(2);
    });
    EXPECT_EQ(box.DoModal("hello", "\xCC\xE1\xCA\xBE", nullptr, "", ""), 2);
    EXPECT_TRUE(rowHidden);
    EXPECT_EQ(title, "\xCC\xE1\xCA\xBE");
    EXPECT_EQ(text, "hello");
    EXPECT_EQ(style, 17u);
    EXPECT_EQ(rc.right - rc.left, 282);
    EXPECT_EQ(rc.bottom - rc.top, 110);
}

TEST_F(MsgBoxTest, DismissedBoxReturnsMinusTwoAndBoxIsReusable) {
    CZqMessageBox box;
    RunLater(10, [&] { ::PostMessage(box.GetHWND(), WM_DISMISS_POPUP, 0, 0); });
    EXPECT_EQ(ShowZqMessageBox(&box, nullptr, "a", "b"), -2);
    EXPECT_TRUE(box.IsDismissed());
    // Shown again: a new window, the dismissed flag cleared.
    RunLater(10, [&] { UITest::PressKey(&box, VK_RETURN); });  // Enter on the focused OK button
    EXPECT_EQ(ShowZqMessageBox(&box, nullptr, "a", "b"), 1);
    EXPECT_FALSE(box.IsDismissed());
    // Escape leaves the box open.
    RunLater(10, [&] {
        UITest::PressKey(&box, VK_ESCAPE);
        EXPECT_TRUE(::IsWindow(box.GetHWND()));
        box.Close(2);
    });
    EXPECT_EQ(ShowZqMessageBox(&box, nullptr, "a", "b"), 2);
}

TEST_F(MsgBoxTest, AnyClickReachesTheHandler) {
    CZqMessageBox box;
    RunLater(10, [&] { box.m_PaintManager.SendNotify(box.m_PaintManager.FindControl("MessageBox_TXT_Msg"), "click"); });
    EXPECT_EQ(ShowZqMessageBox(&box, nullptr, "a", "b"), 1);
}

TEST_F(MsgBoxTest, LinkButtonAndContentControl) {
    CZqMessageBox box;
    box.SetShowLink(true);  // DoModal hides the link again
    auto* content = new CLabelUI;
    content->SetName("extra");
    box.SetContentControl(content);
    bool linkVisible = true, contentInside = false;
    RunLater(10, [&] {
        linkVisible = box.m_PaintManager.FindControl("MessageBox_BTN_Link")->IsVisible();
        contentInside = box.m_PaintManager.FindControl("extra") == content;
        box.Close(1);
    });
    EXPECT_EQ(box.DoModal("t", "x", nullptr, "link", "http://127.0.0.1/"), 1);
    EXPECT_FALSE(linkVisible);
    EXPECT_TRUE(contentInside);
    EXPECT_EQ(box.GetLinkTarget(), "http://127.0.0.1/");
    // Shown twice, the content moves into the new window.
    RunLater(10, [&] {
        contentInside = box.m_PaintManager.FindControl("extra") == content;
        box.Close(1);
    });
    EXPECT_EQ(box.DoModal("t", "x", nullptr, "", ""), 1);
    EXPECT_TRUE(contentInside);
}

namespace {

// The title as each tick of the countdown's timer finds it, before the box handles the tick.
class CountdownBox : public CZqMessageBox {
public:
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        if (uMsg == WM_TIMER && wParam == 1) {
            CControlUI* t = m_PaintManager.FindControl("MessageBox_Title");
            titles.push_back(t ? std::string(t->GetText()) : "");
        }
        return CZqMessageBox::HandleMessage(uMsg, wParam, lParam);
    }
    std::vector<std::string> titles;
};

}  // namespace

TEST_F(MsgBoxTest, CountdownShowsSecondsThenClosesWithZero) {
    CountdownBox box;
    box.SetCountDown(2);
    EXPECT_EQ(box.DoModal("t", "T", nullptr, "", ""), 0);
    // The first tick finds the full count, the second one second left; that one closes the box.
    EXPECT_EQ(box.titles, (std::vector<std::string>{"T ( 2 \xC3\xEB)", "T ( 1 \xC3\xEB)"}));
}
