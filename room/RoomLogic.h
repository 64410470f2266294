// The logic of the one open room: the chat/notice connection, the notices and chat messages it delivers,
// the pending leaves, gift pacing and the reconnect cycle. One object, reused for every room entered:
// Init and StartConnectChat when a room is entered, UnInit when it is left.
//
// Threads:
// - UI thread: the IRoomLogic operations; UnInit also from the request worker (enter-room reply).
// - Request worker: Init, UnInit, StartConnectChat (enter-room and chat-signature replies).
//   Init, UnInit, StartConnectChat and StopConnectChat are serialised by lifecycleLock_; none of the threads
//   below takes it, so joining them under it cannot deadlock.
// - Connect thread (ConnectChat): one per StartConnectChat, joined by StopConnectChat.
// - Detection thread: 50 ms ticks; reconnect tips, gift pacing, the pending-leave sweep. Joined by UnInit.
// - Stream-server lookup thread: the HTTP lookups of an Init, each bounded by its time-out. Nobody waits for
//   it but the destructor (which ends it within about a second): UnInit leaves it running, its answer is the
//   process's rather than the room's, and an Init while it still runs starts no second one.
// - The chat client's receive thread: every IBaseNotifyMsg callback. The client's Close joins it, so after
//   Close (in UnInit) no callback runs.
// Locks: lifecycleLock_ (above); leaveLock_ guards pendingLeave_ (order: leave lock, then the room store);
// cacheLock_ guards the notice cache and its replayed flag. Flags read across threads are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <tuple>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <json/value.h>

#include "GiftShowManager.h"
#include "Pingla.h"
#include "RoomNotify.h"
#include "RoomRecords.h"
#include "RoomUI.h"
#include "Win32Sync.h"
#include "ThreadAnnotations.h"

class CRoomLogic : public IRoomLogic, public IBaseNotifyMsg {
public:
    // `client` stands in for the chat client (tests); null = the real one.
    explicit CRoomLogic(std::unique_ptr<CPingla> client = nullptr);
    ~CRoomLogic() override;
    CRoomLogic(const CRoomLogic&) = delete;
    CRoomLogic& operator=(const CRoomLogic&) = delete;

    // IRoomLogic.
    IRoomUI* GetRoomUI() override { return roomUI_; }
    uint32_t GetRoomID() override { return roomId_; }
    std::string GetMyChatID() override;
    bool SendChatMsg(uint32_t targetUid, const std::string& text, bool isPublic) override;
    bool CloseRoom() override;
    bool IsUserInRoom(uint32_t uid) override;
    void SetShieldBrushGift(bool shield) override;
    void UnInit() override;
    bool IsChatReady() override { return chatReady_; }
    bool RequestLogin(IRoomUI* ui = nullptr) override;
    bool RequestRegister(IRoomUI* ui = nullptr) override;

    // Lifecycle.
    void SetRoomUI(IRoomUI* ui) { roomUI_ = ui; }
    void Init(HWND parent, uint32_t roomId);
    // Starts (or restarts) the connect thread. With forRoom != 0 only while that room is the current one
    // (a late chat-signature reply for a room left meanwhile starts nothing); false then.
    bool StartConnectChat(const std::string& chatId, const ChatServerInfo& info, uint32_t forRoom = 0);
    void StopConnectChat();
    void SetRoomWindowReady(bool ready);
    // The room window is there now: the whispers that came before it, oldest first (the list empties).
    std::vector<PendingPrivateMsg> TakePendingWhispers();
    static constexpr size_t kMaxPendingWhispers = 200;
    void SetUserListLoaded(bool loaded) { userListLoaded_ = loaded; }
    bool IsUserListLoaded() const { return userListLoaded_; }
    // Makes the detection thread ask for a new chat signature (a chat-signature request that got no answer).
    void SignalChatStopped() { chatStopped_.Set(); }
    HWND GetParentWnd() const { return parent_; }

