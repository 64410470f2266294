// The small browser on the real engine, against the local web service. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <cstring>

#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>

#include "HttpTestServer.h"
#include "WebService.h"
#include "ZqWebBrowser.h"
#include "GlibPump.h"
#include "TestUtil.h"

namespace {

using testsupport::Pump;

struct Owner : IZqWebAction {
    std::vector<std::string> calls, failed, documents;
    std::function<void(const std::string&, std::string&)> onCall;
    void Web_CallMusic(const std::string& cmd, std::string& out) override {
        calls.push_back(cmd);
        if (onCall) onCall(cmd, out);
    }
    void Web_NavigateFailed(const std::string& url) override { failed.push_back(url); }
    void Web_NavigateComplete(const std::string&) override {}
    void Web_DocumentComplete(const std::string& url) override { documents.push_back(url); }
    bool Called(const std::string& prefix) const {
        for (const auto& c : calls)
            if (c.compare(0, prefix.size(), prefix) == 0) return true;
        return false;
    }
};

class WebKitXvfb : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testsupport::UseTestDisplay(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        const std::string tmpl = testsupport::MakeTempDir("varnet-webview");
        ASSERT_FALSE(tmpl.empty());
        static bool folderSet = false;
        if (!folderSet) webview::SetWebDataFolder(tmpl);
        folderSet = true;
        webview::SetDefaultEngine(webview::Engine::WebKit);
        ASSERT_TRUE(service.Start());
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
        browser = new CZqWebBrowser();
        browser->SetOwner(&owner);
        browser->SetTrustedHosts({"127.0.0.1"});  // the local web service's pages get the bridge
        browser->SetDelayCreate(false);
        browser->Navigate2("about:blank");
        ASSERT_NE(nullptr, browser->GetWebBrowser2());
        gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(browser->GetWebBrowser2()->GetWidget()));
        gtk_widget_show_all(window);
    }
    void TearDown() override {
        delete browser;
        if (window) {
            Pump([] { return false; }, 50);
            gtk_widget_destroy(window);
        }
        webview::SetDefaultEngine(webview::Engine::Headless);
    }
    testenv::WebService service;
    Owner owner;
    CZqWebBrowser* browser = nullptr;
    GtkWidget* window = nullptr;
};

TEST_F(WebKitXvfb, HomePageLoadsAndItsSynchronousCallGetsTheProgramsAnswer) {
    owner.onCall = [](const std::string& cmd, std::string& out) {
        if (cmd == "ParamReturn") out = "uid=7&nickName=%E4%B8%AD";
    };
    std::string url = service.Url(testenv::WebService::kHomePath);
    browser->Navigate2(url.c_str());
    ASSERT_TRUE(Pump([&] { return owner.Called("ParamGot?"); }, 20000));
    EXPECT_TRUE(owner.Called("ParamGot?uid=7&nickName=%E4%B8%AD"));
    ASSERT_TRUE(Pump([&] { return !owner.documents.empty(); }, 20000));
    EXPECT_EQ(url, owner.documents.back());
    EXPECT_EQ(url, browser->GetCurrentUrl());
    EXPECT_TRUE(owner.failed.empty());

    // The same page under a host name the control was not given: its calls reach nothing.
    std::string other = url;
    other.replace(other.find("127.0.0.1"), 9, "localhost");
    owner.calls.clear();
    size_t loaded = owner.documents.size();
    browser->Navigate2(other.c_str());
    ASSERT_TRUE(Pump([&] { return owner.documents.size() > loaded; }, 20000));
    Pump([] { return false; }, 1000);
    EXPECT_TRUE(owner.calls.empty());
}

TEST_F(WebKitXvfb, FailedLoadsReportTheirStatus) {
    testenv::RefusingPort refusing;
    std::string missing = service.Url("/no/such/page");
    browser->Navigate2(missing.c_str());
    ASSERT_TRUE(Pump([&] { return !owner.failed.empty(); }, 20000));
    EXPECT_EQ(missing, owner.failed.back());
    browser->Navigate2(refusing.Url("/").c_str());
    ASSERT_TRUE(Pump([&] { return owner.failed.size() == 2; }, 20000));
    EXPECT_TRUE(owner.documents.empty());
}

