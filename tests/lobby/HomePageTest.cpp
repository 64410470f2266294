// The lobby's web side headless, on the document model: the home page view's page calls, first load and
// fallback to pre-resolved addresses; the frame's page commands and web links; the platform sign-in and
// register dialogs' page calls; the tray icon record.
#include <gtest/gtest.h>

#include <glib.h>

#include <fstream>
#include <map>

#include "BrowserHtmlView.h"
#include "HeadlessWebView.h"
#include "LobbyMessages.h"
#include "LobbyTestEnv.h"
#include "UiTestSupport.h"
#include "TrayIcon.h"
#include "VarnetFrameWnd.h"
#include "WebLoginDlgs.h"
#include "ZQCommands.h"
#include "ZqLib.h"

using namespace DuiLib;

using duitest::RunLater;
using lobbytest::RecordingRoomManager;
using webview::CHeadlessWebView;

namespace {

// Handles every message posted so far (and what those post in turn), however loaded the machine is.
void HandlePosted() {
    PumpMessagesFor(5);
    for (int i = 0; i < 10000 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
}

const char kHome[] = "http://web.test:81/ZeqaShow/LiveIndex";

// A window that keeps what it gets: message ids and the texts of WM_WEB_COMMAND.
struct Sink : CWin32Window {
    std::vector<UINT> msgs;
    std::vector<std::string> commands;
    std::map<std::string, std::string> account;
    LRESULT HandleMessage(UINT m, WPARAM, LPARAM l) override {
        msgs.push_back(m);
        if (m == WM_WEB_COMMAND) {
            std::unique_ptr<std::string> t(reinterpret_cast<std::string*>(l));
            commands.push_back(*t);
        } else if (m == WM_LOGIN_UI_INFO) {
            std::unique_ptr<std::map<std::string, std::string>> t(
                reinterpret_cast<std::map<std::string, std::string>*>(l));
            account = *t;
        }
        return 0;
    }
    int Count(UINT m) const { return (int)std::count(msgs.begin(), msgs.end(), m); }
};

class WebTest : public ::testing::Test {
protected:
    void SetUp() override {
        lobbytest::SetUpOnce();
        lobbytest::SignOut();
        IConfigManager* c = AfxGetConfigManager();
        c->SetString("ZqServerList", "HomePageUrl", kHome, 1);
        c->SetString("DnsLookup", "web.test", "10.0.0.1", 1);
        c->SetString("DnsLookup", CBrowserHtmlView::ScriptHost().c_str(), "10.0.0.2", 1);
        c->SetString("DnsLookup", CBrowserHtmlView::StyleHost().c_str(), "10.0.0.3", 1);
        notify = CreateWindowHandle(&sink);
    }
    void TearDown() override {
        ::DestroyWindow(notify);
        AfxGetConfigManager()->SetString("ZqServerList", "HomePageUrl", "", 1);
    }
    Sink sink;
    HWND notify = nullptr;
};

// The view with its engine on a first loaded page.
struct View {
    explicit View(HWND frame) : view(new CBrowserHtmlView(frame)) {
        for (const char* c : {"openroom", "openProfile", "openConsume", "openVip", "openPay", "delfavroom",
                              "openNotice", "openTopList"})
            view->AddPageCommand(c);
        view->Navigate(kHome);
        engine = static_cast<CHeadlessWebView*>(view->GetWebBrowser2());
    }
    ~View() { delete view; }
    std::string Call(const std::string& text) { return engine->PageCall("CallZqmusic", {text}); }
    CBrowserHtmlView* view;
    CHeadlessWebView* engine;
};

}  // namespace

TEST_F(WebTest, HomePageCallsPostCommandsAndAnswerBuiltIns) {
    View v(notify);
    ASSERT_NE(v.engine, nullptr);
    v.engine->FinishLoad();
    PumpMessagesFor(10);
    EXPECT_EQ(sink.Count(WM_HOME_PAGE_LOADED), 1);
    EXPECT_TRUE(v.view->IsHomePage());
    struct Row {
        std::string text;
        bool posted;
        int refreshes;
    } rows[] = {
        {"openroom&id=5&name=x", true, 0},
        {"openroomX&id=1", true, 0},  // a prefix match is enough
        {"openPay", true, 0},
        {"OpenPay", false, 0},  // prefixes are case-sensitive
        {"", false, 0},
        {"Refresh", false, 1},
        {"deletecookie", false, 1},
        {"writecookie=1", false, 1},
        {"writecookie&WRITECOOKIE=1", false, 1},  // field keys in any case
        {"writecookie=0", false, 0},
        {"writecookie=abc", false, 0},
        {"writecookie=nan", false, 0},
        {"writecookie=-2.5", false, 1},
        {"writecookie=0.9", false, 0},
        {"writecookie=1=1", false, 0},  // not one "="
        {"ParamReturnX", false, 0},
    };
    for (const Row& r : rows) {
        sink.commands.clear();
        int before = v.engine->Refreshes();
        std::string answer = v.Call(r.text);
        HandlePosted();
        EXPECT_EQ(sink.commands, r.posted ? std::vector<std::string>{r.text} : std::vector<std::string>{}) << r.text;
        EXPECT_EQ(v.engine->Refreshes() - before, r.refreshes) << r.text;
        if (r.text != "ParamReturnX") EXPECT_EQ(answer, "") << r.text;
    }
    EXPECT_EQ(sink.Count(WM_HOME_PAGE_LOADED), 1);  // once only

    // ParamReturn: the user's fields, texts encoded and bounded; a level unknown to the catalogue leaves
    // the level names empty.
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
        a.uid = 7;
        a.sid = 8;
        a.beautyid = 9;
        a.level = 123456;
        a.nickname = "a&b=c " + std::string(400, 'x');
    });
    std::string p = v.Call("ParamReturn");
    EXPECT_EQ(p.rfind("uid=7&sid=8&nickName=a%26b%3Dc%20xxx", 0), 0u) << p;
    auto nick = p.substr(p.find("nickName=") + 9);
    EXPECT_LT(nick.find('&'), 250u);
    EXPECT_NE(p.find("&beautyId=9&curLevel=&nextLevel=&levelWidth="), std::string::npos) << p;
    EXPECT_NE(p.find("&level=123456"), std::string::npos);

    // A page of another host (a directory entry's own address, a link the page followed) gets no bridge: no
    // session, no command; the service's pre-resolved address does.
    for (const char* url : {"http://evil.test/x", "http://web.test.evil.test/ZeqaShow/LiveIndex"}) {
        v.engine->Navigate(url);
        sink.commands.clear();
        EXPECT_EQ(v.Call("ParamReturn"), "") << url;
        v.Call("openroom&id=5");
        HandlePosted();
        EXPECT_TRUE(sink.commands.empty()) << url;
    }
    v.engine->Navigate("http://10.0.0.1:81/ZeqaShow/LiveIndex?cssip=10.0.0.3&jsip=10.0.0.2");
    EXPECT_EQ(v.Call("ParamReturn").rfind("uid=7&sid=8&", 0), 0u);
}

