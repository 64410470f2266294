// The chat popups by control name, headless: the editors' checks and the requests they post, the limit
// rollback, the welcome-words menu, the emoticon codes of a restored text; the exchange's URL, its answers
// (wrong types included) and one exchange against the local room service.
#include <gtest/gtest.h>

#include <glib.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ChatNoticePopups.h"
#include "GlobalData.h"
#include "RoomRequests.h"
#include "RoomService.h"
#include "RoomTestEnv.h"
#include "RoomUiFakes.h"
#include "TestKeys.h"
#include "UiTestSupport.h"
#include "ZqHttp.h"
#include "UIExchange.h"
#include "Win32.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqModConfig.h"
#include "TestGif.h"

using namespace DuiLib;

using namespace roompopups;

namespace {

constexpr uint32_t kRoom = 3003;

struct Logic : roomtest::NullRoomLogic {
    bool ready = true;
    uint32_t GetRoomID() override { return kRoom; }
    bool SendChatMsg(uint32_t, const std::string&, bool) override { return true; }
    bool IsChatReady() override { return ready; }
};

struct Room : roomtest::NullRoomUI, roomtest::NullModalHost {
    Logic logic;
    std::vector<std::string> ownLines;
    uint32_t GetRoomID() override { return kRoom; }
    IRoomLogic* GetRoomLogic() override { return &logic; }
    void AppendOwnViewHtml(const std::string& html) override { ownLines.push_back(html); }
};

// What the popups posted: command, query and the fields a reply handler reads.
struct Posted {
    std::string cmd, query, word, ctx0, ctx1;
    int ctxInt = 0, type = 0;
};

class ChatPopups : public ::testing::Test {
protected:
    static roomtest::FakeHalvec& Halvec() {
        static roomtest::FakeHalvec h;
        return h;
    }
    void SetUp() override {
        static bool once = [] {
            std::string dir = duitest::TempDir("chat_popups");
            setenv("VARNET_DATA_DIR", dir.c_str(), 1);
            setenv("VARNET_INSTALL_DIR", dir.c_str(), 1);
            AfxReleaseConfigManager();
            Win32Init();
            CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
            std::string gif = dir + "/face12.gif";
            FILE* f = fopen(gif.c_str(), "wb");
            std::string bytes = testsupport::MakeGif({10});
            fwrite(bytes.data(), 1, bytes.size(), f);
            fclose(f);
            Halvec().faces[12] = gif;
            AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &Halvec());
            return true;
        }();
        (void)once;
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
            a.uid = 1001;
            a.sid = 77;
            a.level = 300;
            a.zebin = 1000;
            a.xiubi = 5;
        });
        AfxGetConfigManager()->SetString("RoomFontSetupTmpNotice", "FaceName", "宋体", 1);
        roomui::SetRoomRequestSink([this](CZQMessage* m) {
            Posted p;
            p.cmd = m->cmd;
            m->BuildSendString(p.query);
            p.ctxInt = m->ctxInt[0];
            p.ctx0 = m->ctxText[0];
            p.ctx1 = m->ctxText[1];
            if (auto* b = dynamic_cast<CZQBroadCastMsg*>(m)) p.word = b->word;
            if (auto* t = dynamic_cast<CZQSendTmpNoticeMsg*>(m)) p.word = t->word;
            if (auto* w = dynamic_cast<CZQUpdateWelWord*>(m)) p.word = w->word, p.type = w->type;
            posted.push_back(p);
            return 1;
        });
    }
    void TearDown() override { roomui::SetRoomRequestSink(nullptr); }
    template <class P>
    void Open(P& popup) {
        popup.SetOwner(&room, &room);
        ASSERT_TRUE(popup.ShowPopup(nullptr, P::kWidth, P::kHeight));
    }
    static std::string Label(WindowImplBase& w, CPaintManagerUI& pm, const char* name) {
        (void)w;
        CControlUI* c = pm.FindControl(name);
        return c ? c->GetText().c_str() : "<missing>";
    }
    Room room;
    std::vector<Posted> posted;
};

struct TrumpetProbe : CUISendTrumpet {
    CPaintManagerUI& PM() { return m_PaintManager; }
};
struct NoticeProbe : CUITemporaryNotice {
    CPaintManagerUI& PM() { return m_PaintManager; }
};
struct WelcomeProbe : CUISetWelcomWords {
    CPaintManagerUI& PM() { return m_PaintManager; }
};

}  // namespace

