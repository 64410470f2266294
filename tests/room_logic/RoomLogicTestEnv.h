// Shared set-up of the room-logic tests: the room tests' environment (folders, signed-in user, catalogue)
// with a few more catalogue entries, and a recording stand-in of the room window (and of the main frame)
// that takes every WM_ROOM_NOTIFY on the UI thread, copies what it carries and frees the payload.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "RoomTestEnv.h"
#include "RoomNotify.h"
#include "RoomUI.h"
#include "Win32.h"

namespace roomlogictest {

using roomtest::kSelf;

class TestHalvec : public roomtest::FakeHalvec {
public:
    std::map<int, GiftItem> tags;
    bool allowPrivate = false;
    bool GetTag(int, int id, GiftItem& out) override {
        auto it = tags.find(id);
        if (it == tags.end()) return false;
        out = it->second;
        return true;
    }
    bool HasRight(int, int, int) override { return allowPrivate; }
};

inline TestHalvec& SetUp() {
    roomtest::SetUpOnce();
    static TestHalvec halvec;
    static bool done = [] {
        roomtest::Fill(halvec);
        GiftItem cheque;
        cheque.id = 21012;
        cheque.name = "支票";
        cheque.attr = 0x10;
        cheque.price = 100;
        halvec.gifts[21012] = cheque;
        halvec.gifts[501].price = 10;
        GiftItem big;
        big.id = 502;
        big.name = "跑车";
        big.price = 80;
        big.fname = roomtest::Pic("gift\\502.gif");
        halvec.gifts[502] = big;
        GiftItem tag;
        tag.id = 9;
        tag.name = "帅哥";
        tag.price = 5;
        halvec.tags[9] = tag;
        AfxGetDataManager()->UnregisterModule(HALVEC_MODULE_NAME);
        AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &halvec);
        Win32Init();
        return true;
    }();
    (void)done;
    return halvec;
}

// What one message carried.
struct Posted {
    UINT msg = 0;
    int code = 0;
    LPARAM value = 0;  // the plain number, or 0 for a payload
    int flags = 0;     // 40
    std::string text;  // 40 html, 42 text
    uint32_t uid = 0;  // 16, 17, 19, 27, 28, 39, 3, 34
    int number = 0;    // 16, 17: head count; 19: flags; 27: index
    bool on = false, isPublic = false;
    RoomMicStream stream;
    GlobalGiftItem banner;
};

class RecordingWindow : public CWin32Window, public IRoomUI, public IRoomCenterUI, public IRoomLeftUI {
public:
    RecordingWindow() = default;
    ~RecordingWindow() override { Destroy(); }

