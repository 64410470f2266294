// Sample data, handler table, account and lobby commands of the local room service.
#include "RoomService.h"

#include <ctime>

#include "ZqLib.h"

namespace testenv {

void RoomService::RegisterHandlers() {
    auto bind = [this](Json::Value (RoomService::*fn)(const Params&)) {
        return [this, fn](const Params& p) { return (this->*fn)(p); };
    };
    handlers_ = {
        {"broadcast", bind(&RoomService::OnBroadCast)},
        {"checknick", bind(&RoomService::OnCheckNick)},
        {"enterroom", bind(&RoomService::OnEnterRoom)},
        {"exitroom", bind(&RoomService::OnExitRoom)},
        {"getallnav", bind(&RoomService::OnGetAllNav)},
        {"getanonyuser", bind(&RoomService::OnGetAnonyUser)},
        {"getcatelist", bind(&RoomService::OnGetCateList)},
        {"getchatsig", bind(&RoomService::OnGetChatSig)},
        {"getlivesig", bind(&RoomService::OnGetLiveSig)},
        {"getmicinfo", bind(&RoomService::OnGetMicInfo)},
        {"getmic", bind(&RoomService::OnGetMic)},
        {"getmyinfo", bind(&RoomService::OnGetMyInfo)},
        {"getroominfo", bind(&RoomService::OnGetRoomInfo)},
        {"getroomuser", bind(&RoomService::OnGetRoomUser)},
        {"getuserinfo", bind(&RoomService::OnGetUserInfo)},
        {"getuserloc", bind(&RoomService::OnGetUserLoc)},
        {"heartbeat", bind(&RoomService::OnHeartBeat)},
        {"kickroom", bind(&RoomService::OnKickRoom)},
        {"login", bind(&RoomService::OnLogin)},
        {"logout", bind(&RoomService::OnLogout)},
        {"opfavroom", bind(&RoomService::OnOpFavRoom)},
        {"opmicattr", bind(&RoomService::OnOpMicAttr)},
        {"opmic", bind(&RoomService::OnOpMic)},
        {"oproomblackuser", bind(&RoomService::OnOpRoomBlackUser)},
        {"oproomuserchat", bind(&RoomService::OnOpRoomUserChat)},
        {"oproomuserrole", bind(&RoomService::OnOpRoomUserRole)},
        {"sendcolorbar", bind(&RoomService::OnSendColorBar)},
        {"sendgift", bind(&RoomService::OnSendGift)},
        {"sendmultigift", bind(&RoomService::OnSendMultiGift)},
        {"sendtag", bind(&RoomService::OnSendTag)},
        {"sendtmpnotice", bind(&RoomService::OnSendTmpNotice)},
        {"updatemyinfo", bind(&RoomService::OnUpdateMyInfo)},
        {"updateroominfo", bind(&RoomService::OnUpdateRoomInfo)},
        {"updatewelword", bind(&RoomService::OnUpdateWelWord)},
    };
}

void RoomService::LoadSampleData() {
    std::lock_guard<std::recursive_mutex> g(dataLock_);
    data_ = SvcData();
    auto addUser = [this](uint32_t uid, const char* name, const char* pwd, const char* nick, uint64_t coins) {
        SvcUser u;
        u.uid = uid;
        u.name = name;
        u.password = pwd;
        u.nickname = nick;
        u.beautyid = uid + 80000;
        u.level = 5;
        u.photoid = 31001;
        u.sex = 1;
        u.prov = "广东";
        u.city = "深圳";
        u.birth = "1990-01-01";
        u.xiubi = coins;
        u.zebin = 100;
        u.upgradeleft = 2500;
        u.chatid = std::to_string(uid) + "_chat";  // a chat id begins with the uid
        data_.users[uid] = u;
    };
    addUser(1001, "alice", "secret", "爱丽丝", 5000000000ULL);
    addUser(1002, "bob", "pw", "鲍勃", 1000);
    addUser(1003, "carol", "pw", "卡罗尔", 0);

    SvcRoom r1;
    r1.rid = 3003;
    r1.name = "欢乐大厅";
    // A notice as the room management dialog stores it: the text's length and that of text and link together.
    const std::string notice = "欢迎来到欢乐大厅";
    r1.msg[0] = StringUtility::Format("%04d%04d", int(notice.size()), int(notice.size())) + notice;
    r1.users = {1002, 1003};
    r1.mics[1002] = SvcMic{0, 3, "publish"};
    r1.roles[1002] = 3;
    r1.welcome[1002] = "大家好";
    r1.gifts.push_back(SvcGift{5, 1003, 1002, 10, 1700000000});
    data_.rooms[r1.rid] = r1;

    SvcRoom r2;
    r2.rid = 3004;
    r2.name = "私密房间";
    r2.pwd = "p&w";
    data_.rooms[r2.rid] = r2;

    // The sample catalogue's gifts; the cheque (21012) is counted in units of 100,000 coins.
    data_.giftPrices = {{5, 10},         {3, 1},          {10001, 10},     {10002, 20},    {10003, 50},
                        {10004, 100},    {10005, 500},    {10006, 200},    {20001, 100},   {20002, 200},
                        {21009, 100000}, {21010, 200000}, {21011, 500000}, {21012, 100000}};
    data_.onlineCount = 1234;
}

// ---- helpers ----

SvcUser* RoomService::SessionUser(const Params& p) {
    auto it = data_.users.find(ParamU(p, "uid"));
    if (it == data_.users.end() || it->second.sid == 0 || it->second.sid != ParamU(p, "sid")) return nullptr;
    return &it->second;
}

SvcRoom* RoomService::Room(const Params& p) {
    auto it = data_.rooms.find(ParamI(p, "rid"));
    return it == data_.rooms.end() ? nullptr : &it->second;
}

Json::Value RoomService::UserJson(const SvcUser& u, bool account) const {
    Json::Value v(Json::objectValue);
    v["uid"] = u.uid;
    v["beautyid"] = u.beautyid;
    v["name"] = UrlEnc(u.name);
    v["nickname"] = UrlEnc(u.nickname);
    v["photoid"] = u.photoid;
    v["level"] = u.level;
    v["sex"] = u.sex;
    v["prov"] = UrlEnc(u.prov);
    v["city"] = UrlEnc(u.city);
    v["birth"] = UrlEnc(u.birth);
    if (account) {
        v["sid"] = u.sid;
        v["attr"] = u.attr;
        v["upgradeleft"] = static_cast<double>(u.upgradeleft);
        v["xiubi"] = static_cast<double>(u.xiubi);
        v["xiubiver"] = u.xiubiver;
        v["zebin"] = static_cast<double>(u.zebin);
        v["zebinver"] = u.zebinver;
    }
    return v;
}

Json::Value RoomService::CoinJson(const SvcUser& u) const {
    Json::Value v(Json::objectValue);
    v["xiubi"] = static_cast<double>(u.xiubi);
    v["xiubiver"] = u.xiubiver;
    return v;
}

bool RoomService::Charge(SvcUser& u, uint64_t amount) {
    if (u.xiubi < amount) return false;
    u.xiubi -= amount;
    ++u.xiubiver;
    return true;
}

// ---- account and lobby ----

Json::Value RoomService::OnLogin(const Params& p) {
    std::string name = ParamS(p, "name");
    for (auto& [uid, u] : data_.users) {
        if (u.guest || u.name != name) continue;
        if (u.password != ParamS(p, "pwd")) return Reply(2, "密码错误");
        u.sid = data_.nextSid++;
        Json::Value v = Reply(1);
        v["user"] = UserJson(u, true);
        return v;
    }
    return Reply(2, "用户不存在");
}

Json::Value RoomService::OnGetAnonyUser(const Params&) {
    SvcUser u;
    u.uid = data_.nextUid++;
    u.sid = data_.nextSid++;
    u.guest = true;
    u.beautyid = u.uid;
    u.level = 100;
    u.nickname = "游客" + std::to_string(u.uid);
    u.chatid = std::to_string(u.uid) + "_chat";
    data_.users[u.uid] = u;
    Json::Value v = Reply(1);
    v["user"]["uid"] = u.uid;
    v["user"]["sid"] = u.sid;
    return v;
}

Json::Value RoomService::OnGetMyInfo(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    Json::Value v = Reply(1);
    v["user"] = UserJson(*u, true);
    return v;
}

Json::Value RoomService::OnGetUserInfo(const Params& p) {
    if (!SessionUser(p)) return Reply(5, "会话无效");
    auto it = data_.users.find(ParamU(p, "tid"));
    if (it == data_.users.end()) return Reply(2, "用户不存在");
    Json::Value v = Reply(1);
    v["user"] = UserJson(it->second, false);
    return v;
}

Json::Value RoomService::OnLogout(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    u->sid = 0;
    for (auto& [rid, r] : data_.rooms) {
        const bool was = r.users.erase(u->uid) > 0;
        r.mics.erase(u->uid);
        if (was) PushNotice(rid, "notifyexit", ExitNoticeBody(u->uid, r.users.size()));
    }
    return Reply(1);
}

Json::Value RoomService::OnGetAllNav(const Params&) {
    Json::Value v = Reply(1);
    v["onlinecnt"] = data_.onlineCount;
    v["officialobj"]["name"] = UrlEnc("官方房间");
    v["officialobj"]["cnt"] = 12;
    Json::Value& cat = v["catnavobj"];
    cat["type"] = 1;
    cat["name"] = UrlEnc("房间分类");
    cat["catlist"] = Json::Value(Json::arrayValue);
    for (const auto& [rid, r] : data_.rooms) {
        Json::Value item;
        item["id"] = rid;
        item["name"] = UrlEnc(r.name);
        item["cnt"] = static_cast<Json::UInt>(r.users.size());
        cat["catlist"].append(item);
    }
    v["hotactivityobj"]["type"] = 2;
    v["hotactivityobj"]["name"] = UrlEnc("热门活动");
    v["hotactivityobj"]["activitylist"][0]["id"] = 1;
    v["hotactivityobj"]["activitylist"][0]["name"] = UrlEnc("新年活动");
    v["hotactivityobj"]["activitylist"][0]["url"] = "http://127.0.0.1/activity/1";
    v["rcmgameobj"]["type"] = 3;
    v["rcmgameobj"]["name"] = UrlEnc("推荐游戏");
    v["rcmgameobj"]["gamelist"] = Json::Value(Json::arrayValue);
    return v;
}

Json::Value RoomService::OnGetCateList(const Params&) {
    Json::Value v = Reply(1);
    v["onlinecnt"] = data_.onlineCount;
    v["officialobj"]["name"] = UrlEnc("官方房间");
    v["officialobj"]["cnt"] = 12;
    v["catnavobj"]["type"] = 1;
    v["catnavobj"]["name"] = UrlEnc("房间分类");
    v["catnavobj"]["catlist"] = Json::Value(Json::arrayValue);
    for (const auto& [rid, r] : data_.rooms) {
        Json::Value item;
        item["id"] = rid;
        item["name"] = UrlEnc(r.name);
        item["cnt"] = static_cast<Json::UInt>(r.users.size());
        v["catnavobj"]["catlist"].append(item);
    }
    return v;
}

Json::Value RoomService::OnCheckNick(const Params& p) {
    if (!SessionUser(p)) return Reply(5, "会话无效");
    std::string nick = ParamS(p, "nickname");
    if (nick.empty()) return Reply(2, "昵称不能为空");
    for (const auto& [uid, u] : data_.users)
        if (u.nickname == nick && uid != ParamU(p, "uid")) return Reply(2, "昵称已被使用");
    return Reply(1);
}

Json::Value RoomService::OnUpdateMyInfo(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    if (p.count("nickname")) u->nickname = ParamS(p, "nickname");
    if (p.count("photoid")) u->photoid = ParamU(p, "photoid");
    if (p.count("sex")) u->sex = ParamU(p, "sex");
    if (p.count("prov")) u->prov = ParamS(p, "prov");
    if (p.count("city")) u->city = ParamS(p, "city");
    if (p.count("birth")) u->birth = ParamS(p, "birth");
    return Reply(1);
}

}  // namespace testenv
