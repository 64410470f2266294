// The right column on the room window built from its skin (no display): the three lists with their counts
// and search, the gift recipient chosen by user id, the context menu acting on the row that was
// right-clicked, the details popups' requests and answers, and the moderation against the local room
// service with a second chat client that sees it.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>

#include "ChatServer.h"
#include "ChatTestClient.h"
#include "GlobalData.h"
#include "MsgClientThread.h"
#include "PickerControls.h"
#include "Pingla.h"
#include "RoomInfoMgr.h"
#include "RoomService.h"
#include "RoomTestEnv.h"
#include "RoomUiFakes.h"
#include "RoomWindow.h"
#include "TestGif.h"
#include "TestKeys.h"
#include "TestUtil.h"
#include "UIChkUserInfo.h"
#include "UIConsumeDetail.h"
#include "UserDetailRules.h"
#include "ZQCommands.h"

using namespace DuiLib;

using namespace roomui;

namespace {

constexpr uint32_t kRoom = 3003;
constexpr uint32_t kMe = roomtest::kSelf;  // 1001, the owner
constexpr uint32_t kTwinA = 2001, kTwinB = 2002, kHidden = 2003, kMic = 2004, kGuest = 2005;

class AllRightsHalvec : public roomtest::FakeHalvec {
public:
    bool GetUserPhoto(int, int id, UserPhotoItem& out) override {
        if (id != 7) return false;
        out.fname = "photo7.png";
        return true;
    }
    bool HasRight(int, int, int) override { return true; }
    bool HasRight2(int, int, int) override { return true; }
    bool HasRightPair(int, int, int) override { return true; }
    bool HasRightPair2(int, int, int) override { return true; }
};

void SetUpOnce() {
    static AllRightsHalvec halvec;
    static bool done = [] {
        roomtest::UsePrivateFolders("varnet-right");
        Win32Init();
        roomtest::RegisterCatalogue(halvec);
        CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        return true;
    }();
    (void)done;
}

void FillRoom() {
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
        a.uid = kMe;
        a.sid = 7001;
        a.level = 300;
        a.stealth = 0;
        a.nickname = "me";
    });
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    store.RemoveRoom(kRoom);
    store.InsertRoom(kRoom, ChatServerInfo{});
    auto add = [&](uint32_t uid, const char* nick, auto change) {
        RoomUserInfo u;
        u.uid = uid;
        u.nickname = nick;
        u.level = 300;
        u.beautyid = uid + 80000;
        change(u);
        store.AddRoomUser(kRoom, u);
    };
    add(kMe, "me", [](RoomUserInfo& u) { u.role = 40; });
    add(kTwinA, "twin", [](RoomUserInfo&) {});
    add(kTwinB, "twin", [](RoomUserInfo&) {});
    add(kHidden, "ghost", [](RoomUserInfo& u) { u.hide = 1; });
    add(kMic, "mic", [](RoomUserInfo& u) { u.mic = 1, u.beautyid = 881234; });
    add(kGuest, "guest", [](RoomUserInfo& u) { u.level = 100; });
}

class FakeLogic : public roomtest::NullRoomLogic {
public:
    int closes = 0;
    uint32_t GetRoomID() override { return kRoom; }
    std::string GetMyChatID() override { return "1001_chat"; }
    bool SendChatMsg(uint32_t, const std::string&, bool) override { return true; }
    bool CloseRoom() override { return ++closes, true; }
};

// A room window from the skin with the users listed; the column's requests are recorded, not sent.
struct Room {
    CRoomUI ui;
    FakeLogic logic;
    struct Sent {
        std::string cmd;
        int ctx[3];
        std::string query;
    };
    std::vector<Sent> sent;
    int menuAnswer = -1;
    std::vector<UserMenuEntry> menuShown;

