// The gift panel and the gift popups headless, in the room window from its skin, against the local room
// service: each popup's refusals and the request it sends (its fields compared with golden values as the
// service received them, the balance it charged, the notice it announced); the panel's receivers (two users
// of one nickname), counts, categories and special gifts; the lucky-gift queue and the hover card's timer.
#include <gtest/gtest.h>

#include <mutex>

#include "GiftPanel.h"
#include "GlobalData.h"
#include "MsgClientThread.h"
#include "PickerControls.h"
#include "RoomInfoMgr.h"
#include "RoomManager.h"
#include "RoomService.h"
#include "SharedRoomService.h"
#include "RoomTestEnv.h"
#include "RoomWindow.h"
#include "TestKeys.h"
#include "UIGiftPopups.h"
#include "Win32Window.h"
#include "ZqLib.h"

using namespace DuiLib;

using namespace roomui;

namespace {

constexpr uint32_t kRoom = 3003;
constexpr uint32_t kBob = 1002, kBob2 = 1003;  // two users named "鲍勃"
constexpr uint32_t kSid = 7777;
constexpr uint64_t kCoins = 5000000000ULL;

// The catalogue: seven gift groups (the seventh never shown), one whose gifts are all out of sale, the two
// special gifts, stamps.
class GiftHalvec : public roomtest::FakeHalvec {
public:
    GiftCatalogCopy groups;  // owned records
    TagCatalogCopy stamps;
    ~GiftHalvec() override {
        FreeCatalogCopy(groups);
        FreeCatalogCopy(stamps);
    }
    void Add(uint32_t idx, const char* name, uint32_t id, uint32_t price, uint32_t attr = 0,
             uint32_t end = 4102444800u) {
        CatalogGroupInfo g;
        g.idx = idx;
        g.name = name;
        g.path = "res\\gift\\";
        auto* gift = new GiftItem;
        gift->id = id;
        gift->pri = id % 100;
        gift->name = StringUtility::Format("礼物%u", id);
        gift->fname = std::to_string(id) + ".png";
        gift->smallfname = std::to_string(id) + "_s.png";
        gift->price = price;
        gift->ratio = price / 2;
        gift->attr = attr;
        gift->endtm = end;
        groups[g][id] = gift;
        gifts[int(id)] = *gift;
    }
    void GetGiftMap(GiftCatalogCopy& out) override {
        for (const auto& [g, items] : groups)
            for (const auto& [id, item] : items) out[g][id] = new GiftItem(*item);
    }
    bool GetGiftAndGroup(int id, GiftItem& out, CatalogGroupInfo& group) override {
        for (const auto& [g, items] : groups) {
            auto it = items.find(uint32_t(id));
            if (it != items.end()) {
                out = *it->second;
                group = g;
                return true;
            }
        }
        return false;
    }
    bool IsGift21009(int id) override { return id == 21009; }
    bool GetTag(int, int id, GiftItem& out) override {
        for (const auto& [g, items] : stamps)
            if (items.count(uint32_t(id))) return out = *items.at(uint32_t(id)), true;
        return false;
    }
    void GetTagMap(TagCatalogCopy& out) override {
        for (const auto& [g, items] : stamps)
            for (const auto& [id, item] : items) out[g][id] = new GiftItem(*item);
    }
};

GiftHalvec& Catalogue() {
    static GiftHalvec* h = [] {
        auto* c = new GiftHalvec;
        roomtest::Fill(*c);
        c->Add(1, "礼物", 10001, 10, 8);
        c->Add(1, "礼物", 10002, 20);
        c->Add(2, "幸运", 21012, 10000);
        c->Add(3, "过期", 30001, 5, 0, 1000);  // out of sale since 1970
        c->Add(4, "四", 40001, 5);
        c->Add(5, "豪华", 21009, 100000);
        c->Add(5, "豪华", 21011, 500000);
        c->Add(6, "六", 60001, 5);
        c->Add(7, "七", 70001, 5);
        CatalogGroupInfo g;
        g.idx = 1;
        g.path = "res\\tag\\";
        auto* stamp = new GiftItem;
        stamp->id = 1;
        stamp->name = "赞";
        stamp->fname = "1.png";
        c->stamps[g][1] = stamp;
        return c;
    }();
    return *h;
}

using roomsvc::Service;

std::mutex g_noticeLock;
std::vector<std::string> g_notices;  // "cmd body", guarded by g_noticeLock

class FakeLogic : public IRoomLogic {
public:
    bool ready = true;
    IRoomUI* GetRoomUI() override { return nullptr; }
    uint32_t GetRoomID() override { return kRoom; }
    std::string GetMyChatID() override { return "1001_chat"; }
    bool SendChatMsg(uint32_t, const std::string&, bool) override { return true; }
    bool CloseRoom() override { return true; }
    bool IsUserInRoom(uint32_t uid) override { return CRoomInfoMgr::GetInstance().HasUser(kRoom, uid); }
    void SetShieldBrushGift(bool) override {}
    void UnInit() override {}
    bool IsChatReady() override { return ready; }
    bool RequestLogin(IRoomUI*) override { return false; }
    bool RequestRegister(IRoomUI*) override { return false; }
};

// The fields of a query as the service received it.
std::map<std::string, std::string> Fields(const std::string& query) {
    std::map<std::string, std::string> out;
    std::vector<std::string> parts;
    StringUtility::Tokenize(query, "&", parts);
    for (const std::string& p : parts) {
        size_t eq = p.find('=');
        if (eq != std::string::npos) out[p.substr(0, eq)] = p.substr(eq + 1);
    }
    return out;
}

uint64_t Balance(uint32_t uid) {
    uint64_t coins = 0;
    Service().WithData([&](testenv::SvcData& d) { coins = d.users[uid].xiubi; });
    return coins;
}

class GiftTest : public ::testing::Test {
protected:
    void SetUp() override {
        static bool once = [] {
            roomtest::UsePrivateFolders("varnet-gifts");
            Win32Init();
            AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &Catalogue());
            CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
            CGlobalDataApp::GetInstance().SetSignKeys(testenv::kRoomServiceKeyA, testenv::kRoomServiceKeyB);
            Service().SetNoticeSink([](uint32_t room, const std::string& cmd, const std::string& body) {
                std::lock_guard<std::mutex> g(g_noticeLock);
                g_notices.push_back(std::to_string(room) + " " + cmd + " " + body);
            });
            Service().Start(0);
            CMsgClientThread& w = CMsgClientThread::GetInstance();
            w.SetEndpoint(Service().Endpoint());
            w.SetRequestTimeout(3000);
            w.Start();
            return true;
        }();
        (void)once;
        Service().LoadSampleData();
        for (const char* cmd : {"sendgift", "sendtag", "sendmultigift"}) base[cmd] = Service().Queries(cmd).size();
        Service().WithData([](testenv::SvcData& d) {
            d.users[1001].sid = kSid;
            d.users[kBob2].nickname = "鲍勃";
            d.rooms[int(kRoom)].users.insert(1001);
        });
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
            a.uid = 1001;
            a.sid = kSid;
            a.level = 300;
            a.stealth = 0;
            a.xiubi = kCoins;
        });
        CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
        store.RemoveRoom(kRoom);
        store.InsertRoom(kRoom, ChatServerInfo{});
        for (uint32_t uid : {1001u, kBob, kBob2}) {
            RoomUserInfo u;
            u.uid = uid;
            u.nickname = uid == 1001 ? "爱丽丝" : "鲍勃";
            u.level = 250;
            u.mic = uid == 1001 ? 0 : 1;
            u.beautyid = uid + 80000;
            store.AddRoomUser(kRoom, u);
        }
        {
            std::lock_guard<std::mutex> g(g_noticeLock);
            g_notices.clear();
        }
        ui.SetRoomID(kRoom);
        ui.SetRoomLogic(&logic);
        ASSERT_TRUE(ui.CreateRoomWindow("room(3003)"));
        ui.Gifts().ShowGiftTip = ui.Gifts().ShowGiftFailTip = [this](const std::string& t) { tips.push_back(t); };
    }
    void TearDown() override { ui.CloseRoomWindow(); }

    // The first query of `cmd` of this test (waited for at most 5 s).
    std::map<std::string, std::string> Await(const char* cmd) {
        EXPECT_TRUE(PumpUntil([&] { return Sent(cmd) >= 1; }, 5000)) << cmd;
        std::vector<std::string> q = Service().Queries(cmd);
        return q.size() > base[cmd] ? Fields(q[base[cmd]]) : std::map<std::string, std::string>();
    }
    // Queries of `cmd` in this test.
    size_t Sent(const char* cmd) { return Service().Queries(cmd).size() - base[cmd]; }
    static bool NoticeWith(const std::string& text) {
        return PumpUntil(
            [&] {
                std::lock_guard<std::mutex> g(g_noticeLock);
                for (const std::string& n : g_notices)
                    if (n.find(text) != std::string::npos) return true;
                return false;
            },
            5000);
    }
    void Click(const char* name, UINT_PTR tag) {
        CControlUI cell;
        cell.SetName(name);
        cell.SetTag(tag);
        TNotifyUI msg;
        msg.sType = "click";
        msg.pSender = &cell;
        ui.Notify(msg);
    }
    void ExpectFields(const std::map<std::string, std::string>& got, const std::map<std::string, std::string>& want) {
        for (const auto& [k, v] : want) {
            auto it = got.find(k);
            EXPECT_TRUE(it != got.end() && it->second == v)
                << k << " = " << (it == got.end() ? "(none)" : it->second) << ", want " << v;
        }
    }

    CRoomUI ui;
    FakeLogic logic;
    std::vector<std::string> tips;
    std::map<std::string, size_t> base;
};