// The web processes the engine started for this program (they may run under a sandbox helper).
int WebProcesses() {
    std::map<pid_t, pid_t> parent;
    std::map<pid_t, std::string> name;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string id = e.path().filename().string();
        if (id.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(e.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(in)), {});
        size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 > stat.size()) continue;
        pid_t pid = atoi(id.c_str());
        name[pid] = stat.substr(open + 1, close - open - 1);
        parent[pid] = atoi(stat.c_str() + close + 4);
    }
    int n = 0;
    for (const auto& [pid, comm] : name) {
        if (comm.rfind("WebKitWebProces", 0) != 0) continue;
        for (pid_t p = parent[pid]; p > 1; p = parent.count(p) ? parent[p] : 0)
            if (p == getpid()) {
                ++n;
                break;
            }
    }
    return n;
}

// Every view of the program runs in one web process.
TEST_F(WebKitXvfb, ViewsShareOneWebProcess) {
    service.Server().Get("/pane", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><body onload=\"window.external.CallZqmusic('PaneReady')\">pane</body></html>",
                        "text/html");
    });
    owner.onCall = [](const std::string& cmd, std::string& out) {
        if (cmd == "ParamReturn") out = "uid=7";
    };
    browser->Navigate2(service.Url(testenv::WebService::kHomePath).c_str());
    ASSERT_TRUE(Pump([&] { return !owner.documents.empty(); }, 20000));
    Owner panes[3];
    std::vector<std::unique_ptr<CZqWebBrowser>> views;
    for (Owner& o : panes) {
        views.push_back(std::make_unique<CZqWebBrowser>());
        views.back()->SetOwner(&o);
        views.back()->Navigate2(service.Url("/pane").c_str());
    }
    for (Owner& o : panes) ASSERT_TRUE(Pump([&] { return !o.documents.empty(); }, 20000));
    EXPECT_EQ(WebProcesses(), 1);
    // The first view gone, the others stay and a new one joins them.
    delete browser;
    browser = nullptr;
    Owner late;
    CZqWebBrowser another;
    another.SetOwner(&late);
    another.Navigate2(service.Url("/pane").c_str());
    ASSERT_TRUE(Pump([&] { return !late.documents.empty(); }, 20000));
    EXPECT_EQ(WebProcesses(), 1);
}

TEST_F(WebKitXvfb, CookiesOfOneViewReachTheOthers) {
    service.Server().Get("/setcookie", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "session=abc; Max-Age=3600; Path=/");
        res.set_content("<html><body>set</body></html>", "text/html");
    });
    service.Server().Get("/echo", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><body>echo</body></html>", "text/html");
    });
    browser->Navigate2(service.Url("/setcookie").c_str());
    ASSERT_TRUE(Pump([&] { return !owner.documents.empty(); }, 20000));
    Owner second;
    CZqWebBrowser other;
    other.SetOwner(&second);
    other.Navigate2(service.Url("/echo").c_str());
    ASSERT_TRUE(Pump([&] { return !second.documents.empty(); }, 20000));
    std::string cookie;
    for (const auto& r : service.Server().Requests())
        if (r.path == "/echo" && r.headers.count("Cookie")) cookie = r.headers.find("Cookie")->second;
    EXPECT_EQ("session=abc", cookie);
}

TEST_F(WebKitXvfb, RegisterPageClosesItsDialogFromInsideTheCall) {
    bool closed = false;
    owner.onCall = [&](const std::string& cmd, std::string& out) {
        if (cmd.compare(0, 6, "User/?") == 0) {
            out = "bye";
            // The dialog ends while the page waits for the answer.
            delete browser;
            browser = nullptr;
            closed = true;
        }
    };
    std::string url = service.Url(std::string(testenv::WebService::kRegisterPath) + "?auto=1");
    browser->Navigate2(url.c_str());
    ASSERT_TRUE(Pump([&] { return closed; }, 20000));
    EXPECT_TRUE(owner.Called("User/?op=Regist_Web&uname=newuser&pwd=secret"));
    // The engine goes once the call has returned; the loop keeps running.
    Pump([] { return false; }, 300);
}

}  // namespace

// The control inside a real window of the UI library: placed over its rectangle, resized by a page
// command, and the whole dialog destroyed from inside the page's login call.
#include "UIBackendGtk.h"
#include "UIlib.h"
#include "Win32.h"

