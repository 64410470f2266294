// Where the room window's own requests go: the request worker (CMsgClientThread::PostRequest), or, in
// tests, a recorder that sees each request as it is posted. UI thread only.
#pragma once

#include <functional>

class CZQMessage;

namespace roomui {

// Queues the request on the request worker (the caller keeps its object); 0 when refused.
int PostRoomRequest(CZQMessage* msg);
// Tests: every posted request goes to `sink` instead (null restores the worker).
void SetRoomRequestSink(std::function<int(CZQMessage*)> sink);

}  // namespace roomui
