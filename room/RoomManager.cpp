#include "RoomManager.h"

#include <cstring>

#include "ChatHtml.h"
#include "ChatHtmlInternal.h"
#include "GlobalData.h"
#include "RoomCatalogue.h"
#include "RoomInfoMgr.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

namespace {
const char* kLog = "RoomManager.txt";
}  // namespace

CRoomManager::CRoomManager(IRoomUI* roomUI, std::unique_ptr<CPingla> client)
    : logic_(std::move(client)), roomUI_(roomUI) {}

CRoomManager::~CRoomManager() {
    if (listening_) CMsgClientThread::GetInstance().EventSource().RemoveListener(this);
    logic_.UnInit();
}

bool CRoomManager::Init(HWND parent) {
    PJ_Log(kLog, LOG_INFO, "CRoomManager::Init", "初始化RoomManager hparentwnd=0x%08X",
           unsigned(reinterpret_cast<uintptr_t>(parent)));
    CMsgClientThread::GetInstance().EventSource().AddListener(this);
    listening_ = true;
    parent_ = parent;
    return true;
}

HWND CRoomManager::RoomHwnd() const {
    return roomUI_ ? roomUI_->GetHWND() : nullptr;
}

bool CRoomManager::IsCurrent(int roomCtx) const {
    uint32_t current = currentRoom_;
    return current != 0 && uint32_t(roomCtx) == current;
}

bool CRoomManager::PostChatLine(std::string html) {
    return logic_.PostRoomUILine(CHAT_VIEW_OWN, std::move(html));
}

std::string CRoomManager::FormatHttpError(const std::string& operation, const std::string& statusText,
                                          const std::string& hint) {
    // The service's text is text: it goes into the line escaped.
    return operation + "失败(" + chathtml::EscapeHtml(statusText) + ")" + (hint.empty() ? std::string() : "," + hint);
}

bool CRoomManager::PostSysText(const std::string& text) {
    return PostRoomNotify(RoomHwnd(), ROOM_NOTIFY_SYS_TEXT, std::make_unique<std::string>(text));
}

void CRoomManager::ShowHttpError(const std::string& operation, const std::string& statusText, const std::string& hint) {
    PostSysText(FormatHttpError(operation, statusText, hint));
}

void CRoomManager::ActivateRoomWnd() {
    if (!roomUI_ || !roomUI_->GetHWND() || !roomUI_->IsWindowVisible()) return;
    if (roomUI_->IsIconic()) roomUI_->RestoreMaximized();
    roomUI_->BringToFront();
}

void CRoomManager::OnNotifyRoom(int code, LPARAM lParam) {
    PJ_Log(kLog, LOG_INFO, "CRoomManager::OnNotifyRoom", "enum_room_notify_type=%d", code);
    if (code == ROOM_NOTIFY_ENTER_RESULT) DealNotifyCreateRoom(reinterpret_cast<EnterRoomResult*>(lParam));
    else if (code == ROOM_NOTIFY_CLOSE_ROOM) DealNotifyRemoveRoom();
}

