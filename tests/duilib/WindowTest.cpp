// Windows built from a skin archive: modal results, control timers, default keys, popup menus.
#include <gtest/gtest.h>

#include <filesystem>

#include "UiTestSupport.h"

using namespace DuiLib;
using duitest::RunLater;

namespace {

const char kSkin[] = R"(<Window size="200,120" caption="0,0,0,20">
  <VerticalLayout name="root">
    <HorizontalLayout height="20"><Label name="title" text="t"/></HorizontalLayout>
    <Edit name="edit" height="24"/>
    <HorizontalLayout height="30"><Button name="ok" text="OK"/><Button name="cancel" text="Cancel"/></HorizontalLayout>
    <Text name="note" text="x"/>
  </VerticalLayout></Window>)";

class SkinFixture : public ::testing::Test {
protected:
    void SetUp() override {
        dir = duitest::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir + "/skin");
        ASSERT_TRUE(duitest::WriteZip(dir + "/skin/T.zip", {{"TestSkin.xml", kSkin}}));
        CPaintManagerUI::SetInstancePath(dir.c_str());
        Win32Init();
    }
    void TearDown() override { CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin"); }
    std::string dir;
};

class TestWnd : public WindowImplBase {
public:
    explicit TestWnd(const char* skin = "TestSkin.xml") : m_skin(skin) {}
    const char* GetWindowClassName() const override { return "TestWnd"; }
    void OnBtn(TNotifyUI& msg) {
        if (msg.pSender->GetName() == "ok") Close(1);
        else if (msg.pSender->GetName() == "cancel") Close(2);
    }
    void OnTimer(TNotifyUI& msg) { timers.push_back((int)msg.wParam); }
    void OnAny(TNotifyUI& msg) { kinds.push_back(msg.sType + ":" + msg.pSender->GetName()); }
    void InitWindow() override { ++inits; }
    std::vector<int> timers;
    std::vector<std::string> kinds;
    int inits = 0;

protected:
    DUI_DECLARE_MESSAGE_MAP()
    CDuiString GetSkinFolder() override { return "Skin\\"; }
    CDuiString GetSkinFile() override { return m_skin; }
    UILIB_RESOURCETYPE GetResourceType() const override { return UILIB_ZIP; }
    CDuiString GetZIPFileName() const override { return "t.zip"; }
    CDuiString m_skin;
};
DUI_BEGIN_MESSAGE_MAP(TestWnd, WindowImplBase)
DUI_ON_MSGTYPE("click", TestWnd::OnBtn)
DUI_ON_MSGTYPE("timer", TestWnd::OnTimer)
DUI_ON_MSGTYPE("setfocus", TestWnd::OnAny)
DUI_ON_MSGTYPE("killfocus", TestWnd::OnAny)
DUI_ON_MSGTYPE("textchanged", TestWnd::OnAny)
DUI_END_MESSAGE_MAP()

}  // namespace

TEST_F(SkinFixture, ModalResultOfEveryClosePath) {
    struct Row {
        const char* what;
        std::function<void(TestWnd&)> act;
        int code;
    } rows[] = {
        {"ok button", [](TestWnd& w) { UITest::Click(&w, "ok"); }, 1},
        {"cancel button", [](TestWnd& w) { UITest::Click(&w, "cancel"); }, 2},
        {"Close(9)", [](TestWnd& w) { w.Close(9); }, 9},
        {"WM_CLOSE 5", [](TestWnd& w) { w.PostMessage(WM_CLOSE, 5, 0); }, 5},
        {"system close", [](TestWnd& w) { w.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0); }, 2},
        {"Escape is consumed, then Close(3)",
         [](TestWnd& w) {
             UITest::PressKey(&w, VK_ESCAPE);
             EXPECT_TRUE(::IsWindow(w.GetHWND()));
             w.Close(3);
         },
         3},
        {"destroyed from outside", [](TestWnd& w) { ::DestroyWindow(w.GetHWND()); }, 0},
    };
    for (auto& r : rows) {
        TestWnd w;
        ASSERT_NE(w.Create(nullptr, "t", 0x80000000, 0, 0, 0, 0, 0), nullptr);
        EXPECT_EQ(w.inits, 1);
        EXPECT_EQ(w.GetClientRect().right, 200);  // size from the skin
        TestWnd* pw = &w;
        auto act = r.act;
        RunLater(10, [pw, act] { act(*pw); });
        EXPECT_EQ((int)w.ShowModal(), r.code) << r.what;
        EXPECT_EQ(w.GetHWND(), nullptr);
    }
}