template <class Popup>
class Recorded : public Popup {
public:
    std::vector<std::pair<std::string, int>> boxes;
    void ShowBox(const std::string& text, int kind) override { boxes.emplace_back(text, kind); }
};

// ---- the panel -----------------------------------------------------------------------------------------

TEST_F(GiftTest, PanelPagesCountsAndReceiversByUserId) {
    CDealGiftPanel& panel = ui.Gifts();
    // Six pages of the seven groups; the group out of sale has its page but no button.
    ASSERT_NE(panel.Pages(), nullptr);
    EXPECT_EQ(panel.Pages()->GetCount(), 6);
    std::vector<std::string> buttons;
    std::vector<UINT_PTR> tags;
    for (int i = 0; i < panel.Categories()->GetCount(); ++i)
        if (CControlUI* c = panel.Categories()->GetItemAt(i); c->GetName() == "optionGiftCategory") {
            buttons.push_back(c->GetText().c_str());
            tags.push_back(c->GetTag());
        }
    EXPECT_EQ(buttons, (std::vector<std::string>{"礼物", "幸运", "四", "豪华", "六"}));
    EXPECT_EQ(tags, (std::vector<UINT_PTR>{0, 1, 3, 4, 5}));
    auto* page = dynamic_cast<CContainerUI*>(panel.Pages()->GetItemAt(0));
    ASSERT_EQ(page->GetCount(), 2);
    // The pictures come from the installation folder the catalogue was read from, also when that is not the
    // program's own folder (the updater writes new pictures there).
    ASSERT_NE(Dir::GetZqPath(100), Dir::GetCurrentPath());
    EXPECT_EQ(page->GetItemAt(0)->GetBkImage(),
              "file='" + Dir::GetZqPath(100) + "res\\gift\\10001_s.png' dest='10,9,50,49'");

    // A preset fills the count; a category resets it to 1.
    TNotifyUI pick;
    pick.sType = "itemselect";
    pick.pSender = ui.m_PaintManager.FindControl("NumGiftToComBo");
    static_cast<CComboUI*>(pick.pSender)->SelectItem(1);
    ui.Notify(pick);
    EXPECT_EQ(panel.CountEdit()->GetText(), "520(我爱你)");
    // A count typed by hand is no preset any more.
    auto* presets = static_cast<CComboUI*>(pick.pSender);
    EXPECT_EQ(presets->GetCurSel(), 1);
    panel.CountEdit()->InputText("52");
    EXPECT_EQ(presets->GetCurSel(), -1);
    TNotifyUI category;
    category.sType = "selectchanged";
    category.pSender = panel.Categories()->GetItemAt(3);
    ui.Notify(category);
    EXPECT_EQ(panel.Pages()->GetCurSel(), 1);
    EXPECT_EQ(panel.CountEdit()->GetText(), "1");

    // Receivers (the user-list column's combo): one item per user on a microphone; two of one nickname stay
    // apart, and the panel's receiver is the chosen item's user.
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_USER_LIST, kRoom);
    ASSERT_EQ(panel.Receivers()->GetCount(), 2);
    ui.Right().AddGiftTarget("鲍勃", kBob2);
    EXPECT_EQ(panel.Receivers()->GetCount(), 2);
    EXPECT_EQ(panel.ChosenReceiver(), kBob2);
    ui.Right().AddGiftTarget("鲍勃", kBob);
    EXPECT_EQ(panel.ChosenReceiver(), kBob);
    ui.Right().SelectGiftTarget(kBob2);
    ASSERT_EQ(panel.ChosenReceiver(), kBob2);

    // The gift goes to the chosen one of them; the service charges it and announces it.
    panel.CountEdit()->SetText("3(三)");
    Click("btnGiftSelectItem", 10001);
    auto q = Await("sendgift");
    ExpectFields(q, {{"uid", "1001"},
                     {"sid", "7777"},
                     {"rid", "3003"},
                     {"tid", "1003"},
                     {"gid", "10001"},
                     {"cnt", "3"},
                     {"word", ""}});
    EXPECT_EQ(Balance(1001), kCoins - 30);
    EXPECT_TRUE(NoticeWith("3003 notifygift rid=3003\nfid=1001\ntid=1003\ngid=10001\ncnt=3\nhiscnt=3\n"));
    EXPECT_TRUE(tips.empty());

    // Refusals are tips and send nothing.
    panel.CountEdit()->SetText("abc");
    Click("btnGiftSelectItem", 10001);
    logic.ready = false;
    Click("btnGiftSelectItem", 10001);
    logic.ready = true;
    ui.Right().RemoveUser(kBob);
    ui.Right().RemoveUser(kBob2);
    panel.CountEdit()->SetText("1");
    Click("btnGiftSelectItem", 10001);
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 100; });
    Click("btnGiftSelectItem", 10001);
    EXPECT_EQ(tips, (std::vector<std::string>{"赠予数量必须大于0!", "正在连接聊天服务，请稍后重试", "赠予人不能为空!",
                                              "游客不能送礼，{a cmdLogin}{c #0c67c1}登录{/c}{/a}或{a cmdRegist}{c "
                                              "#0c67c1}注册{/c}{/a}"}));
    PumpMessagesFor(100);
    EXPECT_EQ(Sent("sendgift"), 1u);
}