TEST_F(WebTest, FirstLoadBlankAndErrorPages) {
    View v(notify);
    v.engine->FireDocumentComplete("about:blank");
    HandlePosted();
    EXPECT_EQ(sink.Count(WM_HOME_PAGE_LOADED), 0);
    EXPECT_EQ(v.view->GetRememberedUrl(), "");
    // The error page is shown but not remembered; it still counts as the first load.
    const std::string error = Dir::GetZqPath(128) + "ERROR.html";
    v.engine->FireDocumentComplete(error);
    HandlePosted();
    EXPECT_EQ(v.view->GetRememberedUrl(), "");
    EXPECT_EQ(sink.Count(WM_HOME_PAGE_LOADED), 1);
    // Without a remembered page a refresh opens the home page; with one it reloads.
    v.view->Refresh();
    EXPECT_EQ(v.engine->Navigations().back(), kHome);
    v.engine->FinishLoad();
    v.view->Navigate(kHome);  // the same address: a reload
    EXPECT_EQ(v.engine->Refreshes(), 1);
}

TEST_F(WebTest, FailedHomePageFallsBackToPreResolvedAddressesOnce) {
    struct Row {
        const char* failed;
        bool dnsComplete;
        const char* retried;  // "" none
    } rows[] = {
        {"http://web.test:81/ZeqaShow/LiveIndex", true,
         "http://10.0.0.1:81/ZeqaShow/LiveIndex?cssip=10.0.0.3&jsip=10.0.0.2"},
        {"http://web.test:81/ZeqaShow/LiveIndex?funType=AutoRoom", true,
         "http://10.0.0.1:81/ZeqaShow/LiveIndex?funType=AutoRoom&cssip=10.0.0.3&jsip=10.0.0.2"},
        {"http://web.test:81/ZeqaShow/LiveIndex", false, ""},  // a DnsLookup entry is missing
        {"http://web.test:81/ZeqaShow/Other", true, ""},       // only the home page is retried
    };
    for (const Row& r : rows) {
        if (!r.dnsComplete)
            AfxGetConfigManager()->SetString("DnsLookup", CBrowserHtmlView::ScriptHost().c_str(), "", 1);
        View v(notify);
        size_t navs = v.engine->Navigations().size();
        v.engine->FireNavigateError(r.failed, 404);
        if (*r.retried) {
            ASSERT_EQ(v.engine->Navigations().size(), navs + 1) << r.failed;
            EXPECT_EQ(v.engine->Navigations().back(), r.retried);
            // The retried address fails too: no further attempt (no loop).
            v.engine->FireNavigateError(r.retried, webview::kStatusCannotConnect);
            EXPECT_EQ(v.engine->Navigations().size(), navs + 1);
            // From now on the lobby's addresses go to the pre-resolved host.
            v.view->Navigate("http://web.test:81/ZeqaShow/getWeekGiftList?funType=favRoom");
            EXPECT_EQ(v.engine->Navigations().back(),
                      "http://10.0.0.1:81/ZeqaShow/getWeekGiftList?funType=favRoom&cssip=10.0.0.3&jsip=10.0.0.2");
        } else {
            EXPECT_EQ(v.engine->Navigations().size(), navs) << r.failed;
        }
        EXPECT_EQ(v.view->IsBypassOn(), std::string(r.failed).find("LiveIndex") != std::string::npos) << r.failed;
        AfxGetConfigManager()->SetString("DnsLookup", CBrowserHtmlView::ScriptHost().c_str(), "10.0.0.2", 1);
    }
}

