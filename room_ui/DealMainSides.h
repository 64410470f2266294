// The two outer columns of the room window as far as the window's notifications reach them: the microphone
// column keeps the room's microphone entries; the user-list column fills its three lists (managers, members,
// microphone order) from the room store and shows the trumpet lines. UI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "ChatView.h"
#include "DealMainRight.h"
#include "RoomNotify.h"
#include "RoomUI.h"
#include "UserListUI.h"

namespace roomui {

class CDealMainLeft : public IRoomLeftUI {
public:
    void UpdateMicList(const MicUserMap& mics) override { m_mics = mics; }
    void RefreshMicList(const MicUserMap& mics) { m_mics = mics; }
    void DealMicAttrChange(const RoomMicAttr& attr);
    void LeaveMic(const RoomMicOff& off);
    const MicUserMap& Mics() const { return m_mics; }

private:
    MicUserMap m_mics;
};

}  // namespace roomui