TEST_F(GiftTest, PanelStealthAndSpecialGifts) {
    CDealGiftPanel& panel = ui.Gifts();
    ui.Right().AddGiftTarget("鲍勃", kBob);
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.stealth = 1; });
    Click("btnGiftSelectItem", 10002);
    EXPECT_EQ(tips, std::vector<std::string>{"隐身状态只能送豪华礼物!"});
    Click("btnGiftSelectItem", 21011);
    ExpectFields(Await("sendgift"), {{"tid", "1002"}, {"gid", "21011"}, {"cnt", "1"}});
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.stealth = 0; });

    // The cheque gift opens the cheque for the chosen receiver, the group gift its popup.
    Click("btnGiftSelectItem", 21012);
    ASSERT_NE(panel.Cheque(), nullptr);
    EXPECT_TRUE(panel.Cheque()->IsWindowVisible());
    EXPECT_EQ(panel.Cheque()->Receiver(), kBob);
    EXPECT_EQ(panel.Cheque()->m_PaintManager.FindControl("SendToPeopleLabel")->GetText(), "鲍勃");
    Click("btnGiftSelectItem", 21009);
    ASSERT_NE(panel.GroupGift(), nullptr);
    EXPECT_TRUE(panel.GroupGift()->IsWindowVisible());
    EXPECT_EQ(panel.GroupGift()->Users()->GetCount(), 2);
    // The user menu's gift with words and stamp (items 11 and 12) open the panel's popups for its target.
    RoomUserInfo target;
    ASSERT_TRUE(CRoomInfoMgr::GetInstance().GetRoomUser(kRoom, kBob2, target));
    ui.Right().RunMenuAction(11, target);
    ASSERT_NE(panel.Words(), nullptr);
    EXPECT_EQ(panel.Words()->Receiver(), kBob2);
    ui.Right().RunMenuAction(12, target);
    ASSERT_NE(panel.Stamps(), nullptr);
    EXPECT_EQ(panel.Stamps()->Target(), kBob2);
    // A receiver who left: the cheque is refused with its tip.
    CRoomInfoMgr::GetInstance().RemoveRoomUser(kRoom, kBob);
    Click("btnGiftSelectItem", 21012);
    EXPECT_EQ(tips.back(), "获取赠送人信息失败!");
    EXPECT_EQ(Sent("sendgift"), 1u);
}

