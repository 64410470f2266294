#include "RoomLogic.h"

#include "ChatHtml.h"
#include "GlobalData.h"
#include "MsgClientThread.h"
#include "NoticeReader.h"
#include "RoomInfoMgr.h"
#include "ZQCommands.h"
#include "ZqHttp.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

namespace {
const char* kLog = "RoomLogic.txt";
constexpr int kLookupTimeoutMs = 3000;
// A server flooding a room that is not ready yet: the oldest notices go first.
constexpr size_t kMaxCachedNotices = 5000;
constexpr size_t kMaxCachedBytes = 16u << 20;

std::atomic<bool> g_chatHost{true};
}  // namespace

CRoomLogic::CRoomLogic(std::unique_ptr<CPingla> client)
    : chat_(client ? std::move(client) : std::make_unique<CPingla>()) {
    gifts_.SetLinePending(pendingLines_);  // gift and cheque lines count with the others
}

CRoomLogic::~CRoomLogic() {
    UnInit();
    chat_->Close();
    lookupRun_ = false;
    varnet::MutexLock hold(lifecycleLock_);
    if (lookupThread_.joinable()) lookupThread_.join();
}

bool CRoomLogic::ChatHostFlag() {
    return g_chatHost;
}
void CRoomLogic::SetChatHostFlag(bool on) {
    g_chatHost = on;
}

uint32_t CRoomLogic::ChatIdToUid(const std::string& chatId) {
    return static_cast<uint32_t>(std::strtoull(chatId.c_str(), nullptr, 10));
}

void CRoomLogic::SetTickSource(std::function<uint32_t()> tick) {
    tick_ = tick;
    gifts_.SetTickSource(std::move(tick));
}

uint32_t CRoomLogic::Tick() const {
    return tick_ ? tick_() : GetTickCount();
}

std::string CRoomLogic::GetMyChatID() {
    varnet::MutexLock hold(chatLock_);
    return myChatId_;
}

HWND CRoomLogic::RoomHwnd() {
    IRoomUI* ui = roomUI_;
    if (!ui) {
        PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::PostRoomUIMessage", "发现m_pRoomUI==NULL");
        return nullptr;
    }
    return ui->GetHWND();
}

bool CRoomLogic::PostRoomUIValue(int code, LPARAM value) {
    HWND hwnd = RoomHwnd();
    return hwnd && PostRoomNotifyValue(hwnd, code, value);
}

bool CRoomLogic::PostRoomUILine(int flags, std::string html) {
    bool firstDrop = false;
    if (!pendingLines_->Admit(html.size(), firstDrop)) {
        if (firstDrop)
            PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::PostRoomUILine", "聊天消息过多，房间窗口来不及显示，丢弃");
        return false;
    }
    HWND hwnd = RoomHwnd();
    return hwnd && PostCountedChatLine(hwnd, pendingLines_, flags, std::move(html));
}

void CRoomLogic::PostParent(int code, LPARAM value) {
    PostRoomNotifyValue(parent_, code, value);
}

void CRoomLogic::PostParentOnce(int code, LPARAM value) {
    const unsigned bit = code == ROOM_NOTIFY_LOGIN_ELSEWHERE ? 1u : code == ROOM_NOTIFY_SERVER_RESTART ? 2u : 4u;
    if (postedOnce_.fetch_or(bit) & bit) return;
    PostParent(code, value);
}

void CRoomLogic::FlashRoomWindow() {
    IRoomUI* ui = roomUI_;
    if (HWND hwnd = ui ? ui->GetHWND() : nullptr) FlashWindowUntilForeground(hwnd);
}

bool CRoomLogic::CloseRoom() {
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::CloseRoom", "用户退出房间");
    return PostRoomNotifyValue(parent_, ROOM_NOTIFY_CLOSE_ROOM, LPARAM(roomId_.load()));
}

bool CRoomLogic::RequestLogin(IRoomUI*) {
    return PostRoomNotifyValue(parent_, ROOM_NOTIFY_REQUEST_LOGIN, 0);
}
bool CRoomLogic::RequestRegister(IRoomUI*) {
    return PostRoomNotifyValue(parent_, ROOM_NOTIFY_REQUEST_REGISTER, 0);
}