    Room() {
        SetUpOnce();
        FillRoom();
        ui.SetRoomID(kRoom);
        ui.SetRoomLogic(&logic);
        EXPECT_TRUE(ui.CreateRoomWindow("room(3003)"));
        ui.Right().PostRequest = [this](CZQMessage& m) {
            Sent s{m.cmd, {m.ctxInt[0], m.ctxInt[1], m.ctxInt[2]}, ""};
            m.BuildSendString(s.query);
            sent.push_back(s);
        };
        ui.Right().RunMenu = [this](const std::vector<UserMenuEntry>& items) {
            menuShown = items;
            return menuAnswer;
        };
        ::SendMessage(ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_USER_LIST, kRoom);
    }
    ~Room() { ui.CloseRoomWindow(); }
    CUserListUI* List(const char* name) { return dynamic_cast<CUserListUI*>(ui.m_PaintManager.FindControl(name)); }
    std::string Text(const char* name) {
        CControlUI* c = ui.m_PaintManager.FindControl(name);
        return c ? c->GetText().c_str() : "<none>";
    }
    CComboUI* Targets() { return dynamic_cast<CComboUI*>(ui.m_PaintManager.FindControl("GiftToPeopleComBo")); }
    uint32_t SelectedTarget() {
        CComboUI* c = Targets();
        return c && c->GetCurSel() >= 0 ? uint32_t(c->GetItemAt(c->GetCurSel())->GetTag()) : 0;
    }
    void Notify(const char* type, CControlUI* sender, POINT pt = {0, 0}) {
        TNotifyUI msg;
        msg.sType = type;
        msg.pSender = sender;
        msg.ptMouse = pt;
        ui.Notify(msg);
    }
    void ClickRow(uint32_t uid) {
        CUserListUI* members = List("UserMemberList");
        Notify("itemclick", members->GetItemAt(members->FindUserIndex(uid)));
    }
};

std::vector<uint32_t> Uids(CUserListUI* list) {
    std::vector<uint32_t> out;
    for (int i = 0; i < list->GetCount(); ++i) out.push_back(list->GetUserIDAt(i));
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(RightColumn, ListsCountsSearchAndRemoval) {
    Room r;
    CUserListUI* members = r.List("UserMemberList");
    CUserListUI* managers = r.List("UserManagerList");
    CUserListUI* micOrder = r.List("UserMicOrderList");
    ASSERT_TRUE(members && managers && micOrder);
    // The hidden user is nowhere; managers by role, the microphone order by mic state.
    EXPECT_EQ(Uids(members), (std::vector<uint32_t>{kMe, kTwinA, kTwinB, kMic, kGuest}));
    EXPECT_EQ(Uids(managers), (std::vector<uint32_t>{kMe}));
    EXPECT_EQ(Uids(micOrder), (std::vector<uint32_t>{kMic}));
    // The tab texts carry the counts from the first list on (they showed 0 before).
    EXPECT_EQ(r.Text("UserListManagerOption"), "管理/1");
    EXPECT_EQ(r.Text("UserListMemberOption"), "成员/5");
    EXPECT_EQ(r.Text("UserListMicOrderOption"), "麦序/1");
    auto* tab = dynamic_cast<CTabLayoutUI*>(r.ui.m_PaintManager.FindControl("RightUserListTab"));
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->GetCurSel(), 1);       // the members tab
    EXPECT_EQ(r.SelectedTarget(), kMic);  // the public-microphone user is the first recipient

    // Search: the nickname or the beauty id; the prompt lists everybody; counts stay.
    CControlUI* find = r.ui.m_PaintManager.FindControl("UserMemberFindEdit");
    ASSERT_NE(find, nullptr);
    struct Search {
        const char* text;
        std::vector<uint32_t> uids;
    };
    for (const Search& s : std::vector<Search>{{"12", {kMic}},
                                               {"twi", {kTwinA, kTwinB}},
                                               {"82001", {kTwinA}},
                                               {"nobody", {}},
                                               {CDealMainRight::kSearchPrompt, {kMe, kTwinA, kTwinB, kMic, kGuest}}}) {
        find->SetText(s.text);
        r.Notify("textchanged", find);
        EXPECT_EQ(Uids(members), s.uids) << s.text;
    }
    EXPECT_EQ(r.Text("UserListMemberOption"), "成员/5");
    r.Notify("setfocus", find);
    EXPECT_EQ(r.Text("UserMemberFindEdit"), "");
    r.Notify("killfocus", find);
    EXPECT_EQ(r.Text("UserMemberFindEdit"), CDealMainRight::kSearchPrompt);

    // Tabs follow their options; the find button toggles the tab's search bar.
    r.Notify("selectchanged", r.ui.m_PaintManager.FindControl("UserListMicOrderOption"));
    EXPECT_EQ(tab->GetCurSel(), 2);
    CControlUI* bar = r.ui.m_PaintManager.FindControl("UserMicOrderFindLayout");
    ASSERT_NE(bar, nullptr);
    r.Notify("click", r.ui.m_PaintManager.FindControl("UserListFindBTN"));
    EXPECT_TRUE(bar->IsVisible());
    r.Notify("click", r.ui.m_PaintManager.FindControl("UserListFindBTN"));
    EXPECT_FALSE(bar->IsVisible());
    EXPECT_EQ(r.ui.Right().LocateUserRow(kTwinB), 1);
    EXPECT_EQ(tab->GetCurSel(), 1);
    EXPECT_EQ(members->GetCurSel(), members->FindUserIndex(kTwinB));
    EXPECT_LT(r.ui.Right().LocateUserRow(kHidden), 0);

    // A role change places the user; a user leaving goes from every list and from the recipients.
    CRoomInfoMgr::GetInstance().SetUserRole(kRoom, kTwinA, 20);
    ::SendMessage(r.ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_ROLE_CHANGED, kTwinA);
    EXPECT_EQ(r.Text("UserListManagerOption"), "管理/2");
    ::SendMessage(r.ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_USER_LEAVE,
                  reinterpret_cast<LPARAM>(new RoomUserChange{kMic, 4}));
    EXPECT_EQ(r.Text("UserListMemberOption"), "成员/4");
    EXPECT_EQ(r.Text("UserListMicOrderOption"), "麦序/0");
    EXPECT_EQ(r.Targets()->GetCount(), 0);

    // Arrivals under a search: listed only when the text finds them; the tab counts everybody.
    CRoomInfoMgr::GetInstance().RemoveRoomUser(kRoom, kMic);
    find->SetText("twi");
    r.Notify("textchanged", find);
    for (auto [uid, nick] : {std::pair<uint32_t, const char*>{2006, "twirl"}, {2007, "zed"}}) {
        RoomUserInfo u;
        u.uid = uid, u.nickname = nick, u.level = 300, u.beautyid = uid + 80000;
        CRoomInfoMgr::GetInstance().AddRoomUser(kRoom, u);
        ::SendMessage(r.ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_USER_ENTER,
                      reinterpret_cast<LPARAM>(new RoomUserChange{uid, 0}));
    }
    EXPECT_EQ(Uids(members), (std::vector<uint32_t>{kTwinA, kTwinB, 2006}));
    EXPECT_EQ(r.Text("UserListMemberOption"), "成员/6");
    find->SetText(CDealMainRight::kSearchPrompt);
    r.Notify("textchanged", find);
    EXPECT_EQ(Uids(members), (std::vector<uint32_t>{kMe, kTwinA, kTwinB, kGuest, 2006, 2007}));
}

