// The chat column's answers to the page calls of chat lines (clicked in a pane on the headless engine) and its
// buttons: welcome and thanks notices with the users' texts escaped, the director call with page words
// whitelisted, the colour-bar intervals, the shield menu, the popups' openers.
#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <memory>

#include "ChatColumnPopups.h"
#include "ChatHtml.h"
#include "DealMainCenter.h"
#include "HeadlessWebView.h"
#include "RoomInfoMgr.h"
#include "RightColumnTips.h"
#include "RoomRequests.h"
#include "RoomWindow.h"
#include "RoomWebLinks.h"
#include "RoomTestEnv.h"
#include "RoomUiFakes.h"
#include "UIlib.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqModConfig.h"
#include "TestUtil.h"
#include "UITestDriver.h"
#include "UiTestSupport.h"

using namespace DuiLib;

using namespace roomui;

namespace {

constexpr uint32_t kRoom = 7101;
constexpr uint32_t kOther = 2002;
constexpr uint32_t kDirector = 2004;

class Rights : public roomtest::FakeHalvec {
public:
    bool welcome = true;
    bool HasRight(int r, int, int) override { return r == 18 && welcome; }
    void GetColorBarMap(ColorBarCatalogCopy& out) override {
        for (const auto& [id, bar] : colorBars) out[CatalogGroupInfo{}][uint32_t(id)] = new CatalogItem(bar);
    }
};

Rights& ActionsSetup() {
    static Rights halvec;
    static bool done = [] {
        roomtest::UsePrivateFolders("varnet-chatactions");
        Win32Init();
        roomtest::Fill(halvec);
        GiftItem rose;
        rose.id = 30001;
        rose.name = "玫瑰<i>";
        halvec.gifts[30001] = rose;
        CatalogItem bar;
        bar.id = 5;
        bar.name = "加油";
        halvec.colorBars[5] = bar;
        return true;
    }();
    (void)done;
    // The window tests of this program register a catalogue of their own: this one takes its place.
    AfxGetDataManager()->UnregisterModule(HALVEC_MODULE_NAME);
    AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &halvec);
    halvec.welcome = true;
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
        a.uid = roomtest::kSelf;
        a.sid = 9;
        a.level = 300;
        a.loginType = 0;
    });
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    store.RemoveRoom(kRoom);
    store.InsertRoom(kRoom, ChatServerInfo{});
    for (uint32_t uid : {roomtest::kSelf, kOther}) {
        RoomUserInfo u;
        u.uid = uid;
        u.nickname = uid == kOther ? "<b>evil" : "me";
        u.level = 250;
        store.AddRoomUser(kRoom, u);
    }
    return halvec;
}

struct Logic : roomtest::NullRoomLogic {
    bool ready = true;
    int logins = 0, registers = 0;
    std::vector<std::tuple<uint32_t, std::string, bool>> sent;
    std::vector<bool> brush;
    uint32_t GetRoomID() override { return kRoom; }
    bool SendChatMsg(uint32_t t, const std::string& text, bool pub) override {
        sent.emplace_back(t, text, pub);
        return true;
    }
    bool IsUserInRoom(uint32_t uid) override { return CRoomInfoMgr::GetInstance().HasUser(kRoom, uid); }
    void SetShieldBrushGift(bool on) override { brush.push_back(on); }
    bool IsChatReady() override { return ready; }
    bool RequestLogin(IRoomUI*) override { return ++logins, true; }
    bool RequestRegister(IRoomUI*) override { return ++registers, true; }
};

struct Right : IRoomRightUI {
    uint32_t target = 0, located = 0;
    void SelectGiftTarget(uint32_t uid) override { target = uid; }
    void LocateUser(uint32_t uid) override { located = uid; }
};

// A room window as far as the column sees it.
struct Column : roomtest::NullRoomUI, roomtest::NullModalHost {
    Logic logic;
    Right right;
    CDealMainCenter center;
    CHeadlessChatView own, pub;
    CVerticalLayoutUI holder;
    CComboUI* combo = new CComboUI;
    COptionUI box;
    std::vector<bool> shields;
    std::vector<std::string> posted;  // "cmd query"
    std::vector<CZQMessage*> last;