namespace {
class LinkFrame : public CVarnetFrameWnd {
public:
    explicit LinkFrame(RecordingRoomManager* rm, int64_t openIntervalMs = 0)
        : CVarnetFrameWnd(std::unique_ptr<CRoomManager>(rm)) {
        m_pageOpenIntervalMs = openIntervalMs;
    }
    std::vector<std::string> opened, messages;
    // A message box runs a loop of its own, as the real one does: what is posted meanwhile is handled inside.
    bool nestedLoop = false;
    int depth = 0, deepest = 0;

protected:
    void OpenUrl(const std::string& url) override { opened.push_back(url); }
    int ShowMessage(const char* text, const char*) override {
        messages.push_back(text);
        if (nestedLoop) {
            deepest = std::max(deepest, ++depth);
            HandlePosted();
            --depth;
        }
        return 1;
    }
};

// The favourites the room manager was asked to drop, from its log.
std::vector<long> DroppedFavourites() {
    std::ifstream f(std::string(getenv("VARNET_DATA_DIR")) + "/log/RoomManager.txt");
    std::vector<long> ids;
    std::string line;
    const std::string mark = Charset::GbkToUtf8("取消收藏房间 roomid=");
    while (std::getline(f, line))
        if (size_t at = line.find(mark); at != std::string::npos) ids.push_back(atol(line.c_str() + at + mark.size()));
    return ids;
}
}  // namespace

// A hostile home page floods the frame with prompting and browser-opening commands: one prompt at a time,
// the commands posted meanwhile dropped; browser windows one an interval.
TEST_F(WebTest, PageCommandFloodsAreBounded) {
    auto* rm = new RecordingRoomManager;
    LinkFrame frame(rm, 60 * 60 * 1000);
    ASSERT_NE(frame.Create(nullptr, "frame", 0, 0, 0, 0, 800, 572), nullptr);
    auto* engine = static_cast<CHeadlessWebView*>(frame.GetBrowserView()->GetWebBrowser2());
    ASSERT_NE(engine, nullptr);
    engine->Navigate(kHome);
    engine->FinishLoad();
    HandlePosted();
    frame.nestedLoop = true;
    for (int i = 0; i < 3000; ++i) engine->PageCall("CallZqmusic", {"openroom&id=3003&close=1"});
    HandlePosted();
    EXPECT_EQ(frame.deepest, 1);
    EXPECT_LT(frame.messages.size(), 3000u);
    // Once the prompt is closed, the next command prompts again.
    size_t shown = frame.messages.size();
    engine->PageCall("CallZqmusic", {"openroom&id=3003&close=1"});
    HandlePosted();
    EXPECT_EQ(frame.messages.size(), shown + 1);
    for (int i = 0; i < 100; ++i) engine->PageCall("CallZqmusic", {"openTopList"});
    engine->PageCall("CallZqmusic", {"openPay"});
    HandlePosted();
    EXPECT_EQ(frame.opened.size(), 1u);
    ::DestroyWindow(frame.GetHWND());
    HandlePosted();
}