// A row's level icon runs on the list's own timer and names its level.
TEST(RightColumn, LevelIconsAnimateAndNameTheirLevel) {
    SetUpOnce();
    auto* h = static_cast<roomtest::FakeHalvec*>(AfxGetDataManager()->GetModule(HALVEC_MODULE_NAME));
    LevelItem level;
    level.id = 300;
    level.name = "财主";
    level.fname = roomtest::Pic("level\\300.gif");
    h->levels[300] = level;
    std::string gif = Dir::ToNativePath(level.fname);
    std::filesystem::create_directories(std::filesystem::path(gif).parent_path());
    std::ofstream(gif, std::ios::binary) << testsupport::MakeGif({5, 5, 5});
    {
        Room r;
        r.ui.m_PaintManager.UpdateLayout();  // only the rows shown animate
        CUserListUI* members = r.List("UserMemberList");
        CControlUI* row = members->GetItemAt(members->FindUserIndex(kTwinA));
        auto* box = static_cast<CContainerUI*>(row->GetInterface("Container"));
        CControlUI* found = box ? box->FindSubControl("LevelIconContainer") : nullptr;
        auto* icon = found ? static_cast<CGifListUIItem*>(found->GetInterface("CGifListUIItem")) : nullptr;
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(std::string(icon->GetToolTip().c_str()), "财主");
        ASSERT_TRUE(icon->IsAnimated());
        const int shown = icon->GetGif()->GetCurrentFrameIndex();
        EXPECT_TRUE(PumpUntil([&] { return icon->GetGif()->GetCurrentFrameIndex() != shown; }, 10000))
            << "the level icon stood still";
    }
    h->levels.erase(300);
}

