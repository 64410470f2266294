// The room-service replies that concern the open room (request worker thread).
#include "ChatHtml.h"
#include "ChatHtmlInternal.h"
#include "GlobalData.h"
#include "RoomInfoMgr.h"
#include "RoomManager.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

namespace {
const char* kLog = "RoomManager.txt";

template <class T>
T* As(CZQMessage* msg) {
    return dynamic_cast<T*>(msg);
}

std::string DecodeLoc(const std::string& loc) {
    char out[512] = {0};
    UrlEncode::DecodeEx(loc.c_str(), out, sizeof out);
    return out;
}

// A refused gift, tag or group gift: the column shows why.
void PostGiftFailure(HWND ui, int first, int second, const std::string& why) {
    auto f = std::make_unique<RoomGiftFailure>();
    f->first = first;
    f->second = second;
    f->statusText = why;
    PostRoomNotify(ui, ROOM_NOTIFY_GIFT_FAILED, std::move(f));
}
}  // namespace

void CRoomManager::OnZQMessageNotify(CZQMessage* msg, CZQEventSource*) {
    if (!msg) return;
    const char* mod = "CRoomManager::OnZQMessageNotify";
    if (msg->status == 1) PJ_Log(kLog, LOG_INFO, mod, "http应答成功，cmd=%s", msg->cmd.c_str());
    else PJ_Log(kLog, LOG_FAILURE, mod, "http应答失败 cmd=%s, error=%s", msg->cmd.c_str(), msg->statusdesc.c_str());
    try {
        if (!DispatchReply(msg)) PJ_Log(kLog, LOG_INFO, mod, "与房间无关的http应答");
    } catch (...) {
        PJ_Log(kLog, LOG_FAILURE, mod, "处理应答失败 cmd=%s", msg->cmd.c_str());
    }
}

