// Reply readers of the lobby, account and smaller room commands.
#include "JsonSafe.h"
#include "ZQCommands.h"

using namespace JsonSafe;

void ReadChatServerInfo(const Json::Value& room, ChatServerInfo& c);  // RoomReplies.cpp

void CoinReply::Read(const Json::Value& root) {
    const Json::Value& u = Get(root, "user");
    ReadAmount(u, "xiubi", xiubi);
    ReadUInt(u, "xiubiver", xiubiver);
}

namespace {
// One directory category of the "getallnav" reply; `list` names its item array, `withUrl` the item's link.
void ReadCategory(const Json::Value& obj, const char* list, bool withUrl, CCategoryInfo& c) {
    int type = 0;
    if (ReadInt(obj, "type", type)) c.type = type;
    ReadDecoded(obj, "name", 250, c.name);
    const Json::Value& items = Get(obj, list);
    for (Json::ArrayIndex i = 0, n = ArraySize(items); i < n; ++i) {
        CategoryItem item;
        ReadInt(items[i], "id", item.id);
        ReadDecoded(items[i], "name", 250, item.name);
        if (withUrl) ReadString(items[i], "url", item.url);
        else ReadInt(items[i], "cnt", item.cnt);
        c.items.push_back(std::move(item));
    }
}

// The account keys of the login and own-details replies; `login` selects the login readings.
void ReadAccount(const Json::Value& root, bool login, AccountReply& a) {
    const Json::Value& u = Get(root, "user");
    ReadUInt(u, "uid", a.uid);
    ReadUInt(u, "sid", a.sid);
    ReadUInt(u, "beautyid", a.beautyid);
    ReadDecoded(u, "name", 250, a.name);
    ReadDecoded(u, "nickname", 250, a.nickname);
    ReadUInt(u, "photoid", a.photoid);
    ReadUInt(u, "level", a.level);
    ReadUInt(u, "sex", a.sex);
    if (login) {
        ReadDecoded(u, "prov", 250, a.prov);
        ReadDecoded(u, "city", 250, a.city);
        ReadDecoded(u, "birth", 250, a.birth);
    } else {
        ReadString(u, "prov", a.prov);
        ReadString(u, "city", a.city);
        ReadString(u, "birth", a.birth);
        ReadUInt(u, "attr", a.attr);
    }
    ReadAmount(u, "upgradeleft", a.upgradeleft);
    ReadAmount(u, "xiubi", a.xiubi);
    ReadUInt(u, "xiubiver", a.xiubiver);
    ReadAmount(u, "zebin", a.zebin);
    ReadUInt(u, "zebinver", a.zebinver);
}
}  // namespace

void CZQGetAllNavMsg::ReadOwn(const Json::Value& root) {
    categories.clear();
    ReadUInt(root, "onlinecnt", onlinecnt);
    const Json::Value& official = Get(root, "officialobj");
    if (!official.isNull()) {
        CCategoryInfo c;
        c.type = 5;
        ReadDecoded(official, "name", 250, c.name);
        ReadInt(official, "cnt", c.count);
        categories.push_back(std::move(c));
    }
    static const struct {
        const char* obj;
        const char* list;
        bool url;
    } kParts[] = {
        {"catnavobj", "catlist", false}, {"hotactivityobj", "activitylist", true}, {"rcmgameobj", "gamelist", true}};
    for (const auto& p : kParts) {
        const Json::Value& obj = Get(root, p.obj);
        if (obj.isNull()) continue;
        CCategoryInfo c;
        ReadCategory(obj, p.list, p.url, c);
        categories.push_back(std::move(c));
    }
}

void CZQGetCateListMsg::ReadOwn(const Json::Value& root) {
    category.items.clear();
    ReadUInt(root, "onlinecnt", onlinecnt);
    const Json::Value& official = Get(root, "officialobj");
    ReadString(official, "name", officialName);  // taken as sent
    ReadUInt(official, "cnt", officialCnt);
    const Json::Value& nav = Get(root, "catnavobj");
    if (nav.isNull()) return;
    uint32_t type = 0;
    if (ReadUInt(nav, "type", type)) category.type = static_cast<int>(type);
    ReadCategory(nav, "catlist", false, category);
}

void CZQGetAnonyUserMsg::ReadOwn(const Json::Value& root) {
    const Json::Value& u = Get(root, "user");
    ReadUInt(u, "uid", uid);
    ReadUInt(u, "sid", sid);
}

void CZQGetChatSigMsg::ReadOwn(const Json::Value& root) {
    ReadChatServerInfo(Get(root, "chatroom"), chatServer);
}

void CZQGetLiveSigMsg::ReadOwn(const Json::Value& root) {
    const Json::Value& l = Get(root, "live");
    live = IsOne(Get(l, "type")) ? 1 : 0;
    ReadUInt(l, "micattr", micattr);
    ReadString(l, "url", url);
    ReadString(l, "op", ctxText[0]);
    ReadUInt(l, "tm", tm);
    ReadString(l, "md5", md5);
    ReadUInt(l, "idx", idx);
}

void CZQGetMyInfoMsg::ReadOwn(const Json::Value& root) {
    ReadAccount(root, false, user);
}

void CZQLogInMsg::ReadOwn(const Json::Value& root) {
    ReadAccount(root, true, user);
}

void CZQGetRoomInfoMsg::ReadOwn(const Json::Value& root) {
    ReadDecoded(root, "logo", 250, logo);
    ReadDecoded(root, "pwd", 250, pwd);
    ReadDecoded(root, "name", 250, name);
    static const char* kMsg[5] = {"msg1", "msg2", "msg3", "msg4", "msg5"};
    // Whole, as the room management dialog may store them (a request carries up to 2,047 bytes each).
    for (int i = 0; i < 5; ++i) ReadDecoded(root, kMsg[i], 2048, msg[i]);
}

void CZQGetUserInfoMsg::ReadOwn(const Json::Value& root) {
    const Json::Value& u = Get(root, "user");
    uint32_t id = 0;
    if (ReadUInt(u, "uid", id)) tid = static_cast<int>(id);
    ReadUInt(u, "photoid", photoid);
    ReadUInt(u, "beautyid", beautyid);
    ReadDecoded(u, "name", 250, name);
    ReadDecoded(u, "nickname", 250, nickname);
    ReadUInt(u, "level", level);
    ReadUInt(u, "sex", sex);
    ReadDecoded(u, "prov", 250, prov);
    ReadDecoded(u, "city", 250, city);
    ReadDecoded(u, "birth", 250, birth);
}

void CZQGetUserLocMsg::ReadOwn(const Json::Value& root) {
    ReadString(root, "ip", ip);
    ReadString(root, "loc", loc);
}
