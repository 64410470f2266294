// The chat input, the emoticon panel and a gift effect as real windows on the test display; screenshots
// under the build folder. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <tuple>

#include "ChatColumnPopups.h"
#include "FlashWnd.h"
#include "GlobalData.h"
#include "GtkLogWatch.h"
#include "RichEditCtrlEx.h"
#include "RoomUiFakes.h"
#include "RoomUiTestSupport.h"
#include "UiTestSupport.h"
#include "UIBackendGtk.h"
#include "RoomInfoMgr.h"
#include "RoomWindow.h"
#include "UIChatFaceSelectPanel.h"
#include "UIGiftPopups.h"
#include "ZqMessageBox.h"
#include "TestUtil.h"

using namespace DuiLib;

namespace {

class RoomUiXvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testsupport::UseTestDisplay({"xdotool"}); !why.empty()) GTEST_SKIP() << why;
        roomuitest::SetUpOnce();
        ASSERT_TRUE(UIBackendGtkInit()) << "cannot open display " << getenv("DISPLAY");
        CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        std::filesystem::create_directories(ShotDir());
    }
    void TearDown() override { SetWindowBackendFactory(nullptr); }
    static std::string ShotDir() { return VARNET_BINARY_DIR "/screenshots"; }
};

void Settle(unsigned ms = 300) {
    gdk_display_sync(gdk_display_get_default());
    PumpMessagesFor(ms);
    gdk_display_sync(gdk_display_get_default());
}

void Shot(const RECT& rc, const std::string& file) {
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rc.left, rc.top, rc.right - rc.left,
                                               rc.bottom - rc.top);
    ASSERT_NE(pb, nullptr);
    EXPECT_TRUE(gdk_pixbuf_save(pb, file.c_str(), "png", nullptr, nullptr));
    g_object_unref(pb);
}

class InputWnd : public CWindowWnd {
public:
    const char* GetWindowClassName() const override { return "InputWnd"; }
    CPaintManagerUI pm;
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        if (uMsg == WM_CREATE) {
            auto* root = new CControlUI;
            root->SetBkColor(0xFFE8EEF6);
            pm.AttachDialog(root);
        }
        LRESULT l = 0;
        if (uMsg != WM_CREATE && m_hWnd && pm.MessageHandler(uMsg, wParam, lParam, l)) return l;
        return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
    }

protected:
    CPaintManagerUI* GetPaintManager() override { return &pm; }
};

TEST_F(RoomUiXvfbTest, ChatInputOnTheDesktopKeepsPositionsAfterLineBreaks) {
    InputWnd wnd;
    ASSERT_TRUE(wnd.Create(nullptr, "input", UI_WS_POPUP, 0, 100, 100, 360, 120));
    wnd.ShowWindow(true, true);
    roomtest::NullModalHost host;
    roomui::CRichEditCtrlEx input;
    ASSERT_TRUE(input.Create(wnd.GetHWND(), 10, 10, 340, 100, &host, 1));
    ASSERT_TRUE(input.Edit().IsNative());
    richedit::CharFormat cf;
    cf.heightTwips = 280;
    cf.color = 0x0000C0;
    input.SetCharFormat(cf);
    input.Edit().InsertText(u"甲\r\n乙");
    ASSERT_TRUE(input.InsertImage(VARNET_SOURCE_DIR "/res/face/2.gif", 2));
    input.Edit().InsertText(u"丙\n");
    ASSERT_TRUE(input.InsertImage(VARNET_SOURCE_DIR "/res/face/8.gif", 8));
    std::string out;
    input.GetContentText(out);
    EXPECT_EQ(out, std::string("甲\n乙[:2]丙\n[:8]"));
    Settle();

    // Typed text lands after the last emoticon; Enter goes to the filter.
    int enters = 0;
    input.Edit().OnKey = [&](const richedit::KeyEvent& k) { return k.vk == VK_RETURN && ++enters; };
    input.Edit().SetFocus();
    RECT rc = wnd.GetWindowRect();
    std::string click = "mousemove " + std::to_string(rc.left + 300) + " " + std::to_string(rc.top + 90) + " click 1";
    EXPECT_EQ(system(("xdotool " + click + " >/dev/null 2>&1").c_str()), 0);
    Settle(100);
    input.Edit().SetSel(-1, -1);
    Settle(100);
    EXPECT_EQ(system("xdotool type --delay 20 ab >/dev/null 2>&1"), 0);
    EXPECT_EQ(system("xdotool key Return >/dev/null 2>&1"), 0);
    ASSERT_TRUE(PumpUntil([&] { return enters > 0; }, 5000));
    input.GetContentText(out);
    EXPECT_EQ(out, std::string("甲\n乙[:2]丙\n[:8]ab"));
    Settle(200);
    Shot(rc, ShotDir() + "/chat_input.png");
    wnd.SendMessage(WM_CLOSE);
}

