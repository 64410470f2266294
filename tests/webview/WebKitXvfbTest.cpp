// The small browser on the real engine, against the local web service. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <functional>

#include "HttpTestServer.h"
#include "WebService.h"
#include "ZqWebBrowser.h"

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
        const char* display = getenv("VARNET_TEST_DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "VARNET_TEST_DISPLAY is not set";
        setenv("DISPLAY", display, 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        char tmpl[] = "/tmp/varnet-webview-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        static bool folderSet = false;
        if (!folderSet) webview::SetWebDataFolder(tmpl);
        folderSet = true;
        webview::SetDefaultEngine(webview::Engine::WebKit);
        ASSERT_TRUE(service.Start());
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
        browser = new CZqWebBrowser();
        browser->SetOwner(&owner);
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
    EXPECT_TRUE(owner.Called("User/?op=Regist_Web&username=newuser&password=secret"));
    // The engine goes once the call has returned; the loop keeps running.
    Pump([] { return false; }, 300);
}

}  // namespace
