// The small browser control on the headless engine: the page's window.external, event filtering, hostile
// page calls, and an owner that ends the control from inside a page call.
#include <gtest/gtest.h>

#include <memory>

#include "HeadlessWebView.h"
#include "ZqWebBrowser.h"

namespace {

using webview::CHeadlessWebView;

struct Owner : IZqWebAction {
    std::vector<std::string> calls, failed, completed, documents;
    std::string answer = "ans";
    std::function<void(const std::string&)> onCall;
    void Web_CallMusic(const std::string& cmd, std::string& out) override {
        calls.push_back(cmd);
        out = answer;
        if (onCall) onCall(cmd);
    }
    void Web_NavigateFailed(const std::string& url) override { failed.push_back(url); }
    void Web_NavigateComplete(const std::string& url) override { completed.push_back(url); }
    void Web_DocumentComplete(const std::string& url) override { documents.push_back(url); }
};

class ZqWebBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        browser = new CZqWebBrowser();
        browser->SetOwner(&owner);
        browser->SetTrustedHosts({"127.0.0.1"});
        browser->Navigate2("http://127.0.0.1/home");
        view = static_cast<CHeadlessWebView*>(browser->GetWebBrowser2());
        ASSERT_NE(nullptr, view);
    }
    void TearDown() override { delete browser; }
    Owner owner;
    CZqWebBrowser* browser = nullptr;
    CHeadlessWebView* view = nullptr;
};

TEST_F(ZqWebBrowserTest, StartsBlankAndReportsOnlyRealPages) {
    ASSERT_EQ(2u, view->Navigations().size());
    EXPECT_EQ("about:blank", view->Navigations()[0]);
    view->FireNavigateComplete("about:blank");
    view->FireDocumentComplete("about:blank");
    view->FireNavigateError("about:blank", 404);
    EXPECT_TRUE(owner.completed.empty() && owner.documents.empty() && owner.failed.empty());
    EXPECT_EQ("", browser->GetCurrentUrl());

    view->FireNavigateError("http://h/a", 200);  // remembered, not a failure
    EXPECT_EQ("http://h/a", browser->GetCurrentUrl());
    EXPECT_TRUE(owner.failed.empty());
    view->FireNavigateError("http://h/missing", 404);
    view->FireNavigateError("http://nohost/", webview::kStatusNameNotResolved);
    EXPECT_EQ((std::vector<std::string>{"http://h/missing", "http://nohost/"}), owner.failed);
    view->FinishLoad();
    EXPECT_EQ(std::vector<std::string>{"http://127.0.0.1/home"}, owner.completed);
    EXPECT_EQ(std::vector<std::string>{"http://127.0.0.1/home"}, owner.documents);
    EXPECT_EQ("http://127.0.0.1/home", browser->GetCurrentUrl());
}

TEST_F(ZqWebBrowserTest, PageCallsReachTheOwnerWithTheirAnswer) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        const char* result;
        size_t reached;
    } rows[] = {
        {"CallZqmusic", {"ParamReturn"}, "ans", 1},
        {"callzqmusic", {"x"}, "ans", 1},
        {"CALLZQMUSIC", {"first", "last"}, "ans", 1},  // the last argument is the one taken
        {"CallZqmusic", {}, "", 0},                    // no argument: "" and no call
        {"OtherName", {"x"}, "", 0},
        {"CallZqmusic2", {"x"}, "", 0},
        {"CallZqmusic", std::vector<std::string>(webview::kMaxExternalArgs + 1, "x"), "", 0},
        {"CallZqmusic", {std::string(webview::kMaxExternalArgBytes + 1, 'a')}, "", 0},
    };
    for (const auto& r : rows) {
        owner.calls.clear();
        EXPECT_EQ(r.result, view->PageCall(r.name, r.args)) << r.name;
        EXPECT_EQ(r.reached, owner.calls.size()) << r.name;
    }
    owner.calls.clear();
    view->PageCall("CallZqmusic", {"first", "last"});
    EXPECT_EQ(std::vector<std::string>{"last"}, owner.calls);
    // Texts cross as GBK on the program's side and UTF-8 on the page's.
    owner.answer = "中文";
    owner.calls.clear();
    EXPECT_EQ("\xE4\xB8\xAD\xE6\x96\x87", view->PageCall("CallZqmusic", {"\xE6\xB5\x8B"}));
    EXPECT_EQ(std::vector<std::string>{"测"}, owner.calls);
}

