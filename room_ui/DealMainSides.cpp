#include "DealMainSides.h"

#include "IDataHalvec.h"
#include "RoomBaseInfo.h"
#include "RoomInfoMgr.h"

namespace roomui {

void CDealMainLeft::DealMicAttrChange(const RoomMicAttr& attr)
{
    auto it = m_mics.find(attr.uid);
    if (it != m_mics.end())
        it->second.stream.micattr = attr.micattr;
}

void CDealMainLeft::LeaveMic(const RoomMicOff& off) { m_mics.erase(off.uid); }

}  // namespace roomui