TEST(EditorText, EmoticonCodesOnlyForKnownFacesAndWholeCharacters) {
    auto faces = [](int id) { return id == 12 ? std::string("f12.gif") : std::string(); };
    struct Case {
        std::string text;
        std::string pieces;  // "t:<text>" and "f:<id>" joined by "|"
    } cases[] = {
        {"a[:12]b", "t:a|f:12|t:b"},
        {"[:12][:12]", "f:12|f:12"},
        {"[:]x", "t:[:]x"},
        {"[:12", "t:[:12"},
        {"[:99]", "t:[:99]"},
        {"[:1x]", "t:[:1x]"},
        {"\xB0[:12]", "t:\xB0[:12]"},  // "[" as the trail byte of a GBK pair is no opener
        {"\xB0\xA1[:12]", "t:\xB0\xA1|f:12"},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string got;
        for (const EditorPiece& p : SplitEditorText(c.text, faces))
            got += (got.empty() ? "" : "|") + (p.face ? "f:" + std::to_string(p.id) : "t:" + p.text);
        EXPECT_EQ(c.pieces, got) << c.text;
    }
}

TEST(WelcomeMenu, ItemsFollowTheRightsAndTheStoredWords) {
    const std::string preset5 = WelcomePresets()[4];
    struct Case {
        bool may, self, full;
        std::string stored;
        std::string expect;  // top level "text/id/checked/locked"; a submenu lists its checked ids in []
    } cases[] = {
        {false, false, false, "", "迎宾语/10/0/1,取消迎宾语/0/0/1"},
        {true, false, true, "", "迎宾语/10/0/1,取消迎宾语/0/0/1"},
        {true, true, true, preset5, "迎宾语[14],取消迎宾语/0/0/0"},
        {true, true, false, "my own words", "迎宾语[19],取消迎宾语/0/0/0"},
        {true, false, false, preset5, "迎宾语[],取消迎宾语/0/0/1"},
    };
    for (const Case& c : cases) {
        std::string got;
        for (const WelcomeMenuEntry& e : BuildWelcomeMenu(c.may, c.self, c.full, c.stored)) {
            got += got.empty() ? "" : ",";
            if (e.id < 0) {
                got += e.text + "[";
                std::string ids;
                for (const WelcomeMenuEntry& s : e.sub)
                    if (s.checked) ids += (ids.empty() ? "" : " ") + std::to_string(s.id);
                got += ids + "]";
                EXPECT_EQ(11u, e.sub.size());
                EXPECT_EQ(19, e.sub.back().id);
            } else {
                got += StringUtility::Format("%s/%d/%d/%d", e.text.c_str(), e.id, e.checked, e.locked);
            }
        }
        EXPECT_EQ(c.expect, got) << c.may << c.self << c.full << c.stored;
    }
}

TEST_F(ChatPopups, TrumpetChecksTheRawTextAndPostsTheStyledBroadcastOnce) {
    struct Case {
        const char* text;
        bool ready;
        const char* error;  // null: sent
    } cases[] = {
        {"hello [:12] all", true, nullptr},
        {"hello", false, "正在连接聊天服务，请稍后重试"},
        {"", true, ""},
        {"see www.example.com", true, "广播内容中不允许有超链接!"},
        {"<img src=x onerror=alert(1)>", true, "广播内容不允许有特殊html标签!"},
    };
    for (const Case& c : cases) {
        TrumpetProbe t;
        Open(t);
        posted.clear();
        room.logic.ready = c.ready;
        t.Input().Edit().InsertTextGbk(c.text);
        bool sent = t.Send();
        EXPECT_EQ(c.error == nullptr, sent) << c.text;
        if (c.error) {
            EXPECT_TRUE(posted.empty());
            EXPECT_EQ(c.error, Label(t, t.PM(), "SendTrumpetErrorTipLabel")) << c.text;
            continue;
        }
        ASSERT_EQ(1u, posted.size());
        EXPECT_EQ("broadcast", posted[0].cmd);
        EXPECT_EQ(int(kRoom), posted[0].ctxInt);
        EXPECT_NE(std::string::npos, posted[0].word.find("hello [:12] all</FONT></SPAN>"));
        EXPECT_NE(std::string::npos, posted[0].query.find("&rid=3003&word=%3CSPAN"));
        EXPECT_EQ(1u, t.LastCloseCode());
        EXPECT_FALSE(t.IsWindowVisible());
    }
}

