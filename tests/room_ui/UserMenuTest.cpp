// The user context menu's items as a function of the two users, the microphone counts and the rights table,
// and the order in which the rights are asked.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <tuple>
#include <vector>

#include "UserMenuModel.h"

using namespace roomui;

namespace {

// Grants the listed rights whatever the levels and roles; records every ask.
class GrantRights : public IUserRights {
public:
    explicit GrantRights(std::set<int> granted) : m_granted(std::move(granted)) {}
    bool Ask(int entry, int right, int a, int b) override {
        asks.emplace_back(entry, right, a, b);
        return m_granted.count(right) > 0;
    }
    std::vector<std::tuple<int, int, int, int>> asks;

private:
    std::set<int> m_granted;
};

std::set<int> AllRights() {
    std::set<int> all;
    for (int r = 1; r <= 16; ++r) all.insert(r);
    return all;
}

RoomUserInfo User(uint32_t uid) {
    RoomUserInfo u;
    u.uid = uid;
    u.nickname = "u" + std::to_string(uid);
    u.level = 300;
    return u;
}

const UserMenuEntry* Find(const std::vector<UserMenuEntry>& items, int id) {
    for (const UserMenuEntry& e : items)
        if (!e.separator && e.id == id) return &e;
    return nullptr;
}

}  // namespace

