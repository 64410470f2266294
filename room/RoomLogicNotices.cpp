// The user and room notices.
#include "ChatHtml.h"
#include "RoomLogic.h"
#include "RoomLogicInternal.h"
#include "ZqLog.h"

using namespace roomlogic;

namespace {
bool HasAll(const Json::Value& doc, std::initializer_list<const char*> keys) {
    for (const char* k : keys)
        if (!NoticeHas(doc, k)) return false;
    return true;
}
}  // namespace

void CRoomLogic::DealSysMsgUserEnter(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgUserEnter";
    PJ_Log(kLog, LOG_INFO, mod, "用户进入房间");
    if (!HasAll(doc, {"id", "nickname", "chatid", "level", "beautyid", "photoid", "role", "cnt"})) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件格式错误");
        return;
    }
    RoomUserInfo user;
    user.uid = U32(doc, "id");
    user.nickname = Decoded(doc, "nickname", 256);
    user.chatid = NoticeText(doc, "chatid");
    user.level = U32(doc, "level");
    user.beautyid = U32(doc, "beautyid");
    user.photoid = U32(doc, "photoid");
    user.role = U32(doc, "role");
    if (NoticeHas(doc, "hide")) user.hide = U32(doc, "hide");
    if (NoticeHas(doc, "camera")) user.camera = U32(doc, "camera");
    if (NoticeHas(doc, "tagid")) user.tagid = U32(doc, "tagid");
    user.mute = NoticeHas(doc, "mute") && NoticeInt(doc, "mute") != 0 ? 2 : 0;
    int count = NoticeInt(doc, "cnt");
    std::string enterShow = NoticeText(doc, "entershow");
    PJ_Log(kLog, LOG_INFO, mod, "ID:%u nickname:%s", user.uid, user.nickname.c_str());
    {
        varnet::MutexLock hold(leaveLock_);
        pendingLeave_.erase(user.uid);
    }
    if (!CRoomInfoMgr::GetInstance().AddRoomUser(roomId_, user)) return;
    auto change = std::make_unique<RoomUserChange>();
    change->uid = user.uid;
    change->value = count;
    PostRoomUIMessage(ROOM_NOTIFY_USER_ENTER, std::move(change));
    if (user.uid != Me() && user.hide == 0) PostRoomUILine(CHAT_VIEW_PUBLIC, BuildUserEnterHtml(user, enterShow));
}

void CRoomLogic::DealSysMsgUserLeave(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgUserLeave";
    PJ_Log(kLog, LOG_INFO, mod, "用户退出房间");
    if (!HasAll(doc, {"id", "cnt"})) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件格式错误");
        return;
    }
    uint32_t uid = U32(doc, "id");
    if (uid == Me()) {
        PJ_Log(kLog, LOG_INFO, "CRoomLogic::DealSysMsgUserLeave::CloseRoom", "用户退出房间");
        CloseRoom();
        return;
    }
    RoomUserInfo user;
    if (!GetUser(roomId_, uid, user)) return;
    {
        varnet::MutexLock hold(leaveLock_);
        pendingLeave_[uid] = Tick();
    }
    auto change = std::make_unique<RoomUserChange>();
    change->uid = uid;
    change->value = NoticeInt(doc, "cnt");
    PostRoomUIMessage(ROOM_NOTIFY_USER_LEAVE, std::move(change));
    if (user.hide == 0) PostRoomUILine(CHAT_VIEW_PUBLIC, BuildUserLeaveHtml(user));
}

void CRoomLogic::DealSysMsgUserRoleChange(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgUserRoleChange";
    PJ_Log(kLog, LOG_INFO, mod, "用户角色变化");
    if (!HasAll(doc, {"tid", "fid", "rid", "role"})) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件格式错误");
        return;
    }
    uint32_t room = roomId_;
    RoomUserInfo target, op;
    if (!GetUser(room, U32(doc, "tid"), target)) return;
    bool haveOp = GetUser(room, U32(doc, "fid"), op);
    uint32_t role = U32(doc, "role");
    if (role == target.role) return;
    if (haveOp) PostRoomUILine(CHAT_VIEW_PUBLIC, BuildRoleChangeHtml(role, target, op));
    CRoomInfoMgr::GetInstance().SetUserRole(room, target.uid, role);
    PostRoomUIValue(ROOM_NOTIFY_ROLE_CHANGED, LPARAM(target.uid));
}

