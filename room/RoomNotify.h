// The room notifications: the codes of WM_ROOM_NOTIFY, the heap payloads they carry and the posting helpers.
//
// A payload is posted with PostRoomNotify, which hands it to the window runtime: the receiver gets lParam =
// the raw pointer and deletes it with its own type; when the post fails, or the window dies before the
// message is delivered, the runtime deletes it. So no poster frees or leaks a payload by hand.
// Threads: any thread may post; receivers handle the messages on the UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "RoomRecords.h"
#include "Win32Window.h"

constexpr UINT WM_UPDATE_MY_INFO = 0x0400 + 103;  // 1127, wParam = change flags, lParam 0
constexpr UINT WM_ROOM_NOTIFY = 0x0400 + 105;     // 1129, wParam = code, lParam = payload or number

enum enum_room_notify_type : int {
    ROOM_NOTIFY_ENTER_RESULT = 0,        // frame: EnterRoomResult
    ROOM_NOTIFY_CLOSE_ROOM = 1,          // frame: room id
    ROOM_NOTIFY_USER_LIST = 2,           // room id
    ROOM_NOTIFY_MIC_STREAM = 3,          // RoomMicStream
    ROOM_NOTIFY_SHOW_LOBBY = 6,          // frame: none
    ROOM_NOTIFY_ROOM_SETTINGS = 8,       // 1 / 0
    ROOM_NOTIFY_USER_DETAIL = 9,         // RoomUserDetail
    ROOM_NOTIFY_FAV_CHANGED = 10,        // room id
    ROOM_NOTIFY_GIFT_FAILED = 11,        // RoomGiftFailure
    ROOM_NOTIFY_BROADCAST_RESULT = 12,   // 1 / 0
    ROOM_NOTIFY_MY_INFO_UPDATED = 13,    // not read
    ROOM_NOTIFY_TMP_NOTICE_RESULT = 14,  // 1 / 0
    ROOM_NOTIFY_MIC_OP_DONE = 15,        // RoomMicOpResult
    ROOM_NOTIFY_USER_ENTER = 16,         // RoomUserChange {uid, head count}
    ROOM_NOTIFY_USER_LEAVE = 17,         // RoomUserChange {uid, head count}
    ROOM_NOTIFY_ROLE_CHANGED = 18,       // user id
    ROOM_NOTIFY_USER_CHANGED = 19,       // RoomUserChange {uid, change flags}
    ROOM_NOTIFY_ROOM_INFO = 20,          // 0
    ROOM_NOTIFY_MIC_OFF = 27,            // RoomMicOff
    ROOM_NOTIFY_MIC_ATTR = 28,           // RoomMicAttr
    ROOM_NOTIFY_PRIOR_LIVE_PLAN = 32,    // 0
    ROOM_NOTIFY_LOGIN_ELSEWHERE = 33,    // frame: my user id
    ROOM_NOTIFY_LUCKY_GIFT = 34,         // RoomLuckyGift
    ROOM_NOTIFY_SERVER_RESTART = 35,     // frame: 0
    ROOM_NOTIFY_ROOM_FULL = 36,          // frame: my user id
    ROOM_NOTIFY_GIFT_FLASH = 38,         // RoomGiftFlash
    ROOM_NOTIFY_MIC_STATE = 39,          // RoomMicState
    ROOM_NOTIFY_CHAT_LINE = 40,          // RoomChatLine
    ROOM_NOTIFY_GLOBAL_GIFT = 41,        // GlobalGiftItem
    ROOM_NOTIFY_SYS_TEXT = 42,           // std::string
    ROOM_NOTIFY_MIC_LIST = 43,           // MicUserMap
    ROOM_NOTIFY_REQUEST_LOGIN = 44,      // frame: 0
    ROOM_NOTIFY_REQUEST_REGISTER = 45,   // frame: 0
};

// The room's microphone slots: public ones (index 0..2) and private ones (index 0..7).
constexpr int kPublicMicSlots = 3;
constexpr int kPrivateMicSlots = 8;

// Change flags of WM_UPDATE_MY_INFO and of code 19.
enum : int {
    USER_CHANGE_LEVEL = 0x1,
    USER_CHANGE_BEAUTYID = 0x2,
    USER_CHANGE_NICKNAME = 0x4,
    USER_CHANGE_COIN = 0x8,
    USER_CHANGE_BEAN = 0x10,
    USER_CHANGE_PHOTO = 0x20,
    USER_CHANGE_TAG = 0x40,
};

// View flags of a chat line.
enum : int { CHAT_VIEW_PUBLIC = 1, CHAT_VIEW_OWN = 2, CHAT_VIEW_TRUMPET = 4 };

struct EnterRoomResult {
    uint32_t roomId = 0;
    MicUserMap micList;
    int status = 0;  // 1 = entered
    std::string statusText;
    std::string enterShow;
    std::vector<uint32_t> welWordUsers;
};

// Lines and bytes posted by one poster and not yet freed, for posters that bound what waits for the window.
// The chat lines of a room posted and not yet freed by the window. Every poster of the room's lines counts
// them here: a flood must not grow the process or stop the window answering (the panes keep 200 anyway).
struct RoomLinePending {
    static constexpr int kMaxLines = 400;
    static constexpr size_t kMaxBytes = 8u << 20;
    std::atomic<int> lines{0};
    std::atomic<size_t> bytes{0};
    std::atomic<bool> dropLogged{false};