void CRoomManager::DealNotifyCreateRoom(EnterRoomResult* raw) {
    std::unique_ptr<EnterRoomResult> result(raw);
    const char* mod = "CRoomManager::DealNotifyCreateRoom";
    if (!result || result->status != 1 || !roomUI_) {
        PJ_Log(kLog, LOG_IMPOSSIBLE, mod, "参数无效");
        return;
    }
    PJ_Log(kLog, LOG_INFO, mod, "roomid=%d", int(result->roomId));
    const uint32_t room = currentRoom_;
    if (room == 0 || result->roomId != room || (roomUI_->GetHWND() && roomUI_->GetRoomID() == room)) {
        // Closed since the service let the user in (and left there), or a second answer for the open room:
        // nothing to open.
        PJ_Log(kLog, LOG_INFO, mod, "房间已关闭或已打开 roomid=%u", result->roomId);
        return;
    }
    // The room the user chose to leave for this one closes only now that this one let the user in.
    if (uint32_t left = roomUI_->GetRoomID(); left != 0 && left != room) CloseLeftRoom(left);
    if (IRoomCenterUI* center = GetRoomDealUI<IRoomCenterUI>(roomUI_, 1)) {
        PJ_Log(kLog, LOG_INFO, mod, "保存入场特效%s", result->enterShow.c_str());
        center->SetMyEnterShowText(result->enterShow);
        center->SetWelWordUsers(result->welWordUsers);
    }
    roomUI_->SetRoomID(room);
    PJ_Log(kLog, LOG_INFO, mod, "创建房间界面-beg");
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    std::string title = StringUtility::Format("%s(%d)", store.GetRoomName(room).c_str(), int(room));
    roomUI_->CreateRoomWindow(title);
    PJ_Log(kLog, LOG_INFO, mod, "创建房间界面-end");

    int interval = 300000;
    if (IConfigManager* cfg = AfxGetConfigManager()) cfg->GetInt("UpdateSetting", "RoomHeartBeat", interval, 300000);
    if (interval < 5000) interval = 5000;
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    if (uint32_t uid = app.GetUid())
        CMsgClientThread::GetInstance().AddHeartBeat(uid, app.GetSid(), room, store.GetUserChatID(room, 0), interval);
    if (IRoomLeftUI* left = GetRoomDealUI<IRoomLeftUI>(roomUI_, 0)) left->UpdateMicList(result->micList);
    result.reset();
    logic_.SetRoomWindowReady(true);
    // Whispers that came before the window: shown with its own view and the user list (later whispers are
    // posted as lines and come after them).
    std::vector<PendingPrivateMsg> whispers = logic_.TakePendingWhispers();
    if (IRoomCenterUI* center = GetRoomDealUI<IRoomCenterUI>(roomUI_, 1))
        center->SetPendingPrivateMsgs(std::move(whispers));
}

void CRoomManager::CloseLeftRoom(uint32_t room) {
    PJ_Log(kLog, LOG_INFO, "CRoomManager::CloseLeftRoom", "关闭原房间 roomid=%u", room);
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    CMsgClientThread::GetInstance().RemoveHeartBeat(room);
    PostExitRoom(room, store.GetUserChatID(room, 0));
    if (roomUI_->GetHWND()) roomUI_->CloseRoomWindow();
    store.RemoveRoom(room);
    roomUI_->SetRoomID(0);
}

void CRoomManager::PostExitRoom(uint32_t room, const std::string& chatId) {
    if (room == 0) return;
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQExitRoomMsg exit;
    exit.uid = app.GetUid();
    exit.sid = app.GetSid();
    exit.chatid = chatId;
    exit.rid = int(room);
    exit.ctxInt[0] = int(room);
    CMsgClientThread::GetInstance().PostRequest(&exit);
}

void CRoomManager::DealNotifyRemoveRoom() {
    {
        varnet::RecursiveMutexLock hold(lifecycleLock_);
        PJ_Log(kLog, LOG_INFO, "CRoomManager::DealNotifyRemoveRoom",
               "删除房间(用户点击房间的x， 或者后台通知需要关闭房间)");
        asked_ = 0;
        const uint32_t entered = currentRoom_.exchange(0);
        logic_.UnInit();
        const uint32_t room = roomUI_ ? roomUI_->GetRoomID() : 0;
        CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
        CMsgClientThread& worker = CMsgClientThread::GetInstance();
        worker.RemoveHeartBeat(room);
        store.RemoveRoom(room);
        // A room being switched to, entered at the service but not yet shown: left there as well (the window
        // of the shown room tells the service itself).
        if (entered != 0 && entered != room) {
            PostExitRoom(entered, store.GetUserChatID(entered, 0));
            worker.RemoveHeartBeat(entered);
            store.RemoveRoom(entered);
        }
    }
    // As in RemoveAll: the window closes outside lifecycleLock_ (its dialogs take the worker's listener lock).
    if (roomUI_) {
        if (roomUI_->GetHWND()) roomUI_->CloseRoomWindow();
        roomUI_->SetRoomID(0);
    }
}