TEST(RightColumn, RecipientsAndMenuTargetsAreUsersNotNicknames) {
    Room r;
    CUserListUI* members = r.List("UserMemberList");
    ASSERT_NE(members, nullptr);
    // Two users called "twin": each click selects that user's own item.
    for (uint32_t uid : {kTwinA, kTwinB, kTwinA, kGuest}) {
        r.ClickRow(uid);
        EXPECT_EQ(r.SelectedTarget(), uid == kGuest ? kTwinA : uid) << uid;  // a guest is no recipient
    }
    EXPECT_EQ(r.Targets()->GetCount(), 3);  // mic, twin A, twin B

    // Row A is selected; the right click lands on row B: every action goes to B.
    members->SelectItem(members->FindUserIndex(kTwinA));
    r.ui.m_PaintManager.UpdateLayout();
    RECT rowB = members->GetItemAt(members->FindUserIndex(kTwinB))->GetPos();
    POINT onB{(rowB.left + rowB.right) / 2, (rowB.top + rowB.bottom) / 2};
    ASSERT_GT(rowB.bottom, rowB.top) << "the skin gives the list no room";
    struct Case {
        int id;
        std::string cmd;
        int optype;
    };
    for (const Case& c : std::vector<Case>{{kMenuKick, "kickroom", -1},
                                           {kMenuMute, "oproomuserchat", 1},
                                           {kMenuBlacklist, "oproomblackuser", 1},
                                           {kMenuRoleManager, "oproomuserrole", 1},
                                           {kMenuPublicMic, "opmic", 1},
                                           {kMenuViewIP, "getuserloc", -1},
                                           {kMenuProfile, "getuserinfo", -1}}) {
        r.sent.clear();
        r.menuAnswer = c.id;
        r.Notify("menu", members, onB);
        ASSERT_EQ(r.sent.size(), 1u) << c.cmd;
        const Room::Sent& m = r.sent[0];
        EXPECT_EQ(m.cmd, c.cmd);
        EXPECT_EQ(m.ctx[0], int(kRoom)) << c.cmd;
        EXPECT_EQ(m.ctx[1], int(kTwinB)) << c.cmd;
        const std::string& query = m.query;
        EXPECT_NE(query.find("tid=2002"), std::string::npos) << query;
        if (c.optype >= 0) {
            EXPECT_NE(query.find("optype=" + std::to_string(c.optype)), std::string::npos) << query;
        }
        if (c.id == kMenuMute) {
            EXPECT_EQ(m.ctx[2], 1);
        }
        if (c.id == kMenuRoleManager) {
            EXPECT_NE(query.find("roletype=20"), std::string::npos) << query;
        }
    }
    EXPECT_EQ(r.menuShown.size(), 20u);
    r.menuAnswer = kMenuGiftTarget;
    r.Notify("menu", members, onB);
    EXPECT_EQ(r.SelectedTarget(), kTwinB);
    // An item the menu showed disabled sends nothing: the own row cannot be kicked.
    r.sent.clear();
    r.menuAnswer = kMenuKick;
    EXPECT_EQ(r.ui.Right().ShowUserMenu(kMe), 1);
    EXPECT_TRUE(r.sent.empty());
    // No record: no menu. The menu ended by the modal cancel with nothing stacked closes the room.
    EXPECT_EQ(r.ui.Right().ShowUserMenu(kHidden + 100), 0);
    r.menuAnswer = kMenuDismissed;
    EXPECT_EQ(r.ui.Right().ShowUserMenu(kTwinB), 1);
    EXPECT_EQ(r.logic.closes, 1);
    // A guest's profile is the room's own record, no request.
    r.sent.clear();
    r.menuAnswer = kMenuProfile;
    r.ui.Right().ShowUserMenu(kGuest);
    EXPECT_TRUE(r.sent.empty());
    EXPECT_EQ(r.ui.Right().UserInfoPopup().m_info.nickname, "guest");
    EXPECT_TRUE(r.ui.Right().UserInfoPopup().IsWindowVisible());
}