TEST_F(ChatPopups, TrumpetOverTheLimitReturnsToTheLastText) {
    TrumpetProbe t;
    Open(t);
    t.Input().Edit().InsertTextGbk(std::string(95, 'a'));
    EXPECT_EQ("您还可以输入5个字符", Label(t, t.PM(), "CanInputTextLabel"));
    t.Input().Edit().InsertTextGbk("[:12]b");  // 101 counted characters
    std::string text;
    t.Input().GetContentText(text);
    EXPECT_EQ(std::string(95, 'a'), text);
    EXPECT_EQ("您还可以输入5个字符", Label(t, t.PM(), "CanInputTextLabel"));
    t.Input().Edit().InsertTextGbk("[:12]");  // exactly 100
    EXPECT_EQ("您还可以输入0个字符", Label(t, t.PM(), "CanInputTextLabel"));
    // Characters, not bytes: a Chinese character counts one.
    t.Input().ClearContent();
    t.Input().Edit().InsertTextGbk(std::string(95, 'a') + "你好");
    EXPECT_EQ("您还可以输入3个字符", Label(t, t.PM(), "CanInputTextLabel"));
}

TEST_F(ChatPopups, NoticeChecksTheStyledTextAndTipsInTheOwnView) {
    NoticeProbe n;
    Open(n);
    room.logic.ready = false;
    n.Input().Edit().InsertTextGbk("notice");
    EXPECT_FALSE(n.Publish());
    ASSERT_EQ(1u, room.ownLines.size());
    EXPECT_EQ("[提示] 正在连接聊天服务，请稍后重试 <BR>", room.ownLines[0]);
    room.logic.ready = true;
    ASSERT_TRUE(n.Publish());
    ASSERT_EQ(1u, posted.size());
    EXPECT_EQ("sendtmpnotice", posted[0].cmd);
    EXPECT_NE(std::string::npos, posted[0].word.find("<FONT face=宋体>notice</FONT>"));
    EXPECT_TRUE(n.IsWindowVisible());  // stays open until the reply
    n.ClearInput();
    std::string text;
    EXPECT_EQ(0, n.Input().GetContentText(text));
    // A face name that breaks the markup only once the text is styled.
    NoticeProbe bad;
    bad.SetOwner(&room, &room);
    AfxGetConfigManager()->SetString("RoomFontSetupTmpNotice", "FaceName", "x><script>", 1);
    ASSERT_TRUE(bad.ShowPopup(nullptr, NoticeProbe::kWidth, NoticeProbe::kHeight));
    bad.Input().Edit().InsertTextGbk("plain");
    EXPECT_FALSE(bad.Publish());
    EXPECT_EQ("[提示] 临时公告内容不能包含特殊html标签 <BR>", room.ownLines.back());
    EXPECT_EQ(1u, posted.size());
}

TEST_F(ChatPopups, WelcomeWordsEditorMenuAndRequests) {
    WelcomeProbe w;
    w.SetOwner(&room, &room);
    // Menu choices without the editor: a preset, cancel, an id of nothing.
    w.OnMenuCommand(14);
    w.OnMenuCommand(0);
    w.OnMenuCommand(25);
    ASSERT_EQ(2u, posted.size());
    EXPECT_EQ("updatewelword", posted[0].cmd);
    EXPECT_EQ(1, posted[0].type);
    EXPECT_EQ(1, posted[0].ctxInt);
    EXPECT_EQ(WelcomePresets()[4], posted[0].ctx0);
    EXPECT_EQ(posted[0].word, posted[0].ctx1);
    EXPECT_NE(std::string::npos, posted[0].word.find("<FONT face=微软雅黑>"));
    EXPECT_EQ(2, posted[1].type);
    EXPECT_EQ(2, posted[1].ctxInt);
    EXPECT_EQ("", posted[1].word);
    // 19 opens the editor with the stored words.
    AfxGetConfigManager()->SetString("roomset", "WelcomeWords", "hi [:12]", 1);
    w.OnMenuCommand(kWelcomeEditId);
    ASSERT_TRUE(w.IsWindowVisible());
    std::string text;
    w.Input().GetContentText(text);
    EXPECT_EQ("hi [:12]", text);
    struct Case {
        const char* text;
        bool ready;
        const char* error;
    } cases[] = {
        {"", true, "请输入欢迎词"},
        {"<iframe>", true, "欢迎词不允许有特殊html标签!"},
        {"hello", false, "正在连接聊天服务，请稍后重试"},
        {"hello", true, nullptr},
    };
    for (const Case& c : cases) {
        posted.clear();
        room.logic.ready = c.ready;
        w.Input().ClearContent();
        w.Input().Edit().InsertTextGbk(c.text);
        EXPECT_EQ(c.error == nullptr, w.DealClickOK()) << c.text;
        if (c.error) {
            EXPECT_EQ(c.error, Label(w, w.PM(), "SendTrumpetErrorTipLabel"));
            EXPECT_TRUE(posted.empty());
        } else {
            ASSERT_EQ(1u, posted.size());
            EXPECT_EQ("hello", posted[0].ctx0);
            EXPECT_EQ(1u, w.LastCloseCode());
        }
    }
}

