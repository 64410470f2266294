// The gift, stamp and microphone notices.
#include "ChatHtml.h"
#include "MsgClientThread.h"
#include "RoomCatalogue.h"
#include "RoomLogic.h"
#include "RoomLogicInternal.h"
#include "ZQCommands.h"
#include "ZqLog.h"

using namespace roomlogic;

namespace {
bool HasAll(const Json::Value& doc, std::initializer_list<const char*> keys) {
    for (const char* k : keys)
        if (!NoticeHas(doc, k)) return false;
    return true;
}

const char* kStampOpen = "印章(";
}  // namespace

void CRoomLogic::DealSysMsgSendGift(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgSendGift";
    if (!HasAll(doc, {"fid", "tid", "gid", "cnt", "hiscnt"})) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件格式错误");
        return;
    }
    uint32_t gid = U32(doc, "gid"), count = U32(doc, "cnt"), hiscnt = U32(doc, "hiscnt");
    std::string word;
    if (!NoticeText(doc, "word").empty()) {
        word = Decoded(doc, "word", 512);
        SanitizeHtmlText(word);
    }
    uint32_t room = roomId_;
    RoomUserInfo sender, receiver;
    if (!GetUser(room, U32(doc, "fid"), sender)) {
        PJ_Log(kLog, LOG_FAILURE, mod, "获取送礼人用户信息失败(userid=%u)", U32(doc, "fid"));
        return;
    }
    if (!GetUser(room, U32(doc, "tid"), receiver)) {
        PJ_Log(kLog, LOG_FAILURE, mod, "获取收礼人用户信息失败(userid=%u)", U32(doc, "tid"));
        return;
    }
    GiftItem gift;
    if (!RoomGetGift(gid, gift)) gift = GiftItem();
    if (gift.showtype != 0) {
        auto flash = std::make_unique<RoomGiftFlash>();
        flash->giftId = gid;
        flash->mcid = gift.mcid;
        flash->showtype = int(gift.showtype);
        flash->count = int(count);
        flash->starttm = int(gift.starttm);
        flash->endtm = int(gift.endtm);
        PostRoomUIMessage(ROOM_NOTIFY_GIFT_FLASH, std::move(flash));
    }
    PJ_Log(kLog, LOG_INFO, mod, "%s(%u)给%s(%u)送了%u个%s", sender.nickname.c_str(), sender.uid,
           receiver.nickname.c_str(), receiver.uid, count, gift.name.c_str());
    bool cheque = (gift.attr & 0x10) != 0;
    if (cheque) gifts_.InsertChequeShow(sender, receiver, gid, count);
    else gifts_.InserGiftShow(sender, receiver, gid, count, hiscnt, word);

    uint32_t me = Me();
    GiftLineInfo line;
    line.giftId = gid;
    line.count = int(count);
    line.total = int(hiscnt);
    line.message = word;
    if (receiver.uid == me) {
        if (count >= 99 && !cheque) PostRoomUILine(CHAT_VIEW_OWN, BuildGiftThanksHtml(line, gid, sender));
        RoomGiftRecord record;
        record.kind = 2;
        record.itemText = gift.name;
        record.otherParty = sender.nickname;
        record.unitPrice = gift.price;
        record.count = count;
        record.itemId = gid;
        record.extra = gift.ratio;
        CRoomInfoMgr::GetInstance().AddGiftRecord(room, record);
        IRoomUI* ui = roomUI_;
        if (ui && ui->IsIconic() && !ui->IsForeground()) FlashRoomWindow();
    }
    if (sender.uid == me) {
        if (count >= 99 && !cheque) PostRoomUILine(CHAT_VIEW_OWN, BuildGiftHtml(line, receiver));
        RoomGiftRecord record;
        record.kind = 1;
        record.itemText = gift.name;
        record.otherParty = receiver.nickname;
        record.unitPrice = gift.price;
        record.count = count;
        record.receiverId = receiver.uid;
        record.itemId = gid;
        CRoomInfoMgr::GetInstance().AddGiftRecord(room, record);
    }
}

