// The room directory: records from the replies, counting, favourites, look-ups, and the tree list.
#include <gtest/gtest.h>

#include "LobbyTestEnv.h"
#include "NavigationBarInfo.h"
#include "RoomNavListUI.h"
#include "ZQCommands.h"
#include "ZqLib.h"

using namespace DuiLib;

namespace {

CZQGetAllNavMsg* ParseNav(CZQGetAllNavMsg& m, const std::string& json) {
    m.Parse(json.c_str(), (int)json.size());
    return &m;
}

const char kNav[] =
    R"({"cmd":"getallnav","status":1,"onlinecnt":99,"officialobj":{"name":"%B9%D9%B7%BD","cnt":12},)"
    R"("catnavobj":{"type":1,"name":"cat","catlist":[{"id":3003,"name":"a","cnt":2},{"id":3004,"name":"b","cnt":5}]},)"
    R"("hotactivityobj":{"type":2,"name":"act","activitylist":[{"id":1,"name":"x","url":"http://h/1"}]},)"
    R"("rcmgameobj":{"type":3,"name":"game","gamelist":"none"}})";

}  // namespace

TEST(NavigationData, FromTheReplyWithCountsAndLookUps) {
    CZQGetAllNavMsg first, second;
    ParseNav(first, kNav);
    ParseNav(second, kNav);
    ASSERT_EQ(first.categories.size(), 4u);
    EXPECT_EQ(first.categories[0].type, 5);
    EXPECT_EQ(first.categories[0].name, "官方");
    EXPECT_TRUE(first.categories[3].items.empty());  // "gamelist" is not an array
    // Ids keep rising across replies; copies keep them.
    EXPECT_GT(second.categories[0].uniqueId, first.categories.back().uniqueId);
    CNavigationBarInfo nav;
    nav.categories = first.categories;
    EXPECT_EQ(nav.categories[1].uniqueId, first.categories[1].uniqueId);
    // The official rooms keep their own count through every recount and count towards the total.
    EXPECT_EQ(nav.GetTotalOnlineCount(), 12 + 2 + 5);
    EXPECT_EQ(nav.GetTotalOnlineCount(), 19);
    EXPECT_EQ(nav.categories[0].count, 12);
    EXPECT_EQ(nav.categories[2].count, 0);  // activities carry no counts

    CCategoryInfo& rooms = nav.categories[1];
    CategoryItem update;
    update.id = 3004;
    update.cnt = 9;
    EXPECT_TRUE(rooms.UpdateItemCount(update));
    EXPECT_EQ(rooms.items[1].cnt, 9);
    update.id = 777;
    EXPECT_FALSE(rooms.UpdateItemCount(update));
    // A whole count reply at once: the first item of an id takes the last count given for it.
    CCategoryInfo twice = rooms;
    twice.items.push_back(twice.items[1]);
    std::vector<CategoryItem> reply(3);
    reply[0].id = 3004, reply[0].cnt = 1;
    reply[1].id = 777, reply[1].cnt = 2;
    reply[2].id = 3004, reply[2].cnt = 3;
    EXPECT_EQ(twice.UpdateItemCounts(reply), 2);
    EXPECT_EQ(twice.items[1].cnt, 3);
    EXPECT_EQ(twice.items.back().cnt, 9);

    int catId = rooms.uniqueId, itemId = rooms.items[0].uniqueId;
    EXPECT_EQ(nav.FindCategory(catId), &rooms);
    EXPECT_EQ(nav.FindCategory(itemId), nullptr);
    EXPECT_EQ(nav.FindItem(catId), nullptr);
    EXPECT_EQ(nav.FindItemCategory(catId), nullptr);
    EXPECT_EQ(nav.FindItem(itemId), &rooms.items[0]);
    EXPECT_EQ(nav.FindItemCategory(itemId), &rooms);

    CZQGetAllNavMsg empty, officialOnly;
    ParseNav(empty, R"({"cmd":"getallnav","status":1})");
    EXPECT_TRUE(empty.categories.empty());
    ParseNav(officialOnly, R"({"cmd":"getallnav","status":1,"officialobj":{"name":"o","cnt":3}})");
    ASSERT_EQ(officialOnly.categories.size(), 1u);
    EXPECT_TRUE(officialOnly.categories[0].items.empty());
}

