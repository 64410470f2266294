#include "RoomEntryRelay.h"

#include <memory>

#include "RoomNotify.h"
#include "Win32.h"
#include "ZQCommands.h"
#include "ZqLog.h"

namespace {
const char kLog[] = "RoomManager.txt";
}

CRoomEntryRelay::~CRoomEntryRelay() { CMsgClientThread::GetInstance().EventSource().RemoveListener(this); }

bool CRoomEntryRelay::Init(HWND parent) {
    m_hParent = parent;
    CMsgClientThread::GetInstance().EventSource().AddListener(this);
    return true;
}

void CRoomEntryRelay::OnZQMessageNotify(CZQMessage* msg, CZQEventSource*) {
    auto* enter = dynamic_cast<CZQEnterRoomMsg*>(msg);
    if (!enter) return;
    PJ_Log(kLog, 0, "CRoomEntryRelay::OnZQMessageNotify", "收到CZQEnterRoomMsg应答");
    auto result = std::make_unique<EnterRoomResult>();
    result->roomId = (uint32_t)enter->ctxInt[0];
    result->status = enter->status;
    result->statusText = enter->statusdesc;
    if (enter->status == 1) {
        result->enterShow = enter->entershow;
        result->micList = enter->micList;
        for (const WelcomeWordInfo& w : enter->welcomeWords) result->welcomeUsers.push_back(w.uid);
    }
    ::PostMessageOwned(m_hParent.load(), WM_ROOM_NOTIFY, ROOM_NOTIFY_ENTER_RESULT, std::move(result));
}

void CRoomEntryRelay::OnNotifyRoom(int code, LPARAM payload) {
    if (code != ROOM_NOTIFY_ENTER_RESULT) return;
    std::unique_ptr<EnterRoomResult> result(reinterpret_cast<EnterRoomResult*>(payload));
    if (!result) return;
    PJ_Log(kLog, result->status == 1 ? 0 : 2, "CRoomEntryRelay::OnNotifyRoom", "room entry handed on roomid=%u status=%d mics=%zu",
           result->roomId, result->status, result->micList.size());
}