TEST_F(RoomUiXvfbTest, EmoticonPanelAndAnEffectPlaying) {
    auto& halvec = roomuitest::SetUpOnce();
    roomuitest::FaceHalvec::Group g;
    g.info.idx = 0, g.info.name = "表情", g.info.path = "res/face/", g.info.boxtype = true;
    roomuitest::FaceHalvec::Group s;
    s.info.idx = 1, s.info.name = "小表情", s.info.path = "res/face/";
    for (int id : {2, 8, 10, 14, 16, 18, 21, 22, 23, 24}) {
        CatalogItem c;
        c.id = (uint32_t)id;
        c.name = "face";
        c.fname = std::to_string(id) + ".gif";
        g.faces.push_back(c);
        s.faces.push_back(c);
    }
    halvec.groups = {g, s};
    roomui::CUIChatFaceSelectPanel panel;
    panel.SetBasePath(VARNET_SOURCE_DIR "/");
    ASSERT_TRUE(panel.EnsureCreated());
    ASSERT_TRUE(PumpUntil([&] { return panel.Pages() && panel.Pages()->GetCount() == 2; }, 5000));
    // A click on the first cell (the smallest id) through the pointer ends the picker with its id.
    duitest::RunLater(600, [&] {
        Settle(200);
        Shot(panel.GetWindowRect(), ShotDir() + "/emoticon_panel.png");
        auto* page = static_cast<CContainerUI*>(panel.Pages()->GetItemAt(0));
        RECT cell = page->GetItemAt(0)->GetPos(), at = panel.GetWindowRect();
        std::string click = "mousemove " + std::to_string(at.left + (cell.left + cell.right) / 2) + " " +
                            std::to_string(at.top + (cell.top + cell.bottom) / 2) + " click 1";
        EXPECT_EQ(system(("xdotool " + click + " >/dev/null 2>&1").c_str()), 0);
    });
    unsigned giveUp = duitest::RunLater(20000, [&] { panel.SendMessage(WM_DISMISS_POPUP); });
    EXPECT_EQ(panel.SelectFace(200, 200), 2);
    g_source_remove(giveUp);
    panel.StopLoadThread();
    panel.SendMessage(WM_CLOSE);

    // The effect of gift 10001 with its animated picture from the catalogue.
    GiftItem gift;
    gift.id = 10001;
    gift.name = "蛋糕";
    gift.fname = VARNET_SOURCE_DIR "/res/gift/10001.png";
    gift.swffname = VARNET_SOURCE_DIR "/res/gift/10001_effect.gif";
    halvec.gifts[10001] = gift;
    std::string movie = roomuitest::WriteFile(roomuitest::TestDir() + "/effect.swf", "movie");
    roomui::CFlashWnd effects;
    effects.SetMoviePath(movie);
    ASSERT_TRUE(effects.Create());
    effects.CenterTopMost();
    effects.HideAndStop();
    ASSERT_TRUE(effects.Play(new roomui::GiftEffect{10001, "Cake", 3}));
    EXPECT_TRUE(effects.IsBusy());
    EXPECT_TRUE(effects.IsShown());
    Settle(500);
    Shot(effects.GetRect(), ShotDir() + "/gift_effect.png");
    // The gift's name shows, in the effect's colour; a label of another window keeps the theme's.
    auto* player = dynamic_cast<flash::CEffectPlayer*>(effects.Movie());
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->CurrentCaption(), "蛋糕");
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(player->CaptionWidget())), GbkToUtf8("蛋糕 x3"));
    GtkWidget* other = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* plain = gtk_label_new("plain");
    gtk_container_add(GTK_CONTAINER(other), plain);
    gtk_widget_show_all(other);
    auto colour = [](GtkWidget* w) {
        GdkRGBA c;
        gtk_style_context_get_color(gtk_widget_get_style_context(w), GTK_STATE_FLAG_NORMAL, &c);
        return std::make_tuple(int(c.red * 255 + 0.5), int(c.green * 255 + 0.5), int(c.blue * 255 + 0.5));
    };
    EXPECT_EQ(colour(player->CaptionWidget()), std::make_tuple(0xFF, 0xE0, 0x00));
    EXPECT_NE(colour(plain), std::make_tuple(0xFF, 0xE0, 0x00));
    gtk_widget_destroy(other);
    effects.Destroy();
}

}  // namespace

// The room window on the desktop: users in the lists, lines in the chat panes, a global gift on the banner.
TEST_F(RoomUiXvfbTest, RoomWindowWithUsersChatAndBanner) {
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    const uint32_t room = 8123;
    store.RemoveRoom(room);
    store.InsertRoom(room, ChatServerInfo{});
    for (uint32_t uid : {1001u, 3001u, 3002u}) {
        RoomUserInfo u;
        u.uid = uid;
        u.beautyid = uid == 3001 ? 88888 : 0;
        u.nickname = uid == 3002 ? "管理员" : "用户" + std::to_string(uid);
        u.role = uid == 3002 ? 40 : 0;
        u.level = 500;
        store.AddRoomUser(room, u);
    }
    roomui::CRoomUI ui;
    ui.SetRoomID(room);
    ASSERT_TRUE(ui.CreateRoomWindow("room(8123)"));
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_USER_LIST, room);
    auto line = [&](int flags, const char* html) {
        ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_CHAT_LINE,
                      reinterpret_cast<LPARAM>(new RoomChatLine{flags, html}));
    };
    line(CHAT_VIEW_PUBLIC, "用户3001 说：大家好<BR>");
    line(CHAT_VIEW_OWN, "[提示] 欢迎来到房间 <BR>");
    auto* gift = new GlobalGiftItem;
    gift->senderName = "用户3001";
    gift->senderId = 88888;
    gift->receiverName = "管理员";
    gift->receiverId = 3002;
    gift->count = 3;
    gift->tips = "朵";
    gift->giftName = "玫瑰";
    gift->timeText = "(12.09 11:55)";
    gift->priority = 42;
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_GLOBAL_GIFT, reinterpret_cast<LPARAM>(gift));
    auto* members = dynamic_cast<roomui::CUserListUI*>(ui.m_PaintManager.FindControl("UserMemberList"));
    ASSERT_NE(members, nullptr);
    EXPECT_EQ(members->GetCount(), 3);
    // The public pane shows the line once its page has loaded.
    auto shown = [&] { return ui.PublicPane().NodeCount() >= 2; };
    for (int i = 0; i < 200 && !shown(); ++i) Settle(50);
    EXPECT_TRUE(shown());
    Settle(1500);  // the banner scrolls in
    EXPECT_GT(ui.Center().Banner().Offset(), 0);
    Shot(ui.GetWindowRect(), ShotDir() + "/room_window.png");
    ui.CloseRoomWindow();
    EXPECT_EQ(ui.GetHWND(), nullptr);
    // The next room of this window object starts with an idle, empty banner.
    EXPECT_TRUE(ui.Center().IsGiftBannerIdle());
    EXPECT_EQ(ui.Center().GetGiftBannerPriority(), 0u);
    EXPECT_EQ(ui.Center().Banner().StripWidth(), 0);
    ui.SetRoomID(room);
    ASSERT_TRUE(ui.CreateRoomWindow("room(8123)"));
    Settle(300);
    EXPECT_TRUE(ui.Center().IsGiftBannerIdle());
    EXPECT_EQ(ui.Center().Banner().Offset(), 0);
    ui.CloseRoomWindow();
}