    // Enter-room gifts, forwarded to gift pacing: a later gift of the list plays in full (InserGiftShow);
    // the first keeps what remains of its pacing at `seconds`, its time minus the server's (InitInsertGiftShow).
    void InsertEnterGlobalGift(uint32_t count, const GlobalGiftNotice& notice);
    void InsertEnterGiftShow(const RoomUserInfo& sender, const RoomUserInfo& receiver, uint32_t giftId, uint32_t count,
                             uint32_t start, const std::string& text);
    void InitInsertGiftShow(const RoomUserInfo& receiver, const RoomUserInfo& sender, uint32_t giftId, uint32_t count,
                            uint32_t start, int64_t seconds, const std::string& text);
    CGiftShowManager& GiftShows() { return gifts_; }

    // Messages to the room window; false (payload freed) when there is no window.
    template <class T>
    bool PostRoomUIMessage(int code, std::unique_ptr<T> payload);
    bool PostRoomUIValue(int code, LPARAM value);
    // A chat line; dropped (a log line once) while kMaxPendingLines of them wait for the room window: the
    // panes keep 200 lines anyway, and a flood must not grow the process or stop the window answering.
    bool PostRoomUILine(int flags, std::string html);
    static constexpr int kMaxPendingLines = RoomLinePending::kMaxLines;
    static constexpr size_t kMaxPendingLineBytes = RoomLinePending::kMaxBytes;
    // The chat lines posted and not yet freed by the window.
    int PendingLines() const { return pendingLines_->lines.load(); }

    // The live signature of a user's microphone is asked for once until its answer came (any number of
    // microphone notices queue one request). The room manager reports each answer.
    void LiveSigAnswered(uint32_t target, int micIndex, bool isPublic);
    // Live-signature requests waiting for their answers, whatever the notices name (more are dropped, logged once).
    static constexpr size_t kMaxPendingLiveSigs = 2 * (kPublicMicSlots + kPrivateMicSlots);

    // IBaseNotifyMsg (receive thread).
    void NotifySysMsg(std::string cmd, std::string body) override;
    void NotifyPubMsg(std::string senderName, std::string receiverName, std::string senderChatId,
                      std::string receiverChatId, std::string text) override;
    void NotifyPriMsg(std::string senderName, std::string senderChatId, std::string text) override;
    void NotifyNomMsg(std::string a, std::string b) override;
    void ConectionStop() override;

    // The notice dispatch (receive thread; tests call it directly).
    void DealChatSysMsg(const std::string& cmd, const Json::Value& doc);

    // Process-wide: the chat-host flag (true at start, false after the first lost or failed connection). Once
    // it is false, connections use the address the DNS pre-resolution stored under DnsLookup for the host
    // named by the configuration's ZqServerList/DefaultChatHost.
    static bool ChatHostFlag();
    static void SetChatHostFlag(bool on);

    // User id of a chat id: its leading decimal number, low 32 bits.
    static uint32_t ChatIdToUid(const std::string& chatId);

    // For tests: the clock of the pending-leave sweep and the reconnect tip.
    void SetTickSource(std::function<uint32_t()> tick);
    size_t PendingLeaveCount();

private:
    void ConnectChat();
    void DetectThreadProc();
    void QueryStreamServerThread();
    void QueryStreamServers();
    void StopDetectThread() REQUIRES(lifecycleLock_);
    void OnChatStopped();
    void RequestChatSig();
    void CheckLeaveUsers();
    void DealCacheNotify();
    uint32_t Tick() const;
    HWND RoomHwnd();
    void PostParent(int code, LPARAM value);
    // Codes 33, 35 and 36 end the room: each reaches the frame once per room, however often the server says it.
    void PostParentOnce(int code, LPARAM value);
    void FlashRoomWindow();

