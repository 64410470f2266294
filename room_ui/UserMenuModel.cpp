#include "UserMenuModel.h"

namespace roomui {

namespace {

constexpr int kMaxPublicMics = 3;
constexpr int kMaxPrivateMics = 8;
constexpr uint32_t kMuteBit = 2;

int I(uint32_t v) {
    return int(v);
}

class Builder {
public:
    std::vector<UserMenuEntry> items;
    void Add(int id, const char* text, bool enabled) { items.push_back({false, id, text, enabled}); }
    void Break() { items.push_back({true, -1, "", false}); }
};

void BuildOwn(Builder& b, const UserMenuInput& in, IUserRights& rights) {
    const RoomUserInfo& me = in.me;
    bool visible = me.hide == 0;
    if (me.mic == 0)
        b.Add(kMenuPublicMic, "抱上公麦", HasOwnRight(rights, 1, me) && in.publicMics < kMaxPublicMics && visible);
    else if (me.mic == 1) b.Add(kMenuPublicMic, "抱下公麦", HasOwnRight(rights, 2, me));
    else b.Add(kMenuPublicMic, "抱上公麦", false);
    if (me.mic == 0)
        b.Add(kMenuPrivateMic, "抱上私麦", HasOwnRight(rights, 4, me) && in.privateMics < kMaxPrivateMics && visible);
    else if (me.mic == 2) b.Add(kMenuPrivateMic, "抱下私麦", HasOwnRight(rights, 5, me));
    else b.Add(kMenuPrivateMic, "抱上私麦", false);
    b.Break();
    b.Add(kMenuRoleDeputy, "任命副室长", false);
    b.Add(kMenuRoleManager, "任命正管", false);
    b.Add(kMenuRoleTempManager, "任命临管", false);
    b.Break();
    b.Add(kMenuMute, "禁止发言", false);
    b.Add(kMenuUnmute, "恢复发言", false);
    b.Add(kMenuKick, "踢出房间", false);
    b.Add(kMenuBlacklist, "加入黑名单", false);
    b.Break();
    b.Add(kMenuGiftTarget, "选为赠送对象", false);
    b.Add(kMenuChatTarget, "选为聊天对象", false);
    b.Add(kMenuWordsGift, "赠言道具", false);
    b.Add(kMenuStamp, "给Ta盖章", false);
    b.Break();
    b.Add(kMenuProfile, "查看用户资料", true);
    b.Add(kMenuViewPrivateMic, "查看私麦", false);
    b.Add(kMenuViewIP, "查看IP", HasOwnRight(rights, 6, me));
}

void BuildOther(Builder& b, const UserMenuInput& in, IUserRights& rights) {
    const RoomUserInfo& me = in.me;
    const RoomUserInfo& t = in.target;
    bool visible = me.hide == 0;
    auto pair = [&](int right) { return HasPairRight(rights, right, me, t); };
    if (t.mic == 0) b.Add(kMenuPublicMic, "抱上公麦", pair(1) && in.publicMics < kMaxPublicMics && visible);
    else if (t.mic == 1) b.Add(kMenuPublicMic, "抱下公麦", pair(2) && visible);
    else b.Add(kMenuPublicMic, "抱上公麦", false);
    if (t.mic == 0) b.Add(kMenuPrivateMic, "抱上私麦", pair(4) && in.privateMics < kMaxPrivateMics && visible);
    else if (t.mic == 2) b.Add(kMenuPrivateMic, "抱下私麦", pair(5) && visible);
    else b.Add(kMenuPrivateMic, "抱上私麦", false);
    b.Break();
    if (t.role == 30) b.Add(kMenuRoleDeputy, "解除副室长", pair(16) && visible);
    else b.Add(kMenuRoleDeputy, "任命副室长", pair(11) && visible);
    if (t.role == 20) b.Add(kMenuRoleManager, "解除正管", pair(15) && visible);
    else b.Add(kMenuRoleManager, "任命正管", pair(10) && visible);
    if (t.role == 10) b.Add(kMenuRoleTempManager, "解除临管", pair(14) && visible);
    else b.Add(kMenuRoleTempManager, "任命临管", pair(9) && visible);
    b.Break();
    bool muted = (t.mute & kMuteBit) != 0;
    b.Add(kMenuMute, "禁止发言", !muted && pair(12) && visible);
    b.Add(kMenuUnmute, "恢复发言", muted && pair(13) && visible);
    b.Add(kMenuKick, "踢出房间", pair(7) && visible);
    b.Add(kMenuBlacklist, "加入黑名单", pair(8) && visible);
    b.Break();
    b.Add(kMenuGiftTarget, "选为赠送对象", true);
    b.Add(kMenuChatTarget, "选为聊天对象", true);
    b.Add(kMenuWordsGift, "赠言道具", true);
    b.Add(kMenuStamp, "给Ta盖章", t.tagid == 0 && in.myUserType > 100);
    b.Break();
    b.Add(kMenuProfile, "查看用户资料", true);
    b.Add(kMenuViewPrivateMic, "查看私麦", t.mic == 2 && pair(3));
    b.Add(kMenuViewIP, "查看IP", pair(6));
}

}  // namespace

bool HasOwnRight(IUserRights& rights, int right, const RoomUserInfo& me) {
    return rights.Ask(1, right, I(me.level), -1) || rights.Ask(2, right, I(me.role), -1);
}

bool HasPairRight(IUserRights& rights, int right, const RoomUserInfo& me, const RoomUserInfo& target) {
    if (rights.Ask(1, right, I(me.level), I(target.level)) && rights.Ask(3, right, I(me.level), I(target.role)))
        return true;
    return rights.Ask(4, right, I(me.role), I(target.level)) && rights.Ask(2, right, I(me.role), I(target.role));
}

std::vector<UserMenuEntry> BuildUserMenu(const UserMenuInput& in, IUserRights& rights) {
    Builder b;
    if (in.me.uid == in.target.uid) BuildOwn(b, in, rights);
    else BuildOther(b, in, rights);
    return std::move(b.items);
}

}  // namespace roomui
