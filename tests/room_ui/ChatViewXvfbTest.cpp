// The chat pane on the real engine: its local page, lines reaching the page, trimming, and hostile lines
// that run nothing and load nothing. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <functional>

#include "ChatView.h"
#include "HttpTestServer.h"
#include "ZqLib.h"
#include "TestUtil.h"

namespace {

bool Pump(const std::function<bool()>& done, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        g_main_context_iteration(nullptr, FALSE);
        if (!g_main_context_pending(nullptr)) g_usleep(2000);
    }
    return true;
}

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
        const char* display = getenv("VARNET_TEST_DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "VARNET_TEST_DISPLAY is not set";
        setenv("DISPLAY", display, 1);
        setenv("NO_AT_BRIDGE", "1", 1);
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
    // A click at the top left of the page.
    void Click() {
        GList* kids = gtk_container_get_children(GTK_CONTAINER(view->GetWidget()));
        GtkWidget* web = kids ? GTK_WIDGET(kids->data) : nullptr;
        g_list_free(kids);
        ASSERT_NE(nullptr, web);
        GdkWindow* w = gtk_widget_get_window(web);
        GdkDevice* mouse = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
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
    static std::string Target(const std::string& uid) {
        return "<div style=\"position:fixed;left:0;top:0;width:100%;height:100%\" "
               "onclick=\"window.external.SelectUser('" + uid + "')\">line</div>";
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
    ASSERT_TRUE(Pump([&] {
        if (rec.calls.empty()) Click();
        return !rec.calls.empty();
    }, 20000));
    EXPECT_EQ("SelectUser:321", rec.calls[0]);
    size_t before = rec.calls.size();
    pane->RemoveOldNodes(0);
    EXPECT_EQ(0, pane->NodeCount());
    pane->AppendHtml(Target("322"));
    ASSERT_TRUE(Pump([&] {
        if (rec.calls.size() == before) Click();
        return rec.calls.size() > before;
    }, 20000));
    // The removed line took its handler with it.
    for (size_t i = before; i < rec.calls.size(); ++i) EXPECT_EQ("SelectUser:322", rec.calls[i]);
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
    ASSERT_TRUE(Pump([&] {
        if (rec.calls.empty()) Click();
        return !rec.calls.empty();
    }, 20000));
    // Loads the lines may have started would show within this bound.
    Pump([&] { return !server.Requests().empty() || rec.calls.size() > 1; }, 1500);
    for (const auto& c : rec.calls) EXPECT_EQ("SelectUser:99", c);
    for (const auto& r : server.Requests()) ADD_FAILURE() << "outside load: " << r.path;
    EXPECT_TRUE(pane->IsReady());
}

}  // namespace