namespace {

class LoginDlg : public DuiLib::WindowImplBase, public IZqWebAction {
public:
    const char* GetWindowClassName() const override { return "WebLoginDlg"; }
    DuiLib::CControlUI* CreateControl(const char* cls) override {
        if (DuiLib::EqualNoCase(cls, "ZqWebBrowserUI")) {
            auto* web = new CZqWebBrowser();
            web->SetTrustedHosts({"127.0.0.1"});
            return web;
        }
        return nullptr;
    }
    void InitWindow() override {
        web = static_cast<CZqWebBrowser*>(m_PaintManager.FindControl("web"));
        web->SetDelayCreate(false);
        web->SetOwner(this);
    }
    void Web_CallMusic(const std::string& cmd, std::string& answer) override {
        calls.push_back(cmd);
        if (cmd == "GetDevKey") answer = "12345";
        if (cmd.compare(0, 7, "Resize?") == 0) {
            // A floating place that later layouts keep (they place a floating control by its fixed place and
            // size), laid out at once as the program's dialog does.
            ResizeClient(520, 420);
            web->SetFloat(true);
            web->SetFixedXY({2, 33});
            web->SetFixedWidth(516);
            web->SetFixedHeight(385);
            m_PaintManager.UpdateLayout();
        }
        if (cmd.compare(0, 12, "LoginResult?") == 0 && onLogin) onLogin();
    }
    void Web_NavigateFailed(const std::string&) override {}
    void Web_NavigateComplete(const std::string&) override {}
    void Web_DocumentComplete(const std::string&) override {}

    CZqWebBrowser* web = nullptr;
    std::vector<std::string> calls;
    std::function<void()> onLogin;

protected:
    DuiLib::CDuiString GetSkinFolder() override { return ""; }
    DuiLib::CDuiString GetSkinFile() override {
        return R"(<Window size="400,300"><VerticalLayout><Control height="30"/><ZqWebBrowserUI name="web"/></VerticalLayout></Window>)";
    }
};

TEST_F(WebKitXvfb, LoginDialogIsPlacedResizedAndDestroyedFromInsideTheCall) {
    Win32Init();
    ASSERT_TRUE(DuiLib::UIBackendGtkInit());
    auto* dlg = new LoginDlg();
    ASSERT_NE(nullptr, dlg->Create(nullptr, "login", UI_WS_POPUP, 0, 0, 0, 400, 300));
    dlg->ShowWindow(true, true);
    ASSERT_NE(nullptr, dlg->web->GetWebBrowser2());
    auto* widget = GTK_WIDGET(dlg->web->GetWebBrowser2()->GetWidget());
    ASSERT_TRUE(Pump([&] { return gtk_widget_get_mapped(widget); }, 5000));
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    EXPECT_EQ(30, a.y);
    EXPECT_EQ(400, a.width);

    bool gone = false;
    int x = 0, y = 0, w = 0, h = 0;
    std::vector<std::string> calls;
    dlg->onLogin = [&] {
        calls = dlg->calls;
        // Where the resize command put the control.
        gtk_widget_get_size_request(widget, &w, &h);
        gtk_container_child_get(GTK_CONTAINER(gtk_widget_get_parent(widget)), widget, "x", &x, "y", &y, nullptr);
        // This closure is the dialog's own member: nothing it captured is read after the delete.
        bool* done = &gone;
        auto* self = dlg;
        ::DestroyWindow(self->GetHWND());
        delete self;
        *done = true;
    };
    std::string url = service.Url(std::string(testenv::WebService::kLoginPath) + "?t=qq&auto=1");
    dlg->web->Navigate2(url.c_str());
    ASSERT_TRUE(Pump([&] { return gone; }, 20000));
    EXPECT_EQ(2, x);
    EXPECT_EQ(33, y);
    EXPECT_EQ(516, w);
    EXPECT_EQ(385, h);
    ASSERT_EQ(6u, calls.size());
    EXPECT_EQ("GetLoginParams", calls[0]);
    EXPECT_EQ("LoginResult?r=1&t=qq&u=guest7&k=guest7&p=p%26w%20d&kid=2001&sid=3001", calls[5]);
    Pump([] { return false; }, 300);
    DuiLib::SetWindowBackendFactory(nullptr);
}

}  // namespace