bool CRoomLogic::IsUserInRoom(uint32_t uid) {
    {
        varnet::MutexLock hold(leaveLock_);
        if (pendingLeave_.count(uid)) return false;
    }
    IRoomUI* ui = roomUI_;
    uint32_t room = ui ? ui->GetRoomID() : roomId_.load();
    return CRoomInfoMgr::GetInstance().HasUser(room, uid);
}

size_t CRoomLogic::PendingLeaveCount() {
    varnet::MutexLock hold(leaveLock_);
    return pendingLeave_.size();
}

void CRoomLogic::SetShieldBrushGift(bool shield) {
    gifts_.SetShieldFlag(shield);
    if (IConfigManager* cfg = AfxGetConfigManager()) cfg->SetInt("roomset", "ShieldBrushGift", shield ? 1 : 0);
}

void CRoomLogic::InsertEnterGlobalGift(uint32_t count, const GlobalGiftNotice& notice) {
    gifts_.InsertGlobalGiftShow(count, notice);
}

void CRoomLogic::InsertEnterGiftShow(const RoomUserInfo& sender, const RoomUserInfo& receiver, uint32_t giftId,
                                     uint32_t count, uint32_t start, const std::string& text) {
    gifts_.InserGiftShow(sender, receiver, giftId, count, start, text);
}

void CRoomLogic::InitInsertGiftShow(const RoomUserInfo& receiver, const RoomUserInfo& sender, uint32_t giftId,
                                    uint32_t count, uint32_t start, int64_t seconds, const std::string& text) {
    gifts_.InitInsertGiftShow(receiver, sender, giftId, count, start, seconds, text);
}

// ---- lifecycle -------------------------------------------------------------------------------------------

void CRoomLogic::Init(HWND parent, uint32_t roomId) {
    varnet::MutexLock hold(lifecycleLock_);
    StopDetectThread();  // an Init without UnInit: the previous threads end first
    parent_ = parent;
    roomId_ = roomId;
    postedOnce_ = 0;
    {
        varnet::MutexLock s(sigLock_);
        pendingSigs_.clear();
        sigDropLogged_ = false;
    }
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::Init", "初始化RoomLogic");
    gifts_.SetRoomUI(roomUI_);
    int shield = 0;
    if (IConfigManager* cfg = AfxGetConfigManager()) cfg->GetInt("roomset", "ShieldBrushGift", shield);
    gifts_.SetShieldFlag(shield == 1);
    {
        varnet::MutexLock c(cacheLock_);
        cache_.clear();
        cacheBytes_ = 0;
        cacheDropLogged_ = false;
    }
    // A stop signalled for the previous room must not start a reconnect in this one.
    chatStopped_.Reset();
    detectRun_ = true;
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::Init", "启动检测线程");
    detectThread_ = std::thread([this] { DetectThreadProc(); });
    if (lookupThread_.joinable() && lookupDone_) lookupThread_.join();
    if (!lookupThread_.joinable()) {
        lookupDone_ = false;
        lookupThread_ = std::thread([this] { QueryStreamServerThread(); });
    }
}

bool CRoomLogic::StartConnectChat(const std::string& chatId, const ChatServerInfo& info, uint32_t forRoom) {
    varnet::MutexLock hold(lifecycleLock_);
    if (forRoom != 0 && forRoom != roomId_) {
        PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::StartConnectChat", "房间已关闭 roomid=%u", forRoom);
        return false;
    }
    {
        varnet::MutexLock c(chatLock_);
        myChatId_ = chatId;
        if (&info != &chatServer_) chatServer_ = info;
    }
    if (connectThread_.joinable()) {
        keepConnecting_ = false;
        chat_->Close();
        connectThread_.join();
    }
    keepConnecting_ = true;
    connectThread_ = std::thread([this] { ConnectChat(); });
    return true;
}

void CRoomLogic::StopConnectChat() {
    varnet::MutexLock hold(lifecycleLock_);
    if (!connectThread_.joinable()) return;
    keepConnecting_ = false;
    chat_->Close();  // wakes a blocked Connect, Login or JoinChannel
    connectThread_.join();
    chat_->Close();  // a connection the thread finished meanwhile
}

