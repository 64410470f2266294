// The chat pane on the real engine: its local page, lines reaching the page, trimming, and hostile lines
// that run nothing and load nothing. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdlib>
#include <functional>

#include "ChatView.h"
#include "RoomUiFakes.h"
#include "DealMainCenter.h"
#include "HttpTestServer.h"
#include "UIBackendGtk.h"
#include "Win32Window.h"
#include "ZqLib.h"
#include "GlibPump.h"
#include "TestUtil.h"

namespace {

using testsupport::Pump;

struct Recorder : roomui::IWebCallBack {
    std::vector<std::string> calls;
    void SelectUser(const std::string& uid, std::string&) override { calls.push_back("SelectUser:" + uid); }
    void SelectRUser(const std::string& uid, std::string&) override { calls.push_back("SelectRUser:" + uid); }
    void WelcomeUser(const std::string& uid, bool, std::string&) override { calls.push_back("WelcomeUser:" + uid); }
    void ThanksSendGift(int, int, int, bool, std::string&) override { calls.push_back("ThanksSendGift"); }
    void GetMicInfo() override { calls.push_back("GetMicInfo"); }
    void CallFuncEx(const std::string& cmd, std::string&) override { calls.push_back("CallFuncEx:" + cmd); }
};

class ChatViewXvfb : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testsupport::UseTestDisplay(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        const std::string tmpl = testsupport::MakeTempDir("varnet-chatview");
        ASSERT_FALSE(tmpl.empty());
        folder = tmpl;
        webview::SetWebDataFolder(folder + "/web");
        server.Get(".*", [](const httplib::Request&, httplib::Response& res) { res.set_content("x", "text/plain"); });
        ASSERT_TRUE(server.Start());
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
        view = webview::CreateWebView(webview::Engine::WebKit);
        pane = std::make_unique<roomui::CWebChatView>(view);
        pane->SetCallBack(&rec);
        gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view->GetWidget()));
        gtk_widget_show_all(window);
        std::string url = roomui::WriteChatPage(folder + "/res");
        ASSERT_FALSE(url.empty());
        pane->Navigate(url);
        ASSERT_TRUE(Pump([&] { return pane->IsReady(); }, 20000));
    }
    void TearDown() override {
        pane.reset();
        if (window) {
            Pump([] { return false; }, 50);
            gtk_widget_destroy(window);
        }
    }
    // The engine's widget inside the view; null when there is none.
    GtkWidget* Web() {
        GList* kids = gtk_container_get_children(GTK_CONTAINER(view->GetWidget()));
        GtkWidget* web = kids ? GTK_WIDGET(kids->data) : nullptr;
        g_list_free(kids);
        return web;
    }
    static GdkDevice* Mouse() { return gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())); }
    // A right-button press at the top left of the page.
    static void RightPress(GtkWidget* web) {
        GdkEvent* ev = gdk_event_new(GDK_BUTTON_PRESS);
        ev->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(web)));
        ev->button.x = ev->button.y = 20;
        ev->button.button = 3;
        ev->button.time = GDK_CURRENT_TIME;
        gdk_event_set_device(ev, Mouse());
        gtk_widget_event(web, ev);
        gdk_event_free(ev);
    }
    // A click at the top left of the page.
    void Click() {
        GtkWidget* web = Web();
        ASSERT_NE(nullptr, web);
        GdkWindow* w = gtk_widget_get_window(web);
        GdkDevice* mouse = Mouse();
        for (GdkEventType t : {GDK_MOTION_NOTIFY, GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
            GdkEvent* ev = gdk_event_new(t);
            if (t == GDK_MOTION_NOTIFY) {
                ev->motion.window = GDK_WINDOW(g_object_ref(w));
                ev->motion.x = ev->motion.y = 20;
                ev->motion.time = GDK_CURRENT_TIME;
            } else {
                ev->button.window = GDK_WINDOW(g_object_ref(w));
                ev->button.x = ev->button.y = 20;
                ev->button.button = 1;
                ev->button.time = GDK_CURRENT_TIME;
            }
            gdk_event_set_device(ev, mouse);
            gtk_widget_event(web, ev);
            gdk_event_free(ev);
        }
    }
    // Does `act` every 250 ms until `done` holds (one per pump round floods the engine's event queue on a slow
    // machine and no click comes through); false when it does not within 20 s.
    static bool RepeatUntil(const std::function<void()>& act, const std::function<bool()>& done) {
        auto next = std::chrono::steady_clock::now();
        return Pump(
            [&] {
                if (done()) return true;
                if (std::chrono::steady_clock::now() >= next) {
                    act();
                    next = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
                }
                return false;
            },
            20000);
    }
    bool ClickUntil(const std::function<bool()>& done) {
        return RepeatUntil([&] { Click(); }, done);
    }
    // What a script run in the page returns (as text); "" when it fails.
    std::string Eval(const std::string& js) {
        struct Answer {
            bool done = false;
            std::string text;
        } a;
        webkit_web_view_evaluate_javascript(
            WEBKIT_WEB_VIEW(Web()), js.c_str(), -1, nullptr, nullptr, nullptr,
            [](GObject* v, GAsyncResult* r, gpointer p) {
                auto* a = static_cast<Answer*>(p);
                if (JSCValue* val = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(v), r, nullptr)) {
                    char* t = jsc_value_to_string(val);
                    a->text = t ? t : "";
                    g_free(t);
                    g_object_unref(val);
                }
                a->done = true;
            },
            &a);
        Pump([&] { return a.done; }, 20000);
        return a.text;
    }
    static std::string Target(const std::string& uid) {
        return "<div style=\"position:fixed;left:0;top:0;width:100%;height:100%\" "
               "onclick=\"window.external.SelectUser('" +
               uid + "')\">line</div>";
    }

    std::string folder;
    testenv::HttpTestServer server;
    Recorder rec;
    webview::IWebView* view = nullptr;
    std::unique_ptr<roomui::CWebChatView> pane;
    GtkWidget* window = nullptr;
};

