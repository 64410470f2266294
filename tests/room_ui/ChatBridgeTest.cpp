// The chat panes' window.external on the headless engine: names, arity, argument order and conversion, the
// inline-handler route of a local page, and the bridge outliving its pane.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "ChatView.h"
#include "HeadlessWebView.h"
#include "ZqLib.h"
#include "TestUtil.h"

namespace {

using roomui::CWBExtDispatch;

struct Recorder : roomui::IWebCallBack {
    std::vector<std::string> calls;
    void SelectUser(const std::string& uid, std::string& r) override { Add("SelectUser:" + uid, r); }
    void SelectRUser(const std::string& uid, std::string& r) override { Add("SelectRUser:" + uid, r); }
    void WelcomeUser(const std::string& uid, bool gift, std::string& r) override {
        Add("WelcomeUser:" + uid + "," + (gift ? "1" : "0"), r);
    }
    void ThanksSendGift(int uid, int gift, int count, bool withGift, std::string& r) override {
        Add(StringUtility::Format("ThanksSendGift:%d,%d,%d,%d", uid, gift, count, withGift ? 1 : 0), r);
    }
    void GetMicInfo() override { calls.push_back("GetMicInfo"); }
    void CallFuncEx(const std::string& cmd, std::string& r) override { Add("CallFuncEx:" + cmd, r); }
    void Add(const std::string& c, std::string& r) {
        calls.push_back(c);
        r = "ok";
    }
};

struct Pane {
    webview::CHeadlessWebView* view = new webview::CHeadlessWebView();
    roomui::CWebChatView pane{view};
    Recorder rec;
    Pane() { pane.SetCallBack(&rec); }
    std::string Call(const std::string& n, const std::vector<std::string>& a) { return view->PageCall(n, a); }
};

TEST(ChatBridge, PageCallsReachTheColumnOnlyWhenWellFormed) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* expect;  // "" = nothing reaches the column
    } cases[] = {
        {"selectuser", {"123"}, "SelectUser:123"},
        {"SelectRUser", {"9"}, "SelectRUser:9"},
        {"SelectUser", {}, ""},
        {"WelcomeUser", {"5", "1"}, "WelcomeUser:5,1"},
        {"WelcomeUser", {"5", "2"}, "WelcomeUser:5,0"},
        {"WelcomeUser", {"5", " 1 "}, "WelcomeUser:5,1"},
        {"WelcomeUser", {"5", "1.0"}, "WelcomeUser:5,1"},
        {"WelcomeUser", {"5", "true"}, ""},
        {"WelcomeUser", {"5"}, ""},
        {"ThanksSendGift", {"7", "23001", "3", "1"}, "ThanksSendGift:7,23001,3,1"},
        {"ThanksSendGift", {"7", "23001", "3"}, ""},
        {"ThanksSendGift", {"7", "1.5", "3", "1"}, ""},
        {"ThanksSendGift", {"7", "0x10", "3", "1"}, ""},
        {"ThanksSendGift", {"99999999999", "1", "3", "1"}, ""},
        {"ThanksSendGift", {"NaN", "1", "3", "1"}, ""},
        {"ThanksSendGift", {"-Infinity", "1", "3", "1"}, ""},
        {"ThanksSendGift", {"", "1", "3", "1"}, ""},
        {"GetMicInfo", {}, "GetMicInfo"},
        {"CallFuncEx", {"cmdUserLogin&"}, "CallFuncEx:cmdUserLogin&"},
        {"ClickToWatchPrivateMic", {}, ""},
        {"constructor", {}, ""},
    };
    for (const Case& c : cases) {
        Pane p;
        std::string answer = p.Call(c.name, c.args);
        if (*c.expect) {
            ASSERT_EQ(1u, p.rec.calls.size()) << c.name;
            EXPECT_EQ(c.expect, p.rec.calls[0]);
        } else {
            EXPECT_TRUE(p.rec.calls.empty()) << c.name << " reached " << p.rec.calls[0];
            EXPECT_EQ("", answer);
        }
    }
}