void CRoomLogic::ConnectChat() {
    int tries = 3, timeout = 15;
    IConfigManager* cfg = AfxGetConfigManager();
    if (cfg) {
        cfg->GetInt("RoomLink", "ChatServerInitMaxCount", tries);
        cfg->GetInt("RoomLink", "ChatServerTimerOutSend", timeout);
    }
    ChatServerInfo info;
    std::string chatId;
    {
        varnet::MutexLock c(chatLock_);
        info = chatServer_;
        chatId = myChatId_;
    }
    std::string ip;
    if (!ChatHostFlag() && cfg) {
        // The deployment names its default chat host; the DNS pre-resolution stored its address.
        std::string host;
        cfg->GetString("ZqServerList", "DefaultChatHost", host);
        if (!host.empty()) cfg->GetString("DnsLookup", host.c_str(), ip);
    }
    if (ip.empty()) ip = info.ip;

    bool ok = false;
    for (int attempt = 0; attempt < tries && keepConnecting_; ++attempt) {
        chat_->Close();
        if (!keepConnecting_) break;
        if (!chat_->Connect(ip.c_str(), info.port, timeout)) {
            PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::ConnectChat", "m_oChatNotice.Connect失败 ip=%s, port=%d", ip.c_str(),
                   int(info.port));
            continue;
        }
        if (!keepConnecting_) break;
        char name[1024] = {0};
        if (UrlEncode::EncodeEx(info.chatname.c_str(), name, sizeof name, 1) < 0) {
            PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::ConnectChat", "ZqLib::UrlEncode::EncodeEx失败 ChatName=%s",
                   info.chatname.c_str());
            continue;
        }
        if (!keepConnecting_) break;
        if (!chat_->Login(info.loginSig, info.tm, chatId, name)) {
            PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::ConnectChat",
                   "m_oChatNotice.Login失败 LoginSig=%d, time=%d, chatid=%s, chatnmae=%s", int(info.loginSig),
                   int(info.tm), chatId.c_str(), name);
            continue;
        }
        if (!keepConnecting_) break;
        if (!chat_->JoinChannel(info.joinId, info.joinSig, info.tm, chatId)) {
            PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::ConnectChat",
                   "m_oChatNotice.JoinChannel失败 m_dwJoinID=%d, m_dwJoinSig=%d, m_dwTime=%d, astrChatID=%s",
                   int(info.joinId), int(info.joinSig), int(info.tm), chatId.c_str());
            continue;
        }
        if (!keepConnecting_) break;
        // Joined but nothing receiving is no connection: the next try starts over.
        if (!chat_->StartRecv(this)) {
            PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::ConnectChat", "m_oChatNotice.StartRecv失败 chatid=%s",
                   chatId.c_str());
            continue;
        }
        ok = keepConnecting_;
        break;
    }
    chatReady_ = ok;
    // A deliberate stop (UnInit, a newer StartConnectChat) is no lost connection: only a failure while
    // connecting was still wanted leads to the reconnect cycle.
    if (!ok && keepConnecting_) {
        chatStopped_.Set();
        SetChatHostFlag(false);
    }
}

void CRoomLogic::StopDetectThread() {
    detectRun_ = false;
    if (detectThread_.joinable()) detectThread_.join();
}

void CRoomLogic::UnInit() {
    varnet::MutexLock hold(lifecycleLock_);
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::UnInit", "反初始化RoomLogic");
    keepConnecting_ = false;  // a connect in progress starts nothing new after the Close below
    chat_->Close();
    StopDetectThread();
    gifts_.ClearGlobalGiftShows();
    gifts_.ClearGiftShows();
    gifts_.ClearChequeShows();
    roomId_ = 0;
    if (connectThread_.joinable()) {
        chat_->Close();
        connectThread_.join();
        chat_->Close();
    }
    chatReady_ = false;
    {
        varnet::MutexLock l(leaveLock_);
        pendingLeave_.clear();
    }
    {
        varnet::MutexLock c(cacheLock_);
        cache_.clear();
        cacheBytes_ = 0;
        cacheDropLogged_ = false;
        cacheReplayed_ = false;
    }
    {
        varnet::MutexLock w(whisperLock_);
        pendingWhispers_.clear();
        roomWindowReady_ = false;
    }
    userListLoaded_ = false;
}

