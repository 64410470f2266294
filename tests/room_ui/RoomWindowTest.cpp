// The room window without a display: every notification code reaches its handler and its payload is freed
// exactly once; the sending rules of the chat column; the user order and the lists under bursts; the banner.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "ChatHtml.h"
#include "HeadlessWebView.h"
#include "RoomInfoMgr.h"
#include "RoomTestEnv.h"
#include "RoomUiFakes.h"
#include "RoomWindow.h"
#include "UIlib.h"
#include "Win32Window.h"
#include "TestUtil.h"

using namespace DuiLib;

using namespace roomui;

namespace {

constexpr uint32_t kRoom = 7001;
constexpr uint32_t kOther = 2002;
constexpr uint32_t kHidden = 2003;

class RightsHalvec : public roomtest::FakeHalvec {
public:
    bool privateChat = true;
    bool manageRoom = false;
    bool HasRight(int r, int, int) override { return (r == 20 && privateChat) || (r == 17 && manageRoom); }
};

RightsHalvec& RoomSetup() {
    static RightsHalvec halvec;
    static bool done = [] {
        roomtest::UsePrivateFolders("varnet-roomwnd");
        Win32Init();
        roomtest::RegisterCatalogue(halvec);
        return true;
    }();
    (void)done;
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
        a.uid = roomtest::kSelf;
        a.level = 300;
        a.stealth = 0;
        a.nickname = "me";
    });
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    store.RemoveRoom(kRoom);
    store.InsertRoom(kRoom, ChatServerInfo{});
    for (uint32_t uid : {roomtest::kSelf, kOther, kHidden}) {
        RoomUserInfo u;
        u.uid = uid;
        u.nickname = "user" + std::to_string(uid);
        u.level = 300;
        u.hide = uid == kHidden;
        store.AddRoomUser(kRoom, u);
    }
    halvec.privateChat = true;
    halvec.manageRoom = false;
    return halvec;
}

class FakeLogic : public roomtest::NullRoomLogic {
public:
    bool connected = true;
    std::vector<std::pair<uint32_t, bool>> sent;
    int closes = 0;
    uint32_t GetRoomID() override { return kRoom; }
    std::string GetMyChatID() override { return "c1001"; }
    bool SendChatMsg(uint32_t target, const std::string&, bool isPublic) override {
        if (!connected) return false;
        sent.emplace_back(target, isPublic);
        return true;
    }
    bool CloseRoom() override { return ++closes, true; }
    bool IsUserInRoom(uint32_t uid) override { return CRoomInfoMgr::GetInstance().HasUser(kRoom, uid); }
    bool IsChatReady() override { return connected; }
};

class FakeMovie : public flash::IEffectMovie {
public:
    std::vector<std::string> calls;
    bool* destroyed = nullptr;
    ~FakeMovie() override {
        if (destroyed) *destroyed = true;
    }
    std::string CallFunction(const std::string& xml) override {
        calls.push_back(xml);
        return "";
    }
    void Show(bool) override {}
    void Stop() override {}
    void Place(const RECT&) override {}
    void StackAbove(HWND) override {}
};

class ParentWnd : public CWindowWnd {
public:
    const char* GetWindowClassName() const override { return "RoomWindowTestParent"; }
};

// A room window with headless columns whose views have loaded.
struct Room {
    CRoomUI ui;
    FakeLogic logic;
    CUserListUI managers, members, micOrder;
    std::vector<std::pair<int, const void*>> freed;

    Room() {
        RoomSetup();
        ui.SetRoomID(kRoom);
        ui.SetRoomLogic(&logic);
        ui.InitColumns();
        ui.Right().Init(&ui, &managers, &members, &micOrder, &ui.TrumpetView());
        ui.OwnView().SetReady(true);
        ui.PublicView().SetReady(true);
        ui.TrumpetView().SetReady(true);
        ui.Center().OnDocumentComplete(kPublicView);
        ui.Center().OnDocumentComplete(kOwnView);
        ui.OnPayloadFreed = [this](int code, const void* p) { freed.emplace_back(code, p); };
    }
    template <class T>
    T* Send(int code, T* payload) {
        ui.OnRoomNotify(code, reinterpret_cast<LPARAM>(payload));
        return payload;
    }
};

}  // namespace