TEST_F(GiftTest, RestingOnAGiftShowsItsCard) {
    auto* page = dynamic_cast<CContainerUI*>(ui.Gifts().Pages()->GetItemAt(0));
    RECT cell = page->GetItemAt(1)->GetPos();
    LPARAM at = MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    ::SendMessage(ui.GetHWND(), WM_MOUSEMOVE, 0, at);
    ASSERT_TRUE(PumpUntil([&] { return ui.Gifts().Preview() && ui.Gifts().Preview()->IsWindowVisible(); }, 5000));
    EXPECT_EQ(ui.Gifts().Preview()->ShownGift(), 10002);
    ::SendMessage(ui.GetHWND(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));  // off the cells
    EXPECT_TRUE(ui.Gifts().Preview()->IsHideArmed());
    EXPECT_TRUE(PumpUntil([&] { return !ui.Gifts().Preview()->IsWindowVisible(); }, 5000));
}

TEST_F(GiftTest, PagesRebuiltAfterACatalogueReload) {
    CRoomManager manager(&ui);
    auto cells = [&] { return dynamic_cast<CContainerUI*>(ui.Gifts().Pages()->GetItemAt(0))->GetCount(); };
    EXPECT_EQ(cells(), 2);
    manager.OnGiftResourceUpdate(false);
    Catalogue().Add(1, "礼物", 10003, 30);
    manager.OnGiftResourceUpdate(true);
    EXPECT_EQ(cells(), 3);
    EXPECT_EQ(ui.Gifts().Pages()->GetCount(), 6);
}

// ---- the sending popups --------------------------------------------------------------------------------