void CRoomLogic::SetRoomWindowReady(bool ready) {
    varnet::MutexLock hold(whisperLock_);
    roomWindowReady_ = ready;
}

std::vector<PendingPrivateMsg> CRoomLogic::TakePendingWhispers() {
    varnet::MutexLock hold(whisperLock_);
    std::vector<PendingPrivateMsg> out;
    out.swap(pendingWhispers_);
    return out;
}

void CRoomLogic::DetectThreadProc() {
    while (detectRun_) {
        if (chatStopped_.Wait(50) == WAIT_OBJECT_0) {
            if (detectRun_) OnChatStopped();
            continue;
        }
        gifts_.CheckGlobalGiftShow();
        gifts_.CheckChequeShow();
        gifts_.ShowNextGiftUnit();
        CheckLeaveUsers();
    }
}

void CRoomLogic::OnChatStopped() {
    uint32_t now = Tick();
    if (now - lastTip_ >= 1000) {
        lastTip_ = now;
        PostRoomUILine(CHAT_VIEW_OWN, "[提示] 聊天服务断开，正在重新连接<BR>");
    }
    RequestChatSig();
}

void CRoomLogic::RequestChatSig() {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    uint32_t room = roomId_;
    CZQGetChatSigMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.ctxInt[0] = static_cast<int>(room);
    msg.chatid = CRoomInfoMgr::GetInstance().GetUserChatID(room, 0);
    // The reply handler reconnects with the chat id it finds here.
    msg.ctxText[0] = msg.chatid;
    CMsgClientThread::GetInstance().PostRequest(&msg);
}

void CRoomLogic::CheckLeaveUsers() {
    varnet::MutexLock hold(leaveLock_);
    if (pendingLeave_.empty()) return;
    uint32_t now = Tick();
    if (now - lastSweep_ <= 9999) return;
    lastSweep_ = now;
    uint32_t room = roomId_;
    for (auto it = pendingLeave_.begin(); it != pendingLeave_.end();) {
        if (now - it->second > 9999) {
            CRoomInfoMgr::GetInstance().RemoveRoomUser(room, it->first);
            it = pendingLeave_.erase(it);
        } else {
            ++it;
        }
    }
}

void CRoomLogic::QueryStreamServerThread() {
    QueryStreamServers();
    lookupDone_ = true;
}

void CRoomLogic::QueryStreamServers() {
    IConfigManager* cfg = AfxGetConfigManager();
    if (!cfg) return;
    cfg->SetString("WsNgb", "WsPush1", "", 1);
    const char* keys[2][2] = {{"NgbPush", "WsPush1"}, {"NgbGet", "WsGet1"}};
    for (auto& key : keys) {
        std::string url;
        if (!lookupRun_ || !cfg->GetString("WsNgb", key[0], url) || url.empty()) continue;
        IZqHttpMgr* http = GetZqHttpMgr();
        int session = http->OpenUrlWhile(url.c_str(), kLookupTimeoutMs, lookupRun_);
        const char* data = nullptr;
        int len = 0;
        if (session && http->GetStatusCode(session) == 200 && http->GetData(session, &data, &len) && data)
            cfg->SetString("WsNgb", key[1], std::string(data, size_t(len)).c_str(), 1);
        http->CloseSession(session);
    }
}

void CRoomLogic::ConectionStop() {
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::ConectionStop", "聊天服务断开");
    chatStopped_.Set();
    chatReady_ = false;
    SetChatHostFlag(false);
}

void CRoomLogic::NotifyNomMsg(std::string, std::string) {
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::NotifyNomMsg", "收到未定义的通知");
}

// ---- chat messages ---------------------------------------------------------------------------------------