    Column() {
        ActionsSetup();
        auto* all = new CListLabelElementUI;
        all->SetTag(0);
        combo->Add(all);
        holder.Add(combo);
        own.SetReady(true);
        pub.SetReady(true);
        center.InitControls(this, this, &own, &pub, nullptr, combo, &box, nullptr);
        center.OnDocumentComplete(kPublicView);
        center.OnDocumentComplete(kOwnView);
        SetRoomRequestSink([this](CZQMessage* m) {
            std::string q;
            m->BuildSendString(q);
            posted.push_back(m->cmd + " " + q);
            return 1;
        });
    }
    ~Column() override { SetRoomRequestSink(nullptr); }
    uint32_t Target() const { return uint32_t(combo->GetItemAt(combo->GetCurSel())->GetTag()); }

    uint32_t GetRoomID() override { return kRoom; }
    IRoomLogic* GetRoomLogic() override { return &logic; }
    bool GetDealUI(int kind, IRoomDealUI** out) override {
        *out = kind == 1 ? static_cast<IRoomDealUI*>(&center) : kind == 2 ? static_cast<IRoomDealUI*>(&right) : nullptr;
        return *out != nullptr;
    }
    void AppendOwnViewHtml(const std::string& html) override { center.AppendMsgHtml(html, kOwnView); }
    void ShieldFlash(bool on) override { shields.push_back(on); }
};

// The i-th onclick handler of a chat line that calls `method`, as the page would run it.
std::string Handler(const std::string& line, int i, const char* method = "") {
    size_t at = 0;
    for (int n = 0; n <= i;) {
        at = line.find("onclick=\"", at);
        if (at == std::string::npos) return "";
        at += 9;
        if (line.substr(at, line.find('"', at) - at).find(method) != std::string::npos) ++n;
    }
    return line.substr(at, line.find('"', at) - at);
}

std::string Decoded(const std::string& posted) {
    size_t w = posted.find("&word=");
    return w == std::string::npos ? "" : UrlEncode::Decode(posted.substr(w + 6));
}

}  // namespace