void CRoomLogic::DealSysMsgUserInfoChange(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgUserInfoChange";
    PJ_Log(kLog, LOG_INFO, mod, "用户信息变化");
    if (!NoticeHas(doc, "id")) return;
    uint32_t room = roomId_;
    RoomUserInfo user;
    if (!GetUser(room, U32(doc, "id"), user)) {
        PJ_Log(kLog, LOG_INFO, mod, "json文件格式错误");
        return;
    }
    int flags = 0;
    uint64_t coin = 0, bean = 0;
    uint32_t coinVer = 0, beanVer = 0;
    if (NoticeHas(doc, "level")) {
        user.level = U32(doc, "level");
        flags |= USER_CHANGE_LEVEL;
    }
    if (NoticeHas(doc, "beautyid")) {
        user.beautyid = U32(doc, "beautyid");
        flags |= USER_CHANGE_BEAUTYID;
    }
    if (NoticeHas(doc, "nickname")) {
        user.nickname = Decoded(doc, "nickname", 256);
        flags |= USER_CHANGE_NICKNAME;
    }
    if (NoticeHas(doc, "xiubi") && NoticeHas(doc, "xiubiver")) {
        coin = uint64_t(NoticeInt64(doc, "xiubi"));
        coinVer = U32(doc, "xiubiver");
        flags |= USER_CHANGE_COIN;
    }
    if (NoticeHas(doc, "zebin") && NoticeHas(doc, "zebinver")) {
        bean = uint64_t(NoticeInt64(doc, "zebin"));
        beanVer = U32(doc, "zebinver");
        flags |= USER_CHANGE_BEAN;
    }
    if (NoticeHas(doc, "photoid")) {
        user.photoid = U32(doc, "photoid");
        flags |= USER_CHANGE_PHOTO;
    }
    if (!flags) return;
    if (flags & ~(USER_CHANGE_COIN | USER_CHANGE_BEAN)) CRoomInfoMgr::GetInstance().UpdateRoomUser(room, user);
    if (user.uid == Me()) {
        // The process state is guarded: the UI thread reads it meanwhile.
        CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) {
            if (flags & USER_CHANGE_LEVEL) a.level = user.level;
            if (flags & USER_CHANGE_BEAUTYID) a.beautyid = user.beautyid;
            if (flags & USER_CHANGE_NICKNAME) a.nickname = user.nickname;
            if (flags & USER_CHANGE_COIN) {
                if (coinVer < a.xiubiver) {
                    flags &= ~USER_CHANGE_COIN;
                } else {
                    a.xiubi = coin;
                    a.xiubiver = coinVer;
                }
            }
            if (flags & USER_CHANGE_BEAN) {
                if (beanVer < a.zebinver) {
                    flags &= ~USER_CHANGE_BEAN;
                } else {
                    a.zebin = bean;
                    a.zebinver = beanVer;
                }
            }
            if (flags & USER_CHANGE_PHOTO) a.photoid = user.photoid;
        });
        HWND parent = parent_;
        if (parent) PostMessage(parent, WM_UPDATE_MY_INFO, WPARAM(flags), 0);
    }
    if (flags) {
        auto change = std::make_unique<RoomUserChange>();
        change->uid = user.uid;
        change->value = flags;
        PostRoomUIMessage(ROOM_NOTIFY_USER_CHANGED, std::move(change));
    }
}

void CRoomLogic::DealSysMsgRoomInfoChange(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgRoomInfoChange";
    PJ_Log(kLog, LOG_INFO, mod, "房间信息变化");
    if (!NoticeHas(doc, "id")) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件格式错误");
        return;
    }
    std::string name = Decoded(doc, "name", 250);
    std::string msg[5];
    for (int n = 0; n < 5; ++n) {
        std::string key = "msg" + std::to_string(n + 1);
        msg[n] = Decoded(doc, key.c_str(), 2048);
    }
    uint32_t room = roomId_;
    if (U32(doc, "id") != room) return;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    if (!name.empty()) {
        store.SetRoomName(room, name);
        PostRoomUIValue(ROOM_NOTIFY_ROOM_INFO, 0);
    }
    for (int n = 0; n < 5; ++n) {
        if (msg[n].empty()) continue;
        store.SetRoomNotice(room, msg[n], n + 1);
        // Room notices are written by room managers, who are users: the text passes the whitelist first.
        RoomNoticeInfo notice;
        std::string html = ParseRoomNotice(msg[n], notice) && !IsValidChatHtml(notice.text)
                               ? BuildTipHtml("收到一条包含无效html标签的房间公告")
                               : store.GetRoomNoticeHtml(room, n + 1);
        PostRoomUILine(CHAT_VIEW_PUBLIC | CHAT_VIEW_OWN, std::move(html));
    }
}

void CRoomLogic::DealSysMsgOP(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgOP";
    PJ_Log(kLog, LOG_INFO, mod, "(被踢\\禁言\\解禁\\拉黑)");
    if (!HasAll(doc, {"type", "tid", "fid"})) {
        PJ_Log(kLog, LOG_INFO, mod, "json文件格式错误");
        return;
    }
    int type = NoticeInt(doc, "type");
    uint32_t tid = U32(doc, "tid"), me = Me();
    if (type == 6) {
        if (tid == me) PostParentOnce(ROOM_NOTIFY_ROOM_FULL, LPARAM(me));
        return;
    }
    uint32_t room = roomId_;
    RoomUserInfo op, target;
    if (!GetUser(room, U32(doc, "fid"), op) || !GetUser(room, tid, target)) return;
    int flags = tid == me ? CHAT_VIEW_OWN : CHAT_VIEW_PUBLIC;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    switch (type) {
    case 1:
        PostRoomUILine(flags, BuildKickHtml(op, target));
        break;
    case 2:
        store.SetUserMuteState(room, tid, 2);
        PostRoomUILine(flags, BuildMuteHtml(op, target, true));
        break;
    case 3:
    case 5:
        store.SetUserMuteState(room, tid, 4);
        PostRoomUILine(flags, BuildMuteHtml(op, target, false));
        break;
    case 4:
        store.SetUserMuteState(room, tid, 1);
        PostRoomUILine(flags, BuildKickBlackHtml(op, target));
        break;
    default:
        break;
    }
}