void CRoomLogic::DealSysMsgSendtag(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgSendtag";
    if (!HasAll(doc, {"tid", "tagid"})) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件格式错误");
        return;
    }
    uint32_t room = roomId_;
    if (U32(doc, "rid") != room || !NoticeHas(doc, "rid")) return;
    uint32_t tid = U32(doc, "tid"), tagId = U32(doc, "tagid"), fid = U32(doc, "fid");
    RoomUserInfo target;
    if (!GetUser(room, tid, target)) {
        PJ_Log(kLog, LOG_FAILURE, mod, "获取收礼人用户信息失败(userid=%u, tagid=%u)", tid, tagId);
        return;
    }
    bool found = false;
    RoomUserInfo stamper = UserOrId(room, fid, &found);
    if (!found) PJ_Log(kLog, LOG_FAILURE, mod, "获取送礼人用户信息失败(userid=%u)", fid);
    PJ_Log(kLog, LOG_INFO, mod, "%s(%u)给%s(%u)盖了个章", stamper.nickname.c_str(), stamper.uid,
           target.nickname.c_str(), target.uid);
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    auto changed = [&] {
        auto change = std::make_unique<RoomUserChange>();
        change->uid = tid;
        change->value = USER_CHANGE_TAG;
        PostRoomUIMessage(ROOM_NOTIFY_USER_CHANGED, std::move(change));
    };
    if (tagId == 0) {
        if (store.SetUserTag(room, tid, 0) == 1) changed();
        return;
    }
    GiftItem tag;
    IDataHalvec* h = RoomHalvec();
    if (!h || !h->GetTag(-1, int(tagId), tag)) return;
    if (store.SetUserTag(room, tid, tagId) == 1) changed();
    if (fid != 0) PostRoomUILine(CHAT_VIEW_PUBLIC, BuildStampHtml(stamper, tag, target));
    uint32_t me = Me();
    std::string name = std::string(kStampOpen) + tag.name + ")";
    if (tid == me) {
        RoomGiftRecord record;
        record.kind = 2;
        record.itemText = name;
        record.otherParty = stamper.nickname;
        record.unitPrice = tag.price;
        record.count = 1;
        record.itemId = tagId;
        store.AddGiftRecord(room, record);
        IRoomUI* ui = roomUI_;
        if (ui && ui->IsIconic() && !ui->IsForeground()) FlashRoomWindow();
    }
    if (fid != 0 && fid == me) {
        RoomGiftRecord record;
        record.kind = 1;
        record.itemText = name;
        record.otherParty = target.nickname;
        record.unitPrice = tag.price;
        record.count = 1;
        record.receiverId = tid;
        record.itemId = tagId;
        store.AddGiftRecord(room, record);
    }
}

void CRoomLogic::DealSysMsgGlobalGift(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgGlobalGift";
    if (!HasAll(doc, {"fname", "tname", "gid", "cnt", "fbeautyid", "tbeautyid", "rid", "flevel", "tlevel", "tm"})) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件格式错误");
        return;
    }
    std::string word;
    if (NoticeHas(doc, "word")) {
        word = Decoded(doc, "word", 256);
        SanitizeHtmlText(word);
    }
    bool hidden = NoticeText(doc, "fhide") == "1";
    GlobalGiftNotice notice;
    notice.senderName = Decoded(doc, "fname", 256);
    notice.receiverName = Decoded(doc, "tname", 256);
    notice.senderId = U32(doc, "fbeautyid");
    notice.receiverId = U32(doc, "tbeautyid");
    notice.giftId = U32(doc, "gid");
    notice.time = NoticeInt64(doc, "tm");
    notice.word = word;
    uint32_t count = U32(doc, "cnt");
    uint32_t myShown = CGlobalDataApp::GetInstance().GetAccount().beautyid;
    if (myShown != notice.senderId && myShown != notice.receiverId) {
        if (hidden) {
            notice.senderName = "神秘人";
            notice.senderId = 0;
        }
        RoomUserInfo receiver;
        if (CRoomInfoMgr::GetInstance().GetRoomUserByBeautyID(U32(doc, "rid"), notice.receiverId, receiver) &&
            receiver.hide == 1) {
            notice.receiverName = "神秘人";
            notice.receiverId = 0;
        }
    }
    PJ_Log(kLog, LOG_INFO, mod, "%s(%u)送给%s(%u)%u个礼物(礼物id：%u)", notice.senderName.c_str(), notice.senderId,
           notice.receiverName.c_str(), notice.receiverId, count, notice.giftId);
    gifts_.InsertGlobalGiftShow(count, notice);
    PostRoomUILine(CHAT_VIEW_OWN, BuildGlobalGiftHtml(notice.time, notice.senderId, notice.senderName,
                                                      notice.receiverName, U32(doc, "flevel"), U32(doc, "tlevel"),
                                                      notice.receiverId, notice.giftId, int(count), word));
}