TEST(ChatColumnPageCalls, ClicksInChatLinesReachTheColumn) {
    ActionsSetup();
    RoomUserInfo other;
    other.uid = kOther;
    other.nickname = "<b>evil";
    const std::string userLink = BuildUserLinkHtml(kOther, other.nickname, 0);
    // The enter line's welcome links, as the line builder writes them for a rich user's entry.
    const std::string welcome =
        "<SPAN onclick=\"window.external.WelcomeUser('2002',0)\">[欢迎]</SPAN>"
        "<SPAN onclick=\"window.external.WelcomeUser('2002',1)\">[送礼欢迎]</SPAN>";
    GiftLineInfo gift;
    gift.giftId = 30001;
    gift.count = 3;
    gift.total = 3;
    const std::string thanks = BuildGiftThanksHtml(gift, 30001, other);
    struct Case {
        const char* name;
        std::string handler;
        std::function<void(Column&)> prepare;
        // "own:<text>" a line of the own view; "post:<cmd> <decoded word part>"; "target:<uid>"; "login"
        std::vector<std::string> expect;
    };
    auto none = [](Column&) {};
    std::vector<Case> cases = {
        {"select", Handler(userLink, 0), none, {"target:2002", "right:2002"}},
        {"select gone",
         Handler(userLink, 0),
         [](Column&) { CRoomInfoMgr::GetInstance().RemoveRoomUser(kRoom, kOther); },
         {"own:该用户一溜小跑，已经离开房间了", "target:0"}},
        {"select everyone", "window.external.SelectUser('0')", none, {"target:0"}},
        {"welcome text",
         Handler(welcome, 0, "WelcomeUser"),
         none,
         {"post:sendtmpnotice 欢迎富豪[&lt;b&gt;evil(2002)]进入房间"}},
        {"welcome gift without the right",
         Handler(welcome, 1, "WelcomeUser"),
         [](Column&) { ActionsSetup().welcome = false; },
         {"post:sendgift gid=21007&cnt=1"}},
        {"welcome without the right",
         Handler(welcome, 0, "WelcomeUser"),
         [](Column&) { ActionsSetup().welcome = false; },
         {"own:" + BuildWelcomeUpgradeTip()}},
        {"welcome as guest",
         Handler(welcome, 0, "WelcomeUser"),
         [](Column&) {
             ActionsSetup().welcome = false;
             CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 100; });
         },
         {"own:" + BuildGuestWelcomeTip()}},
        {"welcome not connected",
         Handler(welcome, 0, "WelcomeUser"),
         [](Column& c) { c.logic.ready = false; },
         {"own:正在连接聊天服务，请稍后重试"}},
        {"welcome while hidden",
         Handler(welcome, 0, "WelcomeUser"),
         [](Column&) {
             RoomUserInfo me;
             CRoomInfoMgr::GetInstance().GetRoomUser(kRoom, roomtest::kSelf, me);
             me.hide = true;
             CRoomInfoMgr::GetInstance().UpdateRoomUser(kRoom, me);
         },
         {"own:隐身状态下，不能发送欢迎!"}},
        {"thanks text",
         Handler(thanks, 0, "ThanksSendGift"),
         none,
         {"post:sendtmpnotice 谢谢&lt;b&gt;evil(2002)送的:3个玫瑰&lt;i&gt;"}},
        {"thanks gift",
         Handler(thanks, 1, "ThanksSendGift"),
         [](Column&) { ActionsSetup().welcome = false; },
         {"post:sendgift gid=23001&cnt=1"}},
        {"thanks without the right",
         Handler(thanks, 0, "ThanksSendGift"),
         [](Column&) { ActionsSetup().welcome = false; },
         {"own:升级大亨就能感谢TA了，详情咨询官方代理"}},
        {"login link", Handler(BuildLoginRegisterLinks(), 0), none, {"login"}},
        {"director, none in the room", Handler(BuildCallDirectorLink("hello"), 0), none, {"chat:0 hello public"}},
        {"director",
         Handler(BuildCallDirectorLink("hello"), 0),
         [](Column&) {
             RoomUserInfo d;
             d.uid = kDirector;
             d.nickname = "dir";
             d.role = 40;
             CRoomInfoMgr::GetInstance().AddRoomUser(kRoom, d);
         },
         {"chat:2004 hello private", "target:2004"}},
        {"director with markup",
         Handler(BuildCallDirectorLink("<img src=x onerror=alert(1)>"), 0),
         none,
         {"own:聊天内容不能包含特殊html标签"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Column col;
        webview::CHeadlessWebView* view = new webview::CHeadlessWebView();
        CWebChatView pane(view);
        pane.SetCallBack(&col.center);
        c.prepare(col);
        ASSERT_FALSE(c.handler.empty());
        view->PageHandler(c.handler);
        bool anyPost = false, anyChat = false;
        for (const std::string& e : c.expect) {
            if (e.rfind("own:", 0) == 0) {
                EXPECT_NE(std::string::npos, col.own.Text().find(e.substr(4))) << col.own.Text();
            } else if (e.rfind("post:", 0) == 0) {
                anyPost = true;
                ASSERT_EQ(1u, col.posted.size());
                std::string want = e.substr(5);
                std::string cmd = want.substr(0, want.find(' '));
                EXPECT_EQ(0u, col.posted[0].find(cmd + " "));
                std::string part = want.substr(want.find(' ') + 1);
                std::string hay = cmd == "sendtmpnotice" ? Decoded(col.posted[0]) : col.posted[0];
                EXPECT_NE(std::string::npos, hay.find(part)) << hay;
                if (cmd == "sendtmpnotice") EXPECT_TRUE(IsValidChatHtml(hay));
                if (cmd == "sendgift") EXPECT_NE(std::string::npos, hay.find("&tid=2002&"));
            } else if (e.rfind("target:", 0) == 0) {
                EXPECT_EQ(uint32_t(std::stoul(e.substr(7))), col.Target());
            } else if (e.rfind("right:", 0) == 0) {
                EXPECT_EQ(kOther, col.right.target);
                EXPECT_EQ(kOther, col.right.located);
            } else if (e == "login") {
                EXPECT_EQ(1, col.logic.logins);
            } else if (e.rfind("chat:", 0) == 0) {
                anyChat = true;
                ASSERT_EQ(1u, col.logic.sent.size());
                auto [t, text, pub] = col.logic.sent[0];
                EXPECT_EQ(e.substr(5), StringUtility::Format("%u %s %s", t, text.c_str(), pub ? "public" : "private"));
            }
        }
        if (!anyPost) EXPECT_TRUE(col.posted.empty());
        if (!anyChat) EXPECT_TRUE(col.logic.sent.empty());
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 300; });
    }
}