namespace {

struct StatusRecorder : webview::IWebViewEvents {
    std::vector<std::pair<std::string, int>> errors;
    int documents = 0;
    void OnNavigateError(const std::string& url, int status) override { errors.push_back({url, status}); }
    void OnNavigateComplete(const std::string&) override {}
    void OnDocumentComplete(const std::string&) override { ++documents; }
};

TEST_F(WebKitXvfb, ErrorsCarryHttpStatusesAndCodesForUnansweredRequests) {
    testenv::RefusingPort refusing;
    StatusRecorder rec;
    webview::IWebView* view = webview::CreateWebView(webview::Engine::WebKit);
    view->SetEvents(&rec);
    struct Row {
        std::string url;
        int status;
    } rows[] = {
        {service.Url("/missing"), 404},
        {refusing.Url("/"), webview::kStatusCannotConnect},
        {"http://no-such-host.invalid/", webview::kStatusNameNotResolved},
    };
    for (const auto& r : rows) {
        size_t before = rec.errors.size();
        view->Navigate(r.url);
        ASSERT_TRUE(Pump([&] { return rec.errors.size() > before; }, 20000)) << r.url;
        EXPECT_EQ(r.url, rec.errors.back().first);
        EXPECT_EQ(r.status, rec.errors.back().second) << r.url;
    }
    EXPECT_EQ(0, rec.documents);
    view->Close();
}

}  // namespace

namespace {

// The chat panes' body operations reach the real document: an inserted image that fails to load reports
// the body's child count from the page itself.
struct CountOwner : IZqWebAction {
    std::vector<std::string> calls;
    int documents = 0;
    void Web_CallMusic(const std::string& cmd, std::string&) override { calls.push_back(cmd); }
    void Web_NavigateFailed(const std::string&) override {}
    void Web_NavigateComplete(const std::string&) override {}
    void Web_DocumentComplete(const std::string&) override { ++documents; }
};

TEST_F(WebKitXvfb, BodyOperationsReachTheDocument) {
    service.Server().Get("/pane", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<!DOCTYPE html><html><head></head><body></body></html>", "text/html");
    });
    CountOwner counts;
    browser->SetOwner(&counts);
    browser->Navigate2(service.Url("/pane").c_str());
    ASSERT_TRUE(Pump([&] { return counts.documents > 0; }, 20000));
    webview::IWebView* view = browser->GetWebBrowser2();
    const std::string probe =
        "<img src='data:,' onerror=\"window.external.CallZqmusic('n=' + document.body.childNodes.length)\">";
    view->InsertAdjacentHTML("beforeEnd", "<div>a</div>text" + probe);
    ASSERT_TRUE(Pump([&] { return counts.calls.size() == 1; }, 20000));
    EXPECT_EQ("n=3", counts.calls[0]);
    EXPECT_EQ(3, view->GetBodyChildCount());
    view->RemoveBodyChildren(2);
    view->InsertAdjacentHTML("beforeEnd", "<p>x</p>" + probe);
    ASSERT_TRUE(Pump([&] { return counts.calls.size() == 2; }, 20000));
    EXPECT_EQ("n=3", counts.calls[1]);
    EXPECT_EQ(3, view->GetBodyChildCount());
    view->ScrollToBottom();
    browser->SetOwner(nullptr);
}

}  // namespace

namespace {

// The screen under a rectangle, as RGB bytes.
std::vector<unsigned char> ScreenBytes(const DuiLib::RECT& rc) {
    std::vector<unsigned char> out;
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rc.left, rc.top, rc.right - rc.left,
                                               rc.bottom - rc.top);
    if (!pb) return out;
    const int n = gdk_pixbuf_get_n_channels(pb), stride = gdk_pixbuf_get_rowstride(pb);
    const guchar* px = gdk_pixbuf_get_pixels(pb);
    for (int y = 0; y < gdk_pixbuf_get_height(pb); ++y)
        for (int x = 0; x < gdk_pixbuf_get_width(pb); ++x)
            out.insert(out.end(), px + y * stride + x * n, px + y * stride + x * n + 3);
    g_object_unref(pb);
    return out;
}