TEST_F(SkinFixture, ModalDisablesOwnerAndLoopsNest) {
    TestWnd owner;
    ASSERT_NE(owner.Create(nullptr, "owner", 0, 0, 0, 0, 300, 300), nullptr);
    owner.ShowWindow();
    TestWnd outer, inner;
    outer.Create(owner.GetHWND(), "outer", 0, 0, 0, 0, 0, 0);
    inner.Create(outer.GetHWND(), "inner", 0, 0, 0, 0, 0, 0);
    int innerCode = -1;
    bool ownerDisabled = false, outerDisabled = false;
    RunLater(10, [&] {
        ownerDisabled = !owner.GetBackend()->IsEnabled();
        RunLater(10, [&] {
            outerDisabled = !outer.GetBackend()->IsEnabled();
            inner.Close(4);
        });
        innerCode = (int)inner.ShowModal();
        outer.Close(8);
    });
    EXPECT_EQ((int)outer.ShowModal(), 8);
    EXPECT_EQ(innerCode, 4);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(outerDisabled);
    EXPECT_TRUE(owner.GetBackend()->IsEnabled());
    ::DestroyWindow(owner.GetHWND());
}

// A loop ended by a quit leaves its window open; that window destroyed later ends no loop that runs then (the
// program's quit by a signal destroys the login dialog after its loop returned). The second loop is run from the
// same place, so it lies where the first one lay.
TEST_F(SkinFixture, AWindowLeftOpenByAQuitEndsNoLaterLoop) {
    TestWnd first, second;
    ASSERT_NE(first.Create(nullptr, "first", 0x80000000, 0, 0, 0, 0, 0), nullptr);
    ASSERT_NE(second.Create(nullptr, "second", 0x80000000, 0, 0, 0, 0, 0), nullptr);
    RunLater(10, [] { ::PostQuitMessage(0); });
    EXPECT_EQ((int)first.ShowModal(), ::CModalLoop::kQuit);
    EXPECT_EQ(::RunMessageLoop(), 0);  // the quit passed on to the loop outside
    HWND h = first.GetHWND();
    ASSERT_TRUE(::IsWindow(h));
    RunLater(10, [&] {
        ::DestroyWindow(h);
        RunLater(10, [&] { second.Close(7); });
    });
    EXPECT_EQ((int)second.ShowModal(), 7);
}