TEST(RoomWindowDispatch, EveryHeapPayloadFreedOnceAndPlainCodesUntouched) {
    Room r;
    auto chat = [](int flags) {
        auto* c = new RoomChatLine;
        c->flags = flags;
        c->html = "x<BR>";
        return c;
    };
    auto change = [](uint32_t uid, int value) { return new RoomUserChange{uid, value}; };
    std::vector<std::pair<int, const void*>> expected;
    auto heap = [&](int code, auto* p) { expected.emplace_back(code, r.Send(code, p)); };
    heap(ROOM_NOTIFY_MIC_STREAM, new RoomMicStream);
    heap(ROOM_NOTIFY_USER_DETAIL, new RoomUserDetail);
    heap(ROOM_NOTIFY_GIFT_FAILED, new RoomGiftFailure{0, 0, "余额不足"});
    heap(ROOM_NOTIFY_MIC_OP_DONE, new RoomMicOpResult);
    heap(ROOM_NOTIFY_USER_ENTER, change(kOther, 3));
    heap(ROOM_NOTIFY_USER_LEAVE, change(kHidden, 2));
    heap(ROOM_NOTIFY_USER_CHANGED, change(roomtest::kSelf, 0x7F));
    heap(ROOM_NOTIFY_MIC_OFF, new RoomMicOff);
    heap(ROOM_NOTIFY_MIC_ATTR, new RoomMicAttr);
    heap(ROOM_NOTIFY_LUCKY_GIFT, new RoomLuckyGift);
    heap(ROOM_NOTIFY_GIFT_FLASH, new RoomGiftFlash{501, "a", 0, 1, 0, 0});  // no effect window: freed
    heap(ROOM_NOTIFY_MIC_STATE, new RoomMicState{kOther, true, true});
    heap(ROOM_NOTIFY_CHAT_LINE, chat(CHAT_VIEW_PUBLIC | CHAT_VIEW_OWN));
    heap(ROOM_NOTIFY_CHAT_LINE, chat(0));
    heap(ROOM_NOTIFY_GLOBAL_GIFT, new GlobalGiftItem);
    heap(ROOM_NOTIFY_SYS_TEXT, new std::string("系统维护"));
    heap(ROOM_NOTIFY_MIC_LIST, new MicUserMap);
    // Numbers, ignored codes and codes out of range: a sentinel that is no pointer must not be touched.
    const LPARAM sentinel = 0x7A;
    for (int code : {2,  8,  10, 13, 14, 18, 20, 32, 0,  1,  4,  5,  6,  7,  12, 21,
                     22, 23, 24, 25, 26, 29, 30, 31, 33, 35, 36, 37, 44, 45, -1, 1000})
        r.ui.OnRoomNotify(code, sentinel);
    // A null payload where a record belongs: nothing done, nothing freed.
    for (int code : {3, 9, 11, 15, 16, 17, 19, 27, 28, 34, 38, 39, 40, 41, 42, 43}) r.ui.OnRoomNotify(code, 0);
    EXPECT_EQ(r.freed, expected);
}

TEST(RoomWindowDispatch, HandlersReachTheirColumns) {
    Room r;
    r.Send(ROOM_NOTIFY_USER_LIST - 0, (void*)nullptr);
    r.ui.OnRoomNotify(ROOM_NOTIFY_USER_LIST, kRoom);
    EXPECT_EQ(r.members.GetCount(), 2);  // the hidden user is not listed
    r.Send(ROOM_NOTIFY_USER_LEAVE, new RoomUserChange{kOther, 2});
    EXPECT_EQ(r.members.FindUserIndex(kOther), -1);
    // The own nickname changed in the settings dialog: the list shows it at once.
    std::string oldNick = CGlobalDataApp::GetInstance().GetAccount().nickname;
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.nickname = "新名字"; });
    BOOL handled = FALSE;
    r.ui.HandleCustomMessage(WM_UPDATE_MY_INFO, USER_CHANGE_NICKNAME | USER_CHANGE_PHOTO, 0, handled);
    EXPECT_TRUE(handled);
    int own = r.members.FindUserIndex(roomtest::kSelf);
    ASSERT_GE(own, 0);
    EXPECT_EQ(r.members.GetNickNameAt(own), "新名字");
    CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) { a.nickname = oldNick; });
    int ownBefore = r.ui.OwnView().NodeCount();
    int pubBefore = r.ui.PublicView().NodeCount();
    r.Send(ROOM_NOTIFY_CHAT_LINE, new RoomChatLine{CHAT_VIEW_PUBLIC | CHAT_VIEW_OWN, "hi<BR>"});
    EXPECT_EQ(r.ui.OwnView().NodeCount(), ownBefore + 2);  // text and BR
    EXPECT_EQ(r.ui.PublicView().NodeCount(), pubBefore + 2);
    r.ui.TrumpetView().SetAutoScroll(false);
    r.Send(ROOM_NOTIFY_CHAT_LINE, new RoomChatLine{CHAT_VIEW_TRUMPET, "t"});
    EXPECT_EQ(r.ui.TrumpetView().Scrolls(), 0);
    r.ui.TrumpetView().SetAutoScroll(true);
    r.Send(ROOM_NOTIFY_CHAT_LINE, new RoomChatLine{CHAT_VIEW_TRUMPET, "t"});
    EXPECT_EQ(r.ui.TrumpetView().NodeCount(), 2);
    EXPECT_EQ(r.ui.TrumpetView().Scrolls(), 1);
    r.Send(ROOM_NOTIFY_SYS_TEXT, new std::string("维护"));
    EXPECT_NE(r.ui.OwnView().Text().find("维护"), std::string::npos);
    auto* gift = new GlobalGiftItem;
    gift->priority = 77;
    r.Send(ROOM_NOTIFY_GLOBAL_GIFT, gift);
    IRoomCenterUI* center = GetRoomDealUI<IRoomCenterUI>(&r.ui, 1);
    ASSERT_NE(center, nullptr);
    EXPECT_EQ(center->GetGiftBannerPriority(), 77u);
    EXPECT_FALSE(center->IsGiftBannerIdle());
    EXPECT_TRUE(center->IsChatViewReady());
    IRoomDealUI* none = reinterpret_cast<IRoomDealUI*>(1);
    EXPECT_FALSE(r.ui.GetDealUI(3, &none));
    EXPECT_EQ(none, nullptr);
}