TEST(NavigationData, FavouritesFollowTheLoginType) {
    struct Row {
        std::vector<int> types;  // category types before
        int loginType;
        std::vector<int> after;
    } rows[] = {
        {{5, 1}, 1, {5, 1}},        // guest without favourites: nothing
        {{5, 4, 1}, 1, {5, 1}},     // guest: removed
        {{5, 1}, 0, {5, 1, 4}},     // account: appended
        {{5, 1, 4}, 0, {5, 1, 4}},  // already last: kept
        {{4, 5, 1}, 3, {5, 1, 4}},  // elsewhere: moved to the end
    };
    for (const Row& r : rows) {
        CNavigationBarInfo nav;
        for (int t : r.types) {
            CCategoryInfo c;
            c.type = t;
            nav.categories.push_back(c);
        }
        nav.UpdateFavouriteCategory(r.loginType);
        nav.UpdateFavouriteCategory(r.loginType);  // twice changes nothing more
        std::vector<int> got;
        for (auto& c : nav.categories) got.push_back(c.type);
        EXPECT_EQ(got, r.after) << "login type " << r.loginType;
        bool keptOld = !r.types.empty() && r.types.back() == 4;  // the old record stays as it was
        if (!keptOld && !nav.categories.empty() && nav.categories.back().type == 4) {
            ASSERT_EQ(nav.categories.back().items.size(), 1u);
            EXPECT_EQ(nav.categories.back().name, "我的房间");
            EXPECT_EQ(nav.categories.back().items[0].name, "收藏房间");
            EXPECT_EQ(nav.categories.back().items[0].id, 1);
        }
    }
}

namespace {

// A window holding the tree list, with the build's skin archive (for the row skin).
class TreeHost : public WindowImplBase {
public:
    const char* GetWindowClassName() const override { return "TreeHost"; }
    CControlUI* CreateControl(const char* cls) override {
        return EqualNoCase(cls, "Roomlist") ? new CRoomNavListUI(&m_PaintManager) : nullptr;
    }
    CRoomNavListUI* List() { return static_cast<CRoomNavListUI*>(m_PaintManager.FindControl("tree")); }
    CPaintManagerUI& Manager() { return m_PaintManager; }

protected:
    CDuiString GetSkinFile() override {
        return R"(<Window size="240,100"><VerticalLayout><Roomlist name="tree" vscrollbar="true"/></VerticalLayout></Window>)";
    }
    ZQ_SKIN_ANSWERS()
};

NavNodeData Node(const char* key, bool folder) {
    NavNodeData d;
    d.key = key;
    d.text = key;
    d.folder = folder ? 1 : 0;
    return d;
}

std::vector<std::string> VisibleKeys(CRoomNavListUI* list) {
    std::vector<std::string> keys;
    for (int i = 0; i < list->GetCount(); ++i) {
        CControlUI* row = list->GetItemAt(i);
        auto* n = reinterpret_cast<CItemNode*>(row->GetTag());
        if (row->IsVisible() && n) keys.push_back(n->key);
    }
    return keys;
}

std::vector<std::string> AllKeys(CRoomNavListUI* list) {
    std::vector<std::string> keys;
    for (int i = 0; i < list->GetCount(); ++i)
        keys.push_back(reinterpret_cast<CItemNode*>(list->GetItemAt(i)->GetTag())->key);
    return keys;
}

using Keys = std::vector<std::string>;

}  // namespace