void CRoomLogic::DealSysMsgNotifyLuckyGift(const Json::Value& doc) {
    const char* mod = "CRoomLogic::DealSysMsgNotifyLuckyGift";
    PJ_Log(kLog, LOG_INFO, mod, "幸运礼物");
    if (!HasAll(doc, {"id", "nickname", "level", "beautyid", "gid", "multiple", "income"})) {
        PJ_Log(kLog, LOG_FAILURE, mod, "json文件解析错误");
        return;
    }
    uint32_t uid = U32(doc, "id");
    if (uid == 0) return;
    std::string nickname = Decoded(doc, "nickname", 260);
    uint32_t level = U32(doc, "level"), shown = U32(doc, "beautyid"), gid = U32(doc, "gid");
    int multiple = NoticeInt(doc, "multiple"), income = NoticeInt(doc, "income");
    RoomUserInfo user;
    if (GetUser(roomId_, uid, user)) {
        auto lucky = std::make_unique<RoomLuckyGift>();
        lucky->uid = uid;
        lucky->nickname = nickname;
        lucky->level = level;
        lucky->beautyid = shown;
        lucky->giftId = gid;
        lucky->multiple = multiple;
        lucky->income = income;
        PostRoomUIMessage(ROOM_NOTIFY_LUCKY_GIFT, std::move(lucky));
    }
    if (multiple == 500)
        PostRoomUILine(CHAT_VIEW_TRUMPET, BuildLuckyGiftHtml(shown, level, nickname, gid, 500, income));
    if (uid == Me()) {
        GiftItem gift;
        RoomGetGift(gid, gift);
        PostRoomUILine(CHAT_VIEW_OWN, BuildTipHtml(StringUtility::Format("我获得%d倍%s，奖励%dZ币", multiple,
                                                                         gift.name.c_str(), income)));
    }
}

// ---- microphones -----------------------------------------------------------------------------------------

void CRoomLogic::DealSysMsgMicOn(const Json::Value& doc) {
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::DealSysMsgMicOn", "上麦通知");
    if (!NoticeHas(doc, "tid")) return;
    if (U32(doc, "tid") != Me()) DealSysMsgMicOnOther(doc);
    else if (NoticeHas(doc, "op") && NoticeText(doc, "op") != "listen") DealSysMsgMicOnSelf(doc);
}

void CRoomLogic::DealSysMsgMicOnSelf(const Json::Value& doc) {
    if (!HasAll(doc, {"type", "micattr", "idx", "url", "tm", "md5", "fid"})) return;
    auto stream = std::make_unique<RoomMicStream>();
    stream->isPublic = NoticeText(doc, "type") == "1";
    stream->micattr = U32(doc, "micattr");
    stream->idx = NoticeInt(doc, "idx");
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    stream->url = app.BuildRtmpUrl(NoticeText(doc, "url"), U32(doc, "tm"), "publish", NoticeText(doc, "md5"));
    uint32_t fid = U32(doc, "fid"), me = Me(), room = roomId_;
    CRoomInfoMgr::GetInstance().SetUserMicState(room, me, stream->isPublic ? 1 : 2);
    auto state = std::make_unique<RoomMicState>();
    state->uid = me;
    state->on = true;
    state->isPublic = stream->isPublic;
    PostRoomUIMessage(ROOM_NOTIFY_MIC_STATE, std::move(state));
    RoomUserInfo self = UserOrId(room, me);
    if (fid == me) PostRoomUILine(CHAT_VIEW_OWN, BuildMicStartStopHtml(self, true, stream->isPublic, false));
    else PostRoomUILine(CHAT_VIEW_OWN, BuildMicInviteHtml(self, UserOrId(room, fid), true, stream->isPublic, false));
    stream->kind = 1;
    stream->uid = me;
    PostRoomUIMessage(ROOM_NOTIFY_MIC_STREAM, std::move(stream));
}