TEST(UserDetails, AnswersIncludingWrongTypesFillTheCard) {
    Room r;
    // A level picture that loads (the sample catalogue's level 250).
    std::string levelGif = Dir::ToNativePath(roomtest::Pic("level\\250.gif"));
    std::filesystem::create_directories(std::filesystem::path(levelGif).parent_path());
    std::ofstream(levelGif, std::ios::binary) << testsupport::MakeGif({10, 10});
    roompopups::CUIChkUserInfo& card = r.ui.Right().UserInfoPopup();
    card.m_today = [](int& y, int& m) { y = 2010, m = 6; };
    // The catalogue's full path is used as it is, whatever the resource folder (the program has one).
    const std::string resources = std::filesystem::path(levelGif).parent_path().string() + "/";
    CPaintManagerUI::SetResourcePath(resources.c_str());
    struct Case {
        const char* body;
        int status;
        uint32_t uid;  // the id shown: the beauty id when there is one
        const char* nick;
        const char* sex;
        const char* age;  // the age label, "" when unknown (never the last user's)
        const char* address;
    };
    const Case cases[] = {
        {R"({"status":1,"user":{"uid":2002,"beautyid":88888,"nickname":"twin","level":250,"photoid":7,"sex":2,"prov":"GD","city":"SZ","birth":"1990-12-31"}})",
         1, 88888, "twin", "女", "19", "GDSZ"},
        {R"({"status":1,"user":{"uid":2002,"nickname":"twin","sex":1,"prov":"GD","city":"GD","birth":"1990"}})", 1,
         2002, "twin", "男", "", "GD"},
        {R"({"status":1,"user":"nobody"})", 1, 0, "", "保密", "", ""},
        {R"({"status":1,"user":{"uid":-5,"nickname":7,"level":"abc","sex":"2","prov":[],"city":{},"birth":12}})", 1, 0,
         "7", "保密", "", ""},
        {R"({"status":"1","user":{"uid":1e40}})", 2, 0, "", "保密", "", ""},
        {"<html>busy</html>", 2, 0, "", "保密", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        CZQGetUserInfoMsg reply;
        std::string body = c.body;
        EXPECT_NO_THROW(reply.Parse(body.c_str(), int(body.size())));
        EXPECT_EQ(reply.status, c.status);
        // The record the room manager makes of it (room notification 9).
        auto* d = new RoomUserDetail;
        d->uid = uint32_t(reply.tid);
        d->beautyid = reply.beautyid;
        d->nickname = reply.nickname;
        d->level = reply.level;
        d->photoid = reply.photoid;
        d->sex = reply.sex;
        d->birth = reply.birth;
        d->province = reply.prov;
        d->city = reply.city;
        ::SendMessage(r.ui.GetHWND(), WM_ROOM_NOTIFY, ROOM_NOTIFY_USER_DETAIL, reinterpret_cast<LPARAM>(d));
        ASSERT_TRUE(card.IsWindowVisible());
        auto label = [&](const char* name) {
            return std::string(card.m_PaintManager.FindControl(name)->GetText().c_str());
        };
        EXPECT_EQ(label("UserIDEdit"), std::to_string(c.uid));
        EXPECT_EQ(label("ChkUserNickNameLabel"), c.nick);
        EXPECT_EQ(label("UserSexLabel"), c.sex);
        EXPECT_EQ(label("UserAgeLabel"), c.age);
        EXPECT_EQ(label("UserAddressLabel"), c.address);
        // Head picture and level icon of this user only: the first case's are gone in the next ones.
        auto* level = dynamic_cast<CControlGifBk*>(card.m_PaintManager.FindControl("UserLevelControl"));
        ASSERT_NE(level, nullptr);
        const bool first = &c == &cases[0];
        EXPECT_EQ(level->GetGif() != nullptr, first);
        EXPECT_EQ(std::string(card.m_PaintManager.FindControl("HeadPictureUI")->GetBkImage()),
                  first ? "file='photo7.png' dest='5,5,60,60'" : "");
    }
    // A name without a folder is one of the resource folder.
    auto* level = dynamic_cast<CControlGifBk*>(card.m_PaintManager.FindControl("UserLevelControl"));
    level->SetAttribute("giffile", "250.gif");
    EXPECT_NE(level->GetGif(), nullptr);
    CPaintManagerUI::SetResourcePath("");
    // The profile request is the one of the service's command table.
    CZQGetUserInfoMsg ask;
    ask.uid = kMe;
    ask.sid = 7001;
    ask.tid = int(kTwinB);
    std::string query;
    ask.BuildSendString(query);
    EXPECT_NE(query.find("cmd=getuserinfo"), std::string::npos) << query;
    EXPECT_NE(query.find("tid=2002"), std::string::npos) << query;
}

TEST(UserDetails, AgeAddressAndConsumptionTotals) {
    struct Age {
        const char* birth;
        int year, month, age;
    };
    for (const Age& a : std::vector<Age>{{"1990-12-31", 2010, 6, 19},
                                         {"1990-06-01", 2010, 6, 20},
                                         {"1990-0-1", 2010, 6, 20},
                                         {"1990", 2010, 6, 0},
                                         {"2010-03-01", 2010, 6, 0},
                                         {"-12-01", 2010, 6, 0},
                                         {"99999999999999999999-1-1", 2010, 6, 0},
                                         {"", 2010, 6, 0}})
        EXPECT_EQ(roompopups::AgeFromBirthday(a.birth, a.year, a.month), a.age) << a.birth;
    EXPECT_EQ(roompopups::AddressText("广东", "广东"), "广东");
    EXPECT_EQ(roompopups::AddressText("广东", "深圳"), "广东深圳");
    auto rec = [](uint32_t gift, uint32_t price, uint32_t count, uint32_t beans) {
        RoomGiftRecord g;
        g.itemId = gift;
        g.unitPrice = price;
        g.count = count;
        g.extra = beans;
        return g;
    };
    struct Totals {
        std::vector<RoomGiftRecord> records;
        const char* sent;
        const char* received;
    };
    for (const Totals& t : std::vector<Totals>{
             {{rec(21012, 100000, 1, 0), rec(21012, 100000, 1, 0)}, "200000", "0 Z豆, 180000 Z币"},
             {{rec(501, 1, 99, 1)}, "99", "99 Z豆, 0 Z币"},
             {{rec(21012, 11, 1, 0), rec(21012, 11, 1, 0)}, "22", "0 Z豆, 18 Z币"},  // cut per record
             // Beyond 32 bits: the sums keep counting.
             {{rec(21012, 4000000000u, 4, 0), rec(501, 4000000000u, 2, 3000000000u)},
              "24000000000",
              "6000000000 Z豆, 14400000000 Z币"},
         }) {
        EXPECT_EQ(roompopups::SentTotalText(t.records), t.sent);
        EXPECT_EQ(roompopups::ReceivedTotalText(t.records), t.received);
    }
}

TEST(UserDetails, ConsumptionListsBuiltOncePerWindowAndPopupsGoWithIt) {
    Room r;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    RoomGiftRecord sent;
    sent.kind = 1;
    sent.otherParty = "twin";
    sent.itemText = "玫瑰";
    sent.unitPrice = 10;
    sent.count = 3;
    store.AddGiftRecord(kRoom, sent);
    r.Notify("click", r.ui.m_PaintManager.FindControl("CustomDetailBTN"));
    roompopups::CUIConsumeDetail& popup = r.ui.Right().ConsumePopup();
    ASSERT_TRUE(popup.IsWindowVisible());
    EXPECT_TRUE(popup.SentBuilt());
    EXPECT_FALSE(popup.ReceivedBuilt());
    auto* list = dynamic_cast<CListUI*>(popup.m_PaintManager.FindControl("SendGiftList"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetCount(), 1);
    EXPECT_EQ(std::string(popup.m_PaintManager.FindControl("SendGiftTotalLabel")->GetText().c_str()), "30");
    // Later records show after the window is opened again, not while it stays open.
    store.AddGiftRecord(kRoom, sent);
    TNotifyUI sel;
    sel.sType = "selectchanged";
    sel.pSender = popup.m_PaintManager.FindControl("SendGiftOption");
    popup.Notify(sel);
    EXPECT_EQ(list->GetCount(), 1);
    sel.pSender = popup.m_PaintManager.FindControl("ReciveGiftOption");
    popup.Notify(sel);
    EXPECT_TRUE(popup.ReceivedBuilt());
    EXPECT_EQ(std::string(popup.m_PaintManager.FindControl("ReciveGiftTotalLabel")->GetText().c_str()), "0 Z豆, 0 Z币");
    r.Notify("click", r.ui.m_PaintManager.FindControl("CustomDetailBTN"));
    EXPECT_EQ(list->GetCount(), 2);
    // Closing hides; the room window's end destroys both popups' windows.
    ::SendMessage(popup.GetHWND(), WM_CLOSE, 2, 0);  // what Close(2) posts
    EXPECT_FALSE(popup.IsWindowVisible());
    EXPECT_EQ(popup.m_closeCode, 2u);
    // An answer still queued when the window closes never reaches the card; both popups go with the window.
    roompopups::CUIChkUserInfo& card = r.ui.Right().UserInfoPopup();
    card.m_info.nickname = "before";
    auto late = std::make_unique<RoomUserDetail>();
    late->nickname = "late";
    EXPECT_TRUE(PostRoomNotify(r.ui.GetHWND(), ROOM_NOTIFY_USER_DETAIL, std::move(late)));
    r.ui.CloseRoomWindow();
    PumpMessagesFor(50);
    EXPECT_EQ(card.m_info.nickname, "before");
    EXPECT_EQ(card.GetHWND(), nullptr);
    EXPECT_EQ(popup.GetHWND(), nullptr);
}

TEST(Moderation, MuteAndKickReachTheServiceAndTheOtherClient) {
    testenv::ChatServer chat;
    ASSERT_GT(chat.Start(), 0);
    testenv::RoomService service;
    ASSERT_GT(service.Start(), 0);
    service.SetNoticeSink([&chat](int rid, const std::string& cmd, const std::string& body) {
        chat.PushNotice(uint32_t(rid), cmd, body);
    });
    service.WithData([&](testenv::SvcData& d) {
        d.chatPort = chat.Port();
        d.users[1001].sid = 7001;
        d.users[1002].sid = 7002;
        d.users[1002].level = 300;
        testenv::SvcRoom& room = d.rooms[kRoom];
        room.users = {1001, 1002};
        room.mics.clear();
        room.roles = {{1001, 40}};
    });
    // The other user's chat client, joined to the room's channel with the service's signatures.
    CPingla bob;
    testsupport::ChatInbox inbox;
    ASSERT_TRUE(testsupport::JoinRoomChat(service, bob, inbox, 1002, 7002, 3003, "1002_chat"));

    // The owner's room window sends through the request worker to the service.
    Room r;
    RoomUserInfo u;
    u.uid = 1002;
    u.nickname = "bob";
    u.level = 300;
    CRoomInfoMgr::GetInstance().AddRoomUser(kRoom, u);
    CGlobalDataApp::GetInstance().SetSignKeys(testenv::kRoomServiceKeyA, testenv::kRoomServiceKeyB);
    CMsgClientThread& worker = CMsgClientThread::GetInstance();
    worker.SetEndpoint(service.Endpoint());
    worker.SetRequestTimeout(2000);
    ASSERT_EQ(worker.Start(), 1);
    r.ui.Right().PostRequest = nullptr;

    r.menuAnswer = kMenuMute;
    EXPECT_EQ(r.ui.Right().ShowUserMenu(1002), 1);
    EXPECT_TRUE(inbox.WaitFor("notifyop type=2\ntid=1002\nfid=1001")) << "the muted client saw nothing";
    bool muted = false;
    service.WithData([&](testenv::SvcData& d) { muted = d.rooms[kRoom].muted.count(1002) > 0; });
    EXPECT_TRUE(muted);

    r.menuAnswer = kMenuKick;
    EXPECT_EQ(r.ui.Right().ShowUserMenu(1002), 1);
    EXPECT_TRUE(inbox.WaitFor("notifyop type=1\ntid=1002\nfid=1001")) << "the kicked client saw nothing";
    EXPECT_TRUE(inbox.WaitFor("notifyexit id=1002\n"));
    bool gone = false;
    EXPECT_TRUE(testsupport::WaitUntil([&] {
        service.WithData([&](testenv::SvcData& d) { gone = d.rooms[kRoom].users.count(1002) == 0; });
        return gone;
    }));
    EXPECT_EQ(service.BadSignatures(), 0);
    worker.Stop();
    bob.Close();
}