TEST_F(ChatViewXvfb, AllowedHandlersReachTheColumnAndTrimmedLinesAreGone) {
    pane->AppendHtml(Target("321"));
    EXPECT_EQ(1, pane->NodeCount());
    ASSERT_TRUE(ClickUntil([&] { return !rec.calls.empty(); }));
    EXPECT_EQ("SelectUser:321", rec.calls[0]);
    size_t before = rec.calls.size();
    pane->RemoveOldNodes(0);
    EXPECT_EQ(0, pane->NodeCount());
    pane->AppendHtml(Target("322"));
    ASSERT_TRUE(ClickUntil([&] { return rec.calls.size() > before; }));
    // The removed line took its handler with it.
    for (size_t i = before; i < rec.calls.size(); ++i) EXPECT_EQ("SelectUser:322", rec.calls[i]);
}

// Wrapped rows stay inside the visible width: nothing of a long line lies right of the view.
TEST_F(ChatViewXvfb, LongLinesWrapInsideTheView) {
    const std::string lines[] = {
        std::string(400, 'x'),
        "http://example.invalid/" + std::string(300, 'a'),
        [] {
            std::string s;
            for (int i = 0; i < 120; ++i) s += "\xC4\xE3\xBA\xC3 ";  // GBK words with blanks
            return s;
        }(),
        "<font class=\"font_14\">" + std::string(200, 'w') + "</font>",
    };
    for (const auto& l : lines) pane->AppendHtml("<div class=\"chatpanel\">" + l + "</div>");
    const std::string widest =
        "(function(){var b=document.body,r=document.createRange();r.selectNodeContents(b);"
        "var m=Math.max(b.scrollWidth,Math.ceil(r.getBoundingClientRect().right),"
        "Math.ceil(b.getBoundingClientRect().right));"
        "return m+' '+document.documentElement.clientWidth+' '+b.childElementCount;})()";
    std::string got;
    ASSERT_TRUE(Pump(
        [&] {
            got = Eval(widest);
            return got.size() > 2 && got.substr(got.size() - 2) == " 4";
        },
        20000))
        << got;
    int content = 0, view = 0;
    ASSERT_EQ(2, sscanf(got.c_str(), "%d %d", &content, &view)) << got;
    EXPECT_GT(view, 300) << got;
    EXPECT_LE(content, view) << "the page is wider than the pane: " << got;
}

// One batch on the engine: the lines before the trim are gone from the page, their handlers with them.
TEST_F(ChatViewXvfb, ABatchTrimsInPlace) {
    // The trimmed lines would lie above the last one.
    std::string above = Target("1");
    above.replace(above.find("height:100%"), 11, "height:100%;z-index:10");
    std::vector<std::string> lines(5, above);
    lines.push_back(Target("2"));
    pane->AppendBatch(lines, 4, 0, true);
    EXPECT_EQ(1, pane->NodeCount());
    ASSERT_TRUE(ClickUntil([&] { return !rec.calls.empty(); }));
    for (const auto& c : rec.calls) EXPECT_EQ("SelectUser:2", c);
}

TEST_F(ChatViewXvfb, HostileLinesRunNothingAndLoadNothing) {
    std::string b = server.BaseUrl();
    const std::string lines[] = {
        "<script>window.external.SelectUser('1')</script>",
        "<script src=\"" + b + "/script.js\"></script>",
        "<img src=\"" + b + "/img.png\">",
        "<img src=\"missing.png\" onerror=\"window.external.SelectUser('2')\">",
        "<svg onload=\"window.external.SelectUser('3')\"></svg>",
        "<iframe src=\"" + b + "/frame\"></iframe>",
        "<iframe srcdoc=\"<script>window.external.SelectUser('4')</script>\"></iframe>",
        "<link rel=\"stylesheet\" href=\"" + b + "/style.css\">",
        "<div style=\"background:url(" + b + "/bg.png)\">bg</div>",
        "<object data=\"" + b + "/object\"></object>",
        "<video src=\"" + b + "/video\" autoplay></video>",
        "<meta http-equiv=\"refresh\" content=\"0;url=" + b + "/refresh\">",
        "<img src=\"x\" onerror=\"location='" + b + "/nav'\">",
    };
    for (const auto& l : lines) pane->AppendHtml(l);
    EXPECT_EQ(static_cast<int>(sizeof(lines) / sizeof(lines[0])), pane->NodeCount());
    // A line of the program's own after them: once it answers, every line before it has been inserted.
    pane->AppendHtml(Target("99"));
    ASSERT_TRUE(ClickUntil([&] { return !rec.calls.empty(); }));
    // Loads the lines may have started would show within this bound.
    Pump([&] { return !server.Requests().empty() || rec.calls.size() > 1; }, 1500);
    for (const auto& c : rec.calls) EXPECT_EQ("SelectUser:99", c);
    for (const auto& r : server.Requests()) ADD_FAILURE() << "outside load: " << r.path;
    EXPECT_TRUE(pane->IsReady());
}

}  // namespace