TEST(ChatBridge, DispatchRulesOnTheObject) {
    CWBExtDispatch* d = CWBExtDispatch::CreateInstance();
    Recorder rec;
    d->SetTarget(&rec);
    std::u16string good = u"THANKSSENDGIFT", bad = u"Eval";
    OLECHAR* names[] = {good.data(), bad.data()};
    DISPID ids[2];
    EXPECT_EQ(S_OK, d->GetIDsOfNames(IID_IDispatch, names, 2, 0, ids));
    EXPECT_EQ(3, ids[0]);
    EXPECT_EQ(DISP_E_UNKNOWNNAME, ids[1]);
    EXPECT_EQ(E_INVALIDARG, d->Invoke(0, IID_IDispatch, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr));
    DISPPARAMS none;
    EXPECT_EQ(DISP_E_PARAMNOTFOUND,
              d->Invoke(ids[1], IID_IDispatch, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
    // Script numbers arrive as doubles and ints too; the last argument comes first.
    VARIANT v[4];
    v[0].vt = VT_I4;
    v[0].lVal = 1;  // flag
    v[1].vt = VT_R8;
    v[1].dblVal = 2.0;  // count
    v[2].vt = VT_R8;
    v[2].dblVal = 23001;  // gift
    v[3].vt = VT_BSTR;
    v[3].bstrVal = SysAllocString(u"42");  // user
    DISPPARAMS p;
    p.rgvarg = v;
    p.cArgs = 4;
    EXPECT_EQ(S_OK, d->Invoke(3, IID_IDispatch, 0, DISPATCH_PROPERTYGET, &p, nullptr, nullptr, nullptr));
    EXPECT_TRUE(rec.calls.empty());  // not a method call
    EXPECT_EQ(S_OK, d->Invoke(3, IID_IDispatch, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr));
    v[1].dblVal = 2.5;
    EXPECT_EQ(S_OK, d->Invoke(3, IID_IDispatch, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr));
    v[1].vt = VT_BOOL;
    EXPECT_EQ(S_OK, d->Invoke(3, IID_IDispatch, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::vector<std::string>{"ThanksSendGift:42,23001,2,1"}, rec.calls);
    VariantClear(&v[3]);
    d->Release();
}

TEST(ChatBridge, InlineHandlersOfTheLocalPageGoThroughTheBridgeAsPlainCallsOnly) {
    struct Case {
        const char* handler;
        const char* expect;
    } cases[] = {
        {"window.external.SelectUser('123')", "SelectUser:123"},
        {" Window.External.welcomeuser(\"5\", 1);", "WelcomeUser:5,1"},
        {"window.external.ThanksSendGift(7,23001,-3,0)", "ThanksSendGift:7,23001,-3,0"},
        {"window.external.GetMicInfo()", "GetMicInfo"},
        {"window.external.SelectUser('1');alert(1)", ""},
        {"window.external.SelectUser('1')+alert(1)", ""},
        {"window.external.SelectUser(alert(1))", ""},
        {"window.external.SelectUser('a\\'),alert(1)//')", ""},
        {"window.external.SelectUser('1'", ""},
        {"window.external.ClickToWatchPrivateMic()", ""},
        {"window.external['SelectUser']('1')", ""},
        {"alert(1)", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        Pane p;
        p.view->PageHandler(c.handler);
        if (*c.expect) {
            ASSERT_EQ(1u, p.rec.calls.size()) << c.handler;
            EXPECT_EQ(c.expect, p.rec.calls[0]);
        } else {
            EXPECT_TRUE(p.rec.calls.empty()) << c.handler;
        }
    }
}

TEST(ChatBridge, ThePaneMayGoInsideAPageCall) {
    int live = webview::CHeadlessWebView::LiveCount();
    auto* view = new webview::CHeadlessWebView();
    auto pane = std::make_unique<roomui::CWebChatView>(view);
    struct Closer : Recorder {
        std::unique_ptr<roomui::CWebChatView>* pane = nullptr;
        void SelectUser(const std::string& uid, std::string& r) override {
            Recorder::SelectUser(uid, r);
            pane->reset();  // the room closes from the click
        }
    } closer;
    closer.pane = &pane;
    pane->SetCallBack(&closer);
    EXPECT_EQ("ok", view->PageCall("SelectUser", {"1"}));
    EXPECT_EQ(nullptr, pane);
    EXPECT_EQ(live, webview::CHeadlessWebView::LiveCount());
    EXPECT_EQ(1u, closer.calls.size());
}

TEST(ChatBridge, PageIsLocalAndWrittenWithItsPolicy) {
    const std::string& page = roomui::ChatPageHtml();
    EXPECT_NE(std::string::npos, page.find("script-src 'none'"));
    EXPECT_NE(std::string::npos, page.find("img-src file: data:"));
    EXPECT_NE(std::string::npos, page.find("<body></body>"));
    const std::string tmpl = testsupport::MakeTempDir("varnet-chatpage");
    ASSERT_FALSE(tmpl.empty());
    std::string url = roomui::WriteChatPage(std::string(tmpl) + "/res");
    EXPECT_EQ("file://" + std::string(tmpl) + "/res/ShowTextPublic.html", url);
    EXPECT_EQ("", roomui::WriteChatPage(""));
}

}  // namespace