TEST(UserMenu, ItemsFollowTheRightsTheTargetAndTheCounts) {
    struct Expect {
        int id;
        const char* text;  // nullptr: not checked
        bool enabled;
    };
    struct Case {
        const char* name;
        std::function<void(UserMenuInput&)> setUp;
        std::set<int> rights;
        std::vector<Expect> expect;
        int disabledFrom = 0, disabledTo = -1;  // these ids greyed as well, texts not checked
    };
    const std::vector<Case> cases = {
        {"own row: only the profile and the rights of the own form",
         [](UserMenuInput& in) { in.target = in.me; },
         AllRights(),
         {{0, "抱上公麦", true},
          {1, "抱上私麦", true},
          {2, "任命副室长", false},
          {13, "查看用户资料", true},
          {14, nullptr, false},
          {15, "查看IP", true}},
         3,
         12},
        {"own row on a public microphone, no rights",
         [](UserMenuInput& in) { in.me.mic = 1, in.target = in.me; },
         {},
         {{0, "抱下公麦", false}, {1, "抱上私麦", false}, {13, nullptr, true}, {15, nullptr, false}}},
        {"other user, all rights",
         [](UserMenuInput&) {},
         AllRights(),
         {{0, "抱上公麦", true},
          {1, "抱上私麦", true},
          {2, "任命副室长", true},
          {3, "任命正管", true},
          {4, "任命临管", true},
          {5, "禁止发言", true},
          {6, "恢复发言", false},
          {7, "踢出房间", true},
          {8, "加入黑名单", true},
          {9, nullptr, true},
          {10, nullptr, true},
          {11, nullptr, true},
          {12, "给Ta盖章", true},
          {14, "查看私麦", false},
          {15, nullptr, true}}},
        {"operator in stealth: no moderation, still the views",
         [](UserMenuInput& in) { in.me.hide = 1, in.target.mic = 2; },
         AllRights(),
         {{0, "抱上公麦", false}, {1, "抱下私麦", false}, {14, nullptr, true}, {15, nullptr, true}},
         2,
         8},
        {"microphones full",
         [](UserMenuInput& in) { in.publicMics = 3, in.privateMics = 8; },
         AllRights(),
         {{0, "抱上公麦", false}, {1, "抱上私麦", false}}},
        {"one below the limits",
         [](UserMenuInput& in) { in.publicMics = 2, in.privateMics = 7; },
         AllRights(),
         {{0, nullptr, true}, {1, nullptr, true}}},
        {"target on a public microphone",
         [](UserMenuInput& in) { in.target.mic = 1; },
         AllRights(),
         {{0, "抱下公麦", true}, {1, "抱上私麦", false}, {14, nullptr, false}}},
        {"target is a manager",
         [](UserMenuInput& in) { in.target.role = 20; },
         AllRights(),
         {{2, "任命副室长", true}, {3, "解除正管", true}, {4, "任命临管", true}}},
        {"target is deputy owner and temporary manager texts",
         [](UserMenuInput& in) { in.target.role = 30; },
         {16},
         {{2, "解除副室长", true}, {3, "任命正管", false}}},
        {"muted target",
         [](UserMenuInput& in) { in.target.mute = 2; },
         AllRights(),
         {{5, nullptr, false}, {6, nullptr, true}}},
        {"stamped target", [](UserMenuInput& in) { in.target.tagid = 7; }, AllRights(), {{12, nullptr, false}}},
        {"guest operator cannot stamp",
         [](UserMenuInput& in) { in.myUserType = 100; },
         AllRights(),
         {{12, nullptr, false}, {9, nullptr, true}}},
        {"each right alone",
         [](UserMenuInput&) {},
         {7},
         {{5, nullptr, false}, {7, nullptr, true}, {8, nullptr, false}, {15, nullptr, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UserMenuInput in;
        in.me = User(1001);
        in.me.role = 40;
        in.target = User(1002);
        in.myUserType = 300;
        c.setUp(in);
        GrantRights rights(c.rights);
        std::vector<UserMenuEntry> items = BuildUserMenu(in, rights);
        // Sixteen items, ids in order, four group breaks after ids 1, 4, 8 and 12.
        std::vector<int> shape;
        for (const UserMenuEntry& e : items) shape.push_back(e.separator ? -1 : e.id);
        EXPECT_EQ(shape, (std::vector<int>{0, 1, -1, 2, 3, 4, -1, 5, 6, 7, 8, -1, 9, 10, 11, 12, -1, 13, 14, 15}));
        for (const Expect& x : c.expect) {
            const UserMenuEntry* e = Find(items, x.id);
            ASSERT_NE(e, nullptr) << x.id;
            if (x.text) {
                EXPECT_EQ(e->text, x.text) << "id " << x.id;
            }
            EXPECT_EQ(e->enabled, x.enabled) << "id " << x.id;
        }
        for (int id = c.disabledFrom; id <= c.disabledTo; ++id) {
            const UserMenuEntry* e = Find(items, id);
            ASSERT_NE(e, nullptr) << id;
            EXPECT_FALSE(e->enabled) << "id " << id;
        }
    }
}

TEST(UserMenu, RightsAskedInTheirOrderAndNoFurtherThanNeeded) {
    using Call = std::tuple<int, int, int, int>;
    // me: level 300, role 40; target: level 200, role 10.
    RoomUserInfo me = User(1), target = User(2);
    me.role = 40;
    target.level = 200;
    target.role = 10;
    struct Script : IUserRights {
        std::vector<bool> answers;
        std::vector<Call> asks;
        bool Ask(int entry, int right, int a, int b) override {
            asks.emplace_back(entry, right, a, b);
            bool v = asks.size() <= answers.size() && answers[asks.size() - 1];
            return v;
        }
    };
    struct Case {
        std::vector<bool> answers;
        bool pair;
        bool granted;
        std::vector<Call> asks;
    };
    const std::vector<Case> cases = {
        {{true, true}, true, true, {{1, 7, 300, 200}, {3, 7, 300, 10}}},
        {{false, true, true}, true, true, {{1, 7, 300, 200}, {4, 7, 40, 200}, {2, 7, 40, 10}}},
        {{true, false, false}, true, false, {{1, 7, 300, 200}, {3, 7, 300, 10}, {4, 7, 40, 200}}},
        {{false, true, false}, true, false, {{1, 7, 300, 200}, {4, 7, 40, 200}, {2, 7, 40, 10}}},
        {{true}, false, true, {{1, 7, 300, -1}}},
        {{false, true}, false, true, {{1, 7, 300, -1}, {2, 7, 40, -1}}},
        {{false, false}, false, false, {{1, 7, 300, -1}, {2, 7, 40, -1}}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        Script s;
        s.answers = cases[i].answers;
        bool got = cases[i].pair ? HasPairRight(s, 7, me, target) : HasOwnRight(s, 7, me);
        EXPECT_EQ(got, cases[i].granted);
        EXPECT_EQ(s.asks, cases[i].asks);
    }
}