TEST_F(GiftTest, ChequeChecksAndRequest) {
    Recorded<CUICheque> dlg;
    ASSERT_TRUE(dlg.Create(ui.GetHWND(), "支票对话框", UI_WS_POPUP, 0, 0, 0, CUICheque::kWidth, CUICheque::kHeight));
    dlg.SetReceiver(kBob, &ui, "鲍勃");
    auto* edit = static_cast<CEditUI*>(dlg.m_PaintManager.FindControl("ShowCoinNumEdit"));
    auto text = [&](const char* name) { return std::string(dlg.m_PaintManager.FindControl(name)->GetText().c_str()); };
    edit->SetText("15");
    dlg.OnAmountChanged();
    EXPECT_EQ(text("ShowCoinInputErrLabel"), "输入的Z币必须为10万的倍数");
    TNotifyUI preset;
    preset.sType = "click";
    preset.pSender = dlg.m_PaintManager.FindControl("FiftyThousandChequeBTN");
    dlg.Notify(preset);
    EXPECT_EQ(std::string(edit->GetText().c_str()), "50");
    EXPECT_EQ(text("PeopleObtainLabel"), "45 万 Z币");
    EXPECT_EQ(text("ShowCoinInputErrLabel"), "");

    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.xiubi = 99999; });
    edit->SetText("10");
    dlg.Send();
    EXPECT_EQ(text("ShowCoinInputErrLabel"), "余额不足，请先充值");
    EXPECT_EQ(dlg.LastCloseCode(), 0);
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.xiubi = 100000; });
    dlg.Send();
    ExpectFields(Await("sendgift"),
                 {{"uid", "1001"}, {"rid", "3003"}, {"tid", "1002"}, {"gid", "21012"}, {"cnt", "1"}, {"word", ""}});
    EXPECT_EQ(dlg.LastCloseCode(), 1);
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_EQ(Balance(1001), kCoins - 100000);
    EXPECT_TRUE(NoticeWith("notifygift rid=3003\nfid=1001\ntid=1002\ngid=21012\ncnt=1\n"));
    EXPECT_TRUE(dlg.boxes.empty());
}

TEST_F(GiftTest, WordsChecksAndRequest) {
    Recorded<CUIWordsProps> dlg;
    ASSERT_TRUE(
        dlg.Create(ui.GetHWND(), "赠言道具", UI_WS_POPUP, 0, 0, 0, CUIWordsProps::kWidth, CUIWordsProps::kHeight));
    dlg.SetReceiver(kBob2, &ui, "鲍勃");
    auto* grid = dynamic_cast<CContainerUI*>(dlg.m_PaintManager.FindControl("WordGiftSelectControl"));
    ASSERT_EQ(grid->GetCount(), 1);  // only the gift with words (attribute 8)
    CControlUI* cell = grid->GetItemAt(0);
    dlg.SelectGift(cell);
    EXPECT_EQ(dlg.SelectedGift(), 10001u);
    dlg.SelectGift(cell);  // the marked cell is unmarked
    EXPECT_EQ(dlg.SelectedGift(), 0u);
    dlg.SelectGift(cell);
    CControlUI* count = dlg.m_PaintManager.FindControl("GiftNumEdit");
    CControlUI* words = dlg.m_PaintManager.FindControl("WordsOfAdviceRichEdit");
    EXPECT_EQ(std::string(count->GetText().c_str()), "1");
    count->SetText("(188");
    dlg.Send();
    words->SetText("来 www.example.com 玩");
    count->SetText("188(要抱抱)");
    dlg.Send();
    words->SetText("<b onclick=x()>hi</b>");
    dlg.Send();
    EXPECT_EQ(dlg.boxes, (std::vector<std::pair<std::string, int>>{{"赠予数量必须大于0!", 0},
                                                                   {"赠言内容中不允许有超链接!", 0},
                                                                   {"赠言内容中不允许有特殊html标签!", 0}}));
    // The words take 20 characters, a Chinese one counting one.
    TNotifyUI typed;
    typed.sType = "textchanged";
    typed.pSender = words;
    std::string many;
    for (int i = 0; i < 21; ++i) many += "祝";
    words->SetText(many.c_str());
    dlg.Notify(typed);
    EXPECT_EQ(std::string(words->GetText().c_str()), many.substr(0, 40));
    EXPECT_EQ(std::string(dlg.m_PaintManager.FindControl("WordsLimitLabel")->GetText().c_str()), "还剩0个字符");
    words->SetText("生日快乐 bad");
    dlg.Notify(typed);
    EXPECT_EQ(std::string(dlg.m_PaintManager.FindControl("WordsLimitLabel")->GetText().c_str()), "还剩12个字符");
    dlg.Send();
    ExpectFields(Await("sendgift"),
                 {{"tid", "1003"}, {"gid", "10001"}, {"cnt", "188"}, {"word", UrlEncode::Encode("生日快乐 ***")}});
    EXPECT_EQ(dlg.LastCloseCode(), 1);
    EXPECT_EQ(Balance(1001), kCoins - 1880);
    EXPECT_TRUE(NoticeWith("word=" + UrlEncode::Encode("生日快乐 ***")));
}