// The modal cancel is WM_DISMISS_POPUP to the top window of the stack only; each window that ends by it
// passes the cancel on to the next; with none left the room closes.
TEST(RoomWindowModal, CancelChainGoesToTheTopWindowThenClosesTheRoom) {
    Room r;
    struct Modal : ParentWnd {
        int dismissed = 0;
        LRESULT HandleMessage(UINT msg, WPARAM w, LPARAM l) override {
            if (msg == WM_DISMISS_POPUP) ++dismissed;
            return ParentWnd::HandleMessage(msg, w, l);
        }
    } a, b;
    ASSERT_TRUE(a.Create(nullptr, "a", 0, 0, 0, 0, 10, 10));
    ASSERT_TRUE(b.Create(nullptr, "b", 0, 0, 0, 0, 10, 10));
    r.ui.PushModalWnd(a.GetHWND());
    r.ui.PushModalWnd(b.GetHWND());
    EXPECT_EQ(r.ui.TopModalWnd(), b.GetHWND());
    r.ui.ContinueModalCancel();
    ASSERT_TRUE(PumpUntil([&] { return b.dismissed == 1; }, 5000));
    r.ui.PopModalWnd(b.GetHWND());
    r.ui.ContinueModalCancel();
    ASSERT_TRUE(PumpUntil([&] { return a.dismissed == 1; }, 5000));
    PumpMessagesFor(20);
    EXPECT_EQ(b.dismissed, 1);
    EXPECT_EQ(r.logic.closes, 0);
    r.ui.PopModalWnd(a.GetHWND());
    EXPECT_EQ(r.ui.GetModalWndCount(), 0);
    r.ui.ContinueModalCancel();
    EXPECT_EQ(r.logic.closes, 1);
    PumpMessagesFor(20);
    EXPECT_EQ(a.dismissed, 1);
    a.SendMessage(WM_CLOSE);
    b.SendMessage(WM_CLOSE);
}

// Lines reach the views only once loaded, in order; each view's cache goes out when that view completes.
TEST(ChatColumn, CachedLinesFlushedPerViewInOrder) {
    RoomSetup();
    CDealMainCenter c;
    CHeadlessChatView own, pub;
    c.InitControls(nullptr, nullptr, &own, &pub, nullptr, nullptr, nullptr, nullptr);
    c.AppendMsgHtml("<b>1</b>", kPublicView);
    c.AppendMsgHtml("<b>2</b>", kPublicView);
    c.AppendMsgHtml("<i>a</i>", kOwnView);
    c.AppendMsgHtml("dropped", 2);
    pub.SetReady(true);
    c.OnDocumentComplete(kPublicView);
    EXPECT_EQ(pub.Nodes().back(), "<b>2</b>");
    EXPECT_EQ(c.CachedLines(kOwnView), 1u);  // the own view has not loaded yet
    c.AppendMsgHtml("<i>b</i>", kOwnView);
    own.SetReady(true);
    c.OnDocumentComplete(kOwnView);
    ASSERT_EQ(own.NodeCount(), 2);
    EXPECT_EQ(own.Nodes()[0], "<i>a</i>");
    EXPECT_EQ(own.Nodes()[1], "<i>b</i>");
    // 200 inserts keep everything; the 201st leaves the last 20 nodes.
    CHeadlessChatView v;
    v.SetReady(true);
    CDealMainCenter d;
    d.InitControls(nullptr, nullptr, &v, nullptr, nullptr, nullptr, nullptr, nullptr);
    d.OnDocumentComplete(kOwnView);
    int base = v.NodeCount();
    for (int i = 0; i < 200 - base; ++i) d.AppendMsgHtml("<p>x</p>", kOwnView);
    for (int i = 0; i < base; ++i) d.AppendMsgHtml("<p>x</p>", kOwnView);
    EXPECT_EQ(v.NodeCount(), 200 + base);
    d.AppendMsgHtml("[提示] y <BR>", kOwnView);
    EXPECT_EQ(v.NodeCount(), 20);
    EXPECT_EQ(v.Nodes().back(), "<BR>");
}