TEST_F(RoomUiXvfbTest, ChatLinesReachTheWebPaneOnTheDesktop) {
    const uint32_t room = 8124;
    CRoomInfoMgr::GetInstance().RemoveRoom(room);
    CRoomInfoMgr::GetInstance().InsertRoom(room, ChatServerInfo{});
    roomui::CRoomUI ui;
    ui.SetRoomID(room);
    ASSERT_TRUE(ui.CreateRoomWindow("room(8124)"));
    roomui::CWebChatView* pane = ui.PublicWebPane();
    ASSERT_NE(pane, nullptr);
    for (int i = 0; i < 400 && !pane->IsReady(); ++i) Settle(50);
    ASSERT_TRUE(pane->IsReady());
    int before = pane->NodeCount();
    ui.Center().AppendMsgHtml("<div>用户 说：你好</div>", roomui::kPublicView);
    EXPECT_EQ(pane->NodeCount(), before + 1);
    EXPECT_EQ(ui.PublicView().NodeCount(), 0);  // the headless pane is not used on the desktop
    Settle(500);
    Shot(ui.GetWindowRect(), ShotDir() + "/room_chat.png");
    // Batches come at least the flush gap apart: a line soon after a batch waits for the gap, then goes in.
    auto send = [&](const char* text) {
        auto* line = new RoomChatLine;
        line->flags = CHAT_VIEW_PUBLIC;
        line->html = std::string("<div>") + text + "</div>";
        ui.OnRoomNotify(ROOM_NOTIFY_CHAT_LINE, reinterpret_cast<LPARAM>(line));
    };
    before = pane->NodeCount();
    send("one");
    for (int i = 0; i < 200 && pane->NodeCount() == before; ++i) Settle(1);
    ASSERT_EQ(pane->NodeCount(), before + 1);
    const DWORD flushed = ::GetTickCount();
    send("two");
    Settle(1);
    if (::GetTickCount() - flushed < roomui::CRoomUI::kLineFlushGapMs / 2)  // the machine did not stall meanwhile
        EXPECT_EQ(pane->NodeCount(), before + 1) << "a line soon after a batch did not wait";
    for (int i = 0; i < 200 && pane->NodeCount() == before + 1; ++i) Settle(10);
    EXPECT_EQ(pane->NodeCount(), before + 2) << "the waiting line never went in";
    ui.CloseRoomWindow();
    EXPECT_EQ(ui.GetHWND(), nullptr);
}

// The trumpet pane on the desktop: trumpet lines reach it, its hover buttons come up over it and clear it.
TEST_F(RoomUiXvfbTest, TrumpetPaneAndItsButtonsOnTheDesktop) {
    const uint32_t room = 8125;
    CRoomInfoMgr::GetInstance().RemoveRoom(room);
    CRoomInfoMgr::GetInstance().InsertRoom(room, ChatServerInfo{});
    roomui::CRoomUI ui;
    ui.SetRoomID(room);
    ASSERT_TRUE(ui.CreateRoomWindow("room(8125)"));
    roomui::CWebChatView* trumpet = ui.TrumpetWebPane();
    ASSERT_NE(trumpet, nullptr);
    for (int i = 0; i < 400 && !trumpet->IsReady(); ++i) Settle(50);
    ASSERT_TRUE(trumpet->IsReady());
    auto* line = new RoomChatLine;
    line->flags = CHAT_VIEW_TRUMPET;
    line->html = "<div>[广播] 大家好</div>";
    ui.OnRoomNotify(ROOM_NOTIFY_CHAT_LINE, reinterpret_cast<LPARAM>(line));
    EXPECT_EQ(trumpet->NodeCount(), 0);  // with the next turn's batch
    for (int i = 0; i < 200 && trumpet->NodeCount() == 0; ++i) Settle(20);
    EXPECT_EQ(trumpet->NodeCount(), 1);
    // The tip bar moves the pane down: its buttons follow at once.
    auto paneTop = [&] {
        return ui.GetWindowRect().top + ui.m_PaintManager.FindControl("WebBrowserTrumpet")->GetPos().top;
    };
    int before = paneTop();
    EXPECT_EQ(ui.Tips().HoverRect(0).top, before);
    ui.Tips().ShowGiftFailTip("余额不足");
    Settle(300);
    EXPECT_GT(paneTop(), before);
    EXPECT_EQ(ui.Tips().HoverRect(0).top, paneTop());
    ui.Tips().OnWebMouseEnter(0);
    EXPECT_TRUE(ui.Tips().HoverVisible(0));
    EXPECT_TRUE(ui.Tips().HoverVisible(1));
    Settle(500);
    Shot(ui.GetWindowRect(), ShotDir() + "/room_trumpet_buttons.png");
    ui.Tips().OnHoverBtnClick(0);
    EXPECT_EQ(trumpet->NodeCount(), 0);
    ui.CloseRoomWindow();
    EXPECT_EQ(ui.GetHWND(), nullptr);
}