// Menus and lists stay inside the work area (1280 x 1024 here): under their field, else above it (or the
// other way round), else on the larger side scrolling, else shifted; a list is at least as wide as its field.
TEST_F(SkinFixture, MenuPlacesInsideTheWorkArea) {
    TestWnd owner;
    ASSERT_NE(owner.Create(nullptr, "owner", 0, 0, 0, 0, 300, 300), nullptr);
    const int row = CZqMenuUI::kItemHeight, w = CZqMenuUI::kWidth;
    struct Row {
        const char* what;
        int items;
        RECT field;  // a point: an empty one
        bool list, aboveFirst;
        RECT want;
    } rows[] = {
        {"a point: fits", 3, {50, 60, 50, 60}, false, false, {50, 60, 50 + w, 64 + 3 * row}},
        {"bottom right corner: up and left", 3, {1270, 1000, 1270, 1000}, false, false, {1130, 912, 1270, 1000}},
        {"under its field", 3, {400, 500, 424, 526}, false, false, {400, 526, 400 + w, 530 + 3 * row}},
        {"field near the bottom: above it", 3, {400, 980, 424, 1006}, false, false, {400, 892, 400 + w, 980}},
        {"above first", 2, {10, 700, 100, 730}, false, true, {10, 640, 10 + w, 700}},
        {"above first, no room above: under", 2, {10, 30, 100, 60}, false, true, {10, 60, 10 + w, 120}},
        {"right edge: ends at the field's right", 3, {1200, 100, 1260, 120}, false, false, {1120, 120, 1260, 208}},
        {"icon in a bottom panel, off the work area",
         2,
         {1200, 1030, 1224, 1054},
         false,
         false,
         {1084, 964, 1224, 1024}},
        {"tall list under its field, scrolling", 35, {100, 276, 300, 300}, true, false, {100, 300, 300, 1024}},
        {"tall list near the bottom, above its field", 35, {100, 876, 300, 900}, true, false, {100, 0, 300, 876}},
        {"no room either side: the larger side", 60, {100, 476, 300, 500}, true, false, {100, 500, 300, 1024}},
        {"list above its field", 10, {100, 976, 300, 1000}, true, false, {100, 976 - 4 - 10 * row, 300, 976}},
    };
    for (const Row& r : rows) {
        std::vector<ZqMenuItem> items;
        for (int i = 0; i < r.items; ++i) items.emplace_back(CDuiString::Format("item %d", i).c_str(), i);
        CZqMenuUI menu;
        menu.SetMenuItem(items);
        if (r.list) menu.SetMinWidth(r.field.right - r.field.left);
        ASSERT_NE(menu.CreateMenuFor(r.field, owner.GetHWND(), r.aboveFirst), nullptr) << r.what;
        RECT rc = menu.GetWindowRect();
        EXPECT_EQ((std::vector<int>{rc.left, rc.top, rc.right, rc.bottom}),
                  (std::vector<int>{r.want.left, r.want.top, r.want.right, r.want.bottom}))
            << r.what;
        ::DestroyWindow(menu.GetHWND());
    }
    // A long item widens the menu.
    CZqMenuUI wide;
    wide.SetMenuItem({ZqMenuItem(CDuiString(std::string(60, 'W').c_str()), 1)});
    ASSERT_NE(wide.CreateMenu({10, 10}, owner.GetHWND()), nullptr);
    RECT rc = wide.GetWindowRect();
    EXPECT_GT(rc.right - rc.left, CZqMenuUI::kWidth);
    ::DestroyWindow(wide.GetHWND());
    ::DestroyWindow(owner.GetHWND());
}

TEST_F(SkinFixture, MissingSkinGivesAWindowWithoutControls) {
    TestWnd w("NoSuchSkin.xml");
    ASSERT_NE(w.Create(nullptr, "t", 0, 0, 0, 0, 100, 80), nullptr);
    EXPECT_EQ(w.m_PaintManager.GetRoot(), nullptr);
    EXPECT_EQ(w.m_PaintManager.FindControl("ok"), nullptr);
    EXPECT_FALSE(UITest::Click(&w, "ok"));
    UITest::ClickAt(&w, {10, 10});
    UITest::PressKey(&w, VK_RETURN);
    RunLater(5, [&] { w.Close(6); });
    EXPECT_EQ((int)w.ShowModal(), 6);
}