TEST_F(WebTest, FramePageCommandsAndWebLinks) {
    // A still clock: the links made at different moments of the test carry the same time.
    CGlobalDataApp::GetInstance().SetTimeSource([] { return int64_t(1796826798); });
    CGlobalDataApp::GetInstance().SetTickSource([] { return 1000u; });
    auto* rm = new RecordingRoomManager;
    LinkFrame frame(rm);
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
        a.uid = 1001;
        a.sid = 55;
        a.loginType = 2;
    });
    ASSERT_NE(frame.Create(nullptr, "frame", 0, 0, 0, 0, 800, 572), nullptr);
    ASSERT_NE(frame.GetBrowserView(), nullptr);
    auto* engine = static_cast<CHeadlessWebView*>(frame.GetBrowserView()->GetWebBrowser2());
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->Navigations().back(), std::string(kHome) + "?funType=AutoRoom");  // level 0 <= 200
    const std::string root = "http://web.test:81";
    auto login = [&](const std::string& target) {
        std::string url = frame.MakeWebLoginUrl(target);
        return url;
    };
    // The token: MD5 of uid, sid, tm and key B; two links within a second are the same.
    std::string a = login(root + "/ZeqaShow/Profile"), b = login(root + "/ZeqaShow/Profile");
    EXPECT_EQ(a, b);
    uint32_t tm = (uint32_t)CGlobalDataApp::GetInstance().GetServerTime();
    EXPECT_EQ(a, root + StringUtility::Format("/ZeqaShow/openWebWithLogin?uid=1001&sid=55&tm=%u&token=", tm) +
                     Entrypt::GenerateMD5(
                         StringUtility::Format("1001%u%u%s", 55u, tm, CGlobalDataApp::GetInstance().KeyB())) +
                     "&url=" + UrlEncode::Encode(root + "/ZeqaShow/Profile"));

    struct Row {
        const char* text;
        std::string opened;  // "" none
        int deleted;         // -1 none
    } rows[] = {
        {"openProfile", a, -1},
        {"openConsume&x=1", login(root + "/ZeqaShow/Profile?tab=3"), -1},
        {"openVip", login(root + "/ZeqaShow/lb/payVip"), -1},
        {"openPay", login(root + "/ZeqaShow/lb/pay"), -1},
        {"OpenPay", "", -1},
        {"openTopList", root + "/ZeqaShow/GetTopList", -1},
        {"openNotice&id=7", root + "/ZeqaShow/noticeDetail?id=7", -1},
        {"openNotice&id=0", root + "/ZeqaShow/showInfoList?type=notice", -1},
        {"openNotice&x=3&id=7", root + "/ZeqaShow/showInfoList?type=notice", -1},
        {"openNotice", "", -1},
        {"openNotice&", "", -1},
        {"delfavroom&id=5", "", 5},
        {"delfavroom&x=3&id=5", "", 0},
        {"delfavroom&id=99999999999", "", 2147483647},  // out of range: bounded
        {"delfavroom&id=abc", "", 0},
        {"delfavroom", "", -1},
        {"openroomX&id=3003", "", -1},  // the exact name counts here
        {"", "", -1},
    };
    for (const Row& r : rows) {
        frame.opened.clear();
        size_t dropped = DroppedFavourites().size();
        ::PostMessageOwned(frame.GetHWND(), WM_WEB_COMMAND, 0, std::make_unique<std::string>(r.text));
        HandlePosted();
        EXPECT_EQ(frame.opened, r.opened.empty() ? std::vector<std::string>{} : std::vector<std::string>{r.opened})
            << r.text;
        std::vector<long> now = DroppedFavourites();
        EXPECT_EQ(now.size(), dropped + (r.deleted < 0 ? 0 : 1)) << r.text;
        if (r.deleted >= 0 && now.size() == dropped + 1) EXPECT_EQ(now.back(), r.deleted) << r.text;
    }
    EXPECT_EQ(frame.GetWaitDlg(), nullptr);  // "openroomX" entered nothing

    // A page's room link reaches the room entry: the request goes out and the wait dialog shows.
    engine->FinishLoad();
    engine->PageCall("CallZqmusic", {"openroom&id=3004&name=Room"});
    ASSERT_TRUE(PumpUntil([&] { return frame.GetWaitDlg() != nullptr; }, 2000));

    // Search: the prompt or nothing navigates nowhere; a text is encoded into the query.
    auto* edit = static_cast<CEditUI*>(UITest::Find(&frame, "SearchEdit"));
    ASSERT_NE(edit, nullptr);
    struct Search {
        std::string text;
        std::string url;
    } searches[] = {
        {"", ""},
        {"输入房间ID", ""},
        {"12&funType=x #y", root + "/ZeqaShow/getWeekGiftList?funType=searchRoom&id=12%26funType%3Dx%20%23y"},
    };
    for (const Search& s : searches) {
        size_t navs = engine->Navigations().size();
        edit->SetText(s.text.c_str());
        frame.OnBtnClickSearch();
        if (s.url.empty()) EXPECT_EQ(engine->Navigations().size(), navs) << s.text;
        else EXPECT_EQ(engine->Navigations().back(), s.url) << s.text;
    }
    // Recharge: a guest is told, a user without a session too, a user gets the page.
    frame.opened.clear();
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& u) { u.loginType = 1; });
    frame.OnBtnClickRecharge();
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& u) {
        u.loginType = 2;
        u.sid = 0;
    });
    frame.OnBtnClickRecharge();
    EXPECT_EQ(frame.messages,
              (std::vector<std::string>{"游客无法充值，请先登录再充值!", "登录出现问题，请查看登录状态或者重新登录!"}));
    EXPECT_TRUE(frame.opened.empty());
    // The frame's tray icon goes with the window.
    EXPECT_TRUE(frame.GetTrayIcon().IsAdded());
    int icons = TrayIconCount();
    ::DestroyWindow(frame.GetHWND());
    EXPECT_EQ(TrayIconCount(), icons - 1);
    EXPECT_FALSE(frame.GetTrayIcon().IsAdded());
    CGlobalDataApp::GetInstance().SetTimeSource(nullptr);
    CGlobalDataApp::GetInstance().SetTickSource(nullptr);
}