bool CRoomLogic::SendChatMsg(uint32_t targetUid, const std::string& text, bool isPublic) {
    if (!chatReady_) {
        PostRoomUILine(CHAT_VIEW_OWN, BuildTipHtml("正在连接聊天服务"));
        return false;
    }
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    uint32_t room = roomId_;
    uint32_t joinId = store.GetChatJoinID(room);
    std::string receiver = targetUid ? store.GetUserChatID(room, targetUid) : std::string();
    std::string encoded = UrlEncode::EncodeQuery(text);
    if (isPublic) chat_->SendPubMsg(joinId, receiver, encoded);
    else if (!receiver.empty()) chat_->SendPriMsg(5, receiver, encoded);
    return true;
}

void CRoomLogic::NotifyPubMsg(std::string senderName, std::string receiverName, std::string senderChatId,
                              std::string receiverChatId, std::string text) {
    uint32_t from = ChatIdToUid(senderChatId), to = ChatIdToUid(receiverChatId);
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::NotifyPubMsg", "%s(chatid=%s,userid=%d) 对 %s(chatid=%s, userid=%d)说：%s",
           senderName.c_str(), senderChatId.c_str(), int(from), receiverName.c_str(), receiverChatId.c_str(), int(to),
           text.c_str());
    uint32_t room = roomId_;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    RoomUserInfo sender = store.GetChatSender(room, from, senderName);
    RoomUserInfo receiver;
    if (to) receiver = store.GetChatSender(room, to, receiverName);
    uint32_t me = CGlobalDataApp::GetInstance().GetUid();
    int flags = (from == me || (to && to == me)) ? CHAT_VIEW_OWN : CHAT_VIEW_PUBLIC;
    IRoomUI* ui = roomUI_;
    if (to && to == me && ui && !ui->IsForeground()) FlashRoomWindow();
    // The text travels URL-encoded: the whitelist must see it as it will be shown.
    std::string plain = UrlEncode::Decode(text);
    PostRoomUILine(flags, IsValidChatHtml(plain) ? BuildPubChatHtml(sender, receiver, plain)
                                                 : BuildTipHtml("收到一条包含无效html标签的公聊消息"));
}

void CRoomLogic::NotifyPriMsg(std::string senderName, std::string senderChatId, std::string text) {
    uint32_t from = ChatIdToUid(senderChatId);
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::NotifyPriMsg", "%s(chatid=%s,userid=%d) 对 你说：%s", senderName.c_str(),
           senderChatId.c_str(), int(from), text.c_str());
    std::string plain = UrlEncode::Decode(text);
    {
        // No window yet: kept for the window to show once its own view and the user list are there.
        varnet::MutexLock hold(whisperLock_);
        if (!roomWindowReady_) {
            if (pendingWhispers_.size() < kMaxPendingWhispers)
                pendingWhispers_.push_back({from, std::move(plain), senderName});
            else PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::NotifyPriMsg", "缓存私聊过多，丢弃");
            return;
        }
    }
    RoomUserInfo sender = CRoomInfoMgr::GetInstance().GetChatSender(roomId_, from, senderName);
    PostRoomUILine(CHAT_VIEW_OWN, IsValidChatHtml(plain) ? BuildPriChatHtml(plain, sender)
                                                         : BuildTipHtml("收到一条包含无效html标签的私聊消息"));
}

// ---- notices ---------------------------------------------------------------------------------------------

void CRoomLogic::NotifySysMsg(std::string cmd, std::string body) {
    Json::Value doc = ReadNoticeBody(cmd, body);
    if (roomWindowReady_ && userListLoaded_) {
        bool replay = false;
        {
            varnet::MutexLock hold(cacheLock_);
            if (!cacheReplayed_) {
                cacheReplayed_ = true;
                replay = true;
            }
        }
        if (replay) {
            PJ_Log(kLog, LOG_INFO, "CRoomLogic::NotifySysMsg", "开始处理缓存的通知");
            DealCacheNotify();
        }
        DealChatSysMsg(cmd, doc);
        return;
    }
    varnet::MutexLock hold(cacheLock_);
    const size_t bytes = cmd.size() + body.size();
    while (!cache_.empty() && (cache_.size() >= kMaxCachedNotices || cacheBytes_ + bytes > kMaxCachedBytes)) {
        if (!cacheDropLogged_) PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::NotifySysMsg", "缓存通知过多，丢弃最早的通知");
        cacheDropLogged_ = true;
        cacheBytes_ -= cache_.front().first.size() + cache_.front().second.size();
        cache_.pop_front();
    }
    if (bytes > kMaxCachedBytes) return;
    // The notice is kept as received: re-read on replay, its bytes come back unchanged.
    cacheBytes_ += bytes;
    cache_.emplace_back(std::move(cmd), std::move(body));
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::NotifySysMsg", "缓存通知 json=%s", NoticeToText(doc).c_str());
}