// ---- exchange

namespace {

struct FakeHttp : IZqHttpMgr {
    int status = 200;
    bool open = true;
    std::string body;
    std::vector<std::string> urls;
    int closed = 0;
    int OpenUrl(const char* url, int) override {
        urls.push_back(url);
        return open ? 7 : 0;
    }
    int GetStatusCode(int s) override { return s == 7 ? status : 0; }
    bool GetData(int s, const char** d, int* n) override {
        if (s != 7) return false;
        *d = body.data();
        *n = int(body.size());
        return true;
    }
    void CloseSession(int s) override { closed += s == 7; }
    void SetTimeouts(int, int) override {}
};

struct ExchangeProbe : CUIExchange {
    CPaintManagerUI& PM() { return m_PaintManager; }
    void Type(const char* t) { static_cast<CEditUI*>(m_PaintManager.FindControl("ExchangeNumEdit"))->SetText(t); }
};

}  // namespace

// The MD5 of `text` in hex (GLib's answer freed).
static std::string Md5(const char* text) {
    gchar* hex = g_compute_checksum_for_string(G_CHECKSUM_MD5, text, -1);
    std::string out = hex ? hex : "";
    g_free(hex);
    return out;
}

TEST(Exchange, SignedUrlAndAnswersOfAnyType) {
    std::string sig =
        Md5("1700000000"
            "1001"
            "rilm@2009@plank@sea");
    EXPECT_EQ("http://h:1/ZeqaShow/exchangeZebin?shell=18446744073709551615&tm=1700000000&sig=" + sig + "&uid=1001",
              BuildExchangeUrl("http://h:1", UINT64_MAX, 1700000000, 1001));
    // A negative tm is printed signed and signed unsigned.
    std::string neg =
        Md5("4294967295"
            "7"
            "rilm@2009@plank@sea");
    EXPECT_EQ("x/ZeqaShow/exchangeZebin?shell=1000&tm=-1&sig=" + neg + "&uid=7", BuildExchangeUrl("x", 1000, -1, 7));

    struct Case {
        const char* body;
        bool json, success, hasCoin, hasShell;
        uint64_t coin, shell;
        const char* msg;  // null: no message
    } cases[] = {
        {R"({"success":true,"coin":12,"shell":3,"msg":"%D2%D1%B6%D2"})", true, true, true, true, 12, 3, "已兑"},
        {R"({"success":true})", true, true, false, false, 0, 0, nullptr},
        {R"({"success":"yes","coin":"12","shell":[1],"msg":5})", true, false, false, false, 0, 0, nullptr},
        {R"({"success":1,"coin":-5,"shell":1e30})", true, false, true, true, 0, uint64_t(INT64_MAX), nullptr},
        {R"({"coin":12.9,"msg":{"a":1}})", true, false, true, false, 12, 0, nullptr},
        {R"([true])", false, false, false, false, 0, 0, nullptr},
        {"<html>busy</html>", false, false, false, false, 0, 0, nullptr},
        {"", false, false, false, false, 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        ExchangeAnswer a = ParseExchangeAnswer(c.body);
        EXPECT_EQ(c.json, a.json) << c.body;
        EXPECT_EQ(c.success, a.success) << c.body;
        EXPECT_EQ(c.hasCoin, a.hasCoin) << c.body;
        EXPECT_EQ(c.hasShell, a.hasShell) << c.body;
        EXPECT_EQ(c.hasCoin ? c.coin : 0, a.coin) << c.body;
        EXPECT_EQ(c.hasShell ? c.shell : 0, a.shell) << c.body;
        EXPECT_EQ(c.msg != nullptr, a.hasMsg) << c.body;
        EXPECT_EQ(c.msg ? c.msg : "", a.msg);
    }
    // The message is cut at 249 bytes on a whole character.
    std::string longMsg = R"({"msg":")";
    for (int i = 0; i < 200; ++i) longMsg += "%B0%A1";
    ExchangeAnswer cut = ParseExchangeAnswer(longMsg + "\"}");
    EXPECT_EQ(248u, cut.msg.size());
}

