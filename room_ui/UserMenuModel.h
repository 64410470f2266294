// The items of the user context menu as a function of the two users' records, the microphone counts and
// the operator rights table: which text each id shows and whether it can be chosen. No window, no store:
// the caller copies the records in. Any thread (no shared state).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RoomRecords.h"

namespace roomui {

// Menu ids (the popup's result).
enum UserMenuId {
    kMenuPublicMic = 0,
    kMenuPrivateMic = 1,
    kMenuRoleDeputy = 2,
    kMenuRoleManager = 3,
    kMenuRoleTempManager = 4,
    kMenuMute = 5,
    kMenuUnmute = 6,
    kMenuKick = 7,
    kMenuBlacklist = 8,
    kMenuGiftTarget = 9,
    kMenuChatTarget = 10,
    kMenuWordsGift = 11,
    kMenuStamp = 12,
    kMenuProfile = 13,
    kMenuViewPrivateMic = 14,
    kMenuViewIP = 15,
    kMenuDismissed = -2,
};

// The rights table: `entry` 1..4 is the catalogue entry asked (1 level/-1 or level/target level, 2 role/-1 or
// role/target role, 3 level/target role, 4 role/target level).
class IUserRights {
public:
    virtual ~IUserRights() = default;
    virtual bool Ask(int entry, int right, int a, int b) = 0;
};

struct UserMenuInput {
    RoomUserInfo me;
    RoomUserInfo target;      // a copy of `me` for the own row
    int publicMics = 0;       // users on public microphones
    int privateMics = 0;      // users on private microphones
    uint32_t myUserType = 0;  // the account's level code (guests 100)
};

struct UserMenuEntry {
    bool separator = false;
    int id = -1;
    std::string text;  // GBK
    bool enabled = false;
};

// Own form: right of my level, else of my role.
bool HasOwnRight(IUserRights& rights, int right, const RoomUserInfo& me);
// Pair form: my level against the target's level and role, else my role against them; asks stop as soon
// as the outcome is known.
bool HasPairRight(IUserRights& rights, int right, const RoomUserInfo& me, const RoomUserInfo& target);

// Sixteen items in four groups (separators between them), the own-user table when the two ids are equal.
std::vector<UserMenuEntry> BuildUserMenu(const UserMenuInput& in, IUserRights& rights);

}  // namespace roomui