// Code 8 failing: the message box over the room window, on its modal stack; the modal cancel dismisses it
// (WM_DISMISS_POPUP reaches the box) and the window goes on.
TEST_F(RoomUiXvfbTest, RoomSettingsFailureShowsTheBox) {
    const uint32_t room = 8126;
    CRoomInfoMgr::GetInstance().RemoveRoom(room);
    CRoomInfoMgr::GetInstance().InsertRoom(room, ChatServerInfo{});
    roomui::CRoomUI ui;
    ui.SetRoomID(room);
    ASSERT_TRUE(ui.CreateRoomWindow("room(8126)"));
    std::string text, title;
    int shown = 0;
    std::function<void()> look = [&] {
        HWND top = ui.TopModalWnd();
        auto* box = top ? dynamic_cast<CZqMessageBox*>(CWindowWnd::FromHandle(top)) : nullptr;
        if (!box || !box->IsWindowVisible()) {
            duitest::RunLater(50, look);
            return;
        }
        ++shown;
        if (CControlUI* t = box->m_PaintManager.FindControl("MessageBox_TXT_Msg")) text = t->GetText().c_str();
        if (CControlUI* t = box->m_PaintManager.FindControl("MessageBox_Title")) title = t->GetText().c_str();
        Shot(box->GetWindowRect(), ShotDir() + "/room_settings_box.png");
        ui.ContinueModalCancel();  // as the room closing does: the top window is dismissed
    };
    duitest::RunLater(50, look);
    ui.OnRoomNotify(ROOM_NOTIFY_ROOM_SETTINGS, 0);  // returns once the box is gone
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(text, "获取房间信息失败, 无法启动房间管理对话框!");
    EXPECT_EQ(title, "提示");
    EXPECT_EQ(ui.GetModalWndCount(), 0);
    EXPECT_NE(ui.GetHWND(), nullptr);
    EXPECT_EQ(ui.OwnPane().NodeCount(), 0);  // no chat tip instead
    ui.CloseRoomWindow();
}

namespace {
void Xdo(const std::string& args) {
    EXPECT_EQ(system(("xdotool " + args + " >/dev/null 2>&1").c_str()), 0) << args;
}
std::string At(int x, int y) {
    return "mousemove " + std::to_string(x) + " " + std::to_string(y);
}

// The named cursor the window's drawing area shows (GDK keeps one cursor object per name and display).
bool ShowsCursor(CWindowWnd& wnd, const char* name) {
    GtkWidget* top = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next)
        if (g_object_get_data(G_OBJECT(l->data), "varnet-hwnd") == (gpointer)wnd.GetHWND()) top = GTK_WIDGET(l->data);
    g_list_free(all);
    GtkWidget* layout = top ? gtk_bin_get_child(GTK_BIN(top)) : nullptr;
    GList* kids = layout ? gtk_container_get_children(GTK_CONTAINER(layout)) : nullptr;
    GtkWidget* area = kids ? GTK_WIDGET(kids->data) : nullptr;
    g_list_free(kids);
    GdkWindow* gw = area ? gtk_widget_get_window(area) : nullptr;
    if (!gw) return false;
    GdkCursor* want = gdk_cursor_new_from_name(gdk_window_get_display(gw), name);
    bool same = want && gdk_window_get_cursor(gw) == want;
    if (want) g_object_unref(want);
    return same;
}
}  // namespace