TEST_F(ChatPopups, ExchangeChecksTheAmountAndKeepsTheAnswer) {
    AfxGetConfigManager()->SetString("ZqServerList", "ExchangeRoot", "http://127.0.0.1:9", 1);
    const char* fail = "Z豆兑换失败，请查看网络是否正常或者重新兑换!";
    struct Case {
        const char* amount;
        int status;
        bool open;
        const char* body;
        bool requested, exchanged;
        const char* error;
    } cases[] = {
        {"999", 200, true, "", false, false, "Z豆数小于1000"},
        {"abc", 200, true, "", false, false, "Z豆数小于1000"},
        {"1001", 200, true, "", false, false, "您没有这么多Z豆"},
        {"99999999999999999999999", 200, true, "", false, false, "您没有这么多Z豆"},
        {"1000", 200, true, R"({"success":true,"coin":1005,"shell":0,"msg":"ok"})", true, true, ""},
        {"1000", 200, true, R"({"success":true})", true, true, ""},
        {"1000", 500, true, R"({"success":true})", true, false, fail},
        {"1000", 200, false, "", true, false, fail},
        {"1000", 200, true, "not json", true, false, fail},
        {"1000", 200, true, R"({"success":false,"msg":"no","coin":"x"})", true, false, fail},
    };
    for (const Case& c : cases) {
        FakeHttp http;
        http.status = c.status;
        http.open = c.open;
        http.body = c.body;
        ExchangeProbe x;
        x.SetHttp(&http);
        ASSERT_TRUE(x.ShowPopup(nullptr));
        EXPECT_EQ("注：Z豆至少大于1000才能兑换", x.ErrorText());
        x.Type(c.amount);
        EXPECT_EQ(c.exchanged, x.Exchange()) << c.amount << " " << c.body;
        EXPECT_EQ(c.requested, !http.urls.empty()) << c.amount;
        if (c.requested) {
            EXPECT_EQ(0u, http.urls[0].find("http://127.0.0.1:9/ZeqaShow/exchangeZebin?shell=1000&tm="));
            EXPECT_EQ(c.open ? 1 : 0, http.closed);
        }
        if (!c.exchanged) {
            EXPECT_EQ(c.error, x.ErrorText());
        }
        EXPECT_EQ(c.exchanged ? 1u : 0u, x.LastCloseCode());
        if (std::string(c.body).find("1005") != std::string::npos) {
            EXPECT_EQ(1005u, x.NewCoins());
            EXPECT_EQ("ok", x.ServerMessage());
        } else if (std::string(c.body).find("\"no\"") != std::string::npos) {
            EXPECT_EQ("no", x.ServerMessage());
            EXPECT_EQ(0u, x.NewCoins());
        }
    }
}