// A page under a menu that opened and closed over it shows again what it showed before.
TEST_F(WebKitXvfb, APageRepaintsAfterAMenuClosedOverIt) {
    Win32Init();
    const bool glSet = std::getenv("GDK_GL") != nullptr;
    ASSERT_TRUE(DuiLib::UIBackendGtkInit());
    // The toolkit was open, its threads reading the environment: the runtime left the environment alone.
    EXPECT_EQ(glSet, std::getenv("GDK_GL") != nullptr);
    auto* dlg = new LoginDlg();
    ASSERT_NE(nullptr, dlg->Create(nullptr, "repaint", UI_WS_POPUP, 0, 40, 40, 400, 300));
    dlg->ShowWindow(true, true);
    ASSERT_NE(nullptr, dlg->web->GetWebBrowser2());
    webview::IWebView* view = dlg->web->GetWebBrowser2();
    dlg->web->Navigate2(service.Url(testenv::WebService::kHomePath).c_str());
    const DuiLib::RECT page{40, 40 + 30, 440, 340};
    // Loaded and drawn: the page is on the screen and stays still.
    std::vector<unsigned char> before;
    ASSERT_TRUE(Pump(
        [&] {
            auto now = ScreenBytes(page);
            bool still = !before.empty() && now == before &&
                         std::count(now.begin(), now.end(), 0xFF) < (long)now.size() * 9 / 10;
            before = now;
            if (!still) Pump([] { return false; }, 300);
            return still;
        },
        20000));
    (void)view;
    for (int round = 0; round < 2; ++round) {
        DuiLib::CZqMenuUI menu;
        menu.SetMenuItem({DuiLib::ZqMenuItem("one", 1), DuiLib::ZqMenuItem("two", 2), DuiLib::ZqMenuItem("three", 3)});
        ASSERT_NE(nullptr, menu.CreateMenu({120, 120}, dlg->GetHWND()));
        menu.ShowWindow(true, false);
        Pump([] { return false; }, 500);
        EXPECT_NE(ScreenBytes(page), before) << "the menu is not over the page";
        ::DestroyWindow(menu.GetHWND());
        std::vector<unsigned char> after;
        EXPECT_TRUE(Pump(
            [&] {
                after = ScreenBytes(page);
                return after == before;
            },
            5000))
            << "round " << round << ": the page did not repaint where the menu was";
    }
    ::DestroyWindow(dlg->GetHWND());
    delete dlg;
    Pump([] { return false; }, 300);
    DuiLib::SetWindowBackendFactory(nullptr);
}

// The share of pixels that differ from the first one.
double Ink(const std::vector<unsigned char>& px) {
    size_t differ = 0;
    for (size_t i = 3; i + 2 < px.size(); i += 3)
        differ += std::equal(px.begin(), px.begin() + 3, px.begin() + i) ? 0 : 1;
    return px.size() < 3 ? 0 : double(differ) / double(px.size() / 3);
}