void CRoomManager::RemoveAll() {
    uint32_t entered = 0, shown = 0;
    bool closeWindow = false;
    {
        varnet::RecursiveMutexLock hold(lifecycleLock_);
        PJ_Log(kLog, LOG_INFO, "CRoomManager::RemoveAll", "删除全部房间");
        asked_ = 0;
        entered = currentRoom_;
        shown = roomUI_ ? roomUI_->GetRoomID() : 0;
        std::string chatId = logic_.GetMyChatID();
        logic_.UnInit();
        CMsgClientThread& worker = CMsgClientThread::GetInstance();
        // Every room the service let the user into is left: the open one, and while switching the one whose
        // window has not opened yet.
        worker.RemoveHeartBeat(entered);
        PostExitRoom(entered, chatId);
        if (shown != entered) {
            worker.RemoveHeartBeat(shown);
            PostExitRoom(shown, CRoomInfoMgr::GetInstance().GetUserChatID(shown, 0));
        }
        closeWindow = roomUI_ && roomUI_->GetHWND();
        // From here on the replies for this room are ignored.
        currentRoom_ = 0;
    }
    // Closing the window destroys its dialogs, which leave the worker's listeners and so wait for the
    // worker's listener lock; a reply handler holding that lock may be waiting for lifecycleLock_.
    if (closeWindow) roomUI_->CloseRoomWindow();
    CRoomInfoMgr::GetInstance().RemoveRoom(entered);
    if (shown != entered) CRoomInfoMgr::GetInstance().RemoveRoom(shown);
    if (roomUI_) roomUI_->SetRoomID(0);
}

void CRoomManager::DelFavRoom(uint32_t roomId) {
    PJ_Log(kLog, LOG_INFO, "CRoomManager::DelFavRoom", "取消收藏房间 roomid=%d", int(roomId));
    if (CRoomInfoMgr::GetInstance().ClearFavFlag(roomId) == 1)
        PostRoomNotifyValue(RoomHwnd(), ROOM_NOTIFY_FAV_CHANGED, LPARAM(roomId));
}

// ---- enter, reconnect, heartbeat -------------------------------------------------------------------------