TEST(ChatColumnButtons, ColourBarIntervalsMenuAndRequest) {
    AfxGetConfigManager()->SetString("roomset", "MinIntervalSendColorBarRegister", "", 1);
    struct Case {
        const char* name;
        uint32_t level, role;
        uint32_t sinceLast;  // ms since the last colour bar; 0 = none sent
        uint32_t menuOpen;   // ms the last colour bar's menu stayed open before its send
        int menu;            // the menu's answer
        bool ready;
        const char* refusal;  // null: sent
    } cases[] = {
        {"registered, first", 200, 0, 0, 0, 5, true, nullptr},
        {"registered, 10 s after", 200, 0, 10000, 0, 5, true, "还有50秒，成为VIP可大大缩短等待时间"},
        {"registered, 60 s after", 200, 0, 60000, 0, 5, true, nullptr},
        {"registered, 20 s after a send whose menu stayed open 50 s", 200, 0, 20000, 50000, 5, true, "还有40秒"},
        {"guest", 100, 0, 0, 0, 5, true, "马上登陆，为心仪的主播喝彩！"},
        {"guest with a role", 100, 30, 0, 0, 5, true, nullptr},
        {"vip, 1 s after", 300, 0, 1000, 0, 5, true, "您喊得太快了，停下来歇会吧"},
        {"vip, 2 s after", 300, 0, 2000, 0, 5, true, nullptr},
        {"menu closed", 300, 0, 0, 0, -1, true, ""},
        {"not connected", 300, 0, 0, 0, 5, false, "正在连接聊天服务，请稍后重试"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Column col;
        CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) { a.level = c.level; });
        CRoomInfoMgr::GetInstance().SetUserRole(kRoom, roomtest::kSelf, c.role);
        uint32_t now = 0xFFFFF000u;  // the interval holds across the tick's wrap
        col.center.Tick = [&] { return now; };
        std::vector<std::vector<ZqMenuItem>> menus;
        uint32_t menuOpen = c.menuOpen;
        col.center.RunMenu = [&](const std::vector<ZqMenuItem>& items, POINT) {
            menus.push_back(items);
            now += menuOpen;
            return c.menu;
        };
        if (c.sinceLast) {
            col.center.OnColorBar();
            menuOpen = 0;
            ASSERT_EQ(1u, col.posted.size());
            col.posted.clear();
            now += c.sinceLast;
        }
        int ownBefore = col.own.NodeCount();
        col.logic.ready = c.ready;
        col.center.OnColorBar();
        if (!c.refusal) {
            ASSERT_EQ(1u, col.posted.size());
            EXPECT_EQ(0u, col.posted[0].find("sendcolorbar "));
            EXPECT_NE(std::string::npos, col.posted[0].find("&tid=0&cid=5"));
            ASSERT_FALSE(menus.empty());
            // Every colour bar of the catalogue, in ascending id order.
            ASSERT_EQ(2u, menus.back().size());
            EXPECT_EQ(5, menus.back()[0].nID);
            EXPECT_EQ("加油", std::string(menus.back()[0].sText.c_str()));
            EXPECT_EQ(7, menus.back()[1].nID);
        } else {
            EXPECT_TRUE(col.posted.empty());
            if (*c.refusal) EXPECT_NE(std::string::npos, col.own.Text().find(c.refusal));
            else EXPECT_EQ(ownBefore, col.own.NodeCount());
        }
        CRoomInfoMgr::GetInstance().SetUserRole(kRoom, roomtest::kSelf, 0);
    }
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 300; });
}