TEST_F(SkinFixture, ControlTimersNotifyUntilKilled) {
    TestWnd w;
    ASSERT_NE(w.Create(nullptr, "t", 0, 0, 0, 0, 0, 0), nullptr);
    CControlUI* note = w.m_PaintManager.FindControl("note");
    CControlUI* ok = w.m_PaintManager.FindControl("ok");
    ASSERT_TRUE(w.m_PaintManager.SetTimer(note, 7, 10));
    ASSERT_TRUE(w.m_PaintManager.SetTimer(ok, 8, 10));
    ASSERT_TRUE(PumpUntil([&] { return w.timers.size() >= 6; }, 3000));
    EXPECT_NE(std::find(w.timers.begin(), w.timers.end(), 7), w.timers.end());
    EXPECT_NE(std::find(w.timers.begin(), w.timers.end(), 8), w.timers.end());
    EXPECT_TRUE(w.m_PaintManager.KillTimer(note, 7));
    EXPECT_FALSE(w.m_PaintManager.KillTimer(note, 7));
    // A control removed from the tree loses its timers.
    auto* row = static_cast<CContainerUI*>(ok->GetParent());
    row->Remove(ok);
    EXPECT_FALSE(w.m_PaintManager.HasTimer(ok, 8));
    PumpMessagesFor(30);
    w.timers.clear();
    PumpMessagesFor(60);
    EXPECT_TRUE(w.timers.empty());
    ::DestroyWindow(w.GetHWND());
}

TEST_F(SkinFixture, FocusTypingAndTextNotifications) {
    TestWnd w;
    ASSERT_NE(w.Create(nullptr, "t", 0, 0, 0, 0, 0, 0), nullptr);
    ASSERT_TRUE(UITest::Click(&w, "edit"));
    UITest::TypeText(&w, "ab");
    EXPECT_EQ(w.m_PaintManager.FindControl("edit")->GetText(), "ab");
    UITest::Click(&w, "note");
    EXPECT_EQ(w.kinds, (std::vector<std::string>{"setfocus:edit", "textchanged:edit", "textchanged:edit",
                                                 "killfocus:edit", "setfocus:note"}));
    ::DestroyWindow(w.GetHWND());
}

TEST_F(SkinFixture, MenuResults) {
    TestWnd owner;
    ASSERT_NE(owner.Create(nullptr, "owner", 0, 0, 0, 0, 300, 300), nullptr);
    struct Row {
        const char* what;
        std::function<void(CZqMenuUI&)> act;
        int result;
    } rows[] = {
        {"second item", [](CZqMenuUI& m) { UITest::Click(&m, "menuitem_2"); }, 42},
        {"disabled item does nothing, then Escape",
         [](CZqMenuUI& m) {
             UITest::Click(&m, "menuitem_3");
             UITest::PressKey(&m, VK_ESCAPE);
         },
         -1},
        {"focus lost", [](CZqMenuUI& m) { m.SendMessage(WM_KILLFOCUS, 0, 0); }, -1},
        {"dismissed", [](CZqMenuUI& m) { ::PostMessage(m.GetHWND(), WM_DISMISS_POPUP, 0, 0); }, -2},
        // Keys start at the checked item and pass over separators and disabled items.
        {"Enter on the checked item", [](CZqMenuUI& m) { UITest::PressKey(&m, VK_RETURN); }, 42},
        {"Down wraps to the first",
         [](CZqMenuUI& m) {
             UITest::PressKey(&m, VK_DOWN);
             UITest::PressKey(&m, VK_RETURN);
         },
         41},
        {"Up skips the separator",
         [](CZqMenuUI& m) {
             UITest::PressKey(&m, VK_UP);
             UITest::PressKey(&m, VK_UP);
             UITest::PressKey(&m, VK_RETURN);
         },
         42},
        // The submenu (item 4) runs inside the click that opens it: what it does is scheduled first.
        {"submenu item",
         [](CZqMenuUI& m) {
             RunLater(5, [&m] {
                 EXPECT_EQ(m.GetSubMenu()->GetWindowRect().left, m.GetWindowRect().right - 2);  // beside it
                 UITest::Click(m.GetSubMenu(), "menuitem_1");
             });
             UITest::Click(&m, "menuitem_4");
         },
         52},
        {"Escape in the submenu returns to the menu",
         [](CZqMenuUI& m) {
             RunLater(5, [&m] { UITest::PressKey(m.GetSubMenu(), VK_ESCAPE); });
             UITest::Click(&m, "menuitem_4");
             EXPECT_EQ(m.GetSubMenu(), nullptr);
             UITest::Click(&m, "menuitem_0");
         },
         41},
        {"a click outside the submenu closes both",
         [](CZqMenuUI& m) {
             RunLater(5, [&m] {
                 EXPECT_TRUE(m.IsWindowVisible());                 // the menu stays while its submenu takes the focus
                 m.GetSubMenu()->SendMessage(WM_KILLFOCUS, 0, 0);  // the focus alone: it stays
                 m.GetSubMenu()->SendMessage(WM_KILLFOCUS, kClickOutside, 0);
             });
             UITest::Click(&m, "menuitem_4");
         },
         -1},
        {"dismissed while the submenu runs",
         [](CZqMenuUI& m) {
             RunLater(5, [&m] { ::PostMessage(m.GetHWND(), WM_DISMISS_POPUP, 0, 0); });
             UITest::Click(&m, "menuitem_4");
         },
         -2},
    };
    for (auto& r : rows) {
        CZqMenuUI menu;
        ZqMenuItem more("more", -1);
        more.vSubItems = {ZqMenuItem("five-one", 51), ZqMenuItem("five-two", 52)};
        menu.SetMenuItem({ZqMenuItem("one", 41), ZqMenuItem(), ZqMenuItem("two", 42, true),
                          ZqMenuItem("off", 43, false, true), more});
        HWND h = menu.CreateMenu({50, 60}, owner.GetHWND());
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(menu.GetHWND(), h);
        RECT rc = menu.GetWindowRect();
        EXPECT_EQ(rc.left, 50);
        EXPECT_EQ(rc.bottom - rc.top, 4 + 4 * CZqMenuUI::kItemHeight + CZqMenuUI::kSeparatorHeight);
        auto act = r.act;
        CZqMenuUI* pm = &menu;
        RunLater(5, [pm, act] { act(*pm); });
        EXPECT_EQ(menu.PopupMenuNoCreate(), r.result) << r.what;
    }
    ::DestroyWindow(owner.GetHWND());
}