void CRoomManager::DealHttpEnterRoom(CZQEnterRoomMsg* msg) {
    const char* mod = "CRoomManager::DealHttpEnterRoom";
    PJ_Log(kLog, LOG_INFO, mod, "收到CZQEnterRoomMsg应答");
    if (!msg) return;
    uint32_t room = uint32_t(msg->ctxInt[0]);
    if (msg->status != 1) {
        uint32_t expected = room;
        asked_.compare_exchange_strong(expected, 0);
        auto result = std::make_unique<EnterRoomResult>();
        result->roomId = room;
        result->status = msg->status;
        result->statusText = msg->statusdesc;
        PostRoomNotify(parent_.load(), ROOM_NOTIFY_ENTER_RESULT, std::move(result));
        PJ_Log(kLog, LOG_FAILURE, mod, "CRoomManager::DealHttpEnterRoom() 进入房间失败 error=%s",
               msg->statusdesc.c_str());
        return;
    }
    varnet::RecursiveMutexLock hold(lifecycleLock_);
    // Only the room asked for is entered, once; one whose switch a close cancelled is left again at once.
    uint32_t expected = room;
    if (room == 0 || !asked_.compare_exchange_strong(expected, 0)) {
        PJ_Log(kLog, LOG_INFO, mod, "房间已关闭 roomid=%u", room);
        if (room != currentRoom_) PostExitRoom(room, msg->chatid);
        auto result = std::make_unique<EnterRoomResult>();
        result->roomId = room;
        result->status = 1;
        result->statusText = msg->statusdesc;
        PostRoomNotify(parent_.load(), ROOM_NOTIFY_ENTER_RESULT, std::move(result));
        return;
    }
    PJ_Log(kLog, LOG_INFO, mod, "进入房间成功");
    currentRoom_ = room;
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    uint32_t hide = msg->hide;
    app.UpdateAccount([&](UserAccount& a) { a.stealth = int(hide); });
    logic_.UnInit();
    FillEnterRoomGiftShow(msg);
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    store.InsertRoom(room, msg->chatServer);
    // The room's own name where the reply gives it; the link's or the directory's otherwise.
    store.SetRoomName(room, msg->name.empty() ? msg->ctxText[0] : msg->name);
    if (CRoomBaseInfo* info = store.LockRoom(room, 2)) {
        info->lock.AssertHeld();
        info->myMuteFlag = msg->mute ? 1 : 0;
        info->favFlag = msg->fav ? 1 : 0;
        info->myRole = msg->role;
        info->password = msg->ctxText[1];
        info->myChatId = msg->chatid;
        for (int i = 0; i < 5; ++i) info->msg[i] = msg->msg[i];
        info->welWordUsers.clear();
        for (const WelcomeWordInfo& w : msg->welcomeWords) info->welWordUsers.insert(w.uid);
        store.UnlockRoom(room);
    }
    if (msg->level != -1) {
        int level = msg->level;
        app.UpdateAccount([&](UserAccount& a) { a.level = uint32_t(level); });
    }
    if (roomUI_) roomUI_->SetRoomLogic(&logic_);
    logic_.SetRoomUI(roomUI_);
    auto result = std::make_unique<EnterRoomResult>();
    result->roomId = room;
    result->status = 1;
    result->statusText = msg->statusdesc;
    result->enterShow = msg->entershow;
    result->micList = msg->micList;
    for (const WelcomeWordInfo& w : msg->welcomeWords) result->welWordUsers.push_back(w.uid);
    PostRoomNotify(parent_.load(), ROOM_NOTIFY_ENTER_RESULT, std::move(result));
    logic_.Init(parent_, room);
    logic_.StartConnectChat(msg->chatid, msg->chatServer, room);
}

void CRoomManager::DealHttpGetChatSig(CZQGetChatSigMsg* msg) {
    const char* mod = "CRoomManager::DealHttpGetChatSig";
    PJ_Log(kLog, LOG_INFO, mod, "第%d获取聊天服务地址", msg->ctxInt[1]);
    varnet::RecursiveMutexLock hold(lifecycleLock_);
    // A late answer for a room that was left (or another room entered) meanwhile changes nothing.
    if (!IsCurrent(msg->ctxInt[0])) {
        PJ_Log(kLog, LOG_INFO, mod, "房间已关闭 roomid=%u", uint32_t(msg->ctxInt[0]));
        return;
    }
    uint32_t room = currentRoom_;
    if (msg->status == 1) {
        if (!logic_.StartConnectChat(msg->ctxText[0], msg->chatServer, room)) return;
        CGlobalDataApp& app = CGlobalDataApp::GetInstance();
        CZQGetRoomUserMsg users;
        users.uid = app.GetUid();
        users.sid = app.GetSid();
        users.rid = room;
        users.ctxInt[0] = int(room);
        CMsgClientThread::GetInstance().PostRequest(&users);
        CZQGetMicInfoMsg mics;
        mics.uid = app.GetUid();
        mics.sid = app.GetSid();
        mics.rid = room;
        mics.pwd = CRoomInfoMgr::GetInstance().GetRoomPassword(room);
        mics.ctxInt[0] = int(room);
        CMsgClientThread::GetInstance().PostRequest(&mics);
    } else if (msg->status == 2) {
        PJ_Log(kLog, LOG_FAILURE, mod, "获取聊天服务地址失败(CMD_Error error=%s)，后台返回失败不再重试",
               msg->statusdesc.c_str());
        ShowHttpError("获取聊天服务地址", msg->statusdesc, "请重新进入房间");
    } else if (msg->status == 255) {
        logic_.SignalChatStopped();
    }
}