TEST(ChatColumnButtons, ShieldMenuTogglesAndPopupOpeners) {
    Column col;
    IConfigManager* cfg = AfxGetConfigManager();
    cfg->SetInt("roomset", "ShieldFlash", 0);
    cfg->SetInt("roomset", "ShieldBrushGift", 1);
    std::vector<bool> checks;
    int answer = 0;
    col.center.RunMenu = [&](const std::vector<ZqMenuItem>& items, POINT) {
        checks = {items[0].bChecked, items[1].bChecked};
        return answer;
    };
    col.center.OnShieldMenu();
    col.center.OnShieldMenu();
    int flash = -1;
    cfg->GetInt("roomset", "ShieldFlash", flash, -1);
    EXPECT_EQ(0, flash);
    EXPECT_EQ((std::vector<bool>{true, false}), col.shields);
    EXPECT_EQ((std::vector<bool>{true, true}), checks);  // as the second menu showed them
    answer = 1;
    col.center.OnShieldMenu();
    EXPECT_EQ(std::vector<bool>{false}, col.logic.brush);  // stored 1: the brush shield goes off
    answer = -2;
    col.center.OnShieldMenu();
    EXPECT_EQ(2u, col.shields.size());

    // Temporary notice and trumpet: refusals, then the popups.
    CRoomInfoMgr::GetInstance().SetUserMuteState(kRoom, roomtest::kSelf, 2);
    col.center.OnTempNotice();
    EXPECT_NE(std::string::npos, col.own.Text().find("您已被禁言5分钟"));
    CRoomInfoMgr::GetInstance().SetUserMuteState(kRoom, roomtest::kSelf, 0);
    ActionsSetup().welcome = false;
    col.center.OnTempNotice();
    EXPECT_NE(std::string::npos, col.own.Text().find(BuildTmpNoticeUpgradeTip()));
    ActionsSetup().welcome = true;
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    col.center.OnTempNotice();
    EXPECT_TRUE(col.center.Popups().notice.IsWindowVisible());
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 100; });
    col.center.OnTrumpet();
    EXPECT_FALSE(col.center.Popups().trumpet.GetHWND());
    EXPECT_NE(std::string::npos, col.own.Text().find(BuildTrumpetNeedLoginTip()));
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 300; });
    col.center.OnTrumpet();
    EXPECT_TRUE(col.center.Popups().trumpet.IsWindowVisible());
    col.center.DestroyPopups();
}

// The temporary-notice and trumpet buttons follow the stealth flag and right 18; a stealth user's clicks
// open no popup.
// The welcome-words presets sit in a submenu of the real menu; a preset chosen there is sent.
TEST(ChatColumnButtons, WelcomeMenuPresetsInASubmenu) {
    struct MenuColumn : Column {
        void PushModalWnd(HWND h) override {
            auto* menu = dynamic_cast<CZqMenuUI*>(CWindowWnd::FromHandle(h));
            if (!menu) return;
            duitest::RunLater(5, [menu] {
                duitest::RunLater(5, [menu] {
                    CZqMenuUI* sub = menu->GetSubMenu();
                    ASSERT_NE(sub, nullptr);
                    EXPECT_EQ(sub->GetMenuManager()->FindControl("menuitem_2")->GetText().find("哥哥"), 3u);
                    UITest::Click(sub, "menuitem_2");
                });
                UITest::Click(menu, "menuitem_0");  // "迎宾语"
            });
        }
    } col;
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 500; });
    CRoomInfoMgr::GetInstance().SetUserRole(kRoom, roomtest::kSelf, 30);
    col.center.OnWelcomeMenu();
    ASSERT_EQ(1u, col.posted.size());
    EXPECT_EQ(0u, col.posted[0].find("updatewelword "));
    EXPECT_NE(std::string::npos, Decoded(col.posted[0]).find("哥哥，有女朋友了吗？"));
    CRoomInfoMgr::GetInstance().SetUserRole(kRoom, roomtest::kSelf, 0);
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 300; });
}