// The hover buttons of the public and own views through the pointer: onto a view shows its clear and
// auto-scroll buttons, onto a button keeps them, a click on auto-scroll turns it off and swaps the button,
// away from both hides them; the clear button empties the view.
TEST_F(RoomUiXvfbTest, ChatViewHoverButtonsFollowThePointer) {
    const uint32_t room = 8127;
    CRoomInfoMgr::GetInstance().RemoveRoom(room);
    CRoomInfoMgr::GetInstance().InsertRoom(room, ChatServerInfo{});
    roomui::CRoomUI ui;
    ui.SetRoomID(room);
    ASSERT_TRUE(ui.CreateRoomWindow("room(8127)"));
    roomui::CWebChatView* pub = ui.PublicWebPane();
    ASSERT_NE(pub, nullptr);
    for (int i = 0; i < 400 && !(pub->IsReady() && ui.OwnPane().IsReady()); ++i) Settle(50);
    ASSERT_TRUE(pub->IsReady());
    ui.Center().AppendMsgHtml("<div>用户 说：你好</div>", roomui::kPublicView);
    RECT frame = ui.GetWindowRect();
    struct Row {
        const char* view;
        int base;
        roomui::IChatView* pane;
    } rows[] = {{"webbrowserMsgView", 0, pub}, {"webbroserMsgViewSelf", 3, &ui.OwnPane()}};
    Xdo(At(frame.left + 5, frame.top + 5));
    Settle(200);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.view);
        CControlUI* view = ui.m_PaintManager.FindControl(r.view);
        ASSERT_NE(view, nullptr);
        RECT rc = view->GetPos();
        int right = frame.left + rc.right, top = frame.top + rc.top;
        auto& c = ui.Center();
        EXPECT_FALSE(c.HoverVisible(r.base));
        Xdo(At(frame.left + (rc.left + rc.right) / 2, frame.top + (rc.top + rc.bottom) / 2));
        ASSERT_TRUE(PumpUntil([&] { return c.HoverVisible(r.base) && c.HoverVisible(r.base + 1); }, 10000));
        EXPECT_FALSE(c.HoverVisible(r.base + 2));
        // Onto the auto-scroll button (right of the clear one, left of the scroll bar) and a click.
        const int w = roomui::CHoverBtnWnd::kWidth, h = roomui::CHoverBtnWnd::kHeight;
        Xdo(At(right - 17 - w / 2, top + h / 2));
        Settle(300);
        EXPECT_TRUE(c.HoverVisible(r.base + 1));
        EXPECT_TRUE(ShowsCursor(*c.HoverButton(r.base + 1), "pointer"));
        Xdo("click 1");
        ASSERT_TRUE(PumpUntil([&] { return !r.pane->IsAutoScroll(); }, 10000));
        EXPECT_TRUE(c.HoverVisible(r.base + 2));
        EXPECT_FALSE(c.HoverVisible(r.base + 1));
        Settle(300);  // the other button is on the screen now
        if (r.base == 0) Shot(frame, ShotDir() + "/room_chat_hover_buttons.png");
        // The same place again turns it back on.
        Xdo("click 1");
        ASSERT_TRUE(PumpUntil([&] { return r.pane->IsAutoScroll(); }, 10000));
        // The clear button.
        Xdo(At(right - 17 - w - w / 2, top + h / 2) + " click 1");
        ASSERT_TRUE(PumpUntil([&] { return r.pane->NodeCount() == 0; }, 10000));
        // Away from the view and its buttons: hidden.
        Xdo(At(frame.left + 5, frame.top + 5));
        ASSERT_TRUE(PumpUntil([&] { return !c.HoverVisible(r.base) && !c.HoverVisible(r.base + 1); }, 10000));
    }
    ui.CloseRoomWindow();
}

// The room window moved by the window system (xdotool, as a window manager moves it): the window gets WM_MOVE
// and the hover buttons of its three chat views stand at the views' new top right; a shown one is drawn there.
TEST_F(RoomUiXvfbTest, HoverButtonsFollowTheRoomWindowMovedByTheWindowSystem) {
    const uint32_t room = 8129;
    CRoomInfoMgr::GetInstance().RemoveRoom(room);
    CRoomInfoMgr::GetInstance().InsertRoom(room, ChatServerInfo{});
    roomui::CRoomUI ui;
    ui.SetRoomID(room);
    ASSERT_TRUE(ui.CreateRoomWindow("moved-room(8129)"));
    for (roomui::IChatView* pane : {&ui.PublicPane(), &ui.OwnPane(), &ui.TrumpetPane()})
        ASSERT_TRUE(PumpUntil([&] { return pane->IsReady(); }, 20000));
    Settle(300);  // after the window's own maximise
    ui.SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    Settle(300);
    struct Moves : IMessageFilterUI {
        std::vector<POINT> to;
        LRESULT MessageHandler(UINT msg, WPARAM, LPARAM l, bool&) override {
            if (msg == WM_MOVE) to.push_back({short(LOWORD(l)), short(HIWORD(l))});
            return 0;
        }
    } moves;
    ui.m_PaintManager.AddMessageFilter(&moves);
    const RECT before = ui.GetWindowRect();
    const int x = before.left + 70, y = before.top + 45;
    Xdo("search --name 'moved-room' windowmove " + std::to_string(x) + " " + std::to_string(y));
    ASSERT_TRUE(PumpUntil([&] { return !moves.to.empty() && moves.to.back().x == x && moves.to.back().y == y; }, 10000))
        << "no WM_MOVE to " << x << "," << y;
    ui.m_PaintManager.RemoveMessageFilter(&moves);
    EXPECT_EQ(ui.GetWindowRect().left, x);
    const int w = roomui::CHoverBtnWnd::kWidth, bar = 17;
    struct Row {
        const char* view;
        std::function<RECT()> button;
        int fromRight;  // the button's left edge, from the view's right edge
    } rows[] = {
        {"webbrowserMsgView", [&] { return ui.Center().HoverButton(0)->GetWindowRect(); }, 2 * w + bar},
        {"webbrowserMsgView", [&] { return ui.Center().HoverButton(1)->GetWindowRect(); }, w + bar},
        {"webbroserMsgViewSelf", [&] { return ui.Center().HoverButton(3)->GetWindowRect(); }, 2 * w + bar},
        {"webbroserMsgViewSelf", [&] { return ui.Center().HoverButton(5)->GetWindowRect(); }, w + bar},
        {"WebBrowserTrumpet", [&] { return ui.Tips().HoverRect(0); }, 2 * w + bar},
        {"WebBrowserTrumpet", [&] { return ui.Tips().HoverRect(1); }, w + bar},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.view);
        const RECT view = ui.m_PaintManager.FindControl(r.view)->GetPos();
        const RECT b = r.button();
        EXPECT_EQ(b.left, x + view.right - r.fromRight);
        EXPECT_EQ(b.top, y + view.top);
    }
    // The pointer over the public view shows its buttons at that place on the screen.
    const RECT view = ui.m_PaintManager.FindControl("webbrowserMsgView")->GetPos();
    Xdo(At(x + (view.left + view.right) / 2, y + (view.top + view.bottom) / 2));
    ASSERT_TRUE(PumpUntil([&] { return ui.Center().HoverVisible(0); }, 10000));
    Settle(300);
    HWND clear = ui.Center().HoverButton(0)->GetHWND();
    int gx = -1, gy = -1;
    GList* tops = gtk_window_list_toplevels();
    for (GList* t = tops; t; t = t->next)
        if (g_object_get_data(G_OBJECT(t->data), "varnet-hwnd") == clear && gtk_widget_get_window(GTK_WIDGET(t->data)))
            gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(t->data)), &gx, &gy);
    g_list_free(tops);
    EXPECT_EQ(gx, x + view.right - 2 * w - bar);
    EXPECT_EQ(gy, y + view.top);
    ui.CloseRoomWindow();
}