    // A live handle (UI thread).
    HWND Open() {
        hwnd_ = CreateWindowHandle(this);
        return hwnd_;
    }
    void Destroy() {
        if (HWND h = hwnd_.exchange(nullptr)) DestroyWindow(h);
    }

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg != WM_ROOM_NOTIFY && msg != WM_UPDATE_MY_INFO) return 0;
        Posted p;
        p.msg = msg;
        p.code = int(wParam);
        if (msg == WM_UPDATE_MY_INFO) {
            posted.push_back(p);
            return 0;
        }
        switch (p.code) {
        case ROOM_NOTIFY_ENTER_RESULT:
            enterResults.emplace_back(reinterpret_cast<EnterRoomResult*>(lParam));
            p.number = enterResults.back()->status;
            break;
        case ROOM_NOTIFY_CHAT_LINE: {
            std::unique_ptr<RoomChatLine> l(reinterpret_cast<RoomChatLine*>(lParam));
            p.flags = l->flags;
            p.text = l->html;
            break;
        }
        case ROOM_NOTIFY_SYS_TEXT: {
            std::unique_ptr<std::string> s(reinterpret_cast<std::string*>(lParam));
            p.text = *s;
            break;
        }
        case ROOM_NOTIFY_USER_ENTER:
        case ROOM_NOTIFY_USER_LEAVE:
        case ROOM_NOTIFY_USER_CHANGED: {
            std::unique_ptr<RoomUserChange> c(reinterpret_cast<RoomUserChange*>(lParam));
            p.uid = c->uid;
            p.number = c->value;
            break;
        }
        case ROOM_NOTIFY_MIC_STATE: {
            std::unique_ptr<RoomMicState> s(reinterpret_cast<RoomMicState*>(lParam));
            p.uid = s->uid;
            p.on = s->on;
            p.isPublic = s->isPublic;
            break;
        }
        case ROOM_NOTIFY_MIC_OFF: {
            std::unique_ptr<RoomMicOff> s(reinterpret_cast<RoomMicOff*>(lParam));
            p.uid = s->uid;
            p.number = s->idx;
            p.isPublic = s->isPublic;
            break;
        }
        case ROOM_NOTIFY_MIC_STREAM: {
            std::unique_ptr<RoomMicStream> s(reinterpret_cast<RoomMicStream*>(lParam));
            p.stream = *s;
            p.uid = s->uid;
            break;
        }
        case ROOM_NOTIFY_GLOBAL_GIFT: {
            std::unique_ptr<GlobalGiftItem> g(reinterpret_cast<GlobalGiftItem*>(lParam));
            p.banner = *g;
            break;
        }
        case ROOM_NOTIFY_MIC_ATTR:
            delete reinterpret_cast<RoomMicAttr*>(lParam);
            break;
        case ROOM_NOTIFY_LUCKY_GIFT: {
            std::unique_ptr<RoomLuckyGift> g(reinterpret_cast<RoomLuckyGift*>(lParam));
            p.uid = g->uid;
            p.number = g->multiple;
            break;
        }
        case ROOM_NOTIFY_GIFT_FLASH:
            delete reinterpret_cast<RoomGiftFlash*>(lParam);
            break;
        case ROOM_NOTIFY_USER_DETAIL:
            delete reinterpret_cast<RoomUserDetail*>(lParam);
            break;
        case ROOM_NOTIFY_GIFT_FAILED:
            delete reinterpret_cast<RoomGiftFailure*>(lParam);
            break;
        case ROOM_NOTIFY_MIC_OP_DONE:
            delete reinterpret_cast<RoomMicOpResult*>(lParam);
            break;
        case ROOM_NOTIFY_MIC_LIST:
            delete reinterpret_cast<MicUserMap*>(lParam);
            break;
        default:
            p.value = lParam;
            break;
        }
        posted.push_back(std::move(p));
        return 0;
    }

    // Pumps until `count` messages of `code` arrived (at most timeoutMs); true when they did.
    bool WaitCode(int code, size_t count = 1, unsigned timeoutMs = 5000) {
        return PumpUntil([&] { return Count(code) >= count; }, timeoutMs);
    }
    // Pumps until a chat line holding `part` arrived.
    bool WaitLine(const std::string& part, unsigned timeoutMs = 5000) {
        return PumpUntil([&] { return FindLine(part) != nullptr; }, timeoutMs);
    }
    size_t Count(int code) const {
        size_t n = 0;
        for (auto& p : posted) n += p.msg == WM_ROOM_NOTIFY && p.code == code;
        return n;
    }
    const Posted* FindLine(const std::string& part) const {
        for (auto& p : posted)
            if (p.code == ROOM_NOTIFY_CHAT_LINE && p.text.find(part) != std::string::npos) return &p;
        return nullptr;
    }
    std::vector<int> Codes() const {
        std::vector<int> out;
        for (auto& p : posted)
            if (p.msg == WM_ROOM_NOTIFY) out.push_back(p.code);
        return out;
    }

    // IRoomUI.
    HWND GetHWND() override { return hwnd_; }
    uint32_t GetRoomID() override { return roomId_; }
    void SetRoomID(uint32_t id) override { roomId_ = id; }
    IRoomLogic* GetRoomLogic() override { return logic_; }
    void SetRoomLogic(IRoomLogic* logic) override { logic_ = logic; }
    bool GetDealUI(int kind, IRoomDealUI** out) override {
        *out = kind == 0   ? static_cast<IRoomDealUI*>(static_cast<IRoomLeftUI*>(this))
               : kind == 1 ? static_cast<IRoomDealUI*>(static_cast<IRoomCenterUI*>(this))
                           : nullptr;
        return *out != nullptr;
    }
    bool CreateRoomWindow(const std::string& t) override {
        title = t;
        return Open() != nullptr;
    }
    void CloseRoomWindow() override {
        if (onClose) onClose();
        Destroy();
    }
    bool IsWindowVisible() override { return hwnd_ != nullptr; }
    bool IsIconic() override { return iconic; }
    void RestoreMaximized() override { iconic = false; }
    void BringToFront() override {}
    bool IsForeground() override { return foreground; }

    // IRoomCenterUI.
    uint32_t GetGiftBannerPriority() override { return bannerPriority; }
    uint32_t GetGiftBannerElapsed() override { return bannerElapsed; }
    bool IsGiftBannerIdle() override { return bannerIdle; }
    int GetGiftBannerSpeed() override { return bannerSpeed; }
    void SetGiftBannerSpeed(int mode) override { bannerSpeed = mode; }
    bool IsChatViewReady() override { return chatReady; }
    void SetMyEnterShowText(std::string text) override { enterShow = std::move(text); }
    void SetWelWordUsers(const std::vector<uint32_t>& uids) override { welWordUsers = uids; }
    void SetPendingPrivateMsgs(std::vector<PendingPrivateMsg> msgs) override { pendingWhispers = std::move(msgs); }
    // IRoomLeftUI.
    void UpdateMicList(const MicUserMap& mics) override { micListSize = int(mics.size()); }

    std::vector<Posted> posted;  // UI thread
    std::vector<std::unique_ptr<EnterRoomResult>> enterResults;
    std::string title, enterShow;
    std::function<void()> onClose;  // UI thread, as the room window closes
    std::vector<uint32_t> welWordUsers;
    std::vector<PendingPrivateMsg> pendingWhispers;
    int micListSize = -1;
    std::atomic<bool> iconic{false}, foreground{true}, chatReady{true};
    std::atomic<uint32_t> bannerPriority{0}, bannerElapsed{0};
    std::atomic<bool> bannerIdle{true};
    std::atomic<int> bannerSpeed{1};

private:
    std::atomic<HWND> hwnd_{nullptr};
    std::atomic<uint32_t> roomId_{0};
    std::atomic<IRoomLogic*> logic_{nullptr};
};

// A body in the notice format from key/value pairs.
inline std::string Body(std::initializer_list<std::pair<const char*, std::string>> kv) {
    std::string out;
    for (auto& [k, v] : kv) out += std::string(k) + "=" + v + "\n";
    return out;
}

}  // namespace roomlogictest