TEST_F(GiftTest, StampChecksAndRequest) {
    Recorded<CUIABStempeln> dlg;
    ASSERT_TRUE(
        dlg.Create(ui.GetHWND(), "盖章对话框", UI_WS_POPUP, 0, 0, 0, CUIABStempeln::kWidth, CUIABStempeln::kHeight));
    dlg.SetTarget(&ui, kBob);
    dlg.LoadStampItems();
    auto* grid = dynamic_cast<CContainerUI*>(dlg.m_PaintManager.FindControl("ABStempelnSelControl"));
    ASSERT_EQ(grid->GetCount(), 1);
    EXPECT_EQ(std::string(grid->GetItemAt(0)->GetToolTip().c_str()), "赞");
    dlg.SendStamp(99);  // not in the catalogue: nothing
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.xiubi = 999; });
    dlg.SendStamp(1);
    EXPECT_EQ(dlg.boxes, (std::vector<std::pair<std::string, int>>{{"余额不足，联系代理，充值优惠多~", 3}}));
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.xiubi = 1000; });
    dlg.SendStamp(1);
    ExpectFields(Await("sendtag"), {{"uid", "1001"}, {"rid", "3003"}, {"tid", "1002"}, {"tagid", "1"}});
    EXPECT_EQ(dlg.LastCloseCode(), 1);
    EXPECT_TRUE(NoticeWith("notifytag rid=3003\nfid=1001\ntid=1002\ntagid=1\n"));
}

TEST_F(GiftTest, GroupGiftFiltersTotalAndRequest) {
    Recorded<CUIGroupFreshProps> dlg;
    ASSERT_TRUE(dlg.Create(ui.GetHWND(), "群刷道具", UI_WS_POPUP, 0, 0, 0, CUIGroupFreshProps::kWidth,
                           CUIGroupFreshProps::kHeight));
    // Two more users: a manager off the microphone and a hidden one (never listed).
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    RoomUserInfo boss;
    boss.uid = 1004;
    boss.nickname = "室长";
    boss.level = 250;
    boss.role = 40;
    store.AddRoomUser(kRoom, boss);
    RoomUserInfo hidden = boss;
    hidden.uid = 1005;
    hidden.role = 0;
    hidden.hide = 1;
    store.AddRoomUser(kRoom, hidden);
    Service().WithData([](testenv::SvcData& d) { d.rooms[int(kRoom)].users.insert(1004); });
    dlg.InitData(&ui, kRoom);
    CGroupUserListUI* users = dlg.Users();
    auto checked = [&] {
        std::vector<uint32_t> ids;
        users->GetCheckedUserIDs(ids);
        return ids;
    };
    ASSERT_EQ(users->GetCount(), 3);
    EXPECT_EQ(users->GetUserIDAt(0), 1004u);  // the room's owner first
    users->CheckAt(2);
    users->CheckAt(3);  // out of range: ignored
    uint32_t marked = users->GetUserIDAt(2);
    users->SortUserList();  // a check stays with its user
    EXPECT_EQ(checked(), std::vector<uint32_t>{marked});
    users->CheckAll(false);
    // The rows as the list builds them: check box, level icon, nickname, and the id (the user id without a
    // beauty id); the row accessors.
    CControlUI* row = users->GetItemAt(0);
    auto* horiz = static_cast<CContainerUI*>(static_cast<CContainerUI*>(row->GetInterface("Container"))->GetItemAt(0));
    std::vector<std::string> names;
    for (int i = 0; i < horiz->GetCount(); ++i) names.push_back(horiz->GetItemAt(i)->GetName().c_str());
    EXPECT_EQ(names, (std::vector<std::string>{"ChkUserContainer", "LevelIconContainer", "UserNickNameLabel",
                                               "UserBeautyIDLabel"}));
    EXPECT_EQ(std::string(horiz->GetItemAt(3)->GetText().c_str()), "1004");
    EXPECT_EQ(users->GetLevelAt(0), 250);
    EXPECT_EQ(users->GetRoleAt(0), 40);
    EXPECT_EQ(users->GetRoleAt(-1), 255);
    EXPECT_EQ(users->GetLevelAt(9), 0);
    roomui::UserListItemInfo update = *roomui::CUserListUI::RecordOf(row);
    update.nickname = "新室长";
    update.beautyId = 88;
    EXPECT_EQ(users->UpdateUser(update), 1);
    EXPECT_EQ(std::string(horiz->GetItemAt(2)->GetText().c_str()), "新室长");
    EXPECT_EQ(std::string(horiz->GetItemAt(3)->GetText().c_str()), "88");
    // The group's pages: no 21009 nor 21012.
    auto* tabs = dynamic_cast<CTabLayoutUI*>(dlg.m_PaintManager.FindControl("GiftTypePaneTabLayout"));
    ASSERT_EQ(tabs->GetCount(), 6);
    EXPECT_EQ(dynamic_cast<CContainerUI*>(tabs->GetItemAt(1))->GetCount(), 0);
    EXPECT_EQ(dynamic_cast<CContainerUI*>(tabs->GetItemAt(4))->GetCount(), 1);

    auto select = [&](const char* box, bool on) {
        auto* b = static_cast<COptionUI*>(dlg.m_PaintManager.FindControl(box));
        b->Selected(on, false);
        TNotifyUI msg;
        msg.sType = "selectchanged";
        msg.pSender = b;
        dlg.Notify(msg);
    };
    auto label = [&](const char* name) { return std::string(dlg.m_PaintManager.FindControl(name)->GetText().c_str()); };
    select("ManageUsersChkBox", true);
    EXPECT_EQ(checked(), std::vector<uint32_t>{1004});
    select("AllPeopleChkBox", true);
    EXPECT_EQ(users->GetCheckedCount(), 3);
    select("AllPeopleChkBox", false);  // back to the managers
    EXPECT_EQ(checked(), std::vector<uint32_t>{1004});
    select("OnMicUsersChkBox", true);
    EXPECT_EQ(users->GetCheckedCount(), 3);
    EXPECT_EQ(label("SelectedPeopleLabel"), "已选人数: 3 人");

    dlg.Send();
    EXPECT_EQ(dlg.boxes.back().first, "请选择礼物!");
    dlg.SelectGift(10002);
    dlg.m_PaintManager.FindControl("GroupNumGiftToEdit")->SetText("2");
    dlg.UpdateTotal();
    EXPECT_EQ(label("SelGiftNameLabel"), "礼物10002");
    EXPECT_EQ(label("MoneyAmountsLabel"), "总额:120");
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.stealth = 1; });
    dlg.Send();
    EXPECT_EQ(dlg.boxes.back().first, "隐身状态下，群刷道具只能送豪华礼物!");
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.stealth = 0; });
    dlg.Send();
    auto q = Await("sendmultigift");
    ExpectFields(q, {{"rid", "3003"}, {"gid", "10002"}, {"cnt", "2"}, {"type", "5"}});
    std::vector<std::string> ids;
    StringUtility::Tokenize(UrlEncode::Decode(q["tidlist"]), ",", ids);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"1002", "1003", "1004"}));
    EXPECT_EQ(Balance(1001), kCoins - 120);
    EXPECT_TRUE(NoticeWith("tid=1004\ngid=10002\ncnt=2\n"));
    EXPECT_EQ(dlg.LastCloseCode(), 1);
}