void CRoomLogic::DealSysMsgNotifyLogin(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgNotifyLogin";
    PJ_Log(kLog, LOG_INFO, mod, "用户重复登录房间");
    if (!NoticeHas(doc, "id")) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件解析错误");
        return;
    }
    uint32_t me = Me();
    if (U32(doc, "id") == me) PostParentOnce(ROOM_NOTIFY_LOGIN_ELSEWHERE, LPARAM(me));
}

void CRoomLogic::DealSysMsgBroadcast(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgBroadcast";
    PJ_Log(kLog, LOG_INFO, mod, "广播通知");
    if (!HasAll(doc, {"word", "id", "beautyid", "nickname", "level"})) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件解析错误");
        return;
    }
    if (NoticeText(doc, "word").empty()) return;
    std::string word = Decoded(doc, "word", 1024);
    std::string nickname = Decoded(doc, "nickname", 256);
    uint32_t shown = U32(doc, "beautyid");
    if (shown == 0) shown = U32(doc, "id");
    PostRoomUILine(CHAT_VIEW_TRUMPET, IsValidChatHtml(word)
                                          ? BuildBroadcastHtml(word, nickname, shown, U32(doc, "level"))
                                          : BuildTipHtml("收到一条包含无效html标签的广播"));
}

void CRoomLogic::DealSysMsgSysNotice(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgSysNotice";
    PJ_Log(kLog, LOG_INFO, mod, "系统公告");
    if (!HasAll(doc, {"content", "link"})) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件解析错误");
        return;
    }
    if (NoticeText(doc, "content").empty()) return;
    std::string content = Decoded(doc, "content", 1024);
    // The builder escapes the link; the content is HTML and passes the whitelist like every other text.
    std::string html = BuildSysNoticeHtml(content, NoticeText(doc, "link"));
    if (!IsValidChatHtml(content)) html = BuildTipHtml("收到一条包含无效html标签的系统公告");
    PostRoomUILine(CHAT_VIEW_TRUMPET, std::move(html));
}

void CRoomLogic::DealSysMsgTmpNotice(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgTmpNotice";
    PJ_Log(kLog, LOG_INFO, mod, "临时公告通知");
    if (!HasAll(doc, {"id", "word"})) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件解析错误");
        return;
    }
    if (NoticeText(doc, "word").empty()) return;
    std::string word = Decoded(doc, "word", 1024);
    RoomUserInfo sender;
    GetUser(roomId_, U32(doc, "id"), sender);
    PostRoomUILine(CHAT_VIEW_OWN, IsValidChatHtml(word) ? BuildTmpNoticeHtml(sender, word)
                                                        : BuildTipHtml("收到一条包含无效html标签的临时公告"));
}

void CRoomLogic::DealSysMsgNotifySendColorBar(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgNotifySendColorBar";
    if (!HasAll(doc, {"uid", "tid", "cid"})) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件格式错误");
        return;
    }
    uint32_t room = roomId_;
    bool found = false;
    RoomUserInfo sender = UserOrId(room, U32(doc, "uid"), &found);
    if (!found) PJ_Log(kLog, LOG_FAILURE, mod, "获取用户信息失败(userid=%u)", sender.uid);
    RoomUserInfo target;
    if (uint32_t tid = U32(doc, "tid")) {
        target = UserOrId(room, tid, &found);
        if (!found) PJ_Log(kLog, LOG_FAILURE, mod, "获取用户信息失败(userid=%u)", tid);
    }
    uint32_t me = Me();
    int flags = (sender.uid == me || (target.uid && target.uid == me)) ? CHAT_VIEW_OWN : CHAT_VIEW_PUBLIC;
    PostRoomUILine(flags, BuildColorBarHtml(sender, target, U32(doc, "cid")));
}

void CRoomLogic::DealSysMsgNotifyWelWord(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgNotifyWelWord";
    if (!doc.isMember("wellist") || !doc["wellist"].isObject()) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件格式错误");
        return;
    }
    const Json::Value& list = doc["wellist"];
    std::vector<uint32_t> uids;
    if (list.isMember("welword") && list["welword"].isArray()) {
        for (const Json::Value& row : list["welword"]) uids.push_back(row.isObject() ? U32(row, "uid") : 0);
    }
    CRoomInfoMgr::GetInstance().UpdateWelWordUserID(roomId_, uids);
}