TEST(NavigationTree, InsertionVisibilityAndRemoval) {
    lobbytest::SetUpOnce();
    TreeHost host;
    ASSERT_NE(host.Create(nullptr, "tree", 0, 0, 0, 0, 0, 0), nullptr);
    CRoomNavListUI* list = host.List();
    ASSERT_NE(list, nullptr);
    CItemNode* a = list->AddNode(Node("A", true));
    ASSERT_NE(a, nullptr);
    CItemNode* a1 = list->AddNode(Node("A1", true), a);
    CItemNode* a1x = list->AddNode(Node("A1x", false), a1);
    CItemNode* b = list->AddNode(Node("B", true));
    list->AddNode(Node("A2", false), a);
    ASSERT_TRUE(a1 && a1x && b);
    // The second top-level node follows the first's last descendant; a child goes after its siblings' rows.
    EXPECT_EQ(AllKeys(list), (Keys{"A", "A1", "A1x", "A2", "B"}));
    EXPECT_EQ(a1x->level, 2);
    // Indented content, highlight from the left edge.
    EXPECT_EQ(list->GetItemAt(1)->GetPadding().left, 0);
    EXPECT_EQ(static_cast<CContainerUI*>(list->GetItemAt(1)->GetInterface("IContainer"))->GetInset().left, 20);
    // Entries under closed folders are hidden until opened.
    EXPECT_EQ(VisibleKeys(list), (Keys{"A", "B"}));
    list->ExpandTopLevel();
    EXPECT_EQ(VisibleKeys(list), (Keys{"A", "A1", "A2", "B"}));
    list->ExpandNode(a1, true);
    EXPECT_EQ(VisibleKeys(list), (Keys{"A", "A1", "A1x", "A2", "B"}));
    // Closing A hides both levels; reopening restores the open child's rows.
    list->ExpandNode(a, false);
    EXPECT_EQ(VisibleKeys(list), (Keys{"A", "B"}));
    list->ExpandNode(a, true);
    EXPECT_EQ(VisibleKeys(list), (Keys{"A", "A1", "A1x", "A2", "B"}));
    auto* label = static_cast<CLabelUI*>(list->RowPart(a, "ItemTextLabel"));
    EXPECT_EQ(label->GetText(), "<i list-Expand.png><x 10>A");
    // Both markers are pictures of the skin.
    EXPECT_NE(host.Manager().GetImage("list-Expand.png"), nullptr);
    EXPECT_NE(host.Manager().GetImage("list-Collapse.png"), nullptr);

    EXPECT_TRUE(list->SetOnlineCount("A2", "[7]"));
    EXPECT_FALSE(list->SetOnlineCount("none", "[7]"));
    EXPECT_EQ(list->FindNode("A2")->countText, "[7]");
    auto other = std::make_unique<CButtonUI>();
    EXPECT_FALSE(list->Add(other.get()));  // only list rows
    list->SetSelectedNode(a1x);
    EXPECT_EQ(static_cast<CLabelUI*>(list->RowPart(a1x, "ItemTextLabel"))->GetTextColor(), 0xFF0000u);
    EXPECT_TRUE(list->RemoveNode(a1));
    EXPECT_EQ(list->GetSelectedNode(), nullptr);
    EXPECT_EQ(AllKeys(list), (Keys{"A", "A2", "B"}));
    EXPECT_FALSE(list->RemoveNode(list->GetRoot()));
    list->RemoveAll();
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_NE(list->AddNode(Node("C", false)), nullptr);
    EXPECT_EQ(list->GetItemIndex(list->FindNode("C")->row), 0);
    // The directory's names are text, whichever brackets they use.
    for (const char* name : {"<i list-Expand.png>x", "{a y}z"}) {
        CItemNode* row = list->AddNode(Node(name, false));
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(static_cast<CLabelUI*>(list->RowPart(row, "ItemTextLabel"))->GetText(),
                  std::string(1, name[0]) + name);
    }
}

