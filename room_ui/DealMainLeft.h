// The microphone column of the room window: keeps the room's microphone entries. UI thread only.
#pragma once

#include <cstdint>

#include "RoomNotify.h"
#include "RoomUI.h"

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