bool CRoomLogic::MayWatchPrivateMic(const RoomUserInfo& target) {
    IDataHalvec* h = RoomHalvec();
    if (!h) return false;
    int myLevel = int(CGlobalDataApp::GetInstance().GetLevel());
    int myRole = int(CRoomInfoMgr::GetInstance().GetUserRole(roomId_, Me()));
    int level = int(target.level), role = int(target.role);
    return (h->HasRight(3, myLevel, level) && h->HasRight(3, myLevel, role)) ||
           (h->HasRight(3, myRole, level) && h->HasRight(3, myRole, role));
}

void CRoomLogic::LiveSigAnswered(uint32_t target, int micIndex, bool isPublic) {
    varnet::MutexLock hold(sigLock_);
    pendingSigs_.erase({target, micIndex, isPublic});
    if (pendingSigs_.empty()) sigDropLogged_ = false;
}

void CRoomLogic::RequestLiveSig(int requestType, uint32_t target, int micIndex, bool isPublic) {
    {
        varnet::MutexLock hold(sigLock_);
        if (pendingSigs_.count({target, micIndex, isPublic})) return;  // one asked already
        if (pendingSigs_.size() >= kMaxPendingLiveSigs) {
            if (!sigDropLogged_)
                PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::RequestLiveSig", "直播签名请求过多，丢弃 userid=%u", target);
            sigDropLogged_ = true;
            return;
        }
        pendingSigs_.insert({target, micIndex, isPublic});
    }
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQGetLiveSigMsg msg;
    msg.typeId = requestType;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.ctxInt[0] = int(roomId_.load());
    msg.ctxInt[1] = int(target);
    msg.ctxText[0] = "listen";
    msg.micIndex = micIndex;
    msg.isPublic = isPublic;
    CZQGetLiveSigMsg::MakeOpContext(msg);
    CMsgClientThread::GetInstance().PostRequest(&msg);
}

void CRoomLogic::DealSysMsgMicOnOther(const Json::Value& doc) {
    if (!HasAll(doc, {"tid", "type", "fid", "idx"})) return;
    uint32_t tid = U32(doc, "tid"), fid = U32(doc, "fid"), room = roomId_, me = Me();
    bool isPublic = NoticeText(doc, "type") == "1";
    int idx = NoticeInt(doc, "idx");
    // A user the room does not know, or a slot it does not have: nothing to watch, nothing is asked for.
    bool known = false;
    RoomUserInfo target = UserOrId(room, tid, &known);
    if (!known || idx < 0 || idx >= (isPublic ? kPublicMicSlots : kPrivateMicSlots)) {
        PJ_Log(kLog, LOG_INFO, "CRoomLogic::DealSysMsgMicOnOther", "上麦通知无效 userid=%u idx=%d", tid, idx);
        return;
    }
    CRoomInfoMgr::GetInstance().SetUserMicState(room, tid, isPublic ? 1 : 2);
    auto state = std::make_unique<RoomMicState>();
    state->uid = tid;
    state->on = true;
    state->isPublic = isPublic;
    PostRoomUIMessage(ROOM_NOTIFY_MIC_STATE, std::move(state));
    // The context names the microphone as it is: the reply routes a refused request by it.
    if (isPublic) {
        RequestLiveSig(20, tid, idx, true);
    } else if (MayWatchPrivateMic(target)) {
        RequestLiveSig(20, tid, idx, false);
    } else {
        PJ_Log(kLog, LOG_INFO, "CRoomLogic::DealSysMsgMicOnOther", "没有权限看[nickname=%s,userid=%d]的私麦",
               target.nickname.c_str(), int(target.uid));
    }
    if (fid == tid) PostRoomUILine(CHAT_VIEW_PUBLIC, BuildMicStartStopHtml(target, true, isPublic, false));
    else
        PostRoomUILine(fid == me ? CHAT_VIEW_OWN : CHAT_VIEW_PUBLIC,
                       BuildMicInviteHtml(target, UserOrId(room, fid), true, isPublic, false));
}