// The user lists' search field, opened with the find button, stands out at once: a bordered field (in the
// focus colour while it takes the typing); once the focus leaves it empty, it shows the hint.
TEST_F(RoomUiXvfbTest, SearchFieldIsDrawnWithItsBorderAndHint) {
    const uint32_t room = 8130;
    CRoomInfoMgr::GetInstance().RemoveRoom(room);
    CRoomInfoMgr::GetInstance().InsertRoom(room, ChatServerInfo{});
    roomui::CRoomUI ui;
    ui.SetRoomID(room);
    ASSERT_TRUE(ui.CreateRoomWindow("search-room(8130)"));
    Settle(300);
    ui.SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    Settle(300);
    const RECT frame = ui.GetWindowRect();
    auto clickAt = [&](const char* name, int dy) {
        RECT b = ui.m_PaintManager.FindControl(name)->GetPos();
        Xdo(At(frame.left + (b.left + b.right) / 2, frame.top + (b.top + b.bottom) / 2 + dy) + " click 1");
    };
    clickAt("UserListFindBTN", 0);
    auto* edit = static_cast<CEditUI*>(ui.m_PaintManager.FindControl("UserMemberFindEdit"));
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return edit->IsVisible() && edit->IsFocused(); }, 10000));
    struct Row {
        const char* state;
        std::function<void()> action;
        unsigned border;
        int minInk;  // pixels of letters inside the border
    } rows[] = {
        {"opened", [] {}, 0x2F7FE8, 0},
        {"left empty", [&] { clickAt("UserMemberList", 0); }, 0xC4CEDB, 40},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.state);
        r.action();
        Settle(500);
        const RECT e = edit->GetPos();
        Shot(RECT{frame.left + e.left - 20, frame.top + e.top - 40, frame.left + e.right + 20,
                  frame.top + e.bottom + 40},
             ShotDir() + "/room_search_field_" + (r.minInk ? "left" : "opened") + ".png");
        GdkPixbuf* pb = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), frame.left + e.left,
                                                   frame.top + e.top, e.right - e.left, e.bottom - e.top);
        ASSERT_NE(pb, nullptr);
        const int w = gdk_pixbuf_get_width(pb), h = gdk_pixbuf_get_height(pb), stride = gdk_pixbuf_get_rowstride(pb),
                  n = gdk_pixbuf_get_n_channels(pb);
        const guchar* px = gdk_pixbuf_get_pixels(pb);
        auto rgb = [&](int x, int y) {
            const guchar* p = px + y * stride + x * n;
            return (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | p[2];
        };
        EXPECT_EQ(rgb(w / 2, 0), r.border);
        EXPECT_EQ(rgb(w / 2, h - 1), r.border);
        EXPECT_EQ(rgb(0, h / 2), r.border);
        EXPECT_EQ(rgb(w - 1, h / 2), r.border);
        int ink = 0;
        for (int y = 2; y < h - 2; ++y)
            for (int x = 2; x < w - 2; ++x) ink += rgb(x, y) != rgb(2, 2) ? 1 : 0;
        g_object_unref(pb);
        EXPECT_GE(ink, r.minInk);
    }
    EXPECT_STREQ(edit->GetText().c_str(), "请输入用户ID或者靓号");
    ui.CloseRoomWindow();
}

namespace {
// The screen's pixels in rc.
std::string Pixels(const RECT& rc) {
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rc.left, rc.top, rc.right - rc.left,
                                               rc.bottom - rc.top);
    if (!pb) return "";
    std::string out(reinterpret_cast<const char*>(gdk_pixbuf_read_pixels(pb)), gdk_pixbuf_get_byte_length(pb));
    g_object_unref(pb);
    return out;
}

struct Presses : IMessageFilterUI {
    std::vector<POINT> at;
    LRESULT MessageHandler(UINT msg, WPARAM, LPARAM l, bool&) override {
        if (msg == WM_LBUTTONDOWN) at.push_back({short(LOWORD(l)), short(HIWORD(l))});
        return 0;
    }
};
}  // namespace