// A pane on the web view layer takes lines only once its page has loaded, and closes its view when it goes.
TEST(ChatView, WebViewPaneReadyTrimAndClose) {
    int live = webview::CHeadlessWebView::LiveCount();
    auto* engine = new webview::CHeadlessWebView;
    {
        CWebChatView pane(engine);
        int ready = 0;
        pane.OnReady = [&] { ++ready; };
        pane.Navigate("about:blank");
        pane.AppendHtml("early<BR>");
        EXPECT_EQ(engine->Document().ChildCount(), 0);
        engine->FinishLoad();
        EXPECT_EQ(ready, 1);
        CDealMainCenter c;
        c.InitControls(nullptr, nullptr, &pane, nullptr, nullptr, nullptr, nullptr, nullptr);
        c.OnDocumentComplete(kOwnView);
        for (int i = 0; i < 201; ++i) c.AppendMsgHtml("[提示] line <BR>", kOwnView);
        EXPECT_EQ(pane.NodeCount(), 20);
        EXPECT_TRUE(engine->IsScrolledToBottom());
        pane.RemoveOldNodes(0);
        EXPECT_EQ(pane.NodeCount(), 0);
    }
    EXPECT_EQ(webview::CHeadlessWebView::LiveCount(), live);
}

// The sending rules: every refusal leaves the typed text in the input and sends nothing.
TEST(ChatColumn, SendingRules) {
    auto& halvec = RoomSetup();
    ParentWnd parent;
    ASSERT_TRUE(parent.Create(nullptr, "p", 0, 0, 0, 0, 400, 300));
    struct Case {
        const char* name;
        const char* text;
        uint32_t target;
        bool isPrivate;
        std::function<void(FakeLogic&)> prepare;
        const char* refusal;  // null: sent
    };
    auto none = [](FakeLogic&) {};
    std::vector<Case> cases = {
        {"public", "hello", 0, false, none, nullptr},
        {"whisper", "hi there", kOther, true, none, nullptr},
        {"empty", "\r\n\n", 0, false, none, "请输入聊天内容"},
        {"link", "see www.example.com", 0, false, none, "聊天内容不能包含链接"},
        {"html", "<script>x</script>", 0, false, none, "聊天内容不能包含特殊html标签"},
        {"muted", "hello", 0, false,
         [](FakeLogic&) { CRoomInfoMgr::GetInstance().SetUserMuteState(kRoom, roomtest::kSelf, 2); },
         "您已被禁言5分钟"},
        {"stealth public", "hello", 0, false,
         [](FakeLogic&) { CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.stealth = 1; }); },
         "隐身状态下不能公聊"},
        {"left", "hello", kOther, true, [](FakeLogic&) { CRoomInfoMgr::GetInstance().RemoveRoomUser(kRoom, kOther); },
         "该用户已经离开房间"},
        {"hidden target", "hello", kHidden, false, none, "只能和神秘人说悄悄话"},
        {"whisper to all", "hello", 0, true, none, "不能对所有人说悄悄话"},
        {"no right", "hello", kOther, true, [&](FakeLogic&) { halvec.privateChat = false; }, "您没有发送私聊的权限"},
        {"not connected", "hello", 0, false, [](FakeLogic& l) { l.connected = false; }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Room r;
        CRichEditCtrlEx input;
        ASSERT_TRUE(input.Create(parent.GetHWND(), 0, 0, 200, 60, &r.ui, 1));
        CComboUI* combo = new CComboUI;  // owned by the holder below
        CListLabelElementUI* all = new CListLabelElementUI;
        all->SetTag(0);
        combo->Add(all);
        COptionUI box;
        CVerticalLayoutUI holder;
        holder.Add(combo);
        r.ui.Center().InitControls(&r.ui, &r.ui, &r.ui.OwnView(), &r.ui.PublicView(), &input, combo, &box, nullptr);
        r.ui.Center().SetChatTarget(c.target);
        if (c.target == 0) combo->SelectItem(0);
        box.Selected(c.isPrivate, false);
        c.prepare(r.logic);
        input.Edit().InsertTextGbk(c.text);
        std::string before;
        input.GetContentText(before);
        int ownBefore = r.ui.OwnView().NodeCount();
        bool sent = r.ui.Center().SendChat();
        std::string after;
        input.GetContentText(after);
        if (!c.refusal) {
            EXPECT_TRUE(sent);
            ASSERT_EQ(r.logic.sent.size(), 1u);
            EXPECT_EQ(r.logic.sent[0].second, !c.isPrivate);
            EXPECT_TRUE(after.empty());
            // A whisper is echoed in the own view; a public line is not.
            EXPECT_EQ(r.ui.OwnView().NodeCount() > ownBefore, c.isPrivate);
        } else {
            EXPECT_FALSE(sent);
            EXPECT_TRUE(r.logic.sent.empty());
            EXPECT_EQ(after, before);
            EXPECT_NE(r.ui.OwnView().Text().find(c.refusal), std::string::npos);
        }
        CRoomInfoMgr::GetInstance().SetUserMuteState(kRoom, roomtest::kSelf, 0);
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.stealth = 0; });
    }
}