// Pages that stand still beside a busy one of the same web process: a window of another program mapped over
// each and taken away again leaves it showing what it showed before.
TEST_F(WebKitXvfb, PagesRedrawWhereAnotherProgramsWindowWent) {
    service.Server().Get("/lines", [](const httplib::Request&, httplib::Response& res) {
        std::string body;
        for (int i = 0; i < 5; ++i) body += "<div>line " + std::to_string(i) + " of a page that stands still</div>";
        res.set_content("<!DOCTYPE html><html><body style='margin:2px;background:#F6F7F7'>" + body + "</body></html>",
                        "text/html");
    });
    gtk_widget_hide(window);
    GtkWidget* top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(top), FALSE);
    gtk_window_move(GTK_WINDOW(top), 40, 40);
    gtk_window_set_default_size(GTK_WINDOW(top), 500, 460);
    GtkWidget* layout = gtk_layout_new(nullptr, nullptr);
    gtk_container_add(GTK_CONTAINER(top), layout);
    std::vector<webview::IWebView*> views;
    for (int i = 0; i < 3; ++i) {  // the first one busy
        webview::IWebView* v = webview::CreateWebView(webview::Engine::WebKit);
        GtkWidget* w = GTK_WIDGET(v->GetWidget());
        gtk_widget_set_size_request(w, 500, 150);
        gtk_layout_put(GTK_LAYOUT(layout), w, 0, i * 155);
        v->Navigate(service.Url("/lines"));
        views.push_back(v);
    }
    gtk_widget_show_all(top);
    struct Busy {
        webview::IWebView* view;
        int lines;
    } first{views[0], 0};
    guint busy = g_timeout_add(
        250,
        [](gpointer p) -> gboolean {
            auto* b = static_cast<Busy*>(p);
            b->view->InsertAdjacentHTML("beforeEnd", "<div>busy " + std::to_string(++b->lines) + "</div>");
            b->view->ScrollToBottom();
            return G_SOURCE_CONTINUE;
        },
        &first);
    GdkDisplay* other = gdk_display_open(gdk_display_get_name(gdk_display_get_default()));  // another program's
    ASSERT_NE(nullptr, other);
    // Where the pane is now (a window manager may place the window after it showed).
    auto paneRect = [&](int i) {
        int x = 0, y = 0;
        if (GdkWindow* w = gtk_widget_get_window(top)) gdk_window_get_origin(w, &x, &y);
        return DuiLib::RECT{x, y + i * 155, x + 500, y + i * 155 + 150};
    };
    for (int i = 1; i < 3; ++i) {
        DuiLib::RECT pane{};
        std::vector<unsigned char> before;
        ASSERT_TRUE(Pump(
            [&] {
                pane = paneRect(i);
                auto now = ScreenBytes(pane);
                bool still = !before.empty() && now == before && Ink(now) > 0.01;
                before = now;
                if (!still) Pump([] { return false; }, 300);
                return still;
            },
            20000))
            << "pane " << i << " shows no page";
        GtkWidget* cover = gtk_window_new(GTK_WINDOW_POPUP);  // exactly there, with or without a window manager
        gtk_window_set_screen(GTK_WINDOW(cover), gdk_display_get_default_screen(other));
        gtk_window_move(GTK_WINDOW(cover), pane.left + 60, pane.top + 20);
        gtk_window_set_default_size(GTK_WINDOW(cover), 300, 100);
        gtk_widget_set_app_paintable(cover, TRUE);
        g_signal_connect(cover, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer) -> gboolean {
                             cairo_set_source_rgb(cr, 0.7, 0.2, 0.2);
                             cairo_paint(cr);
                             return TRUE;
                         }),
                         nullptr);
        gtk_widget_show(cover);
        EXPECT_TRUE(Pump([&] { return ScreenBytes(pane) != before; }, 5000)) << "the window is not over pane " << i;
        gtk_widget_destroy(cover);
        gdk_display_sync(other);
        EXPECT_TRUE(Pump([&] { return ScreenBytes(pane) == before; }, 5000))
            << "pane " << i << " was not redrawn where the window went";
    }
    gdk_display_close(other);
    g_source_remove(busy);
    for (webview::IWebView* v : views) v->Close();
    gtk_widget_destroy(top);
    Pump([] { return false; }, 300);
}

}  // namespace

namespace {

bool NoBrowser(const std::string&) {
    return false;
}
}  // namespace

// A page the desktop cannot open: the user is told where to go (without the query, which may hold a session).
TEST_F(WebKitXvfb, NoBrowserTellsTheUser) {
    webview::SetUrlOpener(NoBrowser);
    EXPECT_FALSE(webview::OpenInDefaultBrowser("http://127.0.0.1/pay?sid=77&key=k"));
    webview::SetUrlOpener(nullptr);
    GtkWidget* box = nullptr;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next)
        if (g_strcmp0(gtk_widget_get_name(GTK_WIDGET(l->data)), webview::kNoBrowserWidgetName) == 0)
            box = GTK_WIDGET(l->data);
    g_list_free(tops);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(gtk_widget_get_visible(box));
    for (const char* property : {"text", "secondary-text", "title"}) {  // UTF-8 for GTK, not the program's GBK
        gchar* text = nullptr;
        g_object_get(box, property, &text, nullptr);
        EXPECT_TRUE(text && g_utf8_validate(text, -1, nullptr) && std::strlen(text) > 2) << property;
        g_free(text);
    }
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(box)), "\xe6\x8f\x90\xe7\xa4\xba");  // 提示 in UTF-8
    gchar* text = nullptr;
    g_object_get(box, "secondary-text", &text, nullptr);
    std::string shown = text ? text : "";
    g_free(text);
    EXPECT_NE(shown.find("http://127.0.0.1/pay"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("sid"), std::string::npos) << shown;
    gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);  // closes it
}