void CRoomManager::DealHeartBeatMsgResp(CZQHeartBeatMsg* msg) {
    PJ_Log(kLog, LOG_INFO, "CRoomManager::DealHeartBeatMsgResp", "心跳处理");
    if (msg->status == 1) CGlobalDataApp::GetInstance().SyncServerTime(msg->systm);
}

void CRoomManager::FillEnterRoomGiftShow(CZQEnterRoomMsg* msg) {
    const char* mod = "CRoomManager::FillEnterRoomGiftShow";
    PJ_Log(kLog, LOG_INFO, mod, "初始化待显示的礼物");
    const auto& g = msg->globalMsg;
    if (g.gid != 0) {
        PJ_Log(kLog, LOG_INFO, mod, "有待显示的全局礼物 giftid=%d", int(g.gid));
        GlobalGiftNotice notice;
        notice.senderName = g.fname;
        notice.senderId = g.fbeautyid;
        notice.receiverName = g.tname;
        notice.receiverId = g.tbeautyid;
        notice.giftId = g.gid;
        notice.time = int64_t(g.tm);
        notice.word = g.word;
        uint32_t mine = CGlobalDataApp::GetInstance().GetAccount().beautyid;
        if (g.hide && mine != g.fbeautyid && mine != g.tbeautyid) {
            notice.senderId = 0;
            notice.senderName = "神秘人";
        }
        logic_.InsertEnterGlobalGift(g.cnt, notice);
    }
    bool first = true;
    IDataHalvec* h = RoomHalvec();
    for (const auto& entry : msg->giftHistory) {
        if (!entry) {
            PJ_Log(kLog, LOG_IMPOSSIBLE, mod, "有待显示的礼物 lpEnterRoomGiftShow==NULL");
            continue;
        }
        PJ_Log(kLog, LOG_INFO, mod, "有待显示的礼物 giftid=%d giftcount=%d giftHisCount=%d tm=%d", int(entry->gid),
               int(entry->cnt), int(entry->hiscnt), int(entry->tm));
        if (h && h->IsGift21012(int(entry->gid))) {
            logic_.GiftShows().InsertChequeShow(entry->sender, entry->receiver, entry->gid, entry->cnt);
        } else if (first) {
            // What remains of its pacing at the server's time (all of it when its time lies in the past).
            int64_t seconds = int64_t(entry->tm) - int64_t(msg->systm);
            logic_.InitInsertGiftShow(entry->receiver, entry->sender, entry->gid, entry->cnt, entry->hiscnt, seconds,
                                      std::string());
        } else {
            logic_.InsertEnterGiftShow(entry->sender, entry->receiver, entry->gid, entry->cnt, entry->hiscnt,
                                       std::string());
        }
        first = false;
    }
}

void CRoomManager::CoinUpdate(int64_t xiubi, uint32_t xiubiver) {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    bool newer = false;
    app.UpdateAccount([&](UserAccount& a) {
        if (a.xiubiver < xiubiver) {
            newer = true;
            a.xiubi = uint64_t(xiubi);
            a.xiubiver = xiubiver;
        }
    });
    if (!newer) return;
    uint32_t uid = app.GetUid();
    for (HWND hwnd : {parent_.load(), RoomHwnd()}) {
        auto change = std::make_unique<RoomUserChange>();
        change->uid = uid;
        change->value = USER_CHANGE_COIN;
        PostRoomNotify(hwnd, ROOM_NOTIFY_USER_CHANGED, std::move(change));
    }
}

// The room window's gift column drops its pictures before the reload and rebuilds its pages after it.
void CRoomManager::OnGiftResourceUpdate(bool reloaded) {
    if (roomUI_) roomUI_->OnGiftResourceUpdate(reloaded);
}

void CRoomManager::ReloadFaces() {
    if (roomUI_) roomUI_->ReloadFaces();
}

void CRoomManager::CreateFacePicker() {
    if (roomUI_) roomUI_->CreateFacePicker();
}

void CRoomManager::DestroyFacePicker() {
    if (roomUI_) roomUI_->DestroyFacePicker();
}