// ---- the hover card and the lucky-gift banner ----------------------------------------------------------

TEST_F(GiftTest, PreviewShowsACardAndHidesOnItsTimer) {
    CUIGiftPreview card;
    ASSERT_TRUE(card.Create(ui.GetHWND(), "", UI_WS_POPUP, 0));
    GiftCard c;
    c.giftId = 21012;
    c.name = "支票";
    c.price = 10000;
    c.receiverGets = 9000;
    c.inCoins = true;
    card.ShowGift(c);
    auto label = [&](const char* name) {
        return std::string(card.m_PaintManager.FindControl(name)->GetText().c_str());
    };
    EXPECT_EQ(label("labelGiftCost"), "礼物价值：10000 Z币");
    EXPECT_EQ(label("labelGiftTargetReceive"), "收礼人获得：9000 Z币");
    c.name = "changed";
    card.ShowGift(c);  // the same gift: unchanged
    EXPECT_EQ(label("labelGiftName"), "支票");
    card.ShowWindow(true, false);
    card.SendMessage(WM_MOUSEMOVE, 0, -1);
    EXPECT_TRUE(card.IsHideArmed());
    card.SendMessage(WM_MOUSEMOVE, 0, 5);  // the pointer is over the card
    EXPECT_FALSE(card.IsHideArmed());
    // Hidden by its own timer 700 ms after the pointer left (a timer never fires early).
    DWORD armed = ::GetTickCount();
    card.ArmHide();
    ASSERT_TRUE(PumpUntil([&] { return !card.IsWindowVisible(); }, 10000));
    EXPECT_GE(::GetTickCount() - armed, DWORD(CUIGiftPreview::kHideDelayMs));
    EXPECT_FALSE(card.IsHideArmed());
}