void CRoomLogic::DealSysMsgMicOff(const Json::Value& doc) {
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::DealSysMsgMicOff", "下麦通知");
    if (!HasAll(doc, {"tid", "fid", "idx", "type"})) return;
    uint32_t tid = U32(doc, "tid"), fid = U32(doc, "fid"), room = roomId_, me = Me();
    bool isPublic = NoticeText(doc, "type") == "1";
    CRoomInfoMgr::GetInstance().SetUserMicState(room, tid, 0);
    auto off = std::make_unique<RoomMicOff>();
    off->idx = NoticeInt(doc, "idx");
    off->uid = tid;
    off->isPublic = isPublic;
    PostRoomUIMessage(ROOM_NOTIFY_MIC_OFF, std::move(off));
    RoomUserInfo target = UserOrId(room, tid);
    if (fid == tid)
        PostRoomUILine(tid == me ? CHAT_VIEW_OWN : CHAT_VIEW_PUBLIC,
                       BuildMicStartStopHtml(target, false, isPublic, false));
    else
        PostRoomUILine((fid == me || tid == me) ? CHAT_VIEW_OWN : CHAT_VIEW_PUBLIC,
                       BuildMicInviteHtml(target, UserOrId(room, fid), false, isPublic, false));
    auto state = std::make_unique<RoomMicState>();
    state->uid = tid;
    state->on = false;
    state->isPublic = true;
    PostRoomUIMessage(ROOM_NOTIFY_MIC_STATE, std::move(state));
}

void CRoomLogic::DealSysMsgMicAttrChange(const Json::Value& doc) {
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::DealSysMsgMicAttrChange", "麦属性变化通知");
    if (!HasAll(doc, {"id", "micattr", "type", "idx"})) {
        PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::DealSysMsgMicAttrChange", "json文件解析错误");
        return;
    }
    uint32_t uid = U32(doc, "id");
    if (uid == Me()) return;
    auto attr = std::make_unique<RoomMicAttr>();
    attr->isPublic = NoticeText(doc, "type") == "1" ? 1 : 0;
    attr->idx = NoticeInt(doc, "idx");
    attr->uid = uid;
    attr->micattr = U32(doc, "micattr");
    PostRoomUIMessage(ROOM_NOTIFY_MIC_ATTR, std::move(attr));
}

void CRoomLogic::DealSysMsgLivePlan(const Json::Value& doc) {
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::DealSysMsgLivePlan", "平台切换通知");
    if (!NoticeHas(doc, "id")) return;
    if (U32(doc, "id") != Me()) DealLivePlanOther(doc);
    else if (NoticeHas(doc, "op") && NoticeText(doc, "op") != "listen") DealLivePlanSelf(doc);
}

void CRoomLogic::DealLivePlanSelf(const Json::Value& doc) {
    if (!HasAll(doc, {"micattr", "url", "tm", "md5"})) return;
    auto stream = std::make_unique<RoomMicStream>();
    stream->micattr = U32(doc, "micattr");
    stream->url = CGlobalDataApp::GetInstance().BuildRtmpUrl(NoticeText(doc, "url"), U32(doc, "tm"), "publish",
                                                             NoticeText(doc, "md5"));
    stream->requestType = 22;
    stream->status = 1;
    stream->uid = Me();
    PostRoomUIMessage(ROOM_NOTIFY_MIC_STREAM, std::move(stream));
}

void CRoomLogic::DealLivePlanOther(const Json::Value& doc) {
    uint32_t uid = U32(doc, "id"), room = roomId_;
    switch (CRoomInfoMgr::GetInstance().GetUserMicState(room, uid)) {
    case 1:
        RequestLiveSig(22, uid, 0, true);
        break;
    case 2: {
        RoomUserInfo user;
        if (GetUser(room, uid, user) && MayWatchPrivateMic(user)) RequestLiveSig(22, uid, 0, false);
        break;
    }
    default:
        break;
    }
}

void CRoomLogic::DealSysMsgNotifyPriorLivePlan(const Json::Value&) {
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::DealSysMsgNotifyPriorLivePlan", "最优平台切换通知");
    IRoomUI* ui = roomUI_;
    if (HWND hwnd = ui ? ui->GetHWND() : nullptr) PostRoomNotifyValue(hwnd, ROOM_NOTIFY_PRIOR_LIVE_PLAN, 0);
}