TEST(ChatColumnButtons, NoticeAndTrumpetFollowStealthAndRights) {
    struct Row {
        int stealth;
        bool right;
        bool notice;
        const char* noticeTip;
        bool trumpet;
        const char* trumpetTip;
    } rows[] = {
        {0, true, true, "临时公告", true, "发送喇叭"},
        {0, false, false, "大亨才可以使用临时公告", true, "发送喇叭"},
        {1, true, false, "隐身状态下不可以发送临时公告", false, "隐身状态下不可以发送喇叭"},
        {2, true, false, "大亨才可以使用临时公告", false, "隐身状态下不可以发送喇叭"},
    };
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    for (const Row& r : rows) {
        Column col;
        ActionsSetup().welcome = r.right;
        CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) { a.stealth = r.stealth; });
        CPaintManagerUI pm;
        CDialogBuilder b;
        CControlUI* root = b.Create(
            "<HorizontalLayout><Button name=\"btnChatTempNotice\"/><Button "
            "name=\"btnChatTrumpet\"/></HorizontalLayout>",
            nullptr, nullptr, &pm);
        pm.AttachDialog(root);
        col.center.InitControls(&col, &col, &col.own, &col.pub, nullptr, col.combo, &col.box, &pm);
        CControlUI* notice = pm.FindControl("btnChatTempNotice");
        CControlUI* trumpet = pm.FindControl("btnChatTrumpet");
        EXPECT_EQ(notice->IsEnabled(), r.notice) << r.stealth << r.right;
        EXPECT_EQ(notice->GetToolTip(), r.noticeTip) << r.stealth << r.right;
        EXPECT_EQ(trumpet->IsEnabled(), r.trumpet) << r.stealth;
        EXPECT_EQ(trumpet->GetToolTip(), r.trumpetTip) << r.stealth;
        EXPECT_EQ(col.box.IsSelected(), r.stealth != 0);
        col.center.OnTempNotice();
        col.center.OnTrumpet();
        if (r.stealth) {
            EXPECT_FALSE(col.center.Popups().notice.GetHWND());
            EXPECT_FALSE(col.center.Popups().trumpet.GetHWND());
            EXPECT_NE(std::string::npos, col.own.Text().find("隐身状态下不可以发送临时公告"));
            EXPECT_NE(std::string::npos, col.own.Text().find("隐身状态下不可以发送喇叭"));
        }
        col.center.DestroyPopups();
    }
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.stealth = 0; });
}

namespace {
struct Stack : Column {
    std::vector<HWND> pushed;
    int cancels = 0;
    void PushModalWnd(HWND h) override { pushed.push_back(h); }
    void ContinueModalCancel() override { ++cancels; }
};
}  // namespace

TEST(ChatPane, OwnContextMenuOnTheModalStackAndNoReloadKeys) {
    struct Case {
        bool selection;
        int answer;
        const char* expect;  // "copy", "all", "empty", "cancel", "" (nothing)
    } cases[] = {
        {true, 0, "copy"}, {false, 0, ""}, {false, 1, "all"}, {true, 2, "empty"}, {false, -2, "cancel"}, {true, -1, ""},
    };
    for (const Case& c : cases) {
        Stack host;
        auto* view = new webview::CHeadlessWebView();
        CWebChatView pane(view);
        pane.SetCallBack(nullptr);
        pane.SetModalHost(&host);
        view->FinishLoad();
        pane.AppendHtml("a<BR>b");
        std::vector<ZqMenuItem> shown;
        pane.RunMenu = [&](const std::vector<ZqMenuItem>& items, POINT) {
            shown = items;
            return c.answer;
        };
        view->FireContextMenuAt(10, 20, c.selection);
        ASSERT_EQ(3u, shown.size());
        EXPECT_EQ(!c.selection, shown[0].bDisabled);
        std::string got = host.cancels ? "cancel" : pane.NodeCount() == 0 ? "empty" : "";
        for (webview::EditCommand e : view->EditCommands()) got += e == webview::EditCommand::Copy ? "copy" : "all";
        EXPECT_EQ(c.expect, got) << c.answer;
    }
    // A pane that goes while its menu runs is not touched afterwards.
    Stack host;
    auto* view = new webview::CHeadlessWebView();
    auto pane = std::make_unique<CWebChatView>(view);
    pane->SetCallBack(nullptr);
    view->FinishLoad();
    pane->RunMenu = [&](const std::vector<ZqMenuItem>&, POINT) {
        pane.reset();
        return 2;
    };
    view->FireContextMenuAt(0, 0, false);
    EXPECT_FALSE(pane);

    // The reload keys: swallowed by the chat page, a reload elsewhere.
    struct Key {
        unsigned keyval, state;
        bool reload;
    } keys[] = {{0xFFC2, 0, true}, {0xFFC2, 4, true}, {'r', 4, true},
                {'R', 5, true},    {'r', 0, false},   {0xFFC3, 0, false}};
    for (const Key& k : keys) {
        auto* local = new webview::CHeadlessWebView();
        CWebChatView chat(local);
        chat.SetCallBack(nullptr);
        EXPECT_EQ(k.reload, local->PressKey(k.keyval, k.state)) << k.keyval;
        EXPECT_EQ(0, local->Refreshes());
        auto* other = new webview::CHeadlessWebView();
        EXPECT_FALSE(other->PressKey(k.keyval, k.state));
        EXPECT_EQ(k.reload ? 1 : 0, other->Refreshes());
        other->Close();
    }
}