TEST_F(WebTest, PlatformSignInPageCalls) {
    AfxGetConfigManager()->SetString("ZqServerList", "ThirdPartUrl", "http://web.test:81/US/platform/orig_show.htm", 1);
    // Results that end the dialog.
    struct End {
        const char* text;
        UINT code;
        ThirdPartLoginResult result;
    } ends[] = {
        {"LoginResult?r=1&t=weibo&b=1&u=N&k=K&p=a%26b%00c&kid=4294967297&sid=-1", 1, {1, -1, 2, "K", "N", "a&b"}},
        {"LoginResult?r=1&t=weibo", 1, {0, 0, 3, "", "", ""}},
        {"LoginResult?r=1", 1, {0, 0, 2, "", "", ""}},
        {"LoginResult?r=2&kid=5", 2, {}},
        {"GetPk&CloseWindow", 2, {}},
    };
    for (const End& e : ends) {
        CThirdPartLoginDlg dlg("qq");
        ASSERT_NE(dlg.Create(nullptr, "tp", 0, 0, 0, 0, 500, 500), nullptr);
        std::string answer;
        RunLater(5, [&] { dlg.Web_CallMusic(e.text, answer); });
        EXPECT_EQ(dlg.ShowModal(), e.code) << e.text;
        const ThirdPartLoginResult& r = dlg.GetResult();
        EXPECT_EQ(std::tie(r.uid, r.sid, r.loginType, r.userName, r.nickName, r.password),
                  std::tie(e.result.uid, e.result.sid, e.result.loginType, e.result.userName, e.result.nickName,
                           e.result.password))
            << e.text;
    }
    // Calls that keep it open, with their answers and sizes.
    CThirdPartLoginDlg dlg("weibo");
    ASSERT_NE(dlg.Create(nullptr, "tp", 0, 0, 0, 0, 500, 500), nullptr);
    EXPECT_EQ(UITest::Find(&dlg, "ThirdPartLoginTitleLabel")->GetText(), "微博登录");
    EXPECT_EQ(dlg.GetPageUrl().rfind("http://web.test:81/US/platform/orig_show.htm?t=weibo&ver=1.0.0.1&id=", 0), 0u);
    auto* engine = static_cast<CHeadlessWebView*>(
        static_cast<CZqWebBrowser*>(UITest::Find(&dlg, "webThirdPartLogin"))->GetWebBrowser2());
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->Navigations().back(), dlg.GetPageUrl());
    struct Call {
        const char* text;
        std::string answerPrefix;
        SIZE client;  // {0,0}: unchanged
    } calls[] = {
        {"GetLoginParams", "ver=MS4wLjAuMQ==&branch=vipclient&pk=", {}},
        {"GetPkAnything", "", {}},
        {"GetDevName", UrlEncode::Encode("泽嘉秀场PC端"), {}},
        {"LoginResult?", "", {}},
        {"LoginResult?r=3", "", {}},
        {"Resize?", "", {}},
        {"Resize?w=640", "", {640, 800}},
        {"Resize?w=99999&h=-5", "", {1280, 200}},
        {"Resize?w=nan&h=1e400", "", {200, 200}},  // not numbers: 0, bounded
        {"Resize?h=500", "", {800, 500}},
        {"Unknown", "", {}},
    };
    // A page of another host cannot hand back a made-up result.
    engine->Navigate("http://evil.test/US/platform/orig_show.htm");
    EXPECT_EQ(engine->PageCall("CallZqmusic", {"GetDevKey"}), "");
    engine->Navigate(dlg.GetPageUrl());
    EXPECT_EQ(engine->PageCall("CallZqmusic", {"GetDevKey"}), Charset::GbkToUtf8(ClientID::GetClientID()));
    for (const Call& c : calls) {
        std::string answer = "keep";
        RECT before = dlg.GetClientRect();
        dlg.Web_CallMusic(c.text, answer);
        HandlePosted();
        ASSERT_TRUE(::IsWindow(dlg.GetHWND())) << c.text;
        if (!c.answerPrefix.empty()) EXPECT_EQ(answer.rfind(c.answerPrefix, 0), 0u) << c.text << " -> " << answer;
        RECT rc = dlg.GetClientRect();
        if (c.client.cx) EXPECT_EQ((SIZE{rc.right - rc.left, rc.bottom - rc.top}.cx), c.client.cx) << c.text;
        if (c.client.cy) EXPECT_EQ(rc.bottom - rc.top, c.client.cy) << c.text;
        if (!c.client.cx) EXPECT_EQ(rc.right - rc.left, before.right - before.left) << c.text;
        // The page fills the dialog under its title bar.
        RECT page = UITest::Find(&dlg, "webThirdPartLogin")->GetPos();
        EXPECT_EQ((std::vector<int>{page.left, page.top, page.right, page.bottom}),
                  (std::vector<int>{2, 33, rc.right - 2, rc.bottom - 2}))
            << c.text;
    }
    std::string pk;
    dlg.Web_CallMusic("GetPk", pk);
    std::string tick;
    EXPECT_TRUE(Base64::Base64Decode(pk, tick));
    EXPECT_GT(atol(tick.c_str()), 0);
    UITest::PressKey(&dlg, VK_ESCAPE);
    PumpMessagesFor(10);
    EXPECT_FALSE(::IsWindow(dlg.GetHWND()));
}

