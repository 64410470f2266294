// Room commands of the local room service.
#include <ctime>

#include "../chat_server/ChatSignature.h"
#include "RoomService.h"
#include "ZqLib.h"

namespace testenv {

namespace {
uint32_t Now() {
    return static_cast<uint32_t>(std::time(nullptr));
}
}  // namespace

std::string ExitNoticeBody(uint32_t uid, size_t count) {
    return "id=" + std::to_string(uid) + "\ncnt=" + std::to_string(count) + "\n";
}

// A notice body from its fields, one "key=value" line each.
static std::string NoticeBody(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string body;
    for (const auto& [k, v] : fields) body += k + "=" + v + "\n";
    return body;
}

std::string ChatName(const SvcUser& u) {
    return StringUtility::Format("%s(%u)", u.nickname.c_str(), u.beautyid);
}

std::string EnterNoticeBody(const SvcUser& u, uint32_t role, uint32_t hide, bool muted, size_t count) {
    return StringUtility::Format(
        "id=%u\nnickname=%s\nchatid=%s\nlevel=%u\nbeautyid=%u\nphotoid=%u\nrole=%u\nhide=%u\n"
        "camera=0\ncnt=%u\ntagid=0\nmute=%d\n",
        u.uid, UrlEnc(u.nickname).c_str(), u.chatid.c_str(), u.level, u.beautyid, u.photoid, role, hide,
        unsigned(count), muted ? 1 : 0);
}

// The chat server data with signatures the chat server accepts for this user and room.
void RoomService::ChatRoomJson(Json::Value& c, const SvcUser& u, const SvcRoom& r, const std::string& chatName) const {
    uint32_t tm = Now();
    c["ip"] = data_.chatIp;
    c["port"] = data_.chatPort;
    c["tm"] = tm;
    c["channel"]["login"]["id"] = u.uid;
    c["channel"]["login"]["sig"] = ChatLoginSig(u.uid, tm);
    c["channel"]["login"]["chatname"] = chatName;
    c["channel"]["join"]["id"] = r.rid;
    c["channel"]["join"]["sig"] = ChatJoinSig(static_cast<uint32_t>(r.rid), u.uid, tm);
}

Json::Value RoomService::MicJson(const SvcRoom& r, uint32_t uid, const SvcMic& m) const {
    Json::Value v(Json::objectValue);
    auto it = data_.users.find(uid);
    Json::Value& u = v["user"];
    u["uid"] = uid;
    if (it != data_.users.end()) {
        u["nickname"] = UrlEnc(it->second.nickname);
        u["level"] = it->second.level;
        u["beautyid"] = it->second.beautyid;
        u["photoid"] = it->second.photoid;
        u["chatid"] = it->second.chatid;
    }
    auto role = r.roles.find(uid);
    u["role"] = role == r.roles.end() ? 0u : role->second;
    u["tagid"] = 0;
    Json::Value& l = v["live"];
    uint32_t tm = Now();
    std::string url = StringUtility::Format("%s/%d_%u", data_.rtmpBase.c_str(), r.rid, uid);
    l["type"] = m.type;
    l["micattr"] = m.attr;
    l["url"] = url;
    l["op"] = m.op;
    l["tm"] = tm;
    l["md5"] = Entrypt::GenerateMD5(StringUtility::Format("%s%u", url.c_str(), tm));
    l["idx"] = m.idx;
    return v;
}

Json::Value RoomService::OnEnterRoom(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    if (r->black.count(u->uid)) return Reply(6, "您已被禁止进入该房间");
    if (!r->pwd.empty() && r->pwd != ParamS(p, "pwd")) return Reply(7, "房间密码错误");
    if (static_cast<int>(r->users.size()) >= r->maxcnt) return Reply(8, "房间已满");
    r->users.insert(u->uid);
    Json::Value v = Reply(1);
    auto role = r->roles.find(u->uid);
    // Those already in the room learn of the newcomer (its own chat joins only after this answer).
    PushNotice(r->rid, "notifyenter",
               EnterNoticeBody(*u, role == r->roles.end() ? 0u : role->second, ParamU(p, "hide"),
                               r->muted.count(u->uid) > 0, r->users.size()));
    v["role"] = role == r->roles.end() ? 0u : role->second;
    v["level"] = u->level;
    v["chatid"] = u->chatid;
    v["mute"] = r->muted.count(u->uid) ? 1 : 0;
    v["fav"] = r->favouredBy.count(u->uid) ? 1 : 0;
    for (int i = 0; i < 5; ++i) v["msg" + std::to_string(i + 1)] = UrlEnc(r->msg[i]);
    v["entershow"] = "";
    v["name"] = UrlEnc(r->name);
    v["hide"] = ParamU(p, "hide");
    v["miclist"] = Json::Value(Json::arrayValue);
    for (const auto& [uid, m] : r->mics) v["miclist"].append(MicJson(*r, uid, m));
    ChatRoomJson(v["chatroom"], *u, *r, ChatName(*u));
    v["sendgiftlist"] = Json::Value(Json::arrayValue);
    for (const SvcGift& g : r->gifts) {
        Json::Value e;
        auto from = data_.users.find(g.from);
        auto to = data_.users.find(g.to);
        e["fid"] = g.from;
        e["tid"] = g.to;
        if (from != data_.users.end()) {
            e["fname"] = UrlEnc(from->second.nickname);
            e["fbeautyid"] = from->second.beautyid;
            e["flevel"] = from->second.level;
        }
        if (to != data_.users.end()) {
            e["tname"] = UrlEnc(to->second.nickname);
            e["tbeautyid"] = to->second.beautyid;
            e["tlevel"] = to->second.level;
        }
        e["gid"] = g.gid;
        e["cnt"] = g.cnt;
        e["hiscnt"] = g.cnt;
        e["tm"] = g.tm;
        e["hide"] = 0;
        v["sendgiftlist"].append(e);
    }
    if (!r->gifts.empty()) {
        Json::Value last = v["sendgiftlist"][v["sendgiftlist"].size() - 1];
        Json::Value& gm = v["globalmsg"];
        gm["fname"] = last["fname"];
        gm["tname"] = last["tname"];
        gm["fbeautyid"] = last["fbeautyid"];
        gm["tbeautyid"] = last["tbeautyid"];
        gm["gid"] = last["gid"];
        gm["cnt"] = last["cnt"];
        gm["tm"] = last["tm"];
        gm["word"] = "";
        gm["hide"] = 0;
    }
    v["wellist"] = Json::Value(Json::arrayValue);
    for (const auto& [uid, word] : r->welcome) {
        Json::Value w;
        w["uid"] = uid;
        w["word"] = UrlEnc(word);
        v["wellist"].append(w);
    }
    return v;
}

Json::Value RoomService::OnExitRoom(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    const bool was = r->users.erase(u->uid) > 0;
    r->mics.erase(u->uid);
    if (was) PushNotice(r->rid, "notifyexit", ExitNoticeBody(u->uid, r->users.size()));
    return Reply(1);
}

Json::Value RoomService::OnGetChatSig(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    Json::Value v = Reply(1);
    ChatRoomJson(v["chatroom"], *u, *r, ChatName(*u));
    return v;
}

Json::Value RoomService::OnGetLiveSig(const Params& p) {
    if (!SessionUser(p)) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    uint32_t tid = ParamU(p, "tid");
    auto mic = r->mics.find(tid);
    if (mic == r->mics.end()) return Reply(2, "该用户不在麦上");
    Json::Value v = Reply(1);
    v["live"] = MicJson(*r, tid, mic->second)["live"];
    v["live"]["op"] = ParamS(p, "op");
    return v;
}

Json::Value RoomService::OnGetMicInfo(const Params& p) {
    if (!SessionUser(p)) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    Json::Value v = Reply(1);
    v["miclist"] = Json::Value(Json::arrayValue);
    for (const auto& [uid, m] : r->mics) v["miclist"].append(MicJson(*r, uid, m));
    return v;
}

Json::Value RoomService::OnGetMic(const Params& p) {
    if (!SessionUser(p)) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    auto mic = r->mics.find(ParamU(p, "tid"));
    if (mic == r->mics.end()) return Reply(2, "该用户不在麦上");
    Json::Value v = Reply(1);
    v["mic"] = MicJson(*r, mic->first, mic->second);
    return v;
}

Json::Value RoomService::OnGetRoomInfo(const Params& p) {
    if (!SessionUser(p)) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    Json::Value v = Reply(1);
    v["logo"] = std::to_string(r->logo);
    v["pwd"] = UrlEnc(r->pwd);
    v["name"] = UrlEnc(r->name);
    for (int i = 0; i < 5; ++i) v["msg" + std::to_string(i + 1)] = UrlEnc(r->msg[i]);
    return v;
}

Json::Value RoomService::OnGetRoomUser(const Params& p) {
    if (!SessionUser(p)) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    Json::Value v = Reply(1);
    v["userlist"] = Json::Value(Json::arrayValue);
    for (uint32_t uid : r->users) {
        auto it = data_.users.find(uid);
        if (it == data_.users.end()) continue;
        const SvcUser& u = it->second;
        Json::Value e;
        e["uid"] = uid;
        e["nickname"] = UrlEnc(u.nickname);
        e["level"] = u.level;
        e["beautyid"] = u.beautyid;
        e["photoid"] = u.photoid;
        e["camera"] = 0;
        auto role = r->roles.find(uid);
        e["role"] = role == r->roles.end() ? 0u : role->second;
        e["chatid"] = u.chatid;
        e["mic"] = r->mics.count(uid) ? r->mics.at(uid).type : 0u;
        e["hide"] = 0;
        e["tagid"] = 0;
        v["userlist"].append(e);
    }
    return v;
}

Json::Value RoomService::OnGetUserLoc(const Params& p) {
    if (!SessionUser(p)) return Reply(5, "会话无效");
    if (!data_.users.count(ParamU(p, "tid"))) return Reply(2, "用户不存在");
    Json::Value v = Reply(1);
    v["ip"] = "127.0.0.1";
    v["loc"] = UrlEnc("本地");
    return v;
}

Json::Value RoomService::OnHeartBeat(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    ++r->heartbeats[u->uid];
    return Reply(1);
}

// Bodies of the moderation notices (type 1 kick, 2 mute, 3 unmute, 4 blacklist).
static std::string OpNoticeBody(int type, uint32_t tid, uint32_t fid) {
    return "type=" + std::to_string(type) + "\ntid=" + std::to_string(tid) + "\nfid=" + std::to_string(fid) + "\n";
}

// The caller must be in the room with a role above the target's.
static bool Manages(const SvcRoom& r, uint32_t uid, uint32_t tid) {
    auto a = r.roles.find(uid);
    auto b = r.roles.find(tid);
    uint32_t ra = a == r.roles.end() ? 0 : a->second;
    uint32_t rb = b == r.roles.end() ? 0 : b->second;
    return ra > rb;
}

Json::Value RoomService::OnKickRoom(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    uint32_t tid = ParamU(p, "tid");
    if (!Manages(*r, u->uid, tid)) return Reply(9, "权限不足");
    r->users.erase(tid);
    r->mics.erase(tid);
    PushNotice(r->rid, "notifyop", OpNoticeBody(1, tid, u->uid));
    PushNotice(r->rid, "notifyexit", ExitNoticeBody(tid, r->users.size()));
    return Reply(1);
}

Json::Value RoomService::OnOpFavRoom(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    if (ParamI(p, "optype") == 1) r->favouredBy.insert(u->uid);
    else r->favouredBy.erase(u->uid);
    return Reply(1);
}

Json::Value RoomService::OnOpMicAttr(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    auto mic = r->mics.find(ParamU(p, "tid"));
    if (mic == r->mics.end()) return Reply(2, "该用户不在麦上");
    mic->second.attr = ParamU(p, "attr");
    return Reply(1);
}

// Takes (optype 1) or ends (2) a microphone of the asked kind (mictype 1 public, 2 private) and announces it
// to the room as the service does ("notifymicon" with the stream to publish, "notifymicoff").
Json::Value RoomService::OnOpMic(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    uint32_t tid = ParamU(p, "tid");
    int optype = ParamI(p, "optype");
    if (optype == 1) {  // take a microphone
        if (r->mics.count(tid)) return Reply(2, "已经在麦上");
        const uint32_t type = ParamI(p, "mictype") == 2 ? 2 : 1, slots = type == 1 ? 3 : 8;
        uint32_t idx = 0;
        while (idx < slots) {
            bool used = false;
            for (const auto& [id, m] : r->mics) used = used || (m.type == type && m.idx == idx);
            if (!used) break;
            ++idx;
        }
        if (idx >= slots) return Reply(2, "麦序已满");
        const SvcMic& mic = r->mics[tid] = SvcMic{idx, 3, "publish", type};  // taken with sound and pictures on
        const Json::Value live = MicJson(*r, tid, mic)["live"];
        PushNotice(r->rid, "notifymicon",
                   NoticeBody({{"tid", std::to_string(tid)},
                               {"fid", std::to_string(u->uid)},
                               {"op", "publish"},
                               {"type", std::to_string(type)},
                               {"micattr", std::to_string(mic.attr)},
                               {"idx", std::to_string(idx)},
                               {"url", live["url"].asString()},
                               {"tm", std::to_string(live["tm"].asUInt())},
                               {"md5", live["md5"].asString()}}));
    } else {
        auto mic = r->mics.find(tid);
        if (mic == r->mics.end()) return Reply(2, "该用户不在麦上");
        const SvcMic was = mic->second;
        r->mics.erase(mic);
        PushNotice(r->rid, "notifymicoff",
                   NoticeBody({{"tid", std::to_string(tid)},
                               {"fid", std::to_string(u->uid)},
                               {"idx", std::to_string(was.idx)},
                               {"type", std::to_string(was.type)}}));
    }
    return Reply(1);
}

Json::Value RoomService::OnOpRoomBlackUser(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    uint32_t tid = ParamU(p, "tid");
    if (!Manages(*r, u->uid, tid)) return Reply(9, "权限不足");
    if (ParamI(p, "optype") == 1) {
        r->black.insert(tid);
        bool was = r->users.erase(tid) > 0;
        r->mics.erase(tid);
        PushNotice(r->rid, "notifyop", OpNoticeBody(4, tid, u->uid));
        if (was) PushNotice(r->rid, "notifyexit", ExitNoticeBody(tid, r->users.size()));
    } else {
        r->black.erase(tid);
    }
    return Reply(1);
}

Json::Value RoomService::OnOpRoomUserChat(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    uint32_t tid = ParamU(p, "tid");
    if (!Manages(*r, u->uid, tid)) return Reply(9, "权限不足");
    bool mute = ParamI(p, "optype") == 1;
    if (mute) r->muted.insert(tid);
    else r->muted.erase(tid);
    PushNotice(r->rid, "notifyop", OpNoticeBody(mute ? 2 : 3, tid, u->uid));
    return Reply(1);
}

Json::Value RoomService::OnOpRoomUserRole(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    uint32_t tid = ParamU(p, "tid");
    if (!Manages(*r, u->uid, tid)) return Reply(9, "权限不足");
    uint32_t role = ParamI(p, "optype") == 1 ? ParamU(p, "roletype") : 0;
    r->roles[tid] = role;
    PushNotice(r->rid, "notifyrole",
               "tid=" + std::to_string(tid) + "\nfid=" + std::to_string(u->uid) + "\nrid=" + std::to_string(r->rid) +
                   "\nrole=" + std::to_string(role) + "\n");
    return Reply(1);
}

Json::Value RoomService::OnSendColorBar(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    if (!Room(p)) return Reply(2, "房间不存在");
    if (!Charge(*u, 1)) return Reply(10, "余额不足");
    PushNotice(ParamI(p, "rid"), "notifycolorbar",
               StringUtility::Format("uid=%u\ntid=%u\ncid=%u\n", u->uid, ParamU(p, "tid"), ParamU(p, "cid")));
    Json::Value v = Reply(1);
    v["user"] = CoinJson(*u);  // the balance after the charge, as for every paid command
    return v;
}

void RoomService::RecordGift(SvcRoom& r, uint32_t from, uint32_t to, uint32_t gid, uint32_t cnt,
                             const std::string& word) {
    r.gifts.push_back(SvcGift{gid, from, to, cnt, Now()});
    uint64_t total = 0;  // what this sender gave this receiver of this gift so far
    for (const SvcGift& g : r.gifts)
        if (g.from == from && g.to == to && g.gid == gid) total += g.cnt;
    PushNotice(r.rid, "notifygift",
               NoticeBody({{"rid", std::to_string(r.rid)},
                           {"fid", std::to_string(from)},
                           {"tid", std::to_string(to)},
                           {"gid", std::to_string(gid)},
                           {"cnt", std::to_string(cnt)},
                           {"hiscnt", std::to_string(total)},
                           {"word", UrlEnc(word)}}));
}

// Paid commands: the receiver must be in the room, the count positive and the sum covered by the balance;
// a carried-out gift is announced to the room as the chat server's "notifygift".
Json::Value RoomService::OnSendGift(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    uint32_t gid = ParamU(p, "gid");
    uint32_t tid = ParamU(p, "tid");
    int cnt = ParamI(p, "cnt");
    auto price = data_.giftPrices.find(gid);
    if (price == data_.giftPrices.end() || cnt <= 0) return Reply(2, "礼物不存在");
    if (!r->users.count(tid) || tid == u->uid) return Reply(2, "收礼人不在房间");
    if (!Charge(*u, static_cast<uint64_t>(price->second) * static_cast<uint64_t>(cnt))) return Reply(10, "余额不足");
    RecordGift(*r, u->uid, tid, gid, static_cast<uint32_t>(cnt), ParamS(p, "word"));
    if (data_.luckyGifts.count(gid) && ++data_.luckySends % 3 == 0) {
        const uint64_t income = uint64_t(price->second) * uint64_t(cnt) * 10;
        u->xiubi += income;
        ++u->xiubiver;
        PushNotice(r->rid, "notifyluckygift",
                   NoticeBody({{"id", std::to_string(u->uid)},
                               {"nickname", UrlEnc(u->nickname)},
                               {"level", std::to_string(u->level)},
                               {"beautyid", std::to_string(u->beautyid)},
                               {"gid", std::to_string(gid)},
                               {"multiple", "10"},
                               {"income", std::to_string(income)}}));
    }
    Json::Value v = Reply(1);
    v["user"] = CoinJson(*u);
    return v;
}

Json::Value RoomService::OnSendMultiGift(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    std::vector<std::string> ids;
    StringUtility::Tokenize(ParamS(p, "tidlist"), ",", ids);
    uint32_t gid = ParamU(p, "gid");
    int cnt = ParamI(p, "cnt");
    auto price = data_.giftPrices.find(gid);
    if (ids.empty() || price == data_.giftPrices.end() || cnt <= 0) return Reply(2, "礼物不存在");
    std::vector<uint32_t> to;
    for (const std::string& id : ids) {
        uint32_t tid = static_cast<uint32_t>(std::strtoul(id.c_str(), nullptr, 10));
        if (!r->users.count(tid) || tid == u->uid) return Reply(2, "收礼人不在房间");
        to.push_back(tid);
    }
    uint64_t total = static_cast<uint64_t>(price->second) * static_cast<uint64_t>(cnt) * to.size();
    if (!Charge(*u, total)) return Reply(10, "余额不足");
    for (uint32_t tid : to) RecordGift(*r, u->uid, tid, gid, static_cast<uint32_t>(cnt), std::string());
    Json::Value v = Reply(1);
    v["user"] = CoinJson(*u);
    return v;
}

Json::Value RoomService::OnSendTag(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    uint32_t tid = ParamU(p, "tid");
    if (!r->users.count(tid)) return Reply(2, "该用户不在房间");
    auto price = data_.tagPrices.find(ParamU(p, "tagid"));
    if (price == data_.tagPrices.end()) return Reply(2, "印章不存在");
    if (!Charge(*u, price->second)) return Reply(10, "余额不足");
    PushNotice(r->rid, "notifytag",
               NoticeBody({{"rid", std::to_string(r->rid)},
                           {"fid", std::to_string(u->uid)},
                           {"tid", std::to_string(tid)},
                           {"tagid", std::to_string(ParamU(p, "tagid"))}}));
    Json::Value v = Reply(1);
    v["user"] = CoinJson(*u);
    return v;
}

Json::Value RoomService::OnSendTmpNotice(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    r->notices.push_back(ParamS(p, "word"));
    PushNotice(r->rid, "notifytmpnotice",
               StringUtility::Format("id=%u\nword=%s\n", u->uid, UrlEnc(ParamS(p, "word")).c_str()));
    return Reply(1);
}

Json::Value RoomService::OnUpdateRoomInfo(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    auto role = r->roles.find(u->uid);
    if (role == r->roles.end() || role->second == 0) return Reply(9, "权限不足");
    if (p.count("name")) r->name = ParamS(p, "name");
    if (p.count("logo")) r->logo = ParamI(p, "logo");
    r->pwd = ParamS(p, "pwd");
    if (p.count("maxcnt")) r->maxcnt = ParamI(p, "maxcnt");
    for (int i = 0; i < 5; ++i) r->msg[i] = ParamS(p, ("msg" + std::to_string(i + 1)).c_str());
    return Reply(1);
}

Json::Value RoomService::OnUpdateWelWord(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    SvcRoom* r = Room(p);
    if (!r) return Reply(2, "房间不存在");
    if (ParamI(p, "type") == 1) r->welcome[u->uid] = ParamS(p, "word");
    else r->welcome.erase(u->uid);
    std::string body = "wellist{\nwelword<uid|word>{\n";
    for (const auto& w : r->welcome) body += StringUtility::Format("%u|%s\n", w.first, UrlEnc(w.second).c_str());
    PushNotice(r->rid, "notifywelword", body + "}\n}\n");
    return Reply(1);
}

Json::Value RoomService::OnBroadCast(const Params& p) {
    SvcUser* u = SessionUser(p);
    if (!u) return Reply(5, "会话无效");
    if (!Room(p)) return Reply(2, "房间不存在");
    if (!Charge(*u, 100)) return Reply(10, "余额不足");
    // A trumpet is heard in every room.
    std::string body =
        StringUtility::Format("word=%s\nid=%u\nbeautyid=%u\nnickname=%s\nlevel=%u\n", UrlEnc(ParamS(p, "word")).c_str(),
                              u->uid, u->beautyid, UrlEnc(u->nickname).c_str(), u->level);
    for (const auto& room : data_.rooms) PushNotice(room.first, "notifybroadcast", body);
    Json::Value v = Reply(1);
    v["user"] = CoinJson(*u);
    return v;
}

}  // namespace testenv