    // Notice handlers (RoomLogicNotices.cpp, RoomLogicGifts.cpp).
    void DealSysMsgUserEnter(const Json::Value& doc);
    void DealSysMsgUserLeave(const Json::Value& doc);
    void DealSysMsgUserRoleChange(const Json::Value& doc);
    void DealSysMsgUserInfoChange(const Json::Value& doc);
    void DealSysMsgRoomInfoChange(const Json::Value& doc);
    void DealSysMsgOP(const Json::Value& doc);
    void DealSysMsgNotifyLogin(const Json::Value& doc);
    void DealSysMsgBroadcast(const Json::Value& doc);
    void DealSysMsgSysNotice(const Json::Value& doc);
    void DealSysMsgTmpNotice(const Json::Value& doc);
    void DealSysMsgNotifySendColorBar(const Json::Value& doc);
    void DealSysMsgNotifyWelWord(const Json::Value& doc);
    void DealSysMsgSendGift(const Json::Value& doc);
    void DealSysMsgSendtag(const Json::Value& doc);
    void DealSysMsgGlobalGift(const Json::Value& doc);
    void DealSysMsgNotifyLuckyGift(const Json::Value& doc);
    void DealSysMsgMicOn(const Json::Value& doc);
    void DealSysMsgMicOnSelf(const Json::Value& doc);
    void DealSysMsgMicOnOther(const Json::Value& doc);
    void DealSysMsgMicOff(const Json::Value& doc);
    void DealSysMsgMicAttrChange(const Json::Value& doc);
    void DealSysMsgLivePlan(const Json::Value& doc);
    void DealLivePlanSelf(const Json::Value& doc);
    void DealLivePlanOther(const Json::Value& doc);
    void DealSysMsgNotifyPriorLivePlan(const Json::Value& doc);
    bool MayWatchPrivateMic(const RoomUserInfo& target);
    void RequestLiveSig(int requestType, uint32_t target, int micIndex, bool isPublic);

    CEvent chatStopped_{false, false};  // auto-reset
    std::atomic<IRoomUI*> roomUI_{nullptr};
    std::unique_ptr<CPingla> chat_;  // the chat client (m_oChatNotice)
    std::atomic<uint32_t> roomId_{0};
    std::atomic<bool> roomWindowReady_{false};
    std::atomic<bool> userListLoaded_{false};
    std::atomic<HWND> parent_{nullptr};
    std::atomic<unsigned> postedOnce_{0};  // bits of the codes PostParentOnce posted for this room
    CGiftShowManager gifts_;

    // Whispers before the room window is ready; roomWindowReady_ changes under this lock too.
    varnet::Mutex whisperLock_;
    std::vector<PendingPrivateMsg> pendingWhispers_ GUARDED_BY(whisperLock_);

    varnet::Mutex cacheLock_;
    bool cacheReplayed_ GUARDED_BY(cacheLock_) = false;
    std::deque<std::pair<std::string, std::string>> cache_ GUARDED_BY(cacheLock_);  // (cmd, body) as received
    size_t cacheBytes_ GUARDED_BY(cacheLock_) = 0;
    bool cacheDropLogged_ GUARDED_BY(cacheLock_) = false;

    // Chat lines posted and not yet freed by the window (RoomChatLine::pending).
    std::shared_ptr<RoomLinePending> pendingLines_ = std::make_shared<RoomLinePending>();

    varnet::Mutex sigLock_;                                                       // guards the set below
    std::set<std::tuple<uint32_t, int, bool>> pendingSigs_ GUARDED_BY(sigLock_);  // user, microphone, public
    bool sigDropLogged_ GUARDED_BY(sigLock_) = false;

    varnet::Mutex lifecycleLock_;
    std::thread detectThread_ GUARDED_BY(lifecycleLock_);
    std::thread lookupThread_ GUARDED_BY(lifecycleLock_);
    std::atomic<bool> lookupDone_{false};  // the lookup thread's body has ended
    std::atomic<bool> lookupRun_{true};    // false: the destructor ends the lookup
    std::thread connectThread_ GUARDED_BY(lifecycleLock_);
    std::atomic<bool> detectRun_{true};
    std::atomic<bool> keepConnecting_{false};
    std::atomic<bool> chatReady_{false};

    varnet::Mutex leaveLock_;
    std::map<uint32_t, uint32_t> pendingLeave_ GUARDED_BY(leaveLock_);  // uid -> tick of the leave notice

    varnet::Mutex chatLock_;
    std::string myChatId_ GUARDED_BY(chatLock_);
    ChatServerInfo chatServer_ GUARDED_BY(chatLock_);  // read by the connect thread

    // Detection thread.
    uint32_t lastSweep_ = 0;
    uint32_t lastTip_ = 0;
    bool tipped_ = false;

    std::function<uint32_t()> tick_;  // set before the threads start
};

template <class T>
bool CRoomLogic::PostRoomUIMessage(int code, std::unique_ptr<T> payload) {
    HWND hwnd = RoomHwnd();
    if (!hwnd) return false;  // the payload is freed here
    return PostRoomNotify(hwnd, code, std::move(payload));
}