bool CRoomManager::DispatchReply(CZQMessage* msg) {
    const bool ok = msg->status == 1;
    const std::string& why = msg->statusdesc;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    const uint32_t room = uint32_t(msg->ctxInt[0]);
    HWND ui = RoomHwnd();

    if (auto* m = As<CZQEnterRoomMsg>(msg)) {
        DealHttpEnterRoom(m);
    } else if (As<CZQExitRoomMsg>(msg)) {
        PJ_Log(kLog, LOG_INFO, "CRoomManager::DealHttpExitRoom", "退出房间");
    } else if (auto* m = As<CZQGetRoomUserMsg>(msg)) {
        if (!ok) {
            ShowHttpError("获取用户列表", why, "");
        } else if (IsCurrent(msg->ctxInt[0])) {  // a list for a room left meanwhile is dropped
            store.SetRoomUserList(room, m->users);
            logic_.SetUserListLoaded(true);
            PostRoomNotifyValue(ui, ROOM_NOTIFY_USER_LIST, LPARAM(room));
            if (store.GetMyMuteFlag(room) == 1) store.SetUserMuteState(room, CGlobalDataApp::GetInstance().GetUid(), 2);
        }
    } else if (auto* m = As<CZQGetRoomInfoMsg>(msg)) {
        if (!ok) {
            PostRoomNotifyValue(ui, ROOM_NOTIFY_ROOM_SETTINGS, 0);
        } else if (CRoomBaseInfo* info = store.LockRoom(room, 2)) {
            info->lock.AssertHeld();
            info->logo = m->logo;
            info->password = m->pwd;
            info->name = m->name;
            for (int i = 0; i < 5; ++i) info->msg[i] = m->msg[i];
            store.UnlockRoom(room);
            PostRoomNotifyValue(ui, ROOM_NOTIFY_ROOM_SETTINGS, 1);
        }
    } else if (auto* m = As<CZQSendGiftMsg>(msg)) {
        if (ok) {
            CoinUpdate(m->coin.xiubi, m->coin.xiubiver);
        } else {
            PostGiftFailure(ui, msg->ctxInt[1], msg->ctxInt[2], why);
        }
    } else if (auto* m = As<CZQSendTagMsg>(msg)) {
        if (ok) {
            CoinUpdate(m->coin.xiubi, m->coin.xiubiver);
        } else {
            PostGiftFailure(ui, msg->ctxInt[1], msg->ctxInt[2], why);
        }
    } else if (auto* m = As<CZQSendMultiGiftMsg>(msg)) {
        if (ok) {
            CoinUpdate(m->coin.xiubi, m->coin.xiubiver);
        } else {
            PostGiftFailure(ui, 0, msg->ctxInt[1], why);
        }
    } else if (auto* m = As<CZQGetLiveSigMsg>(msg)) {
        m->ParseOpContext();
        logic_.LiveSigAnswered(uint32_t(msg->ctxInt[1]), m->micIndex, m->isPublic);
        auto s = std::make_unique<RoomMicStream>();
        s->requestType = m->typeId;
        s->status = m->status;
        s->text = why;
        s->uid = uint32_t(msg->ctxInt[1]);
        if (ok) {
            s->url = CGlobalDataApp::GetInstance().BuildRtmpUrl(m->url, m->tm, m->ctxText[0], m->md5);
            s->isPublic = m->live == 1;
            s->micattr = m->micattr;
            s->idx = int(m->idx);
        } else {
            s->idx = m->micIndex;
            s->isPublic = m->isPublic;
        }
        PostRoomNotify(ui, ROOM_NOTIFY_MIC_STREAM, std::move(s));
    } else if (As<CZQSendTmpNoticeMsg>(msg)) {
        if (!ok) ShowHttpError("发送临时公告", why, "");
        PostRoomNotifyValue(ui, ROOM_NOTIFY_TMP_NOTICE_RESULT, ok ? 1 : 0);
    } else if (auto* m = As<CZQBroadCastMsg>(msg)) {
        if (ok) {
            CoinUpdate(m->coin.xiubi, m->coin.xiubiver);
        } else if (why.find("余额不") != std::string::npos) {
            PostSysText(BuildTrumpetCoinTip());
        } else {
            ShowHttpError("发送广播", why, "");
        }
        PostRoomNotifyValue(ui, ROOM_NOTIFY_BROADCAST_RESULT, ok ? 1 : 0);
    } else if (As<CZQUpdateRoomInfoMsg>(msg)) {
        if (!ok) {
            ShowHttpError("更新房间设置", why, "");
        } else if (CRoomBaseInfo* info = store.LockRoom(room, 2)) {
            info->lock.AssertHeld();
            info->name = msg->ctxText[0];
            info->password = msg->ctxText[1];
            store.UnlockRoom(room);
            PostRoomNotifyValue(ui, ROOM_NOTIFY_ROOM_INFO, 0);
        }
    } else if (auto* m = As<CZQGetMicMsg>(msg)) {
        if (ok) {
            auto s = std::make_unique<RoomMicStream>();
            s->uid = uint32_t(msg->ctxInt[1]);
            s->url = m->stream.url;
            s->isPublic = false;
            s->micattr = m->stream.micattr;
            s->idx = int(m->stream.idx);
            s->requestType = 20;
            s->status = 1;
            PostRoomNotify(ui, ROOM_NOTIFY_MIC_STREAM, std::move(s));
        } else {
            ShowHttpError("查看私麦", why, "");
        }
    } else if (auto* m = As<CZQGetChatSigMsg>(msg)) {
        DealHttpGetChatSig(m);
    } else if (auto* m = As<CZQGetMicInfoMsg>(msg)) {
        if (ok) {
            if (ui) PostRoomNotify(ui, ROOM_NOTIFY_MIC_LIST, std::make_unique<MicUserMap>(m->micList));
        } else if (msg->status == 255) {
            if (ui) PostChatLine(BuildGetMicInfoFailHtml());
        } else if (msg->status == 2) {
            ShowHttpError("获取麦列表", why, "");
        }
    } else if (auto* m = As<CZQOpMicMsg>(msg)) {
        m->ParseOpContext();
        const bool ownJoin = m->ctxOpen && uint32_t(m->ctxTid) == CGlobalDataApp::GetInstance().GetUid() &&
                             uint32_t(m->ctxUid) == uint32_t(m->ctxTid);
        if (!ok && ownJoin) {
            // The user's own request to take a microphone: told in the words of the microphone windows.
            PostChatLine(BuildTipHtml("上麦失败(" + chathtml::EscapeHtml(why) + ")"));
        } else if (!ok) {
            ShowHttpError("抱上/抱下 公/私麦", why, "");
        } else if (ui) {
            auto r = std::make_unique<RoomMicOpResult>();
            r->uid = uint32_t(m->ctxUid);
            r->tid = uint32_t(m->ctxTid);
            r->open = m->ctxOpen ? 1 : 0;
            r->micType = m->ctxMicType ? 1 : 0;
            PostRoomNotify(ui, ROOM_NOTIFY_MIC_OP_DONE, std::move(r));
        }
    } else if (As<CZQOpRoomUserRoleMsg>(msg)) {
        if (!ok) ShowHttpError("更新用户角色", why, "");
    } else if (As<CZQOpRoomUserChatMsg>(msg)) {
        if (!ok) ShowHttpError(msg->ctxInt[2] == 1 ? "禁止发言" : "恢复发言", why, "");
    } else if (As<CZQKickRoomMsg>(msg)) {
        if (!ok) ShowHttpError("踢出房间", why, "");
    } else if (As<CZQOpRoomBlackUserMsg>(msg)) {
        if (!ok) ShowHttpError("拉黑", why, "");
    } else if (auto* m = As<CZQGetUserInfoMsg>(msg)) {
        if (ok) {
            auto d = std::make_unique<RoomUserDetail>();
            d->status = m->status;
            d->uid = uint32_t(m->tid);
            d->photoid = m->photoid;
            d->beautyid = m->beautyid;
            d->name = m->name;
            d->nickname = m->nickname;
            d->level = m->level;
            d->sex = m->sex;
            d->birth = m->birth;
            d->province = m->prov;
            d->city = m->city;
            PostRoomNotify(ui, ROOM_NOTIFY_USER_DETAIL, std::move(d));
        } else {
            ShowHttpError("获取用户信息", why, "");
        }
    } else if (auto* m = As<CZQGetUserLocMsg>(msg)) {
        RoomUserInfo user;
        if (!ok) ShowHttpError("查询房间用户IP", why, "");
        else if (store.GetRoomUser(room, uint32_t(msg->ctxInt[1]), user))
            PostChatLine(BuildUserIPHtml(m->ip, user, DecodeLoc(m->loc)));
    } else if (As<CZQOpFavRoomMsg>(msg)) {
        if (ok) {
            store.UpdateFavFlag(room, msg->ctxInt[1] == 1 ? 1 : 0);
            PostRoomNotifyValue(ui, ROOM_NOTIFY_FAV_CHANGED, LPARAM(room));
        } else {
            ShowHttpError("收藏/取消收藏房间", why, "");
        }
    } else if (auto* m = As<CZQHeartBeatMsg>(msg)) {
        DealHeartBeatMsgResp(m);
    } else if (As<CZQUpdateMyInfoMsg>(msg)) {
        // The details travel with the settings dialog's own request; no record is carried in a context
        // integer (a pointer does not fit there), so nothing is read from it or freed here.
        if (!ok) ShowHttpError("更新我的信息", why, "");
        else if (msg->ctxInt[0] != 0) PostRoomNotifyValue(ui, ROOM_NOTIFY_MY_INFO_UPDATED, 0);
    } else if (auto* m = As<CZQSendColorBarMsg>(msg)) {
        if (ok) CoinUpdate(m->coin.xiubi, m->coin.xiubiver);
        else if (msg->status == 255) ShowHttpError("发送彩条", why, "");
        else if (!ok) PostChatLine(chathtml::EscapeHtml(why) + "<br>");
    } else if (As<CZQUpdateWelWord>(msg)) {
        if (!ok) {
            ShowHttpError("更新迎宾词设置", why, "");
        } else if (msg->ctxInt[0] == 1) {
            if (IConfigManager* cfg = AfxGetConfigManager())
                cfg->SetString("roomset", "WelcomeWords", msg->ctxText[0].c_str(), 1);
            PostChatLine(BuildTipHtml(
                StringUtility::Format("迎宾语设置成功(%s)", ConvertChatTextToHtml(msg->ctxText[1]).c_str())));
        } else if (msg->ctxInt[0] == 2) {
            PostChatLine(BuildTipHtml("取消迎宾语设置成功"));
        } else {
            PJ_Log(kLog, LOG_INFO, "CRoomManager::DealUpdateWelWord", "http应答无效请求m_dwuserid=%u",
                   CGlobalDataApp::GetInstance().GetUid());
        }
    } else {
        return false;
    }
    return true;
}