TEST(ChatColumn, PrivateBoxRefusedToGuestsAndRegisteredUsers) {
    RoomSetup();
    for (uint32_t level : {100u, 200u, 300u}) {
        CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) { a.level = level; });
        CDealMainCenter c;
        CHeadlessChatView own;
        own.SetReady(true);
        COptionUI box;
        c.InitControls(nullptr, nullptr, &own, nullptr, nullptr, nullptr, &box, nullptr);
        c.OnDocumentComplete(kOwnView);
        box.Selected(true, false);
        c.OnPrivateBoxChecked();
        EXPECT_TRUE(box.IsSelected()) << level;  // the box keeps the choice; sending refuses
        EXPECT_EQ(own.Text().find("私聊权限") != std::string::npos, level != 300u) << level;
    }
}

namespace {

UserListItemInfo U(uint32_t uid, int role, uint32_t code, uint32_t beauty = 0) {
    UserListItemInfo u;
    u.uid = uid;
    u.role = role;
    u.levelCode = code;
    u.beautyId = beauty;
    u.nickname = "n" + std::to_string(uid);
    return u;
}

}  // namespace

TEST(UserList, OrderIsTheStatedOneAndAStrictWeakOrder) {
    // Level codes 1200/1100/1000 first, then role 40, then role 30 by beauty id, then the bands (other codes of
    // 1000-1200 after the managers).
    std::vector<UserListItemInfo> want = {U(1300, 0, 1200), U(1, 30, 1100),   U(1100, 0, 1000), U(2, 40, 500),
                                          U(3, 30, 500, 5), U(4, 30, 500, 9), U(2150, 0, 1150), U(2050, 0, 1001)};
    for (uint32_t code : {900u, 400u, 1300u, 1500u, 1700u, 1600u, 399u, 0u}) want.push_back(U(100 + code, 0, code));
    std::vector<UserListItemInfo> got = want;
    std::mt19937 rng(5);
    std::shuffle(got.begin(), got.end(), rng);
    std::sort(got.begin(), got.end(), UserOrderLess);
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i].uid, want[i].uid) << i;
    // Random records, codes outside the bands included: irreflexive, asymmetric, transitive, and
    // incomparability transitive.
    std::vector<UserListItemInfo> pool;
    std::uniform_int_distribution<int> code(0, 1900), role(0, 4), beauty(0, 3);
    for (int i = 0; i < 60; ++i)
        pool.push_back(U(uint32_t(i), role(rng) * 10, uint32_t(code(rng)) / 50 * 50 + (i % 3), uint32_t(beauty(rng))));
    for (auto& a : pool) {
        EXPECT_FALSE(UserOrderLess(a, a));
        for (auto& b : pool) {
            if (UserOrderLess(a, b)) EXPECT_FALSE(UserOrderLess(b, a));
            for (auto& c : pool) {
                if (UserOrderLess(a, b) && UserOrderLess(b, c)) EXPECT_TRUE(UserOrderLess(a, c));
                bool ab = !UserOrderLess(a, b) && !UserOrderLess(b, a);
                bool bc = !UserOrderLess(b, c) && !UserOrderLess(c, b);
                if (ab && bc) EXPECT_TRUE(!UserOrderLess(a, c) && !UserOrderLess(c, a));
            }
        }
    }
}