// window.external answers the trusted hosts' pages and file: pages; any other page gets "" and reaches nothing.
TEST_F(ZqWebBrowserTest, OnlyTrustedPagesReachTheOwner) {
    struct Row {
        const char* url;
        bool reached;
    } rows[] = {
        {"http://127.0.0.1/home", true},
        {"HTTPS://127.0.0.1:8443/x?y", true},
        {"http://user@127.0.0.1/x", true},
        {"file:///opt/varnet/html/error.html", true},
        {"http://127.0.0.1.evil.example/", false},
        {"http://evil.example/?h=127.0.0.1", false},
        {"http://127.0.0.1@evil.example/", false},
        {"http://evil.example\\@127.0.0.1/", false},
        {"ftp://127.0.0.1/", false},
        {"about:blank", false},
        {"data:text/html,x", false},
        {"", false},
    };
    for (const Row& r : rows) {
        view->Navigate(r.url);
        owner.calls.clear();
        EXPECT_EQ(r.reached ? "ans" : "", view->PageCall("CallZqmusic", {"ParamReturn"})) << r.url;
        EXPECT_EQ(r.reached ? 1u : 0u, owner.calls.size()) << r.url;
    }
    EXPECT_EQ(webview::HttpHostOf("http://[::1]:80/"), "::1");
    EXPECT_EQ(webview::HttpHostOf("HTTP://Web.Test:81"), "web.test");
}

TEST_F(ZqWebBrowserTest, DispatchTableOfTheExternalObject) {
    IDispatch* ext = nullptr;
    ASSERT_EQ(S_OK, browser->GetExternal(&ext));
    EXPECT_EQ(E_POINTER, browser->GetExternal(nullptr));
    std::u16string a = u"callZQmusic", b = u"navigate";
    OLECHAR* names[] = {a.data(), b.data()};
    DISPID ids[2];
    EXPECT_EQ(S_OK, ext->GetIDsOfNames(IID_IDispatch, names, 2, 0, ids));
    EXPECT_EQ(0, ids[0]);
    EXPECT_EQ(DISPID_UNKNOWN, ids[1]);
    VARIANT result;
    EXPECT_EQ(E_INVALIDARG, ext->Invoke(0, IID_IDispatch, 0, DISPATCH_METHOD, nullptr, &result, nullptr, nullptr));
    DISPPARAMS none;
    EXPECT_EQ(DISP_E_PARAMNOTFOUND,
              ext->Invoke(1, IID_IDispatch, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));
    ext->Release();

    DOCHOSTUIINFO info{};
    browser->GetHostInfo(&info);
    EXPECT_EQ(0u, info.dwFlags & DOCHOSTUIFLAG_SCROLL_NO);
    browser->SetScrollBars(false);
    browser->GetHostInfo(&info);
    EXPECT_NE(0u, info.dwFlags & DOCHOSTUIFLAG_SCROLL_NO);
    EXPECT_FALSE(view->ScrollBars());
    EXPECT_EQ(S_OK, browser->GetHostInfo(nullptr));
}

TEST_F(ZqWebBrowserTest, OwnerMayEndTheControlOrNavigateInsideACall) {
    int live = CHeadlessWebView::LiveCount();
    owner.onCall = [&](const std::string& cmd) {
        if (cmd == "Navrefresh") browser->Navigate2("http://127.0.0.1/again");
        if (cmd == "CloseWindow") {
            delete browser;
            browser = nullptr;
            EXPECT_EQ(live, CHeadlessWebView::LiveCount());  // not yet: the call is running
        }
    };
    view->PageCall("CallZqmusic", {"Navrefresh"});
    EXPECT_EQ("http://127.0.0.1/again", view->GetRequestedUrl());
    EXPECT_EQ("ans", view->PageCall("CallZqmusic", {"CloseWindow"}));
    EXPECT_EQ(live - 1, CHeadlessWebView::LiveCount());
}

TEST_F(ZqWebBrowserTest, BodyOperationsOfTheChatPanes) {
    view->InsertAdjacentHTML("beforeEnd", "<div>1</div>text<br>");
    view->InsertAdjacentHTML("afterBegin", "<div>ignored</div>");
    EXPECT_EQ(3, view->GetBodyChildCount());
    view->RemoveBodyChildren(1);
    EXPECT_EQ(2, view->GetBodyChildCount());
    view->ScrollToBottom();
    EXPECT_TRUE(view->IsScrolledToBottom());
    browser->Navigate2("http://127.0.0.1/other");
    EXPECT_EQ(0, view->GetBodyChildCount());
}

std::vector<std::string> g_opened;
bool RecordOpen(const std::string& url) {
    g_opened.push_back(url);
    return true;
}

TEST(DefaultBrowser, OnlyWebAddressesAreOpened) {
    webview::SetUrlOpener(RecordOpen);
    EXPECT_TRUE(webview::OpenInDefaultBrowser("http://127.0.0.1/ZeqaShow/Profile?uid=1"));
    EXPECT_TRUE(webview::OpenInDefaultBrowser("HTTPS://h/x"));
    for (const char* bad : {"file:///etc/passwd", "/usr/bin/xterm", "javascript:alert(1)", "smb://h/s", ""})
        EXPECT_FALSE(webview::OpenInDefaultBrowser(bad)) << bad;
    EXPECT_EQ(2u, g_opened.size());
    webview::SetUrlOpener(nullptr);
}

}  // namespace