// The lucky-gift tip over the banner: the room window resized and moved by the window system keeps it over
// the banner's place, and presses on it reach the room window beneath (the tip takes none).
TEST_F(RoomUiXvfbTest, LuckyGiftTipFollowsTheRoomWindowAndLetsPressesThrough) {
    auto& halvec = roomuitest::SetUpOnce();
    LevelItem level;
    level.id = 500;
    level.fname = VARNET_SOURCE_DIR "/res/level/1000.gif";
    halvec.levels[500] = level;
    GiftItem gift;
    gift.id = 10001;
    gift.name = "幸运星";
    gift.fname = VARNET_SOURCE_DIR "/res/gift/10001.png";
    halvec.gifts[10001] = gift;
    const uint32_t room = 8128;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    store.RemoveRoom(room);
    store.InsertRoom(room, ChatServerInfo{});
    RoomUserInfo winner;
    winner.uid = 3001;
    winner.nickname = "幸运儿";
    winner.beautyid = 88888;
    winner.level = 500;
    store.AddRoomUser(room, winner);
    roomui::CRoomUI ui;
    ui.SetRoomID(room);
    ASSERT_TRUE(ui.CreateRoomWindow("lucky-room(8128)"));
    Settle(300);  // after the window's own maximise, which a window manager would keep
    ui.SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    Settle(300);
    // One notice shown and a full queue of the same behind it: the tip looks the same however slowly the test
    // runs (8 s each), so its pixels can be compared across the move.
    for (size_t i = 0; i <= CUILuckyGiftTip::kMaxQueued; ++i) {
        auto* n = new RoomLuckyGift;
        n->uid = 3001;
        n->giftId = 10001;
        n->multiple = 50;
        n->income = 5000;
        ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_LUCKY_GIFT, reinterpret_cast<LPARAM>(n));
    }
    auto* tip = ui.LuckyTip();
    ASSERT_NE(tip, nullptr);
    ASSERT_TRUE(tip->IsWindowVisible());
    CControlUI* area = ui.m_PaintManager.FindControl("GlobalGiftInform");
    ASSERT_NE(area, nullptr);
    auto overTheBanner = [&] {
        RECT a = area->GetPos(), t = tip->GetWindowRect();
        return t.left == a.left && t.top == a.top && t.right == a.right && t.bottom - t.top == 50;
    };
    auto onScreen = [&] {
        RECT w = ui.GetWindowRect(), t = tip->GetWindowRect();
        return RECT{w.left + t.left, w.top + t.top, w.left + t.right, w.top + t.bottom};
    };
    EXPECT_TRUE(overTheBanner());

    // Resized: the banner's place changes with the window and the tip follows.
    RECT before = ui.GetWindowRect();
    const RECT areaBefore = area->GetPos();
    const int width = before.right - before.left + 100;
    Xdo("search --name 'lucky-room' windowsize " + std::to_string(width) + " " +
        std::to_string(before.bottom - before.top + 60));
    ASSERT_TRUE(PumpUntil([&] { return ui.GetWindowRect().right - ui.GetWindowRect().left == width; }, 10000));
    Settle(300);
    EXPECT_NE(area->GetPos().right - area->GetPos().left, areaBefore.right - areaBefore.left);
    EXPECT_TRUE(overTheBanner());
    Settle(200);
    const std::string shown = Pixels(onScreen());
    ASSERT_FALSE(shown.empty());
    Shot(ui.GetWindowRect(), ShotDir() + "/room_lucky_tip.png");

    // Moved: the tip is drawn at the banner's new place on the screen.
    before = ui.GetWindowRect();
    Xdo("search --name 'lucky-room' windowmove " + std::to_string(before.left + 60) + " " +
        std::to_string(before.top + 40));
    ASSERT_TRUE(PumpUntil([&] { return ui.GetWindowRect().left != before.left; }, 10000));
    Settle(500);
    EXPECT_TRUE(overTheBanner());
    EXPECT_EQ(Pixels(onScreen()), shown);

    // A press on the tip goes to the room window at that place.
    Presses onRoom, onTip;
    ui.m_PaintManager.AddMessageFilter(&onRoom);
    tip->m_PaintManager.AddMessageFilter(&onTip);
    RECT t = onScreen();
    Xdo(At((t.left + t.right) / 2, t.top + 25) + " click 1");
    EXPECT_TRUE(PumpUntil([&] { return !onRoom.at.empty(); }, 10000));
    PumpMessagesFor(100);
    ui.m_PaintManager.RemoveMessageFilter(&onRoom);
    tip->m_PaintManager.RemoveMessageFilter(&onTip);
    EXPECT_TRUE(onTip.at.empty());
    ASSERT_EQ(onRoom.at.size(), 1u);
    RECT a = area->GetPos();
    EXPECT_NEAR(onRoom.at[0].x, (a.left + a.right) / 2, 2);
    EXPECT_NEAR(onRoom.at[0].y, a.top + 25, 2);
    ui.CloseRoomWindow();
}

