#include "RoomRequests.h"

#include "MsgClientThread.h"

namespace roomui {

namespace {
std::function<int(CZQMessage*)>& Sink() {
    static std::function<int(CZQMessage*)> sink;
    return sink;
}
}  // namespace

int PostRoomRequest(CZQMessage* msg) {
    if (Sink()) return Sink()(msg);
    return CMsgClientThread::GetInstance().PostRequest(msg);
}

void SetRoomRequestSink(std::function<int(CZQMessage*)> sink) {
    Sink() = std::move(sink);
}

}  // namespace roomui
