// The link logic every microphone window shares: a link thread that makes a bounded number of start
// attempts with growing pauses and posts WM_MIC_LINK_RESULT to the window, the reconnect timer (id 256)
// whose delay grows with each reconnect, the reaction to a dropped link, and the request for a fresh
// live signature when the timer fires.
//
// Threads: the window's thread calls everything except OnLinkDrop (the media libraries' threads) and
// the link thread's body. The link thread touches only the shared link state and the adapter, both held
// by shared_ptr, and reaches the windows only by handle (PostMessage, SetTimer), so a thread still inside
// a library's Init after StopLinkThread gave up waiting never touches a destroyed window: it is marked
// abandoned (its run generation is stale) and posts and arms nothing when it ends.
// Shared state: counters and flags are atomic; the performer's record is guarded by State::userLock.
#pragma once

#include "MicDefs.h"
#include "MicPublishReplayAdapter.h"
#include "Win32Sync.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class CVideoShowWnd;

class CMicLink {
public:
    // Presets of the "RoomLink" keys.
    static constexpr int kInitMaxCount = 3;
    static constexpr int kInitIntervalUnit = 3000;
    static constexpr int kReconnectTimerAdd = 10000;
    static constexpr int kClearTimerNumTime = 30000;
    static constexpr DWORD kStopWaitMs = 2000;

    CMicLink(int slotIndex, bool isPublic, std::shared_ptr<CMicPublishReplayAdapter> adapter);
    ~CMicLink();
    CMicLink(const CMicLink&) = delete;
    CMicLink& operator=(const CMicLink&) = delete;

    // Null: the window ended, and its performer's link state (reconnect count, failure told) with it.
    void SetWindow(HWND wnd);
    void SetRoom(HWND roomWnd, uint32_t roomId);
    // A new performer (uid 0: the slot is empty) resets the reconnect count; the same one again in a live
    // window (a relink) keeps it, and a device failure is told to the room once per performance.
    void SetMicUser(uint32_t uid, const std::string& nickname);
    uint32_t GetMicUid() const;
    bool IsOwnStream() const;
    int GetSlotIndex() const { return m_slot; }
    const std::shared_ptr<CMicPublishReplayAdapter>& Adapter() const { return m_adapter; }

    void StartLinkThread();
    // Waits at most kStopWaitMs for the link thread; true when it ended within that time.
    bool StopLinkThread();
    bool LinkThreadRunning() const;

    // delay = reconnect count x "RTMPReconnectTimerAdd", then the count grows; timer 256 on the window.
    // Any thread. Returns the delay.
    int SetReconnectTimer();
    int GetReconnectCount() const;
    void SetReconnectCount(int n);
    DWORD GetLastSuccessTick() const;

    // Media threads: a link problem (severity 1) turns the view to the linking picture, clears its frame
    // and arms the reconnect timer; other severities are ignored. True when it acted.
    bool OnLinkChange(int severity, const std::string& text, CVideoShowWnd* view);
    // WM_MIC_LINK_RESULT on the window thread.
    void OnLinkResult(WPARAM linked, CVideoShowWnd* view);
    // Media threads: a frame for the view (format switch first when it changed).
    static void RouteVideo(BYTE* rgb24, const BITMAPINFOHEADER* header, CVideoShowWnd* view);
    // The reconnect timer (WM_TIMER 256), window thread: kills the timer; when the performer still holds
    // the slot (mic state 1 public, 2 private) asks for a fresh live signature and returns true. Otherwise
    // stops the adapter, empties the view (frame, video, meter) and returns false; the window then empties
    // or closes itself.
    bool OnReConnectTimer(CVideoShowWnd* view);
    // The request of a fresh live signature; false when it could not be queued.
    bool RequestLiveSignature();

    // Posts a line for the user's own chat view to the room window; the record is freed when the post
    // fails.
    static bool PostChatNotice(HWND roomWnd, const std::string& text);

    // Stand-ins for GetTickCount and Sleep of every link thread (tests); nullptr restores them.
    static void SetClockForTest(DWORD (*tick)(), void (*sleep)(DWORD));

    struct State;

private:
    static void ThreadLinkRtmp(std::shared_ptr<State> state, std::shared_ptr<CMicPublishReplayAdapter> adapter,
                               unsigned generation);

    const int m_slot;
    const bool m_public;
    std::shared_ptr<CMicPublishReplayAdapter> m_adapter;
    std::shared_ptr<State> m_state;
};
