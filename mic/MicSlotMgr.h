// What the public and the private microphone managers share: their slot windows by index, the room they
// belong to and the look-ups of performers. UI thread, like the managers.
#pragma once

#include "MicPopWnd.h"

class CMicSlotMgrBase {
protected:
    // `name`: the manager's class, which its log lines name.
    explicit CMicSlotMgrBase(const char* name) : m_name(name) {}
    ~CMicSlotMgrBase() = default;
    CMicSlotMgrBase(const CMicSlotMgrBase&) = delete;
    CMicSlotMgrBase& operator=(const CMicSlotMgrBase&) = delete;

    uint32_t RoomId() const;
    HWND RoomHwnd() const;
    // The room's record of uid; false when the room has none.
    bool RoomUser(uint32_t uid, RoomUserInfo& out) const;
    // The room's record of a performer whose stream arrived; one holding only the uid, logged, when the
    // room has none.
    RoomUserInfo StreamUser(uint32_t uid) const;
    // Logs an index refused in fn.
    void LogBadIndex(const char* fn, int index) const;

    IRoomUI* m_pRoom = nullptr;

private:
    const char* m_name;
};

template <class Wnd, int N>
class CMicSlotMgr : public CMicSlotMgrBase {
public:
    static constexpr int kSlots = N;

    // Null for an index outside 0..N-1 or before Init.
    Wnd* Slot(int index) const { return index >= 0 && index < N ? m_wnds[index] : nullptr; }

    // The slot that shows uid takes the room's fresh record of the performer.
    void UpdateUserNickName(uint32_t uid) {
        for (Wnd* w : m_wnds) {
            if (!w || uid == 0 || w->GetMicUid() != uid) continue;
            RoomUserInfo user;
            if (!RoomUser(uid, user)) return;
            w->UpdateUserRecord(user);
            w->UpdateControlContent();
            w->Pop().SetNickName(user.nickname);
            w->UpdateTagImage();
            return;
        }
    }

protected:
    using CMicSlotMgrBase::CMicSlotMgrBase;

    // Indexes come from the server's records: below 0 is refused as well as above N-1 (logged, as from fn).
    bool ValidIndex(int index, const char* fn) const {
        if (index >= 0 && index < N && m_wnds[index]) return true;
        LogBadIndex(fn, index);
        return false;
    }

    Wnd* m_wnds[N] = {};
};