void CRoomLogic::DealCacheNotify() {
    std::deque<std::pair<std::string, std::string>> cached;
    {
        varnet::MutexLock hold(cacheLock_);
        cached.swap(cache_);
        cacheBytes_ = 0;
        cacheDropLogged_ = false;
    }
    for (auto& [cmd, body] : cached) {
        Json::Value doc = ReadNoticeBody(cmd, body);
        if (!NoticeHas(doc, "cmd")) {
            PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::DealCacheNotify", "解析缓存的通知失败");
            continue;
        }
        std::string replayCmd = doc["cmd"].asString();
        PJ_Log(kLog, LOG_INFO, "CRoomLogic::DealCacheNotify", "发现缓存的通知 cmd=%s  value=%s", replayCmd.c_str(),
               NoticeToText(doc).c_str());
        DealChatSysMsg(replayCmd, doc);
    }
}

void CRoomLogic::DealChatSysMsg(const std::string& cmd, const Json::Value& doc) {
    using Handler = void (CRoomLogic::*)(const Json::Value&);
    static const std::pair<const char*, Handler> kHandlers[] = {
        {"notifyenter", &CRoomLogic::DealSysMsgUserEnter},
        {"notifyexit", &CRoomLogic::DealSysMsgUserLeave},
        {"notifyrole", &CRoomLogic::DealSysMsgUserRoleChange},
        {"notifyuserinfo", &CRoomLogic::DealSysMsgUserInfoChange},
        {"notifyroominfo", &CRoomLogic::DealSysMsgRoomInfoChange},
        {"notifyop", &CRoomLogic::DealSysMsgOP},
        {"notifygift", &CRoomLogic::DealSysMsgSendGift},
        {"notifytag", &CRoomLogic::DealSysMsgSendtag},
        {"notifymicon", &CRoomLogic::DealSysMsgMicOn},
        {"notifymicoff", &CRoomLogic::DealSysMsgMicOff},
        {"notifymicattr", &CRoomLogic::DealSysMsgMicAttrChange},
        {"notifybroadcast", &CRoomLogic::DealSysMsgBroadcast},
        {"notifynotice", &CRoomLogic::DealSysMsgSysNotice},
        {"notifyliveplan", &CRoomLogic::DealSysMsgLivePlan},
        {"notifypriorliveplan", &CRoomLogic::DealSysMsgNotifyPriorLivePlan},
        {"notifyglobalgift", &CRoomLogic::DealSysMsgGlobalGift},
        {"notifytmpnotice", &CRoomLogic::DealSysMsgTmpNotice},
        {"notifylogin", &CRoomLogic::DealSysMsgNotifyLogin},
        {"notifyluckygift", &CRoomLogic::DealSysMsgNotifyLuckyGift},
        {"notifyrestart", nullptr},
        {"notifycolorbar", &CRoomLogic::DealSysMsgNotifySendColorBar},
        {"notifywelword", &CRoomLogic::DealSysMsgNotifyWelWord},
    };
    PJ_Log(kLog, LOG_INFO, "CRoomLogic::DealChatSysMsg", "收到通知 cmd=%s  value=%s", cmd.c_str(),
           NoticeToText(doc).c_str());
    for (auto& [name, handler] : kHandlers) {
        if (cmd != name) continue;
        try {
            if (handler) (this->*handler)(doc);
            else PostParentOnce(ROOM_NOTIFY_SERVER_RESTART, 0);
        } catch (...) {
            PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::DealChatSysMsg", "处理通知失败 cmd=%s", cmd.c_str());
        }
        return;
    }
    PJ_Log(kLog, LOG_FAILURE, "CRoomLogic::DealChatSysMsg", "CRoomLogic::DealChatSysMsg 未知的通知 cmd=%s",
           cmd.c_str());
}