    bool HasRoom(size_t n) const { return lines.load() < kMaxLines && bytes.load() + n <= kMaxBytes; }
    // HasRoom, for a line that is dropped when there is none; `firstDrop` tells the first drop of a flood.
    bool Admit(size_t n, bool& firstDrop) {
        firstDrop = false;
        if (HasRoom(n)) {
            dropLogged = false;
            return true;
        }
        firstDrop = !dropLogged.exchange(true);
        return false;
    }
};

// One counted line: counted down when it is freed (a copy counts nothing).
struct RoomLineToken {
    std::shared_ptr<RoomLinePending> pending;
    size_t bytes = 0;
    RoomLineToken() = default;
    RoomLineToken(const RoomLineToken&) {}
    RoomLineToken& operator=(const RoomLineToken&) { return *this; }
    ~RoomLineToken() { Release(); }
    void Count(std::shared_ptr<RoomLinePending> p, size_t n) {
        Release();
        pending = std::move(p);
        bytes = n;
        ++pending->lines;
        pending->bytes += bytes;
    }
    void Release() {
        if (!pending) return;
        --pending->lines;
        pending->bytes -= bytes;
        pending.reset();
    }
};

struct RoomChatLine {
    int flags = 0;
    std::string html;
    RoomLineToken token;  // set by posters that bound their lines
};

struct RoomUserChange {
    uint32_t uid = 0;
    int value = 0;  // head count (16, 17) or change flags (19)
};

struct RoomGiftFailure {
    int first = 0;
    int second = 0;
    std::string statusText;
};

struct RoomMicOpResult {
    uint32_t uid = 0;
    uint32_t tid = 0;
    uint32_t open = 0;     // operation flag
    uint32_t micType = 0;  // microphone-type flag
};

struct RoomUserDetail {
    int status = 2;
    std::string text;
    uint32_t uid = 0;
    uint32_t photoid = 0;
    uint32_t beautyid = 0;
    std::string name;
    std::string nickname;
    uint32_t level = 0;
    int first = 255;
    int second = 0;
    uint32_t sex = 3;
    std::string birth, province, city;
    std::string extra1, extra2;
};

struct RoomMicStream {
    int kind = 0;  // 1 = my own stream to publish
    uint32_t uid = 0;
    std::string url;
    bool isPublic = true;
    uint32_t micattr = 0;
    int idx = -1;
    int requestType = 49;
    int status = 255;
    std::string text;
};

struct RoomMicOff {
    int idx = 0;
    uint32_t uid = 0;
    bool isPublic = false;
};

struct RoomMicAttr {
    int isPublic = 0;
    int idx = 0;
    uint32_t uid = 0;
    uint32_t micattr = 0;
};

struct RoomLuckyGift {
    uint32_t uid = 0;
    std::string nickname;
    uint32_t level = 0;
    uint32_t beautyid = 0;
    uint32_t giftId = 0;
    int multiple = 0;
    int income = 0;
};

struct RoomGiftFlash {
    uint32_t giftId = 0;
    std::string mcid;
    int showtype = 0;
    int count = 0;
    int starttm = 0;
    int endtm = 0;
};

struct RoomMicState {
    uint32_t uid = 0;
    bool on = false;
    bool isPublic = false;
};

// One global gift for the banner.
struct GlobalGiftItem {
    std::string picture;
    std::string senderName;
    uint32_t senderId = 0;
    std::string receiverName;
    uint32_t receiverId = 0;
    uint32_t count = 0;
    std::string tips;
    std::string giftName;
    std::string timeText;  // "(MM.DD hh:mm)"
    uint32_t priority = 0;
    std::string word;
};

// Posts code with a heap payload to `hwnd` (see the ownership rule above). False when not posted.
template <class T>
bool PostRoomNotify(HWND hwnd, int code, std::unique_ptr<T> payload) {
    if (!hwnd || !payload) return false;
    return PostMessageOwned(hwnd, WM_ROOM_NOTIFY, static_cast<WPARAM>(code), std::move(payload)) != 0;
}

// Posts code with a plain number.
inline bool PostRoomNotifyValue(HWND hwnd, int code, LPARAM value) {
    return hwnd && PostMessage(hwnd, WM_ROOM_NOTIFY, static_cast<WPARAM>(code), value) != 0;
}

inline bool PostChatLine(HWND hwnd, int flags, std::string html) {
    auto line = std::make_unique<RoomChatLine>();
    line->flags = flags;
    line->html = std::move(html);
    return PostRoomNotify(hwnd, ROOM_NOTIFY_CHAT_LINE, std::move(line));
}

// A line counted in `pending` until the window frees it (the caller checked the room for it).
inline bool PostCountedChatLine(HWND hwnd, const std::shared_ptr<RoomLinePending>& pending, int flags,
                                std::string html) {
    auto line = std::make_unique<RoomChatLine>();
    line->flags = flags;
    line->token.Count(pending, html.size());
    line->html = std::move(html);
    return PostRoomNotify(hwnd, ROOM_NOTIFY_CHAT_LINE, std::move(line));
}