// The notice and trumpet editors used, then the room closed under them: no GTK warning or critical.
TEST_F(RoomUiXvfbTest, ClosingTheRoomAfterTheEditorsLogsNoGtkCritical) {
    testsupport::GtkLogWatch watch;
    const uint32_t room = 8129;
    CRoomInfoMgr::GetInstance().RemoveRoom(room);
    CRoomInfoMgr::GetInstance().InsertRoom(room, ChatServerInfo{});
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 300, a.stealth = 0; });
    auto ui = std::make_unique<roomui::CRoomUI>();
    ui->SetRoomID(room);
    ASSERT_TRUE(ui->CreateRoomWindow("room(8129)"));
    auto& popups = ui->Center().Popups();
    ui->Center().OnTrumpet();
    ASSERT_TRUE(popups.trumpet.IsWindowVisible());
    ASSERT_TRUE(popups.notice.ShowPopup(ui->GetHWND(), popups.notice.kWidth, popups.notice.kHeight));
    for (auto* editor : {static_cast<roompopups::CChatEditorPopup*>(&popups.trumpet),
                         static_cast<roompopups::CChatEditorPopup*>(&popups.notice)}) {
        ASSERT_TRUE(editor->Input().Edit().IsNative());
        editor->Input().Edit().InsertTextGbk("今晚八点");
        editor->Input().Edit().SetFocus();
        Settle(100);
        (void)editor->Input().Edit().Content();
        editor->Finish(2);
    }
    Settle(200);
    ui->CloseRoomWindow();
    Settle(200);
    ui.reset();
    Settle(100);
    EXPECT_EQ(watch.Messages(), std::vector<std::string>{});
}

struct EnterKeys : IMessageFilterUI {
    int count = 0;
    LRESULT MessageHandler(UINT msg, WPARAM w, LPARAM, bool&) override {
        if (msg == WM_KEYDOWN && w == VK_RETURN) ++count;
        return 0;
    }
};

// GTK's own input method composing (its Unicode entry: Ctrl+Shift+U and hex digits, shown in the input until
// Enter ends it): that Enter commits the character and sends nothing; the next Enter sends. The room's chat
// input, the trumpet popup's and a one-line field (the member search).
TEST_F(RoomUiXvfbTest, EnterThatEndsACompositionCommitsItAndSendsNothing) {
    setenv("GTK_IM_MODULE", "gtk-im-context-simple", 1);
    const uint32_t room = 8130;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    store.RemoveRoom(room);
    store.InsertRoom(room, ChatServerInfo{});
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.uid = 1001, a.level = 300, a.stealth = 0; });
    RoomUserInfo me;
    me.uid = 1001;
    store.AddRoomUser(room, me);
    struct Logic : roomtest::NullRoomLogic {
        std::vector<std::string> sent;
        bool SendChatMsg(uint32_t, const std::string& text, bool) override {
            sent.push_back(text);
            return true;
        }
    } logic;
    roomui::CRoomUI ui;
    ui.SetRoomID(room);
    ui.SetRoomLogic(&logic);
    ASSERT_TRUE(ui.CreateRoomWindow("room(8130)"));
    Settle();
    auto& trumpet = ui.Center().Popups().trumpet;
    EnterKeys enters;
    ui.m_PaintManager.AddMessageFilter(&enters);
    CControlUI* search = ui.m_PaintManager.FindControl("UserMemberFindEdit");
    ASSERT_NE(search, nullptr);
    auto rich = [](roomui::CRichEditCtrlEx& input) {
        return [&input] {
            std::string t;
            input.GetContentText(t);
            return t;
        };
    };
    const RECT frameOfRoom = ui.GetWindowRect();
    auto click = [&](const RECT& frame, const RECT& rc) {
        Xdo(At(frame.left + (rc.left + rc.right) / 2, frame.top + (rc.top + rc.bottom) / 2) + " click 1");
        Settle(200);
    };
    struct Row {
        const char* what;
        CWindowWnd* wnd;
        std::function<RECT()> open;  // by the mouse; the input's place in the window
        std::function<std::string()> text;
        std::function<bool()> sent;
    } rows[] = {
        {"chat input", &ui, [&] { return ui.Input().Edit().GetRect(); }, rich(ui.Input()),
         [&] { return !logic.sent.empty(); }},
        {"trumpet", &trumpet,
         [&] {
             click(frameOfRoom, ui.m_PaintManager.FindControl("btnChatTrumpet")->GetPos());
             EXPECT_TRUE(PumpUntil([&] { return trumpet.IsWindowVisible(); }, 5000));
             Settle();
             return trumpet.Input().Edit().GetRect();
         },
         rich(trumpet.Input()), [&] { return trumpet.LastCloseCode() == 1; }},
        {"search field", &ui,
         [&] {
             click(frameOfRoom, ui.m_PaintManager.FindControl("UserListFindBTN")->GetPos());
             EXPECT_TRUE(search->IsVisible());
             return search->GetPos();
         },
         [&] { return std::string(search->GetText().c_str()); }, [&] { return enters.count > 0; }},
    };
    for (Row& r : rows) {
        SCOPED_TRACE(r.what);
        const RECT rc = r.open();
        const RECT frame = r.wnd->GetWindowRect();
        click(frame, rc);
        Xdo("key --delay 80 ctrl+shift+u 4 e 2 d");
        Settle(300);
        Shot(frame, ShotDir() + "/input_composing_" + std::to_string(&r - rows) + ".png");
        enters.count = 0;
        Xdo("key Return");
        EXPECT_TRUE(PumpUntil([&] { return r.text().find("中") != std::string::npos; }, 5000)) << r.text();
        Settle(300);
        EXPECT_FALSE(r.sent());
        Xdo("key Return");
        EXPECT_TRUE(PumpUntil(r.sent, 5000));
    }
    ui.m_PaintManager.RemoveMessageFilter(&enters);
    ASSERT_EQ(logic.sent.size(), 1u);
    EXPECT_NE(logic.sent[0].find("中"), std::string::npos) << logic.sent[0];
    ui.CloseRoomWindow();
}