TEST_F(ChatPopups, ExchangeAgainstTheRoomService) {
    testenv::RoomService service;
    int port = service.Start(0);
    ASSERT_GT(port, 0);
    service.WithData([](testenv::SvcData& d) {
        d.users[1001].sid = 77;
        d.users[1001].zebin = 1500;
        d.users[1001].xiubi = 5;
        d.rooms[3003].users.insert(1001);
    });
    std::vector<std::string> notices;
    service.SetNoticeSink([&](int rid, const std::string& cmd, const std::string& body) {
        notices.push_back(std::to_string(rid) + " " + cmd + " " + body);
    });
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.zebin = 1500; });
    AfxGetConfigManager()->SetString("ZqServerList", "ExchangeRoot",
                                     ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
    ExchangeProbe x;
    int applied = 0;
    x.OnExchanged = [&](CUIExchange& e) { applied += e.NewCoins() == 1205 && e.NewBeans() == 300; };
    ASSERT_TRUE(x.ShowPopup(nullptr));
    x.Type("1200");
    ASSERT_TRUE(x.Exchange()) << x.ErrorText();
    EXPECT_EQ(1, applied);
    EXPECT_EQ("兑换成功", x.ServerMessage());
    service.WithData([](testenv::SvcData& d) { EXPECT_EQ(300u, d.users[1001].zebin); });
    ASSERT_EQ(1u, notices.size());
    EXPECT_EQ(0u, notices[0].find("3003 notifyuserinfo id=1001\nxiubi=1205\n"));
    // The service refuses more than is left; the popup shows the fixed failure text.
    ExchangeProbe y;
    ASSERT_TRUE(y.ShowPopup(nullptr));
    y.Type("1200");
    EXPECT_FALSE(y.Exchange());
    EXPECT_EQ("Z豆不足", y.ServerMessage());
    EXPECT_EQ("Z豆兑换失败，请查看网络是否正常或者重新兑换!", y.ErrorText());
    // Closed and opened again, it starts fresh: no amount, the first hint, not the last error.
    ::SendMessage(y.GetHWND(), WM_CLOSE, 2, 0);
    EXPECT_FALSE(y.IsWindowVisible());
    ASSERT_TRUE(y.ShowPopup(nullptr));
    EXPECT_TRUE(y.IsWindowVisible());
    EXPECT_EQ("", std::string(y.PM().FindControl("ExchangeNumEdit")->GetText().c_str()));
    EXPECT_EQ("注：Z豆至少大于1000才能兑换", y.ErrorText());
    service.Stop();
}

TEST_F(ChatPopups, TheRoomServiceAnswersThePopupsRequestsAndPushesTheirNotices) {
    testenv::RoomService service;
    int port = service.Start(0);
    ASSERT_GT(port, 0);
    std::vector<std::string> notices;  // "rid cmd body"
    service.SetNoticeSink([&](int rid, const std::string& cmd, const std::string& body) {
        notices.push_back(std::to_string(rid) + " " + cmd + " " + body);
    });
    service.WithData([](testenv::SvcData& d) {
        d.users[1001].sid = 77;
        d.users[1001].xiubi = 1000;
        d.rooms[3003].users.insert(1001);
        d.rooms[3003].roles[1001] = 40;
    });
    CGlobalDataApp::GetInstance().SetSignKeys(testenv::kRoomServiceKeyA, testenv::kRoomServiceKeyB);
    room.logic.ready = true;
    {
        TrumpetProbe t;
        Open(t);
        t.Input().Edit().InsertTextGbk("hi all");
        ASSERT_TRUE(t.Send());
        NoticeProbe n;
        Open(n);
        n.Input().Edit().InsertTextGbk("notice");
        ASSERT_TRUE(n.Publish());
        WelcomeProbe w;
        w.SetOwner(&room, &room);
        w.OnMenuCommand(10);
    }
    ASSERT_EQ(3u, posted.size());
    struct Expect {
        const char* cmd;
        const char* notice;  // pushed command
        const char* part;    // in the pushed body
    } expect[] = {
        {"broadcast", "notifybroadcast", "nickname="},
        {"sendtmpnotice", "notifytmpnotice", "id=1001\nword=%3CSPAN"},
        {"updatewelword", "notifywelword", "wellist{\nwelword<uid|word>{\n1001|%3CSPAN"},
    };
    for (size_t i = 0; i < posted.size(); ++i) {
        notices.clear();
        ASSERT_EQ(expect[i].cmd, posted[i].cmd);
        std::string url = service.Endpoint() + posted[i].query;
        IZqHttpMgr* http = GetZqHttpMgr();
        int s = http->OpenUrl(url.c_str());
        ASSERT_NE(0, s) << url;
        const char* data = nullptr;
        int len = 0;
        ASSERT_TRUE(http->GetData(s, &data, &len));
        std::string body(data, size_t(len));
        http->CloseSession(s);
        EXPECT_NE(std::string::npos, body.find("\"status\":1")) << body;
        ASSERT_FALSE(notices.empty()) << expect[i].cmd;
        EXPECT_NE(std::string::npos, notices[0].find(std::string(" ") + expect[i].notice + " ")) << notices[0];
        EXPECT_NE(std::string::npos, notices[0].find(expect[i].part)) << notices[0];
    }
    service.WithData([](testenv::SvcData& d) { EXPECT_EQ(900u, d.users[1001].xiubi); });  // the trumpet's price
    service.Stop();
}
