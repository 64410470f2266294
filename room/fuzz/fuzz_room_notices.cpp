// Bursts of chat-server notices through the room logic of one open room, against the room store and a
// recording room window and frame: whatever the notices say, each room-ending code reaches the frame once,
// the cheques waiting and the live-signature requests stay within their bounds, nothing crashes.
//
// Input: a flag byte (bit 0: the chat view is ready), then notices: command index, repeat count, body length
// (two bytes, little end) and the body in the notice text format.
#include <cstdint>
#include <string>

#include "MsgClientThread.h"
#include "RoomInfoMgr.h"
#include "RoomLogic.h"
#include "RoomLogicTestEnv.h"

namespace {

constexpr uint32_t kRoom = 3003;
const char* const kCommands[] = {"notifyenter",     "notifyexit",     "notifyrole",          "notifyuserinfo",
                                 "notifyroominfo",  "notifyop",       "notifygift",          "notifytag",
                                 "notifymicon",     "notifymicoff",   "notifymicattr",       "notifybroadcast",
                                 "notifynotice",    "notifyliveplan", "notifypriorliveplan", "notifyglobalgift",
                                 "notifytmpnotice", "notifylogin",    "notifyluckygift",     "notifyrestart",
                                 "notifycolorbar",  "notifywelword"};

struct Room {
    roomlogictest::RecordingWindow ui, frame;
    CRoomLogic logic;

    Room() {
        roomlogictest::SetUp();
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.uid = roomtest::kSelf; });
        ui.Open();
        ui.SetRoomID(kRoom);
        frame.Open();
        ResetUsers();
        logic.SetRoomUI(&ui);
        logic.Init(frame.GetHWND(), kRoom);
        logic.SetRoomWindowReady(true);
        logic.SetUserListLoaded(true);
    }
    // The store's room as entered: the own user and two others (what earlier inputs added goes).
    void ResetUsers() {
        CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
        store.RemoveRoom(kRoom);
        store.InsertRoom(kRoom, ChatServerInfo());
        for (uint32_t uid : {roomtest::kSelf, 1002u, 1003u}) {
            RoomUserInfo u;
            u.uid = uid;
            u.nickname = "u";
            u.chatid = std::to_string(uid) + "_c";
            store.AddRoomUser(kRoom, u);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Room& room = *new Room;  // never destroyed: its threads outlive no runtime at exit
    if (size == 0) return 0;
    room.ui.chatReady = (data[0] & 1) != 0;
    size_t at = 1;
    while (at + 4 <= size) {
        const char* cmd = kCommands[data[at] % (sizeof kCommands / sizeof kCommands[0])];
        int repeat = 1 + data[at + 1] % 64;
        size_t len = size_t(data[at + 2]) | size_t(data[at + 3]) << 8;
        at += 4;
        if (len > size - at) len = size - at;
        std::string body(reinterpret_cast<const char*>(data) + at, len);
        at += len;
        for (int i = 0; i < repeat; ++i) room.logic.NotifySysMsg(cmd, body);
    }
    PumpMessagesFor(1);
    for (int code : {ROOM_NOTIFY_LOGIN_ELSEWHERE, ROOM_NOTIFY_SERVER_RESTART, ROOM_NOTIFY_ROOM_FULL})
        if (room.frame.Count(code) > 1) __builtin_trap();
    if (room.logic.GiftShows().PendingCheques() > CGiftShowManager::kMaxCheques) __builtin_trap();
    // Nothing answers: every live-signature request stays pending, and queued.
    if (CMsgClientThread::GetInstance().QueueSize() > CRoomLogic::kMaxPendingLiveSigs) __builtin_trap();
    room.ui.posted.clear();
    room.ResetUsers();
    return 0;
}