// The directory filled from the categories in order, its counts shown by key, and keys shared by two nodes
// found as the tree gives them (the first in depth-first order, also after it went).
TEST(NavigationTree, DirectoryFilledAndCountedByKey) {
    lobbytest::SetUpOnce();
    TreeHost host;
    ASSERT_NE(host.Create(nullptr, "tree", 0, 0, 0, 0, 0, 0), nullptr);
    CRoomNavListUI* list = host.List();
    std::vector<CCategoryInfo> cats(3);
    cats[0].type = 5, cats[0].name = "official", cats[0].count = 4;
    cats[1].type = 1, cats[1].name = "rooms";
    cats[2].type = 2, cats[2].name = "games";
    for (int i = 0; i < 300; ++i) {
        CategoryItem item;
        item.id = 5000 + i, item.cnt = i, item.name = "r" + std::to_string(i);
        cats[1 + i % 2].items.push_back(item);
    }
    FillRoomDirectory(*list, cats);
    ASSERT_EQ(list->GetCount(), 303);
    Keys expected{std::to_string(cats[0].uniqueId), std::to_string(cats[1].uniqueId)};
    for (const CategoryItem& i : cats[1].items) expected.push_back(std::to_string(i.uniqueId));
    expected.push_back(std::to_string(cats[2].uniqueId));
    for (const CategoryItem& i : cats[2].items) expected.push_back(std::to_string(i.uniqueId));
    EXPECT_EQ(AllKeys(list), expected);
    for (int i = 0; i < list->GetCount(); ++i) ASSERT_EQ(list->GetItemIndex(list->GetItemAt(i)), i);
    cats[1].items[7].cnt = 77;
    ShowDirectoryCounts(*list, cats);
    EXPECT_EQ(list->FindNode(std::to_string(cats[1].items[7].uniqueId))->countText, "[77]");
    EXPECT_EQ(list->FindNode(std::to_string(cats[1].uniqueId))->countText, "[22413]");
    EXPECT_EQ(list->FindNode(std::to_string(cats[0].uniqueId))->countText, "[4]");
    EXPECT_EQ(list->FindNode(std::to_string(cats[2].items[0].uniqueId))->countText, "");  // games carry none
    // Rows are made up when first shown: the rows in view after a layout, a later one with the count and the
    // selection it got before (its tooltip the count it came with).
    list->ExpandTopLevel();
    host.Manager().UpdateLayout();
    auto part = [&](CItemNode* n, const char* name) {
        return static_cast<CLabelUI*>(static_cast<CContainerUI*>(n->row)->FindSubControl(name));
    };
    CItemNode* first = list->FindNode(std::to_string(cats[1].items[0].uniqueId));
    ASSERT_NE(part(first, "OnlineCNTLabel"), nullptr);
    EXPECT_EQ(part(first, "OnlineCNTLabel")->GetText(), "[0]");
    CItemNode* shownLater = list->FindNode(std::to_string(cats[1].items[7].uniqueId));
    list->SetSelectedNode(shownLater);
    EXPECT_EQ(part(shownLater, "OnlineCNTLabel"), nullptr);
    ASSERT_NE(list->RowPart(shownLater, "OnlineCNTLabel"), nullptr);
    EXPECT_EQ(part(shownLater, "OnlineCNTLabel")->GetText(), "[77]");
    EXPECT_EQ(part(shownLater, "OnlineCNTLabel")->GetToolTip(), "[14]");
    EXPECT_EQ(part(shownLater, "ItemTextLabel")->GetText(), "r14");
    EXPECT_EQ(part(shownLater, "ItemTextLabel")->GetTextColor(), 0xFF0000u);

    list->RemoveAll();
    CItemNode* a = list->AddNode(Node("A", true));
    CItemNode* b = list->AddNode(Node("B", true));
    CItemNode* late = list->AddNode(Node("X", false), b);
    CItemNode* early = list->AddNode(Node("X", false), a);
    EXPECT_EQ(list->FindNode("X"), early);
    EXPECT_EQ(list->FindNode("B"), b);
    EXPECT_TRUE(list->RemoveNode(early));
    EXPECT_EQ(list->FindNode("X"), late);
    EXPECT_TRUE(list->RemoveNode(late));
    EXPECT_EQ(list->FindNode("X"), nullptr);
}

TEST(NavigationTree, WheelMomentum) {
    lobbytest::SetUpOnce();
    TreeHost host;
    ASSERT_NE(host.Create(nullptr, "tree", 0, 0, 0, 0, 0, 0), nullptr);
    CRoomNavListUI* list = host.List();
    for (int i = 0; i < 20; ++i) list->AddNode(Node(std::to_string(i).c_str(), false));
    host.m_PaintManager.UpdateLayout();
    auto wheel = [&](int dir) {
        TEventUI e;
        e.Type = UIEVENT_SCROLLWHEEL;
        e.wParam = (WPARAM)dir;
        list->DoEvent(e);
    };
    auto tick = [&] {
        TEventUI e;
        e.Type = UIEVENT_TIMER;
        e.wParam = CRoomNavListUI::kScrollTimer;
        list->DoEvent(e);
    };
    // Down: speed -8, 5 * trunc(sqrt 8) = 10 ticks.
    wheel(1);
    EXPECT_EQ(list->GetScrollSpeed(), -8);
    EXPECT_EQ(list->GetScrollTicks(), 10u);
    EXPECT_TRUE(host.m_PaintManager.HasTimer(list, CRoomNavListUI::kScrollTimer));
    tick();
    tick();  // 8 ticks left
    EXPECT_GT(list->GetScrollPos().cy, 0);
    // An up notch during the downward glide adds 12 to the carried value: trunc(-8 * 0.64) + 12 = 7.
    wheel(0);
    EXPECT_EQ(list->GetScrollSpeed(), 7);
    // Two quick up notches from rest: 8, then trunc(8 * 1) + 8 = 16; clamped at 100.
    for (int i = 0; i < 30; ++i) wheel(0);
    EXPECT_EQ(list->GetScrollSpeed(), 100);
    EXPECT_EQ(list->GetScrollTicks(), 50u);
    // An upward glide reaches the top and stops, killing the timer.
    for (int i = 0; i < 60 && host.m_PaintManager.HasTimer(list, CRoomNavListUI::kScrollTimer); ++i) tick();
    EXPECT_EQ(list->GetScrollPos().cy, 0);
    EXPECT_EQ(list->GetScrollSpeed(), 0);
    EXPECT_FALSE(host.m_PaintManager.HasTimer(list, CRoomNavListUI::kScrollTimer));
    wheel(0);
    wheel(0);
    EXPECT_EQ(list->GetScrollSpeed(), 16);
}