// Destroying a window ends the loops of the windows it owns, each dismissed: a menu, its submenu, a modal
// window; the objects stay until the loops are back.
TEST_F(SkinFixture, DestroyingTheOwnerDismissesItsLoops) {
    struct Row {
        const char* what;
        bool submenu;
    } rows[] = {{"menu", false}, {"submenu", true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TestWnd owner;
        ASSERT_NE(owner.Create(nullptr, "owner", 0, 0, 0, 0, 300, 300), nullptr);
        CZqMenuUI menu;
        ZqMenuItem more("more", -1);
        more.vSubItems = {ZqMenuItem("five-one", 51)};
        menu.SetMenuItem({ZqMenuItem("one", 41), more});
        ASSERT_NE(menu.CreateMenu({50, 60}, owner.GetHWND()), nullptr);
        HWND o = owner.GetHWND();
        RunLater(5, [&] {
            if (r.submenu) RunLater(5, [o] { ::DestroyWindow(o); });
            if (r.submenu) UITest::Click(&menu, "menuitem_1");
            else ::DestroyWindow(o);
        });
        EXPECT_EQ(menu.PopupMenuNoCreate(), CZqMenuUI::kDismissed);
        EXPECT_FALSE(::IsWindow(menu.GetHWND()));
    }
    TestWnd owner, dialog;
    ASSERT_NE(owner.Create(nullptr, "owner", 0, 0, 0, 0, 300, 300), nullptr);
    ASSERT_NE(dialog.Create(owner.GetHWND(), "dialog", 0, 0, 0, 0, 100, 100), nullptr);
    HWND o = owner.GetHWND();
    RunLater(5, [o] { ::DestroyWindow(o); });
    EXPECT_EQ(dialog.ShowModal(), CWindowWnd::kModalDismissed);
}