TEST(UserList, RowsUpdatesAndBursts) {
    RoomSetup();
    CUserListUI list;
    EXPECT_EQ(list.SortUserList(), 0);
    EXPECT_EQ(list.GetRoleAt(-1), 255);
    EXPECT_EQ(list.GetUserIDAt(-1), 0u);
    EXPECT_EQ(list.FindUserIndex(42), -1);
    EXPECT_EQ(list.RemoveUser(42), 0);
    UserListItemInfo u = U(42, 20, 500);
    u.levelIcon = "a.gif";
    ASSERT_EQ(list.UpdateUser(u), 1);
    auto idText = [&](int i) {
        auto* row = static_cast<CContainerUI*>(list.GetItemAt(i)->GetInterface("Container"));
        return std::string(row->FindSubControl("UserBeautyIDLabel")->GetText().c_str());
    };
    EXPECT_EQ(idText(0), "42");  // no beauty id: the user id
    u.beautyId = 8888;
    u.role = 40;  // role without a new icon: kept
    u.nickname = "renamed";
    list.UpdateUser(u);
    EXPECT_EQ(idText(0), "8888");
    EXPECT_EQ(list.GetRoleAt(0), 20);
    EXPECT_EQ(list.GetNickNameAt(0), "renamed");
    // A burst of enters, leaves and changes keeps one row per user, in order.
    std::mt19937 rng(9);
    std::map<uint32_t, UserListItemInfo> alive;
    for (int i = 0; i < 2000; ++i) {
        uint32_t uid = 1 + rng() % 150;
        if (rng() % 3 == 0) {
            list.RemoveUser(uid);
            alive.erase(uid);
        } else {
            UserListItemInfo v = U(uid, int(rng() % 5) * 10, uint32_t(rng() % 1800), uint32_t(rng() % 50));
            v.levelIcon = std::to_string(v.levelCode);
            if (alive.count(uid) == 0) alive[uid] = v;
            list.UpdateUser(v);
            if (alive[uid].levelIcon != v.levelIcon) {
                alive[uid].levelCode = v.levelCode;
                alive[uid].role = v.role;
                alive[uid].levelIcon = v.levelIcon;
            }
            alive[uid].beautyId = v.beautyId;
        }
        if (i % 50 == 0) list.SortUserList();
    }
    list.SortUserList();
    ASSERT_EQ(list.GetCount(), int(alive.size()));
    for (int i = 0; i + 1 < list.GetCount(); ++i) {
        const UserListItemInfo* a = CUserListUI::RecordOf(list.GetItemAt(i));
        const UserListItemInfo* b = CUserListUI::RecordOf(list.GetItemAt(i + 1));
        ASSERT_TRUE(a && b);
        EXPECT_FALSE(UserOrderLess(*b, *a)) << i;
        EXPECT_EQ(a->levelCode, alive[a->uid].levelCode);
    }
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
}

// Whispers from before the window: shown in the own view once the user list is there, each once; the user's
// own skipped, a bad one as the tip; nothing while the user is hidden in the room.
TEST(ChatPanes, PendingWhispersShownWithTheUserList) {
    for (bool hidden : {false, true}) {
        Room r;
        RoomUserInfo me;
        ASSERT_TRUE(CRoomInfoMgr::GetInstance().GetRoomUser(kRoom, roomtest::kSelf, me));
        me.hide = hidden;
        CRoomInfoMgr::GetInstance().AddRoomUser(kRoom, me);
        IRoomCenterUI* center = GetRoomDealUI<IRoomCenterUI>(&r.ui, 1);
        ASSERT_NE(center, nullptr);
        center->SetPendingPrivateMsgs({{kOther, "early one", ""},
                                       {roomtest::kSelf, "my own", ""},
                                       {kOther, "<span onmouseover=\"x()\">bad</span>", ""}});
        std::string before = r.ui.OwnView().Text();
        r.ui.OnRoomNotify(ROOM_NOTIFY_USER_LIST, kRoom);
        std::string added = r.ui.OwnView().Text().substr(before.size());
        EXPECT_EQ(added.find("early one") != std::string::npos, !hidden) << added;
        EXPECT_EQ(added.find("user2002") != std::string::npos, !hidden) << added;  // the sender's record
        EXPECT_EQ(added.find("收到一条包含无效html标签的私聊消息") != std::string::npos, !hidden) << added;
        EXPECT_EQ(added.find("my own"), std::string::npos);
        EXPECT_EQ(added.find("bad"), std::string::npos);
        size_t size = r.ui.OwnView().Text().size();
        r.ui.OnRoomNotify(ROOM_NOTIFY_USER_LIST, kRoom);  // shown once
        EXPECT_EQ(r.ui.OwnView().Text().find("early one", size), std::string::npos);
    }
}

// Every pane that takes lines (public, own, trumpet) is trimmed by the one rule: 200 lines kept, the 201st
// leaves the last 20 nodes; an auto-scrolling pane scrolls once per line here (no window: no batching).
TEST(ChatPanes, EveryPaneTrimmedByOneRule) {
    struct Row {
        int flags;
        CHeadlessChatView& (CRoomUI::*pane)();
    } rows[] = {{CHAT_VIEW_PUBLIC, &CRoomUI::PublicView},
                {CHAT_VIEW_OWN, &CRoomUI::OwnView},
                {CHAT_VIEW_TRUMPET, &CRoomUI::TrumpetView}};
    for (const Row& row : rows) {
        Room r;
        CHeadlessChatView& pane = (r.ui.*row.pane)();
        int scrolls = pane.Scrolls();
        // The page's own first lines (the user's entry) count too: the trim comes by the 201st line.
        int trimmedAt = -1;
        for (int i = 0; i <= kTrimAfterInserts && trimmedAt < 0; ++i) {
            int before = pane.NodeCount();
            std::string text = "line" + std::to_string(i);
            r.Send(ROOM_NOTIFY_CHAT_LINE, new RoomChatLine{row.flags, text + "<BR>"});
            if (pane.NodeCount() < before) {
                trimmedAt = i;
                EXPECT_EQ(pane.NodeCount(), kKeepNodesOnTrim) << row.flags;
                EXPECT_EQ(pane.Nodes()[kKeepNodesOnTrim - 2], text);
            }
        }
        EXPECT_GE(trimmedAt, kTrimAfterInserts - 5) << row.flags;
        EXPECT_EQ(pane.Scrolls() - scrolls, trimmedAt + 1) << row.flags;
    }
}