// The engine's own menu and reload keys never reach a chat pane: a right click asks the pane's menu (which
// here empties the page), F5 and Ctrl+R are swallowed.
TEST_F(ChatViewXvfb, OwnContextMenuAndReloadKeysSwallowed) {
    pane->AppendHtml(Target("7"));
    std::vector<DuiLib::ZqMenuItem> shown;
    pane->RunMenu = [&](const std::vector<DuiLib::ZqMenuItem>& items, DuiLib::POINT) {
        shown = items;
        return 2;
    };
    GtkWidget* web = Web();
    ASSERT_NE(nullptr, web);
    ASSERT_TRUE(RepeatUntil([&] { RightPress(web); }, [&] { return !shown.empty(); }));
    ASSERT_EQ(3u, shown.size());
    EXPECT_TRUE(shown[0].bDisabled);  // nothing selected: no copy
    EXPECT_EQ(0, pane->NodeCount());
    for (guint key : {guint(GDK_KEY_F5), guint('r')}) {
        GdkEvent* ev = gdk_event_new(GDK_KEY_PRESS);
        ev->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(web)));
        ev->key.keyval = key;
        ev->key.state = key == 'r' ? GDK_CONTROL_MASK : 0;
        ev->key.time = GDK_CURRENT_TIME;
        gdk_event_set_device(ev, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
        EXPECT_TRUE(gtk_widget_event(web, ev)) << key;
        gdk_event_free(ev);
    }
    EXPECT_TRUE(pane->IsReady());
}

namespace {
// The chat column as the panes' page-call target, in a room that user 321 has left.
struct LeftRoom : roomtest::NullRoomUI, roomtest::NullModalHost, roomtest::NullRoomLogic {
    IRoomUI* GetRoomUI() override { return this; }
    uint32_t GetRoomID() override { return 7201; }
    bool IsUserInRoom(uint32_t uid) override { return uid != 321; }
    IRoomLogic* GetRoomLogic() override { return this; }
};
}  // namespace

// A click on a chat line's user link reaches the real chat column, which answers in its own view.
TEST_F(ChatViewXvfb, AChatLineClickReachesTheChatColumn) {
    LeftRoom room;
    roomui::CDealMainCenter center;
    roomui::CHeadlessChatView own, pub;
    own.SetReady(true);
    pub.SetReady(true);
    center.InitControls(&room, &room, &own, &pub, nullptr, nullptr, nullptr, nullptr);
    center.OnDocumentComplete(roomui::kOwnView);
    pane->SetCallBack(&center);
    pane->AppendHtml(Target("321"));
    const std::string refusal = "该用户一溜小跑，已经离开房间了";
    ASSERT_TRUE(ClickUntil([&] { return own.Text().find(refusal) != std::string::npos; }));
    pane->SetCallBack(nullptr);
}

namespace {
// A modal stack that dismisses each window pushed on it, as closing the room does.
struct DismissingStack : roomtest::NullModalHost {
    int pushed = 0, cancels = 0;
    void PushModalWnd(HWND h) override {
        ++pushed;
        g_timeout_add(
            100,
            [](gpointer p) -> gboolean {
                ::PostMessage(static_cast<HWND>(p), WM_DISMISS_POPUP, 0, 0);
                return G_SOURCE_REMOVE;
            },
            h);
    }
    void ContinueModalCancel() override { ++cancels; }
};
}  // namespace

// The real menu runs on the modal stack from inside the engine's event and ends with the modal cancel.
TEST_F(ChatViewXvfb, TheRealMenuJoinsTheModalStack) {
    ASSERT_TRUE(DuiLib::UIBackendGtkInit());
    DismissingStack stack;
    pane->SetModalHost(&stack);
    pane->AppendHtml(Target("8"));
    GtkWidget* web = Web();
    ASSERT_NE(nullptr, web);
    ASSERT_TRUE(RepeatUntil(
        [&] {
            if (stack.pushed == 0) RightPress(web);
        },
        [&] { return stack.cancels > 0; }));
    EXPECT_EQ(1, stack.pushed);
    EXPECT_EQ(1, pane->NodeCount());  // dismissed: nothing chosen
    DuiLib::SetWindowBackendFactory(nullptr);
}
