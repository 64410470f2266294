// Internal state of the window runtime, shared by Win32Window.cpp and Win32Loop.cpp. Not installed.
#pragma once

#include <glib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "Win32Window.h"
#include "ThreadAnnotations.h"

namespace win32_detail {

// The waiting side of a SendMessage from another thread.
struct SendRecord {
    varnet::Mutex m;
    std::condition_variable cv;
    bool done GUARDED_BY(m) = false;
    bool delivered GUARDED_BY(m) = false;
    LRESULT result GUARDED_BY(m) = 0;

    void Complete(bool wasDelivered, LRESULT value);
    // False on time-out.
    bool Wait(DWORD timeoutMs);
};

// One entry of the UI thread's queue. Move-only; an owned payload that was never delivered is freed by the
// destructor, and a waiting sender is released. Destroy entries outside the runtime lock.
struct QueueEntry {
    enum Kind { kPost, kSend, kQuit, kCall };
    Kind kind = kPost;
    uintptr_t hwnd = 0;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    void (*deleter)(LPARAM) = nullptr;  // owned payload in lParam (kPost)
    std::shared_ptr<SendRecord> send;   // kSend and kCall waiters
    std::function<LRESULT()> call;      // kCall: runs on the UI thread

    QueueEntry() = default;
    QueueEntry(QueueEntry&& o) noexcept;
    QueueEntry& operator=(QueueEntry&& o) noexcept;
    QueueEntry(const QueueEntry&) = delete;
    QueueEntry& operator=(const QueueEntry&) = delete;
    ~QueueEntry();
    void Release();  // frees an undelivered payload, releases a waiter
};

struct WindowRec {
    CWin32Window* obj = nullptr;
    bool destroying = false;  // inside DestroyWindow: no new timers or posts
    std::map<std::string, void*> props;
};

struct TimerRec {
    gint64 intervalUs = 0;
    gint64 due = 0;  // g_get_monotonic_time() units
    uint64_t gen = 0;
};

// A running loop of the UI thread.
struct LoopFrame {
    bool modal = false;
    bool ended = false;
    bool quit = false;       // ended by WM_QUIT
    bool ownerGone = false;  // the CModalLoop object was destroyed while running
    int code = 0;
};

struct Runtime {
    varnet::Mutex mu;  // guards every field down to `source`
    std::unordered_map<uintptr_t, WindowRec> windows GUARDED_BY(mu);
    uintptr_t nextHandle GUARDED_BY(mu) = 0x10001;
    std::deque<QueueEntry> queue GUARDED_BY(mu);
    std::map<std::pair<uintptr_t, UINT_PTR>, TimerRec> timers GUARDED_BY(mu);
    uint64_t timerGen GUARDED_BY(mu) = 0;
    bool inited GUARDED_BY(mu) = false;
    std::thread::id ui GUARDED_BY(mu);
    GSource* source GUARDED_BY(mu) = nullptr;
    void (*windowDied)(HWND) = nullptr;  // set by the property publisher

    // UI thread only.
    std::vector<LoopFrame*> frames;
    std::vector<std::function<void()>> idleDeletes;  // DeleteWhenIdle, drained by the outermost loop
    bool deleteWhenIdle = true;
    bool pendingQuit = false;
    int pendingQuitCode = 0;
};

Runtime& R();
inline uintptr_t Id(HWND h) {
    return reinterpret_cast<uintptr_t>(h);
}
inline HWND Handle(uintptr_t id) {
    return reinterpret_cast<HWND>(id);
}

// Queues an entry and wakes the loop.
void Enqueue(QueueEntry&& e);
// Runs `fn` on the UI thread and waits for it (direct call on the UI thread).
LRESULT CallOnUIThread(std::function<LRESULT()> fn);
// Removes a window's record and timers; calls the death hook. Caller does not hold the lock.
void ForgetWindow(uintptr_t id);
// Logs one line of the runtime on stderr.
void Log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace win32_detail