// Lines queued in one turn go in as one batch with one scroll and end as the same page as line by line.
TEST(ChatPanes, BatchesEndAsLineByLine) {
    for (int batch : {1, 7, 200, 201, 450, 999}) {
        CHeadlessChatView lineByLine, batched;
        lineByLine.SetReady(true);
        batched.SetReady(true);
        CChatPaneFeed one, many;
        one.SetView(&lineByLine);
        many.SetView(&batched);
        // A first batch leaves the count part-way, so the trim falls inside later batches.
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < batch; ++i) {
                std::string line = "<span>" + std::to_string(round) + "." + std::to_string(i) + "</span> t<BR>";
                one.Append(line);
                EXPECT_EQ(many.Queue(line), i == 0);
            }
            EXPECT_EQ(many.Queued(), size_t(batch));
            int scrolls = batched.Scrolls();
            many.Flush();
            EXPECT_EQ(batched.Scrolls(), scrolls + 1) << batch;
            EXPECT_EQ(batched.Nodes(), lineByLine.Nodes()) << batch << " round " << round;
        }
    }
}

// The rows' order after each sort is what a stable sort of the rows in their order before it gives (the
// list's former whole-list sort), over random tables: bursts of arrivals, single changes and departures, several
// changes between two sorts, many equal keys; the selected row stays selected.
TEST(UserList, PlacedRowsMatchAStableSortOfTheRows) {
    RoomSetup();
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        CUserListUI list;
        std::vector<uint32_t> model;  // uids in the order a stable sort of the former rows gives
        auto record = [&](uint32_t uid) { return *CUserListUI::RecordOf(list.GetItemAt(list.FindUserIndex(uid))); };
        auto random = [&](uint32_t uid) {
            UserListItemInfo v =
                U(uid, int(rng() % 5) * 10, uint32_t(rng() % 8) * 200 + uint32_t(rng() % 3), uint32_t(rng() % 6));
            v.levelIcon = std::to_string(v.levelCode) + "/" + std::to_string(v.role);
            return v;
        };
        for (int round = 0; round < 300; ++round) {
            const int burst = rng() % 10 == 0 ? int(rng() % 400) : int(rng() % 4);
            for (int k = 0; k < burst; ++k) {
                uint32_t uid = 1 + rng() % 600;
                bool listed = list.HasUser(uid);
                if (listed && rng() % 3 == 0) {
                    list.RemoveUser(uid);
                    model.erase(std::find(model.begin(), model.end(), uid));
                } else {
                    list.UpdateUser(random(uid));
                    if (!listed) model.push_back(uid);
                }
            }
            if (list.GetCount() > 0 && rng() % 4 == 0) list.SelectItem(int(rng() % unsigned(list.GetCount())));
            const uint32_t selected = list.GetUserIDAt(list.GetCurSel());
            list.SortUserList();
            std::stable_sort(model.begin(), model.end(),
                             [&](uint32_t a, uint32_t b) { return UserOrderLess(record(a), record(b)); });
            ASSERT_EQ(list.GetCount(), int(model.size()));
            for (int i = 0; i < list.GetCount(); ++i)
                ASSERT_EQ(list.GetUserIDAt(i), model[size_t(i)])
                    << "seed " << seed << " round " << round << " row " << i;
            for (int i = 0; i < list.GetCount(); ++i) ASSERT_EQ(list.FindUserIndex(list.GetUserIDAt(i)), i);
            EXPECT_EQ(list.GetUserIDAt(list.GetCurSel()), selected);
        }
    }
}