TEST_F(WebTest, RegisterPageHandsTheAccountToTheLoginDialog) {
    struct Row {
        const char* text;
        bool done;
        std::map<std::string, std::string> posted;
    } rows[] = {
        {"User/?op=Regist_Web&uname=a%20b&pwd=x&x=b=c&y",
         true,
         {{"op", "Regist_Web"}, {"uname", "a%20b"}, {"pwd", "x"}}},
        {"User/?uname=a", false, {}},
        {"User/?OP=Regist_Web", false, {}},
        {"RegisterPageLoadOver", false, {}},
    };
    for (const Row& r : rows) {
        sink.account.clear();
        CRegisterDlg dlg(notify);
        ASSERT_NE(dlg.Create(nullptr, "reg", 0, 0, 0, 0, 520, 440), nullptr);
        CControlUI* browser = UITest::Find(&dlg, "webRegister");
        ASSERT_NE(browser, nullptr);
        EXPECT_FALSE(browser->IsVisible());
        auto* engine = static_cast<CHeadlessWebView*>(static_cast<CZqWebBrowser*>(browser)->GetWebBrowser2());
        ASSERT_NE(engine, nullptr);
        engine->FinishLoad();
        EXPECT_TRUE(browser->IsVisible());
        EXPECT_FALSE(UITest::Find(&dlg, "RegisterWaitUI")->IsVisible());
        // The page's call closes the dialog from inside the call.
        RunLater(5, [&] { engine->PageCall("CallZqmusic", {r.text}); });
        if (r.done) {
            EXPECT_EQ(dlg.ShowModal(), 1u) << r.text;
        } else {
            RunLater(30, [&] { UITest::Click(&dlg, "RegisterCloseBTN"); });
            EXPECT_EQ(dlg.ShowModal(), 2u) << r.text;
        }
        HandlePosted();
        EXPECT_EQ(sink.account, r.posted) << r.text;
    }
}

