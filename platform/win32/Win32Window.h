// Window handles, the message queue, timers and message loops, on GLib's default main context.
//
// Threads: the UI thread is the thread that calls Win32Init() (or the first CreateWindowHandle). Window
// objects live on it and receive every message there. PostMessage, SendMessage, SetTimer, KillTimer,
// IsWindow, GetWindowObject and the property functions may be called from any thread; loops, pumps and
// DestroyWindow belong to the UI thread (DestroyWindow from another thread is sent over and waits).
//
// Payload rule (heap data carried in lParam):
//   - PostMessageOwned(hwnd, msg, wParam, std::unique_ptr<T>) is the way to post heap data. The runtime owns
//     the payload until delivery; when the window dies first, or the post fails, it is deleted by the runtime.
//     The receiver gets lParam = the raw T* and deletes it (reinterpret_cast<T*>(lParam)).
//   - A plain PostMessage carries numbers. If a poster still passes a pointer there, it must free the payload
//     itself when PostMessage returns FALSE; a message accepted and then dropped (window destroyed before
//     delivery) is not freed by anyone, so do not do that with heap data.
#pragma once

#include <functional>
#include <memory>

#include "Win32Types.h"

namespace win32_detail {
struct LoopFrame;
}

// A window object: receives the messages of its handle on the UI thread.
class CWin32Window {
public:
    CWin32Window() = default;
    // Deleting an object whose handle is still alive makes the handle dead without sending it anything.
    virtual ~CWin32Window();
    CWin32Window(const CWin32Window&) = delete;
    CWin32Window& operator=(const CWin32Window&) = delete;

    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;

    // The live handle of this object, or null.
    HWND Win32Handle() const;

private:
    friend struct Win32WindowAccess;
    HWND handle_ = nullptr;  // UI thread, and under the runtime's lock
};

// Sets up the runtime on the calling thread, which becomes the UI thread. Idempotent; false when another
// thread already is the UI thread.
bool Win32Init();
bool IsUIThread();
// Debug check at the UI library's entry points: once the runtime is set up, `who` runs on the UI thread
// (abort with its name otherwise). Checked in debug builds and with VARNET_THREAD_CHECKS; else nothing.
void AssertUIThread(const char* who);
// Queues `fn` to run on the UI thread (from any thread, never waiting). FALSE before the runtime is set up.
BOOL PostToUIThread(std::function<void()> fn);

// Gives `window` a fresh handle (never reused). An object that already has a live handle gets that one.
// Null for a null object or when called off the UI thread.
HWND CreateWindowHandle(CWin32Window* window);
// Sends WM_DESTROY to the object, kills its timers and properties, makes the handle dead, then sends
// WM_NCDESTROY (the last message the object gets; it may delete itself there). During WM_DESTROY the handle
// still answers IsWindow and GetProp but takes no posts or timers. FALSE for a dead handle.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
CWin32Window* GetWindowObject(HWND hwnd);

// Queues the message for the window on the UI thread; FIFO per poster. FALSE for a dead or null window.
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Posts a heap payload owned by the runtime until delivery (see the payload rule above).
template <class T>
BOOL PostMessageOwned(HWND hwnd, UINT msg, WPARAM wParam, std::unique_ptr<T> payload);
// On the UI thread a direct call; from another thread the message is handed to the UI thread and the
// caller waits for the result. 0 for a dead window. The UI thread must not wait for a sending thread without
// a time-out (it would never get to handle the message).
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// As SendMessage, waiting at most `timeoutMs` (INFINITE waits without limit). FALSE on a dead window or a
// time-out (the message may still be handled later); TRUE with *result set otherwise.
BOOL SendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD timeoutMs, LRESULT* result);

// WM_TIMER (wParam = id, lParam 0) to the window every `ms` (at least 10) on the UI thread. Re-setting an id
// restarts it. Returns id, or 0 for a dead window or id 0.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms);
// No WM_TIMER of that id is delivered once KillTimer returns (on the UI thread). FALSE when there was none.
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// Posts WM_QUIT with `code`: it ends the innermost loop. A modal loop that gets it ends (Run returns
// CModalLoop::kQuit) and posts it again for the loop outside. A WM_QUIT met while no loop runs (in a test
// pump) is kept for the next loop, which then returns at once. Any thread.
void PostQuitMessage(int code);
// Runs the UI loop until WM_QUIT; returns its code (-1 off the UI thread).
int RunMessageLoop();

// A nested loop of the UI thread (modal dialogs). Loops nest; each returns its own code.
class CModalLoop {
public:
    static constexpr int kQuit = -1;  // Run's result when WM_QUIT ended the loop

    CModalLoop() = default;
    // Destroying a running loop (its dialog deleted inside it) ends it with kQuit.
    ~CModalLoop();
    CModalLoop(const CModalLoop&) = delete;
    CModalLoop& operator=(const CModalLoop&) = delete;

    // Pumps until End (returns its code) or WM_QUIT (kQuit). An End before Run makes Run return at once.
    int Run();
    // Ends the loop with `code` (UI thread; workers post a message whose handler calls End).
    void End(int code);
    bool Running() const;

private:
    win32_detail::LoopFrame* frame_ = nullptr;  // UI thread
    bool pendingEnd_ = false;                   // End came before Run (UI thread)
    int pendingCode_ = 0;
};

// Lifetime rule: a window object (and the popups, dialogs and panels a window owns) is never deleted while a
// nested loop runs, since a frame of that loop may still use it when the loop returns. WM_DESTROY handlers
// destroy windows but hand their objects to DeleteWhenIdle, which deletes them once the outermost loop runs
// again (g_main_depth() counts GTK's own loops too) - at once when no loop runs at all. UI thread only.
template <class T>
void DeleteWhenIdle(std::unique_ptr<T> obj);
void DeleteWhenIdle(std::function<void()> deleter);
// True while a nested loop runs on the UI thread (a modal loop of ours, a menu, a GTK dialog or clipboard wait).
bool InNestedLoop();
// Test seam: with false, DeleteWhenIdle deletes at once (what the rule guards against). Default true.
void SetDeleteWhenIdleEnabled(bool enabled);

// Test helpers: run the UI loop for `ms`, or until `done()` holds (polled at least every 5 ms).
void PumpMessagesFor(unsigned ms);
bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs);

// Window properties (in-process). SetProp: FALSE on a dead window. RemoveProp returns the old value.
BOOL SetProp(HWND hwnd, const char* name, void* value);
void* GetProp(HWND hwnd, const char* name);
void* RemoveProp(HWND hwnd, const char* name);

// ---- implementation details -----------------------------------------------------------------------------

namespace win32_detail {
BOOL PostWithDeleter(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, void (*deleter)(LPARAM));
}

template <class T>
void DeleteWhenIdle(std::unique_ptr<T> obj) {
    if (obj) DeleteWhenIdle(std::function<void()>([p = obj.release()] { delete p; }));
}

template <class T>
BOOL PostMessageOwned(HWND hwnd, UINT msg, WPARAM wParam, std::unique_ptr<T> payload) {
    LPARAM l = reinterpret_cast<LPARAM>(payload.get());
    BOOL ok = win32_detail::PostWithDeleter(hwnd, msg, wParam, l, [](LPARAM p) { delete reinterpret_cast<T*>(p); });
    if (ok) {
        payload.release();  // the runtime owns it now
    }
    return ok;
}
