// Notices per second through the reader and the dispatch with 1,000 users in the room, and chat messages
// from the local chat server to a stand-in room window: messages per second and push-to-posted time.
#include <benchmark/benchmark.h>

#include "ChatServer.h"
#include "ChatSignature.h"
#include "NoticeReader.h"
#include "RoomInfoMgr.h"
#include "RoomLogic.h"
#include "../tests/room_logic/RoomLogicTestEnv.h"
#include "ZqLib.h"

namespace {

using namespace roomlogictest;

constexpr uint32_t kRoom = 3003;

void FillRoom() {
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    ChatServerInfo chat;
    chat.joinId = kRoom;
    store.RemoveRoom(kRoom);
    store.InsertRoom(kRoom, chat);
    for (uint32_t uid = 2000; uid < 3000; ++uid) {
        RoomUserInfo u;
        u.uid = uid;
        u.nickname = "user" + std::to_string(uid);
        u.chatid = std::to_string(uid) + "_chat";
        u.level = uid % 300;
        store.AddRoomUser(kRoom, u);
    }
}

// Enter, user-info and gift notices for random users; lines are built, not posted (no window).
void BM_NoticeReadAndDispatch(benchmark::State& state) {
    roomlogictest::SetUp();
    FillRoom();
    RecordingWindow ui;  // no handle: posting is skipped, the payload freed
    CRoomLogic logic;
    logic.SetRoomUI(&ui);
    logic.Init(nullptr, kRoom);
    const std::string bodies[] = {
        "id=2500\nnickname=%C4%E3%BA%C3\nchatid=2500_chat\nlevel=12\nbeautyid=82500\nphotoid=0\nrole=0\ncnt=1000\n",
        "id=2600\nlevel=13\nnickname=abc\nphotoid=3\n",
        "fid=2100\ntid=2200\ngid=501\ncnt=1\nhiscnt=5\nword=%3Cb%3Ehi%3C%2Fb%3E\n",
    };
    const char* cmds[] = {"notifyenter", "notifyuserinfo", "notifygift"};
    size_t i = 0;
    for (auto _ : state) {
        size_t k = i++ % 3;
        logic.DealChatSysMsg(cmds[k], ReadNoticeBody(cmds[k], bodies[k]));
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    logic.UnInit();
}
BENCHMARK(BM_NoticeReadAndDispatch);

// One public message a round trip: the server pushes it, the time until the chat line reached the window.
void BM_ChatMessageToWindow(benchmark::State& state) {
    roomlogictest::SetUp();
    FillRoom();
    testenv::ChatServer chat;
    chat.SetCheckSignature(false);
    chat.Start();
    RecordingWindow ui;
    ui.Open();
    CRoomLogic logic;
    logic.SetRoomUI(&ui);
    logic.Init(nullptr, kRoom);
    ChatServerInfo info;
    info.ip = "127.0.0.1";
    info.port = uint32_t(chat.Port());
    info.joinId = kRoom;
    logic.StartConnectChat("1001_chat", info);
    if (!PumpUntil([&] { return logic.IsChatReady(); }, 5000)) {
        state.SkipWithError("no chat connection");
        return;
    }
    const std::string text = UrlEncode::EncodeQuery("大家好 <b>hello</b>");
    for (auto _ : state) {
        size_t before = ui.posted.size();
        chat.Say(kRoom, "user2100", "2100_chat", text);
        if (!PumpUntil([&] { return ui.posted.size() > before; }, 5000)) {
            state.SkipWithError("no line");
            break;
        }
        if (ui.posted.size() > 4096) ui.posted.clear();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    logic.UnInit();
}
BENCHMARK(BM_ChatMessageToWindow)->UseRealTime();

}  // namespace