TEST(TrayIcon, AddedOnceRemovedOnce) {
    int base = TrayIconCount();
    { CTrayIcon never; }
    EXPECT_EQ(TrayIconCount(), base);
    CTrayIcon icon;
    HWND wnd = reinterpret_cast<HWND>(0x1234);
    ASSERT_TRUE(icon.Add(wnd, nullptr));
    EXPECT_EQ(TrayIconCount(), base + 1);
    CTrayIcon twin;
    EXPECT_FALSE(twin.Add(wnd, nullptr));  // the same window and id once only
    EXPECT_FALSE(twin.IsAdded());
    icon.Delete();
    icon.Delete();
    EXPECT_EQ(TrayIconCount(), base);
}

namespace {
// The login dialog with its web dialogs answered by a scripted page call.
class ScriptedLoginDlg : public CLoginDlg {
public:
    ScriptedLoginDlg() : CLoginDlg(nullptr, kModeNormal) {}
    std::map<std::string, std::string> pageCalls;  // dialog class -> the page's call
    std::vector<std::string> ran;

protected:
    UINT RunModal(WindowImplBase& dlg) override {
        ran.push_back(dlg.GetWindowClassName());
        std::string call = pageCalls[dlg.GetWindowClassName()];
        auto* web = dynamic_cast<IZqWebAction*>(&dlg);
        RunLater(5, [web, call] {
            std::string answer;
            web->Web_CallMusic(call, answer);
        });
        return dlg.ShowModal();
    }
};
}  // namespace

TEST_F(WebTest, LoginDialogTakesPlatformSignInAndRegistration) {
    testenv::RoomService& service = lobbytest::SetUpOnce();
    // A session of the service for the platform's result to carry.
    uint32_t uid = 0, sid = 0;
    ASSERT_TRUE(lobbytest::GuestSession(uid, sid));
    lobbytest::SignOut();

    ScriptedLoginDlg dlg;
    dlg.SetRegisterFirst(true);
    dlg.pageCalls["RegisterDlg"] = "User/?op=Regist_Web&uname=new%20user&pwd=pw";
    dlg.pageCalls["ThirdPartLoginDlg"] =
        StringUtility::Format("LoginResult?r=1&t=qq&k=guest&u=Nick&kid=%u&sid=%u", (unsigned)uid, (unsigned)sid);
    ASSERT_NE(dlg.Create(nullptr, "login", UI_WS_POPUP, 0, 0, 0, 410, 315), nullptr);
    EXPECT_TRUE(dlg.GetTrayIcon().IsAdded());
    int infos = service.RequestCount("getmyinfo");
    RunLater(50, [&] {
        // Registration ran first and handed its account to the dialog; then the platform sign-in.
        EXPECT_EQ(static_cast<CEditUI*>(UITest::Find(&dlg, "UserNameEdit"))->GetText(), "new user");
        EXPECT_EQ(static_cast<CEditUI*>(UITest::Find(&dlg, "PassWordEdit"))->GetText(), "pw");
        UITest::Click(&dlg, "LoginQQBTN");
    });
    unsigned dog = RunLater(20000, [&] { dlg.Close(99); });
    EXPECT_EQ(dlg.ShowModal(), 1u);
    g_source_remove(dog);
    EXPECT_EQ(dlg.ran, (std::vector<std::string>{"RegisterDlg", "ThirdPartLoginDlg"}));
    EXPECT_EQ(service.RequestCount("getmyinfo"), infos + 1);
    EXPECT_NE(service.Queries("getmyinfo").back().find("type=4"), std::string::npos)
        << service.Queries("getmyinfo").back();
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetUid(), uid);
    EXPECT_FALSE(dlg.GetTrayIcon().IsAdded());  // gone with the window
}