TEST_F(GiftTest, LuckyNoticesQueueAndSkipWinnersWhoLeft) {
    CUILuckyGiftTip tip;
    ASSERT_TRUE(tip.Create(ui.GetHWND(), "", UI_WS_POPUP, 0, 0, 0, 500, 50));
    auto notice = [](uint32_t uid, int multiple) {
        auto* n = new RoomLuckyGift;
        n->uid = uid;
        n->giftId = 501;
        n->multiple = multiple;
        n->income = 5000;
        return n;
    };
    auto label = [&](const char* name) { return std::string(tip.m_PaintManager.FindControl(name)->GetText().c_str()); };
    tip.ShowTip(nullptr, kRoom, notice(kBob, 10));  // ignored (and freed)
    tip.ShowTip(ui.GetHWND(), 0, notice(kBob, 10));
    EXPECT_FALSE(tip.IsWindowVisible());
    tip.ShowTip(ui.GetHWND(), kRoom, notice(kBob, 10));
    EXPECT_TRUE(tip.IsWindowVisible());
    EXPECT_EQ(label("UserInfoLabel"), "鲍勃(81002)");
    EXPECT_EQ(label("BonusLabel"), "5000Z币");
    EXPECT_EQ(std::string(tip.m_PaintManager.FindControl("RewardTimesControl")->GetBkImage()), "file='10.png'");
    tip.ShowTip(ui.GetHWND(), kRoom, notice(1004, 50));  // a winner who is not in the room
    tip.ShowTip(ui.GetHWND(), kRoom, notice(kBob2, 500));
    EXPECT_EQ(tip.Pending(), 2u);
    tip.OnTimer();  // the missing winner is skipped on the same tick
    EXPECT_EQ(label("UserInfoLabel"), "鲍勃(81003)");
    EXPECT_EQ(std::string(tip.m_PaintManager.FindControl("RewardTimesControl")->GetBkImage()), "file='500.png'");
    EXPECT_TRUE(tip.IsWindowVisible());
    tip.OnTimer();
    EXPECT_FALSE(tip.IsWindowVisible());
    EXPECT_EQ(tip.Pending(), 0u);
    // The room window makes its own tip over the banner on the first notice.
    auto* win = notice(kBob2, 50);
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_LUCKY_GIFT, reinterpret_cast<LPARAM>(win));
    ASSERT_NE(ui.LuckyTip(), nullptr);
    EXPECT_TRUE(ui.LuckyTip()->IsWindowVisible());
    EXPECT_EQ(std::string(ui.LuckyTip()->m_PaintManager.FindControl("UserInfoLabel")->GetText().c_str()),
              "鲍勃(81003)");
    // A child of the room window over the banner's place (client coordinates), 50 high.
    const RECT area = ui.m_PaintManager.FindControl("GlobalGiftInform")->GetPos();
    const RECT at = ui.LuckyTip()->GetWindowRect();
    EXPECT_EQ(at.left, area.left);
    EXPECT_EQ(at.top, area.top);
    EXPECT_EQ(at.right - at.left, area.right - area.left);
    EXPECT_EQ(at.bottom - at.top, 50);
    // A notice left in the queue goes with the tip.
    tip.ShowTip(ui.GetHWND(), kRoom, notice(kBob, 10));
    tip.ShowTip(ui.GetHWND(), kRoom, notice(kBob, 10));
    EXPECT_EQ(tip.Pending(), 1u);
    // The queue is bounded: the oldest waiting notices give way.
    for (int i = 1; i <= 40; ++i) {
        RoomLuckyGift* n = notice(kBob, 10);
        n->income = i;
        tip.ShowTip(ui.GetHWND(), kRoom, n);
    }
    EXPECT_EQ(tip.Pending(), CUILuckyGiftTip::kMaxQueued);
    tip.OnTimer();
    EXPECT_EQ(label("BonusLabel"), StringUtility::Format("%dZ币", int(41 - CUILuckyGiftTip::kMaxQueued)));
}

// The banner's own 8-second timer brings the next notice and then hides it; a close request hides it and
// stops the timer.
TEST_F(GiftTest, LuckyNoticeTimerAndClose) {
    CUILuckyGiftTip tip;
    ASSERT_TRUE(tip.Create(ui.GetHWND(), "", UI_WS_POPUP, 0, 0, 0, 500, 50));
    auto notice = [](int income) {
        auto* n = new RoomLuckyGift;
        n->uid = kBob;
        n->giftId = 501;
        n->multiple = 10;
        n->income = income;
        return n;
    };
    auto bonus = [&] { return std::string(tip.m_PaintManager.FindControl("BonusLabel")->GetText().c_str()); };
    const DWORD period = CUILuckyGiftTip::kPeriodMs;
    DWORD start = ::GetTickCount();
    tip.ShowTip(ui.GetHWND(), kRoom, notice(1));
    tip.ShowTip(ui.GetHWND(), kRoom, notice(2));
    EXPECT_EQ(bonus(), "1Z币");
    ASSERT_TRUE(PumpUntil([&] { return bonus() == "2Z币"; }, 60000));
    EXPECT_GE(::GetTickCount() - start, period);
    EXPECT_TRUE(tip.IsWindowVisible());
    DWORD second = ::GetTickCount();
    ASSERT_TRUE(PumpUntil([&] { return !tip.IsWindowVisible(); }, 60000));
    EXPECT_GE(::GetTickCount() - second, period - 50);

    tip.ShowTip(ui.GetHWND(), kRoom, notice(3));
    tip.ShowTip(ui.GetHWND(), kRoom, notice(4));
    ASSERT_TRUE(tip.IsWindowVisible());
    tip.SendMessage(WM_CLOSE, 0, 0);
    EXPECT_FALSE(tip.IsWindowVisible());
    PumpMessagesFor(CUILuckyGiftTip::kPeriodMs + 1000);  // no tick any more
    EXPECT_EQ(bonus(), "3Z币");
    EXPECT_FALSE(tip.IsWindowVisible());
    // The next notice opens it again; the waiting one follows on the timer.
    tip.ShowTip(ui.GetHWND(), kRoom, notice(5));
    EXPECT_TRUE(tip.IsWindowVisible());
    EXPECT_EQ(bonus(), "5Z币");
    EXPECT_EQ(tip.Pending(), 1u);
}

}  // namespace