TEST(GiftBanner, LayoutStepsAndIdle) {
    CGlobalGiftShowWnd b;
    b.MeasureText = [](const std::string& t, int font) { return BannerSize{int(t.size()) * (font == 1 ? 10 : 6), 14}; };
    b.ImageSize = [](const std::string&) { return BannerSize{100, 136}; };
    EXPECT_TRUE(b.IsIdle());
    GlobalGiftItem g;
    g.picture = "g.gif";
    g.senderName = "ab";
    g.senderId = 0;
    g.receiverName = "cd";
    g.receiverId = 0;
    g.count = 2;
    g.tips = "x";
    g.giftName = "rose";
    g.timeText = "(01.02 03:04)";
    g.priority = 9;
    b.SetGift(g, 1000);
    EXPECT_EQ(b.Image().cx, 50);
    EXPECT_EQ(b.Image().cy, 68);
    const auto& p = b.Pieces();
    EXPECT_EQ(p[1].text, "");     // no sender id
    EXPECT_EQ(p[4].text, "(0)");  // the receiver id always
    EXPECT_EQ(p[5].text, "2x");
    EXPECT_EQ(p[7].width, 0);  // no word
    EXPECT_EQ(b.StripWidth(), 2 * 50 + 20 + 0 + 40 + 20 + 18 + 20 + 40 + 0 + 13 * 6);
    EXPECT_FALSE(b.IsIdle());
    EXPECT_EQ(b.GetPriority(), 9u);
    EXPECT_FALSE(b.OnScrollTimer(1100));  // no back buffer yet
    b.SetClientSize(300, 50);
    b.OnScrollTimer(1100);
    EXPECT_EQ(b.Offset(), 5);
    b.OnScrollTimer(1000 + 15001);  // mode 1 becomes 2 after 15 s
    EXPECT_EQ(b.GetSpeed(), 2);
    b.OnScrollTimer(16100);
    EXPECT_EQ(b.Offset(), 20);
    b.SetSpeed(3);
    b.OnScrollTimer(16200);
    EXPECT_EQ(b.Offset(), 35);
    while (!b.IsIdle()) ASSERT_TRUE(b.OnScrollTimer(17000));
    EXPECT_EQ(b.Offset(), 0);
    EXPECT_TRUE(b.TimerRunning());
    EXPECT_EQ(b.GetElapsed(1500), 500u);
}

// The window from its skin: the columns find their controls, a posted user list fills the lists, closing
// by the room manager destroys it.
TEST(RoomWindowFrame, CreatedFromTheSkinAndClosed) {
    auto& halvec = RoomSetup();
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    CRoomUI ui;
    FakeLogic logic;
    ui.SetRoomID(kRoom);
    ui.SetRoomLogic(&logic);
    ASSERT_TRUE(ui.CreateRoomWindow("room(7001)"));
    ASSERT_NE(ui.GetHWND(), nullptr);
    auto* members = dynamic_cast<CUserListUI*>(ui.m_PaintManager.FindControl("UserMemberList"));
    ASSERT_NE(members, nullptr);
    auto* combo = dynamic_cast<CComboUI*>(ui.m_PaintManager.FindControl("comboChatDst"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->GetCurSel(), 0);
    EXPECT_EQ(combo->GetItemAt(0)->GetTag(), 0u);
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_USER_LIST, kRoom);
    EXPECT_EQ(members->GetCount(), 2);  // the hidden user is not listed
    auto* managers = dynamic_cast<CUserListUI*>(ui.m_PaintManager.FindControl("UserManagerList"));
    ASSERT_NE(managers, nullptr);
    EXPECT_EQ(managers->GetCount(), 0);
    // The room-manager button follows right 17; a guest's favourite click only shows the tip.
    CControlUI* manage = ui.m_PaintManager.FindControl("RoomManagerBTN");
    ASSERT_NE(manage, nullptr);
    EXPECT_FALSE(manage->IsVisible());
    halvec.manageRoom = true;
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_ROLE_CHANGED, roomtest::kSelf);
    EXPECT_TRUE(manage->IsVisible());
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 100; });
    TNotifyUI click;
    click.sType = "click";
    click.pSender = ui.m_PaintManager.FindControl("RoomCollectBTN");
    ASSERT_NE(click.pSender, nullptr);
    ui.Notify(click);
    EXPECT_NE(ui.OwnView().Text().find(BuildFavNeedLoginTip()), std::string::npos);
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 300; });
    // A global gift scrolls on the banner; a gift effect goes to the effect window.
    auto* gift = new GlobalGiftItem;
    gift->senderName = "a";
    gift->count = 1;
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_GLOBAL_GIFT, reinterpret_cast<LPARAM>(gift));
    EXPECT_FALSE(ui.Center().IsGiftBannerIdle());
    bool movieGone = false;
    auto movie = std::make_unique<FakeMovie>();
    FakeMovie* m = movie.get();
    m->destroyed = &movieGone;
    auto flash = std::make_unique<CFlashWnd>(std::move(movie));
    ASSERT_TRUE(flash->Create());
    ui.SetFlash(std::move(flash));
    ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_GIFT_FLASH,
                  reinterpret_cast<LPARAM>(new RoomGiftFlash{501, "x<y", 0, 2, 0, 0}));
    ASSERT_FALSE(m->calls.empty());
    EXPECT_NE(m->calls.back().find("x&lt;y"), std::string::npos);
    // The user closing the window leaves the room; the window stays until the room manager closes it.
    ::SendMessage(ui.GetHWND(), WM_CLOSE, 0, 0);
    EXPECT_EQ(logic.closes, 1);
    EXPECT_NE(ui.GetHWND(), nullptr);
    // Closing by the room manager destroys the window and, with it, the effect window.
    ui.CloseRoomWindow();
    EXPECT_EQ(ui.GetHWND(), nullptr);
    EXPECT_EQ(ui.Flash(), nullptr);
    EXPECT_TRUE(movieGone);
    EXPECT_EQ(logic.closes, 1);
}