TEST(RightColumnTips, FailureTextsLinksAndTrumpetButtons) {
    Column col;
    CRightColumnTips tips;
    CHeadlessChatView trumpet;
    trumpet.SetReady(true);
    tips.InitControls(&col, nullptr, &trumpet);
    struct Case {
        const char* text;
        std::string shown;
    } cases[] = {
        {"送礼失败：余额不足", CRightColumnTips::BalanceTipText()},
        {"余额 不足", "余额 不足"},
        {"xx余额不yy", CRightColumnTips::BalanceTipText()},
        {"网络错误", "网络错误"},
    };
    for (const Case& c : cases) {
        tips.ShowGiftFailTip(c.text);
        EXPECT_EQ(c.shown, tips.TipText());
        EXPECT_TRUE(tips.TipVisible());
    }
    tips.HideGiftTip();
    EXPECT_FALSE(tips.TipVisible());

    // Links: login and registration only in the guest tip, the pay page only in the balance tip.
    std::vector<std::string> boxes, opened;
    roompopups::SetRoomMessageBoxHook([&](const std::string& t, const std::string&) { boxes.push_back(t); });
    static std::vector<std::string>* s_opened = &opened;
    webview::SetUrlOpener([](const std::string& url) { return s_opened->push_back(url), true; });
    tips.ShowGiftTip(CRightColumnTips::GuestTipText());
    tips.OnLink(0);
    tips.OnLink(1);
    tips.OnLink(2);
    EXPECT_EQ(1, col.logic.logins);
    EXPECT_EQ(1, col.logic.registers);
    tips.ShowGiftTip("其他{a x}链接{/a}");
    tips.OnLink(0);
    EXPECT_EQ(1, col.logic.logins);
    tips.ShowGiftFailTip("余额不足");
    tips.OnLink(0);
    ASSERT_EQ(1u, opened.size());
    EXPECT_NE(std::string::npos, opened[0].find("/ZeqaShow/openWebWithLogin?uid=1001&sid=9&tm="));
    EXPECT_NE(std::string::npos, opened[0].find("&url=http%3A%2F%2F127.0.0.1%2FZeqaShow%2Flb%2Fpay%3Frid%3D7101"));
    EXPECT_TRUE(boxes.empty());
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.sid = 0; });
    tips.OnLink(0);
    EXPECT_EQ(1u, opened.size());
    EXPECT_EQ(std::vector<std::string>{"登录出现问题，请查看登录状态或者重新登录!"}, boxes);
    roompopups::SetRoomMessageBoxHook(nullptr);
    webview::SetUrlOpener(nullptr);

    // The trumpet view's buttons: clear, and the two scroll buttons standing in for each other.
    trumpet.AppendHtml("a<BR>b<BR>");
    tips.OnWebMouseEnter(0);
    EXPECT_TRUE(tips.HoverVisible(0));
    EXPECT_TRUE(tips.HoverVisible(1));
    tips.OnHoverBtnClick(1);
    EXPECT_FALSE(trumpet.IsAutoScroll());
    EXPECT_FALSE(tips.HoverVisible(1));
    EXPECT_TRUE(tips.HoverVisible(2));
    tips.OnHoverBtnClick(2);
    EXPECT_TRUE(trumpet.IsAutoScroll());
    EXPECT_TRUE(tips.HoverVisible(1));
    tips.OnHoverBtnClick(0);
    EXPECT_EQ(0, trumpet.NodeCount());
    tips.OnWebMouseLeave(0, POINT{-1, -1});
    EXPECT_FALSE(tips.HoverVisible(0));
    EXPECT_FALSE(tips.HoverVisible(1));
}

