#include "MicSlotMgr.h"

#include "RoomInfoMgr.h"
#include "ZqLog.h"

#include <cstdio>

uint32_t CMicSlotMgrBase::RoomId() const {
    return m_pRoom ? m_pRoom->GetRoomID() : 0;
}

HWND CMicSlotMgrBase::RoomHwnd() const {
    return m_pRoom ? m_pRoom->GetHWND() : nullptr;
}

bool CMicSlotMgrBase::RoomUser(uint32_t uid, RoomUserInfo& out) const {
    return CRoomInfoMgr::GetInstance().GetRoomUser(RoomId(), uid, out);
}

RoomUserInfo CMicSlotMgrBase::StreamUser(uint32_t uid) const {
    RoomUserInfo user;
    if (RoomUser(uid, user)) return user;
    char module[64];
    snprintf(module, sizeof(module), "%s::DealGetLiveSig", m_name);
    PJ_Log(micwnd::kMicLog, LOG_FAILURE, module,
           "没有获取到用户信息（userid=%d）,可能获取用户列表失败或者聊天服务丢了用户进入房间通知",
           static_cast<int>(uid));
    user = RoomUserInfo();
    user.uid = uid;
    return user;
}

void CMicSlotMgrBase::LogBadIndex(const char* fn, int index) const {
    char module[64];
    snprintf(module, sizeof(module), "%s::%s", m_name, fn);
    PJ_Log(micwnd::kMicLog, LOG_IMPOSSIBLE, module, "索引无效index=%d", index);
}
