// The catalogue plug-in as the room logic reaches it: looked up anew for each use, null while not loaded.
#pragma once

#include "IDataHalvec.h"
#include "ZqMusicCore.h"

inline IDataHalvec* RoomHalvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

// The gift `id` of any group; false (and `out` untouched) when missing or no catalogue is loaded.
inline bool RoomGetGift(uint32_t id, GiftItem& out) {
    IDataHalvec* h = RoomHalvec();
    return h && h->GetGift(-1, static_cast<int>(id), out);
}