TEST(RightColumnTips, TipBarClockAndBalancesInTheRoomWindow) {
    ActionsSetup();
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
        a.xiubi = UINT64_MAX;
        a.zebin = 12;
    });
    CRoomUI ui;
    Logic logic;
    ui.SetRoomID(kRoom);
    ui.SetRoomLogic(&logic);
    ASSERT_TRUE(ui.CreateRoomWindow("room(7101)"));
    CPaintManagerUI& pm = ui.m_PaintManager;
    auto text = [&](const char* name) { return std::string(pm.FindControl(name)->GetText().c_str()); };
    EXPECT_EQ("18446744073709551615", text("OwnerMoneyLabel"));
    EXPECT_EQ("12", text("OwnerCreditsLabel"));
    // A gift failure from the room logic shows the pay tip; its timer hides it.
    auto* fail = new RoomGiftFailure;
    fail->statusText = "余额不足";
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_GIFT_FAILED, reinterpret_cast<LPARAM>(fail));
    CControlUI* bar = pm.FindControl("SendGiftErrorTipLayout");
    EXPECT_TRUE(bar->IsVisible());
    EXPECT_EQ(CRightColumnTips::BalanceTipText(), text("SendGiftErrorTipText"));
    TNotifyUI timer;
    timer.sType = "timer";
    timer.pSender = bar;
    timer.wParam = CRightColumnTips::kTipTimer;
    ui.Notify(timer);
    EXPECT_FALSE(bar->IsVisible());
    // The tip is centred on one line; the service's text is text (no tags, no links), only the column's own
    // tips carry links.
    auto* tip = static_cast<CTextUI*>(pm.FindControl("SendGiftErrorTipText"));
    EXPECT_EQ(UINT(DT_CENTER | DT_VCENTER | DT_SINGLELINE), tip->GetTextStyle());
    EXPECT_TRUE(tip->IsShowHtml());
    EXPECT_EQ(1, tip->GetLinkCount());
    fail = new RoomGiftFailure;
    fail->statusText = "失败{b}{a cmdPay}{c #ff0000}点此{/c}{/a}{/b}";
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_GIFT_FAILED, reinterpret_cast<LPARAM>(fail));
    EXPECT_EQ("失败{b}{a cmdPay}{c #ff0000}点此{/c}{/a}{/b}", text("SendGiftErrorTipText"));
    EXPECT_FALSE(tip->IsShowHtml());
    EXPECT_EQ(0, tip->GetLinkCount());
    ui.Notify(timer);
    // The clock shows the server time as local hours, minutes and seconds.
    CGlobalDataApp::GetInstance().SyncServerTime(1700000000);
    timer.pSender = pm.FindControl("ServerTimerLabel");
    timer.wParam = CRightColumnTips::kClockTimer;
    ui.Notify(timer);
    time_t t = time_t(ui.Tips().LastServerTime());
    struct tm local {};
    localtime_r(&t, &local);
    EXPECT_EQ(StringUtility::Format("%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec),
              text("ServerTimerLabel"));
    EXPECT_GE(ui.Tips().LastServerTime(), 1700000000);
    // A coin change of anyone refreshes the labels from the account.
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.xiubi = 7; });
    auto* change = new RoomUserChange;
    change->uid = kOther;
    change->value = 0x8;
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_USER_CHANGED, reinterpret_cast<LPARAM>(change));
    EXPECT_EQ("7", text("OwnerMoneyLabel"));
    ui.CloseRoomWindow();
    EXPECT_EQ(nullptr, ui.GetHWND());
}
