#include "RoomWindowPlaceholder.h"

#include "ZqLog.h"

namespace {
const char kLog[] = "RoomUI.txt";
}

void CRoomWindowPlaceholder::SetRoomID(uint32_t roomId)
{
    roomId_ = roomId;
    PJ_Log(kLog, LOG_INFO, "CRoomWindowPlaceholder::SetRoomID", "roomid=%u", roomId);
}

bool CRoomWindowPlaceholder::GetDealUI(int, IRoomDealUI** out)
{
    if (out)
        *out = nullptr;
    return false;
}

bool CRoomWindowPlaceholder::CreateRoomWindow(const std::string& title)
{
    PJ_Log(kLog, LOG_INFO, "CRoomWindowPlaceholder::CreateRoomWindow", "进入房间 %s (房间窗口尚未提供)",
           title.c_str());
    return false;
}

void CRoomWindowPlaceholder::CloseRoomWindow()
{
    PJ_Log(kLog, LOG_INFO, "CRoomWindowPlaceholder::CloseRoomWindow", "roomid=%u", roomId_.load());
}
